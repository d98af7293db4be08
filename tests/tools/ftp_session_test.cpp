#include "support/files.h"
#include "support/testbed.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

/// One run of parcelwright-ftp. In every text {FTP} is the test bed, {FTPS} ({FTPSPORT}) its TLS
/// server, {CA} that one's certificate; {USER} {PASS} {HOME} the account with a blank and & | ; $ `
/// in its password; {BASE} {HOME} without its {PARENT}; {DIR} an empty directory it may write to.
/// Greetings show as "220", transfer summaries as "ftp: sent"/"ftp: received", waits as "N" ms.
struct Session
{
    QString host;   // the arguments after the script's, split at blanks
    QString script; // no -s option when null
    QByteArray input;
    QString output;
    int status = 0;
    QStringList arrived; // what {DIR} holds afterwards: copies of the script
};

} // namespace

Q_DECLARE_METATYPE(Session)

/// Runs the built parcelwright-ftp on scripts against the test bed's vsftpd and against servers
/// that are not there; servers that misbehave are played in ftp_replies.
class FtpSessionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runsScript_data()
    {
        QTest::addColumn<Session>("session");

        // clang-format off
        const QString login = u"Connected to 127.0.0.1.\n220\nUser (127.0.0.1:(none)): {USER}\n331 Please specify the password.\nPassword:\n230 Login successful.\n"_s;
        const QString help = u"Commands may be abbreviated.  Commands are:\n\n?               ascii           binary          bye             cd\ndelete          dir             get             help            lcd\nls              mkdir           put             pwd             quit\nrecv            rename          rmdir           send\n"_s;
        const QString sent = u"150 Ok to send data.\n226 Transfer complete.\nftp: sent\n"_s;
        QTest::newRow("cd relative and absolute, put into a missing directory") << Session{u"{FTP}"_s, u"{USER}\r\n{PASS}\r\ncd ..\r\npwd\r\ncd {BASE}\r\npwd\r\ncd /\r\npwd\r\nput XferJob.FTP no-such-dir/x\r\nquit\r\n"_s, {}, login + u"ftp> cd ..\n250 Directory successfully changed.\nftp> pwd\n257 \"{PARENT}\" is the current directory\nftp> cd {BASE}\n250 Directory successfully changed.\nftp> pwd\n257 \"{HOME}\" is the current directory\nftp> cd /\n250 Directory successfully changed.\nftp> pwd\n257 \"/\" is the current directory\nftp> put XferJob.FTP no-such-dir/x\n550 Failed to change directory.\nftp> quit\n221 Goodbye.\n"_s, 1, {}};
        QTest::newRow("invalid lines, session goes on") << Session{u"{FTP}"_s, u"{USER}\n{PASS}\nsend-all *\ncd\nhelp put\nquit\n"_s, {}, login + u"ftp> send-all *\nInvalid command.\nftp> cd\nUsage: cd remote-directory\nftp> help put\nput             send one file\nftp> quit\n221 Goodbye.\n"_s, 1, {}};
        QTest::newRow("no quit: typed commands, then end of input") << Session{u"{FTP}"_s, u"{USER}\r\n{PASS}\r\nhelp\r\n"_s, QByteArray("pwd\n"), login + u"ftp> help\n"_s + help + u"ftp> pwd\n257 \"{HOME}\" is the current directory\nftp> \n221 Goodbye.\n"_s, 0, {}};
        QTest::newRow("failed log-in, then help alone") << Session{u"{FTP}"_s, u"{USER}\r\nwrong\r\nhelp\r\n"_s, {}, u"Connected to 127.0.0.1.\n220\nUser (127.0.0.1:(none)): {USER}\n331 Please specify the password.\nPassword:\n530 Login incorrect.\nLogin failed.\nftp> help\n"_s + help + u"ftp> \n"_s, 1, {}};
        QTest::newRow("a script's refused cd: no put until a cd succeeds; a put's name keeps its backslash") << Session{u"{FTP}"_s, u"{USER}\r\n{PASS}\r\ncd {DIR}\r\ncd missing\r\nput XferJob.FTP\r\ncd {DIR}\r\nput XferJob.FTP ..\\up.txt\r\nquit\r\n"_s, {}, login + u"ftp> cd {DIR}\n250 Directory successfully changed.\nftp> cd missing\n550 Failed to change directory.\nftp> put XferJob.FTP\nftp: XferJob.FTP not sent, since the cd before it failed.\nftp> cd {DIR}\n250 Directory successfully changed.\nftp> put XferJob.FTP ..\\up.txt\n"_s + sent + u"ftp> quit\n221 Goodbye.\n"_s, 1, QStringList{u"..\\up.txt"_s}};
        QTest::newRow("unknown host, last line open") << Session{u"nonexistent.invalid"_s, u"u\np\ncd x\nquit"_s, {}, u"Unknown host nonexistent.invalid.\nftp> cd x\nNot connected.\nftp> quit\n"_s, 1, {}};
        // libcurl would read the URL ftp://u@HOST:PORT/ as a log-in as u to the test bed.
        QTest::newRow("a host a URL reads as another: never looked up") << Session{u"u@{FTP}"_s, u"{USER}\n{PASS}\nquit\n"_s, {}, u"Unknown host u@127.0.0.1.\nftp> quit\n"_s, 1, {}};
        QTest::newRow("empty script") << Session{u"{FTP}"_s, u""_s, {}, u"Script file XferJob.FTP is empty: no user id to log in with.\n"_s, 1, {}};
        QTest::newRow("unreadable certificate file") << Session{u"-tls:required -cafile:missing.pem {FTPS}"_s, QString(), {}, u"Error opening certificate file missing.pem: No such file or directory.\n"_s, 1, {}};
        QTest::newRow("unreadable script") << Session{u"-s:XferJob.FTP {FTP}"_s, QString(), {}, u"Error opening script file XferJob.FTP: No such file or directory.\n"_s, 1, {}};
        // A temporary name whose latest upload failed never gets the real name, though the server holds a file under it.
        QTest::newRow("a local file that is not there, not renamed") << Session{u"{FTP}"_s, u"{USER}\n{PASS}\ncd {DIR}\nput XferJob.FTP .x.part\nput missing.txt .x.part\nrename .x.part x\nquit\n"_s, {}, login + u"ftp> cd {DIR}\n250 Directory successfully changed.\nftp> put XferJob.FTP .x.part\n"_s + sent + u"ftp> put missing.txt .x.part\nError opening local file missing.txt: No such file or directory.\nftp> rename .x.part x\nrename .x.part: not renamed, since its upload failed.\nftp> quit\n221 Goodbye.\n"_s, 1, QStringList{u".x.part"_s}};
        QTest::newRow("TLS offered by no server; a directory made before is no failure; renamed") << Session{u"-tls:offered -cafile:{CA} {FTP}"_s, u"{USER}\n{PASS}\nmkdir {DIR}\ncd {DIR}\nput XferJob.FTP .x.part\nrename .x.part x\nquit\n"_s, {}, login + u"ftp> mkdir {DIR}\n550 Create directory operation failed.\nftp> cd {DIR}\n250 Directory successfully changed.\nftp> put XferJob.FTP .x.part\n"_s + sent + u"ftp> rename .x.part x\n350 Ready for RNTO.\n250 Rename successful.\nftp> quit\n221 Goodbye.\n"_s, 0, QStringList{u"x"_s}};
        QTest::newRow("no script: everything typed, TLS required") << Session{u"-tls:required -cafile:{CA} {FTPS}"_s, QString(), QByteArray("{USER}\n{PASS}\nls {DIR}\n"), u"User (127.0.0.1:(none)): {USER}\nPassword:\nConnected to 127.0.0.1.\n220\n331 Please specify the password.\n230 Login successful.\nControl and data connections protected by TLS.\nftp> ls {DIR}\n150 Here comes the directory listing.\n226 Directory send OK.\nftp: received\nftp> \n221 Goodbye.\n"_s, 0, {}};
        QTest::newRow("certificate nobody trusts") << Session{u"-tls:offered {FTPS}"_s, u"{USER}\n{PASS}\nquit\n"_s, {}, u"Connected to 127.0.0.1.\n220\nftp: the server's certificate is self-signed and not trusted: SSL certificate problem: self-signed certificate\nftp> quit\n"_s, 1, {}};
        QTest::newRow("certificate for another name") << Session{u"-tls:required -cafile:{CA} localhost:{FTPSPORT}"_s, u"{USER}\n{PASS}\nquit\n"_s, {}, u"Connected to localhost.\n220\nftp: the server's certificate was not issued for localhost: SSL: no alternative certificate subject name matches target host name 'localhost'\nftp> quit\n"_s, 1, {}};
        QTest::newRow("connection refused") << Session{u"127.0.0.1:1"_s, u"{USER}\n{PASS}\ncd x\nquit\n"_s, {}, u"ftp: connect: Failed to connect to 127.0.0.1 port 1 after N ms: Couldn't connect to server\nftp> cd x\nNot connected.\nftp> quit\n"_s, 1, {}};
        // clang-format on
    }

    void runsScript()
    {
        PW_REQUIRE_TESTBED(tb);
        QFETCH(Session, session);
        QTemporaryDir dir(tb.quoted.home + u"/pw-session-XXXXXX"_s);
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));
        const auto fill = [&](QString text) {
            return text.replace(u"{FTPSPORT}"_s, tb.ftpTlsHost.section(u':', 1))
                .replace(u"{FTPS}"_s, tb.ftpTlsHost)
                .replace(u"{CA}"_s, tb.ftpCaFile)
                .replace(u"{FTP}"_s, tb.ftpHost)
                .replace(u"{USER}"_s, tb.quoted.user)
                .replace(u"{PASS}"_s, tb.quoted.password)
                .replace(u"{BASE}"_s, QFileInfo(tb.quoted.home).fileName())
                .replace(u"{HOME}"_s, tb.quoted.home)
                .replace(u"{PARENT}"_s, QFileInfo(tb.quoted.home).path())
                .replace(u"{DIR}"_s, dir.path());
        };
        QTemporaryDir work;
        const QByteArray script = fill(session.script).toUtf8();
        QVERIFY(session.script.isNull() || writeBytes(work.filePath(u"XferJob.FTP"_s), script));

        QProcess process;
        process.setWorkingDirectory(work.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(builtProgram(u"parcelwright-ftp"_s),
                      (session.script.isNull() ? QStringList() : QStringList{u"-s:XferJob.FTP"_s}) +
                          fill(session.host).split(u' '));
        process.write(fill(QString::fromUtf8(session.input)).toUtf8());
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const QRegularExpression greeting(u"^220 .*$"_s, QRegularExpression::MultilineOption);
        const QRegularExpression summary(u"^ftp: \\d+ bytes (sent|received) in .*$"_s,
                                         QRegularExpression::MultilineOption);
        QCOMPARE(QString::fromUtf8(process.readAll())
                     .replace(greeting, u"220"_s)
                     .replace(summary, u"ftp: \\1"_s)
                     .replace(QRegularExpression(u" after \\d+ ms"_s), u" after N ms"_s),
                 fill(session.output));
        QCOMPARE(process.exitCode(), session.status);
        QCOMPARE(fileNamesIn(dir.path()), session.arrived);
        for (const QString &name : std::as_const(session.arrived))
            QCOMPARE(readBytes(dir.filePath(name)), script);
    }
};

QTEST_GUILESS_MAIN(FtpSessionTest)
#include "ftp_session_test.moc"

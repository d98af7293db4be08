#include "support/testbed.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

/// Runs the built parcelwright-ftp on scripts against the test bed's vsftpd and against a server
/// that does not exist. Uploads and the failures both clients share are tested end to end in
/// foundation_*; servers that misbehave, in ftp_replies.
class FtpSessionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runsScript_data();
    void runsScript();
};

void FtpSessionTest::runsScript_data()
{
    // {FTP}: the test bed; {USER} {PASS} {HOME}: the account
    // with a blank and & | ; $ ` in its password; {BASE}: {HOME} without its {PARENT}; {DIR}: an
    // empty directory the account may write to. No script file when null. Every greeting shows
    // as "220", every upload's summary as "ftp: sent".
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("arrived"); // what {DIR} holds afterwards: copies of the script

    // clang-format off
    const QString login = u"Connected to 127.0.0.1.\n220\nUser (127.0.0.1:(none)): {USER}\n331 Please specify the password.\nPassword:\n230 Login successful.\n"_s;
    const QString help = u"Commands may be abbreviated.  Commands are:\n\n?               ascii           binary          bye             cd\ndelete          dir             get             help            lcd\nls              mkdir           put             pwd             quit\nrecv            rename          rmdir           send\n"_s;
    const QString sent = u"150 Ok to send data.\n226 Transfer complete.\nftp: sent\n"_s;
    QTest::newRow("cd relative and absolute, put into a missing directory") << u"{FTP}"_s << u"{USER}\r\n{PASS}\r\ncd ..\r\npwd\r\ncd {BASE}\r\npwd\r\ncd /\r\npwd\r\nput XferJob.FTP no-such-dir/x\r\nquit\r\n"_s << QByteArray() << login + u"ftp> cd ..\n250 Directory successfully changed.\nftp> pwd\n257 \"{PARENT}\" is the current directory\nftp> cd {BASE}\n250 Directory successfully changed.\nftp> pwd\n257 \"{HOME}\" is the current directory\nftp> cd /\n250 Directory successfully changed.\nftp> pwd\n257 \"/\" is the current directory\nftp> put XferJob.FTP no-such-dir/x\n550 Failed to change directory.\nftp> quit\n221 Goodbye.\n"_s << 1 << QStringList();
    QTest::newRow("invalid lines, session goes on") << u"{FTP}"_s << u"{USER}\n{PASS}\nsend-all *\ncd\nhelp put\nquit\n"_s << QByteArray() << login + u"ftp> send-all *\nInvalid command.\nftp> cd\nUsage: cd remote-directory\nftp> help put\nput             send one file\nftp> quit\n221 Goodbye.\n"_s << 1 << QStringList();
    QTest::newRow("no quit: typed commands, then end of input") << u"{FTP}"_s << u"{USER}\r\n{PASS}\r\nhelp\r\n"_s << QByteArray("pwd\n") << login + u"ftp> help\n"_s + help + u"ftp> pwd\n257 \"{HOME}\" is the current directory\nftp> \n221 Goodbye.\n"_s << 0 << QStringList();
    QTest::newRow("failed log-in, then help alone") << u"{FTP}"_s << u"{USER}\r\nwrong\r\nhelp\r\n"_s << QByteArray() << u"Connected to 127.0.0.1.\n220\nUser (127.0.0.1:(none)): {USER}\n331 Please specify the password.\nPassword:\n530 Login incorrect.\nLogin failed.\nftp> help\n"_s + help + u"ftp> \n"_s << 1 << QStringList();
    QTest::newRow("refused cd leaves the directory; a put's name keeps its backslash") << u"{FTP}"_s << u"{USER}\r\n{PASS}\r\ncd {DIR}\r\ncd missing\r\nput XferJob.FTP\r\nput XferJob.FTP ..\\up.txt\r\nquit\r\n"_s << QByteArray() << login + u"ftp> cd {DIR}\n250 Directory successfully changed.\nftp> cd missing\n550 Failed to change directory.\nftp> put XferJob.FTP\n"_s + sent + u"ftp> put XferJob.FTP ..\\up.txt\n"_s + sent + u"ftp> quit\n221 Goodbye.\n"_s << 1 << QStringList{u"..\\up.txt"_s, u"XferJob.FTP"_s};
    QTest::newRow("unknown host, last line open") << u"nonexistent.invalid"_s << u"u\np\ncd x\nquit"_s << QByteArray() << u"Unknown host nonexistent.invalid.\nftp> cd x\nNot connected.\nftp> quit\n"_s << 1 << QStringList();
    QTest::newRow("empty script") << u"{FTP}"_s << u""_s << QByteArray() << u"Script file XferJob.FTP is empty: no user id to log in with.\n"_s << 1 << QStringList();
    QTest::newRow("unreadable script") << u"{FTP}"_s << QString() << QByteArray() << u"Error opening script file XferJob.FTP: No such file or directory.\n"_s << 1 << QStringList();
    // clang-format on
}

void FtpSessionTest::runsScript()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(QString, host);
    QFETCH(QString, script);
    QFETCH(QByteArray, input);
    QFETCH(QString, output);
    QTemporaryDir dir(tb.quoted.home + u"/pw-session-XXXXXX"_s);
    QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));
    const auto fill = [&](QString text) {
        return text.replace(u"{FTP}"_s, tb.ftpHost)
            .replace(u"{USER}"_s, tb.quoted.user)
            .replace(u"{PASS}"_s, tb.quoted.password)
            .replace(u"{BASE}"_s, QFileInfo(tb.quoted.home).fileName())
            .replace(u"{HOME}"_s, tb.quoted.home)
            .replace(u"{PARENT}"_s, QFileInfo(tb.quoted.home).path())
            .replace(u"{DIR}"_s, dir.path());
    };
    QTemporaryDir work;
    QFile file(work.filePath(u"XferJob.FTP"_s));
    const QByteArray scriptBytes = fill(script).toUtf8();
    QVERIFY(script.isNull() ||
            (file.open(QIODevice::WriteOnly) && file.write(scriptBytes) == scriptBytes.size()));
    file.close();

    QProcess process;
    process.setWorkingDirectory(work.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(builtProgram(u"parcelwright-ftp"_s),
                  QStringList{u"-s:XferJob.FTP"_s} + fill(host).split(u' '));
    process.write(input);
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QRegularExpression greeting(u"^220 .*$"_s, QRegularExpression::MultilineOption);
    const QRegularExpression summary(u"^ftp: \\d+ bytes sent in .*$"_s,
                                     QRegularExpression::MultilineOption);
    QCOMPARE(QString::fromUtf8(process.readAll())
                 .replace(greeting, u"220"_s)
                 .replace(summary, u"ftp: sent"_s),
             fill(output));
    QTEST(process.exitCode(), "status");
    const QStringList arrived =
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QTEST(arrived, "arrived");
    for (const QString &name : arrived) {
        QFile arrived(dir.filePath(name));
        QVERIFY(arrived.open(QIODevice::ReadOnly) && arrived.readAll() == scriptBytes);
    }
}

QTEST_GUILESS_MAIN(FtpSessionTest)
#include "ftp_session_test.moc"

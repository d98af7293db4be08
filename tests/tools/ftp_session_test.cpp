#include "support/testbed.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

/// Runs the built parcelwright-ftp on scripts against the test bed's vsftpd and against servers
/// that never answer or do not exist. Uploads and the failures both clients share are tested end
/// to end in foundation_*.
class FtpSessionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runsScript_data();
    void runsScript();
};

void FtpSessionTest::runsScript_data()
{
    // {FTP}: the test bed; {SILENT}: a server that never answers; {USER} {PASS} {HOME}: the account
    // with a blank and & | ; $ ` in its password; {BASE}: {HOME} without its {PARENT}. No script
    // file when null. Every greeting shows as "220".
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("status");

    // clang-format off
    const QString login = u"Connected to 127.0.0.1.\n220\nUser (127.0.0.1:(none)): {USER}\n331 Please specify the password.\nPassword:\n230 Login successful.\n"_s;
    const QString notConnected = u"ftp> cd x\nNot connected.\nftp> quit\n"_s;
    QTest::newRow("cd relative and absolute, put into a missing directory") << u"{FTP}"_s << u"{USER}\r\n{PASS}\r\ncd ..\r\npwd\r\ncd {BASE}\r\npwd\r\ncd /\r\npwd\r\nput XferJob.FTP no-such-dir/x\r\nquit\r\n"_s << QByteArray() << login + u"ftp> cd ..\n250 Directory successfully changed.\nftp> pwd\n257 \"{PARENT}\" is the current directory\nftp> cd {BASE}\n250 Directory successfully changed.\nftp> pwd\n257 \"{HOME}\" is the current directory\nftp> cd /\n250 Directory successfully changed.\nftp> pwd\n257 \"/\" is the current directory\nftp> put XferJob.FTP no-such-dir/x\n550 Failed to change directory.\nftp> quit\n221 Goodbye.\n"_s << 1;
    QTest::newRow("invalid lines, session goes on") << u"{FTP}"_s << u"{USER}\n{PASS}\nsend-all *\ncd\nhelp put\nquit\n"_s << QByteArray() << login + u"ftp> send-all *\nInvalid command.\nftp> cd\nUsage: cd remote-directory\nftp> help put\nput             send one file\nftp> quit\n221 Goodbye.\n"_s << 1;
    QTest::newRow("no quit: typed commands, then end of input") << u"{FTP}"_s << u"{USER}\r\n{PASS}\r\nhelp\r\n"_s << QByteArray("pwd\n") << login + u"ftp> help\nCommands may be abbreviated.  Commands are:\n\n?               ascii           binary          bye             cd\ndelete          dir             get             help            lcd\nls              mkdir           put             pwd             quit\nrecv            rename          rmdir           send\nftp> pwd\n257 \"{HOME}\" is the current directory\nftp> \n221 Goodbye.\n"_s << 0;
    QTest::newRow("silent server times out") << u"-t:2 {SILENT}"_s << u"u\np\ncd x\nquit\n"_s << QByteArray() << u"ftp: time-out after 2 seconds without an answer or progress\n"_s + notConnected << 1;
    QTest::newRow("unknown host, last line open") << u"nonexistent.invalid"_s << u"u\np\ncd x\nquit"_s << QByteArray() << u"Unknown host nonexistent.invalid.\n"_s + notConnected << 1;
    QTest::newRow("empty script") << u"{FTP}"_s << u""_s << QByteArray() << u"Script file XferJob.FTP is empty: no user id to log in with.\n"_s << 1;
    QTest::newRow("unreadable script") << u"{FTP}"_s << QString() << QByteArray() << u"Error opening script file XferJob.FTP: No such file or directory.\n"_s << 1;
    // clang-format on
}

void FtpSessionTest::runsScript()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(QString, host);
    QFETCH(QString, script);
    QFETCH(QByteArray, input);
    QFETCH(QString, output);
    QTcpServer silent; // listening, so the kernel completes the connection; nothing ever answers
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const auto fill = [&](QString text) {
        return text.replace(u"{FTP}"_s, tb.ftpHost)
            .replace(u"{SILENT}"_s, u"127.0.0.1:"_s + QString::number(silent.serverPort()))
            .replace(u"{USER}"_s, tb.quoted.user)
            .replace(u"{PASS}"_s, tb.quoted.password)
            .replace(u"{BASE}"_s, QFileInfo(tb.quoted.home).fileName())
            .replace(u"{HOME}"_s, tb.quoted.home)
            .replace(u"{PARENT}"_s, QFileInfo(tb.quoted.home).path());
    };
    QTemporaryDir dir;
    QFile file(dir.filePath(u"XferJob.FTP"_s));
    QVERIFY(script.isNull() ||
            (file.open(QIODevice::WriteOnly) && file.write(fill(script).toUtf8()) >= 0));
    file.close();

    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(builtProgram(u"parcelwright-ftp"_s),
                  QStringList{u"-s:XferJob.FTP"_s} + fill(host).split(u' '));
    process.write(input);
    process.closeWriteChannel();
    // Well before the default time-out of 30 s, so a silent server must have been left at 2 s.
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QRegularExpression greeting(u"^220 .*$"_s, QRegularExpression::MultilineOption);
    // Which of libcurl's timers ends a silent connection first is a race, and so is its wording.
    const QRegularExpression timeoutDetail(u"(without an answer or progress): .*$"_s,
                                           QRegularExpression::MultilineOption);
    QCOMPARE(QString::fromUtf8(process.readAll())
                 .replace(greeting, u"220"_s)
                 .replace(timeoutDetail, u"\\1"_s),
             fill(output));
    QTEST(process.exitCode(), "status");
}

QTEST_GUILESS_MAIN(FtpSessionTest)
#include "ftp_session_test.moc"

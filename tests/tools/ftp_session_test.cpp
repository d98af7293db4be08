#include "support/testbed.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

/// Runs the built parcelwright-ftp with scripts against the test bed's vsftpd (and against
/// servers that refuse or never answer) and checks what it prints, uploads and exits with.
class FtpSessionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void uploadsByteIdentical_data();
    void uploadsByteIdentical();
    void goesOnAfterFailures_data();
    void goesOnAfterFailures();
    void endsWithoutServer_data();
    void endsWithoutServer();
    void readsOnAtEndOfScript_data();
    void readsOnAtEndOfScript();
    void refusesBadScripts();

private:
    struct Result
    {
        QString output;
        int status = -1;
    };

    Result run(const QStringList &arguments, const QByteArray &script,
               const QByteArray &input = QByteArray());
    QString writeFile(const QString &name, const QByteArray &bytes);
    QString freshRemoteDirectory(const TestbedAccount &account);

    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_remoteDirectories;
};

void FtpSessionTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void FtpSessionTest::cleanup()
{
    for (const QString &path : std::as_const(m_remoteDirectories))
        QDir(path).removeRecursively();
    m_remoteDirectories.clear();
}

FtpSessionTest::Result FtpSessionTest::run(const QStringList &arguments, const QByteArray &script,
                                           const QByteArray &input)
{
    const QString scriptPath = writeFile(u"XferJob.FTP"_qs, script);
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(builtProgram(u"parcelwright-ftp"_qs),
                  QStringList{u"-s:"_qs + scriptPath} + arguments);
    Result result;
    if (!process.waitForStarted(10000)) {
        result.output = u"did not start: "_qs + process.errorString();
        return result;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        result.output = u"did not end"_qs;
        return result;
    }
    result.output = QString::fromUtf8(process.readAll());
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    return result;
}

QString FtpSessionTest::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir->filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString FtpSessionTest::freshRemoteDirectory(const TestbedAccount &account)
{
    const QString name = u"pwftp-"_qs + QUuid::createUuid().toString(QUuid::Id128).left(12);
    m_remoteDirectories << account.home + u"/"_qs + name;
    return name;
}

void FtpSessionTest::uploadsByteIdentical_data()
{
    QTest::addColumn<bool>("quotedAccount");
    QTest::newRow("plain password") << false;
    QTest::newRow("password with blank and shell characters") << true;
}

void FtpSessionTest::uploadsByteIdentical()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(bool, quotedAccount);
    const TestbedAccount &account = quotedAccount ? tb.quoted : tb.plain;
    const QString dir = freshRemoteDirectory(account);
    QByteArray binary("\r\n\0\n\r\r\n\0", 8);
    for (int i = 0; i < 20000; ++i)
        binary.append(static_cast<char>(i * 7 % 256));
    const QString binaryPath = writeFile(u"data.bin"_qs, binary);
    const QString blankPath = writeFile(u"with blank/a b.txt"_qs, "text\r\nlines\n");
    const QString renamedPath = writeFile(u"local.txt"_qs, "renamed on the way\n");

    const QByteArray script = account.user.toUtf8() + "\r\n" + account.password.toUtf8() +
                              "\r\nmkdir " + dir.toUtf8() + "\r\ncd " + dir.toUtf8() +
                              "\r\nmkdir sub\r\ncd " + (account.home + u"/"_qs + dir).toUtf8() +
                              "/sub\r\nput " + binaryPath.toUtf8() + "\r\ncd ..\r\nput \"" +
                              blankPath.toUtf8() + "\"\r\nput " + renamedPath.toUtf8() +
                              " \"remote #%?.txt\"\r\npwd\r\nquit\r\n";
    const Result result = run({tb.ftpHost}, script);
    QVERIFY2(result.status == 0, qPrintable(result.output));
    QVERIFY(result.output.startsWith(u"Connected to 127.0.0.1.\n220 "_qs));
    QVERIFY(result.output.contains(u"User (127.0.0.1:(none)): "_qs + account.user + u"\n331 "_qs));
    QVERIFY(result.output.contains(u"Password:\n230 "_qs));
    QVERIFY(!result.output.contains(account.password));
    QCOMPARE(result.output.count(u"250 Directory successfully changed."_qs), 3);
    QCOMPARE(result.output.count(u"226 Transfer complete.\nftp: "_qs), 3);
    QVERIFY(result.output.contains(u"\nftp: "_qs + QString::number(binary.size()) +
                                   u" bytes sent in "_qs));
    QVERIFY(result.output.contains(u"257 \""_qs + account.home + u"/"_qs + dir + u"\""_qs));
    QVERIFY(result.output.endsWith(u"ftp> quit\n221 Goodbye.\n"_qs));
    // libcurl's own commands stay out of the log.
    for (const QString &hidden : {u"229 "_qs, u"227 "_qs, u"TYPE"_qs, u"Binary mode"_qs})
        QVERIFY2(!result.output.contains(hidden), qPrintable(hidden));

    const QString remote = account.home + u"/"_qs + dir;
    const auto remoteBytes = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
    };
    QCOMPARE(remoteBytes(remote + u"/sub/data.bin"_qs), binary);
    QCOMPARE(remoteBytes(remote + u"/a b.txt"_qs), QByteArray("text\r\nlines\n"));
    QCOMPARE(remoteBytes(remote + u"/remote #%?.txt"_qs), QByteArray("renamed on the way\n"));
}

void FtpSessionTest::goesOnAfterFailures_data()
{
    QTest::addColumn<bool>("wrongPassword");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("expected");

    QTest::newRow("wrong password")
        << true << u"pwd"_qs << u"530 Login incorrect.\nLogin failed.\nftp> pwd\nNot connected."_qs;
    QTest::newRow("missing local file")
        << false << u"put /nonexistent/x.txt"_qs
        << u"Error opening local file /nonexistent/x.txt: No such file or directory."_qs;
    QTest::newRow("missing remote directory")
        << false << u"cd no-such-directory"_qs << u"ftp> cd no-such-directory\n550 "_qs;
    QTest::newRow("invalid command") << false << u"send-all *"_qs << u"Invalid command."_qs;
    QTest::newRow("missing argument") << false << u"cd"_qs << u"Usage: cd remote-directory"_qs;
}

void FtpSessionTest::goesOnAfterFailures()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(bool, wrongPassword);
    QFETCH(QString, command);
    QFETCH(QString, expected);
    const QByteArray password = wrongPassword ? "not-the-password" : tb.plain.password.toUtf8();
    const QByteArray script =
        tb.plain.user.toUtf8() + "\n" + password + "\n" + command.toUtf8() + "\nhelp put\nquit\n";
    const Result result = run({tb.ftpHost}, script);
    QCOMPARE(result.status, 1);
    QVERIFY2(result.output.contains(expected), qPrintable(result.output));
    // The session goes on to the next command.
    QVERIFY2(result.output.contains(u"ftp> help put\nput "_qs), qPrintable(result.output));
    QVERIFY(result.output.endsWith(wrongPassword ? u"ftp> quit\n"_qs : u"221 Goodbye.\n"_qs));
}

void FtpSessionTest::endsWithoutServer_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("expected");
    QTest::newRow("closed port") << u"closed"_qs << u"ftp: connect: "_qs;
    QTest::newRow("silent server") << u"silent"_qs << u"ftp: "_qs;
    QTest::newRow("unknown host") << u"nonexistent.invalid"_qs
                                  << u"Unknown host nonexistent.invalid."_qs;
}

void FtpSessionTest::endsWithoutServer()
{
    QFETCH(QString, server);
    QFETCH(QString, expected);
    // A listening socket nobody accepts from: the kernel completes the connection, nothing
    // ever answers.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const QString silentHost = u"127.0.0.1:"_qs + QString::number(silent.serverPort());
    QString host = server;
    if (server == u"silent"_qs) {
        host = silentHost;
    } else if (server == u"closed"_qs) {
        host = silentHost;
        silent.close();
    }
    const Result result = run({u"-t:2"_qs, host}, "user\npassword\ncd x\nquit\n");
    QCOMPARE(result.status, 1);
    QVERIFY2(result.output.startsWith(expected), qPrintable(result.output));
    QVERIFY2(result.output.contains(u"ftp> cd x\nNot connected.\n"_qs), qPrintable(result.output));
}

void FtpSessionTest::readsOnAtEndOfScript_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");
    // The connection test's script: log-in lines and "help", then the console.
    QTest::newRow("end of input") << QByteArray() << u"ftp> help\nCommands may be abbreviated."_qs;
    QTest::newRow("typed commands") << QByteArray("pwd\n") << u"ftp> pwd\n257 \""_qs;
}

void FtpSessionTest::readsOnAtEndOfScript()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    const QByteArray script =
        tb.quoted.user.toUtf8() + "\r\n" + tb.quoted.password.toUtf8() + "\r\nhelp\r\n";
    const Result result = run({tb.ftpHost}, script, input);
    QVERIFY2(result.status == 0, qPrintable(result.output));
    QVERIFY2(result.output.contains(expected), qPrintable(result.output));
    QVERIFY(result.output.endsWith(u"ftp> \n221 Goodbye.\n"_qs));
}

void FtpSessionTest::refusesBadScripts()
{
    Result result = run({u"127.0.0.1:1"_qs}, QByteArray());
    QCOMPARE(result.status, 1);
    QVERIFY2(result.output.contains(u"XferJob.FTP is empty"_qs), qPrintable(result.output));

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(builtProgram(u"parcelwright-ftp"_qs),
                  {u"-s:"_qs + m_dir->filePath(u"absent.ftp"_qs), u"127.0.0.1:1"_qs});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAll().contains("Error opening script file "));
}

QTEST_GUILESS_MAIN(FtpSessionTest)
#include "ftp_session_test.moc"

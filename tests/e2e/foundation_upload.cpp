#include "support/testbed.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

enum class Client
{
    Ftp,
    Psftp
};

enum class Account
{
    Plain,
    Quoted
};

/// One local file to send and the name it must arrive under.
struct LocalFile
{
    QString path;
    QString name;
    QByteArray content;
};

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A remote directory the account can write into, removed with everything in it afterwards.
std::unique_ptr<QTemporaryDir> remoteDirectory(const QString &home, const QString &pattern)
{
    auto dir = std::make_unique<QTemporaryDir>(home + QLatin1Char('/') + pattern);
    if (dir->isValid()) {
        // Made by root; the servers write as the account.
        QFile::setPermissions(dir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                               QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                               QFileDevice::ReadOther | QFileDevice::WriteOther |
                                               QFileDevice::ExeOther);
    }
    return dir;
}

// The launcher line and script lines of one upload, as the system writes them.
void writeXferJob(const QString &workDir, Client client, const Testbed &tb,
                  const TestbedAccount &account, const QByteArray &remoteDir,
                  const QList<LocalFile> &files, bool withQuit, bool help)
{
    const QByteArray user = account.user.toLocal8Bit();
    const QByteArray password = account.password.toLocal8Bit();
    QByteArray commandLine;
    QList<QByteArray> script;
    if (client == Client::Ftp) {
        commandLine = "ftp -s:XferJob.FTP " + tb.ftpHost.toLocal8Bit();
        script << user << password; // whole lines: no quotes even with a blank inside
    } else {
        commandLine = "psftp " + quotedIfBlank(user) + '@' + tb.sshSession.toLocal8Bit() +
                      " -b XferJob.FTP -pw " + quotedIfBlank(password);
    }
    if (help)
        script << "help";
    if (!remoteDir.isEmpty())
        script << "cd " + quotedIfBlank(remoteDir);
    for (const LocalFile &file : files)
        script << "put " + quotedIfBlank(file.path.toLocal8Bit()) + ' ' +
                      quotedIfBlank(file.name.toLocal8Bit());
    if (withQuit)
        script << "quit";
    QVERIFY(writeCrLfFile(workDir + QStringLiteral("/XferJob.BAT"), {"@echo on", commandLine}));
    QVERIFY(writeCrLfFile(workDir + QStringLiteral("/XferJob.FTP"), script));
}

} // namespace

/// Sends real files through parcelwright-cmd to the test bed's FTP and SSH servers.
class FoundationUpload final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void filesArriveIntact_data();
    void filesArriveIntact();
    void helpScriptEndsAtEndOfInput_data();
    void helpScriptEndsAtEndOfInput();
};

void FoundationUpload::filesArriveIntact_data()
{
    QTest::addColumn<Client>("client");
    QTest::addColumn<Account>("account");
    QTest::addColumn<QString>("remotePattern");
    QTest::addColumn<bool>("withQuit");

    QTest::newRow("ftp, plain account")
        << Client::Ftp << Account::Plain << QStringLiteral("pw-e2e-XXXXXX") << true;
    QTest::newRow("ftp, shell characters in password, blank in directory")
        << Client::Ftp << Account::Quoted << QStringLiteral("pw e2e XXXXXX") << true;
    QTest::newRow("psftp, plain account, blank in directory")
        << Client::Psftp << Account::Plain << QStringLiteral("pw e2e XXXXXX") << true;
    QTest::newRow("psftp, shell characters in password")
        << Client::Psftp << Account::Quoted << QStringLiteral("pw-e2e-XXXXXX") << true;
    QTest::newRow("ftp, script without quit")
        << Client::Ftp << Account::Plain << QStringLiteral("pw-e2e-XXXXXX") << false;
    QTest::newRow("psftp, script without quit")
        << Client::Psftp << Account::Quoted << QStringLiteral("pw-e2e-XXXXXX") << false;
}

void FoundationUpload::filesArriveIntact()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(Client, client);
    QFETCH(Account, account);
    QFETCH(QString, remotePattern);
    QFETCH(bool, withQuit);
    const TestbedAccount &login = account == Account::Plain ? tb.plain : tb.quoted;

    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString workDir = QDir(work.path()).canonicalPath();
    QVERIFY(QDir(workDir).mkpath(QStringLiteral("local files/with blank")));

    QByteArray binary;
    // Every byte value, then the line endings and NULs a text-mode transfer would damage.
    for (int i = 0; i < 256; ++i)
        binary.append(char(i));
    binary += QByteArray("\r\n\n\r\0\0\r\r\n", 9);
    QByteArray large(300 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char &byte : large)
        byte = char(generator.bounded(256));

    const QString local = workDir + QStringLiteral("/local files/");
    const QList<LocalFile> files = {
        {workDir + QStringLiteral("/plain.txt"), QStringLiteral("plain.txt"),
         "first line\r\nsecond line\nthird line\r\n"},
        {local + QStringLiteral("binary.bin"), QStringLiteral("binary.bin"), binary},
        {local + QStringLiteral("with blank/a b.dat"), QStringLiteral("a b.dat"),
         "a file whose path and name hold a blank\n"},
        {workDir + QStringLiteral("/large.bin"), QStringLiteral("large.bin"), large},
        {workDir + QStringLiteral("/empty.txt"), QStringLiteral("empty.txt"), QByteArray()},
    };
    for (const LocalFile &file : files)
        QVERIFY2(writeBytes(file.path, file.content), qPrintable(file.path));

    const auto remote = remoteDirectory(login.home, remotePattern);
    QVERIFY2(remote->isValid(), qPrintable(remote->errorString()));

    writeXferJob(workDir, client, tb, login, remote->path().toLocal8Bit(), files, withQuit, false);
    if (QTest::currentTestFailed())
        return;
    const LauncherRun run = runLauncher(workDir);
    QVERIFY2(run.finished, run.log.constData());
    QVERIFY2(run.exitCode == 0, run.log.constData());

    for (const LocalFile &file : files) {
        const QString arrived = remote->path() + QLatin1Char('/') + file.name;
        QVERIFY2(QFile::exists(arrived), qPrintable(arrived + QStringLiteral(" missing\n") +
                                                    QString::fromLocal8Bit(run.log)));
        QVERIFY2(readBytes(arrived) == file.content, qPrintable(arrived));
    }

    // The interpreter echoes the client's command line before the client's own output.
    QFile bat(workDir + QStringLiteral("/XferJob.BAT"));
    QVERIFY(bat.open(QIODevice::ReadOnly));
    const QByteArray commandLine = bat.readAll().split('\n').value(1).chopped(1);
    const QByteArray echo = '\n' + workDir.toLocal8Bit() + '>' + commandLine + '\n';
    QVERIFY2(run.log.startsWith(echo), run.log.constData());
    const QByteArray output = run.log.mid(echo.size());
    if (client == Client::Psftp) {
        // One line from standard error, one per file from standard output.
        QVERIFY2(output.contains("Using username \"" + login.user.toLocal8Bit() + '"'),
                 run.log.constData());
        QCOMPARE(output.count("=> remote:"), files.size());
    } else {
        QVERIFY2(output.contains("230"), run.log.constData());
        QVERIFY2(output.count("226") >= files.size(), run.log.constData());
    }
}

void FoundationUpload::helpScriptEndsAtEndOfInput_data()
{
    QTest::addColumn<Client>("client");
    QTest::addColumn<Account>("account");

    QTest::newRow("ftp") << Client::Ftp << Account::Plain;
    QTest::newRow("ftp, shell characters in password") << Client::Ftp << Account::Quoted;
    QTest::newRow("psftp") << Client::Psftp << Account::Plain;
    QTest::newRow("psftp, shell characters in password") << Client::Psftp << Account::Quoted;
}

void FoundationUpload::helpScriptEndsAtEndOfInput()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(Client, client);
    QFETCH(Account, account);
    const TestbedAccount &login = account == Account::Plain ? tb.plain : tb.quoted;

    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString workDir = QDir(work.path()).canonicalPath();
    // The connection test's script: log-in lines for ftp, then "help" alone, no "quit".
    writeXferJob(workDir, client, tb, login, QByteArray(), {}, false, true);
    if (QTest::currentTestFailed())
        return;

    const LauncherRun run = runLauncher(workDir);
    QVERIFY2(run.finished, run.log.constData());
    QVERIFY2(run.exitCode == 0, run.log.constData());
    const qsizetype echoEnd = run.log.indexOf('\n', 1);
    QVERIFY(echoEnd > 0);
    const QByteArray output = run.log.mid(echoEnd);
    // Both clients list their commands, put and cd among them.
    QVERIFY2(output.contains("put"), run.log.constData());
    QVERIFY2(output.contains("cd"), run.log.constData());
    if (client == Client::Ftp)
        QVERIFY2(output.contains("230"), run.log.constData());
    else
        QVERIFY2(output.contains("Remote working directory is " + login.home.toLocal8Bit()),
                 run.log.constData());
}

QTEST_GUILESS_MAIN(FoundationUpload)
#include "foundation_upload.moc"

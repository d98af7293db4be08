#include "support/testbed.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

enum class Client
{
    Ftp,
    Psftp
};

enum class Fault
{
    WrongPassword,
    MissingLocalFile,
    MissingRemoteDirectory,
    ClosedPort,
    ScriptEndsBeforePassword,
};

// Nothing listens there on the test machines; a connection is refused at once.
constexpr int closedPort = 1;
const QByteArray closedSession = "closedport";

} // namespace

/// Runs transfers that must fail through parcelwright-cmd and checks that the failure shows.
class FoundationFailures final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failureEndsNonZeroWithReason_data();
    void failureEndsNonZeroWithReason();
};

void FoundationFailures::failureEndsNonZeroWithReason_data()
{
    QTest::addColumn<Client>("client");
    QTest::addColumn<Fault>("fault");
    // What the log must say, case-insensitively; %1 stands for the missing local file.
    QTest::addColumn<QString>("reason");

    QTest::newRow("ftp, wrong password")
        << Client::Ftp << Fault::WrongPassword << QStringLiteral("530|login incorrect");
    QTest::newRow("ftp, missing local file")
        << Client::Ftp << Fault::MissingLocalFile
        << QStringLiteral("%1.*(not found|no such file|cannot open|unable to open)");
    QTest::newRow("ftp, missing remote directory")
        << Client::Ftp << Fault::MissingRemoteDirectory << QStringLiteral("550");
    QTest::newRow("ftp, closed port")
        << Client::Ftp << Fault::ClosedPort
        << QStringLiteral("refused|couldn't connect|failed to connect");
    QTest::newRow("ftp, script ends before the password")
        << Client::Ftp << Fault::ScriptEndsBeforePassword
        << QStringLiteral("530|not logged in|login failed|login incorrect");
    QTest::newRow("psftp, wrong password")
        << Client::Psftp << Fault::WrongPassword << QStringLiteral("access denied");
    QTest::newRow("psftp, missing local file")
        << Client::Psftp << Fault::MissingLocalFile << QStringLiteral("unable to open %1");
    QTest::newRow("psftp, missing remote directory")
        << Client::Psftp << Fault::MissingRemoteDirectory
        << QStringLiteral("no such file or directory");
    QTest::newRow("psftp, closed port")
        << Client::Psftp << Fault::ClosedPort << QStringLiteral("connection refused");
}

void FoundationFailures::failureEndsNonZeroWithReason()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(Client, client);
    QFETCH(Fault, fault);
    QFETCH(QString, reason);

    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString workDir = QDir(work.path()).canonicalPath();
    const QByteArray present = workDir.toLocal8Bit() + "/present.txt";
    const QByteArray missing = workDir.toLocal8Bit() + "/missing.txt";
    {
        QFile file(QString::fromLocal8Bit(present));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("present\n");
    }

    const QByteArray user = tb.plain.user.toLocal8Bit();
    const QByteArray password = fault == Fault::WrongPassword
                                    ? QByteArray("Not" + tb.plain.password.toLocal8Bit())
                                    : tb.plain.password.toLocal8Bit();
    const QByteArray remoteDir = tb.plain.home.toLocal8Bit() + "/no-such-directory";
    QByteArray host;
    if (client == Client::Ftp) {
        host = fault == Fault::ClosedPort ? "127.0.0.1:" + QByteArray::number(closedPort)
                                          : tb.ftpHost.toLocal8Bit();
    } else {
        host = fault == Fault::ClosedPort ? closedSession : tb.sshSession.toLocal8Bit();
    }
    if (fault == Fault::ClosedPort && client == Client::Psftp) {
        // A settings tree of this test's own, so that the shared one keeps only real sessions.
        const QString puttyDir = workDir + QStringLiteral("/putty");
        QVERIFY(QDir().mkpath(puttyDir + QStringLiteral("/sessions")));
        QVERIFY(writeCrLfFile(puttyDir + QStringLiteral("/sessions/") +
                                  QString::fromLatin1(closedSession),
                              {"HostName=127.0.0.1", "PortNumber=" + QByteArray::number(closedPort),
                               "Protocol=ssh"}));
        qputenv("PUTTYDIR", puttyDir.toLocal8Bit());
    }

    QList<QByteArray> script;
    QByteArray commandLine;
    if (client == Client::Ftp) {
        commandLine = "ftp -s:XferJob.FTP " + host;
        script << user;
        if (fault != Fault::ScriptEndsBeforePassword)
            script << password;
    } else {
        commandLine = "psftp " + user + '@' + host + " -b XferJob.FTP -pw " + password;
    }
    if (fault != Fault::ScriptEndsBeforePassword) {
        if (fault == Fault::MissingRemoteDirectory)
            script << "cd " + remoteDir;
        script << "put " + (fault == Fault::MissingLocalFile ? missing : present) + " e2e-fail.txt";
        script << "quit";
    }
    QVERIFY(writeCrLfFile(workDir + QStringLiteral("/XferJob.BAT"), {"@echo on", commandLine}));
    QVERIFY(writeCrLfFile(workDir + QStringLiteral("/XferJob.FTP"), script));

    const LauncherRun run = runLauncher(workDir);
    qputenv("PUTTYDIR", tb.puttyDir.toLocal8Bit());
    // Like the Windows client, ftp goes on after a failed cd and stores the file in the home.
    QFile::remove(tb.plain.home + QStringLiteral("/e2e-fail.txt"));

    QVERIFY2(run.finished, run.log.constData());
    QVERIFY2(run.exitCode != 0, run.log.constData());
    if (reason.contains(QStringLiteral("%1")))
        reason = reason.arg(QRegularExpression::escape(QString::fromLocal8Bit(missing)));
    const QRegularExpression expected(reason, QRegularExpression::CaseInsensitiveOption |
                                                  QRegularExpression::DotMatchesEverythingOption);
    QVERIFY2(expected.match(QString::fromLocal8Bit(run.log)).hasMatch(),
             qPrintable(QStringLiteral("expected /%1/ in:\n%2")
                            .arg(expected.pattern(), QString::fromLocal8Bit(run.log))));
}

QTEST_GUILESS_MAIN(FoundationFailures)
#include "foundation_failures.moc"

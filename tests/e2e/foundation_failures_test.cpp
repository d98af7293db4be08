#include "support/testbed.h"

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

enum class Fault
{
    WrongPassword,
    MissingLocalFile,
    MissingRemoteDirectory,
    ClosedPort,
};

/// Runs transfers that must fail through parcelwright-cmd and checks that the failure shows.
class FoundationFailuresTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failureEndsNonZeroWithReason_data();
    void failureEndsNonZeroWithReason();
};

void FoundationFailuresTest::failureEndsNonZeroWithReason_data()
{
    QTest::addColumn<Client>("client");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("reason"); // what the log must say, case-insensitively

    // clang-format off
    QTest::newRow("ftp, wrong password") << Client::Ftp << Fault::WrongPassword << u"530 login incorrect"_s;
    QTest::newRow("ftp, missing local file") << Client::Ftp << Fault::MissingLocalFile << u"/missing.txt: no such file"_s;
    QTest::newRow("ftp, missing remote directory") << Client::Ftp << Fault::MissingRemoteDirectory << u"550 failed to change directory"_s;
    QTest::newRow("ftp, closed port") << Client::Ftp << Fault::ClosedPort << u"connection refused|couldn't connect|failed to connect"_s;
    QTest::newRow("psftp, wrong password") << Client::Psftp << Fault::WrongPassword << u"access denied"_s;
    QTest::newRow("psftp, missing local file") << Client::Psftp << Fault::MissingLocalFile << u"unable to open .*/missing.txt"_s;
    QTest::newRow("psftp, missing remote directory") << Client::Psftp << Fault::MissingRemoteDirectory << u"no such file or directory"_s;
    QTest::newRow("psftp, closed port") << Client::Psftp << Fault::ClosedPort << u"connection refused"_s;
    // clang-format on
}

void FoundationFailuresTest::failureEndsNonZeroWithReason()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(Client, client);
    QFETCH(Fault, fault);
    QFETCH(QString, reason);

    QTemporaryDir local;
    QFile present(local.filePath(u"present.txt"_s));
    QVERIFY(present.open(QIODevice::WriteOnly) && present.write("present\n") > 0);
    TestbedAccount account = tb.plain;
    if (fault == Fault::WrongPassword)
        account.password.prepend(u"Not"_s);
    QString host = client == Client::Ftp ? tb.ftpHost : tb.sshSession;
    if (fault == Fault::ClosedPort && client == Client::Ftp)
        host = u"127.0.0.1:1"_s; // nothing listens there: the connection is refused at once
    if (fault == Fault::ClosedPort && client == Client::Psftp) {
        // A session of the same kind in a settings tree of this test's own.
        host = u"closedport"_s;
        QVERIFY(QDir(local.path()).mkpath(u"putty/sessions"_s));
        QFile session(local.filePath(u"putty/sessions/closedport"_s));
        QVERIFY(session.open(QIODevice::WriteOnly) &&
                session.write("HostName=127.0.0.1\nPortNumber=1\nProtocol=ssh\n") > 0);
        session.close();
        qputenv("PUTTYDIR", QFile::encodeName(local.filePath(u"putty"_s)));
    }
    QList<QByteArray> commands;
    if (fault == Fault::MissingRemoteDirectory)
        commands << "cd " + tb.plain.home.toLocal8Bit() + "/no-such-directory";
    const bool missing = fault == Fault::MissingLocalFile;
    commands << "put " +
                    QFile::encodeName(
                        local.filePath(missing ? u"missing.txt"_s : u"present.txt"_s)) +
                    " e2e-fail.txt"
             << "quit";

    const LauncherRun run = runXferJob(client, host, account, commands);
    qputenv("PUTTYDIR", tb.puttyDir.toLocal8Bit());
    // Like the Windows client, ftp goes on after a failed cd and stores the file in the home.
    QFile::remove(tb.plain.home + u"/e2e-fail.txt"_s);
    QVERIFY2(run.finished && run.exitCode != 0, run.log.constData());
    QVERIFY2(run.log.startsWith(run.echo), run.log.constData());
    const QRegularExpression expected(reason, QRegularExpression::CaseInsensitiveOption);
    QVERIFY2(expected.match(QString::fromLocal8Bit(run.log)).hasMatch(), run.log.constData());
}

QTEST_GUILESS_MAIN(FoundationFailuresTest)
#include "foundation_failures_test.moc"

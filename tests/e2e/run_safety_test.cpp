#include "connection_test/connection_test.h"
#include "platform/launcher.h"
#include "platform/termination_signals.h"
#include "profiles/profile_store.h"
#include "support/fake_launcher.h"
#include "support/files.h"
#include "support/processes.h"
#include "support/testbed.h"
#include "transfer/transfer_engine.h"
#include "ui/controls/grid_control.h"
#include "ui/ftp_information.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

using namespace Qt::StringLiterals;

/// A signal that ends the program in the middle of a run of two clients at once: both are stopped,
/// the run's files removed, and only then does the program end.
class RunSafetyTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void signalDuringRunStopsClientsThenEnds();
};

void RunSafetyTest::signalDuringRunStopsClientsThenEnds()
{
    QTemporaryDir work;
    QTcpServer silent; // takes the connections and never answers: the clients wait
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    CommandInterpreterLauncher launcher(builtProgram(u"parcelwright-cmd"_s));
    TransferEngine engine(launcher);
    FakeConsoleStarter consoles;
    ConnectionTest connectionTest(consoles);
    const ProfileStore profiles(work.path());
    FTP_Information window(engine, connectionTest, profiles);
    window.setSimultaneousTransfers(2);
    int programEnds = 0;
    window.setProgramEnder([&programEnds] { ++programEnds; });
    window.setMessageSink([](const QString &text, const QString &) { QFAIL(qPrintable(text)); });
    TerminationSignals termination;
    connect(&termination, &TerminationSignals::received, &window,
            &FTP_Information::terminationRequested);
    window.frmFileList->setText(1, 0, u"/etc/hostname"_s);
    window.frmWorkingDirectory->setText(work.path());
    const QString host = u"127.0.0.1:%1"_s.arg(silent.serverPort());
    for (int row = 1; row <= 3; ++row) {
        const QStringList cells{u"N"_s, host, u"/r%1"_s.arg(row), u"u"_s, u"Ru5-pass-7x"_s};
        for (int column = 0; column < cells.size(); ++column)
            window.frmFTPTo->setText(row, column, cells[column]);
    }

    bool clientsSeen = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (!clientsSeen && processesIn(work.path()).join(u' ').count(u"parcelwright-ftp"_s) == 2) {
            clientsSeen = true;
            ::kill(::getpid(), SIGTERM); // as `kill` from another terminal would
        }
    });
    poll.start(20);
    QElapsedTimer clock;
    clock.start();
    window.cmdProcess_Click();

    QVERIFY(clientsSeen);
    QVERIFY2(clock.elapsed() < 15000, "the clients were left to time out by themselves");
    QCOMPARE(programEnds, 1);
    QCOMPARE(window.frmMessage->text(),
             u"Transmission cancelled at %1, %1 - see FTPLogALL.TXT"_s.arg(host));
    QTRY_COMPARE_WITH_TIMEOUT(processesIn(work.path()), QStringList(), 5000);
    QCOMPARE(QDir(work.path()).entryList(QDir::Files), QStringList{u"FTPLogALL.TXT"_s});
    const QByteArray log = readBytes(work.filePath(u"FTPLogALL.TXT"_s));
    QCOMPARE(log.count("was cancelled before it ended"), 2);
    QVERIFY(log.indexOf(" /r1\r\n") < log.indexOf(" /r2\r\n") && !log.contains(" /r3\r\n"));
    QVERIFY(!log.contains("Ru5-pass-7x"));
}

QTEST_MAIN(RunSafetyTest)
#include "run_safety_test.moc"

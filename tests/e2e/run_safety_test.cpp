#include "platform/launcher.h"
#include "platform/termination_signals.h"
#include "profiles/profile_store.h"
#include "support/fake_launcher.h"
#include "support/fake_window.h"
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
#include <cstdio>
#include <iostream>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Runs in a second process: a whole request in DIR whose only client waits for this process's
// standard input to close, so that the test can hold a run open for as long as it needs.
int runHeldOpen(const QString &directory)
{
    FakeTransferWindow window;
    window.setFiles({u"/etc/hostname"_s});
    window.setWorkingDirectory(directory);
    window.grid().setRow({1, u"N"_s, u"held"_s, {}, u"u"_s, u"p"_s});
    FakeLauncher launcher;
    launcher.whileRunning = [](int, ProcessOutcome &) {
        std::cout << "running" << std::endl;
        std::string line;
        std::getline(std::cin, line);
    };
    TransferEngine engine(window, launcher);
    engine.processRequest();
    return window.statusText.startsWith(u"All Transmissions"_s) ? 0 : 1;
}

} // namespace

/// What keeps a run safe when more than the one window is involved: another process on the same
/// working directory, and a signal that ends the program in the middle of a run.
class RunSafetyTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void secondRunOnOneDirectoryIsRefused();
    void signalDuringRunStopsClientThenEnds();
};

void RunSafetyTest::secondRunOnOneDirectoryIsRefused()
{
    QTemporaryDir work;
    QProcess other;
    other.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    other.start(QCoreApplication::applicationFilePath(), {u"--hold-run"_s, work.path()});
    QVERIFY(other.waitForReadyRead(20000));
    QCOMPARE(other.readLine().trimmed(), QByteArray("running"));

    FakeTransferWindow window;
    window.setFiles({u"/etc/hostname"_s});
    window.setWorkingDirectory(work.path() + u'/'); // the same directory, spelled otherwise
    window.grid().setRow({1, u"N"_s, u"mine"_s, {}, u"u"_s, u"p"_s});
    FakeLauncher launcher;
    TransferEngine engine(window, launcher);
    engine.processRequest();
    QCOMPARE(
        window.messages,
        (Messages{{u"Process Error"_s,
                   u"Another transmission is using this working directory - nothing was sent"_s}}));
    QVERIFY(launcher.calls.isEmpty());

    other.closeWriteChannel(); // the other run ends, and with it its hold on the directory
    QVERIFY(other.waitForFinished(20000));
    QCOMPARE(other.exitCode(), 0);
    window.messages.clear();
    engine.processRequest();
    QVERIFY(window.messages.isEmpty());
    QCOMPARE(launcher.calls.size(), 1);
    QVERIFY(readBytes(work.filePath(u"FTPLogALL.TXT"_s)).startsWith("Output from: mine "));
}

void RunSafetyTest::signalDuringRunStopsClientThenEnds()
{
    QTemporaryDir work;
    QTcpServer silent; // takes the connection and never answers: the client waits
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    CommandInterpreterLauncher launcher(builtProgram(u"parcelwright-cmd"_s));
    const ProfileStore profiles(work.path());
    FakeConsoleStarter consoles;
    FTP_Information window(launcher, profiles, consoles);
    int programEnds = 0;
    window.setProgramEnder([&programEnds] { ++programEnds; });
    window.setMessageSink([](const QString &text, const QString &) { QFAIL(qPrintable(text)); });
    TerminationSignals termination;
    connect(&termination, &TerminationSignals::received, &window,
            &FTP_Information::terminationRequested);
    window.frmFileList->setText(1, 0, u"/etc/hostname"_s);
    window.frmWorkingDirectory->setText(work.path());
    const QStringList row{u"N"_s, u"127.0.0.1:%1"_s.arg(silent.serverPort()), {}, u"u"_s, u"Ru5-pass-7x"_s};
    for (int column = 0; column < row.size(); ++column)
        window.frmFTPTo->setText(1, column, row[column]);

    bool clientSeen = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (!clientSeen && processesIn(work.path()).join(u' ').contains(u"parcelwright-ftp"_s)) {
            clientSeen = true;
            ::kill(::getpid(), SIGTERM); // as `kill` from another terminal would
        }
    });
    poll.start(20);
    QElapsedTimer clock;
    clock.start();
    window.cmdProcess_Click();

    QVERIFY(clientSeen);
    QVERIFY2(clock.elapsed() < 15000, "the client was left to time out by itself");
    QCOMPARE(programEnds, 1);
    QVERIFY(window.frmMessage->text().startsWith(u"Transmission cancelled at 127.0.0.1:"_s));
    QTRY_COMPARE_WITH_TIMEOUT(processesIn(work.path()), QStringList(), 5000);
    QCOMPARE(QDir(work.path()).entryList(QDir::Files), QStringList{u"FTPLogALL.TXT"_s});
    QVERIFY(!readBytes(work.filePath(u"FTPLogALL.TXT"_s)).contains("Ru5-pass-7x"));
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--hold-run") == 0) {
        QCoreApplication app(argc, argv);
        return runHeldOpen(QString::fromLocal8Bit(argv[2]));
    }
    QApplication app(argc, argv);
    RunSafetyTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "run_safety_test.moc"

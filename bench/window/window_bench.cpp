// Timings of the main window: start-up to the first painted window, Process Request over a full
// Destination table with a launcher that runs nothing, AddSelectedFiles of a full File list, and
// scrolling the Destination table from top to bottom. Prints medians of five runs per size.
#include "connection_test/connection_test.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "support/fake_launcher.h"
#include "support/fake_window.h"
#include "transfer/run_session.h"
#include "ui/controls/grid_control.h"
#include "ui/ftp_information.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

/// Waits for the first paint of a widget.
class FirstPaint final : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
    bool painted = false;
};

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeMs(const std::function<void()> &prepare, const std::function<void()> &work)
{
    QList<double> runs;
    for (int i = 0; i < 5; ++i) {
        prepare();
        QElapsedTimer clock;
        clock.start();
        work();
        runs.append(clock.nsecsElapsed() / 1e6);
    }
    return median(runs);
}

void print(const char *what, int rows, double ms)
{
    std::printf("%-44s %5d rows %9.1f ms\n", what, rows, ms);
    std::fflush(stdout);
}

int startupOnce(int argc, char *argv[], QElapsedTimer &sinceMain)
{
    QApplication app(argc, argv);
    FakeLauncher launcher;
    RunSession session(launcher);
    const ProfileStore store(QDir::currentPath());
    ProfileCommands profiles(store);
    FakeConsoleStarter consoles;
    ConnectionTest connectionTest(consoles);
    FTP_Information window(session, connectionTest, profiles);
    FirstPaint paint;
    window.installEventFilter(&paint);
    window.show();
    while (!paint.painted)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("%.1f\n", sinceMain.nsecsElapsed() / 1e6);
    return 0;
}

void fillRows(GridControl &grid, int rows)
{
    for (int row = 1; row <= kLastDataRow; ++row) {
        const bool used = row <= rows;
        grid.setText(row, 0, used ? QStringLiteral("N") : QString());
        grid.setText(row, 1, used ? QStringLiteral("host%1").arg(row) : QString());
        grid.setText(row, 2, used ? QStringLiteral("/dir") : QString());
        grid.setText(row, 3, used ? QStringLiteral("user") : QString());
        grid.setText(row, 4, used ? QStringLiteral("pw") : QString());
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    if (argc > 1 && qstrcmp(argv[1], "--startup-once") == 0)
        return startupOnce(argc, argv, sinceMain);

    // The window reads and writes the user's settings: a benchmark keeps its own, not the user's.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    QList<double> startups;
    for (int i = 0; i < 5; ++i) {
        QProcess self;
        self.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--startup-once")});
        self.waitForFinished(60000);
        startups.append(self.readAllStandardOutput().trimmed().toDouble());
    }
    print("start-up to first painted window (in-process)", kLastDataRow, median(startups));

    QTemporaryDir work;
    FakeLauncher launcher;
    launcher.recording = false; // only the window's and the engine's own work is timed
    RunSession session(launcher);
    const ProfileStore store(QDir::currentPath());
    ProfileCommands profiles(store);
    FakeConsoleStarter consoles;
    ConnectionTest connectionTest(consoles);
    FTP_Information window(session, connectionTest, profiles);
    window.setMessageSink([](const QString &, const QString &) {});
    window.frmWorkingDirectory->setText(work.path());
    window.frmFileList->setText(1, 0, QStringLiteral("/etc/hostname"));
    window.show();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    GridControl &grid = *window.frmFTPTo;

    for (int rows : {1000, 2500, kLastDataRow}) {
        // Checks only: the last row is faulty, so nothing runs.
        const double checks = timeMs(
            [&] {
                fillRows(grid, rows);
                grid.setText(rows, 4, QString());
                QCoreApplication::processEvents();
            },
            [&] { window.cmdProcess_Click(); });
        print("Process Request, checks of valid rows", rows, checks);
    }
    for (int rows : {1000, 2500, kLastDataRow}) {
        const double whole = timeMs(
            [&] {
                fillRows(grid, rows);
                QCoreApplication::processEvents();
            },
            [&] {
                window.cmdProcess_Click();
                waitForRunEnd(session);
            });
        print("Process Request, checks and idle run", rows, whole);
    }

    for (int names : {1000, 2500, kLastDataRow}) {
        QString nameList = QStringLiteral("/some/directory/with/files");
        for (int i = 0; i < names; ++i)
            nameList += QChar(u'\0') + QStringLiteral("file-%1.dat").arg(i);
        const double add = timeMs(
            [&] {
                for (int row = 1; row <= kLastDataRow; ++row)
                    window.frmFileList->setText(row, 0, QString());
            },
            [&] { window.AddSelectedFiles(nameList); });
        print("AddSelectedFiles", names, add);
    }

    for (int rows : {1000, 2500, kLastDataRow}) {
        // Page by page, each page painted, as a user holding Page Down sees it.
        QScrollBar *bar = grid.verticalScrollBar();
        const double scroll = timeMs(
            [&] {
                bar->setValue(0);
                QCoreApplication::processEvents();
            },
            [&] {
                while (bar->value() < rows - bar->pageStep()) {
                    bar->setValue(bar->value() + bar->pageStep());
                    grid.viewport()->repaint();
                }
            });
        print("scroll Destination table top to bottom", rows, scroll);
    }

    for (int rows : {1000, 2500, kLastDataRow}) {
        // Dragging the scroll bar's thumb from top to bottom: about a second at 60 frames a second.
        constexpr int kFrames = 60;
        QScrollBar *bar = grid.verticalScrollBar();
        const double drag = timeMs(
            [&] {
                bar->setValue(0);
                QCoreApplication::processEvents();
            },
            [&] {
                for (int frame = 1; frame <= kFrames; ++frame) {
                    bar->setValue(frame * (rows - bar->pageStep()) / kFrames);
                    grid.viewport()->repaint();
                }
            });
        print("drag Destination table top to bottom", rows, drag);
    }
    return 0;
}

// Timings of the profile commands in the real main window with a full Destination table: Save of
// 4,999 rows, Get (LoadProfile) of them, and the window's start-up with that profile first and with
// no profile at all. Prints medians of a few runs each.
#include "connection_test/connection_test.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "support/fake_launcher.h"
#include "transfer/run_session.h"
#include "ui/controls/grid_control.h"
#include "ui/ftp_information.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int kRuns = 7;

double medianMs(const std::function<void()> &work)
{
    QList<double> runs;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer clock;
        clock.start();
        work();
        runs.append(clock.nsecsElapsed() / 1e6);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

void report(const char *what, double ms)
{
    std::printf("%-52s %8.1f ms\n", what, ms);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    // The window reads and writes the user's settings: a benchmark keeps its own, not the user's.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    QTemporaryDir empty;
    QTemporaryDir dir;
    FakeLauncher launcher;
    RunSession session(launcher);
    FakeConsoleStarter consoles;
    ConnectionTest connectionTest(consoles);
    const ProfileStore store(dir.path());
    ProfileCommands profiles(store);
    FTP_Information window(session, connectionTest, profiles);
    window.show();
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        const QStringList cells{row % 2 ? QStringLiteral("Y") : QStringLiteral("N"),
                                QStringLiteral("host%1.example.org").arg(row),
                                QStringLiteral("/incoming/batch %1").arg(row),
                                QStringLiteral("user%1").arg(row),
                                QStringLiteral("pass word %1").arg(row)};
        for (int column = 0; column < cells.size(); ++column)
            window.frmFTPTo->setText(row, column, cells[column]);
    }
    window.frmProfile->setEditText(QStringLiteral("Full"));

    report("Save/Update Profile, 4,999 rows", medianMs([&] { window.cmdProfileSave_Click(); }));
    report("Get Profile (LoadProfile), 4,999 rows", medianMs([&] {
               window.CmdGet_Click();
               QCoreApplication::processEvents();
           }));
    const auto startUp = [&](const ProfileStore &startupStore) {
        return medianMs([&] {
            ProfileCommands commands(startupStore);
            FTP_Information fresh(session, connectionTest, commands);
            QCoreApplication::processEvents();
        });
    };
    const double withProfile = startUp(store);
    const double without = startUp(ProfileStore(empty.path()));
    report("start-up, the 4,999-row profile first", withProfile);
    report("start-up, no profile", without);
    report("  of which the profile's search and load", withProfile - without);
    return 0;
}

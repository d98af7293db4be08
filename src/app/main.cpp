#include "connection_test/connection_test.h"
#include "platform/console.h"
#include "platform/launcher.h"
#include "platform/paths.h"
#include "platform/termination_signals.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "transfer/run_session.h"
#include "ui/ftp_information.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The parts the window works with are built here and live as long as it does.
    const QString interpreter = companionProgram(QStringLiteral("parcelwright-cmd"));
    CommandInterpreterLauncher launcher(interpreter);
    RunSession session(launcher);
    TerminalConsoleStarter consoles(interpreter);
    ConnectionTest connectionTest(consoles);
    // Profiles and the help file belong to the directory the program was started in.
    const ProfileStore store(QDir::currentPath());
    ProfileCommands profiles(store);
    // The working directory starts as the user's own folder, not a shared one such as /tmp/ where
    // another user's files would stop every run.
    makeDefaultWorkingDirectory();
    FTP_Information window(session, connectionTest, profiles);
    // A run asked to end from outside stops its clients and removes its files first.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &window,
                     &FTP_Information::terminationRequested);
    window.show();
    return app.exec();
}

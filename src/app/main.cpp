#include "platform/launcher.h"
#include "platform/paths.h"
#include "platform/termination_signals.h"
#include "ui/ftp_information.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The parts the window works with are built here and live as long as it does.
    CommandInterpreterLauncher launcher(companionProgram(QStringLiteral("parcelwright-cmd")));
    FTP_Information window(launcher);
    // A run asked to end from outside stops its client and removes its files first.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &window,
                     &FTP_Information::terminationRequested);
    window.show();
    return app.exec();
}

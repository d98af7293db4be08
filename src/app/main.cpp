#include "platform/launcher.h"
#include "platform/paths.h"
#include "ui/ftp_information.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The parts the window works with are built here and live as long as it does.
    CommandInterpreterLauncher launcher(companionProgram(QStringLiteral("parcelwright-cmd")));
    FTP_Information window(launcher);
    window.show();
    return app.exec();
}

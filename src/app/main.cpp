#include "ui/ftp_information.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FTP_Information window;
    window.show();
    return app.exec();
}

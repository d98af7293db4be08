#include "ui/ftp_information.h"

FTP_Information::FTP_Information(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Tallowmere- Parcelwright"));
}

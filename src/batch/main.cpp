#include "batch/batch_command.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    BatchCommand command(QStringLiteral(PARCELWRIGHT_VERSION));
    const int status = command.start(QCoreApplication::arguments().mid(1));
    return status >= 0 ? status : app.exec();
}

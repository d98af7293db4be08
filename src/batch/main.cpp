#include "batch/batch_command.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return runBatch(QCoreApplication::arguments().mid(1), QStringLiteral(PARCELWRIGHT_VERSION));
}

#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>

QString workingDirFile(const QString &directoryText, const QString &fileName, QChar separator)
{
    if (directoryText.endsWith(separator))
        return directoryText + fileName;
    return directoryText + separator + fileName;
}

QString fileNameOf(const QString &path, QChar separator)
{
    return path.mid(path.lastIndexOf(separator) + 1);
}

QString companionProgram(const QString &name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

#include "platform/dir_search.h"

#include <QDir>
#include <QFileInfo>

QStringList searchDirectory(const QString &directory, const QString &pattern)
{
    if (directory.isEmpty() || pattern.isEmpty())
        return {};
    // Name filters match without regard to case unless told otherwise; Hidden lets "*.pro" find a
    // file named ".pro", as the Windows search does.
    return QDir(directory).entryList({pattern}, QDir::Files | QDir::Hidden | QDir::Readable,
                                     QDir::Name | QDir::IgnoreCase);
}

bool isOrdinaryFile(const QString &path)
{
    const QFileInfo file(path);
    return file.isFile() && !file.fileName().startsWith(QLatin1Char('.'));
}

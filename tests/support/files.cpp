#include "support/files.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes, unsigned mode)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush())
        return false;
    file.close();
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

bool isOwnerOnly(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 &&
           (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

QStringList fileNamesIn(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

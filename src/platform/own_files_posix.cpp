#include "platform/own_files.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

bool clearOwnFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::lstat(name.constData(), &info) != 0)
        return errno == ENOENT;
    // In a sticky directory such as /tmp another user's file cannot be removed, and even where it
    // can (as root) it is not ours to replace: the run would write into a file of their choosing.
    if (info.st_uid != ::geteuid())
        return false;
    return ::unlink(name.constData()) == 0 || errno == ENOENT;
}

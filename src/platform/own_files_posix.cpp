#include "platform/own_files.h"

#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Only ASCII letters fold: the names of a run are ASCII, and a look-up that ignores case does so
// for them.
QByteArray foldedCase(QByteArray name)
{
    for (char &c : name) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return name;
}

bool isOwnPlainFile(const struct stat &info)
{
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

} // namespace

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

bool clearOwnFiles(const QString &directory, const QStringList &names, QString *blocking)
{
    QSet<QByteArray> wanted;
    wanted.reserve(names.size());
    for (const QString &name : names)
        wanted.insert(foldedCase(QFile::encodeName(name)));

    const QByteArray directoryName = QFile::encodeName(directory);
    DIR *dir = ::opendir(directoryName.constData());
    if (dir == nullptr) {
        *blocking = directory;
        return false;
    }
    // One pass over the directory finds every spelling of every name, however many there are.
    QList<QByteArray> exact;
    bool clear = true;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!wanted.contains(foldedCase(name)))
            continue;
        const bool ours = names.contains(QFile::decodeName(name));
        struct stat info;
        const QByteArray path = directoryName + '/' + name;
        if (::lstat(path.constData(), &info) != 0)
            continue;
        if (info.st_uid != ::geteuid() || (ours && S_ISDIR(info.st_mode))) {
            *blocking = QFile::decodeName(name);
            clear = false;
            break;
        }
        if (ours)
            exact.append(path);
    }
    ::closedir(dir);
    if (!clear)
        return false;
    for (const QByteArray &path : std::as_const(exact)) {
        if (::unlink(path.constData()) != 0 && errno != ENOENT) {
            *blocking = QFile::decodeName(path.mid(path.lastIndexOf('/') + 1));
            return false;
        }
    }
    return true;
}

int createOwnFile(const QString &path, QString *error, bool *nameTaken)
{
    const int descriptor =
        ::open(QFile::encodeName(path).constData(),
               O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (descriptor < 0) {
        const int failure = errno;
        if (nameTaken != nullptr)
            *nameTaken = failure == EEXIST || failure == ELOOP;
        if (error != nullptr)
            *error = QString::fromLocal8Bit(std::strerror(failure));
    }
    return descriptor;
}

DirectoryLock::~DirectoryLock()
{
    release();
}

DirectoryLock::Result DirectoryLock::take(const QString &path)
{
    release();
    const QByteArray name = QFile::encodeName(path);
    // A lock file whose owner let go may be removed under us; the one we locked must still be the
    // one of that name, or the next run would lock another file beside ours.
    for (int attempt = 0; attempt < 8; ++attempt) {
        // O_NONBLOCK: a FIFO planted under the name must not hold the open for ever.
        const int descriptor =
            ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                   S_IRUSR | S_IWUSR);
        if (descriptor < 0) {
            struct stat info;
            const bool present = ::lstat(name.constData(), &info) == 0;
            return present && !isOwnPlainFile(info) ? Result::NotOwnFile : Result::Unwritable;
        }
        struct stat opened;
        if (::fstat(descriptor, &opened) != 0 || !isOwnPlainFile(opened)) {
            ::close(descriptor);
            return Result::NotOwnFile;
        }
        if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            const int failure = errno;
            ::close(descriptor);
            return failure == EWOULDBLOCK ? Result::Busy : Result::Unwritable;
        }
        struct stat named;
        if (::lstat(name.constData(), &named) != 0 || named.st_dev != opened.st_dev ||
            named.st_ino != opened.st_ino) {
            ::close(descriptor);
            continue;
        }
        // Who holds it, for whoever looks; and a directory that takes no more bytes (a full disk)
        // is found out here, before anything of an earlier run is cleared away.
        const QByteArray holder = QByteArray::number(::getpid()) + '\n';
        if (::ftruncate(descriptor, 0) != 0 ||
            ::write(descriptor, holder.constData(), size_t(holder.size())) != holder.size()) {
            ::unlink(name.constData());
            ::close(descriptor);
            return Result::Unwritable;
        }
        m_path = path;
        m_descriptor = descriptor;
        return Result::Taken;
    }
    return Result::Busy;
}

void DirectoryLock::release()
{
    if (m_descriptor < 0)
        return;
    // Removed while still locked, so that nobody can lock the file on its way out.
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_descriptor);
    m_descriptor = -1;
    m_path.clear();
}

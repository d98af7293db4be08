#include "platform/own_files.h"

#include <QFile>
#include <QSet>

#include <algorithm>
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

// Finds every spelling of `names` in `directory` in one pass, however many names there are:
// false, with the name in *blocking, when one belongs to another user or an exact one is a
// directory; otherwise the paths of the exact names present in *exact.
bool scanNames(const QString &directory, const QStringList &names, QString *blocking,
               QList<QByteArray> *exact)
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
            exact->append(path);
    }
    ::closedir(dir);
    return clear;
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
    QList<QByteArray> exact;
    if (!scanNames(directory, names, blocking, &exact))
        return false;
    for (const QByteArray &path : std::as_const(exact)) {
        if (::unlink(path.constData()) != 0 && errno != ENOENT) {
            *blocking = QFile::decodeName(path.mid(path.lastIndexOf('/') + 1));
            return false;
        }
    }
    return true;
}

bool shiftOwnFiles(const QString &directory, const QStringList &names, QString *blocking)
{
    QList<QByteArray> exact;
    if (names.isEmpty() || !scanNames(directory, names, blocking, &exact))
        return false;
    const QByteArray prefix = QFile::encodeName(directory) + '/';
    const auto path = [&](qsizetype i) { return prefix + QFile::encodeName(names[i]); };
    if (::unlink(path(names.size() - 1).constData()) != 0 && errno != ENOENT) {
        *blocking = names.last();
        return false;
    }
    for (qsizetype i = names.size() - 2; i >= 0; --i) {
        struct stat info;
        // rename() moves a link itself, never what it points to; still, only a plain file of the
        // user's own is worth keeping. Anything else stays and is replaced or cleared later.
        if (::lstat(path(i).constData(), &info) != 0 || !isOwnPlainFile(info))
            continue;
        if (::rename(path(i).constData(), path(i + 1).constData()) != 0) {
            *blocking = names[i];
            return false;
        }
    }
    return true;
}

bool readOwnFile(const QString &path, qint64 offset, qint64 length, QByteArray *bytes,
                 FileStamp *stamp)
{
    // O_NONBLOCK: a FIFO planted under the name must not hold the reader for ever.
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    struct stat info;
    bool read = ::fstat(descriptor, &info) == 0 && isOwnPlainFile(info);
    if (read && stamp != nullptr)
        *stamp = {qint64(info.st_size),
                  qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    if (read && bytes != nullptr) {
        const qint64 from = std::clamp<qint64>(offset, 0, info.st_size);
        bytes->resize(qsizetype(std::clamp<qint64>(length, 0, info.st_size - from)));
        const ssize_t got = ::pread(descriptor, bytes->data(), size_t(bytes->size()), off_t(from));
        read = got >= 0;
        bytes->resize(read ? qsizetype(got) : 0);
    }
    ::close(descriptor);
    return read;
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

bool othersMayChangeDirectory(const QString &directory)
{
    struct stat info;
    if (::stat(QFile::encodeName(directory).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    // Its owner may always rename what is in it, or change its mode to do so.
    if (info.st_uid != ::geteuid() && info.st_uid != 0)
        return true;
    return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0;
}

bool othersMayUseFile(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && (info.st_mode & 077) != 0;
}

bool writeWhole(int descriptor, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t count =
            ::write(descriptor, bytes.constData() + done, size_t(bytes.size() - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            errno = count == 0 ? EIO : errno;
            return false;
        }
        done += count;
    }
    return true;
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

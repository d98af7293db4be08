#include "platform/saved_file.h"

#include "platform/own_files.h"

#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

/// Why the thing that stands under `name` in the open `directory` must not be replaced, or an
/// empty text when it may.
QString refusalOf(int directory, const QByteArray &name, const struct stat &info)
{
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("it is a symbolic link");
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("it is not a plain file");
    if (info.st_uid != ::geteuid())
        return QStringLiteral("it belongs to another user");
    if (::faccessat(directory, name.constData(), W_OK, AT_EACCESS) != 0)
        return QStringLiteral("it is read-only");
    return QString();
}

/// What stands under the name now: false with errno when nothing does (ENOENT) or it cannot be
/// looked at.
bool lookAt(int directory, const QByteArray &name, struct stat *info)
{
    return ::fstatat(directory, name.constData(), info, AT_SYMLINK_NOFOLLOW) == 0;
}

/// Creates a new file of a random name beside `name`, never through a link; its descriptor, or -1
/// with errno. `old`: the file it is to replace, whose permissions it takes unless the access
/// asks for owner-only ones.
int createBeside(int directory, const QByteArray &name, FileAccess access, const struct stat *old,
                 QByteArray *temporary)
{
    const mode_t mode = access == FileAccess::OwnerOnly ? 0600 : 0666;
    for (int attempt = 0; attempt < 16; ++attempt) {
        *temporary =
            name + '.' + QByteArray::number(QRandomGenerator::global()->generate() % 0x1000000, 36);
        const int file = ::openat(directory, temporary->constData(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (file < 0 && errno == EEXIST)
            continue;
        if (file >= 0 && old != nullptr && access == FileAccess::Default)
            ::fchmod(file, old->st_mode & 07777);
        return file;
    }
    errno = EEXIST;
    return -1;
}

int renameUnlessTaken(int directory, const QByteArray &from, const QByteArray &to)
{
#ifdef RENAME_NOREPLACE
    return ::renameat2(directory, from.constData(), directory, to.constData(), RENAME_NOREPLACE);
#else
    errno = ENOSYS;
    return -1;
#endif
}

/// Puts the written file under the name, looking again at what stands there now: a plain file of
/// the user's own is replaced, nothing is only taken if it is still nothing when the rename
/// happens, anything else is refused (*refused set). The rename replaces the name itself, so even
/// a link planted at the last moment is replaced, never followed.
bool moveIntoPlace(int directory, const QByteArray &temporary, const QByteArray &name, QString *why,
                   bool *refused)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        struct stat info;
        if (lookAt(directory, name, &info)) {
            *why = refusalOf(directory, name, info);
            *refused = !why->isEmpty();
            if (*refused)
                return false;
            if (::renameat(directory, temporary.constData(), directory, name.constData()) == 0)
                return true;
        } else if (errno == ENOENT) {
            if (renameUnlessTaken(directory, temporary, name) == 0)
                return true;
            if (errno == EEXIST)
                continue; // something took the name meanwhile: look at it again
            // A file system that cannot refuse to replace still gets the plain rename.
            if ((errno == EINVAL || errno == ENOSYS) &&
                ::renameat(directory, temporary.constData(), directory, name.constData()) == 0)
                return true;
        }
        *why = systemError(errno);
        return false;
    }
    *why = systemError(EEXIST);
    return false;
}

/// The directory and the last part of a path, as saveOwnFile works on them.
struct SplitPath
{
    QByteArray directory;
    QByteArray name;

    explicit SplitPath(const QString &path)
    {
        const QByteArray encoded = QFile::encodeName(path);
        const qsizetype slash = encoded.lastIndexOf('/');
        name = encoded.mid(slash + 1);
        directory = slash < 0    ? QByteArray(".")
                    : slash == 0 ? QByteArray("/")
                                 : encoded.left(slash);
    }
    bool namesFile() const { return !name.isEmpty() && name != "." && name != ".."; }
};

} // namespace

QString saveRefusal(const QString &path)
{
    const SplitPath split(path);
    QString refusal = QStringLiteral("it is not a file");
    if (split.namesFile()) {
        const int directory =
            ::open(split.directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat info;
        refusal = directory >= 0 && lookAt(directory, split.name, &info)
                      ? refusalOf(directory, split.name, info)
                      : QString();
        if (directory >= 0)
            ::close(directory);
    }
    return refusal.isEmpty() ? refusal : QStringLiteral("Cannot save %1: %2").arg(path, refusal);
}

bool saveOwnFile(const QString &path, const QByteArray &bytes, FileAccess access, QString *error,
                 SaveFailure *failure)
{
    const auto fail = [&](SaveFailure step, const char *text, const QString &why) {
        if (error != nullptr)
            *error = QString::fromLatin1(text).arg(path, why);
        if (failure != nullptr)
            *failure = step;
        return false;
    };
    const SplitPath split(path);
    const QByteArray &name = split.name;
    if (!split.namesFile())
        return fail(SaveFailure::Refused, "Cannot save %1: %2", QStringLiteral("it is not a file"));
    const int directory = ::open(split.directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return fail(SaveFailure::Open, "Cannot create %1: %2", systemError(errno));
    const auto closeDirectory = qScopeGuard([directory] { ::close(directory); });

    struct stat old;
    const bool existed = lookAt(directory, name, &old);
    if (existed) {
        const QString refusal = refusalOf(directory, name, old);
        if (!refusal.isEmpty())
            return fail(SaveFailure::Refused, "Cannot save %1: %2", refusal);
    }
    QByteArray temporary;
    const int file = createBeside(directory, name, access, existed ? &old : nullptr, &temporary);
    if (file < 0)
        return fail(SaveFailure::Open, "Cannot create %1: %2", systemError(errno));
    // As QSaveFile does, on disk before it takes the name; a file system that cannot sync says so
    // with EINVAL, which is no failure.
    bool written = writeWhole(file, bytes) && (::fdatasync(file) == 0 || errno == EINVAL);
    int writeError = written ? 0 : errno;
    if (::close(file) != 0 && written) {
        written = false;
        writeError = errno;
    }
    QString why = written ? QString() : systemError(writeError);
    bool refused = false;
    if (written && moveIntoPlace(directory, temporary, name, &why, &refused)) {
        if (failure != nullptr)
            *failure = SaveFailure::None;
        return true;
    }
    ::unlinkat(directory, temporary.constData(), 0);
    return refused ? fail(SaveFailure::Refused, "Cannot save %1: %2", why)
                   : fail(SaveFailure::Write, "Cannot write %1: %2", why);
}

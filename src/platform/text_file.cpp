#include "platform/text_file.h"

#include "platform/own_files.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

QFileDevice::Permissions permissionsFor(FileAccess access)
{
    if (access == FileAccess::OwnerOnly)
        return QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    // The umask trims these as it would for any other program.
    return QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
           QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
}

void setError(QString *error, const QString &text)
{
    if (error != nullptr)
        *error = text;
}

QString failure(const char *what, const QString &path, const QFileDevice &file)
{
    return QString::fromLatin1(what).arg(path, file.errorString());
}

bool writeLines(QFileDevice &file, const QList<QByteArray> &lines)
{
    static const QByteArray lineEnd("\r\n");
    for (const QByteArray &line : lines) {
        if (file.write(line) != line.size() || file.write(lineEnd) != lineEnd.size())
            return false;
    }
    return true;
}

} // namespace

bool replaceTextLines(const QString &path, const QList<QByteArray> &lines, FileAccess access,
                      QString *error, TextWriteFailure *failed)
{
    const auto fail = [failed](TextWriteFailure step) {
        if (failed != nullptr)
            *failed = step;
        return false;
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, failure("Cannot create %1: %2", path, file));
        return fail(TextWriteFailure::Open);
    }
    // QSaveFile copies the old file's permissions; an owner-only file must not inherit wider ones.
    // The new file is still empty here, so nothing is ever readable by others.
    if (access == FileAccess::OwnerOnly && !file.setPermissions(permissionsFor(access))) {
        setError(error, failure("Cannot protect %1: %2", path, file));
        file.cancelWriting();
        return fail(TextWriteFailure::Open);
    }
    // commit() ignores a failed flush of the last buffered bytes, so flush first.
    if (!writeLines(file, lines) || !file.flush() || !file.commit()) {
        setError(error, failure("Cannot write %1: %2", path, file));
        return fail(TextWriteFailure::Write);
    }
    if (failed != nullptr)
        *failed = TextWriteFailure::None;
    return true;
}

bool createTextFile(const QString &path, const QList<QByteArray> &lines, QString *error,
                    bool *nameTaken)
{
    QString reason;
    const int descriptor = createOwnFile(path, &reason, nameTaken);
    if (descriptor < 0) {
        setError(error, QStringLiteral("Cannot create %1: %2").arg(path, reason));
        return false;
    }
    QByteArray text;
    for (const QByteArray &line : lines) {
        text += line;
        text += "\r\n";
    }
    qsizetype done = 0;
    errno = 0;
    while (done < text.size()) {
        const ssize_t count =
            ::write(descriptor, text.constData() + done, size_t(text.size() - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        done += count;
    }
    const int writeFailure = done < text.size() ? (errno != 0 ? errno : EIO) : 0;
    const bool closed = ::close(descriptor) == 0;
    if (writeFailure == 0 && closed)
        return true;
    setError(error, QStringLiteral("Cannot write %1: %2")
                        .arg(path, QString::fromLocal8Bit(
                                       std::strerror(writeFailure ? writeFailure : EIO))));
    QFile::remove(path);
    return false;
}

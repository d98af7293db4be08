#include "platform/text_file.h"

#include "platform/own_files.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

void setError(QString *error, const QString &text)
{
    if (error != nullptr)
        *error = text;
}

QByteArray joinedLines(const QList<QByteArray> &lines)
{
    QByteArray text;
    for (const QByteArray &line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

} // namespace

bool replaceTextLines(const QString &path, const QList<QByteArray> &lines, FileAccess access,
                      QString *error, SaveFailure *failure)
{
    return saveOwnFile(path, joinedLines(lines), access, error, failure);
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
    const int writeFailure = writeWhole(descriptor, joinedLines(lines)) ? 0 : errno;
    const bool closed = ::close(descriptor) == 0;
    if (writeFailure == 0 && closed)
        return true;
    setError(error, QStringLiteral("Cannot write %1: %2")
                        .arg(path, QString::fromLocal8Bit(
                                       std::strerror(writeFailure ? writeFailure : EIO))));
    QFile::remove(path);
    return false;
}

#include "profiles/profile_store.h"

#include "platform/paths.h"
#include "platform/saved_file.h"
#include "platform/text_file.h"

#include <QFile>
#include <QFileInfo>

ProfileStore::ProfileStore(QString startupDirectory)
    : m_startupDirectory(std::move(startupDirectory))
{
}

QString ProfileStore::profilePath(const QString &name) const
{
    const QString exact = workingDirFile(m_startupDirectory, name + QStringLiteral(".pro"));
    if (QFileInfo::exists(exact))
        return exact;
    // The search lists "A.PRO" as profile A, as a file system that ignores case would; the name
    // itself is taken literally, only its ending may be spelled otherwise.
    for (const QString &ending : {QStringLiteral(".PRO"), QStringLiteral(".Pro")}) {
        const QString other = workingDirFile(m_startupDirectory, name + ending);
        if (QFileInfo(other).isFile())
            return other;
    }
    return exact;
}

ProfileStore::WriteResult ProfileStore::write(const QString &path, const QList<QByteArray> &lines,
                                              QString *refusal) const
{
    // A link (in a shared directory, one planted by another user), another user's file, or
    // anything but a plain file the user may write is left as it is, and said so.
    QString why = saveRefusal(path);
    if (!why.isEmpty()) {
        if (refusal != nullptr)
            *refusal = why;
        return WriteResult::Refused;
    }
    const bool isNew = !QFileInfo::exists(path);
    if (isNew) {
        // The new text goes to a file of another name first, so whether this name can be
        // created at all (its length, its characters) shows only when the file is made here.
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return WriteResult::CannotOpen;
        probe.close();
    }
    SaveFailure failure = SaveFailure::None;
    if (replaceTextLines(path, lines, FileAccess::OwnerOnly, &why, &failure))
        return WriteResult::Written;
    if (isNew)
        QFile::remove(path); // no profile of that name was there, and none half made stays
    if (failure == SaveFailure::Refused && refusal != nullptr)
        *refusal = why;
    return failure == SaveFailure::Write     ? WriteResult::WriteFailed
           : failure == SaveFailure::Refused ? WriteResult::Refused
                                             : WriteResult::CannotOpen;
}

bool ProfileStore::read(const QString &path, qsizetype maxLines, QList<QByteArray> *lines,
                        qsizetype maxLineBytes) const
{
    // Line by line, so that what follows the lines a table can hold is never read at all.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    lines->clear();
    // Room for a CR LF after the longest line, and for the NUL that readLine adds.
    QByteArray buffer(maxLineBytes + 3, Qt::Uninitialized);
    while (lines->size() < maxLines && !file.atEnd()) {
        qint64 length = file.readLine(buffer.data(), buffer.size());
        if (length < 0)
            return false;
        if (length > 0 && buffer[length - 1] == '\n')
            --length;
        else if (!file.atEnd())
            return false; // no line end within reach: the line is too long
        if (length > 0 && buffer[length - 1] == '\r')
            --length;
        if (length > maxLineBytes)
            return false;
        lines->append(buffer.left(length));
    }
    return true;
}

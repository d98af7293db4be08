#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

/// Who may read a file the program writes.
enum class FileAccess
{
    Default,  // as the process's umask leaves it
    OwnerOnly // readable and writable by its owner only: the file may hold a password
};

/// Which step of a write failed.
enum class TextWriteFailure
{
    None,
    Open,  // the file could not be created: nothing was touched
    Write, // writing or replacing failed part way
};

/// Writes 8-bit lines, each ended by CR LF, in place of a file, which is replaced only once the
/// whole new text is written, so a failure leaves the old file as it was; false, with why in
/// *error and which step failed in *failure.
bool replaceTextLines(const QString &path, const QList<QByteArray> &lines, FileAccess access,
                      QString *error = nullptr, TextWriteFailure *failure = nullptr);

/// Writes 8-bit lines, each ended by CR LF, into a file that must be new: created exclusively,
/// readable by its owner only, never through a link; nothing of that name is removed first. On
/// failure a file it created is removed again; *nameTaken says whether the name was taken.
bool createTextFile(const QString &path, const QList<QByteArray> &lines, QString *error = nullptr,
                    bool *nameTaken = nullptr);

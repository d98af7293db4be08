#pragma once

#include "platform/saved_file.h"

#include <QByteArray>
#include <QList>
#include <QString>

/// Writes 8-bit lines, each ended by CR LF, in place of a file, as saveOwnFile saves them: whole
/// or not at all, never through a link or into another user's file; false, with why in *error and
/// which step failed in *failure.
bool replaceTextLines(const QString &path, const QList<QByteArray> &lines, FileAccess access,
                      QString *error = nullptr, SaveFailure *failure = nullptr);

/// Writes 8-bit lines, each ended by CR LF, into a file that must be new: created exclusively,
/// readable by its owner only, never through a link; nothing of that name is removed first. On
/// failure a file it created is removed again; *nameTaken says whether the name was taken.
bool createTextFile(const QString &path, const QList<QByteArray> &lines, QString *error = nullptr,
                    bool *nameTaken = nullptr);

#pragma once

#include <QByteArray>
#include <QString>

/// Who may read a file the program writes.
enum class FileAccess
{
    Default,  // as the process's umask leaves it
    OwnerOnly // readable and writable by its owner only: the file may hold a password
};

/// Why a save did not happen.
enum class SaveFailure
{
    None,
    Refused, // the name is a link, not a plain file, another user's or read-only: nothing touched
    Open,    // no new file could be made beside it: nothing was touched
    Write,   // writing or replacing failed part way: the old file is as it was
};

/// Saves `bytes` under a name the user gave or one in a directory others share (a Profile, a
/// report), whole or not at all: they go into a new file beside it, which then replaces the name
/// itself. Refused, with a message naming the file, when the name is a symbolic link (even a
/// dangling one), anything but a plain file, a file of another user, or one its owner may not
/// write; nothing is ever written through a link or into another user's file. An old file of the
/// user's own keeps its permissions unless `access` asks for owner-only ones. False, with why in
/// *error and which step failed in *failure.
bool saveOwnFile(const QString &path, const QByteArray &bytes, FileAccess access,
                 QString *error = nullptr, SaveFailure *failure = nullptr);

/// Why saveOwnFile would refuse `path` as it stands now, in the same words ("Cannot save PATH: it
/// is a symbolic link"); empty when it would not. For a check before work whose result is saved
/// at its end: the save itself still looks again.
QString saveRefusal(const QString &path);

#pragma once

#include "interfaces/fault.h"
#include "platform/own_files.h"

#include <QString>
#include <QStringList>

/// The refusal of a working directory in which other users may rename or replace files (see
/// othersMayChangeDirectory), naming it and pointing to a directory of the user's own.
QString sharedWorkingDirectoryText(const QString &directory);
#include <optional>

/// The hold a run or a connection test takes on its working directory for as long as it writes
/// there: the directory's lock, so that only one uses it at a time, and the files of its names
/// cleared, so that it writes only into files it creates itself.
class WorkingDirectoryHold final
{
public:
    /// `directory`: absolute. Nothing is taken yet.
    explicit WorkingDirectoryHold(const QString &directory);

    /// Takes the lock and clears the named files. The fault when another run holds the directory,
    /// the lock file cannot be made or is not the user's own plain file, or one of the names (in
    /// any letter case) belongs to another user or cannot be replaced; the lock is then released
    /// again. `keptNames` first move one name on (see shiftOwnFiles), before anything is cleared.
    std::optional<Fault> take(const QStringList &fileNames, const QStringList &keptNames = {});

    /// Lets the directory go before the hold ends.
    void release() { m_lock.release(); }

private:
    QString m_directory;
    DirectoryLock m_lock;
};

#pragma once

#include "interfaces/fault.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class DestinationGrid;
class ProfileStore;
class ProfileWindow;

/// "Save/Update Profile", "Get Profile", the load of a Profile file into the Destination table,
/// and the start-up that lists the saved profiles and loads the first, for the window each is
/// given, on the profiles of one store. Each returns the fault that stopped it, for the window to
/// show.
class ProfileCommands final
{
public:
    explicit ProfileCommands(const ProfileStore &store);

    /// Where the profiles are: the start-up directory.
    const ProfileStore &store() const { return m_store; }

    /// Save/Update Profile: commits the pending edit, then writes the table's destinations under
    /// the profile name and says so on the status line.
    std::optional<Fault> Save(ProfileWindow &window);

    /// Get Profile: loads the profile the drop-down names, dropping a pending edit. A name that
    /// names no Profile file loads nothing, and is no fault.
    std::optional<Fault> Get(ProfileWindow &window);

    /// Replaces the Destination table with the rows of a Profile file; a file that cannot be read
    /// leaves the table as it was.
    std::optional<Fault> LoadProfile(ProfileWindow &window, const QString &path);

    /// Get into a table that is nothing but cells (a command line's): the same name checks and
    /// reading, rows from 1 on. *missing tells a name that names no Profile file.
    std::optional<Fault> getInto(DestinationGrid &table, const QString &name, bool *missing);

    /// Adds the base names of the directory's files matching `pattern` to the drop-down, its text
    /// the first of them; returns how many.
    int SearchFiles(ProfileWindow &window, const QString &directory, const QString &pattern);

    /// The start-up: sets the cipher key, lists the profiles and loads the first one, saying
    /// nothing of one that cannot be read.
    void startUp(ProfileWindow &window);

private:
    /// The fields of each line of a Profile file, an empty list for a line that holds none.
    std::optional<Fault> read(const QString &path, QList<QStringList> *rows) const;

    const ProfileStore &m_store;
};

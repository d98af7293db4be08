#pragma once

#include <QString>

class ProfileStore;
class ProfileWindow;

/// "Save/Update Profile", "Get Profile", the load of a Profile file into the Destination table,
/// and the start-up that lists the saved profiles and loads the first, for the window each is
/// given, on the profiles of one store.
class ProfileCommands final
{
public:
    explicit ProfileCommands(const ProfileStore &store);

    /// Where the profiles are: the start-up directory.
    const ProfileStore &store() const { return m_store; }

    /// Save/Update Profile: commits the pending edit, then writes the table's destinations under
    /// the profile name.
    void Save(ProfileWindow &window);

    /// Get Profile: loads the profile the drop-down names, dropping a pending edit.
    void Get(ProfileWindow &window);

    /// Replaces the Destination table with the rows of a Profile file; a file that cannot be read
    /// leaves the table as it was (and says so when `reportFailure`).
    void LoadProfile(ProfileWindow &window, const QString &path, bool reportFailure = true);

    /// Adds the base names of the directory's files matching `pattern` to the drop-down, its text
    /// the first of them; returns how many.
    int SearchFiles(ProfileWindow &window, const QString &directory, const QString &pattern);

    /// The start-up: sets the cipher key, lists the profiles and loads the first one. It never
    /// shows a message.
    void startUp(ProfileWindow &window);

private:
    const ProfileStore &m_store;
};

#pragma once

#include <QString>

class ProfileStore;
class ProfileWindow;

/// "Save/Update Profile", "Get Profile", the load of a Profile file into the Destination table,
/// and the start-up that lists the saved profiles and loads the first.
class ProfileCommands final
{
public:
    ProfileCommands(ProfileWindow &window, const ProfileStore &store);

    /// Save/Update Profile: commits the pending edit, then writes the table's destinations under
    /// the profile name.
    void Save();

    /// Get Profile: loads the profile the drop-down names, dropping a pending edit.
    void Get();

    /// Replaces the Destination table with the rows of a Profile file; a file that cannot be read
    /// leaves the table as it was (and says so when `reportFailure`).
    void LoadProfile(const QString &path, bool reportFailure = true);

    /// Adds the base names of the directory's files matching `pattern` to the drop-down, its text
    /// the first of them; returns how many.
    int SearchFiles(const QString &directory, const QString &pattern);

    /// The start-up: sets the cipher key, lists the profiles and loads the first one. It never
    /// shows a message.
    void startUp();

private:
    ProfileWindow &m_window;
    const ProfileStore &m_store;
};

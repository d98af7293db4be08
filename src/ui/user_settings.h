#pragma once

#include "interfaces/transfer_request.h"

#include <QString>

/// What the program keeps for the user between starts, in the user's own settings file
/// (QSettings: $XDG_CONFIG_HOME/parcelwright/parcelwright.conf, ~/.config/... without it).
class UserSettings final
{
public:
    /// The working directory to show at start: the last one a run used while it is still a
    /// directory, otherwise the default one.
    QString workingDirectory() const;
    /// Remembers the working directory of a run that started, made absolute.
    void rememberWorkingDirectory(const QString &directory);

    /// How many destinations are served at once: 1 unless the user chose otherwise, never outside
    /// 1 to 64 whatever the settings file holds.
    int simultaneousTransfers() const;
    void setSimultaneousTransfers(int count);

    /// The transfer settings of the user's runs: the defaults unless the user chose otherwise,
    /// every number within its bounds whatever the settings file holds.
    TransferSettings transferSettings() const;
    void setTransferSettings(const TransferSettings &settings);
};

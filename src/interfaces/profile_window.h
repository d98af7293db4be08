#pragma once

#include "interfaces/destination_grid.h"
#include "interfaces/status_line.h"

#include <QString>

/// What the profile commands and the start-up need of the main window.
class ProfileWindow : public virtual StatusLine
{
public:
    /// The Destination table.
    virtual DestinationGrid &destinationGrid() = 0;
    /// The profile name as keyed in the drop-down, unchanged.
    virtual QString profileName() const = 0;
    /// Sets the drop-down's text.
    virtual void setProfileName(const QString &name) = 0;
    /// Adds a name at the end of the drop-down's list.
    virtual void addProfileName(const QString &name) = 0;
    /// The commit of the pending cell edit, as when the current cell is about to be left.
    virtual void commitPendingEdit() = 0;
    /// While set, the table's cell-entered reaction and the commit do nothing.
    virtual void setGridBusy(bool busy) = 0;
    /// Hides the in-place editor, dropping what it holds.
    virtual void hideEditor() = 0;
};

#pragma once

#include "interfaces/destination_grid.h"
#include "interfaces/status_line.h"

#include <QString>

/// What the connection test needs of the main window.
class ConnectionTestWindow : public virtual StatusLine
{
public:
    /// The Destination table; its current row is the one tested.
    virtual DestinationGrid &destinationGrid() = 0;
    /// The working-directory text exactly as typed.
    virtual QString workingDirectoryText() const = 0;
    /// The commit of the pending cell edit, as when the current cell is about to be left.
    virtual void commitPendingEdit() = 0;
};

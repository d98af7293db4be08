#pragma once

#include "interfaces/destination_grid.h"
#include "interfaces/run_progress.h"
#include "interfaces/user_messages.h"

#include <QString>

/// What a transfer request needs of the main window.
class TransferWindow : public virtual UserMessages, public RunProgress
{
public:
    /// The Destination table.
    virtual DestinationGrid &destinationGrid() = 0;
    /// Text of one row of the File list (row 0 is the heading).
    virtual QString fileListText(int row) const = 0;
    /// The working-directory text exactly as typed.
    virtual QString workingDirectoryText() const = 0;
};

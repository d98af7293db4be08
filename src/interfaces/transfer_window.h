#pragma once

#include "interfaces/destination_grid.h"
#include "interfaces/run_observer.h"
#include "interfaces/user_messages.h"

#include <QString>

/// What a transfer request needs of the main window (or of any front end that plays it): the
/// tables and texts the checks read, and the run's progress and results.
class TransferWindow : public virtual UserMessages, public RunObserver
{
public:
    /// The Destination table.
    virtual DestinationGrid &destinationGrid() = 0;
    /// Text of one row of the File list (row 0 is the heading).
    virtual QString fileListText(int row) const = 0;
    /// The working-directory text exactly as typed.
    virtual QString workingDirectoryText() const = 0;
    /// How many destinations may be served at once.
    virtual int simultaneousTransfers() const { return kMinSimultaneous; }
};

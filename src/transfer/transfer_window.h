#pragma once

#include "transfer/destination_grid.h"

#include <QString>

/// What a transfer request needs of the main window.
class TransferWindow
{
public:
    virtual ~TransferWindow() = default;

    /// The Destination table.
    virtual DestinationGrid &destinationGrid() = 0;
    /// Text of one row of the File list (row 0 is the heading).
    virtual QString fileListText(int row) const = 0;
    /// The working-directory text exactly as typed.
    virtual QString workingDirectoryText() const = 0;
    /// Sets the status line and repaints the window at once so that the text shows.
    virtual void setStatusText(const QString &text) = 0;
    /// A modal message box with an OK button only and no icon; returns when it is dismissed.
    virtual void showMessage(const QString &text, const QString &title) = 0;
    /// A client is about to run for destination `index` (1-based) of `total`; the window may show
    /// progress with a Cancel that calls TransferEngine::requestCancel().
    virtual void destinationStarted(const QString &host, int index, int total)
    {
        Q_UNUSED(host)
        Q_UNUSED(index)
        Q_UNUSED(total)
    }
    /// The client of the destination announced last has ended.
    virtual void destinationFinished() {}
};

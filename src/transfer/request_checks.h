#pragma once

#include "interfaces/destination_grid.h"
#include "interfaces/fault.h"
#include "interfaces/transfer_request.h"

#include <QList>
#include <QStringList>

#include <optional>

/// What Process Request reads besides the Destination table.
struct RequestForm
{
    QStringList files;        // the File list's rows from row 1 up to the first empty one
    QString workingDirectory; // exactly as typed
    int simultaneous = kMinSimultaneous;
    TransferSettings settings{}; // as the user chose them
};

/// Hears the findings of the request checks as they are made, in order: a window presents each
/// at once, since its mark of a cell moves the current cell (committing a pending edit) before
/// the next check reads the table again.
class CheckFindings
{
public:
    virtual ~CheckFindings() = default;

    /// A fault: the request will be refused.
    virtual void faultFound(const Fault &fault) = 0;
    /// A destination row passed every check, so its earlier marks may go.
    virtual void rowPassed(int row) = 0;
};

/// The checks of "Process Request", in their order: a File list, a destination, a working
/// directory, the transfer settings, then every destination row, each faulty cell its own fault.
/// Only when all have passed does the form with the table become a request, the working directory
/// resolved once where the checks found it. With `onlyRows`, the rows of the table outside that
/// list are neither checked nor sent (a new request to the destinations an earlier run did not
/// reach).
std::optional<TransferRequest> checkedRequest(const RequestForm &form, const DestinationGrid &table,
                                              CheckFindings &findings,
                                              const QList<int> &onlyRows = {});

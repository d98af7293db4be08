#pragma once

#include "interfaces/transfer_request.h"

#include <optional>

class TransferWindow;

/// The checks of "Process Request", in their order: a File list, a destination, a working
/// directory, then every destination row, each faulty cell marked red with its message (the cell
/// moves commit a pending edit on the way). Only when all have passed does the window's content
/// become a request, the working directory resolved once where the checks found it.
/// With `onlyRows`, the rows of the table outside that list are neither checked nor sent (a new
/// request to the destinations an earlier run did not reach).
std::optional<TransferRequest> checkedRequest(TransferWindow &window,
                                              const QList<int> &onlyRows = {});

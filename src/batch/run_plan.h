#pragma once

#include "interfaces/transfer_request.h"

#include <QStringList>

/// What a run of the request would do, for a look before sending: the working directory, the
/// files, and for each destination its row and host with the launcher and script lines its run
/// would write. Every password shows as "********".
QStringList runPlan(const TransferRequest &request);

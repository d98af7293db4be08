#pragma once

#include "interfaces/fault.h"
#include "interfaces/transfer_request.h"

class ConnectionTestWindow;
class ConsoleStarter;

/// "Test the Connection": writes the launcher and a script that only asks for the client's help
/// for the current destination row, and opens a console on them, not waited for.
class ConnectionTest final
{
public:
    explicit ConnectionTest(ConsoleStarter &consoles);

    /// Tests the window's current row, with the transfer settings that concern a log-in (FTP over
    /// TLS and its certificate file for the plain client, the host keys file for psftp). Returns
    /// what refused it, in order (a fault of a cell names the cell to mark); a refusal leaves
    /// nothing written.
    Faults testCurrentRow(ConnectionTestWindow &window, const TransferSettings &settings = {});

private:
    /// The checks before anything is written; the faults they found.
    static Faults checkRow(ConnectionTestWindow &window);

    ConsoleStarter &m_consoles;
};

#pragma once

#include "transfer/transfer_window.h"

#include <QString>
#include <QStringList>

class Launcher;

/// The "Process Request" command: checks a request, then sends every listed file to every
/// destination of the table, one destination after another, gathering the clients' output.
class TransferEngine final
{
public:
    TransferEngine(TransferWindow &window, Launcher &launcher);

    /// Process Request: checks the request, marks faulty cells and, when all is well, runs the
    /// transfer and sets the closing status text.
    void processRequest();

    /// The run itself: one launcher per destination row, logs gathered into FTPLogALL.TXT.
    void TransmitAll();

    /// Asks a running transfer to stop the running client and skip the remaining destinations.
    void requestCancel();

    /// True while TransmitAll waits for a client.
    bool isRunning() const { return m_running; }

    /// Number of the next per-destination log, FTPLog<nnnn>.TXT.
    qint16 LogNumber = 1;

private:
    struct RunTally;
    bool TransmitDestination(const QString &secureFlag, const QString &remoteDirectory,
                             const QString &userId, const QString &password, const QString &host,
                             RunTally &tally);

    TransferWindow &m_window;
    Launcher &m_launcher;
    bool m_running = false;
    bool m_cancelRequested = false;
};

#pragma once

#include "interfaces/transfer_window.h"

#include <QString>
#include <QStringList>

class Launcher;
class WorkingDirectoryHold;

/// The "Process Request" command: checks a request, then sends every listed file to every
/// destination of the table, one destination after another, gathering the clients' output.
class TransferEngine final
{
public:
    TransferEngine(TransferWindow &window, Launcher &launcher);

    /// Process Request: checks the request, marks faulty cells and, when all is well, runs the
    /// transfer and sets the closing status text. True when a run started (TransmitAll).
    bool processRequest();

    /// The run itself: one launcher per destination row, logs gathered into FTPLogALL.TXT. False
    /// when it could not start: another run holds the working directory, or a file of the run's
    /// names there is not the user's to replace (the user has been told).
    bool TransmitAll();

    /// Asks a running transfer to stop the running client and skip the remaining destinations;
    /// does nothing when no run is in progress.
    void requestCancel();

    /// True from the start of TransmitAll to its end, the waits for the clients included.
    bool isRunning() const { return m_running; }

    /// Number of the next per-destination log, FTPLog<nnnn>.TXT.
    qint16 LogNumber = 1;

private:
    struct RunTally;
    bool TransmitDestination(const QString &secureFlag, const QString &remoteDirectory,
                             const QString &userId, const QString &password, const QString &host,
                             RunTally &tally);
    bool claimRunFiles(WorkingDirectoryHold &hold, RunTally &tally);
    static QString closingText(const RunTally &tally);
    bool checkRequest();
    bool checkRow(int row);
    void markCell(int row, int column, const QString &message);
    void stopForUnwritableDirectory(RunTally &tally);

    TransferWindow &m_window;
    Launcher &m_launcher;
    bool m_running = false;
    bool m_cancelRequested = false;
    // Status text that replaces the completion text after the latest run; empty after a clean one.
    QString m_closingText;
};

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/// One destination of a request: a Destination table row that passed the request's checks.
struct Destination
{
    int row = 0;         // its row in the Destination table, 1 to 4,999
    bool secure = false; // served by psftp (the row's Secure Shell value is "Y")
    QString host;
    QString remoteDirectory;
    QString userId;
    QString password;
};

/// Everything a transfer run needs, taken from the window once the checks have passed, so that
/// the run never reads the window again.
struct TransferRequest
{
    QStringList files;               // full local paths, in File list order
    QList<Destination> destinations; // in row order
    QString workingDirectory;        // absolute, resolved once where the checks found it
    int simultaneous = 1;            // how many destinations may be served at once, 1 to 64
    // The earlier FTPLogALL.TXT is kept as FTPLogALL.1.TXT (the one before it as .2, and so on
    // up to kKeptLogs) instead of being replaced.
    bool keepEarlierLog = false;
};

/// How many earlier cumulative logs a request that keeps them leaves beside the new one.
inline constexpr int kKeptLogs = 9;

/// Bounds of TransferRequest::simultaneous.
inline constexpr int kMinSimultaneous = 1;
inline constexpr int kMaxSimultaneous = 64;

#pragma once

#include "interfaces/transfer_request.h"

#include <QDateTime>
#include <QList>
#include <QString>

/// How the run ended for one destination.
enum class Outcome
{
    Sent,      // its client ended with status 0
    Failed,    // its client reported a failure, could not start, or its files could not be written
    Cancelled, // its client was stopped by a cancel
    NotStarted // the run ended before its turn
};

/// What became of one destination. Never holds a password.
struct DestinationResult
{
    int row = 0;
    QString host;
    bool secure = false;
    int logNumber = 0; // its FTPLog<nnnn>.TXT; 0 when it was not started
    QDateTime start;   // UTC; null when it was not started
    qint64 durationMs = 0;
    int exitStatus = -1; // the launcher's exit status; -1 when none ran
    Outcome outcome = Outcome::NotStarted;
    QString reason; // one line, from the client's own output where it said why
    // Where its block stands in FTPLogALL.TXT; -1 while it has none there (not written yet, or
    // never: not started, its files could not be written, the log could not take it).
    qint64 logOffset = -1;
    qint64 logLength = 0;
};

/// How a whole run ended.
struct RunEnd
{
    bool started = false;             // false: refused before anything was written or sent
    QList<DestinationResult> results; // one per destination of the request, in row order
    QString statusText;               // the status line's closing text
};

/// Follows a transfer run: the window's progress and results, a command line's report.
class RunObserver
{
public:
    virtual ~RunObserver() = default;

    /// The run took the working directory and is about to serve the request's destinations.
    virtual void runStarted(const TransferRequest &request) { Q_UNUSED(request) }
    /// A destination's client is about to start.
    virtual void destinationStarted(int row, const QString &host, int logNumber)
    {
        Q_UNUSED(row)
        Q_UNUSED(host)
        Q_UNUSED(logNumber)
    }
    /// A destination is done, as soon as its client has ended (or could not run).
    virtual void destinationFinished(const DestinationResult &result) { Q_UNUSED(result) }
    /// The run is over: every destination's final result, the closing status text.
    virtual void runFinished(const RunEnd &end) { Q_UNUSED(end) }
};

/// The word a report and a results list use for an outcome.
inline QString outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Sent:
        return QStringLiteral("sent");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::Cancelled:
        return QStringLiteral("cancelled");
    case Outcome::NotStarted:
        break;
    }
    return QStringLiteral("not started");
}

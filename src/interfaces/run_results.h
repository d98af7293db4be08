#pragma once

#include "interfaces/fault.h"

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
    int attempts = 0; // how often its client was started: 1, or more after passing failures
    bool tls = false; // its last client said TLS protected the FTP session
};

/// How a run that started ended.
struct RunEnd
{
    QList<DestinationResult> results; // one per destination of the request, in row order
    QString statusText;               // the status line's closing text
    Faults faults;                    // what stopped the run early, in the order it happened
    qint64 totalMs = 0;               // from the start of the run to its end
    QDateTime started;                // UTC
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

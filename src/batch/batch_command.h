#pragma once

#include <QStringList>

/// The exit statuses of parcelwright-batch.
enum BatchExit : int
{
    kAllSent = 0,
    kSomeFailed = 1, // or the report could not be written
    kRefused = 2,    // a usage error, or a request its checks or the run refused: nothing sent
    kCancelled = 3   // SIGINT, SIGTERM or SIGHUP ended the run early
};

/// parcelwright-batch from its arguments (the program's name left out) to its exit status: reads
/// the request, checks it as Process Request does, and runs it through the transfer engine (or
/// shows it, for a dry run), with progress and a report.
int runBatch(const QStringList &arguments, const QString &version);

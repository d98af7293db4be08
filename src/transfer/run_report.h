#pragma once

#include "interfaces/run_results.h"
#include "interfaces/transfer_request.h"

#include <QByteArray>
#include <QList>
#include <QString>

/// The report of a run as JSON Lines: one object per destination as it finishes, then one summary
/// object. Read by machines (a scheduler, a script joining several reports by row) and by the
/// program itself to send again to the destinations that were not sent. No password, ever.
namespace RunReport {

/// One destination's line (with its line feed): row, host, secure, remote directory, user id, log
/// number, start (ISO 8601, UTC), duration in ms, exit status, outcome, reason, number of files,
/// how often its client was started, whether TLS protected its FTP session.
QByteArray destinationLine(const DestinationResult &result, const Destination &destination,
                           int fileCount);

/// The number of the report's form, in its summary line: it changes when a field changes its
/// meaning or goes; new fields may come within one form.
inline constexpr int kReportFormat = 1;

/// The summary line: the form's number, counts by outcome, when the run started (ISO 8601, UTC),
/// the total time, the files sent, the working directory, the version.
QByteArray summaryLine(const RunEnd &end, const QStringList &files,
                       const QString &workingDirectory);

/// A destination as an earlier report tells of it.
struct Entry
{
    int row = 0;
    QString host;
    Outcome outcome = Outcome::NotStarted;
};

/// Reads the destination lines of a report; false, with why, when the text is not a report.
bool read(const QByteArray &text, QList<Entry> *entries, QString *error);

} // namespace RunReport

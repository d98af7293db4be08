#pragma once

#include "interfaces/run_results.h"
#include "interfaces/transfer_request.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

/// Writes a run's report (see RunReport), the one writer of every report the program makes. As a
/// run goes, one line per destination as it finishes, then at its end the destinations it never
/// reached and the summary; a report file appears whole or not at all, when the run is over, and
/// meanwhile its lines grow in FILE.part beside it (once opened), so a run that is killed still
/// leaves what it did. "-" writes to standard output instead, line by line.
class ReportWriter final
{
public:
    /// `path`: the report file, or "-"; `request`: the run's, whose passwords it never writes.
    ReportWriter(QString path, const TransferRequest &request);

    /// Writes a finished run's report whole, in one go; false with why when it cannot be written.
    static bool save(const QString &path, const TransferRequest &request, const RunEnd &end,
                     QString *error);

    /// Makes the partial file (created new, the user's own, never through a link); false with
    /// why when it cannot be. Nothing is written before.
    bool open(QString *error);
    /// Removes the partial file of a run that did not start.
    void discard();
    /// A destination is done: its line.
    void add(const DestinationResult &result);
    /// The run is over: the lines of the destinations not written yet, the summary, then the
    /// report file whole; false with the file's error when it cannot be written (a partial file
    /// then stays).
    bool finish(const RunEnd &end, QString *error);

    /// The report file, or "-".
    const QString &path() const { return m_path; }
    /// The partial file beside a report file.
    static QString partialPath(const QString &path) { return path + QStringLiteral(".part"); }

private:
    void write(const QByteArray &line);
    bool toStandardOutput() const { return m_path == QLatin1String("-"); }

    QString m_path;
    QHash<int, Destination> m_destinations;
    QStringList m_files;
    QString m_workingDirectory;
    QFile m_partial;
    QByteArray m_text;
    QSet<int> m_written;
};

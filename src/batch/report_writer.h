#pragma once

#include "interfaces/run_observer.h"
#include "interfaces/transfer_request.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QString>

/// Writes a run's report as it goes: one line per destination as it finishes, the destinations
/// the run never reached at its end, then the summary. A report file appears whole or not at
/// all, when the run is over; meanwhile its lines grow in FILE.part beside it, so a run that is
/// killed still leaves what it did. "-" writes to standard output instead, line by line.
class ReportWriter final : public RunObserver
{
public:
    /// `path`: the report file, or "-".
    ReportWriter(QString path, const TransferRequest &request, QString version);

    /// Makes the partial file (created new, the user's own, never through a link); false with
    /// why when it cannot be. Nothing is written before.
    bool open(QString *error);
    /// Removes the partial file of a run that did not start.
    void discard();
    /// Adds the summary and writes the report file whole; false with why when it cannot be
    /// written (the partial file then stays).
    bool finish(qint64 totalMs, QString *error);

    void destinationFinished(const DestinationResult &result) override;
    void runFinished(const RunEnd &end) override;

    /// The partial file beside a report file.
    static QString partialPath(const QString &path) { return path + QStringLiteral(".part"); }

private:
    void add(const QByteArray &line);
    bool toStandardOutput() const { return m_path == QLatin1String("-"); }

    QString m_path;
    QHash<int, Destination> m_destinations;
    int m_fileCount = 0;
    QString m_workingDirectory;
    QString m_version;
    QFile m_partial;
    QByteArray m_text;
    QList<DestinationResult> m_results;
    QSet<int> m_written;
};

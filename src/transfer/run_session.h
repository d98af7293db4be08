#pragma once

#include "interfaces/destination_grid.h"
#include "interfaces/fault.h"
#include "interfaces/run_results.h"
#include "interfaces/transfer_request.h"
#include "platform/own_files.h"
#include "transfer/cumulative_log.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class CheckFindings;
class Launcher;
class TransferRun;

/// The runs of one front end, one at a time, each served by the launcher the session was built
/// with: it starts a request and returns at once, says what happens through its signals, and
/// keeps the last request and its results - for "Send again", the report and each destination's
/// block of the log. No result it gives out holds a password.
class RunSession final : public QObject
{
    Q_OBJECT
public:
    explicit RunSession(Launcher &launcher, QObject *parent = nullptr);
    ~RunSession() override;

    /// Starts a run of a request whose checks have passed. The fault that keeps it from starting
    /// (another run holds the working directory, it cannot be written: nothing was written or
    /// sent, and no signal follows); none once started() has been emitted. A request without
    /// destinations starts and finishes at once, touching nothing.
    std::optional<Fault> start(const TransferRequest &request);

    /// "Send again": a new run to `rows` of the last request, as `table` holds them now, with
    /// the last run's files, working directory and number at once; the earlier log is kept as
    /// FTPLogALL.1.TXT (the one before it as .2, ...). The checks' faults, then anything else
    /// that keeps the run from starting, go to `findings` in order; true when the run started.
    bool sendAgain(const QList<int> &rows, const DestinationGrid &table, CheckFindings &findings);

    /// Stops the running clients and skips the destinations not started yet; the run still
    /// finishes, through finished(). Nothing happens when no run goes on.
    void cancel();

    /// From start() to the moment finished() is emitted.
    bool isRunning() const { return m_run != nullptr; }

    /// The request of the last run that started; empty before the first.
    const TransferRequest &lastRequest() const { return m_request; }
    /// What became of the last run's destinations: those done so far while it runs, then every
    /// one in row order.
    const QList<DestinationResult> &lastResults() const { return m_end.results; }
    /// The rows of the last run that were not sent (failed, cancelled, not started), in order.
    QList<int> unsentRows() const;
    /// The table rows among `rows` whose host in `table` is not the one the last run used.
    QList<int> rowsWithOtherHost(const QList<int> &rows, const DestinationGrid &table) const;

    /// Writes the last run's report (see ReportWriter) whole; false with why when it cannot be.
    bool saveReport(const QString &path, QString *error) const;

    /// One destination's block of the last run's FTPLogALL.TXT, for a viewer.
    LogBlock logBlock(const DestinationResult &result) const;

Q_SIGNALS:
    /// A run took the working directory and is about to serve its destinations.
    void started(const TransferRequest &request);
    /// A destination's client is about to start.
    void destinationStarted(int row, const QString &host, int logNumber);
    /// A destination is done, as soon as its client has ended (or could not run).
    void destinationFinished(const DestinationResult &result);
    /// The status line's text while a run goes on.
    void statusChanged(const QString &text);
    /// The run is over: every destination's result, the closing status text, the faults that
    /// stopped it early, the total time. isRunning() is false from here on.
    void finished(const RunEnd &end);

private:
    void runFinished(const RunEnd &end);
    Destination destinationOf(int row) const;

    Launcher &m_launcher;
    TransferRun *m_run = nullptr;
    TransferRequest m_request;
    RunEnd m_end;
    FileStamp m_logAtEnd;
};

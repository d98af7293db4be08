#pragma once

#include "interfaces/fault.h"
#include "interfaces/run_results.h"
#include "interfaces/transfer_request.h"
#include "platform/process_runner.h"
#include "transfer/cumulative_log.h"
#include "transfer/working_directory_hold.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>
#include <optional>
#include <vector>

class Launcher;

/// One transfer run: the request's destinations served by their clients, up to the request's
/// number at a time (a destination that failed for a passing reason tried again as its settings
/// allow), their output gathered into FTPLogALL.TXT in row order. It reads nothing but its
/// request and says what happens through its signals.
class TransferRun final : public QObject
{
    Q_OBJECT
public:
    TransferRun(TransferRequest request, Launcher &launcher, QObject *parent = nullptr);
    ~TransferRun() override;

    /// The run over all destinations: takes the working directory and starts the first ones. The
    /// fault that keeps it from starting (nothing was written or sent, and no signal follows);
    /// none once started() has been emitted, and finished() follows when the last one is done.
    std::optional<Fault> TransmitAll();

    /// Stops every running client and skips the destinations that have not started.
    void cancel();

    bool isFinished() const { return m_finished; }

Q_SIGNALS:
    // What happens in the run, each passed on by RunSession to the front ends (see there).
    void started(const TransferRequest &request);
    void destinationStarted(int row, const QString &host, int logNumber);
    void destinationFinished(const DestinationResult &result);
    void statusChanged(const QString &text);
    void finished(const RunEnd &end);

private:
    struct Slot;

    std::optional<Fault> claimFiles();
    void startMore();
    bool TransmitDestination(Slot &slot);
    void launchClient(Slot &slot);
    void clientEnded(Slot &slot, const ProcessOutcome &outcome);
    void scheduleStep();
    /// One ended client's destination and the start of its successor, in a turn of its own.
    void step();
    void destinationEnded(Slot &slot, const ProcessOutcome &outcome);
    void waitToTryAgain(Slot &slot);
    void tryAgain(Slot &slot);
    void cancelWait(Slot &slot);
    /// The destination is done: its files go, its result is told, its block may be written.
    void closeDestination(Slot &slot);
    void failBeforeClient(Slot &slot, const QString &reason, bool wholeDirectory);
    void writeReadyBlocks();
    void showServedHosts();
    void finishIfDone();
    Faults closingFaults() const;
    QString closingText() const;
    bool serial() const { return m_request.simultaneous <= 1; }

    TransferRequest m_request;
    Launcher &m_launcher;
    WorkingDirectoryHold m_hold;
    CumulativeLog m_cumulativeLog;
    std::vector<std::unique_ptr<Slot>> m_slots;
    qint16 LogNumber = 1;     // number of the next per-destination log, FTPLog<nnnn>.TXT
    size_t m_next = 0;        // the next destination to start
    size_t m_nextToWrite = 0; // the next destination whose block FTPLogALL.TXT takes
    int m_running = 0;
    int m_clientsStarted = 0;
    bool m_cancelled = false;
    bool m_stopped = false; // nothing more is started: the directory or the log failed
    QString m_stopText;     // why, once nothing runs any more
    QStringList m_keptLogs; // per-destination logs FTPLogALL.TXT could not take
    QStringList m_keptHosts;
    QElapsedTimer m_clock;
    QDateTime m_started;
    // Clients that ended, each taken in a step of its own (see step()).
    QList<std::pair<Slot *, ProcessOutcome>> m_ends;
    bool m_stepScheduled = false;
    bool m_finished = false;
};

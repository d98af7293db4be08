#pragma once

#include "interfaces/run_observer.h"
#include "interfaces/transfer_request.h"
#include "platform/process_runner.h"
#include "transfer/working_directory_hold.h"

#include <QFile>
#include <QObject>

#include <memory>
#include <vector>

class Launcher;
class UserMessages;

/// The name an earlier cumulative log is kept under: FTPLogALL.1.TXT for the one before the
/// latest, and so on.
QString keptLogName(int generation);

/// One transfer run: the request's destinations served by their clients, up to the request's
/// number at a time, their output gathered into FTPLogALL.TXT in row order. It reads nothing but
/// its request and reports through the observer; the status line and the message box are the
/// only things of the window it touches.
class TransferRun final : public QObject
{
    Q_OBJECT
public:
    TransferRun(TransferRequest request, Launcher &launcher, UserMessages &messages,
                RunObserver &observer, QObject *parent = nullptr);
    ~TransferRun() override;

    /// Takes the working directory and starts the first destinations. False when it could not
    /// (the user has been told; nothing was written or sent): no other report follows then.
    /// Otherwise finished() follows once the last destination is done.
    bool start();

    /// Stops every running client and skips the destinations that have not started.
    void cancel();

    bool isFinished() const { return m_finished; }
    /// The run's end, once finished.
    const RunEnd &end() const { return m_end; }

Q_SIGNALS:
    void finished();

private:
    struct Slot;

    bool claimFiles();
    void startMore();
    bool startDestination(Slot &slot);
    void destinationEnded(Slot &slot, const ProcessOutcome &outcome);
    void failBeforeClient(Slot &slot, const QString &reason, bool wholeDirectory);
    void writeReadyBlocks();
    void showServedHosts();
    void finishIfDone();
    QString closingText() const;
    bool serial() const { return m_request.simultaneous <= 1; }

    TransferRequest m_request;
    Launcher &m_launcher;
    UserMessages &m_messages;
    RunObserver &m_observer;
    WorkingDirectoryHold m_hold;
    QFile m_cumulativeLog;
    std::vector<std::unique_ptr<Slot>> m_slots;
    qint16 LogNumber = 1;     // number of the next per-destination log, FTPLog<nnnn>.TXT
    size_t m_next = 0;        // the next destination to start
    size_t m_nextToWrite = 0; // the next destination whose block FTPLogALL.TXT takes
    int m_running = 0;
    int m_clientsStarted = 0;
    bool m_cancelled = false;
    bool m_stopped = false; // nothing more is started: the directory or the log failed
    QString m_stopMessage;  // shown once nothing runs any more
    QStringList m_keptLogs; // per-destination logs FTPLogALL.TXT could not take
    QStringList m_keptHosts;
    bool m_finished = false;
    RunEnd m_end;
};

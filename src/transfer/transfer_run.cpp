#include "transfer/transfer_run.h"

#include "platform/launcher.h"
#include "platform/own_files.h"
#include "platform/paths.h"
#include "transfer/client_reason.h"
#include "transfer/password_mask.h"
#include "transfer/text_lines.h"
#include "transfer/transfer_scripts.h"

#include <QPointer>
#include <QTimer>

namespace {

const QString kProcessErrorTitle = QStringLiteral("Process Error");
const QString kNotStartedText =
    QStringLiteral("The working directory cannot be written - nothing was sent");
const QString kUnwritableText =
    QStringLiteral("The working directory cannot be written - nothing more was sent");
const QString kLogKeptText =
    QStringLiteral("%1 cannot be written - nothing more was sent - the output of %2 is kept in %3");
const QString kCompletionText =
    QStringLiteral("All Transmissions are complete - if you would like to save your Profile, "
                   "give it a name and press 'Save Profile'");

// The status line names at most this many of the destinations being served at once.
constexpr int kHostsNamed = 8;

} // namespace

/// One destination of the run, from its start to its block in the cumulative log.
struct TransferRun::Slot
{
    enum class State
    {
        Waiting,  // its turn has not come
        Running,  // its client runs
        Retrying, // its client failed for a passing reason: it waits to try again, files and all
        Ended,    // its client has ended; its block waits for those before it
        Done      // its block is in the cumulative log, or it has none
    };

    Destination destination;
    JobFileNames names;
    State state = State::Waiting;
    std::unique_ptr<QFile> log; // created for it and handed to its client
    QString logName;
    QElapsedTimer clock;
    QList<QByteArray> block;
    DestinationResult result;
    qint64 attemptStart = 0; // where the output of its latest client begins in its log
    QTimer retryTimer;       // ends the wait before its next try
    QByteArray attemptLine;  // what its block says before that try
    bool clientEnded = false;
    bool cancelledWhileRunning = false;
    bool logKept = false; // the cumulative log could not take its block

    /// The reason is made here only. It never holds the password: a hostile server may echo it,
    /// and the client's words become the reason.
    void setReason(const QString &reason) { result.reason = reason; }
    /// The client's lines with the password masked in each.
    QList<QByteArray> maskedLines(QList<QByteArray> lines) const
    {
        for (QByteArray &line : lines)
            line = withPasswordMasked(line, destination.password);
        return lines;
    }
};

TransferRun::TransferRun(TransferRequest request, Launcher &launcher, QObject *parent)
    : QObject(parent), m_request(std::move(request)), m_launcher(launcher),
      m_hold(m_request.workingDirectory)
{
    for (qsizetype i = 0; i < m_request.destinations.size(); ++i) {
        auto slot = std::make_unique<Slot>();
        slot->destination = m_request.destinations.at(i);
        slot->names = JobFileNames::forDestination(i, m_request.simultaneous);
        slot->result.row = slot->destination.row;
        slot->result.host = slot->destination.host;
        slot->result.secure = slot->destination.secure;
        slot->retryTimer.setSingleShot(true);
        connect(&slot->retryTimer, &QTimer::timeout, this,
                [this, waiting = slot.get()] { tryAgain(*waiting); });
        m_slots.push_back(std::move(slot));
    }
}

TransferRun::~TransferRun() = default;

std::optional<Fault> TransferRun::TransmitAll()
{
    if (std::optional<Fault> fault = claimFiles())
        return fault;
    m_clock.start();
    m_started = QDateTime::currentDateTimeUtc();
    Q_EMIT started(m_request);
    startMore();
    finishIfDone();
    return std::nullopt;
}

std::optional<Fault> TransferRun::claimFiles()
{
    QStringList names{kCumulativeLogName};
    if (serial())
        names += JobFileNames().all();
    for (size_t i = 0; i < m_slots.size(); ++i) {
        names.append(destinationLogName(int(i + 1)));
        if (!serial())
            names += m_slots[i]->names.all();
    }
    // Kept logs move on under the lock, before the run's own names are cleared.
    QStringList keptNames;
    if (m_request.keepEarlierLog) {
        keptNames.append(kCumulativeLogName);
        for (int generation = 1; generation <= kKeptLogs; ++generation)
            keptNames.append(keptLogName(generation));
    }
    // One run per working directory: two would overwrite each other's launcher and script.
    if (std::optional<Fault> fault = m_hold.take(names, keptNames))
        return fault;
    QString error;
    if (!m_cumulativeLog.open(m_request.workingDirectory, &error)) {
        m_hold.release();
        return Fault{kProcessErrorTitle, kNotStartedText};
    }
    return std::nullopt;
}

void TransferRun::startMore()
{
    while (!m_stopped && !m_cancelled && m_running < m_request.simultaneous &&
           m_next < m_slots.size())
        TransmitDestination(*m_slots[m_next++]);
}

bool TransferRun::TransmitDestination(Slot &slot)
{
    const QString &directory = m_request.workingDirectory;
    // The n-th destination in row order has log number n, whether or not the ones before it ran.
    slot.result.logNumber = LogNumber++;
    slot.logName = destinationLogName(slot.result.logNumber);
    slot.state = Slot::State::Running;
    ++m_running;
    showServedHosts();

    QString error;
    bool nameTaken = false;
    if (!writeJobFiles(directory, slot.names,
                       jobFiles(slot.destination, m_request.files, slot.names, m_request.settings),
                       &error, &nameTaken)) {
        failBeforeClient(slot, error, !nameTaken);
        return false;
    }
    const int descriptor =
        createOwnFile(workingDirFile(directory, slot.logName), &error, &nameTaken);
    if (descriptor < 0) {
        removeJobFiles(directory, slot.names);
        failBeforeClient(slot, slot.logName + QStringLiteral(": ") + error, !nameTaken);
        return false;
    }
    slot.log = std::make_unique<QFile>();
    slot.log->open(descriptor, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle);
    ++m_clientsStarted;
    slot.result.start = QDateTime::currentDateTimeUtc();
    slot.clock.start();
    slot.block = {CumulativeLog::headerLine(slot.destination)};

    Q_EMIT destinationStarted(slot.destination.row, slot.destination.host, slot.result.logNumber);
    launchClient(slot);
    return true;
}

void TransferRun::launchClient(Slot &slot)
{
    ++slot.result.attempts;
    slot.clientEnded = false;
    slot.attemptStart = slot.log->size();
    const QString &directory = m_request.workingDirectory;
    const LaunchJob job{.workingDirectory = directory,
                        .batchFile = workingDirFile(directory, slot.names.launcher),
                        .logDescriptor = int(slot.log->handle()),
                        .idleLimitSeconds = m_request.settings.idleTimeoutSeconds,
                        .background = !serial()};
    // A run dropped before its clients end (its session ended first) hears of them no more.
    m_launcher.start(job,
                     [run = QPointer<TransferRun>(this), &slot](const ProcessOutcome &outcome) {
                         if (run)
                             run->clientEnded(slot, outcome);
                     });
}

void TransferRun::clientEnded(Slot &slot, const ProcessOutcome &outcome)
{
    slot.clientEnded = true;
    m_ends.append({&slot, outcome});
    scheduleStep();
}

void TransferRun::scheduleStep()
{
    // A posted call runs in the next turn of the event loop, after whatever else is waiting
    // there: the window paints and answers the user between two steps.
    if (!std::exchange(m_stepScheduled, true))
        QMetaObject::invokeMethod(this, &TransferRun::step, Qt::QueuedConnection);
}

void TransferRun::step()
{
    m_stepScheduled = false;
    // Many clients may end at once: each step takes one of them and starts its successor.
    if (!m_ends.isEmpty()) {
        const auto [slot, outcome] = m_ends.takeFirst();
        destinationEnded(*slot, outcome);
    }
    if (!m_ends.isEmpty())
        scheduleStep();
    startMore();
    finishIfDone();
}

void TransferRun::failBeforeClient(Slot &slot, const QString &reason, bool wholeDirectory)
{
    --m_running;
    slot.state = Slot::State::Done; // no client ran: there is no block to write, nor a log
    slot.result.logNumber = 0;
    slot.result.outcome = Outcome::Failed;
    slot.setReason(QStringLiteral("The files of this destination could not be written: ") + reason);
    // One at a time, the run stops at the first destination it cannot prepare; several at once,
    // only a failure of the directory itself stops the others.
    if (serial() || wholeDirectory) {
        if (!m_stopped)
            m_stopText = m_clientsStarted > 0 ? kUnwritableText : kNotStartedText;
        m_stopped = true;
    }
    Q_EMIT destinationFinished(slot.result);
    writeReadyBlocks();
}

void TransferRun::destinationEnded(Slot &slot, const ProcessOutcome &outcome)
{
    slot.result.exitStatus = outcome.exitStatus;
    // The client wrote through the descriptor the run still holds: nothing can have swapped the
    // file under its name.
    slot.log->seek(slot.attemptStart);
    const QList<QByteArray> output = splitLines(slot.log->readAll());
    slot.block += CumulativeLog::clientLines(output, outcome);
    slot.result.tls = usedTls(output);

    if (outcome.succeeded())
        slot.result.outcome = Outcome::Sent;
    else if (outcome.cancelled || slot.cancelledWhileRunning)
        slot.result.outcome = Outcome::Cancelled;
    else
        slot.result.outcome = Outcome::Failed;
    const bool cancelled = slot.result.outcome == Outcome::Cancelled;
    const QString reason = cancelled ? QStringLiteral("Cancelled while the client ran")
                                     : failureReason(output, outcome);
    // The reason shows the client's words with the password masked, and the program's own texts
    // as they are.
    slot.setReason(cancelled ? reason : failureReason(slot.maskedLines(output), outcome));
    // Judged on the client's own words: the password's mask could hide them.
    if (slot.result.outcome == Outcome::Failed && !m_cancelled && !m_stopped &&
        slot.result.attempts <= m_request.settings.retries && isPassingFailure(reason)) {
        waitToTryAgain(slot);
        return;
    }
    closeDestination(slot);
}

void TransferRun::waitToTryAgain(Slot &slot)
{
    // Each wait twice the one before, up to the longest a run waits.
    const int attempt = slot.result.attempts;
    const int wait = int(
        std::min<qint64>(qint64(m_request.settings.retryWaitSeconds) << std::min(attempt - 1, 16),
                         kMaxRetryWaitSeconds));
    slot.attemptLine = QStringLiteral("Attempt %1 of %2, after a wait of %3 s: %4")
                           .arg(attempt + 1)
                           .arg(m_request.settings.retries + 1)
                           .arg(wait)
                           .arg(slot.result.reason)
                           .toLocal8Bit();
    slot.state = Slot::State::Retrying;
    slot.retryTimer.start(wait * 1000);
}

void TransferRun::tryAgain(Slot &slot)
{
    // A run that stopped meanwhile starts nothing more: the destination keeps its last failure.
    if (m_stopped) {
        closeDestination(slot);
        finishIfDone();
        return;
    }
    slot.state = Slot::State::Running;
    slot.block.append(slot.attemptLine);
    // Its own log tells the same story, should it be all that stays of the destination.
    slot.log->write(slot.attemptLine + "\r\n");
    slot.log->flush();
    launchClient(slot);
}

void TransferRun::closeDestination(Slot &slot)
{
    --m_running;
    slot.state = Slot::State::Ended;
    slot.result.durationMs = slot.clock.elapsed();
    slot.block += CumulativeLog::endLines();
    removeJobFiles(m_request.workingDirectory, slot.names);

    Q_EMIT destinationFinished(slot.result);
    writeReadyBlocks();
    if (!serial())
        showServedHosts();
}

void TransferRun::writeReadyBlocks()
{
    while (m_nextToWrite < m_slots.size()) {
        Slot &slot = *m_slots[m_nextToWrite];
        if (slot.state == Slot::State::Waiting || slot.state == Slot::State::Running)
            return;
        if (slot.state == Slot::State::Ended) {
            const QString logPath = workingDirFile(m_request.workingDirectory, slot.logName);
            // The destination's own log is its only record until the cumulative log holds it.
            const qint64 offset = m_keptLogs.isEmpty() ? m_cumulativeLog.append(slot.block) : -1;
            slot.log.reset();
            if (offset >= 0) {
                slot.result.logOffset = offset;
                slot.result.logLength = m_cumulativeLog.size() - offset;
                QFile::remove(logPath);
            } else {
                slot.logKept = true;
                m_keptLogs.append(slot.logName);
                m_keptHosts.append(slot.destination.host);
                m_stopped = true;
            }
            slot.block.clear();
            slot.state = Slot::State::Done;
        }
        ++m_nextToWrite;
    }
}

void TransferRun::showServedHosts()
{
    QStringList hosts;
    for (const auto &slot : m_slots) {
        if (slot->state == Slot::State::Running)
            hosts.append(slot->destination.host);
    }
    if (hosts.isEmpty())
        return;
    QString text = QStringLiteral("Building/Xmitting: ") + hosts.mid(0, kHostsNamed).join(u", ");
    if (hosts.size() > kHostsNamed)
        text += QStringLiteral(" and %1 more").arg(hosts.size() - kHostsNamed);
    Q_EMIT statusChanged(text);
}

void TransferRun::cancel()
{
    if (m_finished || m_cancelled)
        return;
    m_cancelled = true;
    for (const auto &slot : m_slots) {
        if (slot->state == Slot::State::Running && !slot->clientEnded)
            slot->cancelledWhileRunning = true;
        else if (slot->state == Slot::State::Retrying)
            cancelWait(*slot);
    }
    m_launcher.cancelAll();
    finishIfDone();
}

void TransferRun::cancelWait(Slot &slot)
{
    slot.retryTimer.stop();
    slot.cancelledWhileRunning = true;
    slot.result.outcome = Outcome::Cancelled;
    slot.setReason(
        QStringLiteral("Cancelled while waiting for another try (%1)").arg(slot.result.reason));
    ProcessOutcome stopped; // as a cancelled client's ends
    stopped.started = stopped.cancelled = true;
    slot.block += CumulativeLog::clientLines({}, stopped);
    closeDestination(slot);
}

void TransferRun::finishIfDone()
{
    if (m_finished || m_running > 0)
        return;
    if (!m_stopped && !m_cancelled && m_next < m_slots.size())
        return;
    m_finished = true;
    for (size_t i = m_next; i < m_slots.size(); ++i) {
        Slot &slot = *m_slots[i];
        slot.state = Slot::State::Done;
        slot.setReason(m_cancelled ? QStringLiteral("The run was cancelled before its turn")
                                   : QStringLiteral("The run stopped before its turn"));
    }
    writeReadyBlocks();
    // A run that ends early, or whose last destination sits in the last row, would otherwise
    // leave a password behind in the generated files.
    if (serial())
        removeJobFiles(m_request.workingDirectory, JobFileNames());
    m_cumulativeLog.close();
    m_hold.release();

    RunEnd end;
    for (const auto &slot : m_slots)
        end.results.append(slot->result);
    end.statusText = closingText();
    end.faults = closingFaults();
    end.totalMs = m_clock.elapsed();
    end.started = m_started;
    Q_EMIT finished(end);
}

Faults TransferRun::closingFaults() const
{
    Faults faults;
    if (!m_stopText.isEmpty())
        faults.append({kProcessErrorTitle, m_stopText});
    if (!m_keptLogs.isEmpty())
        faults.append(
            {kProcessErrorTitle, kLogKeptText.arg(kCumulativeLogName, m_keptHosts.join(u", "),
                                                  m_keptLogs.join(u", "))});
    return faults;
}

QString TransferRun::closingText() const
{
    QStringList cancelled;
    QStringList failed;
    for (const auto &slot : m_slots) {
        if (slot->cancelledWhileRunning)
            cancelled.append(slot->destination.host);
        else if (slot->result.outcome == Outcome::Failed || slot->logKept)
            failed.append(slot->destination.host);
    }
    // Stopped before any client ran: no destination has an outcome, and the log holds nothing.
    if (m_stopped && m_clientsStarted == 0)
        return kNotStartedText;
    const QString seeLog = QStringLiteral(" - see ") + kCumulativeLogName;
    if (!cancelled.isEmpty()) {
        // A cancel must not hide what went wrong before it.
        QString text = QStringLiteral("Transmission cancelled at ") + cancelled.join(u", ");
        if (!failed.isEmpty())
            text += QStringLiteral(" - earlier errors at %1 destinations (%2)")
                        .arg(failed.size())
                        .arg(failed.join(u", "));
        return text + seeLog;
    }
    if (!failed.isEmpty())
        return QStringLiteral("Transmission ended with errors at %1 of %2 destinations (%3)")
                   .arg(failed.size())
                   .arg(m_slots.size())
                   .arg(failed.join(u", ")) +
               seeLog;
    return kCompletionText;
}

#include "transfer/transfer_run.h"

#include "interfaces/user_messages.h"
#include "platform/launcher.h"
#include "platform/own_files.h"
#include "platform/paths.h"
#include "transfer/client_reason.h"
#include "transfer/transfer_scripts.h"

#include <QElapsedTimer>

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

// A cancelled client's own record stops short (psftp loses what it had buffered), and the status
// line that names the cancel is gone by the next request: the log keeps why.
const QByteArray kCancelledLine =
    QByteArrayLiteral("The transmission to this destination was cancelled before it ended");
const QByteArray kEndOfTransmission =
    QByteArrayLiteral("*********** End of Transmission ***************");

// The status line names at most this many of the destinations being served at once.
constexpr int kHostsNamed = 8;

// The interpreter echoes the launcher line, and with it a Secure Shell password, into the log;
// the cumulative log outlives the run, so the password must not reach it.
QByteArray withPasswordMasked(const QByteArray &line)
{
    const qsizetype client = line.indexOf("psftp ");
    if (client < 0)
        return line;
    const QByteArray option = QByteArrayLiteral(" -pw ");
    const qsizetype passwordOption = line.indexOf(option, client);
    if (passwordOption < 0)
        return line;
    return line.left(passwordOption + option.size()) + QByteArrayLiteral("********");
}

QString logFileName(qint16 number)
{
    return QStringLiteral("FTPLog%1.TXT").arg(number, 4, 10, QLatin1Char('0'));
}

QList<QByteArray> splitLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        if (end < 0)
            end = text.size();
        if (end > start && text.at(end - 1) == '\r')
            --end;
        lines.append(text.mid(start, end - start));
        start = next;
    }
    return lines;
}

// A block goes into the cumulative log whole, and on disk before the next block, or not at all:
// a block cut short by a full disk would sit there beside the destination's own log that the
// user is pointed to. The log is unbuffered, so nothing of a failed block lingers to be written
// at its close.
// Returns where the block starts, or -1.
qint64 appendBlock(QFile &file, const QList<QByteArray> &lines)
{
    QByteArray block;
    for (const QByteArray &line : lines) {
        block += line;
        block += "\r\n";
    }
    const qint64 before = file.size();
    if (file.write(block) == block.size())
        return before;
    file.resize(before);
    return -1;
}

} // namespace

QString keptLogName(int generation)
{
    return QStringLiteral("FTPLogALL.%1.TXT").arg(generation);
}

/// One destination of the run, from its start to its block in the cumulative log.
struct TransferRun::Slot
{
    enum class State
    {
        Waiting, // its turn has not come
        Running, // its client runs
        Ended,   // its client has ended; its block waits for those before it
        Done     // its block is in the cumulative log, or it has none
    };

    Destination destination;
    JobFileNames names;
    State state = State::Waiting;
    std::unique_ptr<QFile> log; // created for it and handed to its client
    QString logName;
    QElapsedTimer clock;
    QList<QByteArray> block;
    DestinationResult result;
    bool cancelledWhileRunning = false;
    bool logKept = false; // the cumulative log could not take its block
};

TransferRun::TransferRun(TransferRequest request, Launcher &launcher, UserMessages &messages,
                         RunObserver &observer, QObject *parent)
    : QObject(parent), m_request(std::move(request)), m_launcher(launcher), m_messages(messages),
      m_observer(observer), m_hold(m_request.workingDirectory)
{
    for (int i = 0; i < m_request.destinations.size(); ++i) {
        auto slot = std::make_unique<Slot>();
        slot->destination = m_request.destinations.at(i);
        // One at a time, every destination uses the same three names, one after another.
        if (!serial())
            slot->names = JobFileNames::numbered(i + 1);
        slot->result.row = slot->destination.row;
        slot->result.host = slot->destination.host;
        slot->result.secure = slot->destination.secure;
        m_slots.push_back(std::move(slot));
    }
}

TransferRun::~TransferRun() = default;

bool TransferRun::start()
{
    if (!claimFiles())
        return false;
    m_observer.runStarted(m_request);
    startMore();
    finishIfDone();
    return true;
}

bool TransferRun::claimFiles()
{
    QStringList names{kCumulativeLogName};
    if (serial())
        names += JobFileNames().all();
    for (size_t i = 0; i < m_slots.size(); ++i) {
        names.append(logFileName(qint16(i + 1)));
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
    QString text;
    QString title;
    if (!m_hold.take(names, &text, &title, keptNames)) {
        m_messages.showMessage(text, title);
        return false;
    }
    QString error;
    const int descriptor =
        createOwnFile(workingDirFile(m_request.workingDirectory, kCumulativeLogName), &error);
    if (descriptor < 0 ||
        !m_cumulativeLog.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                              QFileDevice::AutoCloseHandle)) {
        m_hold.release();
        m_messages.showMessage(kNotStartedText, kProcessErrorTitle);
        return false;
    }
    return true;
}

void TransferRun::startMore()
{
    while (!m_stopped && !m_cancelled && m_running < m_request.simultaneous &&
           m_next < m_slots.size())
        startDestination(*m_slots[m_next++]);
}

bool TransferRun::startDestination(Slot &slot)
{
    const Destination &destination = slot.destination;
    const QString &directory = m_request.workingDirectory;
    // The n-th destination in row order has log number n, whether or not the ones before it ran.
    slot.result.logNumber = LogNumber++;
    slot.logName = logFileName(qint16(slot.result.logNumber));
    slot.state = Slot::State::Running;
    ++m_running;
    showServedHosts();

    // A Secure Shell row has its account in the launcher line and the password file already.
    JobFiles files;
    const QString secureFlag = destination.secure ? QStringLiteral("Y") : QStringLiteral("N");
    files.launcher = launcherLines(secureFlag, destination.host, destination.userId, slot.names);
    files.secure = destination.secure;
    files.password = passwordFileLines(destination.password);
    files.script =
        destination.secure
            ? transferScriptLines(secureFlag, destination.remoteDirectory, {}, {}, destination.host,
                                  m_request.files)
            : transferScriptLines(secureFlag, destination.remoteDirectory, destination.userId,
                                  destination.password, destination.host, m_request.files);
    QString error;
    bool nameTaken = false;
    if (!writeJobFiles(directory, slot.names, files, &error, &nameTaken)) {
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

    m_observer.destinationStarted(destination.row, destination.host, slot.result.logNumber);
    const LaunchJob job{directory, workingDirFile(directory, slot.names.launcher), descriptor};
    m_launcher.start(
        job, [this, &slot](const ProcessOutcome &outcome) { destinationEnded(slot, outcome); });
    return true;
}

void TransferRun::failBeforeClient(Slot &slot, const QString &reason, bool wholeDirectory)
{
    --m_running;
    slot.state = Slot::State::Done; // no client ran: there is no block to write, nor a log
    slot.result.logNumber = 0;
    slot.result.outcome = Outcome::Failed;
    slot.result.reason =
        QStringLiteral("The files of this destination could not be written: ") + reason;
    // One at a time, the run stops at the first destination it cannot prepare; several at once,
    // only a failure of the directory itself stops the others.
    if (serial() || wholeDirectory) {
        if (!m_stopped)
            m_stopMessage = m_clientsStarted > 0 ? kUnwritableText : kNotStartedText;
        m_stopped = true;
    }
    m_observer.destinationFinished(slot.result);
    writeReadyBlocks();
}

void TransferRun::destinationEnded(Slot &slot, const ProcessOutcome &outcome)
{
    --m_running;
    slot.state = Slot::State::Ended;
    slot.result.durationMs = slot.clock.elapsed();
    slot.result.exitStatus = outcome.exitStatus;

    // The client wrote through the descriptor the run still holds: nothing can have swapped the
    // file under its name.
    slot.log->seek(0);
    const QList<QByteArray> output = splitLines(slot.log->readAll());
    slot.block.append((QStringLiteral("Output from: ") + slot.destination.host + QLatin1Char(' ') +
                       slot.destination.remoteDirectory)
                          .toLocal8Bit());
    for (const QByteArray &line : output)
        slot.block.append(withPasswordMasked(line));
    // A client that never ran, or was killed, still gives the destination a block that says so,
    // so that the run's record is complete.
    if (!outcome.started && !outcome.cancelled && !outcome.error.isEmpty())
        slot.block.append(
            (QStringLiteral("The client could not be started: ") + outcome.error).toLocal8Bit());
    if (outcome.signal != 0 && !outcome.cancelled)
        slot.block.append(signalLine(outcome.signal).toLocal8Bit());
    if (outcome.cancelled)
        slot.block.append(kCancelledLine);
    slot.block.append(QByteArray());
    slot.block.append(kEndOfTransmission);
    slot.block.append(QByteArray());

    if (outcome.succeeded())
        slot.result.outcome = Outcome::Sent;
    else if (outcome.cancelled || slot.cancelledWhileRunning)
        slot.result.outcome = Outcome::Cancelled;
    else
        slot.result.outcome = Outcome::Failed;
    slot.result.reason = slot.result.outcome == Outcome::Cancelled
                             ? QStringLiteral("Cancelled while the client ran")
                             : failureReason(output, outcome);
    removeJobFiles(m_request.workingDirectory, slot.names);

    m_observer.destinationFinished(slot.result);
    writeReadyBlocks();
    if (!serial())
        showServedHosts();
    startMore();
    finishIfDone();
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
            const qint64 offset =
                m_keptLogs.isEmpty() ? appendBlock(m_cumulativeLog, slot.block) : -1;
            if (offset >= 0) {
                slot.result.logOffset = offset;
                slot.result.logLength = m_cumulativeLog.size() - offset;
                slot.log.reset();
                QFile::remove(logPath);
            } else {
                slot.log.reset();
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
    m_messages.setStatusText(text);
}

void TransferRun::cancel()
{
    if (m_finished || m_cancelled)
        return;
    m_cancelled = true;
    for (const auto &slot : m_slots) {
        if (slot->state == Slot::State::Running)
            slot->cancelledWhileRunning = true;
    }
    m_launcher.cancelAll();
    finishIfDone();
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
        slot.result.reason = m_cancelled ? QStringLiteral("The run was cancelled before its turn")
                                         : QStringLiteral("The run stopped before its turn");
    }
    writeReadyBlocks();
    // A run that ends early, or whose last destination sits in the last row, would otherwise
    // leave a password behind in the generated files.
    if (serial())
        removeJobFiles(m_request.workingDirectory, JobFileNames());
    m_cumulativeLog.close();
    m_hold.release();

    m_end.started = true;
    for (const auto &slot : m_slots)
        m_end.results.append(slot->result);
    m_end.statusText = closingText();
    if (!m_stopMessage.isEmpty())
        m_messages.showMessage(m_stopMessage, kProcessErrorTitle);
    if (!m_keptLogs.isEmpty())
        m_messages.showMessage(
            kLogKeptText.arg(kCumulativeLogName, m_keptHosts.join(u", "), m_keptLogs.join(u", ")),
            kProcessErrorTitle);
    m_observer.runFinished(m_end);
    Q_EMIT finished();
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

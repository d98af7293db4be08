#include "transfer/transfer_engine.h"

#include "platform/launcher.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "transfer/transfer_scripts.h"
#include "transfer/value_checks.h"
#include "transfer/working_directory_hold.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kNoFilesTitle = QStringLiteral("No Files");
const QString kErrorTitle = QStringLiteral("Error Message");
const QString kProcessErrorTitle = QStringLiteral("Process Error");

const QString kNoFilesText = QStringLiteral("No files have been selected to FTP");
const QString kNoHostsText = QStringLiteral("No IP Addresses have been keyed in to FTP to");
const QString kBadDirectoryText = QStringLiteral("Invalid working directory");
const QString kBadSecureText =
    QStringLiteral("Secure FTP can by 'Y' or 'N' (Yes/No - please correct this and continue");
const QString kNoUserText =
    QStringLiteral("There was no User ID supplied - please correct this and continue");
const QString kNoPasswordText =
    QStringLiteral("There was no Password supplied - please correct this and continue");
const QString kListedFileText =
    QStringLiteral("A listed file name holds a line break or another control character: ");
const QString kNotStartedText =
    QStringLiteral("The working directory cannot be written - nothing was sent");
const QString kLogKeptText =
    QStringLiteral("%1 cannot be written - nothing more was sent - the output of %2 is kept in %3");
const QString kUnwritableText =
    QStringLiteral("The working directory cannot be written - nothing more was sent");
const QString kCompletionText =
    QStringLiteral("All Transmissions are complete - if you would like to save your Profile, "
                   "give it a name and press 'Save Profile'");

// A cancelled client's own record stops short (psftp loses what it had buffered), and the status
// line that names the cancel is gone by the next request: the log keeps why.
const QByteArray kCancelledLine =
    QByteArrayLiteral("The transmission to this destination was cancelled before it ended");

const QByteArray kEndOfTransmission =
    QByteArrayLiteral("*********** End of Transmission ***************");

bool isBlankOrEmpty(const QString &text)
{
    return text.isEmpty() || text == QLatin1String(" ");
}

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

void removeIgnoringErrors(const QString &path)
{
    QFile::remove(path);
}

QString logFileName(qint16 number)
{
    return QStringLiteral("FTPLog%1.TXT").arg(number, 4, 10, QLatin1Char('0'));
}

// A block goes into the cumulative log whole, and on disk before the next destination starts, or
// not at all: a block cut short by a full disk would sit there beside the destination's own log
// that the user is pointed to, and the unwritten rest would reach the log later, out of order.
// The log is unbuffered, so nothing of a failed block lingers to be written at its close.
bool appendBlock(QFile &file, const QList<QByteArray> &lines)
{
    QByteArray block;
    for (const QByteArray &line : lines) {
        block += line;
        block += "\r\n";
    }
    const qint64 before = file.size();
    if (file.write(block) == block.size())
        return true;
    file.resize(before);
    return false;
}

} // namespace

/// What one run has done so far, gathered for its closing status text.
struct TransferEngine::RunTally
{
    QString directory; // absolute: the run must not depend on where its programs start
    QStringList files;
    QFile cumulativeLog; // created new for the run and kept open to its end
    int total = 0;       // destinations in the table
    int served = 0;      // destinations started so far
    QStringList failedHosts;
    QString cancelledHost;
    bool stopped = false; // the working directory could not be written
};

TransferEngine::TransferEngine(TransferWindow &window, Launcher &launcher)
    : m_window(window), m_launcher(launcher)
{
}

bool TransferEngine::processRequest()
{
    // The wait for a client keeps events flowing, so a second request could arrive mid-run.
    if (m_running)
        return false;
    LogNumber = 1;
    if (!checkRequest())
        return false;

    // Every row is checked, so that one request shows the user all faulty cells at once.
    bool requestValid = true;
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        if (!checkRow(row))
            requestValid = false;
    }
    if (!requestValid)
        return false;

    if (!TransmitAll())
        return false;
    m_window.setStatusText(m_closingText.isEmpty() ? kCompletionText : m_closingText);
    return true;
}

bool TransferEngine::checkRequest()
{
    if (isBlankOrEmpty(m_window.fileListText(kFirstDataRow))) {
        m_window.showMessage(kNoFilesText, kNoFilesTitle);
        return false;
    }
    // A line break in a name would start a command of its own in the clients' scripts.
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        const QString path = m_window.fileListText(row);
        if (path.isEmpty())
            break;
        if (holdsControlCharacter(path)) {
            m_window.showMessage(kListedFileText + withControlsShown(path), kNoFilesTitle);
            return false;
        }
    }

    DestinationGrid &grid = m_window.destinationGrid();
    bool anyHost = false;
    for (int row = kFirstDataRow; row <= kLastDataRow && !anyHost; ++row)
        anyHost = !isBlankOrEmpty(grid.text(row, kHostColumn));
    if (!anyHost) {
        m_window.showMessage(kNoHostsText, kNoFilesTitle);
        return false;
    }

    // The run writes its files there and starts the clients in it, so only a real directory will
    // do: a plain file or an empty text would fail half-way through the run instead.
    const QString directory = m_window.workingDirectoryText();
    if (directory.isEmpty() || !QFileInfo(directory).isDir()) {
        m_window.showMessage(kBadDirectoryText, kNoFilesTitle);
        return false;
    }
    return true;
}

bool TransferEngine::checkRow(int row)
{
    DestinationGrid &grid = m_window.destinationGrid();
    if (grid.text(row, kHostColumn).isEmpty())
        return true;

    // Cells are read again at each check: a cell move of an earlier mark may have committed a
    // pending edit into this row.
    bool rowFaulty = false;
    const QString secureFlag = grid.text(row, kSecureShellColumn);
    if (secureFlag != QLatin1String("N") && secureFlag != QLatin1String("Y")) {
        markCell(row, kSecureShellColumn, kBadSecureText);
        rowFaulty = true;
    }
    if (grid.text(row, kSecureShellColumn) == QLatin1String("Y") &&
        grid.text(row, kUserIdColumn).isEmpty()) {
        markCell(row, kUserIdColumn, kNoUserText);
        rowFaulty = true;
    }
    if (grid.text(row, kPasswordColumn).isEmpty()) {
        markCell(row, kPasswordColumn, kNoPasswordText);
        rowFaulty = true;
    }
    if (!checkValuesArePlain(grid, row, [this, row](int column, const QString &message) {
            markCell(row, column, message);
        }))
        rowFaulty = true;

    if (!rowFaulty) {
        grid.setCurrentRow(row);
        for (int column = 0; column < kDestinationColumnCount; ++column) {
            grid.setCurrentColumn(column);
            grid.setCurrentCellTextColour(kStandardTextColour);
        }
    }
    return !rowFaulty;
}

void TransferEngine::markCell(int row, int column, const QString &message)
{
    m_window.showMessage(message, kErrorTitle);
    DestinationGrid &grid = m_window.destinationGrid();
    grid.setCurrentColumn(column);
    grid.setCurrentRow(row);
    grid.setCurrentCellTextColour(kFaultColour);
}

bool TransferEngine::TransmitAll()
{
    DestinationGrid &grid = m_window.destinationGrid();
    RunTally tally;
    // The text is taken where the check found the directory, once: the clients are started in it
    // and every file of the run is named from it.
    tally.directory =
        QDir::cleanPath(QFileInfo(m_window.workingDirectoryText()).absoluteFilePath());
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        const QString path = m_window.fileListText(row);
        if (path.isEmpty())
            break;
        tally.files.append(path);
    }
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        if (!grid.text(row, kHostColumn).isEmpty())
            ++tally.total;
    }

    // One run per working directory: two would overwrite each other's launcher and script.
    WorkingDirectoryHold hold(tally.directory);
    if (!claimRunFiles(hold, tally))
        return false;

    m_running = true;
    m_cancelRequested = false;
    m_closingText.clear();
    const QString launcherPath = workingDirFile(tally.directory, kLauncherFileName);
    const QString scriptPath = workingDirFile(tally.directory, kScriptFileName);
    const QString passwordPath = workingDirFile(tally.directory, kPasswordFileName);

    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        removeIgnoringErrors(launcherPath);
        removeIgnoringErrors(scriptPath);
        removeIgnoringErrors(passwordPath);
        const QString host = grid.text(row, kHostColumn);
        if (host.isEmpty())
            continue;
        if (m_cancelRequested) {
            tally.cancelledHost = host;
            break;
        }

        m_window.setStatusText(QStringLiteral("Building/Xmitting: ") + host);
        const QString secureFlag = grid.text(row, kSecureShellColumn);
        const QString remoteDirectory = grid.text(row, kRemoteDirectoryColumn);
        const QString userId = grid.text(row, kUserIdColumn);
        const QString password = grid.text(row, kPasswordColumn);
        // psftp reads its password from a file: on its command line every local user could see it.
        const bool secure = secureFlag == QLatin1String("Y");
        if (!writeTextLines(launcherPath, launcherLines(secureFlag, host, userId, password),
                            FileAccess::OwnerOnly) ||
            (secure &&
             !writeTextLines(passwordPath, passwordFileLines(password), FileAccess::OwnerOnly))) {
            tally.failedHosts.append(host);
            stopForUnwritableDirectory(tally);
            break;
        }

        // A Secure Shell row has its account in the launcher line and the password file already.
        const bool continueRun = secure ? TransmitDestination(secureFlag, remoteDirectory,
                                                              QString(), QString(), host, tally)
                                        : TransmitDestination(QStringLiteral("N"), remoteDirectory,
                                                              userId, password, host, tally);
        if (!continueRun)
            break;
    }

    // A run that ends early, or whose last destination sits in the last row, would otherwise
    // leave a password behind in the generated files.
    removeIgnoringErrors(launcherPath);
    removeIgnoringErrors(scriptPath);
    removeIgnoringErrors(passwordPath);
    tally.cumulativeLog.close();
    m_running = false;
    m_cancelRequested = false;
    m_closingText = closingText(tally);
    return true;
}

bool TransferEngine::claimRunFiles(WorkingDirectoryHold &hold, RunTally &tally)
{
    QStringList names{kLauncherFileName, kScriptFileName, kPasswordFileName, kCumulativeLogName};
    for (int number = 1; number <= tally.total; ++number)
        names.append(logFileName(qint16(number)));
    QString text;
    QString title;
    if (!hold.take(names, &text, &title)) {
        m_window.showMessage(text, title);
        return false;
    }
    tally.cumulativeLog.setFileName(workingDirFile(tally.directory, kCumulativeLogName));
    if (!tally.cumulativeLog.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        m_window.showMessage(kNotStartedText, kProcessErrorTitle);
        return false;
    }
    return true;
}

QString TransferEngine::closingText(const RunTally &tally)
{
    // Stopped before any client ran: no destination has an outcome, and the log holds nothing.
    if (tally.stopped && tally.served == 0)
        return kNotStartedText;
    const QString seeLog = QStringLiteral(" - see ") + kCumulativeLogName;
    const QString failed = tally.failedHosts.join(QStringLiteral(", "));
    if (!tally.cancelledHost.isEmpty()) {
        // A cancel must not hide what went wrong before it.
        QString text = QStringLiteral("Transmission cancelled at ") + tally.cancelledHost;
        if (!tally.failedHosts.isEmpty())
            text += QStringLiteral(" - earlier errors at %1 destinations (%2)")
                        .arg(tally.failedHosts.size())
                        .arg(failed);
        return text + seeLog;
    }
    if (!tally.failedHosts.isEmpty())
        return QStringLiteral("Transmission ended with errors at %1 of %2 destinations (%3)")
                   .arg(tally.failedHosts.size())
                   .arg(tally.total)
                   .arg(failed) +
               seeLog;
    return QString();
}

bool TransferEngine::TransmitDestination(const QString &secureFlag, const QString &remoteDirectory,
                                         const QString &userId, const QString &password,
                                         const QString &host, RunTally &tally)
{
    const QString &directory = tally.directory;
    if (!writeTextLines(
            workingDirFile(directory, kScriptFileName),
            transferScriptLines(secureFlag, remoteDirectory, userId, password, host, tally.files),
            FileAccess::OwnerOnly)) {
        tally.failedHosts.append(host);
        stopForUnwritableDirectory(tally);
        return false;
    }

    const QString logName = logFileName(LogNumber);
    const QString logPath = workingDirFile(directory, logName);
    ++LogNumber;

    ++tally.served;
    m_window.destinationStarted(host, tally.served, tally.total);
    ProcessOutcome outcome;
    if (m_cancelRequested)
        outcome.cancelled = true;
    else
        outcome =
            m_launcher.runBatch(directory, workingDirFile(directory, kLauncherFileName), logPath);
    m_window.destinationFinished(!outcome.cancelled && !outcome.succeeded());

    QList<QByteArray> block;
    block.append((QStringLiteral("Output from: ") + host + QLatin1Char(' ') + remoteDirectory)
                     .toLocal8Bit());
    // A log that is missing after the wait (the client never ran, or its output could not be
    // redirected) still gives the destination its block, so that the run's record is complete.
    QList<QByteArray> body;
    if (readTextLines(logPath, &body)) {
        for (const QByteArray &line : std::as_const(body))
            block.append(withPasswordMasked(line));
    }
    if (!outcome.started && !outcome.cancelled && !outcome.error.isEmpty())
        block.append(
            (QStringLiteral("The client could not be started: ") + outcome.error).toLocal8Bit());
    if (outcome.cancelled)
        block.append(kCancelledLine);
    block.append(QByteArray());
    block.append(kEndOfTransmission);
    block.append(QByteArray());
    // The destination's own log is its only record until the cumulative log holds it.
    const bool recorded = appendBlock(tally.cumulativeLog, block);
    if (recorded)
        removeIgnoringErrors(logPath);

    if (!recorded) {
        tally.failedHosts.append(host);
        tally.stopped = true;
        m_window.showMessage(kLogKeptText.arg(kCumulativeLogName, host, logName),
                             kProcessErrorTitle);
        return false;
    }
    if (outcome.cancelled || m_cancelRequested) {
        tally.cancelledHost = host;
        return false;
    }
    if (!outcome.succeeded())
        tally.failedHosts.append(host);
    return true;
}

void TransferEngine::stopForUnwritableDirectory(RunTally &tally)
{
    tally.stopped = true;
    m_window.showMessage(tally.served == 0 ? kNotStartedText : kUnwritableText, kProcessErrorTitle);
}

void TransferEngine::requestCancel()
{
    if (!m_running)
        return;
    m_cancelRequested = true;
    m_launcher.cancel();
}

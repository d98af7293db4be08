#include "transfer/transfer_engine.h"

#include "platform/launcher.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "transfer/transfer_scripts.h"
#include "transfer/value_checks.h"

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
const QString kControlText = QStringLiteral(
    "A value holds a line break or another control character - please correct this and continue");
const QString kHostWordText =
    QStringLiteral("The IP Address/URL must be a single name without blanks, quotes or a leading "
                   "'-' - please correct this and continue");
const QString kUserOptionText =
    QStringLiteral("The User Id must not begin with '-' - please correct this and continue");
const QString kListedFileText =
    QStringLiteral("A listed file name holds a line break or another control character: ");
const QString kUnwritableText =
    QStringLiteral("The working directory cannot be written - nothing more was sent");
const QString kCompletionText =
    QStringLiteral("All Transmissions are complete - if you would like to save your Profile, "
                   "give it a name and press 'Save Profile'");

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

} // namespace

/// What one run has done so far, gathered for its closing status text.
struct TransferEngine::RunTally
{
    QString directory;
    QStringList files;
    int total = 0;  // destinations in the table
    int served = 0; // destinations started so far
    QStringList failedHosts;
    QString cancelledHost;
    bool stopped = false; // the working directory could not be written
};

TransferEngine::TransferEngine(TransferWindow &window, Launcher &launcher)
    : m_window(window), m_launcher(launcher)
{
}

void TransferEngine::processRequest()
{
    // The wait for a client keeps events flowing, so a second request could arrive mid-run.
    if (m_running)
        return;
    LogNumber = 1;
    if (!checkRequest())
        return;

    // Every row is checked, so that one request shows the user all faulty cells at once.
    bool requestValid = true;
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        if (!checkRow(row))
            requestValid = false;
    }
    if (!requestValid)
        return;

    TransmitAll();
    m_window.setStatusText(m_closingText.isEmpty() ? kCompletionText : m_closingText);
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
    // Every value ends up in a line that a client or the interpreter reads: none may add a line,
    // an argument or an option to it. Column 0 holds only Y or N once its own check passed.
    bool hostHasControls = false;
    for (int column = kHostColumn; column < kDestinationColumnCount; ++column) {
        if (holdsControlCharacter(grid.text(row, column))) {
            markCell(row, column, kControlText);
            hostHasControls |= column == kHostColumn;
            rowFaulty = true;
        }
    }
    if (!hostHasControls && !isSingleWordHost(grid.text(row, kHostColumn))) {
        markCell(row, kHostColumn, kHostWordText);
        rowFaulty = true;
    }
    if (grid.text(row, kSecureShellColumn) == QLatin1String("Y") &&
        userIdLooksLikeOption(grid.text(row, kUserIdColumn))) {
        markCell(row, kUserIdColumn, kUserOptionText);
        rowFaulty = true;
    }

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

void TransferEngine::TransmitAll()
{
    DestinationGrid &grid = m_window.destinationGrid();
    RunTally tally;
    tally.directory = m_window.workingDirectoryText();
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

    m_running = true;
    m_cancelRequested = false;
    m_closingText.clear();
    const QString launcherPath = workingDirFile(tally.directory, kLauncherFileName);
    const QString scriptPath = workingDirFile(tally.directory, kScriptFileName);
    removeIgnoringErrors(workingDirFile(tally.directory, kCumulativeLogName));

    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        removeIgnoringErrors(launcherPath);
        removeIgnoringErrors(scriptPath);
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
        if (!writeTextLines(launcherPath, launcherLines(secureFlag, host, userId, password),
                            FileAccess::OwnerOnly)) {
            tally.failedHosts.append(host);
            stopForUnwritableDirectory(tally);
            break;
        }

        // A Secure Shell row has its account on the launcher line already.
        const bool continueRun = secureFlag == QLatin1String("Y")
                                     ? TransmitDestination(secureFlag, remoteDirectory, QString(),
                                                           QString(), host, tally)
                                     : TransmitDestination(QStringLiteral("N"), remoteDirectory,
                                                           userId, password, host, tally);
        if (!continueRun)
            break;
    }

    // A run that ends early, or whose last destination sits in the last row, would otherwise
    // leave a password behind in the generated files.
    removeIgnoringErrors(launcherPath);
    removeIgnoringErrors(scriptPath);
    m_running = false;
    m_cancelRequested = false;

    if (!tally.cancelledHost.isEmpty()) {
        m_closingText = QStringLiteral("Transmission cancelled at ") + tally.cancelledHost +
                        QStringLiteral(" - see ") + kCumulativeLogName;
    } else if (!tally.failedHosts.isEmpty()) {
        m_closingText = QStringLiteral("Transmission ended with errors at %1 of %2 destinations (")
                            .arg(tally.failedHosts.size())
                            .arg(tally.total) +
                        tally.failedHosts.join(QStringLiteral(", ")) + QStringLiteral(") - see ") +
                        kCumulativeLogName;
    }
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

    const QString logPath = workingDirFile(
        directory, QStringLiteral("FTPLog%1.TXT").arg(LogNumber, 4, 10, QLatin1Char('0')));
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
    block.append(QByteArray());
    block.append(kEndOfTransmission);
    block.append(QByteArray());
    const bool recorded = appendTextLines(workingDirFile(directory, kCumulativeLogName), block,
                                          FileAccess::OwnerOnly);
    removeIgnoringErrors(logPath);

    if (outcome.cancelled || m_cancelRequested) {
        tally.cancelledHost = host;
        return false;
    }
    if (!outcome.succeeded() || !recorded)
        tally.failedHosts.append(host);
    if (!recorded) {
        stopForUnwritableDirectory(tally);
        return false;
    }
    return true;
}

void TransferEngine::stopForUnwritableDirectory(RunTally &tally)
{
    tally.stopped = true;
    m_window.showMessage(kUnwritableText, kProcessErrorTitle);
}

void TransferEngine::requestCancel()
{
    if (!m_running)
        return;
    m_cancelRequested = true;
    m_launcher.cancel();
}

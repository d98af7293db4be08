#include "transfer/request_checks.h"

#include "interfaces/transfer_window.h"
#include "transfer/value_checks.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

const QString kNoFilesTitle = QStringLiteral("No Files");
const QString kErrorTitle = QStringLiteral("Error Message");

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

bool isBlankOrEmpty(const QString &text)
{
    return text.isEmpty() || text == QLatin1String(" ");
}

/// One request's checks over the window it reads and marks.
class RequestChecks final
{
public:
    RequestChecks(TransferWindow &window, const QList<int> &onlyRows)
        : m_window(window), m_grid(window.destinationGrid()),
          m_onlyRows(onlyRows.cbegin(), onlyRows.cend())
    {
    }
    /// Whether the request takes this row at all.
    bool takes(int row) const { return m_onlyRows.isEmpty() || m_onlyRows.contains(row); }

    bool requestLevel();
    bool row(int row);
    TransferRequest request() const;

private:
    void markCell(int row, int column, const QString &message);

    TransferWindow &m_window;
    DestinationGrid &m_grid;
    QSet<int> m_onlyRows;
};

bool RequestChecks::requestLevel()
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

    bool anyHost = false;
    for (int row = kFirstDataRow; row <= kLastDataRow && !anyHost; ++row)
        anyHost = !isBlankOrEmpty(m_grid.text(row, kHostColumn));
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

bool RequestChecks::row(int row)
{
    if (!takes(row) || m_grid.text(row, kHostColumn).isEmpty())
        return true;

    // Cells are read again at each check: a cell move of an earlier mark may have committed a
    // pending edit into this row.
    bool rowFaulty = false;
    const QString secureFlag = m_grid.text(row, kSecureShellColumn);
    if (secureFlag != QLatin1String("N") && secureFlag != QLatin1String("Y")) {
        markCell(row, kSecureShellColumn, kBadSecureText);
        rowFaulty = true;
    }
    if (m_grid.text(row, kSecureShellColumn) == QLatin1String("Y") &&
        m_grid.text(row, kUserIdColumn).isEmpty()) {
        markCell(row, kUserIdColumn, kNoUserText);
        rowFaulty = true;
    }
    if (m_grid.text(row, kPasswordColumn).isEmpty()) {
        markCell(row, kPasswordColumn, kNoPasswordText);
        rowFaulty = true;
    }
    if (!checkValuesArePlain(m_grid, row, [this, row](int column, const QString &message) {
            markCell(row, column, message);
        }))
        rowFaulty = true;

    if (!rowFaulty) {
        m_grid.setCurrentRow(row);
        for (int column = 0; column < kDestinationColumnCount; ++column) {
            m_grid.setCurrentColumn(column);
            m_grid.setCurrentCellTextColour(kStandardTextColour);
        }
    }
    return !rowFaulty;
}

void RequestChecks::markCell(int row, int column, const QString &message)
{
    m_window.showMessage(message, kErrorTitle);
    m_grid.setCurrentColumn(column);
    m_grid.setCurrentRow(row);
    m_grid.setCurrentCellTextColour(kFaultColour);
}

TransferRequest RequestChecks::request() const
{
    TransferRequest request;
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        const QString path = m_window.fileListText(row);
        if (path.isEmpty())
            break;
        request.files.append(path);
    }
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        const QString host = m_grid.text(row, kHostColumn);
        if (host.isEmpty() || !takes(row))
            continue;
        const bool secure = m_grid.text(row, kSecureShellColumn) == QLatin1String("Y");
        request.destinations.append({row, secure, host, m_grid.text(row, kRemoteDirectoryColumn),
                                     m_grid.text(row, kUserIdColumn),
                                     m_grid.text(row, kPasswordColumn)});
    }
    // The text is taken where the check found the directory, once: the clients are started in it
    // and every file of the run is named from it.
    request.workingDirectory =
        QDir::cleanPath(QFileInfo(m_window.workingDirectoryText()).absoluteFilePath());
    request.simultaneous =
        std::clamp(m_window.simultaneousTransfers(), kMinSimultaneous, kMaxSimultaneous);
    return request;
}

} // namespace

std::optional<TransferRequest> checkedRequest(TransferWindow &window, const QList<int> &onlyRows)
{
    RequestChecks checks(window, onlyRows);
    if (!checks.requestLevel())
        return std::nullopt;
    // Every row is checked, so that one request shows the user all faulty cells at once.
    bool requestValid = true;
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        if (!checks.row(row))
            requestValid = false;
    }
    if (!requestValid)
        return std::nullopt;
    return checks.request();
}

#include "transfer/request_checks.h"

#include "platform/own_files.h"
#include "transfer/settings_checks.h"
#include "transfer/value_checks.h"
#include "transfer/working_directory_hold.h"

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

// The text is taken where the check found the directory, once: the clients are started in it and
// every file of the run is named from it.
QString workingDirectoryOf(const RequestForm &form)
{
    return QDir::cleanPath(QFileInfo(form.workingDirectory).absoluteFilePath());
}

/// One request's checks over the form and the table they read.
class RequestChecks final
{
public:
    RequestChecks(const RequestForm &form, const DestinationGrid &table, CheckFindings &findings,
                  const QList<int> &onlyRows)
        : m_form(form), m_table(table), m_findings(findings),
          m_onlyRows(onlyRows.cbegin(), onlyRows.cend()), m_settings(form.settings)
    {
    }
    /// Whether the request takes this row at all.
    bool takes(int row) const { return m_onlyRows.isEmpty() || m_onlyRows.contains(row); }

    bool requestLevel();
    bool row(int row);
    TransferRequest request() const;

private:
    bool refuse(const QString &text, FaultSubject subject);
    void markCell(int row, int column, const QString &text);

    const RequestForm &m_form;
    const DestinationGrid &m_table;
    CheckFindings &m_findings;
    QSet<int> m_onlyRows;
    TransferSettings m_settings; // their files named absolutely once checked
    std::optional<KnownHosts> m_hostKeys;
};

bool RequestChecks::refuse(const QString &text, FaultSubject subject)
{
    m_findings.faultFound({kNoFilesTitle, text, subject});
    return false;
}

bool RequestChecks::requestLevel()
{
    if (isBlankOrEmpty(m_form.files.value(0)))
        return refuse(kNoFilesText, FaultSubject::FileList);
    // A line break in a name would start a command of its own in the clients' scripts.
    for (const QString &path : m_form.files) {
        if (holdsControlCharacter(path))
            return refuse(kListedFileText + withControlsShown(path), FaultSubject::FileList);
    }

    bool anyHost = false;
    for (int row = kFirstDataRow; row <= kLastDataRow && !anyHost; ++row)
        anyHost = !isBlankOrEmpty(m_table.text(row, kHostColumn));
    if (!anyHost)
        return refuse(kNoHostsText, FaultSubject::Destinations);

    // The run writes its files there and starts the clients in it, so only a real directory will
    // do: a plain file or an empty text would fail half-way through the run instead.
    const QString &directory = m_form.workingDirectory;
    if (directory.isEmpty() || !QFileInfo(directory).isDir())
        return refuse(kBadDirectoryText, FaultSubject::WorkingDirectory);
    // Another user who may rename files there could swap a client's script for one of theirs
    // between its writing and its reading.
    if (othersMayChangeDirectory(directory))
        return refuse(sharedWorkingDirectoryText(workingDirectoryOf(m_form)),
                      FaultSubject::WorkingDirectory);
    if (const std::optional<Fault> fault = checkSettings(&m_settings, &m_hostKeys)) {
        m_findings.faultFound(*fault);
        return false;
    }
    return true;
}

bool RequestChecks::row(int row)
{
    if (!takes(row) || m_table.text(row, kHostColumn).isEmpty())
        return true;

    // Cells are read again at each check: the mark of an earlier fault may have committed a
    // pending edit into this row.
    bool rowFaulty = false;
    const QString secureFlag = m_table.text(row, kSecureShellColumn);
    if (secureFlag != QLatin1String("N") && secureFlag != QLatin1String("Y")) {
        markCell(row, kSecureShellColumn, kBadSecureText);
        rowFaulty = true;
    }
    if (m_table.text(row, kSecureShellColumn) == QLatin1String("Y") &&
        m_table.text(row, kUserIdColumn).isEmpty()) {
        markCell(row, kUserIdColumn, kNoUserText);
        rowFaulty = true;
    }
    if (m_table.text(row, kPasswordColumn).isEmpty()) {
        markCell(row, kPasswordColumn, kNoPasswordText);
        rowFaulty = true;
    }
    if (!checkValuesArePlain(m_table, row, [this, row](int column, const QString &message) {
            markCell(row, column, message);
        }))
        rowFaulty = true;

    if (!rowFaulty)
        m_findings.rowPassed(row);
    return !rowFaulty;
}

void RequestChecks::markCell(int row, int column, const QString &text)
{
    m_findings.faultFound(Fault::cell(kErrorTitle, text, row, column));
}

TransferRequest RequestChecks::request() const
{
    TransferRequest request;
    request.files = m_form.files;
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        const QString host = m_table.text(row, kHostColumn);
        if (host.isEmpty() || !takes(row))
            continue;
        const bool secure = m_table.text(row, kSecureShellColumn) == QLatin1String("Y");
        request.destinations.append({row, secure, host, m_table.text(row, kRemoteDirectoryColumn),
                                     m_table.text(row, kUserIdColumn),
                                     m_table.text(row, kPasswordColumn),
                                     secure ? hostKeysFor(m_hostKeys, host) : QStringList()});
    }
    request.settings = m_settings;
    request.workingDirectory = workingDirectoryOf(m_form);
    request.simultaneous = std::clamp(m_form.simultaneous, kMinSimultaneous, kMaxSimultaneous);
    return request;
}

} // namespace

std::optional<TransferRequest> checkedRequest(const RequestForm &form, const DestinationGrid &table,
                                              CheckFindings &findings, const QList<int> &onlyRows)
{
    RequestChecks checks(form, table, findings, onlyRows);
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

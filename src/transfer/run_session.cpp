#include "transfer/run_session.h"

#include "platform/paths.h"
#include "transfer/report_writer.h"
#include "transfer/request_checks.h"
#include "transfer/transfer_run.h"
#include "transfer/transfer_scripts.h"

#include <algorithm>

namespace {

const QString kSendAgainTitle = QStringLiteral("Send again");
const QString kNoHostText =
    QStringLiteral("None of these rows holds a host now - nothing was sent");
const QString kStillRunningText =
    QStringLiteral("Another transmission is still running - nothing was sent");

} // namespace

RunSession::RunSession(Launcher &launcher, QObject *parent) : QObject(parent), m_launcher(launcher)
{
}

RunSession::~RunSession()
{
    // A session ends after its last run: one still going is stopped, and its clients with it.
    if (m_run != nullptr) {
        m_run->disconnect(this);
        m_run->cancel();
        delete m_run;
    }
}

std::optional<Fault> RunSession::start(const TransferRequest &request)
{
    if (isRunning())
        return Fault{QStringLiteral("Process Error"), kStillRunningText,
                     FaultSubject::BusyDirectory};
    if (request.destinations.isEmpty()) {
        m_request = request;
        m_end = RunEnd();
        m_end.started = QDateTime::currentDateTimeUtc();
        Q_EMIT started(request);
        Q_EMIT finished(m_end);
        return std::nullopt;
    }
    m_run = new TransferRun(request, m_launcher, this);
    connect(m_run, &TransferRun::started, this, [this](const TransferRequest &started) {
        m_request = started;
        m_end = RunEnd();
        Q_EMIT this->started(started);
    });
    connect(m_run, &TransferRun::destinationStarted, this, &RunSession::destinationStarted);
    connect(m_run, &TransferRun::destinationFinished, this,
            [this](const DestinationResult &result) {
                m_end.results.append(result);
                Q_EMIT destinationFinished(result);
            });
    connect(m_run, &TransferRun::statusChanged, this, &RunSession::statusChanged);
    connect(m_run, &TransferRun::finished, this, &RunSession::runFinished);
    // A run may also finish before TransmitAll returns, when no client could be started.
    TransferRun *run = m_run;
    if (std::optional<Fault> fault = run->TransmitAll()) {
        delete run;
        m_run = nullptr;
        return fault;
    }
    return std::nullopt;
}

void RunSession::runFinished(const RunEnd &end)
{
    m_end = end;
    m_logAtEnd = {};
    readOwnFile(workingDirFile(m_request.workingDirectory, kCumulativeLogName), 0, 0, nullptr,
                &m_logAtEnd);
    // It is still inside its own signal.
    m_run->deleteLater();
    m_run = nullptr;
    Q_EMIT finished(m_end);
}

bool RunSession::sendAgain(const QList<int> &rows, const DestinationGrid &table,
                           CheckFindings &findings)
{
    if (isRunning() || rows.isEmpty())
        return false;
    const RequestForm form{m_request.files, m_request.workingDirectory, m_request.simultaneous,
                           m_request.settings};
    std::optional<TransferRequest> request = checkedRequest(form, table, findings, rows);
    if (!request)
        return false;
    if (request->destinations.isEmpty()) {
        findings.faultFound({kSendAgainTitle, kNoHostText, FaultSubject::Destinations});
        return false;
    }
    // The earlier run's log stays beside the new one: its record must not be lost.
    request->keepEarlierLog = true;
    if (std::optional<Fault> fault = start(*request)) {
        findings.faultFound(*fault);
        return false;
    }
    return true;
}

void RunSession::cancel()
{
    if (m_run != nullptr)
        m_run->cancel();
}

QList<int> RunSession::unsentRows() const
{
    QList<int> rows;
    for (const DestinationResult &result : m_end.results) {
        if (result.outcome != Outcome::Sent)
            rows.append(result.row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

QList<int> RunSession::rowsWithOtherHost(const QList<int> &rows, const DestinationGrid &table) const
{
    QList<int> changed;
    for (const DestinationResult &result : m_end.results) {
        if (rows.contains(result.row) && table.text(result.row, kHostColumn) != result.host)
            changed.append(result.row);
    }
    std::sort(changed.begin(), changed.end());
    return changed;
}

bool RunSession::saveReport(const QString &path, QString *error) const
{
    return ReportWriter::save(path, m_request, m_end, error);
}

LogBlock RunSession::logBlock(const DestinationResult &result) const
{
    return CumulativeLog::readBlock(m_request.workingDirectory, m_logAtEnd, result,
                                    destinationOf(result.row).password);
}

Destination RunSession::destinationOf(int row) const
{
    const auto found =
        std::find_if(m_request.destinations.cbegin(), m_request.destinations.cend(),
                     [row](const Destination &destination) { return destination.row == row; });
    return found == m_request.destinations.cend() ? Destination() : *found;
}

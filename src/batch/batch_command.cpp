#include "batch/batch_command.h"

#include "batch/batch_options.h"
#include "batch/progress_view.h"
#include "batch/request_sources.h"
#include "batch/run_plan.h"
#include "batch/terminal.h"
#include "platform/paths.h"
#include "platform/saved_file.h"
#include "platform/termination_signals.h"
#include "transfer/plain_destination_grid.h"
#include "transfer/report_writer.h"
#include "transfer/request_checks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

void printLine(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = (printable(line) + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int refuse(const QString &error, int status = kRefused)
{
    printLine(stderr, QStringLiteral("parcelwright-batch: ") + error);
    return status;
}

/// The heading words of a Destination table column, as a line about one of its cells names it.
QString columnHeading(int column)
{
    static const QStringList headings{
        QStringLiteral("Secure Shell"), QStringLiteral("IP Address/URL"),
        QStringLiteral("Remote Directory"), QStringLiteral("User Id"), QStringLiteral("Password")};
    return headings.value(column);
}

/// A fault in the words of a command line: a cell by its row and column, the request's own
/// faults by what they are about; never a window's title.
QString faultLine(const Fault &fault, const QString &workingDirectory)
{
    switch (fault.subject) {
    case FaultSubject::Cell:
        return QStringLiteral("row %1, %2: %3")
            .arg(fault.row)
            .arg(columnHeading(fault.column), fault.text);
    case FaultSubject::Destinations:
        return QStringLiteral("parcelwright-batch: no destination: no row of the table names a "
                              "host");
    case FaultSubject::WorkingDirectory:
        // One that others may change is a directory; its refusal says why in its own words.
        if (!QFileInfo(workingDirectory).isDir())
            return QStringLiteral("parcelwright-batch: the working directory %1 %2")
                .arg(workingDirectory, QFileInfo::exists(workingDirectory)
                                           ? QStringLiteral("is not a directory")
                                           : QStringLiteral("does not exist"));
        break;
    case FaultSubject::BusyDirectory:
        return QStringLiteral("parcelwright-batch: another run is using the working directory "
                              "%1 - nothing was sent; try again later")
            .arg(workingDirectory);
    default:
        break;
    }
    return QStringLiteral("parcelwright-batch: ") + fault.text;
}

/// Collects the findings of the request checks, to be said once they are over.
class FaultList final : public CheckFindings
{
public:
    Faults faults;
    void faultFound(const Fault &fault) override { faults.append(fault); }
    void rowPassed(int row) override { Q_UNUSED(row) }
};

// The report is written at the end: a directory that is not there would lose the whole run's.
bool checkReportPath(const QString &path, QString *error)
{
    if (path.isEmpty() || path == QLatin1String("-"))
        return true;
    const QFileInfo report(path);
    if (!QFileInfo(report.absolutePath()).isDir())
        *error = QStringLiteral("--report %1: the directory %2 does not exist")
                     .arg(path, report.absolutePath());
    else if (report.isDir())
        *error = QStringLiteral("--report %1 is a directory").arg(path);
    else
        *error = saveRefusal(path); // a link or another user's file, found now, not after the run
    return error->isEmpty();
}

bool loadTable(const BatchOptions &options, DestinationGrid &table, QString *error)
{
    // Where the window keeps them when started from the desktop.
    if (!options.profile.isEmpty())
        return RequestSources::loadProfile(table, options.profile,
                                           options.profileDirectory.isEmpty()
                                               ? QDir::cleanPath(defaultWorkingDirectory())
                                               : options.profileDirectory,
                                           error);
    return RequestSources::loadDestinations(options.destinationsFile, table, error);
}

// The rows to send: those of --rows, less those an earlier report gives as sent (*skipped counts
// the rows left out because their host has changed since). nullopt for every row of the table.
std::optional<QList<int>> selectRows(const BatchOptions &options, const DestinationGrid &table,
                                     int *skipped, QString *error)
{
    std::optional<QList<int>> rows;
    if (options.firstRow > 0 || !options.onlyFailed.isEmpty()) {
        rows.emplace();
        for (int row = std::max(options.firstRow, kFirstDataRow);
             row <= (options.firstRow > 0 ? options.lastRow : kLastDataRow); ++row)
            rows->append(row);
    }
    if (options.onlyFailed.isEmpty())
        return rows;
    QList<int> unsent;
    QStringList warnings;
    if (!RequestSources::rowsToResend(options.onlyFailed, table, *rows, &unsent, &warnings, error))
        return std::nullopt;
    for (const QString &warning : std::as_const(warnings))
        printLine(stderr, QStringLiteral("parcelwright-batch: ") + warning);
    *skipped = int(warnings.size());
    return unsent;
}

// The request the options ask for, its checks passed; nullopt once what refused it is said.
std::optional<TransferRequest> requestOf(const BatchOptions &options, int *skipped, int *status)
{
    *status = kRefused;
    QString error;
    PlainDestinationGrid table;
    QStringList files = options.files;
    if (!loadTable(options, table, &error) ||
        (!options.fileList.isEmpty() &&
         !RequestSources::readFileList(options.fileList, &files, &error)) ||
        !RequestSources::checkFiles(&files, &error)) {
        refuse(error);
        return std::nullopt;
    }
    const std::optional<QList<int>> rows = selectRows(options, table, skipped, &error);
    if (!error.isEmpty()) {
        refuse(error);
        return std::nullopt;
    }
    const QString folder =
        options.workingDirectory.isEmpty() ? defaultWorkingDirectory() : options.workingDirectory;
    if (options.workingDirectory.isEmpty() && !options.dryRun)
        makeDefaultWorkingDirectory();
    // A dry run writes nothing, not even the default folder. Until a run makes it, the checks
    // look at the root instead: like that folder (its user's alone) nobody else may change it.
    const bool notMade =
        options.dryRun && options.workingDirectory.isEmpty() && !QFileInfo(folder).isDir();
    const RequestForm form{files, notMade ? QDir::rootPath() : folder, options.jobs,
                           options.settings};
    FaultList findings;
    // No row left to send is a request for nothing, not for every row.
    std::optional<TransferRequest> request =
        checkedRequest(form, table, findings,
                       rows && rows->isEmpty() ? QList<int>{0} : rows.value_or(QList<int>()));
    for (const Fault &fault : std::as_const(findings.faults))
        printLine(stderr, faultLine(fault, form.workingDirectory));
    if (request && notMade)
        request->workingDirectory = QDir::cleanPath(folder);
    return request;
}

// All sent only when every row asked for was: a row cancelled, never started or left out (its
// host changed since the earlier report) was not.
int exitStatus(const RunEnd &end, bool signalled, int skipped)
{
    bool allSent = skipped == 0;
    for (const DestinationResult &result : end.results) {
        if (result.outcome == Outcome::Cancelled)
            signalled = true;
        allSent = allSent && result.outcome == Outcome::Sent;
    }
    return signalled ? kCancelled : allSent ? kAllSent : kSomeFailed;
}

} // namespace

BatchCommand::BatchCommand(QString version)
    : m_version(std::move(version)),
      m_launcher(companionProgram(QStringLiteral("parcelwright-cmd"))), m_session(m_launcher)
{
    QObject::connect(&m_session, &RunSession::finished, &m_session,
                     [this](const RunEnd &end) { finish(end); });
}

BatchCommand::~BatchCommand() = default;

int BatchCommand::start(const QStringList &arguments)
{
    BatchOptions options;
    QString error;
    if (!parseBatchArguments(arguments, &options, &error))
        return refuse(error + QStringLiteral(" (see --help)"));
    if (options.help || options.version) {
        std::fputs(options.help
                       ? qPrintable(batchUsage())
                       : qPrintable(QStringLiteral("parcelwright-batch %1\n").arg(m_version)),
                   stdout);
        return kAllSent;
    }
    if (!checkReportPath(options.report, &error))
        return refuse(error);
    int status = kRefused;
    const std::optional<TransferRequest> request = requestOf(options, &m_skipped, &status);
    if (!request)
        return status;
    if (options.dryRun) {
        for (const QString &line : runPlan(*request))
            printLine(stdout, line);
        return kAllSent;
    }
    std::FILE *stream = options.report == QLatin1String("-") ? stderr : stdout;
    m_progress = std::make_unique<ProgressView>(stream,
                                                options.quiet        ? ProgressView::Mode::Quiet
                                                : isTerminal(stream) ? ProgressView::Mode::Terminal
                                                                     : ProgressView::Mode::Lines,
                                                int(request->destinations.size()));
    if (!options.report.isEmpty()) {
        m_report = std::make_unique<ReportWriter>(options.report, *request);
        if (!m_report->open(&error))
            return refuse(error);
    }
    return send(*request);
}

int BatchCommand::send(const TransferRequest &request)
{
    // A signal from here on cancels the run: clients stopped, files removed, report written.
    m_termination = std::make_unique<TerminationSignals>();
    QObject::connect(m_termination.get(), &TerminationSignals::received, &m_session, [this] {
        m_signalled = true;
        m_session.cancel();
    });
    m_progress->follow(m_session);
    if (m_report)
        QObject::connect(&m_session, &RunSession::destinationFinished, &m_session,
                         [this](const DestinationResult &result) { m_report->add(result); });
    if (const std::optional<Fault> fault = m_session.start(request)) {
        if (m_report)
            m_report->discard();
        printLine(stderr, faultLine(*fault, request.workingDirectory));
        return fault->subject == FaultSubject::BusyDirectory ? kBusy : kRefused;
    }
    // A run that could start no client is over already.
    return m_session.isRunning() ? -1 : m_status;
}

void BatchCommand::finish(const RunEnd &end)
{
    for (const Fault &fault : end.faults)
        printLine(stderr, faultLine(fault, m_session.lastRequest().workingDirectory));
    m_status = exitStatus(end, m_signalled, m_skipped);
    QString error;
    if (m_report && !m_report->finish(end, &error)) {
        refuse(QStringLiteral("%1 - the report is in %2")
                   .arg(error, ReportWriter::partialPath(m_report->path())));
        m_status = std::max<int>(m_status, kSomeFailed);
    }
    QCoreApplication::exit(m_status);
}

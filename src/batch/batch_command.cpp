#include "batch/batch_command.h"

#include "batch/batch_options.h"
#include "batch/batch_window.h"
#include "batch/progress_view.h"
#include "batch/report_writer.h"
#include "batch/request_sources.h"
#include "batch/run_plan.h"
#include "batch/terminal.h"
#include "platform/launcher.h"
#include "platform/paths.h"
#include "platform/termination_signals.h"
#include "transfer/request_checks.h"
#include "transfer/transfer_engine.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <optional>

namespace {

void printLine(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = (printable(line) + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int refuse(const QString &error)
{
    printLine(stderr, QStringLiteral("parcelwright-batch: ") + error);
    return kRefused;
}

/// Passes every observed event to each of a list of observers.
class Observers final : public RunObserver
{
public:
    explicit Observers(QList<RunObserver *> all) : m_all(std::move(all)) {}
    void runStarted(const TransferRequest &request) override
    {
        for (RunObserver *observer : m_all)
            observer->runStarted(request);
    }
    void destinationStarted(int row, const QString &host, int logNumber) override
    {
        for (RunObserver *observer : m_all)
            observer->destinationStarted(row, host, logNumber);
    }
    void destinationFinished(const DestinationResult &result) override
    {
        for (RunObserver *observer : m_all)
            observer->destinationFinished(result);
    }
    void runFinished(const RunEnd &end) override
    {
        for (RunObserver *observer : m_all)
            observer->runFinished(end);
    }

private:
    QList<RunObserver *> m_all;
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
    return error->isEmpty();
}

bool loadTable(const BatchOptions &options, BatchWindow &window, QString *error)
{
    if (!options.profile.isEmpty())
        return RequestSources::loadProfile(window, options.profile, options.profileDirectory,
                                           error);
    return RequestSources::loadDestinations(options.destinationsFile, window.destinationGrid(),
                                            error);
}

// The rows to send: those of --rows, less those an earlier report gives as sent. nullopt for
// every row of the table.
std::optional<QList<int>> selectRows(const BatchOptions &options, const DestinationGrid &grid,
                                     QString *error)
{
    std::optional<QList<int>> rows;
    if (options.firstRow > 0) {
        rows.emplace();
        for (int row = options.firstRow; row <= options.lastRow; ++row)
            rows->append(row);
    }
    if (options.onlyFailed.isEmpty())
        return rows;
    QList<int> unsent;
    QStringList skipped;
    if (!RequestSources::rowsToResend(options.onlyFailed, grid, &unsent, &skipped, error))
        return std::nullopt;
    for (const QString &warning : std::as_const(skipped))
        printLine(stderr, QStringLiteral("parcelwright-batch: ") + warning);
    if (rows)
        unsent.removeIf([&rows](int row) { return !rows->contains(row); });
    return unsent;
}

int exitStatus(const RunEnd &end, bool signalled)
{
    bool allSent = true;
    for (const DestinationResult &result : end.results) {
        if (result.outcome == Outcome::Cancelled)
            signalled = true;
        allSent = allSent && result.outcome == Outcome::Sent;
    }
    return signalled ? kCancelled : allSent ? kAllSent : kSomeFailed;
}

int send(const TransferRequest &request, const BatchOptions &options, const QString &version,
         UserMessages &messages, const std::function<void()> &showMessages)
{
    // A signal from here on cancels the run: clients stopped, files removed, report written.
    TerminationSignals termination;
    std::FILE *stream = options.report == QLatin1String("-") ? stderr : stdout;
    ProgressView progress(stream,
                          options.quiet        ? ProgressView::Mode::Quiet
                          : isTerminal(stream) ? ProgressView::Mode::Terminal
                                               : ProgressView::Mode::Lines,
                          int(request.destinations.size()));
    std::optional<ReportWriter> report;
    QList<RunObserver *> observers{&progress};
    QString error;
    if (!options.report.isEmpty()) {
        report.emplace(options.report, request, version);
        if (!report->open(&error))
            return refuse(error);
        observers.prepend(&*report);
    }
    Observers all(observers);
    CommandInterpreterLauncher launcher(companionProgram(QStringLiteral("parcelwright-cmd")));
    TransferEngine engine(launcher);
    bool signalled = false;
    QObject::connect(&termination, &TerminationSignals::received, [&] {
        signalled = true;
        engine.requestCancel();
    });

    QElapsedTimer clock;
    clock.start();
    RunEnd end{true, {}, {}};
    if (request.destinations.isEmpty()) {
        all.runStarted(request);
        all.runFinished(end);
    } else {
        end = engine.run(request, messages, all);
    }
    showMessages();
    if (!end.started) {
        if (report)
            report->discard();
        return kRefused;
    }
    int status = exitStatus(end, signalled);
    if (report && !report->finish(clock.elapsed(), &error)) {
        printLine(stderr, QStringLiteral("parcelwright-batch: ") + error);
        status = std::max<int>(status, kSomeFailed);
    }
    return status;
}

} // namespace

int runBatch(const QStringList &arguments, const QString &version)
{
    BatchOptions options;
    QString error;
    if (!parseBatchArguments(arguments, &options, &error))
        return refuse(error + QStringLiteral(" (see --help)"));
    if (options.help || options.version) {
        std::fputs(options.help
                       ? qPrintable(batchUsage())
                       : qPrintable(QStringLiteral("parcelwright-batch %1\n").arg(version)),
                   stdout);
        return kAllSent;
    }
    if (!checkReportPath(options.report, &error))
        return refuse(error);

    // The window's messages are held and shown in their order once each step is over.
    QStringList lines;
    BatchWindow window([&lines](const QString &line) { lines.append(line); });
    const auto showMessages = [&window, &lines] {
        window.flushMessage();
        for (const QString &line : std::as_const(lines))
            printLine(stderr, line);
        const bool any = !lines.isEmpty();
        lines.clear();
        return any;
    };
    QStringList files = options.files;
    if (!loadTable(options, window, &error) ||
        (!options.fileList.isEmpty() &&
         !RequestSources::readFileList(options.fileList, &files, &error)) ||
        !RequestSources::checkFiles(&files, &error))
        return refuse(error);
    if (showMessages())
        return kRefused;
    const std::optional<QList<int>> rows = selectRows(options, window.destinationGrid(), &error);
    if (!error.isEmpty())
        return refuse(error);

    window.setFiles(files);
    window.setWorkingDirectory(options.workingDirectory.isEmpty()
                                   ? RequestSources::defaultWorkingDirectory()
                                   : options.workingDirectory);
    window.setSimultaneousTransfers(options.jobs);
    // No row left to send is a request for nothing, not for every row.
    std::optional<TransferRequest> request = checkedRequest(
        window, rows && rows->isEmpty() ? QList<int>{0} : rows.value_or(QList<int>()));
    showMessages();
    if (!request)
        return kRefused;
    if (options.dryRun) {
        for (const QString &line : runPlan(*request))
            printLine(stdout, line);
        return kAllSent;
    }
    return send(*request, options, version, window, [&showMessages] { showMessages(); });
}

#pragma once

#include "interfaces/run_results.h"
#include "interfaces/transfer_request.h"
#include "platform/launcher.h"
#include "transfer/run_session.h"

#include <QStringList>

#include <memory>
#include <optional>

class ProgressView;
class ReportWriter;
class TerminationSignals;

/// The exit statuses of parcelwright-batch.
enum BatchExit : int
{
    kAllSent = 0,
    kSomeFailed = 1, // or the report could not be written
    kRefused = 2,    // a usage error, or a request its checks or the run refused: nothing sent
    kCancelled = 3,  // SIGINT, SIGTERM or SIGHUP ended the run early
    kBusy = 4        // another run holds the working directory: nothing sent, try again later
};

/// parcelwright-batch from its arguments (the program's name left out) to its exit status: reads
/// the request, checks it as Process Request does, and runs it through a run session (or shows
/// it, for a dry run), with progress and a report.
class BatchCommand final
{
public:
    explicit BatchCommand(QString version);
    ~BatchCommand();

    /// Does what the arguments ask. The exit status when that is done already (help, a refusal,
    /// a dry run, a run that ended at once); -1 while a run goes on, after whose end the
    /// application's event loop ends with the status.
    int start(const QStringList &arguments);

private:
    int send(const TransferRequest &request);
    void finish(const RunEnd &end);

    QString m_version;
    CommandInterpreterLauncher m_launcher;
    RunSession m_session;
    std::unique_ptr<TerminationSignals> m_termination;
    std::unique_ptr<ProgressView> m_progress;
    std::unique_ptr<ReportWriter> m_report;
    bool m_signalled = false;
    int m_skipped = 0; // rows an earlier report names under another host: not sent
    int m_status = -1;
};

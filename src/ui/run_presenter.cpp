#include "ui/run_presenter.h"

#include "transfer/run_session.h"
#include "ui/fault_presenter.h"
#include "ui/results_window.h"
#include "ui/transfer_progress.h"

RunPresenter::RunPresenter(RunSession &session, QWidget &window, DestinationGrid &table,
                           FaultPresenter &faults, StatusLine &statusLine,
                           std::function<void()> commitEdit)
    : QObject(&window), m_session(session), m_table(table), m_faults(faults),
      m_statusLine(statusLine), m_commitEdit(std::move(commitEdit)),
      m_progress(new TransferProgress(&window)), m_results(new ResultsWindow(session, &window))
{
    connect(&session, &RunSession::statusChanged, this,
            [this](const QString &text) { m_statusLine.setStatusText(text); });
    connect(&session, &RunSession::started, m_progress, [this](const TransferRequest &request) {
        m_progress->startRun(int(request.destinations.size()), request.simultaneous);
    });
    connect(&session, &RunSession::destinationStarted, m_progress,
            [this](int, const QString &host) { m_progress->destinationStarted(host); });
    connect(&session, &RunSession::destinationFinished, m_progress,
            [this](const DestinationResult &result) {
                m_progress->destinationFinished(result.host, result.outcome == Outcome::Failed);
            });
    connect(m_progress, &TransferProgress::cancelRequested, &session, &RunSession::cancel);
    // A run's end in the order the user sees it: the faults that stopped it while the progress
    // window still stands, then the results, then the closing status text.
    connect(&session, &RunSession::finished, this, &RunPresenter::runFinished);
    connect(m_results, &ResultsWindow::sendAgainRequested, this, &RunPresenter::sendAgain);
    connect(m_results, &ResultsWindow::faultFound, this,
            [this](const Fault &fault) { m_faults.faultFound(fault); });
}

void RunPresenter::runFinished(const RunEnd &end)
{
    m_faults.present(end.faults);
    m_progress->runFinished();
    m_results->showEnd(end);
    m_statusLine.setStatusText(end.statusText);
    Q_EMIT runEnded();
}

void RunPresenter::sendAgain()
{
    const QList<int> rows = m_session.unsentRows();
    if (m_session.isRunning() || rows.isEmpty())
        return;
    // An edit still open in the table counts as the table's content.
    m_commitEdit();
    const QList<int> changed = m_session.rowsWithOtherHost(rows, m_table);
    if (!changed.isEmpty() && !m_results->confirmOtherHosts(changed))
        return;
    m_session.sendAgain(rows, m_table, m_faults);
}

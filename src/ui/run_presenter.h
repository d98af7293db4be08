#pragma once

#include "interfaces/destination_grid.h"
#include "interfaces/run_results.h"
#include "interfaces/status_line.h"

#include <QObject>

#include <functional>

class FaultPresenter;
class QWidget;
class ResultsWindow;
class RunSession;
class TransferProgress;

/// How the main window follows the runs of its session: the progress window while one goes on
/// (its Cancel cancels the run), the status line's texts, the faults that stopped a run as
/// message boxes, the Results window, and its "Send again" over the Destination table as the
/// table holds it now.
class RunPresenter final : public QObject
{
    Q_OBJECT
public:
    /// The windows open over `window`; `table`, `faults` and `statusLine` are the main window's,
    /// and `commitEdit` commits its pending cell edit.
    RunPresenter(RunSession &session, QWidget &window, DestinationGrid &table,
                 FaultPresenter &faults, StatusLine &statusLine, std::function<void()> commitEdit);

    TransferProgress *progressWindow() const { return m_progress; }
    ResultsWindow *resultsWindow() const { return m_results; }

Q_SIGNALS:
    /// A run is over and its end has been shown.
    void runEnded();

private:
    void runFinished(const RunEnd &end);
    void sendAgain();

    RunSession &m_session;
    DestinationGrid &m_table;
    FaultPresenter &m_faults;
    StatusLine &m_statusLine;
    std::function<void()> m_commitEdit;
    TransferProgress *m_progress;
    ResultsWindow *m_results;
};

#pragma once

#include "interfaces/fault.h"
#include "interfaces/run_results.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class LogViewer;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class RunResultsModel;
class RunSession;

/// The Results window: a line per destination of the latest run, failed ones first; each line's
/// log at a double-click; "Send again to the failed"; the run's report saved, lines copied.
/// Modeless, one for the main window, closed by Escape. Never shows a password.
class ResultsWindow final : public QDialog
{
    Q_OBJECT
public:
    /// Follows the runs of `session`, its lines a list model fed by the session's signals.
    explicit ResultsWindow(RunSession &session, QWidget *parent = nullptr);
    ~ResultsWindow() override;

    /// Shows the window with its first line current.
    void showResults();
    /// A run is over: its lines in full; the window shows itself when a destination was not sent.
    void showEnd(const RunEnd &end);

    /// Asks whether to send to rows whose host has changed since the last run; true for Yes.
    bool confirmOtherHosts(const QList<int> &rows);

    /// Replaces the save dialog of "Save report...": returns the chosen path, empty when none.
    void setReportPathChooser(std::function<QString()> chooser);

    /// The log viewer while it is open; null otherwise.
    LogViewer *logViewer() const;

    QLabel *countLabel;
    QTableView *lines;
    QPushButton *cmdSendAgain;
    QPushButton *cmdSaveReport;

Q_SIGNALS:
    /// "Send again to the failed" was pressed: the rows the latest run did not send are to be
    /// sent again, as the table holds them now.
    void sendAgainRequested();
    /// Something went wrong that the user must hear of (a report that could not be saved).
    void faultFound(const Fault &fault);

public Q_SLOTS:
    void cmdSendAgain_Click();
    void cmdSaveReport_Click();
    /// Shows the log of the destination on a line of the view.
    void showLog(const QModelIndex &line);
    /// Puts the selected lines on the clipboard, a line each, tab between the columns.
    void copyLines();

private:
    /// Wide enough for a host name of 40 characters with every other column beside it.
    void openingSize();
    /// Every column as wide as its contents, but the Reason column, which takes the rest.
    void fitColumns();
    void runStarted();
    void updateControls();
    bool anyUnsent() const;

    RunSession &m_session;
    RunResultsModel *m_model;
    QSortFilterProxyModel *m_order;
    QPointer<LogViewer> m_viewer;
    bool m_running = false;
    std::function<QString()> m_reportPathChooser;
};

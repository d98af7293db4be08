#pragma once

#include "interfaces/run_observer.h"
#include "interfaces/transfer_request.h"
#include "platform/own_files.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>

#include <functional>

class FTP_Information;
class LogViewer;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class RunResultsModel;

/// The Results window: a line per destination of the latest run, failed ones first; each line's
/// log at a double-click; "Send again to the failed"; the run's report saved, lines copied.
/// Modeless, one for the main window, closed by Escape. Never shows a password.
class ResultsWindow final : public QDialog
{
    Q_OBJECT
public:
    /// Follows the runs of `window` (which feeds it) and sends again through its engine.
    explicit ResultsWindow(FTP_Information &window);
    ~ResultsWindow() override;

    // The run's events, as the main window passes them on.
    void runStarted(const TransferRequest &request);
    void destinationFinished(const DestinationResult &result);
    /// Shows the window by itself when a destination was not sent.
    void runFinished(const RunEnd &end);

    /// Shows the window with its first line current.
    void showResults();

    /// Replaces the save dialog of "Save report...": returns the chosen path, empty when none.
    void setReportPathChooser(std::function<QString()> chooser);

    /// The log viewer while it is open; null otherwise.
    LogViewer *logViewer() const;

    QLabel *countLabel;
    QTableView *lines;
    QPushButton *cmdSendAgain;
    QPushButton *cmdSaveReport;

Q_SIGNALS:
    /// A run that "Send again" started is over.
    void sendAgainFinished();

public Q_SLOTS:
    /// Runs a new request of the rows the latest run did not send, as the table holds them now.
    void cmdSendAgain_Click();
    void cmdSaveReport_Click();
    /// Shows the log of the destination on a line of the view.
    void showLog(const QModelIndex &line);
    /// Puts the selected lines on the clipboard, a line each, tab between the columns.
    void copyLines();

private:
    void updateControls();
    bool anyUnsent() const;
    QList<int> unsentRows() const;
    DestinationResult withoutPassword(DestinationResult result) const;
    /// The latest run's destination of a table row; an empty one when it had none.
    Destination destinationOf(int row) const;

    FTP_Information &m_window;
    RunResultsModel *m_model;
    QSortFilterProxyModel *m_order;
    QPointer<LogViewer> m_viewer;
    TransferRequest m_request;         // the latest run's; its passwords are only ever masked
    QHash<int, qsizetype> m_lineOfRow; // a table row's place in m_request.destinations
    QElapsedTimer m_clock;
    qint64 m_totalMs = 0;
    FileStamp m_logAtEnd;
    bool m_running = false;
    std::function<QString()> m_reportPathChooser;
};

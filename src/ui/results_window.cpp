#include "ui/results_window.h"

#include "platform/paths.h"
#include "transfer/request_checks.h"
#include "transfer/run_report.h"
#include "transfer/transfer_engine.h"
#include "transfer/transfer_scripts.h"
#include "ui/ftp_information.h"
#include "ui/log_viewer.h"
#include "ui/run_results_model.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kSendAgainTitle = QStringLiteral("Send again");
const QString kMasked = QStringLiteral("********");

/// The main window as "Send again" shows it to the request checks: its Destination table as it
/// is now, but the File list, working directory and number at once of the run before.
class LastRunWindow final : public TransferWindow
{
public:
    LastRunWindow(FTP_Information &window, const TransferRequest &run)
        : m_window(window), m_run(run)
    {
    }
    DestinationGrid &destinationGrid() override { return m_window.destinationGrid(); }
    QString fileListText(int row) const override { return m_run.files.value(row - 1); }
    QString workingDirectoryText() const override { return m_run.workingDirectory; }
    int simultaneousTransfers() const override { return m_run.simultaneous; }
    void setStatusText(const QString &text) override { m_window.setStatusText(text); }
    void showMessage(const QString &text, const QString &title) override
    {
        m_window.showMessage(text, title);
    }

private:
    FTP_Information &m_window;
    const TransferRequest &m_run;
};

} // namespace

ResultsWindow::ResultsWindow(FTP_Information &window)
    : QDialog(&window), countLabel(new QLabel(this)), lines(new QTableView(this)),
      cmdSendAgain(new QPushButton(QStringLiteral("&Send again to the failed"), this)),
      cmdSaveReport(new QPushButton(QStringLiteral("Save &report..."), this)), m_window(window),
      m_model(new RunResultsModel(this)), m_order(new QSortFilterProxyModel(this))
{
    setWindowTitle(QStringLiteral("Results"));
    m_order->setSourceModel(m_model);
    m_order->setSortRole(RunResultsModel::kSortRole);
    lines->setModel(m_order);
    lines->setSortingEnabled(true);
    lines->setSelectionBehavior(QAbstractItemView::SelectRows);
    lines->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lines->verticalHeader()->hide();
    lines->horizontalHeader()->setStretchLastSection(false);
    lines->horizontalHeader()->setSectionResizeMode(RunResultsModel::ReasonColumn,
                                                    QHeaderView::Stretch);
    // Double-click or Enter, as the platform opens an item.
    connect(lines, &QTableView::activated, this, &ResultsWindow::showLog);

    auto *copy = new QAction(QStringLiteral("Copy"), lines);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &ResultsWindow::copyLines);
    lines->addAction(copy);
    lines->setContextMenuPolicy(Qt::ActionsContextMenu);

    // Enter on a line opens its log; it must never press a button of this window instead.
    for (QPushButton *button : {cmdSendAgain, cmdSaveReport})
        button->setAutoDefault(false);
    connect(cmdSendAgain, &QPushButton::clicked, this, &ResultsWindow::cmdSendAgain_Click);
    connect(cmdSaveReport, &QPushButton::clicked, this, &ResultsWindow::cmdSaveReport_Click);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ResultsWindow::updateControls);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &ResultsWindow::updateControls);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &ResultsWindow::updateControls);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdSendAgain);
    buttons->addWidget(cmdSaveReport);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(countLabel);
    layout->addWidget(lines, 1);
    layout->addLayout(buttons);
    resize(760, 400);
    updateControls();
}

ResultsWindow::~ResultsWindow() = default;

LogViewer *ResultsWindow::logViewer() const
{
    return m_viewer;
}

void ResultsWindow::setReportPathChooser(std::function<QString()> chooser)
{
    m_reportPathChooser = std::move(chooser);
}

void ResultsWindow::runStarted(const TransferRequest &request)
{
    m_request = request;
    m_lineOfRow.clear();
    for (qsizetype i = 0; i < request.destinations.size(); ++i)
        m_lineOfRow.insert(request.destinations[i].row, i);
    m_running = true;
    m_clock.start();
    m_model->setResults({});
    lines->sortByColumn(RunResultsModel::OutcomeColumn, Qt::AscendingOrder);
}

void ResultsWindow::destinationFinished(const DestinationResult &result)
{
    m_model->addResult(withoutPassword(result));
}

void ResultsWindow::runFinished(const RunEnd &end)
{
    m_running = false;
    m_totalMs = m_clock.elapsed();
    m_logAtEnd = {};
    readOwnFile(workingDirFile(m_request.workingDirectory, kCumulativeLogName), 0, 0, nullptr,
                &m_logAtEnd);
    QList<DestinationResult> results;
    for (const DestinationResult &result : end.results)
        results.append(withoutPassword(result));
    m_model->setResults(results);
    // A clean run leaves an open window refreshed where it stands, and a closed one closed.
    if (anyUnsent())
        showResults();
    else
        lines->setCurrentIndex(m_order->index(0, 0));
}

void ResultsWindow::showResults()
{
    show();
    raise();
    activateWindow();
    lines->setFocus();
    lines->setCurrentIndex(m_order->index(0, 0));
}

DestinationResult ResultsWindow::withoutPassword(DestinationResult result) const
{
    // A hostile server may echo what it was sent, and the client's words become the reason.
    const QString password = destinationOf(result.row).password;
    if (!password.isEmpty())
        result.reason.replace(password, kMasked);
    return result;
}

Destination ResultsWindow::destinationOf(int row) const
{
    return m_request.destinations.value(m_lineOfRow.value(row, -1));
}

bool ResultsWindow::anyUnsent() const
{
    return std::any_of(
        m_model->results().cbegin(), m_model->results().cend(),
        [](const DestinationResult &result) { return result.outcome != Outcome::Sent; });
}

QList<int> ResultsWindow::unsentRows() const
{
    QList<int> rows;
    for (const DestinationResult &result : m_model->results()) {
        if (result.outcome != Outcome::Sent)
            rows.append(result.row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ResultsWindow::updateControls()
{
    countLabel->setText(m_model->countText());
    cmdSendAgain->setEnabled(!m_running && anyUnsent());
    cmdSaveReport->setEnabled(!m_running && m_model->rowCount() > 0);
}

void ResultsWindow::cmdSendAgain_Click()
{
    if (m_running || m_window.engine().isRunning())
        return;
    const QList<int> rows = unsentRows();
    if (rows.isEmpty())
        return;
    // An edit still open in the table counts as the table's content.
    m_window.commitPendingEdit();
    QStringList changed;
    for (const DestinationResult &result : m_model->results()) {
        if (result.outcome != Outcome::Sent &&
            m_window.destinationGrid().text(result.row, kHostColumn) != result.host)
            changed.append(QString::number(result.row));
    }
    if (!changed.isEmpty()) {
        QMessageBox question(
            QMessageBox::Question, kSendAgainTitle,
            (changed.size() == 1 ? QStringLiteral("Row %1 holds") : QStringLiteral("Rows %1 hold"))
                    .arg(changed.join(QStringLiteral(", "))) +
                QStringLiteral(" another host than in the last run. Send to "
                               "what the table holds now?"),
            QMessageBox::Yes | QMessageBox::No, this);
        question.setTextFormat(Qt::PlainText);
        question.setDefaultButton(QMessageBox::No);
        if (question.exec() != QMessageBox::Yes)
            return;
    }

    LastRunWindow lastRun(m_window, m_request);
    std::optional<TransferRequest> request = checkedRequest(lastRun, rows);
    if (!request)
        return;
    if (request->destinations.isEmpty()) {
        m_window.showMessage(
            QStringLiteral("None of these rows holds a host now - nothing was sent"),
            kSendAgainTitle);
        return;
    }
    // The earlier run's log stays beside the new one: its record must not be lost.
    request->keepEarlierLog = true;
    const RunEnd end = m_window.engine().run(*request, m_window, m_window);
    if (end.started)
        m_window.setStatusText(end.statusText);
    Q_EMIT sendAgainFinished();
}

void ResultsWindow::showLog(const QModelIndex &line)
{
    const QModelIndex source = m_order->mapToSource(line);
    if (!source.isValid() || source.row() >= m_model->results().size())
        return;
    const DestinationResult &result = m_model->results()[source.row()];
    if (!m_viewer)
        m_viewer = new LogViewer(this);
    m_viewer->showBlock(result.host, readLogBlock(m_request.workingDirectory, m_logAtEnd, result,
                                                  destinationOf(result.row).password));
    m_viewer->show();
    m_viewer->raise();
    m_viewer->activateWindow();
}

void ResultsWindow::copyLines()
{
    QModelIndexList selected = lines->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QString text;
    for (const QModelIndex &line : std::as_const(selected)) {
        QStringList cells;
        for (int column = 0; column < RunResultsModel::ColumnCount; ++column)
            cells.append(m_order->index(line.row(), column).data().toString());
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void ResultsWindow::cmdSaveReport_Click()
{
    const QString path =
        m_reportPathChooser
            ? m_reportPathChooser()
            : QFileDialog::getSaveFileName(
                  this, QStringLiteral("Save report"),
                  workingDirFile(m_request.workingDirectory, QStringLiteral("report.jsonl")),
                  QStringLiteral("JSON Lines (*.jsonl);;All files (*)"));
    if (path.isEmpty())
        return;
    QByteArray report;
    for (const DestinationResult &result : m_model->results()) {
        Destination destination = destinationOf(result.row);
        destination.password.clear();
        report += RunReport::destinationLine(result, destination, int(m_request.files.size()));
    }
    report += RunReport::summaryLine(m_model->results(), m_totalMs, m_request.workingDirectory,
                                     QStringLiteral(PARCELWRIGHT_VERSION));
    // Written whole or not at all, so that an earlier report of that name is never half replaced.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(report) != report.size() || !file.commit())
        m_window.showMessage(QStringLiteral("The report could not be saved: ") + file.errorString(),
                             QStringLiteral("Save report"));
}

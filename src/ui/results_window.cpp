#include "ui/results_window.h"

#include "platform/paths.h"
#include "transfer/run_session.h"
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
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kSendAgainTitle = QStringLiteral("Send again");

// What the window makes room for at its opening: a long host name in full beside the other
// columns, and the start of its reason.
constexpr int kHostCharacters = 40;
constexpr int kReasonCharacters = 30;

} // namespace

ResultsWindow::ResultsWindow(RunSession &session, QWidget *parent)
    : QDialog(parent), countLabel(new QLabel(this)), lines(new QTableView(this)),
      cmdSendAgain(new QPushButton(QStringLiteral("&Send again to the failed"), this)),
      cmdSaveReport(new QPushButton(QStringLiteral("Save &report..."), this)), m_session(session),
      m_model(new RunResultsModel(this)), m_order(new QSortFilterProxyModel(this))
{
    connect(&session, &RunSession::started, this, &ResultsWindow::runStarted);
    connect(&session, &RunSession::destinationFinished, m_model, &RunResultsModel::addResult);

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
    openingSize();
    updateControls();
}

void ResultsWindow::openingSize()
{
    int width = lines->fontMetrics().averageCharWidth() * (kHostCharacters + kReasonCharacters);
    for (const int column : {RunResultsModel::RowColumn, RunResultsModel::SecureShellColumn,
                             RunResultsModel::OutcomeColumn, RunResultsModel::TimeColumn})
        width += lines->horizontalHeader()->sectionSizeHint(column);
    const QMargins margins = layout()->contentsMargins();
    resize(std::max(760, width + margins.left() + margins.right() + 2 * lines->frameWidth() +
                             lines->verticalScrollBar()->sizeHint().width()),
           400);
}

void ResultsWindow::fitColumns()
{
    // The Reason column takes the rest; its tool tip shows a reason it cuts.
    for (int column = 0; column < RunResultsModel::ColumnCount; ++column) {
        if (column != RunResultsModel::ReasonColumn)
            lines->resizeColumnToContents(column);
    }
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

void ResultsWindow::runStarted()
{
    m_running = true;
    m_model->setResults({});
    lines->sortByColumn(RunResultsModel::OutcomeColumn, Qt::AscendingOrder);
}

void ResultsWindow::showEnd(const RunEnd &end)
{
    m_running = false;
    m_model->setResults(end.results);
    // A clean run leaves an open window refreshed where it stands, and a closed one closed.
    if (anyUnsent())
        showResults();
    else
        lines->setCurrentIndex(m_order->index(0, 0));
}

void ResultsWindow::showResults()
{
    fitColumns();
    show();
    raise();
    activateWindow();
    lines->setFocus();
    lines->setCurrentIndex(m_order->index(0, 0));
}

bool ResultsWindow::anyUnsent() const
{
    return std::any_of(
        m_model->results().cbegin(), m_model->results().cend(),
        [](const DestinationResult &result) { return result.outcome != Outcome::Sent; });
}

void ResultsWindow::updateControls()
{
    countLabel->setText(m_model->countText());
    cmdSendAgain->setEnabled(!m_running && anyUnsent());
    cmdSaveReport->setEnabled(!m_running && m_model->rowCount() > 0);
}

void ResultsWindow::cmdSendAgain_Click()
{
    if (!m_running && anyUnsent())
        Q_EMIT sendAgainRequested();
}

bool ResultsWindow::confirmOtherHosts(const QList<int> &rows)
{
    QStringList numbers;
    for (int row : rows)
        numbers.append(QString::number(row));
    QMessageBox question(
        QMessageBox::Question, kSendAgainTitle,
        (rows.size() == 1 ? QStringLiteral("Row %1 holds") : QStringLiteral("Rows %1 hold"))
                .arg(numbers.join(QStringLiteral(", "))) +
            QStringLiteral(" another host than in the last run. Send to what the table holds now?"),
        QMessageBox::Yes | QMessageBox::No, this);
    question.setTextFormat(Qt::PlainText);
    question.setDefaultButton(QMessageBox::No);
    return question.exec() == QMessageBox::Yes;
}

void ResultsWindow::showLog(const QModelIndex &line)
{
    const QModelIndex source = m_order->mapToSource(line);
    if (!source.isValid() || source.row() >= m_model->results().size())
        return;
    const DestinationResult &result = m_model->results()[source.row()];
    if (!m_viewer)
        m_viewer = new LogViewer(this);
    m_viewer->showBlock(result.host, m_session.logBlock(result));
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
            : QFileDialog::getSaveFileName(this, QStringLiteral("Save report"),
                                           workingDirFile(m_session.lastRequest().workingDirectory,
                                                          QStringLiteral("report.jsonl")),
                                           QStringLiteral("JSON Lines (*.jsonl);;All files (*)"));
    QString error;
    if (!path.isEmpty() && !m_session.saveReport(path, &error))
        Q_EMIT faultFound({QStringLiteral("Save report"),
                           QStringLiteral("The report could not be saved: ") + error});
}

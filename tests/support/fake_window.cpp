#include "support/fake_window.h"

#include "transfer/run_session.h"

#include <QtTest>

char *toString(const Message &message)
{
    return QTest::toString(message.title + QStringLiteral(" | ") + message.text);
}

FakeDestinationGrid::FakeDestinationGrid(QStringList *events)
    : m_events(events), m_texts(kGridRowCount * kDestinationColumnCount),
      m_colours(kGridRowCount * kDestinationColumnCount, kStandardTextColour)
{
}

void FakeDestinationGrid::setRow(const DestinationRow &row)
{
    const QStringList cells{row.secure, row.host, row.directory, row.user, row.password};
    for (int column = 0; column < cells.size(); ++column)
        setText(row.row, column, cells.at(column));
}

void FakeDestinationGrid::commitPendingEdit()
{
    if (!hasPendingEdit())
        return;
    setText(m_row, m_column, m_pendingText);
    m_events->append(QStringLiteral("commit %1 %2 %3").arg(m_row).arg(m_column).arg(m_pendingText));
    m_pendingText = QString();
}

void FakeDestinationGrid::clearEntries()
{
    for (int i = kDestinationColumnCount; i < m_texts.size(); ++i) {
        m_texts[i].clear();
        m_colours[i] = kStandardTextColour;
    }
}

void FakeDestinationGrid::setCurrentCellTextColour(CellColour colour)
{
    m_colours[index(m_row, m_column)] = colour;
    m_events->append(QStringLiteral("colour %1 %2 %3").arg(m_row).arg(m_column).arg(colour));
}

void FakeDestinationGrid::moveTo(int row, int column)
{
    if (row == m_row && column == m_column)
        return;
    m_events->append(QStringLiteral("leave %1 %2").arg(m_row).arg(m_column));
    if (!busy)
        commitPendingEdit();
    m_row = row;
    m_column = column;
    m_events->append(QStringLiteral("enter %1 %2").arg(m_row).arg(m_column));
}

void FakeWindow::follow(RunSession &session)
{
    QObject::connect(&session, &RunSession::destinationStarted, &session,
                     [this](int, const QString &host, int logNumber) {
                         progress.append(QStringLiteral("started %1 %2").arg(host).arg(logNumber));
                         if (onDestinationStarted)
                             onDestinationStarted(host, logNumber);
                     });
    QObject::connect(&session, &RunSession::destinationFinished, &session,
                     [this](const DestinationResult &result) {
                         progress.append(outcomeName(result.outcome) + u' ' + result.host);
                     });
    QObject::connect(&session, &RunSession::statusChanged, &session,
                     [this](const QString &text) { statusText = text; });
    QObject::connect(&session, &RunSession::finished, &session, [this](const RunEnd &end) {
        present(end.faults);
        lastRun = end;
        statusText = end.statusText;
    });
}

bool FakeWindow::processRequest(RunSession &session)
{
    if (session.isRunning())
        return false;
    const std::optional<TransferRequest> request = checkedRequest(form(), m_grid, *this);
    if (!request)
        return false;
    const std::optional<Fault> fault = session.start(*request);
    present(fault);
    return !fault;
}

RequestForm FakeWindow::form() const
{
    RequestForm form{{}, m_workingDirectory, simultaneous};
    for (int row = kFirstDataRow; row <= kLastDataRow && !m_fileRows[row].isEmpty(); ++row)
        form.files.append(m_fileRows[row]);
    return form;
}

void FakeWindow::present(const Faults &faults)
{
    for (const Fault &fault : faults)
        faultFound(fault);
}

void FakeWindow::present(const std::optional<Fault> &fault)
{
    if (fault)
        faultFound(*fault);
}

void FakeWindow::faultFound(const Fault &fault)
{
    messages.append({fault.title, fault.text});
    if (fault.subject != FaultSubject::Cell)
        return;
    m_grid.setCurrentColumn(fault.column);
    m_grid.setCurrentRow(fault.row);
    m_grid.setCurrentCellTextColour(kFaultColour);
}

void FakeWindow::rowPassed(int row)
{
    m_grid.setCurrentRow(row);
    for (int column = 0; column < kDestinationColumnCount; ++column) {
        m_grid.setCurrentColumn(column);
        m_grid.setCurrentCellTextColour(kStandardTextColour);
    }
}

void waitForRunEnd(const RunSession &session)
{
    QEventLoop loop;
    QObject::connect(&session, &RunSession::finished, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    if (session.isRunning())
        loop.exec();
}

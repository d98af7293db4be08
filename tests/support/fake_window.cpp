#include "support/fake_window.h"

#include "transfer/run_session.h"

#include <QtTest>

char *toString(const Message &message)
{
    return QTest::toString(message.title + QStringLiteral(" | ") + message.text);
}

FakeDestinationGrid::FakeDestinationGrid()
    : m_texts(kGridRowCount * kDestinationColumnCount),
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
    if (m_pendingText.isNull())
        return;
    setText(m_row, m_column, m_pendingText);
    m_pendingText = QString();
}

void FakeDestinationGrid::clearEntries()
{
    for (int i = kDestinationColumnCount; i < m_texts.size(); ++i) {
        m_texts[i].clear();
        m_colours[i] = kStandardTextColour;
    }
}

void FakeDestinationGrid::moveTo(int row, int column)
{
    if (row == m_row && column == m_column)
        return;
    if (!busy)
        commitPendingEdit();
    m_row = row;
    m_column = column;
}

void FakeWindow::follow(RunSession &session)
{
    QObject::connect(&session, &RunSession::destinationStarted, &session,
                     [this](int, const QString &host, int logNumber) {
                         if (onDestinationStarted)
                             onDestinationStarted(host, logNumber);
                     });
    QObject::connect(&session, &RunSession::statusChanged, &session,
                     [this](const QString &text) { statusText = text; });
    QObject::connect(&session, &RunSession::finished, &session, [this](const RunEnd &end) {
        present(end.faults);
        statusText = end.statusText;
    });
}

bool FakeWindow::processRequest(RunSession &session)
{
    if (session.isRunning())
        return false;
    const std::optional<TransferRequest> request = checkedRequest(form, m_grid, *this);
    if (!request)
        return false;
    const std::optional<Fault> fault = session.start(*request);
    present(fault);
    return !fault;
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

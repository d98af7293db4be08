#include "support/fake_window.h"

FakeDestinationGrid::FakeDestinationGrid(QStringList *events)
    : m_events(events), m_texts(kGridRowCount * kDestinationColumnCount),
      m_colours(kGridRowCount * kDestinationColumnCount, kStandardTextColour)
{
}

void FakeDestinationGrid::setRow(int row, const QStringList &cells)
{
    for (int column = 0; column < cells.size() && column < kDestinationColumnCount; ++column)
        setText(row, column, cells.at(column));
}

void FakeDestinationGrid::stagePendingEdit(const QString &text)
{
    m_pending = true;
    m_pendingText = text;
}

QString FakeDestinationGrid::text(int row, int column) const
{
    return m_texts.value(index(row, column));
}

void FakeDestinationGrid::setText(int row, int column, const QString &text)
{
    m_texts[index(row, column)] = text;
}

void FakeDestinationGrid::setCurrentCellTextColour(CellColour colour)
{
    m_colours[index(m_row, m_column)] = colour;
    m_events->append(QStringLiteral("colour %1 %2 %3").arg(m_row).arg(m_column).arg(colour));
}

CellColour FakeDestinationGrid::textColour(int row, int column) const
{
    return m_colours.value(index(row, column));
}

void FakeDestinationGrid::moveTo(int row, int column)
{
    if (row == m_row && column == m_column)
        return;
    m_events->append(QStringLiteral("leave %1 %2").arg(m_row).arg(m_column));
    if (m_pending) {
        // The real window drops a refused text when it reopens its editor over the next cell.
        m_pending = false;
        const bool taken = m_commitHook ? m_commitHook(m_row, m_column, m_pendingText) : true;
        if (taken && !m_commitHook)
            setText(m_row, m_column, m_pendingText);
        if (taken)
            m_events->append(
                QStringLiteral("commit %1 %2 %3").arg(m_row).arg(m_column).arg(m_pendingText));
    }
    m_row = row;
    m_column = column;
    m_events->append(QStringLiteral("enter %1 %2").arg(m_row).arg(m_column));
}

FakeTransferWindow::FakeTransferWindow() : m_grid(&events), m_fileRows(kGridRowCount) {}

void FakeTransferWindow::setFiles(const QStringList &paths)
{
    for (int i = 0; i < paths.size(); ++i)
        m_fileRows[kFirstDataRow + i] = paths.at(i);
}

void FakeTransferWindow::setStatusText(const QString &text)
{
    statusText = text;
    events.append(QStringLiteral("status ") + text);
}

void FakeTransferWindow::showMessage(const QString &text, const QString &title)
{
    messages.append({text, title});
    events.append(QStringLiteral("message ") + title + QLatin1Char('|') + text);
}

void FakeTransferWindow::destinationStarted(const QString &host, int index, int total)
{
    events.append(QStringLiteral("started %1 %2/%3").arg(host).arg(index).arg(total));
    if (onDestinationStarted)
        onDestinationStarted(host);
}

#include "support/fake_window.h"

FakeDestinationGrid::FakeDestinationGrid(QStringList *events)
    : m_events(events), m_texts(kGridRowCount * kDestinationColumnCount),
      m_colours(kGridRowCount * kDestinationColumnCount, kStandardTextColour)
{
}

void FakeDestinationGrid::setRow(int row, const QStringList &cells)
{
    for (int column = 0; column < cells.size(); ++column)
        setText(row, column, cells.at(column));
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
    if (hasPendingEdit()) {
        setText(m_row, m_column, m_pendingText);
        m_events->append(
            QStringLiteral("commit %1 %2 %3").arg(m_row).arg(m_column).arg(m_pendingText));
        m_pendingText = QString();
    }
    m_row = row;
    m_column = column;
    m_events->append(QStringLiteral("enter %1 %2").arg(m_row).arg(m_column));
}

void FakeTransferWindow::setFiles(const QStringList &paths)
{
    for (int i = 0; i < paths.size(); ++i)
        m_fileRows[kFirstDataRow + i] = paths.at(i);
}

#include "support/fake_window.h"

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

#pragma once

#include "interfaces/destination_grid.h"

#include <QList>
#include <QString>

/// A Destination table in memory that keeps its cells and nothing else: moves raise no
/// notifications. It stands in for the window's table where there is no window (a command line)
/// and where the commands walking all of its rows are timed or fuzzed alone.
class PlainDestinationGrid final : public DestinationGrid
{
public:
    int rowCount() const override { return kGridRowCount; }
    QString text(int row, int column) const override { return m_texts[index(row, column)]; }
    void setText(int row, int column, const QString &text) override
    {
        m_texts[index(row, column)] = text;
    }
    void clearEntries() override;
    int currentRow() const override { return m_row; }
    int currentColumn() const override { return m_column; }
    void setCurrentRow(int row) override { m_row = row; }
    void setCurrentColumn(int column) override { m_column = column; }
    void setCurrentCellTextColour(CellColour colour) override
    {
        m_colours[index(m_row, m_column)] = colour;
    }
    CellColour textColour(int row, int column) const override
    {
        return m_colours[index(row, column)];
    }

private:
    static int index(int row, int column) { return row * kDestinationColumnCount + column; }
    QList<QString> m_texts = QList<QString>(kGridRowCount * kDestinationColumnCount);
    QList<CellColour> m_colours =
        QList<CellColour>(kGridRowCount * kDestinationColumnCount, kStandardTextColour);
    int m_row = kFirstDataRow;
    int m_column = 0;
};

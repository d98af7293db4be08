#pragma once

#include "interfaces/destination_grid.h"

#include <QRect>
#include <QString>
#include <QTableView>
#include <QVector>

class GridModel;

/// A grid of text cells with one fixed heading row and a current cell, in the manner of a flex
/// grid: row 0 is the heading row (shown as the view's header), rows 1 and on hold the entries.
/// Every change of the current cell, by mouse, keyboard or code, raises cellLeaving() while the old
/// cell is still current, then cellEntered() once the new one is.
class GridControl final : public QTableView, public DestinationGrid
{
    Q_OBJECT
public:
    GridControl(int rowCount, int columnCount, QWidget *parent = nullptr);
    ~GridControl() override;

    /// Sets the headings from a format text: "|"-separated headings, each optionally led by
    /// "<" (left), "^" (centre) or ">" (right); each column becomes as wide as its heading text,
    /// trailing blanks included, in the grid font. The last column also takes whatever room a
    /// grown view has to the right of the others.
    void setFormatString(const QString &format);

    /// Number of columns.
    int columnCount() const;

    int rowCount() const override;
    QString text(int row, int column) const override;
    void setText(int row, int column, const QString &text) override;
    void clearEntries() override;
    int currentRow() const override { return m_row; }
    int currentColumn() const override { return m_column; }
    void setCurrentRow(int row) override;
    void setCurrentColumn(int column) override;
    void setCurrentCellTextColour(CellColour colour) override;
    CellColour textColour(int row, int column) const override;

    /// Moves the current cell to (row, column) in one move: one leave, one enter.
    void setCurrentCell(int row, int column);

    /// The visible part of the current cell in the coordinates of `relativeTo` (an ancestor of the
    /// grid), after scrolling it into view; on the heading row, the heading of the current column.
    /// Whatever is laid over it there covers no other cell.
    QRect currentCellRect(const QWidget *relativeTo);

    /// Shows each entry's whole text as its cell's tool tip (for entries wider than their column).
    void setEntryToolTips(bool shown);

    /// Scrolls so that `row` is the first visible entry row.
    void setTopRow(int row);
    /// The first entry row that is visible.
    int topRow();

    /// Brings the view (its current index and scrolling) up to the current cell now, instead of
    /// when the event loop next turns.
    void syncView();

Q_SIGNALS:
    /// The current cell is about to change; currentRow()/currentColumn() still name the old cell.
    void cellLeaving();
    /// A cell has just become current.
    void cellEntered();
    /// The user clicked a cell (after any move that the click made).
    void cellClicked();
    /// The user double-clicked a cell.
    void cellDoubleClicked();
    /// The visible part of the grid moved.
    void scrolled();
    /// The cells moved or changed size on the screen (a scroll of any kind, a column or a row
    /// resized, the grid moved or resized): whatever lies over a cell must follow.
    void cellGeometryChanged();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void fitLastColumn();
    void moveTo(int row, int column);
    void bringCurrentIntoView();
    void onScrollBarMoved();

    GridModel *m_model;
    int m_row = 1;
    int m_column = 0;
    bool m_syncingView = false; // our own call of setCurrentIndex: not a user move
    bool m_moving = false;      // scrolling that a move makes is part of the move
    bool m_resizing = false;    // scrolling that a new size forces is no one's scroll
    bool m_viewSyncPending = false;
    int m_lastColumnWidth = 0; // as the format text made it; 0 before one was set
};

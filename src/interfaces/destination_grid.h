#pragma once

#include <QString>
#include <QtGlobal>

/// A text colour as the window stores it: 0x00BBGGRR, red in the low byte.
using CellColour = quint32;

inline constexpr CellColour kStandardTextColour = 0;          // the grid's own text colour
inline constexpr CellColour kFaultColour = 255;               // a cell that failed a request check
inline constexpr CellColour kHiddenPasswordColour = 0xFFFFFF; // white on the white cell background

/// Rows of both grids: row 0 holds the headings, rows 1 to 4,999 the entries.
inline constexpr int kGridRowCount = 5000;
inline constexpr int kFirstDataRow = 1;
inline constexpr int kLastDataRow = kGridRowCount - 1;

/// Columns of the Destination table.
enum DestinationColumn : int
{
    kSecureShellColumn = 0,
    kHostColumn = 1,
    kRemoteDirectoryColumn = 2,
    kUserIdColumn = 3,
    kPasswordColumn = 4,
    kDestinationColumnCount = 5
};

/// The Destination table as the core sees it: text cells, one current cell and a text colour per
/// cell. Every change of the current cell, by the user or through setCurrentRow/setCurrentColumn,
/// first raises cell-about-to-be-left (old cell still current), then cell-entered; the window's
/// reactions to them (commit of a pending edit, opening the editor) run inside these calls.
class DestinationGrid
{
public:
    virtual ~DestinationGrid() = default;

    /// Number of rows, heading row included.
    virtual int rowCount() const = 0;
    /// Text of one cell.
    virtual QString text(int row, int column) const = 0;
    /// Replaces the text of one cell without moving the current cell.
    virtual void setText(int row, int column, const QString &text) = 0;
    /// Empties every cell below the heading row and gives it the standard text colour; the
    /// headings and the current cell stay.
    virtual void clearEntries() = 0;
    /// The current cell.
    virtual int currentRow() const = 0;
    virtual int currentColumn() const = 0;
    /// Moves the current cell; a move that changes it raises leave, then enter.
    virtual void setCurrentRow(int row) = 0;
    virtual void setCurrentColumn(int column) = 0;
    /// Text colour of the current cell, and of any cell.
    virtual void setCurrentCellTextColour(CellColour colour) = 0;
    virtual CellColour textColour(int row, int column) const = 0;
};

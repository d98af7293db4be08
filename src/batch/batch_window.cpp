#include "batch/batch_window.h"

BatchWindow::BatchWindow(std::function<void(const QString &)> lines) : m_lines(std::move(lines)) {}

void BatchWindow::setFiles(const QStringList &paths)
{
    m_files = paths.mid(0, kLastDataRow);
}

void BatchWindow::flushMessage()
{
    if (m_waiting)
        m_lines(m_waitingTitle + QStringLiteral(": ") + *std::exchange(m_waiting, std::nullopt));
}

void BatchWindow::showMessage(const QString &text, const QString &title)
{
    flushMessage();
    m_waiting = text;
    m_waitingTitle = title;
}

void BatchWindow::cellMarked(int row, int column)
{
    if (m_waiting)
        m_lines(QStringLiteral("row %1, %2: ").arg(row).arg(columnHeading(column)) +
                *std::exchange(m_waiting, std::nullopt));
}

void BatchWindow::MarkingGrid::setCurrentCellTextColour(CellColour colour)
{
    m_cells.setCurrentCellTextColour(colour);
    if (colour == kFaultColour)
        m_window.cellMarked(m_cells.currentRow(), m_cells.currentColumn());
}

QString columnHeading(int column)
{
    switch (column) {
    case kSecureShellColumn:
        return QStringLiteral("Secure Shell");
    case kHostColumn:
        return QStringLiteral("IP Address/URL");
    case kRemoteDirectoryColumn:
        return QStringLiteral("Remote Directory");
    case kUserIdColumn:
        return QStringLiteral("User Id");
    default:
        break;
    }
    return QStringLiteral("Password");
}

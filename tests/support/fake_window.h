#pragma once

#include "transfer/destination_grid.h"
#include "transfer/transfer_window.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

/// An in-memory Destination table that records its notifications into a shared event list, in
/// the words "leave R C", "enter R C", "colour R C VALUE", "commit R C TEXT".
class FakeDestinationGrid final : public DestinationGrid
{
public:
    /// Decides the commit of a pending edit into (row, column); true when the text was taken.
    using CommitHook = std::function<bool(int row, int column, const QString &text)>;

    explicit FakeDestinationGrid(QStringList *events);

    /// Fills one row: Secure Shell, host, remote directory, user id, password.
    void setRow(int row, const QStringList &cells);
    /// Puts text in the in-place editor over the current cell; the next move commits it.
    void stagePendingEdit(const QString &text);
    bool hasPendingEdit() const { return m_pending; }
    /// Replaces the plain commit: the hook writes the cell itself and says whether it took the
    /// text.
    void setCommitHook(CommitHook hook) { m_commitHook = std::move(hook); }

    int rowCount() const override { return kGridRowCount; }
    QString text(int row, int column) const override;
    void setText(int row, int column, const QString &text) override;
    int currentRow() const override { return m_row; }
    int currentColumn() const override { return m_column; }
    void setCurrentRow(int row) override { moveTo(row, m_column); }
    void setCurrentColumn(int column) override { moveTo(m_row, column); }
    void setCurrentCellTextColour(CellColour colour) override;
    CellColour textColour(int row, int column) const override;

private:
    void moveTo(int row, int column);
    static int index(int row, int column) { return row * kDestinationColumnCount + column; }

    QStringList *m_events;
    QList<QString> m_texts;
    QList<CellColour> m_colours;
    int m_row = kFirstDataRow;
    int m_column = 0;
    bool m_pending = false;
    QString m_pendingText;
    CommitHook m_commitHook;
};

/// An in-memory main window: File list, working directory, status line and message boxes,
/// recorded as "status TEXT", "message TITLE|TEXT", "started HOST I/N" and "finished" events.
class FakeTransferWindow final : public TransferWindow
{
public:
    FakeTransferWindow();

    /// Puts the paths into File list rows 1 onwards.
    void setFiles(const QStringList &paths);
    void setFileRow(int row, const QString &text) { m_fileRows[row] = text; }
    void setWorkingDirectory(const QString &text) { m_workingDirectory = text; }
    FakeDestinationGrid &grid() { return m_grid; }

    /// Everything the window was told, in order.
    QStringList events;
    /// Message boxes as (text, title), in order.
    QList<QPair<QString, QString>> messages;
    QString statusText;
    /// Runs inside destinationStarted, e.g. to press Cancel while the client runs.
    std::function<void(const QString &host)> onDestinationStarted;

    DestinationGrid &destinationGrid() override { return m_grid; }
    QString fileListText(int row) const override { return m_fileRows.value(row); }
    QString workingDirectoryText() const override { return m_workingDirectory; }
    void setStatusText(const QString &text) override;
    void showMessage(const QString &text, const QString &title) override;
    void destinationStarted(const QString &host, int index, int total) override;
    void destinationFinished() override { events.append(QStringLiteral("finished")); }

private:
    FakeDestinationGrid m_grid;
    QStringList m_fileRows;
    QString m_workingDirectory;
};

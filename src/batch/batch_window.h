#pragma once

#include "interfaces/profile_window.h"
#include "interfaces/transfer_window.h"
#include "transfer/plain_destination_grid.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

/// The window a command line plays for the request's checks and the profile reader: the
/// Destination table and the File list in memory, and every message as one line of text. A
/// message that a check follows by marking a cell red names that cell ("row R, COLUMN: text");
/// any other is "TITLE: text".
class BatchWindow final : public TransferWindow, public ProfileWindow
{
public:
    /// `lines` receives each message's line; until flushMessage(), the latest message waits for
    /// the mark that may follow it.
    explicit BatchWindow(std::function<void(const QString &)> lines);

    void setFiles(const QStringList &paths);
    void setWorkingDirectory(const QString &text) { m_workingDirectory = text; }
    void setSimultaneousTransfers(int count) { m_simultaneous = count; }
    /// Passes a waiting message on as it stands.
    void flushMessage();

    DestinationGrid &destinationGrid() override { return m_grid; }
    QString fileListText(int row) const override { return m_files.value(row - kFirstDataRow); }
    QString workingDirectoryText() const override { return m_workingDirectory; }
    int simultaneousTransfers() const override { return m_simultaneous; }
    void setStatusText(const QString &text) override { Q_UNUSED(text) }
    void showMessage(const QString &text, const QString &title) override;

    QString profileName() const override { return m_profileName; }
    void setProfileName(const QString &name) override { m_profileName = name; }
    void addProfileName(const QString &name) override { Q_UNUSED(name) }
    void commitPendingEdit() override {}
    void setGridBusy(bool busy) override { Q_UNUSED(busy) }
    void hideEditor() override {}

private:
    /// The table in memory, telling the window when a cell turns red.
    class MarkingGrid final : public DestinationGrid
    {
    public:
        explicit MarkingGrid(BatchWindow &window) : m_window(window) {}
        int rowCount() const override { return m_cells.rowCount(); }
        QString text(int row, int column) const override { return m_cells.text(row, column); }
        void setText(int row, int column, const QString &text) override
        {
            m_cells.setText(row, column, text);
        }
        void clearEntries() override { m_cells.clearEntries(); }
        int currentRow() const override { return m_cells.currentRow(); }
        int currentColumn() const override { return m_cells.currentColumn(); }
        void setCurrentRow(int row) override { m_cells.setCurrentRow(row); }
        void setCurrentColumn(int column) override { m_cells.setCurrentColumn(column); }
        void setCurrentCellTextColour(CellColour colour) override;
        CellColour textColour(int row, int column) const override
        {
            return m_cells.textColour(row, column);
        }

    private:
        BatchWindow &m_window;
        PlainDestinationGrid m_cells;
    };

    void cellMarked(int row, int column);

    std::function<void(const QString &)> m_lines;
    MarkingGrid m_grid{*this};
    QStringList m_files;
    QString m_workingDirectory;
    QString m_profileName;
    int m_simultaneous = kMinSimultaneous;
    std::optional<QString> m_waiting; // the latest message's text, its title in m_waitingTitle
    QString m_waitingTitle;
};

/// The heading words of a Destination table column, as a message about one of its cells names it.
QString columnHeading(int column);

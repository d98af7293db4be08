#pragma once

#include "interfaces/connection_test_window.h"
#include "interfaces/destination_grid.h"
#include "interfaces/profile_window.h"
#include "interfaces/run_results.h"
#include "transfer/plain_destination_grid.h"
#include "transfer/request_checks.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class RunSession;

/// One Destination table row as tests key it.
struct DestinationRow
{
    int row = 0;
    QString secure;
    QString host;
    QString directory;
    QString user;
    QString password;
};
using DestinationRows = QList<DestinationRow>;
Q_DECLARE_METATYPE(DestinationRow)
Q_DECLARE_METATYPE(DestinationRows)

/// One message box as the window was asked to show it.
struct Message
{
    QString title;
    QString text;
    bool operator==(const Message &other) const = default;
};
using Messages = QList<Message>;
Q_DECLARE_METATYPE(Messages)

/// For QCOMPARE's report of a difference.
char *toString(const Message &message);

/// An in-memory Destination table whose moves commit a pending edit, as the window's do.
class FakeDestinationGrid final : public DestinationGrid
{
public:
    FakeDestinationGrid();

    void setRow(const DestinationRow &row);
    /// Puts text in the in-place editor over the current cell; the next move commits it.
    void stagePendingEdit(const QString &text) { m_pendingText = text; }
    void commitPendingEdit();
    void dropPendingEdit() { m_pendingText = QString(); }
    /// While set, moves commit nothing (the window's grid-busy flag).
    bool busy = false;

    int rowCount() const override { return kGridRowCount; }
    QString text(int row, int column) const override { return m_texts.value(index(row, column)); }
    void setText(int row, int column, const QString &text) override
    {
        m_texts[index(row, column)] = text;
    }
    void clearEntries() override;
    int currentRow() const override { return m_row; }
    int currentColumn() const override { return m_column; }
    void setCurrentRow(int row) override { moveTo(row, m_column); }
    void setCurrentColumn(int column) override { moveTo(m_row, column); }
    void setCurrentCellTextColour(CellColour colour) override
    {
        m_colours[index(m_row, m_column)] = colour;
    }
    CellColour textColour(int row, int column) const override
    {
        return m_colours.value(index(row, column));
    }

private:
    void moveTo(int row, int column);
    static int index(int row, int column) { return row * kDestinationColumnCount + column; }

    QList<QString> m_texts;
    QList<CellColour> m_colours;
    int m_row = kFirstDataRow, m_column = 0;
    QString m_pendingText; // null when no edit is pending
};

/// An in-memory main window, for the run session, the connection test and the profile commands:
/// it presents what they say as the window does, recording it instead of showing it.
class FakeWindow final : public ConnectionTestWindow, public ProfileWindow, public CheckFindings
{
public:
    FakeDestinationGrid &grid() { return m_grid; }

    /// Follows the runs of `session` as the window does: status line, faults, the hook below.
    void follow(RunSession &session);
    /// Process Request as the window does it, with `form`; true when a run started.
    bool processRequest(RunSession &session);
    /// Presents faults as the window does: a message each, a cell marked red.
    void present(const Faults &faults);
    void present(const std::optional<Fault> &fault);

    RequestForm form; // the File list, the working directory, the number at once
    Messages messages;
    QString statusText;
    /// Called when a destination starts, after its files are written and before its client runs.
    std::function<void(const QString &host, int logNumber)> onDestinationStarted;
    QString name;      // the profile drop-down's text
    QStringList names; // the profile drop-down's list

    DestinationGrid &destinationGrid() override { return m_grid; }
    QString workingDirectoryText() const override { return form.workingDirectory; }
    void setStatusText(const QString &text) override { statusText = text; }
    void commitPendingEdit() override { m_grid.commitPendingEdit(); }
    QString profileName() const override { return name; }
    void setProfileName(const QString &text) override { name = text; }
    void addProfileName(const QString &text) override { names.append(text); }
    void setGridBusy(bool busy) override { m_grid.busy = busy; }
    void hideEditor() override { m_grid.dropPendingEdit(); }
    void faultFound(const Fault &fault) override;
    void rowPassed(int row) override;

private:
    FakeDestinationGrid m_grid;
};

/// Turns the event loop until the session's run has finished.
void waitForRunEnd(const RunSession &session);

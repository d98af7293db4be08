#pragma once

#include "platform/grid_control.h"
#include "platform/launcher.h"
#include "ui/ftp_information.h"

#include <QLineEdit>
#include <QPair>
#include <QStringList>
#include <QTest>

#include <functional>

using Message = QPair<QString, QString>; // text, title

/// A launcher that runs nothing: it records each batch file it was given and may act meanwhile.
class RecordingLauncher final : public Launcher
{
public:
    ProcessOutcome runBatch(const QString &, const QString &batchFile, const QString &) override
    {
        batches.append(batchFile);
        if (whileRunning)
            whileRunning();
        ProcessOutcome outcome;
        outcome.started = true;
        outcome.cancelled = cancelled;
        outcome.exitStatus = cancelled ? 143 : 0;
        return outcome;
    }
    void cancel() override { cancelled = true; }

    QStringList batches;
    std::function<void()> whileRunning;
    bool cancelled = false;
};

/// The real main window, shown on the offscreen platform, with its messages recorded.
struct WindowFixture
{
    WindowFixture() : window(&launcher)
    {
        window.setMessageSink([this](const QString &text, const QString &title) {
            messages.append({text, title});
        });
        window.setProgramEnder([this] { ++programEnds; });
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qFatal("the main window was never shown");
    }

    GridControl &grid() { return *window.frmFTPTo; }
    QLineEdit &editor() { return *window.frmInputBox; }
    /// The editor is open, and shown as such once the event loop has turned.
    bool editing()
    {
        const bool open = window.editorOpen();
        QCoreApplication::processEvents();
        return open && !window.frmInputBox->isHidden();
    }

    /// Clicks a Destination table cell with the mouse.
    void click(int row, int column, bool twice = false)
    {
        grid().scrollTo(grid().model()->index(row - 1, column));
        const QPoint centre = grid().visualRect(grid().model()->index(row - 1, column)).center();
        QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, centre);
        if (twice)
            QTest::mouseDClick(grid().viewport(), Qt::LeftButton, {}, centre);
    }

    /// Opens the editor on a cell and types `text` over its contents.
    void type(int row, int column, const QString &text)
    {
        click(row, column);
        editor().selectAll();
        QTest::keyClicks(&editor(), text);
    }

    RecordingLauncher launcher;
    FTP_Information window;
    QList<Message> messages;
    int programEnds = 0;
};

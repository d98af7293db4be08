#pragma once

#include "connection_test/connection_test.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "support/fake_launcher.h"
#include "support/fake_window.h"
#include "transfer/run_session.h"
#include "ui/controls/grid_control.h"
#include "ui/ftp_information.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

/// The real main window over a launcher that starts nothing, ready to send /etc/hostname, with
/// its messages recorded instead of shown and the ending of the program counted instead of done.
struct WindowFixture final
{
    WindowFixture()
    {
        window.setMessageSink([this](const QString &text, const QString &title) {
            messages.append({title, text});
        });
        window.setProgramEnder([this] { ++programEnds; });
        window.setSimultaneousTransfers(1); // whatever an earlier test chose for the user
        window.setTransferSettings({});
        window.frmWorkingDirectory->setText(work.path());
        window.frmFileList->setText(1, 0, QStringLiteral("/etc/hostname"));
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qFatal("the main window was never shown");
    }
    ~WindowFixture() { QDir::setCurrent(startDirectory); }
    GridControl &grid() { return *window.frmFTPTo; }
    QLineEdit &editor() { return *window.frmInputBox; }
    void click(int row, int column) { click(grid(), row, column); }
    void click(GridControl &table, int row, int column)
    {
        const QModelIndex cell = table.model()->index(row - 1, column);
        table.scrollTo(cell);
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, table.visualRect(cell).center());
    }
    /// As the window system delivers it: press, release, press, double-click, release.
    void doubleClick(int row, int column)
    {
        const QModelIndex cell = grid().model()->index(row - 1, column);
        grid().scrollTo(cell);
        const QPoint at = grid().viewport()->mapTo(&window, grid().visualRect(cell).center());
        QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, at);
    }
    void type(int row, int column, const QString &text)
    {
        click(row, column);
        editor().clear();
        QTest::keyClicks(&editor(), text);
    }
    void fill(int row, const QStringList &cells) // from column 0 on
    {
        for (int column = 0; column < cells.size(); ++column)
            grid().setText(row, column, cells[column]);
    }
    /// Process Request as a user presses it, and the run's end awaited.
    void process()
    {
        window.cmdProcess_Click();
        waitForRunEnd(session);
    }
    void goElsewhere() { QVERIFY(QDir::setCurrent(elsewhere.path())); } // until the test ends
    void addHosts(int count) // plain FTP rows 1 to count, to host1, host2, ...
    {
        for (int row = 1; row <= count; ++row)
            fill(row, QStringLiteral("N|host%1||u|p").arg(row).split(u'|'));
    }

    QTemporaryDir work;
    QTemporaryDir elsewhere;
    const QString startDirectory = QDir::currentPath();
    int programEnds = 0;
    Messages messages;
    FakeLauncher launcher;
    ProfileStore store{work.path()};
    ProfileCommands profiles{store};
    FakeConsoleStarter consoles;
    RunSession session{launcher};
    ConnectionTest connectionTest{consoles};
    FTP_Information window{session, connectionTest, profiles};
};

/// Something done to the window in a row of a data table.
using Action = void (*)(WindowFixture &);
Q_DECLARE_METATYPE(Action)

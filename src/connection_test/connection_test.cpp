#include "connection_test/connection_test.h"

#include "interfaces/connection_test_window.h"
#include "platform/console.h"
#include "platform/paths.h"
#include "transfer/transfer_scripts.h"
#include "transfer/value_checks.h"
#include "transfer/working_directory_hold.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kProcessErrorTitle = QStringLiteral("Process Error");
const QString kNoRowText =
    QStringLiteral("Please click on a valid row, then Press 'Test Connection'");
const QString kBadDirectoryText = QStringLiteral("Invalid working directory");
const QString kNoTerminalText = QStringLiteral(
    "No terminal program was found to open the console - set TERMINAL or install xterm");

} // namespace

ConnectionTest::ConnectionTest(ConsoleStarter &consoles) : m_consoles(consoles) {}

void ConnectionTest::testCurrentRow(ConnectionTestWindow &window)
{
    const int row = checkedRow(window);
    if (row == 0)
        return;
    DestinationGrid &grid = window.destinationGrid();
    const QString directory =
        QDir::cleanPath(QFileInfo(window.workingDirectoryText()).absoluteFilePath());
    WorkingDirectoryHold hold(directory);
    QString text;
    QString title;
    const JobFileNames names;
    if (!hold.take(names.all(), &text, &title)) {
        window.showMessage(text, title);
        return;
    }
    QDir::setCurrent(directory);

    const QString secureFlag = grid.text(row, kSecureShellColumn);
    const QString host = grid.text(row, kHostColumn);
    const QString userId = grid.text(row, kUserIdColumn);
    const QString password = grid.text(row, kPasswordColumn);
    window.setStatusText(QStringLiteral("Testing: ") + host);
    JobFiles files;
    files.launcher = launcherLines(secureFlag, host, userId, names);
    files.secure = secureFlag == QLatin1String("Y");
    files.password = passwordFileLines(password);
    files.script = testScriptLines(secureFlag, userId, password);
    QString error;
    const bool written = writeJobFiles(directory, names, files, &error);

    // The console is given the exact name written: a look-up that ignores letter case could find
    // another user's file of a similar name first.
    const ConsoleOutcome console =
        written ? m_consoles.start(directory, workingDirFile(directory, names.launcher))
                : ConsoleOutcome{false, false, {}};
    if (console.started)
        return;
    // Nobody will read them now, and they hold the password.
    removeJobFiles(directory, names);
    if (!written)
        window.showMessage(kBadDirectoryText, QStringLiteral("No Files"));
    else if (console.noTerminal)
        window.showMessage(kNoTerminalText, QStringLiteral("System Error"));
    else
        window.showMessage(console.error, QStringLiteral("System Error"));
}

int ConnectionTest::checkedRow(ConnectionTestWindow &window)
{
    DestinationGrid &grid = window.destinationGrid();
    if (grid.currentRow() == 0) {
        window.showMessage(kNoRowText, kProcessErrorTitle);
        return 0;
    }
    window.commitPendingEdit();
    const int row = grid.currentRow();
    // A row without a host has nothing to test: a console would only report a missing file.
    if (grid.text(row, kHostColumn).isEmpty()) {
        window.showMessage(kNoRowText, kProcessErrorTitle);
        return 0;
    }
    const QFileInfo directoryInfo(window.workingDirectoryText());
    if (window.workingDirectoryText().isEmpty() || !directoryInfo.isDir() ||
        !directoryInfo.isWritable()) {
        window.showMessage(kBadDirectoryText, QStringLiteral("No Files"));
        return 0;
    }
    // The same values are refused as for a transfer: the console runs the same command lines.
    const bool plain =
        checkValuesArePlain(grid, row, [&window, &grid](int column, const QString &text) {
            window.showMessage(text, QStringLiteral("Error Message"));
            grid.setCurrentColumn(column);
            grid.setCurrentCellTextColour(kFaultColour);
        });
    return plain ? row : 0;
}

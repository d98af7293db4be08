#include "connection_test/connection_test.h"

#include "interfaces/connection_test_window.h"
#include "platform/console.h"
#include "platform/paths.h"
#include "platform/text_file.h"
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

ConnectionTest::ConnectionTest(ConnectionTestWindow &window, ConsoleStarter &consoles)
    : m_window(window), m_consoles(consoles)
{
}

void ConnectionTest::cmdTest_Click()
{
    DestinationGrid &grid = m_window.destinationGrid();
    if (grid.currentRow() == 0) {
        m_window.showMessage(kNoRowText, kProcessErrorTitle);
        return;
    }
    m_window.commitPendingEdit();
    const int row = grid.currentRow();
    // A row without a host has nothing to test: a console would only report a missing file.
    if (grid.text(row, kHostColumn).isEmpty()) {
        m_window.showMessage(kNoRowText, kProcessErrorTitle);
        return;
    }
    const QFileInfo directoryInfo(m_window.workingDirectoryText());
    if (m_window.workingDirectoryText().isEmpty() || !directoryInfo.isDir() ||
        !directoryInfo.isWritable()) {
        m_window.showMessage(kBadDirectoryText, QStringLiteral("No Files"));
        return;
    }
    // The same values are refused as for a transfer: the console runs the same command lines.
    const bool plain =
        checkValuesArePlain(grid, row, [this, &grid](int column, const QString &text) {
            m_window.showMessage(text, QStringLiteral("Error Message"));
            grid.setCurrentColumn(column);
            grid.setCurrentCellTextColour(kFaultColour);
        });
    if (!plain)
        return;

    const QString directory = QDir::cleanPath(directoryInfo.absoluteFilePath());
    WorkingDirectoryHold hold(directory);
    QString text;
    QString title;
    if (!hold.take({kLauncherFileName, kScriptFileName, kPasswordFileName}, &text, &title)) {
        m_window.showMessage(text, title);
        return;
    }
    QDir::setCurrent(directory);
    const QString launcherPath = workingDirFile(directory, kLauncherFileName);
    const QString scriptPath = workingDirFile(directory, kScriptFileName);
    const QString passwordPath = workingDirFile(directory, kPasswordFileName);

    const QString secureFlag = grid.text(row, kSecureShellColumn);
    const QString host = grid.text(row, kHostColumn);
    const QString userId = grid.text(row, kUserIdColumn);
    const QString password = grid.text(row, kPasswordColumn);
    m_window.setStatusText(QStringLiteral("Testing: ") + host);
    const bool secure = secureFlag == QLatin1String("Y");
    const bool written =
        writeTextLines(launcherPath, launcherLines(secureFlag, host, userId, password),
                       FileAccess::OwnerOnly) &&
        (!secure ||
         writeTextLines(passwordPath, passwordFileLines(password), FileAccess::OwnerOnly)) &&
        writeTextLines(scriptPath, testScriptLines(secureFlag, userId, password),
                       FileAccess::OwnerOnly);

    // The console gets the very name written: in a shared directory a case variant of it could be
    // another user's file.
    const ConsoleOutcome console =
        written ? m_consoles.start(directory, launcherPath) : ConsoleOutcome{false, false, {}};
    if (console.started)
        return;
    // Nobody will read them now, and they hold the password.
    for (const QString &path : {launcherPath, scriptPath, passwordPath})
        QFile::remove(path);
    if (!written)
        m_window.showMessage(kBadDirectoryText, QStringLiteral("No Files"));
    else if (console.noTerminal)
        m_window.showMessage(kNoTerminalText, QStringLiteral("System Error"));
    else
        m_window.showMessage(console.error, QStringLiteral("System Error"));
}

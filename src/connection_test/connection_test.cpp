#include "connection_test/connection_test.h"

#include "interfaces/connection_test_window.h"
#include "platform/console.h"
#include "platform/own_files.h"
#include "platform/paths.h"
#include "transfer/settings_checks.h"
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
const QString kNoFilesTitle = QStringLiteral("No Files");
const QString kSystemErrorTitle = QStringLiteral("System Error");
const QString kNoTerminalText = QStringLiteral(
    "No terminal program was found to open the console - set TERMINAL or install xterm");

} // namespace

ConnectionTest::ConnectionTest(ConsoleStarter &consoles) : m_consoles(consoles) {}

Faults ConnectionTest::testCurrentRow(ConnectionTestWindow &window,
                                      const TransferSettings &settings)
{
    if (Faults faults = checkRow(window); !faults.isEmpty())
        return faults;
    TransferSettings checked = settings;
    std::optional<KnownHosts> hostKeys;
    if (std::optional<Fault> fault = checkSettings(&checked, &hostKeys))
        return {*fault};
    DestinationGrid &grid = window.destinationGrid();
    const int row = grid.currentRow();
    const QString directory =
        QDir::cleanPath(QFileInfo(window.workingDirectoryText()).absoluteFilePath());
    WorkingDirectoryHold hold(directory);
    const JobFileNames names;
    if (std::optional<Fault> fault = hold.take(names.all()))
        return {*fault};
    QDir::setCurrent(directory);

    const QString secureFlag = grid.text(row, kSecureShellColumn);
    const QString host = grid.text(row, kHostColumn);
    const QString userId = grid.text(row, kUserIdColumn);
    const QString password = grid.text(row, kPasswordColumn);
    window.setStatusText(QStringLiteral("Testing: ") + host);
    JobFiles files;
    files.secure = secureFlag == QLatin1String("Y");
    const LauncherSwitches switches{.ftpTls = checked.ftpTls,
                                    .caFile = checked.caFile,
                                    .hostKeys =
                                        files.secure ? hostKeysFor(hostKeys, host) : QStringList()};
    files.launcher = launcherLines(secureFlag, host, userId, names, switches);
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
        return {};
    // Nobody will read them now, and they hold the password.
    removeJobFiles(directory, names);
    if (!written)
        return {{kNoFilesTitle, kBadDirectoryText, FaultSubject::WorkingDirectory}};
    return {{kSystemErrorTitle, console.noTerminal ? kNoTerminalText : console.error}};
}

Faults ConnectionTest::checkRow(ConnectionTestWindow &window)
{
    DestinationGrid &grid = window.destinationGrid();
    const Fault noRow{kProcessErrorTitle, kNoRowText, FaultSubject::Destinations};
    if (grid.currentRow() == 0)
        return {noRow};
    window.commitPendingEdit();
    const int row = grid.currentRow();
    // A row without a host has nothing to test: a console would only report a missing file.
    if (grid.text(row, kHostColumn).isEmpty())
        return {noRow};
    const QFileInfo directoryInfo(window.workingDirectoryText());
    if (window.workingDirectoryText().isEmpty() || !directoryInfo.isDir() ||
        !directoryInfo.isWritable())
        return {{kNoFilesTitle, kBadDirectoryText, FaultSubject::WorkingDirectory}};
    // The console's client reads the script later still than a run's does.
    if (othersMayChangeDirectory(directoryInfo.absoluteFilePath()))
        return {{kNoFilesTitle,
                 sharedWorkingDirectoryText(QDir::cleanPath(directoryInfo.absoluteFilePath())),
                 FaultSubject::WorkingDirectory}};
    // The same values are refused as for a transfer: the console runs the same command lines.
    Faults faults;
    checkValuesArePlain(grid, row, [&faults, row](int column, const QString &text) {
        faults.append(Fault::cell(QStringLiteral("Error Message"), text, row, column));
    });
    return faults;
}

#pragma once

#include <QString>

/// How an attempt to open a console ended.
struct ConsoleOutcome
{
    bool started = false;
    bool noTerminal = false; // no terminal emulator could be found on this system
    QString error;           // why it did not start; empty when it did
};

/// Opens a terminal window running `parcelwright-cmd /K batchFile` in workingDirectory and returns
/// at once without following it. interpreterPath names the parcelwright-cmd to run (empty: the one
/// beside this executable). The terminal is $TERMINAL, else the system's default, else a common
/// one.
ConsoleOutcome startConsole(const QString &workingDirectory, const QString &batchFile,
                            const QString &interpreterPath = QString());

/// Opens consoles on launcher batch files; the seam between the connection test and the system.
class ConsoleStarter
{
public:
    virtual ~ConsoleStarter() = default;

    /// Opens a console running the batch file in the working directory, not waited for.
    virtual ConsoleOutcome start(const QString &workingDirectory, const QString &batchFile) = 0;
};

/// The real console starter: a terminal emulator running parcelwright-cmd /K.
class TerminalConsoleStarter final : public ConsoleStarter
{
public:
    /// interpreterPath: the parcelwright-cmd executable, normally beside the program's own.
    explicit TerminalConsoleStarter(QString interpreterPath)
        : m_interpreterPath(std::move(interpreterPath))
    {
    }

    ConsoleOutcome start(const QString &workingDirectory, const QString &batchFile) override
    {
        return startConsole(workingDirectory, batchFile, m_interpreterPath);
    }

private:
    QString m_interpreterPath;
};

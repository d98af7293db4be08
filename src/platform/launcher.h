#pragma once

#include "platform/process_runner.h"

/// Starts a launcher batch file and waits for it; the seam between the transfer run and the OS.
class Launcher
{
public:
    virtual ~Launcher() = default;

    /// Runs batchFile with the command interpreter in workingDirectory, both output streams into
    /// logFile (created anew, owner-only) and input from the null device; returns when it ends.
    virtual ProcessOutcome runBatch(const QString &workingDirectory, const QString &batchFile,
                                    const QString &logFile) = 0;

    /// Stops a running batch file and its clients; harmless when none runs.
    virtual void cancel() = 0;
};

/// The real launcher: `parcelwright-cmd /C FILE` through a ProcessRunner.
class CommandInterpreterLauncher final : public Launcher
{
public:
    /// interpreterPath: the parcelwright-cmd executable, normally beside the program's own.
    explicit CommandInterpreterLauncher(QString interpreterPath);

    ProcessOutcome runBatch(const QString &workingDirectory, const QString &batchFile,
                            const QString &logFile) override;
    void cancel() override;

private:
    QString m_interpreterPath;
    ProcessRunner m_runner;
};

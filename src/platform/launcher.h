#pragma once

#include "platform/process_runner.h"

#include <QString>

#include <functional>

/// One launcher batch file to run.
struct LaunchJob
{
    QString workingDirectory; // the client's current directory
    QString batchFile;        // its exact name there
    int logDescriptor = -1;   // the destination's log, created and held open by the run
    int idleLimitSeconds = 0; // stopped after this long without progress (see LaunchRequest)
    // One of many at once: it and its clients run at a lower priority than the program, which
    // must stay free to answer the user however many clients want the processor.
    bool background = false;
};

/// Starts launcher batch files and tells when each has ended; the seam between the transfer run
/// and the OS. Several may run at once.
class Launcher
{
public:
    using Finished = std::function<void(const ProcessOutcome &)>;

    virtual ~Launcher() = default;

    /// Runs the batch file with the command interpreter in its working directory, both output
    /// streams into the log, input from the null device. `finished` is called once, from the event
    /// loop, when it has ended, also when it could not be started.
    virtual void start(const LaunchJob &job, Finished finished) = 0;

    /// Stops every running batch file and its clients; each still reports its end.
    virtual void cancelAll() = 0;
};

/// The real launcher: `parcelwright-cmd /C FILE` through a ProcessRunner.
class CommandInterpreterLauncher final : public Launcher
{
public:
    /// interpreterPath: the parcelwright-cmd executable, normally beside the program's own.
    explicit CommandInterpreterLauncher(QString interpreterPath);

    void start(const LaunchJob &job, Finished finished) override;
    void cancelAll() override;

private:
    QString m_interpreterPath;
    ProcessRunner m_runner;
};

#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

/// How a started program ended, as far as the caller needs to know.
struct ProcessOutcome
{
    bool started = false;   // the program could be started at all
    bool cancelled = false; // stopped by cancel() before it ended by itself
    int exitStatus = -1;    // exit status; 128 + signal number when a signal ended it
    QString error;          // why it could not be started; empty otherwise

    bool succeeded() const { return started && !cancelled && exitStatus == 0; }
};

/// One program to run in a working directory, both output streams into a log, no input.
struct LaunchRequest
{
    QString program;
    QStringList arguments;
    QString workingDirectory;
    QString logPath; // created anew and readable by its owner only
};

/// Runs one program at a time and waits for it while the caller's event loop keeps turning.
class ProcessRunner final : public QObject
{
    Q_OBJECT
public:
    explicit ProcessRunner(QObject *parent = nullptr);
    ~ProcessRunner() override;

    /// Starts the program in its own process group and returns once it has ended; events
    /// (paints, a Cancel click) are handled meanwhile by a local event loop.
    ProcessOutcome run(const LaunchRequest &request);

    /// Stops the running program and everything it started (its whole process group).
    void cancel();

    /// True while run() waits for a program.
    bool isRunning() const;

private:
    struct Private;
    Private *d;
};

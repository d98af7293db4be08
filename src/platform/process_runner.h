#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QTimer;

/// How a started program ended, as far as the caller needs to know.
struct ProcessOutcome
{
    bool started = false;   // the program could be started at all
    bool cancelled = false; // stopped by a cancel before it ended by itself
    int exitStatus = -1;    // exit status; 128 + signal number when a signal ended it
    int signal = 0;         // the signal that ended it, 0 when it exited by itself
    QString error;          // why it could not be started; empty otherwise
    int idleSeconds = 0;    // > 0: stopped after this many seconds without progress

    bool succeeded() const { return started && !cancelled && idleSeconds == 0 && exitStatus == 0; }
};

/// One program to run in a working directory, both output streams into an open file, no input.
struct LaunchRequest
{
    QString program;
    QStringList arguments;
    QString workingDirectory;
    int outputDescriptor = -1; // stays the caller's; the program writes at its current offset
    // With no new output and no byte read or written by any process of its group for this long,
    // the whole group is stopped as a cancel stops it; 0: never.
    int idleLimitSeconds = 0;
    int niceness = 0; // how much lower than the caller's its priority is (and its children's)
};

/// Runs programs side by side, each in a process group of its own, and tells when each has ended.
/// A program ends with the process that runs it, even one killed outright. The caller's event
/// loop must keep turning for the ends to be seen.
class ProcessRunner final : public QObject
{
    Q_OBJECT
public:
    using Finished = std::function<void(const ProcessOutcome &)>;

    explicit ProcessRunner(QObject *parent = nullptr);
    /// Kills whatever still runs: nothing outlives its runner.
    ~ProcessRunner() override;

    /// Starts the program; `finished` is called once, from the event loop, after it and, when it
    /// was cancelled, the rest of its process group have ended (or at once when it could not
    /// start).
    void start(const LaunchRequest &request, Finished finished);

    /// Stops every running program and everything it started (its whole process group): asked to
    /// end first, killed after a grace period.
    void cancelAll();

    /// How many programs run now.
    int runningCount() const;

private:
    struct Job;
    void jobEnded(Job *job);
    void failedToStart(Job *job);
    void reportWhenGroupGone(Job *job);
    void retire(Job *job);
    void stopGroup(Job *job);
    void watchProgress();

    QList<Job *> m_jobs;               // running
    QList<Job *> m_ended;              // ended, to be deleted
    QTimer *m_progressWatch = nullptr; // runs while a job has an idle limit
};

#include "platform/process_runner.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// How long a cancelled program and its clients get to end by themselves before they are killed.
constexpr int kGraceMilliseconds = 2000;
// How often a cancelled group is looked at while its clients outlive the interpreter.
constexpr int kGroupPollMilliseconds = 20;

// True while a member of the group still runs. Orphans that died are zombies until init reaps
// them, and an init that is slow to reap (as in some containers) keeps kill() answering for
// them; where /proc exists it tells the living from the dead.
bool groupIsAlive(pid_t group)
{
    if (group <= 0 || ::kill(-group, 0) != 0)
        return false;
    const QDir proc(QStringLiteral("/proc"));
    if (!proc.exists(QStringLiteral("self/stat")))
        return true;
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        entry.toInt(&numeric);
        if (!numeric)
            continue;
        QFile stat(proc.filePath(entry + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // After the command name in parentheses: state, parent, process group.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields.at(2).toLongLong() == group && fields.at(0) != "Z")
            return true;
    }
    return false;
}

// A program that was started a moment ago may not have made its own group yet: then it alone
// gets the signal.
void signalGroup(pid_t group, int signal)
{
    if (group > 0 && ::kill(-group, signal) != 0)
        ::kill(group, signal);
}

} // namespace

struct ProcessRunner::Job
{
    QProcess process;
    ProcessRunner::Finished finished;
    pid_t group = 0;
    bool cancelled = false;
    QTimer killTimer; // a cancelled group that is still there when it fires is killed
    QTimer groupPoll; // after the interpreter, until the rest of a cancelled group is gone
    ProcessOutcome outcome;
};

ProcessRunner::ProcessRunner(QObject *parent) : QObject(parent) {}

ProcessRunner::~ProcessRunner()
{
    for (Job *job : std::as_const(m_jobs)) {
        signalGroup(job->group, SIGKILL);
        job->process.disconnect();
        job->process.waitForFinished(kGraceMilliseconds);
        delete job;
    }
    qDeleteAll(m_ended);
}

void ProcessRunner::retire(Job *job)
{
    // A job may still be inside its QProcess's signal: it goes once the loop turns, or with the
    // runner, whichever comes first.
    m_ended.append(job);
    if (m_ended.size() == 1)
        QTimer::singleShot(0, this, [this] {
            qDeleteAll(m_ended);
            m_ended.clear();
        });
}

void ProcessRunner::start(const LaunchRequest &request, Finished finished)
{
    auto *job = new Job;
    job->finished = std::move(finished);
    QProcess &process = job->process;
    process.setProgram(request.program);
    process.setArguments(request.arguments);
    process.setWorkingDirectory(request.workingDirectory);
    // A client that prompts must read end-of-input and give up instead of holding the run.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const int output = request.outputDescriptor;
    const int niceness = request.niceness;
    // Its own process group lets a cancel reach the clients the program starts, not only itself.
    // The output goes into the file the caller opened, never into one found again by its name.
    process.setChildProcessModifier([output, niceness] {
        ::setpgid(0, 0);
        // A priority that cannot be lowered leaves the program to run as it is.
        if (niceness > 0) {
            const int lowered = ::nice(niceness);
            Q_UNUSED(lowered)
        }
        if (output >= 0) {
            ::dup2(output, STDOUT_FILENO);
            ::dup2(output, STDERR_FILENO);
        }
    });

    job->killTimer.setSingleShot(true);
    job->killTimer.setInterval(kGraceMilliseconds);
    connect(&job->killTimer, &QTimer::timeout, this, [job] { signalGroup(job->group, SIGKILL); });
    connect(&process, &QProcess::finished, this, [this, job] { jobEnded(job); });
    // The start is not waited for: on a busy machine the new process may take a while to run,
    // and the caller's event loop must keep turning meanwhile. A program that cannot be started
    // is heard of from the event loop, as every end is.
    connect(&process, &QProcess::errorOccurred, this, [this, job](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            QTimer::singleShot(0, this, [this, job] { failedToStart(job); });
    });
    m_jobs.append(job);
    process.start();
    job->group = static_cast<pid_t>(process.processId());
}

void ProcessRunner::failedToStart(Job *job)
{
    job->outcome.error =
        tr("Cannot start %1: %2").arg(job->process.program(), job->process.errorString());
    reportWhenGroupGone(job);
}

void ProcessRunner::jobEnded(Job *job)
{
    QProcess &process = job->process;
    job->outcome.started = true;
    if (process.exitStatus() == QProcess::CrashExit) {
        job->outcome.signal = process.exitCode();
        job->outcome.exitStatus = 128 + process.exitCode();
    } else {
        job->outcome.exitStatus = process.exitCode();
        // The interpreter passes on a client's death by a signal as 128 + its number.
        if (job->outcome.exitStatus > 128 && job->outcome.exitStatus <= 128 + 64)
            job->outcome.signal = job->outcome.exitStatus - 128;
    }
    // Clients that outlive the interpreter after a cancel still get the rest of their grace.
    if (job->cancelled && job->killTimer.isActive() && groupIsAlive(job->group)) {
        job->groupPoll.setInterval(kGroupPollMilliseconds);
        connect(&job->groupPoll, &QTimer::timeout, this, [this, job] {
            if (!groupIsAlive(job->group) || !job->killTimer.isActive())
                reportWhenGroupGone(job);
        });
        job->groupPoll.start();
        return;
    }
    reportWhenGroupGone(job);
}

void ProcessRunner::reportWhenGroupGone(Job *job)
{
    job->groupPoll.stop();
    job->killTimer.stop();
    job->outcome.cancelled = job->cancelled;
    m_jobs.removeOne(job);
    const Finished finished = std::move(job->finished);
    const ProcessOutcome outcome = job->outcome;
    job->process.disconnect(this);
    retire(job);
    finished(outcome);
}

void ProcessRunner::cancelAll()
{
    for (Job *job : std::as_const(m_jobs)) {
        if (job->cancelled || job->group <= 0)
            continue;
        job->cancelled = true;
        signalGroup(job->group, SIGTERM);
        job->killTimer.start();
    }
}

int ProcessRunner::runningCount() const
{
    return int(m_jobs.size());
}

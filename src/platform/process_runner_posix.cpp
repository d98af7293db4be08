#include "platform/process_runner.h"

#include <QHash>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace {

// How long a cancelled program and its clients get to end by themselves before they are killed.
constexpr int kGraceMilliseconds = 2000;
// How often a cancelled group is looked at while its clients outlive the interpreter.
constexpr int kGroupPollMilliseconds = 20;
// How often the progress of jobs with an idle limit is looked at: /proc is read once a tick for
// all of them together.
constexpr int kProgressTickMilliseconds = 1000;

/// Reads a small file of /proc whole into `buffer`; its length, or -1.
ssize_t readProcFile(const char *path, char *buffer, size_t size)
{
    const int file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return -1;
    const ssize_t length = ::read(file, buffer, size - 1);
    ::close(file);
    if (length >= 0)
        buffer[length] = '\0';
    return length;
}

/// The processes of `groups` that have not ended, by group, from one pass over /proc. Orphans
/// that died are zombies until init reaps them, and an init that is slow to reap (as in some
/// containers) keeps kill() answering for them; /proc tells the living from the dead.
QHash<pid_t, QList<pid_t>> liveMembers(const QSet<pid_t> &groups)
{
    QHash<pid_t, QList<pid_t>> members;
    DIR *proc = ::opendir("/proc");
    if (proc == nullptr)
        return members;
    while (const dirent *entry = ::readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        char path[64];
        char stat[512];
        std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        if (readProcFile(path, stat, sizeof stat) <= 0)
            continue;
        // After the command name in parentheses: state, parent, process group.
        const char *fields = std::strrchr(stat, ')');
        char state = 0;
        long parent = 0;
        long group = 0;
        if (fields == nullptr || std::sscanf(fields, ") %c %ld %ld", &state, &parent, &group) != 3)
            continue;
        if (state != 'Z' && groups.contains(pid_t(group)))
            members[pid_t(group)].append(pid_t(pid));
    }
    ::closedir(proc);
    return members;
}

// True while a member of the group still runs.
bool groupIsAlive(pid_t group)
{
    if (group <= 0 || ::kill(-group, 0) != 0)
        return false;
    if (::access("/proc/self/stat", F_OK) != 0)
        return true;
    return liveMembers({group}).contains(group);
}

/// The bytes a process has read and written so far, files and sockets alike; 0 when unknown.
qint64 bytesMoved(pid_t pid)
{
    char path[64];
    char io[1024];
    std::snprintf(path, sizeof path, "/proc/%ld/io", long(pid));
    if (readProcFile(path, io, sizeof io) <= 0)
        return 0;
    qint64 total = 0;
    for (const char *field : {"rchar: ", "wchar: "}) {
        const char *at = std::strstr(io, field);
        if (at != nullptr)
            total += std::strtoll(at + std::strlen(field), nullptr, 10);
    }
    return total;
}

/// What a job has done so far, as far as can be seen from outside: the size of its output and
/// the bytes its processes moved. Any change is progress.
QPair<qint64, qint64> progressMark(int output, const QList<pid_t> &members)
{
    struct stat info;
    const qint64 written = output >= 0 && ::fstat(output, &info) == 0 ? qint64(info.st_size) : 0;
    qint64 moved = 0;
    for (const pid_t pid : members)
        moved += bytesMoved(pid);
    return {written, moved};
}

/// Runs in the child before the program: it is killed when the process that started it ends,
/// even by SIGKILL, since nothing else reaches a process group of its own then. The signal goes
/// with the thread that started the child, which is the runner's. A parent that is gone already
/// is not waited for.
void endWithParent(pid_t parent)
{
#if defined(__linux__)
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (::getppid() != parent)
        ::_exit(127);
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
    int output = -1;
    int idleLimitSeconds = 0;
    QPair<qint64, qint64> progress{-1, -1}; // the last progress mark seen
    int idleTicks = 0;                      // looks in a row that saw no progress
    bool stopping = false;                  // asked to end: by a cancel, or for want of progress
    bool cancelled = false;
    QTimer killTimer; // a cancelled group that is still there when it fires is killed
    QTimer groupPoll; // after the interpreter, until the rest of a cancelled group is gone
    ProcessOutcome outcome;
};

ProcessRunner::ProcessRunner(QObject *parent) : QObject(parent), m_progressWatch(new QTimer(this))
{
    m_progressWatch->setInterval(kProgressTickMilliseconds);
    connect(m_progressWatch, &QTimer::timeout, this, &ProcessRunner::watchProgress);
}

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
    const pid_t parent = ::getpid();
    const int niceness = request.niceness;
    // Its own process group lets a cancel reach the clients the program starts, not only itself.
    // The output goes into the file the caller opened, never into one found again by its name.
    process.setChildProcessModifier([output, parent, niceness] {
        ::setpgid(0, 0);
        endWithParent(parent);
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
    job->output = output;
    job->idleLimitSeconds = std::max(0, request.idleLimitSeconds);
    m_jobs.append(job);
    process.start();
    job->group = static_cast<pid_t>(process.processId());
    if (job->idleLimitSeconds > 0 && !m_progressWatch->isActive())
        m_progressWatch->start();
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
    // Clients that outlive the interpreter after a stop still get the rest of their grace.
    if (job->stopping && job->killTimer.isActive() && groupIsAlive(job->group)) {
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

void ProcessRunner::stopGroup(Job *job)
{
    job->stopping = true;
    signalGroup(job->group, SIGTERM);
    job->killTimer.start();
}

void ProcessRunner::cancelAll()
{
    for (Job *job : std::as_const(m_jobs)) {
        if (job->stopping || job->group <= 0)
            continue;
        job->cancelled = true;
        stopGroup(job);
    }
}

void ProcessRunner::watchProgress()
{
    QSet<pid_t> watched;
    for (const Job *job : std::as_const(m_jobs)) {
        if (job->idleLimitSeconds > 0 && !job->stopping && job->group > 0)
            watched.insert(job->group);
    }
    if (watched.isEmpty()) {
        m_progressWatch->stop();
        return;
    }
    const QHash<pid_t, QList<pid_t>> members = liveMembers(watched);
    for (Job *job : std::as_const(m_jobs)) {
        if (!watched.contains(job->group))
            continue;
        const QPair<qint64, qint64> mark = progressMark(job->output, members.value(job->group));
        // Counted in looks rather than measured, so that a tick that comes a little early cannot
        // shorten the limit; a late one only lengthens it.
        job->idleTicks = mark == job->progress ? job->idleTicks + 1 : 0;
        job->progress = mark;
        if (qint64(job->idleTicks) * kProgressTickMilliseconds >=
            qint64(job->idleLimitSeconds) * 1000) {
            job->outcome.idleSeconds = job->idleLimitSeconds;
            stopGroup(job);
        }
    }
}

int ProcessRunner::runningCount() const
{
    return int(m_jobs.size());
}

#include "platform/process_runner.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <unistd.h>

namespace {

// How long a cancelled program and its clients get to end by themselves before they are killed.
constexpr int kGraceMilliseconds = 2000;

// A fresh file each run: an old log is removed rather than truncated so that neither its content
// nor wider permissions survive into the new one.
bool createLog(const QString &path, QString *error)
{
    if (path.isEmpty()) {
        *error = ProcessRunner::tr("No log file was given.");
        return false;
    }
    QFile::remove(path);
    QFile log(path);
    if (!log.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        *error = ProcessRunner::tr("Cannot create the log %1: %2").arg(path, log.errorString());
        return false;
    }
    return true;
}

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

} // namespace

struct ProcessRunner::Private
{
    QProcess *process = nullptr;
    pid_t group = 0;
    bool cancelled = false;
    QTimer killTimer;
};

ProcessRunner::ProcessRunner(QObject *parent) : QObject(parent), d(new Private)
{
    d->killTimer.setSingleShot(true);
    d->killTimer.setInterval(kGraceMilliseconds);
    connect(&d->killTimer, &QTimer::timeout, this, [this] {
        if (d->group > 0)
            ::kill(-d->group, SIGKILL);
    });
}

ProcessRunner::~ProcessRunner()
{
    // Only reached mid-run when the owner is torn down from inside the wait; leave nothing behind.
    if (d->process != nullptr && d->group > 0)
        ::kill(-d->group, SIGKILL);
    delete d;
}

ProcessOutcome ProcessRunner::run(const LaunchRequest &request)
{
    ProcessOutcome outcome;
    if (d->process != nullptr) {
        outcome.error = tr("Another program is still running.");
        return outcome;
    }
    if (!createLog(request.logPath, &outcome.error))
        return outcome;

    QProcess process;
    process.setProgram(request.program);
    process.setArguments(request.arguments);
    process.setWorkingDirectory(request.workingDirectory);
    // A client that prompts must read end-of-input and give up instead of holding the run.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(request.logPath, QIODevice::Append);
    // Its own process group lets cancel() reach the clients the program starts, not only itself.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });

    bool finished = false;
    QEventLoop loop;
    connect(&process, &QProcess::finished, &loop, [&finished, &loop] {
        finished = true;
        loop.quit();
    });

    d->cancelled = false;
    process.start();
    if (!process.waitForStarted(-1)) {
        outcome.error = tr("Cannot start %1: %2").arg(request.program, process.errorString());
        return outcome;
    }
    outcome.started = true;
    d->process = &process;
    d->group = static_cast<pid_t>(process.processId());

    if (!finished)
        loop.exec();
    if (!finished) {
        // The application is quitting and took our loop with it: end the program the hard way.
        cancel();
        if (!process.waitForFinished(kGraceMilliseconds)) {
            ::kill(-d->group, SIGKILL);
            process.waitForFinished(-1);
        }
    }

    // Clients that outlive the interpreter after a cancel still get the rest of their grace.
    if (d->cancelled && d->killTimer.isActive() && groupIsAlive(d->group)) {
        QEventLoop drain;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &drain, [&drain, this] {
            if (!groupIsAlive(d->group) || !d->killTimer.isActive())
                drain.quit();
        });
        poll.start(20);
        drain.exec();
    }
    d->killTimer.stop();

    outcome.cancelled = d->cancelled;
    outcome.exitStatus =
        process.exitStatus() == QProcess::CrashExit ? 128 + process.exitCode() : process.exitCode();
    d->process = nullptr;
    d->group = 0;
    return outcome;
}

void ProcessRunner::cancel()
{
    if (d->process == nullptr || d->group <= 0 || d->cancelled)
        return;
    d->cancelled = true;
    ::kill(-d->group, SIGTERM);
    d->killTimer.start();
}

bool ProcessRunner::isRunning() const
{
    return d->process != nullptr;
}

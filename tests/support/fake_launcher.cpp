#include "support/fake_launcher.h"

#include "support/files.h"

#include <QDir>
#include <QTimer>

#include <algorithm>
#include <unistd.h>

namespace {

// The script and password file go by the batch file's name: XferJob.BAT, XferJob.FTP, ...
QString companionFile(const QString &batchFile, const char *ending)
{
    return batchFile.left(batchFile.size() - 3) + QLatin1String(ending);
}

} // namespace

void FakeLauncher::start(const LaunchJob &job, Finished finished)
{
    const int call = int(calls.size());
    Call seen{job.batchFile, {}, {}, {}};
    if (recording) {
        seen.launcher = readBytes(job.batchFile);
        seen.script = readBytes(companionFile(job.batchFile, "FTP"));
        seen.password = readBytes(companionFile(job.batchFile, "PWD"));
    }
    calls.append(seen);
    m_running.insert(call);
    mostAtOnce = std::max(mostAtOnce, int(m_running.size()));
    const int descriptor = job.logDescriptor;
    QTimer::singleShot(delaysMs.value(call), [this, call, descriptor, finished] {
        ProcessOutcome outcome{true, false, 0, 0, {}};
        if (whileRunning)
            whileRunning(call, outcome);
        m_running.remove(call);
        if (m_cancelled.remove(call) && !outrunsCancel.contains(call)) {
            outcome.cancelled = true;
            outcome.exitStatus = 128 + 15;
        }
        const QByteArray text =
            logTexts.value(call, "output " + QByteArray::number(call + 1) + "\r\n");
        if (recording && outcome.started && !text.isNull()) {
            [[maybe_unused]] const ssize_t written =
                ::write(descriptor, text.constData(), size_t(text.size()));
        }
        finished(outcome);
    });
}

void FakeLauncher::cancelAll()
{
    ++cancels;
    m_cancelled.unite(m_running);
}

ConsoleOutcome FakeConsoleStarter::start(const QString &workingDirectory, const QString &batchFile)
{
    starts.append({workingDirectory, batchFile, QDir::currentPath(), readBytes(batchFile),
                   readBytes(companionFile(batchFile, "FTP")),
                   readBytes(companionFile(batchFile, "PWD"))});
    return outcome;
}

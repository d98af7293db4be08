#include "support/fake_launcher.h"

#include "support/files.h"

#include <QDir>
#include <QFile>

ProcessOutcome FakeLauncher::runBatch(const QString &workingDirectory, const QString &batchFile,
                                      const QString &logFile)
{
    const int call = int(calls.size());
    if (recording) {
        const QString script = QDir(workingDirectory).filePath(QStringLiteral("XferJob.FTP"));
        calls.append({workingDirectory, logFile, readBytes(batchFile), readBytes(script),
                      isOwnerOnly(batchFile) && isOwnerOnly(script)});
    } else {
        calls.append({workingDirectory, logFile, {}, {}, false});
    }
    m_cancelled = false;
    ProcessOutcome outcome{true, false, 0, {}};
    if (whileRunning)
        whileRunning(call, outcome);
    if (m_cancelled) {
        outcome.cancelled = true;
        outcome.exitStatus = 128 + 15;
    }
    const QByteArray text = logTexts.value(call, "output " + QByteArray::number(call + 1) + "\r\n");
    QFile log(logFile);
    if (recording && outcome.started && !text.isNull() && log.open(QIODevice::WriteOnly))
        log.write(text);
    return outcome;
}

void FakeLauncher::cancel()
{
    ++cancels;
    m_cancelled = true;
}

#include "support/fake_launcher.h"

#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

ProcessOutcome FakeLauncher::runBatch(const QString &workingDirectory, const QString &batchFile,
                                      const QString &logFile)
{
    const int call = int(calls.size());
    if (recording) {
        const QDir directory(workingDirectory);
        const QString script = directory.filePath(QStringLiteral("XferJob.FTP"));
        const QString password = directory.filePath(QStringLiteral("XferJob.PWD"));
        const bool hasPassword = QFileInfo::exists(password);
        calls.append({workingDirectory, logFile, readBytes(batchFile), readBytes(script),
                      hasPassword ? readBytes(password) : QByteArray(),
                      isOwnerOnly(batchFile) && isOwnerOnly(script) &&
                          (!hasPassword || isOwnerOnly(password))});
    } else {
        calls.append({workingDirectory, logFile, {}, {}, {}, false});
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

ConsoleOutcome FakeConsoleStarter::start(const QString &workingDirectory, const QString &batchFile)
{
    const QDir directory(workingDirectory);
    const QString password = directory.filePath(QStringLiteral("XferJob.PWD"));
    starts.append({workingDirectory, batchFile, QDir::currentPath(),
                   readBytes(directory.filePath(QStringLiteral("XferJob.BAT"))),
                   readBytes(directory.filePath(QStringLiteral("XferJob.FTP"))),
                   QFileInfo::exists(password) ? readBytes(password) : QByteArray()});
    return outcome;
}

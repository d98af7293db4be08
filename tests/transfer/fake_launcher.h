#pragma once

#include "platform/launcher.h"
#include "transfer/transfer_scripts.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <functional>

/// A launcher that starts nothing: it keeps the generated files as they stood at each start,
/// writes a chosen text into the log and ends with a chosen outcome.
class FakeLauncher final : public Launcher
{
public:
    struct Call
    {
        QString directory;
        QString logFile;
        QByteArray launcher;
        QByteArray script;
        QFile::Permissions launcherPermissions;
        QFile::Permissions scriptPermissions;
    };

    QList<Call> calls;
    QHash<int, QByteArray> logTexts;     // by call index; "output N\r\n" otherwise
    QSet<int> missingLogs;               // calls that leave no log behind
    QHash<int, ProcessOutcome> outcomes; // by call index; a clean exit otherwise
    std::function<void(int call)> whileRunning;
    bool cancelled = false;

    ProcessOutcome runBatch(const QString &workingDirectory, const QString &batchFile,
                            const QString &logFile) override
    {
        const int index = int(calls.size());
        QFile launcherFile(batchFile);
        QFile scriptFile(workingDirectory + QLatin1Char('/') + kScriptFileName);
        launcherFile.open(QIODevice::ReadOnly);
        scriptFile.open(QIODevice::ReadOnly);
        calls.append({workingDirectory, logFile, launcherFile.readAll(), scriptFile.readAll(),
                      launcherFile.permissions(), scriptFile.permissions()});
        if (!missingLogs.contains(index)) {
            QFile log(logFile);
            log.open(QIODevice::WriteOnly);
            log.write(logTexts.value(index, QByteArray("output ") + QByteArray::number(index + 1) +
                                                "\r\n"));
        }
        if (whileRunning)
            whileRunning(index);
        ProcessOutcome clean;
        clean.started = true;
        clean.exitStatus = 0;
        ProcessOutcome outcome = outcomes.value(index, clean);
        outcome.cancelled = outcome.cancelled || cancelled;
        return outcome;
    }

    void cancel() override { cancelled = true; }
};

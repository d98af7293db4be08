#pragma once

#include "platform/console.h"
#include "platform/launcher.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>

/// A launcher that starts nothing. At each start it keeps the generated files as they stand; from
/// the event loop (after `delaysMs` of the start, none by default) it runs the test's hook (which
/// may change the outcome, cancel, or press buttons meanwhile), writes the log and reports a clean
/// end unless the hook or a cancel said otherwise.
class FakeLauncher final : public Launcher
{
public:
    /// One start, as the launcher saw it.
    struct Call
    {
        QString batchFile;
        QByteArray launcher; // the batch file at the start
        QByteArray script;   // its script (XferJob.FTP or the numbered one) at the start
        QByteArray password; // its password file at the start; null when there is none
    };

    QList<Call> calls;
    /// The log text of each start by its index; "output N\r\n" where none is given, nothing for
    /// a null text.
    QHash<int, QByteArray> logTexts;
    QHash<int, int> delaysMs; // how long each start's client runs, by index; 0 by default
    /// Runs while the client would run; the index of the start and the outcome to report.
    std::function<void(int call, ProcessOutcome &outcome)> whileRunning;
    QSet<int> outrunsCancel; // starts whose clients end by themselves even when cancelled
    int cancels = 0;         // how many times the run asked for a stop
    int mostAtOnce = 0;      // the most clients that ran at once
    bool recording = true;   // off: no log written, no file read (for timings)

    void start(const LaunchJob &job, Finished finished) override;
    void cancelAll() override;

private:
    QSet<int> m_running;
    QSet<int> m_cancelled;
};

/// A console starter that opens nothing: it keeps what it was asked to start, with the generated
/// files as they stood, and answers with `outcome`.
class FakeConsoleStarter final : public ConsoleStarter
{
public:
    /// One console, as it would have been opened.
    struct Start
    {
        QString workingDirectory;
        QString batchFile;
        QString currentDirectory; // the process's own at that moment
        QByteArray launcher;      // XferJob.BAT
        QByteArray script;        // XferJob.FTP
        QByteArray password;      // XferJob.PWD; null when there is none
    };

    QList<Start> starts;
    ConsoleOutcome outcome{true, false, {}};

    ConsoleOutcome start(const QString &workingDirectory, const QString &batchFile) override;
};

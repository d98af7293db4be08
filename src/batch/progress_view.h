#pragma once

#include "interfaces/run_results.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

/// Shows how a run goes. On a terminal, one line redrawn in place (a bar, finished/total,
/// running, failed, rate, time left) with each failure printed above it; elsewhere one plain
/// line per finished destination; quiet, only the failures, on standard error.
class RunSession;

class ProgressView final
{
public:
    enum class Mode
    {
        Terminal,
        Lines,
        Quiet
    };

    ProgressView(std::FILE *stream, Mode mode, int total);

    /// Shows the runs of `session` from now on, for as long as the view lives.
    void follow(const RunSession &session);

private:
    void runStarted();
    void destinationStarted();
    void destinationFinished(const DestinationResult &result);
    void runFinished(const RunEnd &end);
    void redraw();
    void print(std::FILE *stream, const QString &line);

    std::FILE *m_stream;
    Mode m_mode;
    int m_total;
    int m_finished = 0;
    int m_running = 0;
    int m_failed = 0;
    QElapsedTimer m_clock;
    QTimer m_tick; // the time left moves on between events too
};

/// A text for a terminal: control characters that a server's reply may carry, which could move
/// the cursor or retitle the window, are shown as symbols instead; a tab stays.
QString printable(const QString &text);

/// A duration as m:ss, or h:mm:ss from an hour on.
QString clockText(qint64 ms);

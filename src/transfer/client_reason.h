#pragma once

#include "platform/process_runner.h"

#include <QByteArray>
#include <QList>
#include <QString>

/// One line that says why a destination failed, taken from its client's own output where the
/// client said so ("530 Login incorrect.", "Unknown host nosuch.invalid.", "FATAL ERROR: ...");
/// otherwise from how the client ended. Empty for a destination that was sent.
QString failureReason(const QList<QByteArray> &clientOutput, const ProcessOutcome &outcome);

/// The line that ends the block of a client killed by a signal, and its reason.
QString signalLine(int signal);

/// The reason of a destination stopped because its clients showed no progress for `seconds`.
QString noProgressReason(int seconds);

/// True when a failure with this reason (as failureReason or noProgressReason gave it) may pass
/// by itself, so that the destination is worth another try: no connection, a connection refused,
/// reset or closed before the greeting, a time-out, no progress, a 4xx reply (421 included). A
/// refused log-in, a 5xx reply, a host key or certificate refusal, a local file that cannot be
/// read and everything else are not.
bool isPassingFailure(const QString &reason);

/// True when the client's output says TLS protected its control and data connections.
bool usedTls(const QList<QByteArray> &clientOutput);

/// The line FTPLogALL.TXT keeps for one line (without its line end) that a client printed: its
/// control characters shown as parcelwright-ftp shows a server's ("^[", "^@", "M-^["), so that no
/// escape sequence a server sent acts on the terminal that shows the log; tabs and valid UTF-8
/// text stay as they are.
QByteArray visibleLogLine(const QByteArray &line);

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

/// Command lines (arguments joined by blanks) of the processes whose current directory is
/// `directory` and which have not ended.
QStringList processesIn(const QString &directory);

/// Ids of the processes in `directory` that have not ended and whose program, the file name of
/// their first argument, is `program`.
QList<pid_t> processIdsIn(const QString &directory, const QString &program);

/// Ids of the live processes below `ancestor` (children, their children, ...) that hold the far
/// end of a TCP connection of `peer`: on a shared server, the ones serving that one client.
QList<pid_t> connectionPeersBelow(pid_t ancestor, pid_t peer);

/// The live processes below each of `roots`, the roots included.
QList<pid_t> withDescendants(const QList<pid_t> &roots);

/// True while the process runs; a zombie counts as ended.
bool isAlive(pid_t pid);

/// The most resident memory the live process has used so far, in KiB; -1 when unknown.
qint64 peakMemoryKiB(pid_t pid);

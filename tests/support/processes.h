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

/// True while the process runs; a zombie counts as ended.
bool isAlive(pid_t pid);

/// The most resident memory the live process has used so far, in KiB; -1 when unknown.
qint64 peakMemoryKiB(pid_t pid);

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/// Every file an installation holds, relative to its prefix; a trailing "*" marks an executable.
QStringList installedFiles();

/// Installs this build into the prefix with `cmake --install`; false and *why on failure.
bool installBuild(const QString &prefix, QString *why);

/// The running (not zombie) processes whose executable is the given file.
QList<qint64> processesRunning(const QString &executable);

/// The current directory of a process, as the system reports it.
QString currentDirectoryOf(qint64 pid);

/// Whether the process still runs (a zombie waiting to be reaped does not).
bool isRunning(qint64 pid);

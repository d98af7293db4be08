#pragma once

#include <QString>
#include <QStringList>

/// Names of the regular, readable files in one directory (not its subdirectories) whose names
/// match a wildcard pattern without regard to letter case, hidden files included, sorted without
/// regard to letter case. A directory that cannot be read gives an empty list.
QStringList searchDirectory(const QString &directory, const QString &pattern);

/// True when an ordinary file stands at the path: a regular file (a link to one counts) whose name
/// does not begin with "." (hidden on POSIX); directories, devices, sockets and the like do not
/// count.
bool isOrdinaryFile(const QString &path);

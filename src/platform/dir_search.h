#pragma once

#include <QString>
#include <QStringList>

/// Names of the regular, readable files in one directory (not its subdirectories) whose names
/// match a wildcard pattern without regard to letter case, hidden files included, sorted without
/// regard to letter case. A directory that cannot be read gives an empty list.
QStringList searchDirectory(const QString &directory, const QString &pattern);

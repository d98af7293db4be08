#pragma once

#include "platform/paths.h"

#include <QChar>
#include <QString>
#include <QStringList>

/// The full paths that a file-open dialog's name list stands for: one full path without a NUL, or
/// a directory followed by NUL-led bare names; an empty name ends the list.
QStringList pathsFromNameList(const QString &nameList, QChar separator = QChar(kPathSeparator));

/// The name list a file-open dialog returns for `paths`: the path itself for one file, else their
/// common directory followed by a NUL before each name relative to it.
QString nameListFromPaths(const QStringList &paths, QChar separator = QChar(kPathSeparator));

#pragma once

#include <QString>

/// Makes room for a file that is about to be created anew in a directory others may share: an
/// old file of that name is removed when it is the user's own. False when something of that name
/// stays: it belongs to another user (a file, or a link planted there), or it cannot be removed
/// (a directory, a read-only directory).
bool clearOwnFile(const QString &path);

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// The whole content of a file; empty when it cannot be read.
QByteArray readBytes(const QString &path);

/// Creates or replaces a file with exactly these bytes and the given permission bits; false on
/// any failure.
bool writeBytes(const QString &path, const QByteArray &bytes, unsigned mode = 0644);

/// True when nobody but the file's owner may read or write it.
bool isOwnerOnly(const QString &path);

/// The names of the files in a directory, hidden ones included, sorted.
QStringList fileNamesIn(const QString &directory);

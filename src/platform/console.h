#pragma once

#include <QString>

/// Opens a terminal window running `parcelwright-cmd /K batchFile` in workingDirectory and returns
/// at once without following it. interpreterPath names the parcelwright-cmd to run (empty: the one
/// beside this executable). On failure (no terminal emulator found, or it could not be started)
/// returns false and says why in *error.
bool startConsole(const QString &workingDirectory, const QString &batchFile, QString *error,
                  const QString &interpreterPath = QString());

#pragma once

#include "platform/paths.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

/// Names of the two generated files and the logs in the working directory.
inline const QString kLauncherFileName = QStringLiteral("XferJob.BAT");
inline const QString kScriptFileName = QStringLiteral("XferJob.FTP");
inline const QString kCumulativeLogName = QStringLiteral("FTPLogALL.TXT");

/// Lines of the launcher batch file XferJob.BAT for one destination row.
QList<QByteArray> launcherLines(const QString &secureFlag, const QString &host,
                                const QString &userId, const QString &password);

/// Lines of the transfer script XferJob.FTP; arguments in the order secure flag, remote
/// directory, user id, password, host, then the files to send; a file's remote name is the part of
/// its path after the last separator.
QList<QByteArray> transferScriptLines(const QString &secureFlag, const QString &remoteDirectory,
                                      const QString &userId, const QString &password,
                                      const QString &host, const QStringList &files,
                                      QChar separator = QChar(kPathSeparator));

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class DestinationGrid;

/// Where a command line's request comes from: a profile or a destinations file for the table, the
/// files to send, the working directory, an earlier report. Each reader returns false with a
/// one-line message when its input cannot be used.
namespace RequestSources {

/// Loads the profile NAME.pro of `directory` into the table exactly as Get does (the same cipher
/// and key, the name taken literally). A name Get refuses, a file it cannot read, one that others
/// may read or change (its passwords are theirs then), a folder that may not be opened and a
/// profile that is not there are told in *error.
bool loadProfile(DestinationGrid &table, const QString &name, const QString &directory,
                 QString *error);

/// Fills the table from a file of tab-separated lines (Secure Shell, host, remote directory, user
/// id, password), the n-th line that is not blank or a "#" comment being row n. The file holds
/// passwords: one that a user other than its owner may read or write is refused.
bool loadDestinations(const QString &path, DestinationGrid &grid, QString *error);

/// The paths of a file list, one a line, blank lines skipped.
bool readFileList(const QString &path, QStringList *files, QString *error);

/// Makes each path absolute (the clients run in the working directory, not here) and checks that
/// it names a file that can be read.
bool checkFiles(QStringList *files, QString *error);

/// The rows of `selected` with a host in the table that an earlier report does not give as sent,
/// in row order: those it gives another outcome and those it does not name (a killed run's
/// partial report stops at the rows it reached). The last line of a row counts, so that joined
/// reports of a run and its rerun read right. A row whose host in the table differs from the
/// report's is left out, with a warning line in *skipped.
bool rowsToResend(const QString &reportPath, const DestinationGrid &grid,
                  const QList<int> &selected, QList<int> *rows, QStringList *skipped,
                  QString *error);

} // namespace RequestSources

#pragma once

#include <QChar>
#include <QString>

/// The separator of file paths on this platform.
inline constexpr char16_t kPathSeparator = u'/';

/// A file of the working directory: the directory text, a separator unless the text already ends
/// with one, then the file name.
QString workingDirFile(const QString &directoryText, const QString &fileName,
                       QChar separator = QChar(kPathSeparator));

/// The part of a path after its last separator; the whole text when there is none.
QString fileNameOf(const QString &path, QChar separator = QChar(kPathSeparator));

/// A program that ships beside the running executable (parcelwright-cmd, parcelwright-ftp).
QString companionProgram(const QString &name);

/// The user's own working directory, "~/Parcelwright/" written out; empty when HOME names no
/// absolute path.
QString defaultWorkingDirectory();

/// Makes the default working directory, readable by its owner only, when nothing of that name
/// exists yet; whatever stands there already (a dangling link too) is left as it is.
void makeDefaultWorkingDirectory();

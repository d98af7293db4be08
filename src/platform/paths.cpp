#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString workingDirFile(const QString &directoryText, const QString &fileName, QChar separator)
{
    if (directoryText.endsWith(separator))
        return directoryText + fileName;
    return directoryText + separator + fileName;
}

QString fileNameOf(const QString &path, QChar separator)
{
    return path.mid(path.lastIndexOf(separator) + 1);
}

QString companionProgram(const QString &name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

QString defaultWorkingDirectory()
{
    const QString home = qEnvironmentVariable("HOME");
    if (!QDir::isAbsolutePath(home))
        return {};
    return QDir::cleanPath(home + QStringLiteral("/Parcelwright")) + QLatin1Char('/');
}

void makeDefaultWorkingDirectory()
{
    const QString directory = QDir::cleanPath(defaultWorkingDirectory());
    if (directory.isEmpty() || QFileInfo(directory).exists() || QFileInfo(directory).isSymLink())
        return;
    // The folder will hold logs and scripts with passwords in them: the user's alone from the
    // start, not after a chmod that another user could race.
    QDir().mkdir(directory,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

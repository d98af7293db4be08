#include "ui/user_settings.h"

#include "interfaces/transfer_request.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace {

const QString kOrganisation = QStringLiteral("parcelwright");
const QString kApplication = QStringLiteral("parcelwright");
const QString kWorkingDirectoryKey = QStringLiteral("workingDirectory");
const QString kSimultaneousTransfersKey = QStringLiteral("simultaneousTransfers");

/// A directory as the field shows one: with a trailing separator.
QString asDirectoryText(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

} // namespace

QString UserSettings::defaultWorkingDirectory()
{
    const QString home = qEnvironmentVariable("HOME");
    if (!QDir::isAbsolutePath(home))
        return {};
    return asDirectoryText(QDir::cleanPath(home + QStringLiteral("/Parcelwright")));
}

void UserSettings::makeDefaultWorkingDirectory()
{
    const QString directory = QDir::cleanPath(defaultWorkingDirectory());
    // A dangling link of that name is left alone too.
    if (directory.isEmpty() || QFileInfo(directory).exists() || QFileInfo(directory).isSymLink())
        return;
    // The folder will hold logs and scripts with passwords in them: the user's alone from the
    // start, not after a chmod that another user could race.
    QDir().mkdir(directory,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString UserSettings::workingDirectory() const
{
    // Settings are read and written in one go each time: the program ends with _Exit, which
    // would drop what a long-lived QSettings still held unwritten.
    const QSettings settings(kOrganisation, kApplication);
    const QString remembered = settings.value(kWorkingDirectoryKey).toString();
    // A folder removed since, or a drive not mounted now, would only earn a refusal.
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered;
    return defaultWorkingDirectory();
}

void UserSettings::rememberWorkingDirectory(const QString &directory)
{
    QSettings settings(kOrganisation, kApplication);
    // The next start may be in another directory: a relative path would name another folder.
    settings.setValue(kWorkingDirectoryKey,
                      asDirectoryText(QDir::cleanPath(QFileInfo(directory).absoluteFilePath())));
    settings.sync();
}

int UserSettings::simultaneousTransfers() const
{
    const QSettings settings(kOrganisation, kApplication);
    bool isNumber = false;
    const int count = settings.value(kSimultaneousTransfersKey).toInt(&isNumber);
    return isNumber ? std::clamp(count, kMinSimultaneous, kMaxSimultaneous) : kMinSimultaneous;
}

void UserSettings::setSimultaneousTransfers(int count)
{
    QSettings settings(kOrganisation, kApplication);
    settings.setValue(kSimultaneousTransfersKey, std::clamp(count, kMinSimultaneous, kMaxSimultaneous));
    settings.sync();
}

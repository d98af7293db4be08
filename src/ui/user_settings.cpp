#include "ui/user_settings.h"

#include "interfaces/transfer_request.h"
#include "platform/paths.h"

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

QString UserSettings::workingDirectory() const
{
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
    settings.setValue(kSimultaneousTransfersKey,
                      std::clamp(count, kMinSimultaneous, kMaxSimultaneous));
}

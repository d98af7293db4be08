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
const QString kTransferGroup = QStringLiteral("transfer");
const QString kIdleTimeoutKey = QStringLiteral("idleTimeoutSeconds");
const QString kRetriesKey = QStringLiteral("retries");
const QString kRetryWaitKey = QStringLiteral("retryWaitSeconds");
const QString kMakeDirectoriesKey = QStringLiteral("makeDirectories");
const QString kTemporaryNamesKey = QStringLiteral("temporaryNames");
const QString kFtpTlsKey = QStringLiteral("ftpTls");
const QString kCaFileKey = QStringLiteral("caFile");
const QString kHostKeysFileKey = QStringLiteral("hostKeysFile");
// How FtpTls is written in the settings file, in the order of its values.
const QStringList kFtpTlsNames{QStringLiteral("never"), QStringLiteral("offered"),
                               QStringLiteral("required")};

/// A number the settings file holds under `key`, brought within `least` to `most`; `fallback`
/// when it holds none.
int boundedNumber(const QSettings &settings, const QString &key, int least, int most, int fallback)
{
    bool isNumber = false;
    const int number = settings.value(key).toInt(&isNumber);
    return isNumber ? std::clamp(number, least, most) : fallback;
}

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
    return boundedNumber(QSettings(kOrganisation, kApplication), kSimultaneousTransfersKey,
                         kMinSimultaneous, kMaxSimultaneous, kMinSimultaneous);
}

void UserSettings::setSimultaneousTransfers(int count)
{
    QSettings settings(kOrganisation, kApplication);
    settings.setValue(kSimultaneousTransfersKey,
                      std::clamp(count, kMinSimultaneous, kMaxSimultaneous));
}

TransferSettings UserSettings::transferSettings() const
{
    QSettings settings(kOrganisation, kApplication);
    settings.beginGroup(kTransferGroup);
    const TransferSettings defaults;
    TransferSettings chosen;
    chosen.idleTimeoutSeconds = boundedNumber(settings, kIdleTimeoutKey, 0, kMaxIdleTimeoutSeconds,
                                              defaults.idleTimeoutSeconds);
    chosen.retries = boundedNumber(settings, kRetriesKey, 0, kMaxRetries, defaults.retries);
    chosen.retryWaitSeconds =
        boundedNumber(settings, kRetryWaitKey, 0, kMaxRetryWaitSeconds, defaults.retryWaitSeconds);
    chosen.makeDirectories = settings.value(kMakeDirectoriesKey, false).toBool();
    chosen.temporaryNames = settings.value(kTemporaryNamesKey, false).toBool();
    chosen.ftpTls =
        FtpTls(std::max<qsizetype>(0, kFtpTlsNames.indexOf(settings.value(kFtpTlsKey).toString())));
    chosen.caFile = settings.value(kCaFileKey).toString();
    chosen.hostKeysFile = settings.value(kHostKeysFileKey).toString();
    return chosen;
}

void UserSettings::setTransferSettings(const TransferSettings &chosen)
{
    QSettings settings(kOrganisation, kApplication);
    settings.beginGroup(kTransferGroup);
    settings.setValue(kIdleTimeoutKey, chosen.idleTimeoutSeconds);
    settings.setValue(kRetriesKey, chosen.retries);
    settings.setValue(kRetryWaitKey, chosen.retryWaitSeconds);
    settings.setValue(kMakeDirectoriesKey, chosen.makeDirectories);
    settings.setValue(kTemporaryNamesKey, chosen.temporaryNames);
    settings.setValue(kFtpTlsKey, kFtpTlsNames.value(int(chosen.ftpTls)));
    settings.setValue(kCaFileKey, chosen.caFile);
    settings.setValue(kHostKeysFileKey, chosen.hostKeysFile);
}

#include "transfer/settings_checks.h"

#include "transfer/transfer_scripts.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QString kSettingsTitle = QStringLiteral("Transfer settings");

/// The fault of a number outside its bounds, or none.
std::optional<Fault> outOfBounds(const QString &what, int value, int most)
{
    if (value >= 0 && value <= most)
        return std::nullopt;
    return Fault{
        kSettingsTitle,
        QStringLiteral("%1 must be a number from 0 to %2, not %3").arg(what).arg(most).arg(value)};
}

} // namespace

std::optional<Fault> checkSettings(TransferSettings *settings, std::optional<KnownHosts> *hostKeys)
{
    hostKeys->reset();
    if (auto fault = outOfBounds(QStringLiteral("The idle time-out (seconds)"),
                                 settings->idleTimeoutSeconds, kMaxIdleTimeoutSeconds))
        return fault;
    if (auto fault = outOfBounds(QStringLiteral("Retries"), settings->retries, kMaxRetries))
        return fault;
    if (auto fault = outOfBounds(QStringLiteral("The wait before a retry (seconds)"),
                                 settings->retryWaitSeconds, kMaxRetryWaitSeconds))
        return fault;
    // Without TLS the certificate file is never used: it stays as the user left it, unread.
    if (settings->ftpTls != FtpTls::Never && !settings->caFile.isEmpty()) {
        QFile file(settings->caFile);
        if (!file.open(QIODevice::ReadOnly))
            return Fault{kSettingsTitle,
                         QStringLiteral("The certificate file %1 cannot be read: %2")
                             .arg(settings->caFile, file.errorString())};
        settings->caFile = QFileInfo(file).absoluteFilePath();
    }
    if (!settings->hostKeysFile.isEmpty()) {
        QString error;
        *hostKeys = KnownHosts::load(settings->hostKeysFile, &error);
        if (!*hostKeys)
            return Fault{kSettingsTitle, error};
        settings->hostKeysFile = QFileInfo(settings->hostKeysFile).absoluteFilePath();
    }
    return std::nullopt;
}

QStringList hostKeysFor(const std::optional<KnownHosts> &hostKeys, const QString &host)
{
    if (!hostKeys)
        return {};
    const SecureShellHost target = splitSecureShellHost(host);
    return hostKeys->fingerprints(target.host, target.port.isEmpty() ? 22 : target.port.toInt());
}

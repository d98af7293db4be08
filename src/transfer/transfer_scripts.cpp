#include "transfer/transfer_scripts.h"

namespace {

// Both clients split their arguments at blanks, so a value with a blank in it would name the
// wrong file or none at all unless it is kept together by double quotes.
QString quotedIfBlank(const QString &value)
{
    if (value.contains(QLatin1Char(' ')) || value.contains(QLatin1Char('\t')))
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

bool isSecureShell(const QString &secureFlag)
{
    return secureFlag == QLatin1String("Y");
}

} // namespace

QList<QByteArray> launcherLines(const QString &secureFlag, const QString &host,
                                const QString &userId, const QString &password)
{
    QList<QByteArray> lines;
    lines.append(QByteArrayLiteral("@echo on"));
    if (isSecureShell(secureFlag)) {
        lines.append((QStringLiteral("psftp ") + quotedIfBlank(userId) + QLatin1Char('@') + host +
                      QStringLiteral(" -b ") + kScriptFileName + QStringLiteral(" -pw ") +
                      quotedIfBlank(password))
                         .toLocal8Bit());
    } else {
        lines.append(
            (QStringLiteral("ftp -s:") + kScriptFileName + QLatin1Char(' ') + host).toLocal8Bit());
    }
    return lines;
}

QList<QByteArray> transferScriptLines(const QString &secureFlag, const QString &remoteDirectory,
                                      const QString &userId, const QString &password,
                                      const QString &host, const QStringList &files,
                                      QChar separator)
{
    Q_UNUSED(host)
    QList<QByteArray> lines;
    lines.reserve(files.size() + 4);
    if (!isSecureShell(secureFlag)) {
        // The plain client reads these as whole answers to its log-in questions, blanks and all.
        lines.append(userId.toLocal8Bit());
        lines.append(password.toLocal8Bit());
    }
    if (!remoteDirectory.isEmpty())
        lines.append((QStringLiteral("cd ") + quotedIfBlank(remoteDirectory)).toLocal8Bit());
    for (const QString &path : files) {
        lines.append((QStringLiteral("put ") + quotedIfBlank(path) + QLatin1Char(' ') +
                      quotedIfBlank(fileNameOf(path, separator)))
                         .toLocal8Bit());
    }
    lines.append(QByteArrayLiteral("quit"));
    return lines;
}

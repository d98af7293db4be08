#include "transfer/transfer_scripts.h"

namespace {

bool isSecureShell(const QString &secureFlag)
{
    return secureFlag == QLatin1String("Y");
}

} // namespace

QString quotedArgument(const QString &value)
{
    const QChar quote(QLatin1Char('"'));
    if (!value.contains(QLatin1Char(' ')) && !value.contains(QLatin1Char('\t')) &&
        !value.contains(quote))
        return value;
    QString doubled = value;
    doubled.replace(quote, QStringLiteral("\"\""));
    // Two quotes in a row read as one literal quote wherever they stand, so around a value of
    // nothing but quotes the outer ones would pair with the doubled ones. Such a value has no
    // blank and needs no outer quotes.
    if (value.count(quote) == value.size())
        return doubled;
    return quote + doubled + quote;
}

QList<QByteArray> launcherLines(const QString &secureFlag, const QString &host,
                                const QString &userId, const QString &password)
{
    Q_UNUSED(password)
    QList<QByteArray> lines;
    lines.append(QByteArrayLiteral("@echo on"));
    if (isSecureShell(secureFlag)) {
        // psftp takes the user id up to the last "@", so one holding "@" still arrives whole.
        lines.append((QStringLiteral("psftp ") + quotedArgument(userId) + QLatin1Char('@') + host +
                      QStringLiteral(" -b ") + kScriptFileName + QStringLiteral(" -pwfile ") +
                      kPasswordFileName)
                         .toLocal8Bit());
    } else {
        lines.append(
            (QStringLiteral("ftp -s:") + kScriptFileName + QLatin1Char(' ') + host).toLocal8Bit());
    }
    return lines;
}

QList<QByteArray> passwordFileLines(const QString &password)
{
    return {password.toLocal8Bit()};
}

QList<QByteArray> transferScriptLines(const QString &secureFlag, const QString &remoteDirectory,
                                      const QString &userId, const QString &password,
                                      const QString &host, const QStringList &files,
                                      QChar separator)
{
    Q_UNUSED(host)
    const bool secure = isSecureShell(secureFlag);
    QList<QByteArray> lines;
    lines.reserve(files.size() + 4);
    if (!secure) {
        // The plain client reads these as whole answers to its log-in questions, blanks and all.
        lines.append(userId.toLocal8Bit());
        lines.append(password.toLocal8Bit());
    }
    if (!remoteDirectory.isEmpty())
        lines.append((QStringLiteral("cd ") + quotedArgument(remoteDirectory)).toLocal8Bit());
    for (const QString &path : files) {
        // psftp reads a first word beginning with "-" as an option of put, quoted or not; "--"
        // ends its options. Only a relative path can begin so.
        const QString endOfOptions =
            secure && path.startsWith(QLatin1Char('-')) ? QStringLiteral("-- ") : QString();
        lines.append((QStringLiteral("put ") + endOfOptions + quotedArgument(path) +
                      QLatin1Char(' ') + quotedArgument(fileNameOf(path, separator)))
                         .toLocal8Bit());
    }
    lines.append(QByteArrayLiteral("quit"));
    return lines;
}

QList<QByteArray> testScriptLines(const QString &secureFlag, const QString &userId,
                                  const QString &password)
{
    QList<QByteArray> lines;
    if (secureFlag == QLatin1String("N")) {
        lines.append(userId.toLocal8Bit());
        lines.append(password.toLocal8Bit());
    }
    lines.append(QByteArrayLiteral("help"));
    return lines;
}

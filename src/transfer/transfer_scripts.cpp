#include "transfer/transfer_scripts.h"

#include "platform/text_file.h"

#include <QFile>

#include <algorithm>

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

JobFileNames JobFileNames::numbered(int number)
{
    const QString base = QStringLiteral("XferJob-%1.").arg(number, 4, 10, QLatin1Char('0'));
    return {base + QStringLiteral("BAT"), base + QStringLiteral("FTP"),
            base + QStringLiteral("PWD")};
}

JobFileNames JobFileNames::forDestination(qsizetype index, int simultaneous)
{
    return simultaneous > 1 ? numbered(int(index + 1)) : JobFileNames();
}

SecureShellHost splitSecureShellHost(const QString &host)
{
    const auto isPort = [](const QString &text) {
        bool number = false;
        const int port = text.toInt(&number);
        return number && port >= 1 && port <= 65535 &&
               std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
    };
    // An IPv6 address is full of colons: only its bracketed form can carry a port.
    if (host.startsWith(QLatin1Char('['))) {
        const qsizetype close = host.indexOf(QStringLiteral("]:"));
        if (close > 1 && isPort(host.mid(close + 2)))
            return {host.mid(1, close - 1), host.mid(close + 2)};
        return {host, {}};
    }
    const qsizetype colon = host.indexOf(QLatin1Char(':'));
    if (colon > 0 && colon == host.lastIndexOf(QLatin1Char(':')) && isPort(host.mid(colon + 1)))
        return {host.left(colon), host.mid(colon + 1)};
    return {host, {}};
}

QList<QByteArray> launcherLines(const QString &secureFlag, const QString &host,
                                const QString &userId, const JobFileNames &names)
{
    QList<QByteArray> lines;
    lines.append(QByteArrayLiteral("@echo on"));
    if (isSecureShell(secureFlag)) {
        const SecureShellHost target = splitSecureShellHost(host);
        const QString port =
            target.port.isEmpty() ? QString() : QStringLiteral("-P ") + target.port + u' ';
        // psftp takes the user id up to the last "@", so one holding "@" still arrives whole.
        lines.append((QStringLiteral("psftp ") + port + quotedArgument(userId) + QLatin1Char('@') +
                      target.host + QStringLiteral(" -b ") + names.script +
                      QStringLiteral(" -pwfile ") + names.password)
                         .toLocal8Bit());
    } else {
        lines.append(
            (QStringLiteral("ftp -s:") + names.script + QLatin1Char(' ') + host).toLocal8Bit());
    }
    return lines;
}

JobFiles jobFiles(const Destination &destination, const QStringList &files,
                  const JobFileNames &names)
{
    const QString secureFlag = destination.secure ? QStringLiteral("Y") : QStringLiteral("N");
    JobFiles job;
    job.launcher = launcherLines(secureFlag, destination.host, destination.userId, names);
    job.secure = destination.secure;
    if (destination.secure) {
        job.password = passwordFileLines(destination.password);
        job.script = transferScriptLines(secureFlag, destination.remoteDirectory, {}, {},
                                         destination.host, files);
    } else {
        job.script =
            transferScriptLines(secureFlag, destination.remoteDirectory, destination.userId,
                                destination.password, destination.host, files);
    }
    return job;
}

bool writeJobFiles(const QString &directory, const JobFileNames &names, const JobFiles &files,
                   QString *error, bool *nameTaken)
{
    QList<std::pair<QString, const QList<QByteArray> *>> targets{{names.launcher, &files.launcher}};
    if (files.secure)
        targets.append({names.password, &files.password});
    targets.append({names.script, &files.script});
    for (qsizetype i = 0; i < targets.size(); ++i) {
        if (createTextFile(workingDirFile(directory, targets[i].first), *targets[i].second, error,
                           nameTaken))
            continue;
        // Only what this call created goes: a name held by something else is left to its owner.
        for (qsizetype j = 0; j < i; ++j)
            QFile::remove(workingDirFile(directory, targets[j].first));
        return false;
    }
    return true;
}

void removeJobFiles(const QString &directory, const JobFileNames &names)
{
    for (const QString &name : names.all())
        QFile::remove(workingDirFile(directory, name));
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

#include "transfer/transfer_scripts.h"

#include "platform/text_file.h"

#include <QFile>

#include <algorithm>

namespace {

bool isSecureShell(const QString &secureFlag)
{
    return secureFlag == QLatin1String("Y");
}

/// The levels of a remote directory from the top down: "a/b" gives "a" and "a/b", "/x/y" gives
/// "/x" and "/x/y"; the root and empty levels give none. The plain client reads "\" as "/" in a
/// cd, so for it "\" separates levels too, and they are written with "/".
QStringList directoryLevels(const QString &remoteDirectory, bool backslashSeparates)
{
    QString path = remoteDirectory;
    if (backslashSeparates)
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString level = path.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString();
    QStringList levels;
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (!level.isEmpty() && level != QLatin1String("/"))
            level += QLatin1Char('/');
        level += part;
        levels.append(level);
    }
    return levels;
}

/// quotedArgument's rule over bytes that need not be whole characters: each byte stands for
/// itself as a Latin-1 character, and only blanks, tabs and quotes count.
QByteArray quotedBytes(const QByteArray &value)
{
    return quotedArgument(QString::fromLatin1(value)).toLatin1();
}

/// psftp's rm and mv read the names they take from as wildcards, in which "\" makes the next
/// byte plain.
QByteArray wildcardEscaped(const QByteArray &name)
{
    QByteArray escaped;
    for (const char c : name) {
        if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

/// A pattern that matches exactly `name`, and so removes nothing but succeeds when no file has
/// it, where a plain rm of a missing name would stop the batch: "[\N]AME", byte by byte.
QByteArray removalPattern(const QByteArray &name)
{
    return "[\\" + name.left(1) + "]" + wildcardEscaped(name.mid(1));
}

/// The lines that send one file: under its name, or under ".NAME.part" and then renamed.
void appendPut(QList<QByteArray> *lines, const QString &path, const QString &name, bool secure,
               bool temporaryNames)
{
    // psftp reads a first word beginning with "-" as an option of put, quoted or not; "--" ends
    // its options. Only a relative path can begin so.
    const QString put =
        QStringLiteral("put ") +
        (secure && path.startsWith(QLatin1Char('-')) ? QStringLiteral("-- ") : QString()) +
        quotedArgument(path) + QLatin1Char(' ');
    if (!temporaryNames || name.isEmpty()) {
        lines->append((put + quotedArgument(name)).toLocal8Bit());
        return;
    }
    const QString temporary = QLatin1Char('.') + name + QStringLiteral(".part");
    lines->append((put + quotedArgument(temporary)).toLocal8Bit());
    if (!secure) {
        lines->append((QStringLiteral("rename ") + quotedArgument(temporary) + QLatin1Char(' ') +
                       quotedArgument(name))
                          .toLocal8Bit());
        return;
    }
    lines->append("rm " + quotedBytes(removalPattern(name.toLocal8Bit())));
    lines->append("mv " + quotedBytes(wildcardEscaped(temporary.toLocal8Bit())) + ' ' +
                  quotedArgument(name).toLocal8Bit());
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
            base + QStringLiteral("PWD"), base + QStringLiteral("MKD")};
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
                                const QString &userId, const JobFileNames &names,
                                const LauncherSwitches &switches)
{
    QList<QByteArray> lines;
    lines.append(QByteArrayLiteral("@echo on"));
    if (isSecureShell(secureFlag)) {
        const SecureShellHost target = splitSecureShellHost(host);
        QString start = QStringLiteral("psftp ");
        for (const QString &key : switches.hostKeys)
            start += QStringLiteral("-hostkey ") + quotedArgument(key) + u' ';
        if (!target.port.isEmpty())
            start += QStringLiteral("-P ") + target.port + u' ';
        // psftp takes the user id up to the last "@", so one holding "@" still arrives whole.
        start += quotedArgument(userId) + QLatin1Char('@') + target.host + QStringLiteral(" -b ");
        const QString password = QStringLiteral(" -pwfile ") + names.password;
        // -be only here: in the sending session it would hide every failure behind status 0.
        if (switches.makeDirectories)
            lines.append(
                (start + names.directories + QStringLiteral(" -be") + password).toLocal8Bit());
        lines.append((start + names.script + password).toLocal8Bit());
    } else {
        QString tls;
        if (switches.ftpTls != FtpTls::Never) {
            tls = switches.ftpTls == FtpTls::Offered ? QStringLiteral(" -tls:offered")
                                                     : QStringLiteral(" -tls:required");
            if (!switches.caFile.isEmpty())
                tls += u' ' + quotedArgument(QStringLiteral("-cafile:") + switches.caFile);
        }
        lines.append((QStringLiteral("ftp -s:") + names.script + tls + QLatin1Char(' ') + host)
                         .toLocal8Bit());
    }
    return lines;
}

JobFiles jobFiles(const Destination &destination, const QStringList &files,
                  const JobFileNames &names, const TransferSettings &settings)
{
    const QString secureFlag = destination.secure ? QStringLiteral("Y") : QStringLiteral("N");
    const QChar separator(kPathSeparator);
    JobFiles job;
    LauncherSwitches switches{
        .ftpTls = settings.ftpTls, .caFile = settings.caFile, .hostKeys = destination.hostKeys};
    job.secure = destination.secure;
    if (destination.secure) {
        job.password = passwordFileLines(destination.password);
        if (settings.makeDirectories)
            job.directories = directoryScriptLines(destination.remoteDirectory);
        switches.makeDirectories = !job.directories.isEmpty();
        job.script = transferScriptLines(secureFlag, destination.remoteDirectory, {}, {},
                                         destination.host, files, separator, settings);
    } else {
        job.script =
            transferScriptLines(secureFlag, destination.remoteDirectory, destination.userId,
                                destination.password, destination.host, files, separator, settings);
    }
    job.launcher = launcherLines(secureFlag, destination.host, destination.userId, names, switches);
    return job;
}

bool writeJobFiles(const QString &directory, const JobFileNames &names, const JobFiles &files,
                   QString *error, bool *nameTaken)
{
    QList<std::pair<QString, const QList<QByteArray> *>> targets{{names.launcher, &files.launcher}};
    if (files.secure)
        targets.append({names.password, &files.password});
    if (!files.directories.isEmpty())
        targets.append({names.directories, &files.directories});
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
                                      QChar separator, const TransferSettings &settings)
{
    Q_UNUSED(host)
    const bool secure = isSecureShell(secureFlag);
    QList<QByteArray> lines;
    lines.reserve(files.size() + 4);
    if (!secure) {
        // The plain client reads these as whole answers to its log-in questions, blanks and all.
        lines.append(userId.toLocal8Bit());
        lines.append(password.toLocal8Bit());
        // A refused mkdir is no failure to it: the level may be there already.
        for (const QString &level :
             settings.makeDirectories ? directoryLevels(remoteDirectory, true) : QStringList())
            lines.append((QStringLiteral("mkdir ") + quotedArgument(level)).toLocal8Bit());
    }
    if (!remoteDirectory.isEmpty())
        lines.append((QStringLiteral("cd ") + quotedArgument(remoteDirectory)).toLocal8Bit());
    for (const QString &path : files)
        appendPut(&lines, path, fileNameOf(path, separator), secure, settings.temporaryNames);
    lines.append(QByteArrayLiteral("quit"));
    return lines;
}

QList<QByteArray> directoryScriptLines(const QString &remoteDirectory)
{
    QList<QByteArray> lines;
    for (const QString &level : directoryLevels(remoteDirectory, false))
        lines.append((QStringLiteral("mkdir ") + quotedArgument(level)).toLocal8Bit());
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

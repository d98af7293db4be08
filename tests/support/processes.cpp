#include "support/processes.h"

#include "support/files.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The live processes whose current directory is `directory`, each with its arguments.
QList<QPair<pid_t, QStringList>> runningIn(const QString &directory)
{
    const QString canonical = QFileInfo(directory).canonicalFilePath();
    QList<QPair<pid_t, QStringList>> found;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const pid_t pid = entry.toInt();
        if (pid <= 0 ||
            QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).symLinkTarget() != canonical ||
            !isAlive(pid))
            continue;
        QByteArray line = readBytes(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (line.endsWith('\0'))
            line.chop(1);
        QStringList arguments;
        for (const QByteArray &word : line.split('\0'))
            arguments.append(QString::fromLocal8Bit(word));
        found.append({pid, arguments});
    }
    return found;
}

} // namespace

QStringList processesIn(const QString &directory)
{
    QStringList found;
    for (const auto &[pid, arguments] : runningIn(directory))
        found.append(arguments.join(QLatin1Char(' ')));
    return found;
}

QList<pid_t> processIdsIn(const QString &directory, const QString &program)
{
    QList<pid_t> found;
    for (const auto &[pid, arguments] : runningIn(directory)) {
        if (QFileInfo(arguments.value(0)).fileName() == program)
            found.append(pid);
    }
    return found;
}

bool isAlive(pid_t pid)
{
    // The state follows the command name, which may itself hold blanks and ")".
    const QByteArray stat = readBytes(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && stat.size() > close + 2 && stat.at(close + 2) != 'Z';
}

qint64 peakMemoryKiB(pid_t pid)
{
    const QList<QByteArray> lines =
        readBytes(QStringLiteral("/proc/%1/status").arg(pid)).split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).simplified().split(' ').value(0).toLongLong();
    }
    return -1;
}

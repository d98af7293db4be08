#include "support/processes.h"

#include "support/files.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <unistd.h>

namespace {

struct Endpoints
{
    int localPort = 0;
    int remotePort = 0;
};

QList<pid_t> allProcessIds()
{
    QList<pid_t> ids;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (numeric && pid > 0)
            ids.append(pid);
    }
    return ids;
}

// The fields of /proc/PID/stat after the command name, which may itself hold blanks and ")".
QList<QByteArray> statFields(pid_t pid)
{
    const QByteArray stat = readBytes(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close < 0 ? QList<QByteArray>() : stat.mid(close + 2).split(' ');
}

QStringList arguments(pid_t pid)
{
    QByteArray line = readBytes(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (line.endsWith('\0'))
        line.chop(1);
    QStringList words;
    for (const QByteArray &word : line.split('\0'))
        words.append(QString::fromLocal8Bit(word));
    return words;
}

bool runsIn(pid_t pid, const QString &canonicalDirectory)
{
    return QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).symLinkTarget() ==
               canonicalDirectory &&
           isAlive(pid);
}

// Every TCP socket of the machine by its inode, with the ports of both ends.
QHash<quint64, Endpoints> tcpSockets()
{
    QHash<quint64, Endpoints> sockets;
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        const QList<QByteArray> lines = readBytes(QString::fromLatin1(table)).split('\n');
        for (const QByteArray &line : lines.mid(1)) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 10)
                continue;
            const auto port = [](const QByteArray &address) {
                return address.mid(address.lastIndexOf(':') + 1).toInt(nullptr, 16);
            };
            sockets.insert(fields.at(9).toULongLong(), {port(fields.at(1)), port(fields.at(2))});
        }
    }
    return sockets;
}

QList<Endpoints> connectionsOf(pid_t pid, const QHash<quint64, Endpoints> &sockets)
{
    QList<Endpoints> found;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        char target[64] = {};
        const ssize_t length =
            ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target - 1);
        const QByteArray name(target, length > 0 ? length : 0);
        if (!name.startsWith("socket:[") || !name.endsWith(']'))
            continue;
        const quint64 inode = name.mid(8).chopped(1).toULongLong();
        if (sockets.contains(inode))
            found.append(sockets.value(inode));
    }
    return found;
}

QHash<pid_t, QList<pid_t>> childrenByParent()
{
    QHash<pid_t, QList<pid_t>> children;
    for (const pid_t pid : allProcessIds()) {
        const QList<QByteArray> fields = statFields(pid);
        if (fields.size() > 1 && fields.at(0) != "Z")
            children[pid_t(fields.at(1).toInt())].append(pid);
    }
    return children;
}

QList<pid_t> below(pid_t root, const QHash<pid_t, QList<pid_t>> &children)
{
    QList<pid_t> found;
    QList<pid_t> pending = children.value(root);
    while (!pending.isEmpty()) {
        const pid_t pid = pending.takeFirst();
        found.append(pid);
        pending.append(children.value(pid));
    }
    return found;
}

} // namespace

QStringList processesIn(const QString &directory)
{
    QStringList found;
    const QString canonical = QFileInfo(directory).canonicalFilePath();
    for (const pid_t pid : allProcessIds()) {
        if (runsIn(pid, canonical))
            found.append(arguments(pid).join(QLatin1Char(' ')));
    }
    return found;
}

QList<pid_t> processIdsIn(const QString &directory, const QString &program)
{
    QList<pid_t> found;
    const QString canonical = QFileInfo(directory).canonicalFilePath();
    for (const pid_t pid : allProcessIds()) {
        if (runsIn(pid, canonical) && QFileInfo(arguments(pid).value(0)).fileName() == program)
            found.append(pid);
    }
    return found;
}

QList<pid_t> connectionPeersBelow(pid_t ancestor, pid_t peer)
{
    const QHash<quint64, Endpoints> sockets = tcpSockets();
    QSet<QPair<int, int>> wanted; // (local, remote) as the serving end sees them
    for (const Endpoints &ends : connectionsOf(peer, sockets))
        wanted.insert({ends.remotePort, ends.localPort});
    QList<pid_t> found;
    for (const pid_t pid : below(ancestor, childrenByParent())) {
        for (const Endpoints &ends : connectionsOf(pid, sockets)) {
            if (wanted.contains({ends.localPort, ends.remotePort})) {
                found.append(pid);
                break;
            }
        }
    }
    return found;
}

QList<pid_t> withDescendants(const QList<pid_t> &roots)
{
    const QHash<pid_t, QList<pid_t>> children = childrenByParent();
    QList<pid_t> found;
    for (const pid_t root : roots) {
        if (!found.contains(root))
            found.append(root);
        for (const pid_t pid : below(root, children)) {
            if (!found.contains(pid))
                found.append(pid);
        }
    }
    return found;
}

bool isAlive(pid_t pid)
{
    const QList<QByteArray> fields = statFields(pid);
    return !fields.isEmpty() && fields.at(0) != "Z";
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

#include "packaging/installation.h"

#include "support/files.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

using namespace Qt::StringLiterals;

QStringList installedFiles()
{
    return {
        u"bin/parcelwright*"_s,
        u"bin/parcelwright-batch*"_s,
        u"bin/parcelwright-cmd*"_s,
        u"bin/parcelwright-desktop*"_s,
        u"bin/parcelwright-ftp*"_s,
        u"share/applications/parcelwright.desktop"_s,
        u"share/icons/hicolor/128x128/apps/parcelwright.png"_s,
        u"share/icons/hicolor/256x256/apps/parcelwright.png"_s,
        u"share/icons/hicolor/48x48/apps/parcelwright.png"_s,
        u"share/icons/hicolor/64x64/apps/parcelwright.png"_s,
        u"share/man/man1/parcelwright-batch.1"_s,
        u"share/parcelwright/Help.rtf"_s,
    };
}

bool installBuild(const QString &prefix, QString *why)
{
    QProcess cmake;
    cmake.setProcessChannelMode(QProcess::MergedChannels);
    cmake.start(QStringLiteral(PARCELWRIGHT_CMAKE),
                {u"--install"_s, QStringLiteral(PARCELWRIGHT_BUILD_DIR), u"--prefix"_s, prefix});
    if (cmake.waitForFinished(120000) && cmake.exitStatus() == QProcess::NormalExit &&
        cmake.exitCode() == 0)
        return true;
    *why = u"cmake --install failed: "_s + QString::fromLocal8Bit(cmake.readAll());
    return false;
}

QList<qint64> processesRunning(const QString &executable)
{
    QList<qint64> found;
    for (const QString &pid : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        if (pid.toLongLong() > 0 &&
            QFileInfo(u"/proc/"_s + pid + u"/exe"_s).symLinkTarget() == executable &&
            isRunning(pid.toLongLong()))
            found << pid.toLongLong();
    }
    return found;
}

QString currentDirectoryOf(qint64 pid)
{
    return QFileInfo(u"/proc/%1/cwd"_s.arg(pid)).symLinkTarget();
}

bool isRunning(qint64 pid)
{
    const QByteArray stat = readBytes(u"/proc/%1/stat"_s.arg(pid));
    // The state follows the command name, which is in parentheses and may hold anything.
    return !stat.isEmpty() && !stat.mid(stat.lastIndexOf(')') + 2).startsWith('Z');
}

#include "support/small_filesystem.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>

namespace {

const QString kFillerName = QStringLiteral(".filler");

} // namespace

SmallFileSystem::SmallFileSystem(qint64 bytes)
{
    if (!m_mountPoint.isValid()) {
        m_error = m_mountPoint.errorString();
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    if (::mount("tmpfs", QFile::encodeName(path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                options.constData()) != 0) {
        m_error = QStringLiteral("cannot mount a tmpfs on %1: %2")
                      .arg(path(), QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
}

SmallFileSystem::~SmallFileSystem()
{
    // Detached, so that a file a failed test left open does not keep the mount alive.
    if (m_mounted)
        ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
}

bool SmallFileSystem::fill()
{
    const int fd = ::open(QFile::encodeName(filePath(kFillerName)).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // Whole pages first, then single bytes: a page that is partly used still takes a write.
    static const char page[4096] = {};
    for (const size_t chunk : {sizeof page, size_t(1)}) {
        while (::write(fd, page, chunk) == ssize_t(chunk)) {
        }
    }
    const bool full = errno == ENOSPC;
    ::close(fd);
    return full;
}

bool SmallFileSystem::release(qint64 bytes)
{
    QFile filler(filePath(kFillerName));
    return filler.size() >= bytes && filler.resize(filler.size() - bytes);
}

void SmallFileSystem::drain()
{
    QFile::remove(filePath(kFillerName));
}

bool SmallFileSystem::makeReadOnly()
{
    return ::mount(nullptr, QFile::encodeName(path()).constData(), nullptr,
                   MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
}

#pragma once

#include <QString>
#include <QTemporaryDir>

/// A tmpfs of a few pages mounted on a fresh directory for the life of the object, so that a test
/// can fill it or make it read-only under a program at a moment of its choosing. Needs root: as
/// root, permission bits alone stop no write.
class SmallFileSystem final
{
public:
    /// Mounts a tmpfs of `bytes` (rounded up to whole pages); error() says why when it could not.
    explicit SmallFileSystem(qint64 bytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool isMounted() const { return m_mounted; }
    QString error() const { return m_error; }
    /// The mount point: the directory whose files live on the small file system.
    QString path() const { return m_mountPoint.path(); }
    QString filePath(const QString &name) const { return m_mountPoint.filePath(name); }

    /// Takes every free byte with a filler file, so that the next write of any size fails.
    bool fill();
    /// Gives `bytes` of the filler back to the file system.
    bool release(qint64 bytes);
    /// Removes the filler again.
    void drain();
    /// Remounts the file system read-only (false while a file on it is open for writing).
    bool makeReadOnly();

private:
    QTemporaryDir m_mountPoint;
    bool m_mounted = false;
    QString m_error;
};

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// Makes room for a file that is about to be created anew in a directory others may share: an
/// old file of that name is removed when it is the user's own. False when something of that name
/// stays: it belongs to another user (a file, or a link planted there), or it cannot be removed
/// (a directory, a read-only directory).
bool clearOwnFile(const QString &path);

/// Makes room for every one of `names` in `directory`, as clearOwnFile does, and also refuses
/// when another user owns a name that differs from one of them only in letter case: a program
/// that looks names up as Windows does could take that one instead. Own case variants stay.
/// False with the name that stands in the way in *blocking.
bool clearOwnFiles(const QString &directory, const QStringList &names, QString *blocking);

/// Keeps earlier files under numbered names: names[0] moves to names[1], names[1] to names[2],
/// and so on; what stood at the last name is dropped. Only plain files of the user's own move (a
/// link is never followed; anything else stays where it is until a moved file replaces it).
/// False with the name in *blocking when a name (in any letter case) belongs to another user, an
/// exact one is a directory, or a file cannot be moved.
bool shiftOwnFiles(const QString &directory, const QStringList &names, QString *blocking);

/// How a file stood at one moment, to tell later whether it has changed.
struct FileStamp
{
    qint64 size = -1;
    qint64 modifiedNs = 0; // since the epoch
    bool operator==(const FileStamp &other) const = default;
};

/// Reads at most `length` bytes from `offset` of the user's own plain file at `path`, never
/// through a link and never waiting on a FIFO, and its stamp at that moment (either may be null).
/// False when no such file stands there.
bool readOwnFile(const QString &path, qint64 offset, qint64 length, QByteArray *bytes,
                 FileStamp *stamp);

/// Creates a file that must be new, readable and writable by its owner only, without following a
/// link; returns its open descriptor (close-on-exec), or -1 with the reason in *error.
/// *nameTaken tells a name that something else took from a failure of the directory itself.
int createOwnFile(const QString &path, QString *error, bool *nameTaken = nullptr);

/// True when users other than the directory's owner and root may rename or replace files in it,
/// so that a file written there can be swapped before it is read: its group or others may write
/// to it (an access list granting more shows in the group bits) and it is not sticky, or it is
/// owned by someone other than the user and root. A sticky directory of the user's or root's, such
/// as /tmp, passes: there only a file's owner may rename or remove it. False for a directory
/// that cannot be looked at; whether it exists is for the caller to say.
bool othersMayChangeDirectory(const QString &directory);

/// True when the mode of the file at `path` (a link followed) gives its group or others any
/// access: a file of passwords that is not its owner's alone. False when it cannot be looked at.
bool othersMayUseFile(const QString &path);

/// Writes all of `bytes` at the descriptor's offset, going on after interruptions; false, with
/// errno set, when the file takes no more.
bool writeWhole(int descriptor, const QByteArray &bytes);

/// The lock a run or a connection test holds on its working directory: a file of the user's own
/// in it, locked for as long as this object lives and removed afterwards. Nothing in taking it
/// can block, whatever another user has put under its name.
class DirectoryLock final
{
public:
    enum class Result
    {
        Taken,
        Busy,       // another run of this user holds it
        NotOwnFile, // something under its name is another user's, a link, or not a plain file
        Unwritable  // it cannot be created
    };

    DirectoryLock() = default;
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock &) = delete;
    DirectoryLock &operator=(const DirectoryLock &) = delete;

    /// Takes the lock file at `path`; Taken, or why not (then nothing is held).
    Result take(const QString &path);
    /// Lets the lock go and removes its file; harmless when none is held.
    void release();

private:
    QString m_path;
    int m_descriptor = -1;
};

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

/// Where Profile files live and how their bytes get there and back: NAME.pro in the start-up
/// directory, lines ended by CR LF, readable by their owner only.
class ProfileStore final
{
public:
    /// How a write ended.
    enum class WriteResult
    {
        Written,
        CannotOpen,  // nothing was touched: the name or the directory does not allow the file
        Refused,     // nothing was touched: the name is a link, another user's file, ...
        WriteFailed, // the new text could not be written in full: the old file is unchanged
    };

    /// The longest line a Profile may hold: over twice what Save writes for five cells of the most
    /// a text box takes (32,767 characters of up to three bytes each), so that no line Save wrote
    /// is ever refused, while a file that is one endless line cannot fill the memory.
    static constexpr qsizetype kMaxLineBytes = 1024 * 1024;

    /// `startupDirectory`: the directory profiles are saved, searched and loaded in.
    explicit ProfileStore(QString startupDirectory);

    /// The directory given at construction; it never changes.
    const QString &startupDirectory() const { return m_startupDirectory; }

    /// The file of a profile name: the start-up directory, a separator, the name, ".pro".
    QString profilePath(const QString &name) const;

    /// Replaces the file of `path` with the lines once they are all written, never through a
    /// link or into another user's file; a refusal says why, naming the file, in *refusal.
    WriteResult write(const QString &path, const QList<QByteArray> &lines,
                      QString *refusal = nullptr) const;

    /// Reads the first `maxLines` lines of a Profile file (CR LF or LF) and nothing after them;
    /// false when the file cannot be read or one of those lines is longer than `maxLineBytes`.
    bool read(const QString &path, qsizetype maxLines, QList<QByteArray> *lines,
              qsizetype maxLineBytes = kMaxLineBytes) const;

private:
    QString m_startupDirectory;
};

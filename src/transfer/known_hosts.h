#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

/// The host keys an OpenSSH known_hosts file gives, as psftp takes them (`-hostkey`, once per
/// key). It reads plain names, comma lists, wildcards and negations, `[host]:port` names and
/// hashed names (`|1|salt|hash`, as `ssh-keyscan -H` writes them); keys marked `@revoked` are
/// never given, and `@cert-authority` lines, comments, blank and malformed lines are skipped.
class KnownHosts final
{
public:
    /// The largest file load() takes; one line per host and key type is far below it.
    static constexpr qint64 kMaxBytes = 4 * 1024 * 1024;

    /// Takes the text of a known_hosts file.
    explicit KnownHosts(const QByteArray &text);

    /// Reads a known_hosts file; nullopt and *error (naming it) when it cannot be read, is
    /// larger than kMaxBytes, or others than its owner may change it: a key planted there
    /// would be trusted.
    static std::optional<KnownHosts> load(const QString &path, QString *error);

    /// The SHA-256 fingerprints ("SHA256:" + base64 without padding) of the ed25519, ECDSA and
    /// RSA keys given for host:port, in the order of the file, each once; port 22 is the plain
    /// name, any other `[host]:port`. Empty when the file gives no key for it.
    QStringList fingerprints(const QString &host, int port) const;

private:
    /// One usable line: its names (or the salt and hash of a hashed name) and its key.
    struct Entry
    {
        bool revoked = false;
        QList<QByteArray> patterns;
        QByteArray salt;
        QByteArray hash;
        QString fingerprint;
    };

    static std::optional<Entry> parseLine(const QByteArray &line);
    static bool matches(const Entry &entry, const QByteArray &name);

    QList<Entry> m_entries;
};

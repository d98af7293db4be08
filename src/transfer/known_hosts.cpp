#include "transfer/known_hosts.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QMessageAuthenticationCode>

namespace {

// The key types psftp can check a server against; the type also opens the key's own bytes.
bool isUsableKeyType(const QByteArray &type)
{
    return type == "ssh-ed25519" || type == "ssh-rsa" || type == "ecdsa-sha2-nistp256" ||
           type == "ecdsa-sha2-nistp384" || type == "ecdsa-sha2-nistp521";
}

// The key's bytes from its base64, when they are a key of the type the line names (a key blob
// starts with its type as a length-prefixed string); empty otherwise.
QByteArray keyBlob(const QByteArray &type, const QByteArray &base64)
{
    const auto decoded =
        QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    const QByteArray &blob = *decoded;
    if (blob.size() < 4 + type.size())
        return {};
    const quint32 length = (quint32(quint8(blob[0])) << 24) | (quint32(quint8(blob[1])) << 16) |
                           (quint32(quint8(blob[2])) << 8) | quint32(quint8(blob[3]));
    return length == quint32(type.size()) && blob.mid(4, type.size()) == type ? blob : QByteArray();
}

// OpenSSH's host patterns: "*" any run of characters, "?" any one, letters compared without case.
bool globMatches(const QByteArray &pattern, const QByteArray &name)
{
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype star = -1; // the latest "*", and where in the name it stands for the run so far
    qsizetype resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || QChar::toLower(uint(quint8(pattern[p]))) ==
                                             QChar::toLower(uint(quint8(name[n]))))) {
            ++p;
            ++n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace

KnownHosts::KnownHosts(const QByteArray &text)
{
    for (QByteArray line : text.split('\n')) {
        if (std::optional<Entry> entry = parseLine(line.trimmed()))
            m_entries.append(*entry);
    }
}

std::optional<KnownHosts> KnownHosts::load(const QString &path, QString *error)
{
    QFile file(path);
    const QFileInfo info(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("The host keys file %1 cannot be read: %2")
                     .arg(path, file.errorString());
        return std::nullopt;
    }
    if (info.permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther)) {
        *error = QStringLiteral("The host keys file %1 can be changed by other users - make it "
                                "writable by its owner only (chmod go-w)")
                     .arg(path);
        return std::nullopt;
    }
    const QByteArray text = file.read(kMaxBytes + 1);
    if (text.size() > kMaxBytes) {
        *error = QStringLiteral("The host keys file %1 is larger than %2 MiB")
                     .arg(path)
                     .arg(kMaxBytes / (1024 * 1024));
        return std::nullopt;
    }
    return KnownHosts(text);
}

std::optional<KnownHosts::Entry> KnownHosts::parseLine(const QByteArray &line)
{
    QList<QByteArray> fields = line.simplified().split(' ');
    Entry entry;
    if (fields.first().startsWith('@')) {
        // A certificate authority signs host keys; psftp cannot take it as a key of the host.
        if (fields.first() != "@revoked")
            return std::nullopt;
        entry.revoked = true;
        fields.removeFirst();
    }
    if (fields.size() < 3 || fields[0].startsWith('#') || !isUsableKeyType(fields[1]))
        return std::nullopt;
    const QByteArray blob = keyBlob(fields[1], fields[2]);
    if (blob.isEmpty())
        return std::nullopt;
    if (fields[0].startsWith("|1|")) {
        const QList<QByteArray> parts = fields[0].split('|');
        if (parts.size() != 4)
            return std::nullopt;
        entry.salt = QByteArray::fromBase64(parts[2]);
        entry.hash = QByteArray::fromBase64(parts[3]);
        if (entry.salt.isEmpty() || entry.hash.isEmpty())
            return std::nullopt;
    } else {
        entry.patterns = fields[0].split(',');
    }
    const QByteArray digest = QCryptographicHash::hash(blob, QCryptographicHash::Sha256);
    entry.fingerprint = QStringLiteral("SHA256:") +
                        QString::fromLatin1(digest.toBase64(QByteArray::OmitTrailingEquals));
    return entry;
}

bool KnownHosts::matches(const Entry &entry, const QByteArray &name)
{
    if (!entry.hash.isEmpty())
        return QMessageAuthenticationCode::hash(name, entry.salt, QCryptographicHash::Sha1) ==
               entry.hash;
    // A negated pattern that fits rules the line out, whatever else fits.
    bool fits = false;
    for (const QByteArray &pattern : entry.patterns) {
        const bool negated = pattern.startsWith('!');
        if (globMatches(negated ? pattern.mid(1) : pattern, name)) {
            if (negated)
                return false;
            fits = true;
        }
    }
    return fits;
}

QStringList KnownHosts::fingerprints(const QString &host, int port) const
{
    // OpenSSH names a host by its lower-case name, and by "[name]:port" off the standard port.
    const QByteArray plain = host.toLower().toUtf8();
    const QByteArray name = port == 22 ? plain : "[" + plain + "]:" + QByteArray::number(port);
    QStringList revoked;
    QStringList keys;
    for (const Entry &entry : m_entries) {
        if (matches(entry, name))
            (entry.revoked ? revoked : keys).append(entry.fingerprint);
    }
    keys.removeDuplicates();
    for (const QString &key : std::as_const(revoked))
        keys.removeAll(key);
    return keys;
}

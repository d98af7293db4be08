// A known_hosts file as the run reads it for psftp's -hostkey: any bytes give, for any host and
// port, only well-formed SHA-256 fingerprints, each once.
#include "fuzz_check.h"

#include "transfer/known_hosts.h"

#include <QByteArray>
#include <QSet>

#include <cstddef>
#include <cstdint>

namespace {

// "SHA256:" and the 43 characters of 32 bytes in base64 without padding.
bool isFingerprint(const QString &text)
{
    if (text.size() != 50 || !text.startsWith(QLatin1String("SHA256:")))
        return false;
    for (const QChar c : text.mid(7)) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('+') && c != QLatin1Char('/'))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    const KnownHosts file(text);
    for (const auto &[host, port] : {std::pair{QStringLiteral("a.example"), 22},
                                     std::pair{QStringLiteral("127.0.0.1"), 2222},
                                     std::pair{QStringLiteral("[x]:1"), 65535}}) {
        const QStringList keys = file.fingerprints(host, port);
        fuzzCheck(QSet<QString>(keys.cbegin(), keys.cend()).size() == keys.size(),
                  "each key is given once");
        for (const QString &key : keys)
            fuzzCheck(isFingerprint(key), "a key is a SHA-256 fingerprint");
    }
    return 0;
}

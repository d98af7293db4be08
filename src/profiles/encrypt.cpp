#include "profiles/encrypt.h"

QByteArray CipherKey;

namespace {

QByteArray combine(const QByteArray &text, QByteArray key, int direction)
{
    key = key.toUpper();
    if (key.isEmpty())
        return text;
    const qsizetype length = key.size();
    QByteArray result(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        // Position i + 1 counted from 1 takes the key's character ((i + 1) mod L) + 1, that is
        // index (i + 1) mod L counted from 0: the first text character meets the key's second.
        const auto c = static_cast<unsigned char>(text[i]);
        const auto k = static_cast<unsigned char>(key[(i + 1) % length]);
        result[i] = static_cast<char>((c + direction * k) & 0xFF);
    }
    return result;
}

} // namespace

QByteArray EncryptWithKey(const QByteArray &text, QByteArray key)
{
    return combine(text, std::move(key), 1);
}

QByteArray DecryptWithKey(const QByteArray &text, QByteArray key)
{
    return combine(text, std::move(key), -1);
}

void EncryptText(const QByteArray &text, QByteArray &result)
{
    result = EncryptWithKey(text, CipherKey);
}

void DecryptText(const QByteArray &text, QByteArray &result)
{
    result = DecryptWithKey(text, CipherKey);
}

#pragma once

#include <QByteArray>

/// The program-wide key of the profile cipher, set once at start-up.
extern QByteArray CipherKey;

/// The key every Profile file of this program is enciphered with.
inline constexpr char kProfileCipherKey[] = "CalmTide";

/// Enciphers 8-bit text with an additive key: each code plus the code of the upper-cased key's
/// character at position (i mod L) + 1, modulo 256. An empty key leaves the text as it is.
QByteArray EncryptWithKey(const QByteArray &text, QByteArray key);

/// The inverse of EncryptWithKey with the same key.
QByteArray DecryptWithKey(const QByteArray &text, QByteArray key);

/// EncryptWithKey with CipherKey, the result handed back in `result`.
void EncryptText(const QByteArray &text, QByteArray &result);

/// DecryptWithKey with CipherKey, the result handed back in `result`.
void DecryptText(const QByteArray &text, QByteArray &result);

#pragma once

#include <QByteArray>
#include <QString>

/// What stands for a password wherever one would otherwise show.
inline const QString kPasswordMask = QStringLiteral("********");

namespace password_mask_detail {

// A password this short is masked only where it stands as a word of its own: inside words
// ("stopped" for "p") masking it would garble the text and hide nothing worth hiding.
inline constexpr qsizetype kWholeWordsBelow = 4;

inline bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

inline bool isWordCharacter(char c)
{
    // Bytes of a multi-byte character count as letters.
    return (static_cast<unsigned char>(c) & 0x80) != 0 || QChar::fromLatin1(c).isLetterOrNumber() ||
           c == '_';
}

template <typename Text>
Text masked(Text text, const Text &password, const Text &mask)
{
    if (password.isEmpty())
        return text;
    const bool wholeWords = password.size() < kWholeWordsBelow;
    for (qsizetype at = text.indexOf(password); at >= 0; at = text.indexOf(password, at)) {
        const qsizetype end = at + password.size();
        const bool joinedBefore =
            at > 0 && isWordCharacter(text.at(at - 1)) && isWordCharacter(password.front());
        const bool joinedAfter =
            end < text.size() && isWordCharacter(text.at(end)) && isWordCharacter(password.back());
        if (wholeWords && (joinedBefore || joinedAfter)) {
            at = end;
            continue;
        }
        text.replace(at, password.size(), mask);
        at += mask.size();
    }
    return text;
}

} // namespace password_mask_detail

/// The text with every place that holds `password` masked: a hostile server may echo what it was
/// sent, and a client's words end up in reasons, reports and terminals.
inline QString withPasswordMasked(const QString &text, const QString &password)
{
    return password_mask_detail::masked(text, password, kPasswordMask);
}

/// The same for 8-bit text in the locale's encoding, as the logs hold it.
inline QByteArray withPasswordMasked(const QByteArray &text, const QString &password)
{
    return password_mask_detail::masked(text, password.toLocal8Bit(), kPasswordMask.toLatin1());
}

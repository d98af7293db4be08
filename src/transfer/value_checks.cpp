#include "transfer/value_checks.h"

#include <QFileInfo>

namespace {

bool isControl(QChar c)
{
    const char16_t code = c.unicode();
    return (code < 0x20 && code != u'\t') || code == 0x7f;
}

} // namespace

bool holdsControlCharacter(const QString &value)
{
    for (const QChar c : value) {
        if (isControl(c))
            return true;
    }
    return false;
}

QString withControlsShown(const QString &value)
{
    QString shown;
    shown.reserve(value.size());
    for (const QChar c : value) {
        if (!isControl(c))
            shown += c;
        else // the Unicode control pictures: U+2400 for NUL onwards, U+2421 for DEL
            shown += QChar(c.unicode() == 0x7f ? char16_t(0x2421) : char16_t(0x2400 + c.unicode()));
    }
    return shown;
}

bool isSendableFileName(const QString &path)
{
    if (holdsControlCharacter(path))
        return false;
    if (!path.contains(QChar::ReplacementCharacter))
        return true;
    const QFileInfo file(path);
    return file.exists() || file.isSymLink();
}

bool isSingleWordHost(const QString &host)
{
    if (host == QLatin1String(" "))
        return true;
    if (host.startsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : host) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('"'))
            return false;
    }
    return true;
}

bool userIdLooksLikeOption(const QString &userId)
{
    return userId.startsWith(QLatin1Char('-'));
}

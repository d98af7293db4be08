#pragma once

#include <QByteArrayView>
#include <QString>

#include <map>
#include <memory>

class QStringDecoder;

/// Turns 8-bit text in a Windows code page into Unicode: through Qt's converters where Qt knows the
/// code page, through a table of Windows-1252 built in here where it does not.
class CodePageDecoder final
{
public:
    CodePageDecoder();
    ~CodePageDecoder();

    /// The Unicode text of `bytes` in `codePage`; an unknown code page reads as Windows-1252, and
    /// bytes that are not text in the code page become U+FFFD or are dropped.
    QString decode(int codePage, QByteArrayView bytes);

    /// True when Qt converts `codePage` itself, false when the built-in table stands in.
    bool isAvailable(int codePage);

    /// The Unicode text of `bytes` in Windows-1252, from the built-in table.
    static QString decodeWindows1252(QByteArrayView bytes);

private:
    QStringDecoder *decoderFor(int codePage);

    // A null entry remembers that Qt lacks the code page, so each is looked up once.
    std::map<int, std::unique_ptr<QStringDecoder>> m_decoders;
};

#include "help/code_page.h"

#include <QByteArrayList>
#include <QStringDecoder>

#include <algorithm>

namespace {

/// Windows-1252 from 0x80 to 0x9F; the five bytes it leaves undefined keep their C1 code, as
/// Windows itself maps them.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr int kUtf8CodePage = 65001;
constexpr int kHighestCodePage = 65535;
// A document names a handful of code pages; a hostile one naming thousands must not make each
// of them a converter.
constexpr std::size_t kMaxDecoders = 32;

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

CodePageDecoder::CodePageDecoder() = default;
CodePageDecoder::~CodePageDecoder() = default;

QString CodePageDecoder::decode(int codePage, QByteArrayView bytes)
{
    // Every code page a rich text document may name agrees with ASCII below 0x80.
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    if (QStringDecoder *decoder = decoderFor(codePage))
        return decoder->decode(bytes);
    return decodeWindows1252(bytes);
}

bool CodePageDecoder::isAvailable(int codePage)
{
    return decoderFor(codePage) != nullptr;
}

QString CodePageDecoder::decodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = QChar(byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte);
    }
    return text;
}

QStringDecoder *CodePageDecoder::decoderFor(int codePage)
{
    auto found = m_decoders.find(codePage);
    if (found != m_decoders.end())
        return found->second.get();

    if (codePage <= 0 || codePage > kHighestCodePage || m_decoders.size() >= kMaxDecoders)
        return nullptr;
    std::unique_ptr<QStringDecoder> decoder;
    // Stateless: a lead byte cut off at the end of one piece of text must not swallow the first
    // byte of the next, which may stand in another font's code page.
    const QByteArrayList names = codePage == kUtf8CodePage
                                     ? QByteArrayList{"UTF-8"}
                                     : QByteArrayList{"windows-" + QByteArray::number(codePage),
                                                      "cp" + QByteArray::number(codePage),
                                                      "IBM" + QByteArray::number(codePage)};
    for (const QByteArray &name : names) {
        auto candidate =
            std::make_unique<QStringDecoder>(name.constData(), QStringConverter::Flag::Stateless);
        if (candidate->isValid()) {
            decoder = std::move(candidate);
            break;
        }
    }
    return m_decoders.emplace(codePage, std::move(decoder)).first->second.get();
}

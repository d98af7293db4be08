// The rich text reader on any bytes: it must read something from them, give no more characters
// than there are bytes, and keep sizes, indents, colours and font names within what the window
// can lay out.
#include "fuzz_check.h"

#include "help/rtf_reader.h"

#include <cstddef>
#include <cstdint>

namespace {

// The largest font size and indent word processors offer, in half points and twips.
constexpr int kLargestHalfPoints = 3276;
constexpr int kWidestIndent = 31680;

bool isIndent(int twips)
{
    return twips >= -kWidestIndent && twips <= kWidestIndent;
}

bool isSpacing(int twips)
{
    return twips >= 0 && twips <= kWidestIndent;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const RtfDocument document = readRtf(bytes);
    fuzzCheck(document.plainText().size() <= bytes.size(), "at most one character per byte");
    for (const RtfParagraph &paragraph : document.paragraphs) {
        fuzzCheck(isIndent(paragraph.leftIndent) && isIndent(paragraph.rightIndent) &&
                      isIndent(paragraph.firstLineIndent),
                  "indents within a page");
        fuzzCheck(isSpacing(paragraph.spaceBefore) && isSpacing(paragraph.spaceAfter),
                  "paragraph spacing within a page");
        for (const RtfRun &run : paragraph.runs) {
            fuzzCheck(run.format.halfPoints > 0 && run.format.halfPoints <= kLargestHalfPoints,
                      "font sizes a word processor offers");
            fuzzCheck(run.format.color <= 0xFFFFFF, "colours of three bytes");
            fuzzCheck(run.format.fontName.size() <= 255, "font names of a sensible length");
        }
    }
    return 0;
}

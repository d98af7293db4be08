#include "tools/common/terminal_text.h"

#include <utility>

namespace {

void appendEscaped(std::string &out, unsigned char byte)
{
    if (byte >= 0x80) {
        out += "M-";
        byte &= 0x7F;
    }
    if (byte == 0x7F) {
        out += "^?";
    } else if (byte >= 0x20) {
        out += static_cast<char>(byte); // the lead byte of a UTF-8 encoded C1 control
    } else {
        out += '^';
        out += static_cast<char>(byte + 0x40);
    }
}

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

/// The length of the UTF-8 character that starts at `at`: 0 when the bytes there are not one,
/// -1 when they are its valid start but the text ends first.
int utf8Length(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const int length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
    for (int i = 1; i < length; ++i) {
        if (at + i >= text.size())
            return -1;
        const auto byte = static_cast<unsigned char>(text[at + i]);
        // The second byte also rules out overlong forms, surrogates and code points past U+10FFFF.
        const bool fits = i > 1          ? isContinuation(byte)
                          : lead == 0xE0 ? byte >= 0xA0 && byte <= 0xBF
                          : lead == 0xED ? byte >= 0x80 && byte <= 0x9F
                          : lead == 0xF0 ? byte >= 0x90 && byte <= 0xBF
                          : lead == 0xF4 ? byte >= 0x80 && byte <= 0x8F
                                         : isContinuation(byte);
        if (!fits)
            return 0;
    }
    return length;
}

} // namespace

std::string TerminalText::feed(std::string_view piece)
{
    m_waiting.append(piece);
    return convert(std::exchange(m_waiting, std::string()), false);
}

std::string TerminalText::finish()
{
    return convert(std::exchange(m_waiting, std::string()), true);
}

std::string TerminalText::convert(std::string_view text, bool final)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool lastByte = i + 1 == text.size();
        if (m_keepLineEnds && byte == '\r' && lastByte && !final) {
            m_waiting = "\r"; // a line end, if LF comes next
        } else if (byte == '\t' || (byte >= 0x20 && byte < 0x7F) ||
                   (m_keepLineEnds &&
                    (byte == '\n' || (byte == '\r' && !lastByte && text[i + 1] == '\n')))) {
            out += static_cast<char>(byte);
        } else if (byte < 0x80) {
            appendEscaped(out, byte);
        } else if (const int length = utf8Length(text, i); length < 0 && !final) {
            m_waiting = std::string(text.substr(i)); // the rest of the character is to come
            break;
        } else if (length > 0 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            appendEscaped(out, byte); // a C1 control, UTF-8 encoded
            appendEscaped(out, static_cast<unsigned char>(text[++i]));
        } else if (length > 0) {
            out.append(text.substr(i, static_cast<std::size_t>(length)));
            i += static_cast<std::size_t>(length) - 1;
        } else if (byte < 0xA0) {
            appendEscaped(out, byte); // a lone C1 byte, a control in the 8-bit code pages
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

std::string visibleLine(std::string_view line)
{
    TerminalText text(false);
    std::string shown = text.feed(line);
    return shown + text.finish();
}

#pragma once

#include <string>
#include <string_view>

/// Makes another program's bytes safe to show on a terminal and to keep in a log, as `cat -v`
/// shows control characters: ^@ to ^_ for C0 (tab apart), ^? for DEL, "M-" before the 7-bit form
/// of a C1 control, whether it arrives as a lone byte or UTF-8 encoded (M-BM-^[ for U+009B). Every
/// other byte passes unchanged, invalid UTF-8 included: in the 8-bit code pages such bytes are
/// letters, and a UTF-8 terminal shows them as a replacement mark, not as a command. Text fed in
/// pieces comes out as if fed whole.
class TerminalText final
{
public:
    /// keepLineEnds: LF, and CR before LF, pass as line ends (a listing); else they are escaped.
    explicit TerminalText(bool keepLineEnds) : m_keepLineEnds(keepLineEnds) {}

    /// The shown form of the next piece; an incomplete character at its end waits for the next.
    std::string feed(std::string_view piece);

    /// The shown form of whatever still waits.
    std::string finish();

private:
    std::string convert(std::string_view text, bool final);

    bool m_keepLineEnds;
    std::string m_waiting;
};

/// The shown form of one line (without its line end): every control character but tab escaped.
std::string visibleLine(std::string_view line);

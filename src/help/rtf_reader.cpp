#include "help/rtf_reader.h"

#include "help/code_page.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// Real documents nest a few dozen groups at most; deeper groups are skipped whole, so the saved
// states stay few whatever the input.
constexpr qsizetype kMaxGroupDepth = 200;
constexpr std::size_t kMaxWordLength = 32;
constexpr qint64 kMaxParameter = 2147483647;
constexpr int kDefaultHalfPoints = 24;
constexpr int kMaxHalfPoints = 3276; // 1638 points, the largest size word processors offer
constexpr int kMaxIndent = 31680;    // 22 inches, the widest page word processors offer
constexpr int kMaxUnicodeSkip = 16;
constexpr int kWindows1252 = 1252;
constexpr int kSymbolCodePage = 42; // Windows' number for the glyph order of symbol fonts
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

enum class Destination
{
    Body,
    FontTable,
    ColorTable,
    Skip
};

enum class Word
{
    Par,
    Line,
    Tab,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    StrikeDouble,
    Hidden,
    FontSize,
    Color,
    Font,
    Plain,
    Pard,
    AlignLeft,
    AlignRight,
    AlignCenter,
    AlignJustify,
    LeftIndent,
    RightIndent,
    FirstIndent,
    SpaceBefore,
    SpaceAfter,
    UnicodeSkip,
    Unicode,
    Binary,
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCodePage,
    DefaultFont,
    FontCharset,
    FontCodePage,
    FontFamilyWord,
    Red,
    Green,
    Blue,
    FontTableStart,
    ColorTableStart,
    SkippedDestination,
    UnicodePair, // \upr: an 8-bit group followed by its Unicode twin
    UnicodeTwin, // \ud: the Unicode twin
    SpecialChar
};

struct WordInfo
{
    Word word;
    char16_t character = 0;                    // for SpecialChar
    RtfFontFamily family = RtfFontFamily::Any; // for FontFamilyWord
};

constexpr std::string_view kUnderlineKinds =
    "uld uldb ulw ulth uldash uldashd uldashdd ulwave ulhwave ululdbwave ulldash ulthd ulthdash "
    "ulthdashd ulthdashdd ulthldash";

/// Destinations whose text is not part of the document's body.
constexpr std::string_view kSkippedDestinations =
    "stylesheet info pict nonshppict header headerl headerr headerf footer footerl footerr "
    "footerf footnote annotation atnauthor atnid xe tc txe rxe listtable listoverridetable revtbl "
    "rsidtbl filetbl themedata colorschememapping latentstyles datastore pgdsctbl pn pntxta "
    "pntxtb fldinst datafield template objdata objclass objname bkmkstart bkmkend generator "
    "xmlnstbl mmathPr author operator title subject keywords comment doccomm company creatim "
    "revtim printim buptim private protusertbl userprops docvar fchars lchars falt panose "
    "fontemb fontfile";

/// The blank-separated words of a list.
std::vector<std::string_view> wordsOf(std::string_view list)
{
    std::vector<std::string_view> result;
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = std::min(list.find(' ', start), list.size());
        result.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

const std::unordered_map<std::string_view, WordInfo> &words()
{
    static const std::unordered_map<std::string_view, WordInfo> table = [] {
        std::unordered_map<std::string_view, WordInfo> t = {
            {"par", {Word::Par}},
            {"page", {Word::Par}},
            {"sect", {Word::Par}},
            {"row", {Word::Par}},
            {"line", {Word::Line}},
            {"tab", {Word::Tab}},
            {"cell", {Word::Tab}},
            {"nestcell", {Word::Tab}},
            {"b", {Word::Bold}},
            {"i", {Word::Italic}},
            {"ul", {Word::Underline}},
            {"ulnone", {Word::UnderlineNone}},
            {"strike", {Word::Strike}},
            {"striked", {Word::StrikeDouble}},
            {"v", {Word::Hidden}},
            {"fs", {Word::FontSize}},
            {"cf", {Word::Color}},
            {"f", {Word::Font}},
            {"plain", {Word::Plain}},
            {"pard", {Word::Pard}},
            {"ql", {Word::AlignLeft}},
            {"qr", {Word::AlignRight}},
            {"qc", {Word::AlignCenter}},
            {"qj", {Word::AlignJustify}},
            {"qd", {Word::AlignJustify}},
            {"li", {Word::LeftIndent}},
            {"lin", {Word::LeftIndent}},
            {"ri", {Word::RightIndent}},
            {"rin", {Word::RightIndent}},
            {"fi", {Word::FirstIndent}},
            {"sb", {Word::SpaceBefore}},
            {"sa", {Word::SpaceAfter}},
            {"uc", {Word::UnicodeSkip}},
            {"u", {Word::Unicode}},
            {"bin", {Word::Binary}},
            {"ansi", {Word::Ansi}},
            {"mac", {Word::Mac}},
            {"pc", {Word::Pc}},
            {"pca", {Word::Pca}},
            {"ansicpg", {Word::AnsiCodePage}},
            {"deff", {Word::DefaultFont}},
            {"fcharset", {Word::FontCharset}},
            {"cpg", {Word::FontCodePage}},
            {"fnil", {Word::FontFamilyWord, 0, RtfFontFamily::Any}},
            {"froman", {Word::FontFamilyWord, 0, RtfFontFamily::Roman}},
            {"fswiss", {Word::FontFamilyWord, 0, RtfFontFamily::Swiss}},
            {"fmodern", {Word::FontFamilyWord, 0, RtfFontFamily::Modern}},
            {"fscript", {Word::FontFamilyWord, 0, RtfFontFamily::Script}},
            {"fdecor", {Word::FontFamilyWord, 0, RtfFontFamily::Decorative}},
            {"ftech", {Word::FontFamilyWord, 0, RtfFontFamily::Technical}},
            {"red", {Word::Red}},
            {"green", {Word::Green}},
            {"blue", {Word::Blue}},
            {"fonttbl", {Word::FontTableStart}},
            {"colortbl", {Word::ColorTableStart}},
            {"upr", {Word::UnicodePair}},
            {"ud", {Word::UnicodeTwin}},
            {"emdash", {Word::SpecialChar, 0x2014}},
            {"endash", {Word::SpecialChar, 0x2013}},
            {"emspace", {Word::SpecialChar, 0x2003}},
            {"enspace", {Word::SpecialChar, 0x2002}},
            {"qmspace", {Word::SpecialChar, 0x2005}},
            {"bullet", {Word::SpecialChar, 0x2022}},
            {"lquote", {Word::SpecialChar, 0x2018}},
            {"rquote", {Word::SpecialChar, 0x2019}},
            {"ldblquote", {Word::SpecialChar, 0x201C}},
            {"rdblquote", {Word::SpecialChar, 0x201D}},
            {"zwj", {Word::SpecialChar, 0x200D}},
            {"zwnj", {Word::SpecialChar, 0x200C}},
            {"ltrmark", {Word::SpecialChar, 0x200E}},
            {"rtlmark", {Word::SpecialChar, 0x200F}},
        };
        // The kinds of underline a word processor offers all read as underline here.
        for (std::string_view kind : wordsOf(kUnderlineKinds))
            t.emplace(kind, WordInfo{Word::Underline});
        for (std::string_view skipped : wordsOf(kSkippedDestinations))
            t.emplace(skipped, WordInfo{Word::SkippedDestination});
        return t;
    }();
    return table;
}

struct CharState
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int halfPoints = kDefaultHalfPoints;
    int color = 0;
    int font = -1; // the document's default font

    bool operator==(const CharState &) const = default;
};

struct ParaState
{
    RtfAlignment alignment = RtfAlignment::Left;
    int left = 0;
    int right = 0;
    int first = 0;
    int before = 0;
    int after = 0;
};

struct GroupState
{
    CharState chars;
    ParaState para;
    int unicodeSkip = 1;
    Destination destination = Destination::Body;
    bool skipNextGroup = false; // \upr: the first group repeats the Unicode twin in 8 bits
};

struct FontEntry
{
    QString name;
    RtfFontFamily family = RtfFontFamily::Any;
    int charset = -1;
    int codePage = 0;
};

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/// The code page of each Windows character set a font table may name.
constexpr std::pair<int, int> kCharsetCodePages[] = {
    {0, kWindows1252}, {2, kSymbolCodePage}, {77, 10000}, {128, 932},  {129, 949},
    {130, 1361},       {134, 936},           {136, 950},  {161, 1253}, {162, 1254},
    {163, 1258},       {177, 1255},          {178, 1256}, {186, 1257}, {204, 1251},
    {222, 874},        {238, 1250},          {254, 437},  {255, 850}};

/// The code page of a font's character set; 0 for the document's own code page.
int codePageOfCharset(int charset)
{
    for (const auto &[set, codePage] : kCharsetCodePages) {
        if (set == charset)
            return codePage;
    }
    return 0;
}

/// Symbol fonts place their glyphs at byte codes of their own; the bullets that word processors
/// put before list items read as the Unicode bullets they show, the rest as Windows-1252.
QString decodeSymbolFont(QByteArrayView bytes, bool wingdings)
{
    QString text = CodePageDecoder::decodeWindows1252(bytes);
    for (QChar &c : text) {
        switch (c.unicode()) {
        case 0xB7:
            if (!wingdings)
                c = QChar(0x2022);
            break;
        case 0xA7:
            if (wingdings)
                c = QChar(0x25AA);
            break;
        case 0xD8:
            if (wingdings)
                c = QChar(0x27A2);
            break;
        case 0xFC:
            if (wingdings)
                c = QChar(0x2713);
            break;
        default:
            break;
        }
    }
    return text;
}

/// Text that is not RTF: its lines, as UTF-8 when they are valid UTF-8, else as Windows-1252.
RtfDocument readPlainText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = CodePageDecoder::decodeWindows1252(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);

    RtfDocument document;
    if (text.isEmpty())
        return document;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        RtfParagraph paragraph;
        if (!line.isEmpty())
            paragraph.runs.append({line, RtfCharFormat()});
        document.paragraphs.append(paragraph);
    }
    return document;
}

/// One pass over the RTF text: a tokenizer and the state machine that it drives.
class Reader final
{
public:
    explicit Reader(const QByteArray &rtf)
        : m_pos(rtf.constData()), m_end(rtf.constData() + rtf.size())
    {
    }

    RtfDocument read();

private:
    void openGroup();
    void closeGroup();
    void controlSequence();
    void controlSymbol(char symbol);
    void controlWord(std::string_view name, bool hasParameter, int parameter);
    void applyWord(const WordInfo &info, bool hasParameter, int parameter);
    void textByte(char byte, bool literal);
    void flushBytes();
    void deliver(QString text);
    void deliverChar(char16_t character);
    void appendToBody(QString text);
    void endParagraph();
    void finishDocument();
    void skipCurrentGroup();
    void commitFont();
    void commitColor();
    int currentCodePage() const;
    int codePageOf(const FontEntry &font) const;
    const FontEntry *fontOf(const CharState &chars) const;
    RtfCharFormat formatOf(const CharState &chars) const;

    const char *m_pos;
    const char *m_end;
    bool m_done = false;

    GroupState m_state;
    QList<GroupState> m_saved; // one per open group: the state outside it
    int m_skipDepth = 0;       // open groups of a skipped destination
    bool m_skipPopsState = false;
    bool m_starred = false;
    int m_fallbackToSkip = 0; // characters after \uN that stand in for it

    QByteArray m_bytes; // 8-bit text not yet decoded
    char16_t m_highSurrogate = 0;
    CodePageDecoder m_decoder;

    int m_codePage = kWindows1252;
    int m_defaultFont = 0;
    QHash<int, FontEntry> m_fonts;
    bool m_fontPending = false;
    int m_fontNumber = 0;
    FontEntry m_font;
    QList<std::optional<quint32>> m_colors;
    bool m_colorSet = false;
    int m_red = 0;
    int m_green = 0;
    int m_blue = 0;

    RtfDocument m_document;
    RtfParagraph m_paragraph;
    CharState m_runState;
};

RtfDocument Reader::read()
{
    while (m_pos < m_end && !m_done) {
        const char c = *m_pos++;
        switch (c) {
        case '{':
            openGroup();
            break;
        case '}':
            closeGroup();
            break;
        case '\\':
            controlSequence();
            break;
        case '\t':
            m_starred = false;
            if (m_skipDepth == 0)
                deliverChar(u'\t');
            break;
        default:
            // Line ends are for the writer's convenience only; other control bytes are noise.
            if (static_cast<unsigned char>(c) < 0x20)
                break;
            m_starred = false;
            if (m_skipDepth == 0)
                textByte(c, false);
            break;
        }
    }
    if (!m_done)
        finishDocument();
    return std::move(m_document);
}

void Reader::openGroup()
{
    flushBytes();
    m_starred = false;
    m_fallbackToSkip = 0;
    if (m_skipDepth > 0) {
        ++m_skipDepth;
        return;
    }
    if (m_saved.size() >= kMaxGroupDepth) {
        m_skipDepth = 1;
        m_skipPopsState = false;
        return;
    }
    const bool skipThis = m_state.skipNextGroup;
    m_state.skipNextGroup = false;
    m_saved.append(m_state);
    if (skipThis)
        skipCurrentGroup();
}

void Reader::closeGroup()
{
    flushBytes();
    m_starred = false;
    m_fallbackToSkip = 0;
    if (m_skipDepth > 0) {
        if (--m_skipDepth > 0 || !m_skipPopsState)
            return;
    }
    if (m_state.destination == Destination::FontTable && m_fontPending)
        commitFont();
    if (m_saved.size() <= 1) {
        // The document's own group ends here; whatever follows it is not part of it.
        finishDocument();
        m_done = true;
        return;
    }
    m_state = m_saved.takeLast();
}

void Reader::controlSequence()
{
    if (m_pos == m_end)
        return;
    if (!isLetter(*m_pos)) {
        controlSymbol(*m_pos++);
        return;
    }

    const char *start = m_pos;
    while (m_pos < m_end && isLetter(*m_pos))
        ++m_pos;
    const std::string_view name(start, static_cast<std::size_t>(m_pos - start));

    bool hasParameter = false;
    bool negative = false;
    qint64 value = 0;
    if (m_pos < m_end && *m_pos == '-' && m_pos + 1 < m_end && isDigit(m_pos[1])) {
        negative = true;
        ++m_pos;
    }
    while (m_pos < m_end && isDigit(*m_pos)) {
        hasParameter = true;
        value = std::min(value * 10 + (*m_pos++ - '0'), kMaxParameter);
    }
    if (m_pos < m_end && *m_pos == ' ')
        ++m_pos;
    controlWord(name, hasParameter, static_cast<int>(negative ? -value : value));
}

void Reader::controlSymbol(char symbol)
{
    if (symbol == '\'') {
        int byte = 0;
        int digits = 0;
        for (; digits < 2 && m_pos < m_end && hexValue(*m_pos) >= 0; ++digits)
            byte = byte * 16 + hexValue(*m_pos++);
        // A byte cut short is noise, not a control character.
        if (digits == 2 && m_skipDepth == 0)
            textByte(static_cast<char>(byte), true);
        return;
    }
    if (symbol == '*') {
        flushBytes();
        m_starred = true;
        return;
    }
    m_starred = false;
    if (m_skipDepth > 0)
        return;
    if (symbol == '\\' || symbol == '{' || symbol == '}') {
        textByte(symbol, true);
        return;
    }
    if (m_fallbackToSkip > 0) {
        --m_fallbackToSkip;
        return;
    }
    switch (symbol) {
    case '~':
        deliverChar(0x00A0);
        break;
    case '-':
        deliverChar(0x00AD);
        break;
    case '_':
        deliverChar(0x2011);
        break;
    case '\n':
    case '\r':
        endParagraph();
        break;
    default:
        break;
    }
}

void Reader::controlWord(std::string_view name, bool hasParameter, int parameter)
{
    flushBytes();
    const bool starred = std::exchange(m_starred, false);
    const auto &table = words();
    const auto found = name.size() <= kMaxWordLength ? table.find(name) : table.end();

    // Binary data is skipped by its length wherever it stands, or its bytes would read as RTF.
    if (found != table.end() && found->second.word == Word::Binary) {
        const qint64 length = std::clamp<qint64>(hasParameter ? parameter : 0, 0, m_end - m_pos);
        m_pos += length;
        if (m_skipDepth == 0 && m_fallbackToSkip > 0)
            --m_fallbackToSkip;
        return;
    }
    if (m_skipDepth > 0)
        return;
    if (m_fallbackToSkip > 0) {
        --m_fallbackToSkip;
        return;
    }
    // Never skip the document's own group: a stray destination there would hide everything.
    const bool nested = m_saved.size() >= 2;
    if (starred && nested && (found == table.end() || found->second.word != Word::UnicodeTwin)) {
        skipCurrentGroup();
        return;
    }
    if (found == table.end())
        return;
    if (found->second.word == Word::SkippedDestination) {
        if (nested)
            skipCurrentGroup();
        return;
    }
    applyWord(found->second, hasParameter, parameter);
}

void Reader::applyWord(const WordInfo &info, bool hasParameter, int parameter)
{
    const bool on = !hasParameter || parameter != 0;
    CharState &chars = m_state.chars;
    ParaState &para = m_state.para;
    const auto indent = [parameter] { return std::clamp(parameter, -kMaxIndent, kMaxIndent); };
    const auto spacing = [parameter] { return std::clamp(parameter, 0, kMaxIndent); };
    const auto component = [parameter] { return std::clamp(parameter, 0, 255); };

    switch (info.word) {
    case Word::Par:
        endParagraph();
        break;
    case Word::Line:
        deliverChar(QChar::LineSeparator);
        break;
    case Word::Tab:
        deliverChar(u'\t');
        break;
    case Word::SpecialChar:
        deliverChar(info.character);
        break;
    case Word::Bold:
        chars.bold = on;
        break;
    case Word::Italic:
        chars.italic = on;
        break;
    case Word::Underline:
        chars.underline = on;
        break;
    case Word::UnderlineNone:
        chars.underline = false;
        break;
    case Word::Strike:
    case Word::StrikeDouble:
        chars.strike = on;
        break;
    case Word::Hidden:
        chars.hidden = on;
        break;
    case Word::FontSize:
        chars.halfPoints = parameter > 0 ? std::min(parameter, kMaxHalfPoints) : kDefaultHalfPoints;
        break;
    case Word::Color:
        chars.color = std::max(parameter, 0);
        break;
    case Word::Font:
        if (m_state.destination == Destination::FontTable) {
            if (m_fontPending)
                commitFont();
            m_fontPending = true;
            m_fontNumber = parameter;
            m_font = FontEntry();
        } else {
            chars.font = parameter;
        }
        break;
    case Word::Plain:
        chars = CharState();
        break;
    case Word::Pard:
        para = ParaState();
        break;
    case Word::AlignLeft:
        para.alignment = RtfAlignment::Left;
        break;
    case Word::AlignRight:
        para.alignment = RtfAlignment::Right;
        break;
    case Word::AlignCenter:
        para.alignment = RtfAlignment::Center;
        break;
    case Word::AlignJustify:
        para.alignment = RtfAlignment::Justify;
        break;
    case Word::LeftIndent:
        para.left = indent();
        break;
    case Word::RightIndent:
        para.right = indent();
        break;
    case Word::FirstIndent:
        para.first = indent();
        break;
    case Word::SpaceBefore:
        para.before = spacing();
        break;
    case Word::SpaceAfter:
        para.after = spacing();
        break;
    case Word::UnicodeSkip:
        m_state.unicodeSkip = std::clamp(parameter, 0, kMaxUnicodeSkip);
        break;
    case Word::Unicode: {
        // The parameter is a signed 16-bit number: code units above 32767 arrive negative.
        const int unit = parameter < 0 ? parameter + 65536 : parameter;
        deliverChar(hasParameter && unit >= 0 && unit <= 0xFFFF ? char16_t(unit)
                                                                : char16_t(0xFFFD));
        m_fallbackToSkip = m_state.unicodeSkip;
        break;
    }
    case Word::Ansi:
        m_codePage = kWindows1252;
        break;
    case Word::Mac:
        m_codePage = 10000;
        break;
    case Word::Pc:
        m_codePage = 437;
        break;
    case Word::Pca:
        m_codePage = 850;
        break;
    case Word::AnsiCodePage:
        if (parameter > 0)
            m_codePage = parameter;
        break;
    case Word::DefaultFont:
        m_defaultFont = parameter;
        break;
    case Word::FontCharset:
        if (m_state.destination == Destination::FontTable)
            m_font.charset = parameter;
        break;
    case Word::FontCodePage:
        if (m_state.destination == Destination::FontTable)
            m_font.codePage = std::max(parameter, 0);
        break;
    case Word::FontFamilyWord:
        if (m_state.destination == Destination::FontTable)
            m_font.family = info.family;
        break;
    case Word::Red:
        m_red = component();
        m_colorSet = true;
        break;
    case Word::Green:
        m_green = component();
        m_colorSet = true;
        break;
    case Word::Blue:
        m_blue = component();
        m_colorSet = true;
        break;
    case Word::FontTableStart:
        if (m_saved.size() >= 2)
            m_state.destination = Destination::FontTable;
        break;
    case Word::ColorTableStart:
        if (m_saved.size() >= 2) {
            m_state.destination = Destination::ColorTable;
            m_colors.clear();
            m_colorSet = false;
        }
        break;
    case Word::UnicodePair:
        m_state.skipNextGroup = true;
        break;
    case Word::UnicodeTwin:
    case Word::SkippedDestination:
    case Word::Binary:
        break;
    }
}

void Reader::textByte(char byte, bool literal)
{
    m_starred = false;
    if (m_fallbackToSkip > 0) {
        --m_fallbackToSkip;
        return;
    }
    switch (m_state.destination) {
    case Destination::Body:
        if (!m_state.chars.hidden)
            m_bytes.append(byte);
        break;
    case Destination::FontTable:
        if (byte == ';' && !literal) {
            flushBytes();
            commitFont();
        } else if (m_fontPending) {
            m_bytes.append(byte);
        }
        break;
    case Destination::ColorTable:
        if (byte == ';' && !literal)
            commitColor();
        break;
    case Destination::Skip:
        break;
    }
}

void Reader::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    const int codePage = currentCodePage();
    QString text;
    if (codePage == kSymbolCodePage) {
        const FontEntry *font =
            m_state.destination == Destination::FontTable ? &m_font : fontOf(m_state.chars);
        const bool wingdings =
            font && font->name.startsWith(QLatin1String("Wingdings"), Qt::CaseInsensitive);
        text = decodeSymbolFont(m_bytes, wingdings);
    } else {
        text = m_decoder.decode(codePage, m_bytes);
    }
    m_bytes.clear();
    deliver(std::move(text));
}

void Reader::deliver(QString text)
{
    switch (m_state.destination) {
    case Destination::Body:
        appendToBody(std::move(text));
        break;
    case Destination::FontTable:
        if (m_fontPending)
            m_font.name += text;
        break;
    case Destination::ColorTable:
    case Destination::Skip:
        break;
    }
}

void Reader::deliverChar(char16_t character)
{
    flushBytes();
    deliver(QString(QChar(character)));
}

void Reader::appendToBody(QString text)
{
    if (text.isEmpty() || m_state.chars.hidden)
        return;
    // A surrogate pair may arrive as two \uN words: hold the first half until the second comes,
    // and never let half a pair stand alone.
    if (m_highSurrogate != 0) {
        text.prepend(text.front().isLowSurrogate() ? QChar(m_highSurrogate) : QChar(0xFFFD));
        m_highSurrogate = 0;
    }
    if (text.back().isHighSurrogate()) {
        m_highSurrogate = text.back().unicode();
        text.chop(1);
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool paired = text[i].isLowSurrogate()
                                ? i > 0 && text[i - 1].isHighSurrogate()
                                : !text[i].isHighSurrogate() ||
                                      (i + 1 < text.size() && text[i + 1].isLowSurrogate());
        if (!paired)
            text[i] = QChar(0xFFFD);
    }
    if (text.isEmpty())
        return;

    if (m_paragraph.runs.isEmpty() || !(m_runState == m_state.chars)) {
        m_paragraph.runs.append({QString(), formatOf(m_state.chars)});
        m_runState = m_state.chars;
    }
    m_paragraph.runs.last().text += text;
}

void Reader::endParagraph()
{
    if (m_state.destination != Destination::Body)
        return;
    flushBytes();
    if (m_highSurrogate != 0) {
        m_highSurrogate = 0;
        appendToBody(QString(QChar(0xFFFD)));
    }
    const ParaState &para = m_state.para;
    m_paragraph.alignment = para.alignment;
    m_paragraph.leftIndent = para.left;
    m_paragraph.rightIndent = para.right;
    m_paragraph.firstLineIndent = para.first;
    m_paragraph.spaceBefore = para.before;
    m_paragraph.spaceAfter = para.after;
    m_document.paragraphs.append(std::move(m_paragraph));
    m_paragraph = RtfParagraph();
}

void Reader::finishDocument()
{
    flushBytes();
    // The text after the last paragraph mark is a paragraph of its own only when there is some.
    if (!m_paragraph.runs.isEmpty() || m_highSurrogate != 0) {
        m_state.destination = Destination::Body;
        endParagraph();
    }
}

void Reader::skipCurrentGroup()
{
    m_state.destination = Destination::Skip;
    m_skipDepth = 1;
    m_skipPopsState = true;
}

void Reader::commitFont()
{
    if (!m_fontPending)
        return;
    m_fontPending = false;
    m_font.name = m_font.name.trimmed();
    m_fonts.insert(m_fontNumber, m_font);
}

void Reader::commitColor()
{
    m_colors.append(m_colorSet ? std::optional<quint32>(quint32(m_red) << 16 |
                                                        quint32(m_green) << 8 | quint32(m_blue))
                               : std::nullopt);
    m_colorSet = false;
    m_red = m_green = m_blue = 0;
}

int Reader::currentCodePage() const
{
    if (m_state.destination == Destination::FontTable)
        return codePageOf(m_font);
    const FontEntry *font = fontOf(m_state.chars);
    return font ? codePageOf(*font) : m_codePage;
}

int Reader::codePageOf(const FontEntry &font) const
{
    if (font.codePage > 0)
        return font.codePage;
    const int fromCharset = codePageOfCharset(font.charset);
    return fromCharset > 0 ? fromCharset : m_codePage;
}

const FontEntry *Reader::fontOf(const CharState &chars) const
{
    const auto found = m_fonts.constFind(chars.font < 0 ? m_defaultFont : chars.font);
    return found == m_fonts.constEnd() ? nullptr : &found.value();
}

RtfCharFormat Reader::formatOf(const CharState &chars) const
{
    RtfCharFormat format;
    format.bold = chars.bold;
    format.italic = chars.italic;
    format.underline = chars.underline;
    format.strike = chars.strike;
    format.halfPoints = chars.halfPoints;
    if (chars.color > 0 && chars.color < m_colors.size() && m_colors[chars.color]) {
        format.hasColor = true;
        format.color = *m_colors[chars.color];
    }
    // A symbol font's glyphs have been turned into the Unicode characters they show, which the
    // reader's own fonts draw better than a stand-in for the symbol font would.
    if (const FontEntry *font = fontOf(chars); font && codePageOf(*font) != kSymbolCodePage) {
        format.fontName = font->name;
        format.fontFamily = font->family;
    }
    return format;
}

bool startsAsRtf(const QByteArray &bytes)
{
    qsizetype start = 0;
    while (start < bytes.size() && QChar::isSpace(static_cast<unsigned char>(bytes[start])))
        ++start;
    return QByteArrayView(bytes).sliced(start).startsWith("{\\rtf");
}

} // namespace

QString RtfParagraph::text() const
{
    QString text;
    for (const RtfRun &run : runs)
        text += run.text;
    return text;
}

QString RtfDocument::plainText() const
{
    QStringList lines;
    lines.reserve(paragraphs.size());
    for (const RtfParagraph &paragraph : paragraphs)
        lines.append(paragraph.text());
    return lines.join(QLatin1Char('\n'));
}

RtfDocument readRtf(const QByteArray &rtf)
{
    if (!startsAsRtf(rtf))
        return readPlainText(rtf);
    return Reader(rtf).read();
}

bool readRtfFile(const QString &path, RtfDocument *document, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QFileInfo info(path);
    if (!info.exists())
        return fail(QStringLiteral("%1 does not exist").arg(path));
    // A device or a pipe could deliver text for ever.
    if (!info.isFile())
        return fail(QStringLiteral("%1 is not a regular file").arg(path));
    if (info.size() > kMaxFileSize)
        return fail(QStringLiteral("%1 is too large to be a help text").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
    if (bytes.size() > kMaxFileSize)
        return fail(QStringLiteral("%1 is too large to be a help text").arg(path));
    if (document)
        *document = readRtf(bytes);
    return true;
}

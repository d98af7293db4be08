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
// Hundreds of times the product's own help text, and still shown within seconds however it is
// formatted; the rich text box takes far longer than this reader over a larger file.
constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;
// Word processors list a few dozen fonts and colours; a far longer table comes from a damaged or
// hostile file, and every font it names costs the window a font look-up.
constexpr qsizetype kMaxFonts = 500;
constexpr qsizetype kMaxFontNameLength = 255;
constexpr qsizetype kMaxColors = 1000;
// What the paragraphs and runs may take, on top of their text: a formatting change every few
// bytes would otherwise cost dozens of times the input. Past it the text still comes in full.
constexpr qsizetype kStructureBytesPerInputByte = 12;
constexpr qsizetype kFreeStructureBytes = 1024 * 1024;

enum class Destination
{
    Body,
    FontTable,
    ColorTable,
    Skip
};

class Reader;

/// What a control word does: its handler, the action within the handler's group (`which`) and a
/// constant the action needs (`value`: a character, a font family, an alignment, a code page).
/// The words that are no ordinary action have a role of their own instead.
struct WordInfo
{
    enum class Role
    {
        Ordinary,
        Binary,             // \bin: data of the parameter's length follows
        SkippedDestination, // a group whose text is not part of the body
        UnicodeTwin         // \ud: the Unicode twin of an \upr group
    };

    void (Reader::*handler)(const WordInfo &, bool hasParameter, int parameter) = nullptr;
    int which = 0;
    int value = 0;
    Role role = Role::Ordinary;
};

enum class TextWord
{
    ParagraphMark,
    Line,
    Tab,
    Character,
    Unicode,
    UnicodeSkip,
    UnicodePair // \upr: an 8-bit group followed by its Unicode twin
};

enum class CharWord
{
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    Hidden,
    FontSize,
    Color,
    Plain
};

enum class ParaWord
{
    Reset,
    Align,
    LeftIndent,
    RightIndent,
    FirstIndent,
    SpaceBefore,
    SpaceAfter
};

enum class FontWord
{
    Table,
    Number, // a font's number in the table, the font to use elsewhere
    Default,
    Charset,
    CodePage,
    Family
};

enum class ColorWord
{
    Table,
    Red,
    Green,
    Blue
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

/// Collects the paragraphs and runs of a document within a budget that grows with the input, so
/// that its memory stays within a small multiple of the input's size: once the budget is spent,
/// text still comes in full, but a change of format no longer starts a run and a paragraph mark
/// becomes a line break.
class DocumentBuilder final
{
public:
    explicit DocumentBuilder(qsizetype inputBytes)
        : m_budget(inputBytes * kStructureBytesPerInputByte + kFreeStructureBytes)
    {
    }

    /// True when the current paragraph holds a run.
    bool hasRun() const { return !m_paragraph.runs.isEmpty(); }

    /// Starts a run in `format`, or goes on with the current run when the budget is spent.
    void startRun(const RtfCharFormat &format)
    {
        if (spend(kRunCost) || !hasRun())
            m_paragraph.runs.append({QString(), format});
    }

    /// Appends text to the current run, starting one in the default format when there is none.
    void appendText(QStringView text)
    {
        if (!hasRun())
            m_paragraph.runs.append(RtfRun());
        m_paragraph.runs.last().text += text;
    }

    /// Ends the current paragraph with these properties; the last one always ends, whatever is
    /// left of the budget.
    void endParagraph(const ParaState &para, bool last)
    {
        if (!last && !spend(kParagraphCost)) {
            appendText(QStringView(u"\u2028"));
            return;
        }
        m_paragraph.alignment = para.alignment;
        m_paragraph.leftIndent = para.left;
        m_paragraph.rightIndent = para.right;
        m_paragraph.firstLineIndent = para.first;
        m_paragraph.spaceBefore = para.before;
        m_paragraph.spaceAfter = para.after;
        m_document.paragraphs.append(std::move(m_paragraph));
        m_paragraph = RtfParagraph();
    }

    /// The document; the builder is empty afterwards.
    RtfDocument take() { return std::move(m_document); }

private:
    // A list may hold three times what it uses while it grows, and a run's text has a block of
    // its own from the start.
    static constexpr qsizetype kRunCost = 3 * sizeof(RtfRun) + 48;
    static constexpr qsizetype kParagraphCost = 3 * sizeof(RtfParagraph) + 48;

    bool spend(qsizetype bytes)
    {
        if (m_spent + bytes > m_budget)
            return false;
        m_spent += bytes;
        return true;
    }

    qsizetype m_budget;
    qsizetype m_spent = 0;
    RtfDocument m_document;
    RtfParagraph m_paragraph;
};

/// Text that is not RTF: its lines, as UTF-8 when they are valid UTF-8, else as Windows-1252. CR
/// LF, LF and CR each end a line; a line end at the very end starts no empty line.
RtfDocument readPlainText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = CodePageDecoder::decodeWindows1252(bytes);

    DocumentBuilder builder(bytes.size());
    const QStringView view(text);
    for (qsizetype start = 0; start < view.size();) {
        qsizetype end = start;
        while (end < view.size() && view[end] != u'\r' && view[end] != u'\n')
            ++end;
        if (end > start) {
            builder.startRun(RtfCharFormat());
            builder.appendText(view.sliced(start, end - start));
        }
        const bool crLf = end + 1 < view.size() && view[end] == u'\r' && view[end + 1] == u'\n';
        start = end + (crLf ? 2 : 1);
        builder.endParagraph(ParaState(), start >= view.size());
    }
    return builder.take();
}

/// One pass over the RTF text: a tokenizer and the state machine that it drives.
class Reader final
{
public:
    explicit Reader(const QByteArray &rtf)
        : m_pos(rtf.constData()), m_end(rtf.constData() + rtf.size()), m_builder(rtf.size())
    {
    }

    RtfDocument read();

private:
    void openGroup();
    void closeGroup();
    void controlSequence();
    void controlSymbol(char symbol);
    void controlWord(std::string_view name, bool hasParameter, int parameter);
    void skipBinary(bool hasParameter, int parameter);

    /// The control words this reader acts on, each with its handler.
    static const std::unordered_map<std::string_view, WordInfo> &wordTable();
    // One handler per group of words: text and its marks, character formatting, paragraph
    // formatting, the font table, the colour table, the document's code page.
    void textWord(const WordInfo &info, bool hasParameter, int parameter);
    void characterWord(const WordInfo &info, bool hasParameter, int parameter);
    void paragraphWord(const WordInfo &info, bool hasParameter, int parameter);
    void fontTableWord(const WordInfo &info, bool hasParameter, int parameter);
    void colorTableWord(const WordInfo &info, bool hasParameter, int parameter);
    void codePageWord(const WordInfo &info, bool hasParameter, int parameter);

    void textByte(char byte, bool literal);
    void flushBytes();
    void deliver(QString text);
    void deliverChar(char16_t character);
    void appendToBody(QString text);
    void endParagraph(bool last = false);
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

    DocumentBuilder m_builder;
    CharState m_runState;
};

const std::unordered_map<std::string_view, WordInfo> &Reader::wordTable()
{
    using Role = WordInfo::Role;
    const auto text = [](TextWord word, int value = 0) {
        return WordInfo{&Reader::textWord, int(word), value};
    };
    const auto character = [](CharWord word) {
        return WordInfo{&Reader::characterWord, int(word)};
    };
    const auto paragraph = [](ParaWord word, int value = 0) {
        return WordInfo{&Reader::paragraphWord, int(word), value};
    };
    const auto font = [](FontWord word, RtfFontFamily family = RtfFontFamily::Any) {
        return WordInfo{&Reader::fontTableWord, int(word), int(family)};
    };
    const auto color = [](ColorWord word) { return WordInfo{&Reader::colorTableWord, int(word)}; };
    // 0: the code page is the parameter.
    const auto codePage = [](int number) { return WordInfo{&Reader::codePageWord, 0, number}; };
    static const std::unordered_map<std::string_view, WordInfo> table = [&] {
        std::unordered_map<std::string_view, WordInfo> t = {
            {"par", text(TextWord::ParagraphMark)},
            {"page", text(TextWord::ParagraphMark)},
            {"sect", text(TextWord::ParagraphMark)},
            {"row", text(TextWord::ParagraphMark)},
            {"line", text(TextWord::Line)},
            {"tab", text(TextWord::Tab)},
            {"cell", text(TextWord::Tab)},
            {"nestcell", text(TextWord::Tab)},
            {"emdash", text(TextWord::Character, 0x2014)},
            {"endash", text(TextWord::Character, 0x2013)},
            {"emspace", text(TextWord::Character, 0x2003)},
            {"enspace", text(TextWord::Character, 0x2002)},
            {"qmspace", text(TextWord::Character, 0x2005)},
            {"bullet", text(TextWord::Character, 0x2022)},
            {"lquote", text(TextWord::Character, 0x2018)},
            {"rquote", text(TextWord::Character, 0x2019)},
            {"ldblquote", text(TextWord::Character, 0x201C)},
            {"rdblquote", text(TextWord::Character, 0x201D)},
            {"zwj", text(TextWord::Character, 0x200D)},
            {"zwnj", text(TextWord::Character, 0x200C)},
            {"ltrmark", text(TextWord::Character, 0x200E)},
            {"rtlmark", text(TextWord::Character, 0x200F)},
            {"u", text(TextWord::Unicode)},
            {"uc", text(TextWord::UnicodeSkip)},
            {"upr", text(TextWord::UnicodePair)},
            {"b", character(CharWord::Bold)},
            {"i", character(CharWord::Italic)},
            {"ul", character(CharWord::Underline)},
            {"ulnone", character(CharWord::UnderlineNone)},
            {"strike", character(CharWord::Strike)},
            {"striked", character(CharWord::Strike)},
            {"v", character(CharWord::Hidden)},
            {"fs", character(CharWord::FontSize)},
            {"cf", character(CharWord::Color)},
            {"plain", character(CharWord::Plain)},
            {"pard", paragraph(ParaWord::Reset)},
            {"ql", paragraph(ParaWord::Align, int(RtfAlignment::Left))},
            {"qr", paragraph(ParaWord::Align, int(RtfAlignment::Right))},
            {"qc", paragraph(ParaWord::Align, int(RtfAlignment::Center))},
            {"qj", paragraph(ParaWord::Align, int(RtfAlignment::Justify))},
            {"qd", paragraph(ParaWord::Align, int(RtfAlignment::Justify))},
            {"li", paragraph(ParaWord::LeftIndent)},
            {"lin", paragraph(ParaWord::LeftIndent)},
            {"ri", paragraph(ParaWord::RightIndent)},
            {"rin", paragraph(ParaWord::RightIndent)},
            {"fi", paragraph(ParaWord::FirstIndent)},
            {"sb", paragraph(ParaWord::SpaceBefore)},
            {"sa", paragraph(ParaWord::SpaceAfter)},
            {"fonttbl", font(FontWord::Table)},
            {"f", font(FontWord::Number)},
            {"deff", font(FontWord::Default)},
            {"fcharset", font(FontWord::Charset)},
            {"cpg", font(FontWord::CodePage)},
            {"fnil", font(FontWord::Family, RtfFontFamily::Any)},
            {"froman", font(FontWord::Family, RtfFontFamily::Roman)},
            {"fswiss", font(FontWord::Family, RtfFontFamily::Swiss)},
            {"fmodern", font(FontWord::Family, RtfFontFamily::Modern)},
            {"fscript", font(FontWord::Family, RtfFontFamily::Script)},
            {"fdecor", font(FontWord::Family, RtfFontFamily::Decorative)},
            {"ftech", font(FontWord::Family, RtfFontFamily::Technical)},
            {"colortbl", color(ColorWord::Table)},
            {"red", color(ColorWord::Red)},
            {"green", color(ColorWord::Green)},
            {"blue", color(ColorWord::Blue)},
            {"ansi", codePage(kWindows1252)},
            {"mac", codePage(10000)},
            {"pc", codePage(437)},
            {"pca", codePage(850)},
            {"ansicpg", codePage(0)},
            {"bin", WordInfo{nullptr, 0, 0, Role::Binary}},
            {"ud", WordInfo{nullptr, 0, 0, Role::UnicodeTwin}},
        };
        // The kinds of underline a word processor offers all read as underline here.
        for (std::string_view kind : wordsOf(kUnderlineKinds))
            t.emplace(kind, character(CharWord::Underline));
        for (std::string_view skipped : wordsOf(kSkippedDestinations))
            t.emplace(skipped, WordInfo{nullptr, 0, 0, Role::SkippedDestination});
        return t;
    }();
    return table;
}

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
    return m_builder.take();
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
    const auto &table = wordTable();
    const auto found = name.size() <= kMaxWordLength ? table.find(name) : table.end();
    const WordInfo *info = found == table.end() ? nullptr : &found->second;
    const WordInfo::Role role = info ? info->role : WordInfo::Role::Ordinary;

    // Binary data is skipped by its length wherever it stands, or its bytes would read as RTF.
    if (role == WordInfo::Role::Binary) {
        skipBinary(hasParameter, parameter);
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
    if (starred && nested && role != WordInfo::Role::UnicodeTwin) {
        skipCurrentGroup();
        return;
    }
    if (role == WordInfo::Role::SkippedDestination && nested)
        skipCurrentGroup();
    if (info && info->handler)
        (this->*info->handler)(*info, hasParameter, parameter);
}

void Reader::skipBinary(bool hasParameter, int parameter)
{
    const qint64 length = std::clamp<qint64>(hasParameter ? parameter : 0, 0, m_end - m_pos);
    m_pos += length;
    if (m_skipDepth == 0 && m_fallbackToSkip > 0)
        --m_fallbackToSkip;
}

void Reader::textWord(const WordInfo &info, bool hasParameter, int parameter)
{
    switch (TextWord(info.which)) {
    case TextWord::ParagraphMark:
        endParagraph();
        break;
    case TextWord::Line:
        deliverChar(QChar::LineSeparator);
        break;
    case TextWord::Tab:
        deliverChar(u'\t');
        break;
    case TextWord::Character:
        deliverChar(char16_t(info.value));
        break;
    case TextWord::Unicode: {
        // The parameter is a signed 16-bit number: code units above 32767 arrive negative.
        const int unit = parameter < 0 ? parameter + 65536 : parameter;
        deliverChar(hasParameter && unit >= 0 && unit <= 0xFFFF ? char16_t(unit)
                                                                : char16_t(0xFFFD));
        m_fallbackToSkip = m_state.unicodeSkip;
        break;
    }
    case TextWord::UnicodeSkip:
        m_state.unicodeSkip = std::clamp(parameter, 0, kMaxUnicodeSkip);
        break;
    case TextWord::UnicodePair:
        m_state.skipNextGroup = true;
        break;
    }
}

void Reader::characterWord(const WordInfo &info, bool hasParameter, int parameter)
{
    const bool on = !hasParameter || parameter != 0;
    CharState &chars = m_state.chars;
    switch (CharWord(info.which)) {
    case CharWord::Bold:
        chars.bold = on;
        break;
    case CharWord::Italic:
        chars.italic = on;
        break;
    case CharWord::Underline:
        chars.underline = on;
        break;
    case CharWord::UnderlineNone:
        chars.underline = false;
        break;
    case CharWord::Strike:
        chars.strike = on;
        break;
    case CharWord::Hidden:
        chars.hidden = on;
        break;
    case CharWord::FontSize:
        chars.halfPoints = parameter > 0 ? std::min(parameter, kMaxHalfPoints) : kDefaultHalfPoints;
        break;
    case CharWord::Color:
        chars.color = std::max(parameter, 0);
        break;
    case CharWord::Plain:
        chars = CharState();
        break;
    }
}

void Reader::paragraphWord(const WordInfo &info, bool, int parameter)
{
    ParaState &para = m_state.para;
    const int indent = std::clamp(parameter, -kMaxIndent, kMaxIndent);
    const int spacing = std::clamp(parameter, 0, kMaxIndent);
    switch (ParaWord(info.which)) {
    case ParaWord::Reset:
        para = ParaState();
        break;
    case ParaWord::Align:
        para.alignment = RtfAlignment(info.value);
        break;
    case ParaWord::LeftIndent:
        para.left = indent;
        break;
    case ParaWord::RightIndent:
        para.right = indent;
        break;
    case ParaWord::FirstIndent:
        para.first = indent;
        break;
    case ParaWord::SpaceBefore:
        para.before = spacing;
        break;
    case ParaWord::SpaceAfter:
        para.after = spacing;
        break;
    }
}

void Reader::fontTableWord(const WordInfo &info, bool, int parameter)
{
    const bool inTable = m_state.destination == Destination::FontTable;
    switch (FontWord(info.which)) {
    case FontWord::Table:
        if (m_saved.size() >= 2)
            m_state.destination = Destination::FontTable;
        break;
    case FontWord::Number:
        if (!inTable) {
            m_state.chars.font = parameter;
            break;
        }
        if (m_fontPending)
            commitFont();
        m_fontPending = true;
        m_fontNumber = parameter;
        m_font = FontEntry();
        break;
    case FontWord::Default:
        m_defaultFont = parameter;
        break;
    case FontWord::Charset:
        if (inTable)
            m_font.charset = parameter;
        break;
    case FontWord::CodePage:
        if (inTable)
            m_font.codePage = std::max(parameter, 0);
        break;
    case FontWord::Family:
        if (inTable)
            m_font.family = RtfFontFamily(info.value);
        break;
    }
}

void Reader::colorTableWord(const WordInfo &info, bool, int parameter)
{
    const int component = std::clamp(parameter, 0, 255);
    switch (ColorWord(info.which)) {
    case ColorWord::Table:
        if (m_saved.size() >= 2) {
            m_state.destination = Destination::ColorTable;
            m_colors.clear();
            m_colorSet = false;
        }
        return;
    case ColorWord::Red:
        m_red = component;
        break;
    case ColorWord::Green:
        m_green = component;
        break;
    case ColorWord::Blue:
        m_blue = component;
        break;
    }
    m_colorSet = true;
}

void Reader::codePageWord(const WordInfo &info, bool, int parameter)
{
    if (info.value > 0)
        m_codePage = info.value;
    else if (parameter > 0)
        m_codePage = parameter;
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
            m_font.name += QStringView(text).left(kMaxFontNameLength - m_font.name.size());
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

    if (!m_builder.hasRun() || !(m_runState == m_state.chars)) {
        m_builder.startRun(formatOf(m_state.chars));
        m_runState = m_state.chars;
    }
    m_builder.appendText(text);
}

void Reader::endParagraph(bool last)
{
    if (m_state.destination != Destination::Body)
        return;
    flushBytes();
    if (m_highSurrogate != 0) {
        m_highSurrogate = 0;
        appendToBody(QString(QChar(0xFFFD)));
    }
    m_builder.endParagraph(m_state.para, last);
}

void Reader::finishDocument()
{
    flushBytes();
    // The text after the last paragraph mark is a paragraph of its own only when there is some.
    if (m_builder.hasRun() || m_highSurrogate != 0) {
        m_state.destination = Destination::Body;
        endParagraph(true);
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
    if (m_fonts.size() < kMaxFonts || m_fonts.contains(m_fontNumber))
        m_fonts.insert(m_fontNumber, m_font);
}

void Reader::commitColor()
{
    if (m_colors.size() < kMaxColors)
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

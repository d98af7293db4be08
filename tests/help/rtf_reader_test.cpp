#include "help/rtf_reader.h"
#include "support/files.h"
#include "ui/rich_text_document.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

// The rows name only the members that differ from the defaults; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

/// A paragraph's alignment, indents and spacing in twips.
struct Layout
{
    RtfAlignment alignment = RtfAlignment::Left;
    int left = 0, right = 0, first = 0, before = 0, after = 0;
    bool operator==(const Layout &) const = default;
};

/// A document, the texts of its last paragraph's runs, the last run's format and the paragraph's
/// layout.
struct FormatRow
{
    QByteArray rtf;
    RtfCharFormat format;
    QStringList runs{QStringLiteral("x")};
    Layout layout;
};

Q_DECLARE_METATYPE(FormatRow)

namespace {

const QByteArray kFonts = R"({\fonttbl{\f0\froman Times New Roman;}{\f1\fswiss\fcharset0 Arial;})"
                          R"({\f2\fnil\fcharset2 Symbol;}{\f3\fnil\fcharset204 Arial Cyr;}})";

QByteArray nested(int depth)
{
    return "{\\rtf1 a" + QByteArray(depth, '{') + "b" + QByteArray(depth, '}') + "c}";
}

/// A document with a font and a colour table of `count` entries, its text in the last of each.
QByteArray longTables(int count)
{
    QByteArray rtf = "{\\rtf1{\\fonttbl";
    for (int font = 0; font < count; ++font)
        rtf += "{\\f" + QByteArray::number(font) + " F" + QByteArray::number(font) + ";}";
    rtf += "}{\\colortbl;" + QByteArray("\\red255;").repeated(count) + "}";
    return rtf + "\\f" + QByteArray::number(count - 1) + "\\cf" + QByteArray::number(count) + " x}";
}

} // namespace

/// The RTF reader, and its document as the Help window shows it.
class RtfReaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void text_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        // clang-format off
        // Structure, escapes and destinations.
        QTest::newRow("paragraphs") << QByteArray(R"({\rtf1 one\par two\par})") << u"one\ntwo"_s;
        QTest::newRow("empty paragraph kept") << QByteArray(R"({\rtf1 a\par\par b})") << u"a\n\nb"_s;
        QTest::newRow("line and tab") << QByteArray(R"({\rtf1 a\line b\tab c})") << u"a\u2028b\tc"_s;
        QTest::newRow("escapes") << QByteArray(R"({\rtf1 a\\b\{c\}})") << u"a\\b{c}"_s;
        QTest::newRow("no-break and hyphens") << QByteArray(R"({\rtf1 a\~b\-c\_d})") << u"a\u00A0b\u00ADc\u2011d"_s;
        QTest::newRow("typographic words") << QByteArray(R"({\rtf1\ldblquote x\rdblquote\emdash y\bullet})") << u"\u201Cx\u201D\u2014y\u2022"_s;
        QTest::newRow("one delimiting blank") << QByteArray(R"({\rtf1 \b bold\b0  two})") << u"bold two"_s;
        QTest::newRow("line ends ignored") << QByteArray("{\\rtf1 ab\r\ncd\n}") << u"abcd"_s;
        QTest::newRow("escaped line end") << QByteArray("{\\rtf1 a\\\r\nb}") << u"a\nb"_s;
        QTest::newRow("starred destinations") << QByteArray(R"({\rtf1{\*\generator W 1.0;}x{\*\madeup y{z}}w})") << u"xw"_s;
        QTest::newRow("known destinations") << QByteArray(R"({\rtf1{\info{\title T}}{\stylesheet{\s0 N;}}{\pict\wmetafile8 0a0b}{\header H}x})") << u"x"_s;
        QTest::newRow("field result") << QByteArray(R"({\rtf1{\field{\*\fldinst HYPERLINK "u"}{\fldrslt link}}})") << u"link"_s;
        QTest::newRow("list text") << QByteArray(R"({\rtf1)" + kFonts + R"({\pntext\f2\'B7\tab}{\*\pn\pnlvlblt{\pntxtb\'B7}}item})") << u"\u2022\titem"_s;
        QTest::newRow("hidden text") << QByteArray(R"({\rtf1 a{\v hidden}b})") << u"ab"_s;
        QTest::newRow("unknown words") << QByteArray(R"({\rtf1 a\foo12 b\bar c})") << u"abc"_s;
        QTest::newRow("overlong word") << QByteArray("{\\rtf1 a\\" + QByteArray(40, 'b') + " c}") << u"ac"_s;
        QTest::newRow("unicode twin") << QByteArray(R"({\rtf1{\upr{x}{\*\ud{y}}}})") << u"y"_s;
        QTest::newRow("binary in picture") << QByteArray(R"({\rtf1 a{\pict\bin4 }}{x}b})") << u"ab"_s;
        QTest::newRow("binary in body") << QByteArray(R"({\rtf1 a\bin2 xyb})") << u"ab"_s;
        QTest::newRow("after the document") << QByteArray(R"({\rtf1 a}junk)") << u"a"_s;
        // Code pages.
        QTest::newRow("1252 by default") << QByteArray(R"({\rtf1 caf\'e9 \'80})") << u"caf\u00E9 \u20AC"_s;
        QTest::newRow("ansicpg 1251") << QByteArray(R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8})") << u"\u041F\u0440\u0438"_s;
        QTest::newRow("font charset") << QByteArray(R"({\rtf1\ansi)" + kFonts + R"(\'e0{\f3\'e0}})") << u"\u00E0\u0430"_s;
        QTest::newRow("double-byte") << QByteArray(R"({\rtf1\ansi\ansicpg932 \'82\'a0})") << u"\u3042"_s;
        QTest::newRow("double-byte with backslash") << QByteArray(R"({\rtf1\ansicpg932 \'83\'5c})") << u"\u30BD"_s;
        QTest::newRow("unknown code page") << QByteArray(R"({\rtf1\ansicpg99999 \'80\'e9})") << u"\u20AC\u00E9"_s;
        QTest::newRow("utf-8 code page") << QByteArray(R"({\rtf1\ansicpg65001 \'c3\'a9})") << u"\u00E9"_s;
        QTest::newRow("raw 8-bit text") << QByteArray("{\\rtf1 caf\xe9}") << u"caf\u00E9"_s;
        // Unicode.
        QTest::newRow("u with fallback") << QByteArray(R"({\rtf1 \u233?x})") << u"\u00E9x"_s;
        QTest::newRow("u negative") << QByteArray(R"({\rtf1 \u-30050?})") << u"\u8A9E"_s;
        QTest::newRow("uc2 skips two bytes") << QByteArray(R"({\rtf1\uc2\u8364\'80\'80x})") << u"\u20ACx"_s;
        QTest::newRow("uc0 skips nothing") << QByteArray(R"({\rtf1\uc0\u8364 x})") << u"\u20ACx"_s;
        QTest::newRow("uc scoped to group") << QByteArray(R"({\rtf1{\uc2\u8364 ab}\u8364 cd})") << u"\u20AC\u20ACd"_s;
        QTest::newRow("fallback ends at brace") << QByteArray(R"({\rtf1\uc3\u8364 a{b}c})") << u"\u20ACbc"_s;
        QTest::newRow("surrogate pair") << QByteArray(R"({\rtf1\u-10179?\u-8704?})") << u"\U0001F600"_s;
        QTest::newRow("lone high surrogate") << QByteArray(R"({\rtf1\u-10179?x})") << u"\uFFFDx"_s;
        QTest::newRow("lone low surrogate") << QByteArray(R"({\rtf1\u-8704?x})") << u"\uFFFDx"_s;
        QTest::newRow("absurd u") << QByteArray(R"({\rtf1\u99999999999999?x})") << u"\uFFFDx"_s;
        // Damage.
        QTest::newRow("unclosed groups") << QByteArray(R"({\rtf1 a{\b b)") << u"ab"_s;
        QTest::newRow("cut in a word") << QByteArray(R"({\rtf1 ab\pa)") << u"ab"_s;
        QTest::newRow("cut in a hex byte") << QByteArray(R"({\rtf1 a\'e)") << u"a"_s;
        QTest::newRow("cut after backslash") << QByteArray(R"({\rtf1 a\)") << u"a"_s;
        QTest::newRow("cut in font table") << QByteArray(R"({\rtf1{\fonttbl{\f0 Ari)") << QString();
        QTest::newRow("cut in a skipped group") << QByteArray(R"({\rtf1 a{\*\x b)") << u"a"_s;
        QTest::newRow("binary past the end") << QByteArray(R"({\rtf1 a\bin99999999999 xyz)") << u"a"_s;
        QTest::newRow("deep but allowed") << nested(150) << u"abc"_s;
        QTest::newRow("too deep") << nested(100000) << u"ac"_s;
        QTest::newRow("not rtf") << QByteArray("hello\r\nw\xc3\xb6rld\n") << u"hello\nw\u00F6rld"_s;
        QTest::newRow("not rtf nor utf-8") << QByteArray("caf\xe9") << u"caf\u00E9"_s;
        QTest::newRow("empty") << QByteArray() << QString();
        // clang-format on
    }

    void text()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QCOMPARE(readRtf(rtf).plainText(), text);
    }

    void formats_data()
    {
        QTest::addColumn<FormatRow>("row");
        const QByteArray colours = R"({\colortbl;\red255\green0\blue0;\red0\green0\blue0;})";
        // clang-format off
        QTest::newRow("format change splits") << FormatRow{R"({\rtf1 a{\b b}x})", {}, {u"a"_s, u"b"_s, u"x"_s}};
        QTest::newRow("same format joins") << FormatRow{R"({\rtf1 a\b0 b{c}\i0 x})", {}, {u"abcx"_s}};
        QTest::newRow("empty groups add nothing") << FormatRow{R"({\rtf1 a{\b}{\i}x})", {}, {u"ax"_s}};
        QTest::newRow("styles on") << FormatRow{R"({\rtf1\b\i\ul\strike x})", {.bold = true, .italic = true, .underline = true, .strike = true}};
        QTest::newRow("styles off") << FormatRow{R"({\rtf1\b\i\ul\strike\b0\i0\ulnone\strike0 x})"};
        QTest::newRow("ul0 and striked0") << FormatRow{R"({\rtf1\ul\striked1\ul0\striked0 x})"};
        QTest::newRow("underline kinds") << FormatRow{R"({\rtf1\uldb x})", {.underline = true}};
        QTest::newRow("group restores") << FormatRow{R"({\rtf1{\b\fs40 a}x})", {}, {u"a"_s, u"x"_s}};
        QTest::newRow("plain resets") << FormatRow{R"({\rtf1)" + colours + R"(\b\fs40\cf1\plain x})"};
        QTest::newRow("font size") << FormatRow{R"({\rtf1\fs28 x})", {.halfPoints = 28}};
        QTest::newRow("absurd font size") << FormatRow{R"({\rtf1\fs99999999999 x})", {.halfPoints = 3276}};
        QTest::newRow("zero font size") << FormatRow{R"({\rtf1\fs0 x})"};
        QTest::newRow("colour") << FormatRow{R"({\rtf1)" + colours + R"(\cf1 x})", {.hasColor = true, .color = 0xFF0000}};
        QTest::newRow("black is a colour") << FormatRow{R"({\rtf1)" + colours + R"(\cf2 x})", {.hasColor = true, .color = 0}};
        QTest::newRow("auto colour") << FormatRow{R"({\rtf1)" + colours + R"(\cf1\cf0 x})"};
        QTest::newRow("colour out of range") << FormatRow{R"({\rtf1)" + colours + R"(\cf7 x})"};
        QTest::newRow("font") << FormatRow{R"({\rtf1)" + kFonts + R"(\f1 x})", {.fontName = u"Arial"_s, .fontFamily = RtfFontFamily::Swiss}};
        QTest::newRow("default font") << FormatRow{R"({\rtf1\deff1)" + kFonts + R"(x})", {.fontName = u"Arial"_s, .fontFamily = RtfFontFamily::Swiss}};
        QTest::newRow("font with panose") << FormatRow{R"({\rtf1{\fonttbl{\f0\froman{\*\panose 02020603}Times New Roman;}}x})", {.fontName = u"Times New Roman"_s, .fontFamily = RtfFontFamily::Roman}};
        QTest::newRow("font table without groups") << FormatRow{R"({\rtf1{\fonttbl\f0\fnil Courier;\f1\fmodern Mono;}\f1 x})", {.fontName = u"Mono"_s, .fontFamily = RtfFontFamily::Modern}};
        QTest::newRow("font name in its code page") << FormatRow{R"({\rtf1{\fonttbl{\f0\fcharset128 \'82\'a0;}}x})", {.fontName = u"\u3042"_s}};
        QTest::newRow("unknown font") << FormatRow{R"({\rtf1)" + kFonts + R"(\f9 x})"};
        QTest::newRow("symbol font left out") << FormatRow{R"({\rtf1)" + kFonts + R"(\f2 x})"};
        QTest::newRow("tables as long as word processors write") << FormatRow{longTables(500), {.hasColor = true, .color = 0xFF0000, .fontName = u"F499"_s}};
        QTest::newRow("entries past them left out") << FormatRow{longTables(50000)};
        QTest::newRow("long font name cut") << FormatRow{"{\\rtf1{\\fonttbl{\\f0 " + QByteArray(300, 'n') + ";}}x}", {.fontName = QString(255, u'n')}};
        QTest::newRow("centred") << FormatRow{.rtf = R"({\rtf1\qc x\par})", .layout = {RtfAlignment::Center}};
        QTest::newRow("right") << FormatRow{.rtf = R"({\rtf1\qr x\par})", .layout = {RtfAlignment::Right}};
        QTest::newRow("justified") << FormatRow{.rtf = R"({\rtf1\qj x\par})", .layout = {RtfAlignment::Justify}};
        QTest::newRow("indents and spacing") << FormatRow{.rtf = R"({\rtf1\li720\ri360\fi-360\sb120\sa240 x\par})", .layout = {RtfAlignment::Left, 720, 360, -360, 120, 240}};
        QTest::newRow("pard resets") << FormatRow{.rtf = R"({\rtf1\qc\li720\sa240\pard x\par})", .layout = {}};
        QTest::newRow("as at the mark") << FormatRow{.rtf = R"({\rtf1 x\qr\li10\par})", .layout = {RtfAlignment::Right, 10}};
        QTest::newRow("last without a mark") << FormatRow{.rtf = R"({\rtf1\qc\li20 x})", .layout = {RtfAlignment::Center, 20}};
        QTest::newRow("absurd indents") << FormatRow{.rtf = R"({\rtf1\li99999999999\fi-99999999999\sa-5 x\par})", .layout = {RtfAlignment::Left, 31680, 0, -31680}};
        // clang-format on
    }

    void formats()
    {
        QFETCH(FormatRow, row);
        const RtfDocument document = readRtf(row.rtf);
        QVERIFY(!document.paragraphs.isEmpty() && !document.paragraphs.last().runs.isEmpty());
        QStringList texts;
        for (const RtfRun &run : document.paragraphs.last().runs)
            texts << run.text;
        QCOMPARE(texts, row.runs);
        QCOMPARE(document.paragraphs.last().runs.last().format, row.format);
        const RtfParagraph &p = document.paragraphs.last();
        QCOMPARE((Layout{p.alignment, p.leftIndent, p.rightIndent, p.firstLineIndent, p.spaceBefore,
                         p.spaceAfter}),
                 row.layout);
    }

    void damagedInputStaysBounded()
    {
        // Every way of cutting a document short reads to an end, and no input byte gives more than
        // one character of text.
        const QByteArray sample =
            R"({\rtf1\ansi\ansicpg932\uc2)" + kFonts +
            R"({\colortbl;\red255\green0\blue0;}{\*\generator x;})"
            R"(\pard\qc\b\fs32 Title\b0\par\pard\li720\fi-360{\pntext\f2\'B7\tab})"
            R"(caf\'e9 \u8364\'80\'80 \'82\'a0 {\field{\*\fldinst X}{\fldrslt y}})"
            R"({\pict\bin6 {}\\{}\u-10179?\u-8704?\line\tab\~\-\_ end\par})";
        for (qsizetype length = 0; length <= sample.size(); ++length) {
            const QByteArray input = sample.left(length);
            QVERIFY2(readRtf(input).plainText().size() <= input.size(), input.constData());
        }

        // A change of format every few bytes of a large document, and a plain text of short lines:
        // the text comes through whole, but paragraphs and runs stop growing with the input.
        for (const QByteArray &input :
             {"{\\rtf1 " + QByteArray("\\b x\\b0 y\\par ").repeated(100000) + "}",
              QByteArray("x\ny\n").repeated(100000)}) {
            const RtfDocument document = readRtf(input);
            qsizetype parts = document.paragraphs.size();
            for (const RtfParagraph &paragraph : document.paragraphs)
                parts += paragraph.runs.size();
            QVERIFY2(parts < 100000,
                     qPrintable(QString::number(parts))); // 300,000 or more unbounded
            QString text = document.plainText();
            text.remove(u'\n').remove(QChar::LineSeparator);
            QCOMPARE(text, u"xy"_s.repeated(100000));
        }
    }

    void readsFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("readable");
        QTest::newRow("present") << u"Help.rtf"_s << true;
        QTest::newRow("missing") << u"absent.rtf"_s << false;
        QTest::newRow("pipe") << u"pipe.rtf"_s << false;
        QTest::newRow("too large") << u"large.rtf"_s << false;
    }

    void readsFiles()
    {
        QFETCH(QString, name);
        QFETCH(bool, readable);
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath(u"Help.rtf"_s), R"({\rtf1 Hello})"));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(u"pipe.rtf"_s)).constData(), 0600), 0);
        QFile large(dir.filePath(u"large.rtf"_s));
        QVERIFY(large.open(QIODevice::WriteOnly) && large.resize(4 * 1024 * 1024 + 1)); // sparse

        RtfDocument document;
        QString error;
        QCOMPARE(readRtfFile(QDir(dir.path()).filePath(name), &document, &error), readable);
        QCOMPARE(error.isEmpty(), readable);
        QCOMPARE(document.plainText(), readable ? u"Hello"_s : QString());
    }

    void helpFileReads()
    {
        // The product's own help text: all of it readable, nothing of the RTF showing through.
        RtfDocument document;
        QString error;
        QVERIFY2(readRtfFile(QStringLiteral(PARCELWRIGHT_SOURCE_DIR "/data/Help.rtf"), &document,
                             &error),
                 qPrintable(error));
        const QString text = document.plainText();
        QVERIFY(text.size() > 4000 && text.contains(u"XferJob.BAT"_s));
        QVERIFY2(!text.contains(QRegularExpression(u"\\\\[A-Za-z]"_s)), qPrintable(text));
        QVERIFY(!text.contains(u'{') && !text.contains(u'}') && !text.contains(QChar(0xFFFD)));
    }

    void showsAsRichText()
    {
        // Colour 1 is red; font 1 a sans serif. At 96 DPI, 15 twips make a pixel.
        const RtfDocument source = readRtf(
            R"({\rtf1{\fonttbl{\f0 Arial;}{\f1\fswiss Helvetica;}}{\colortbl;\red255\green0\blue0;})"
            R"(\pard\qc\sb150\sa300\b\i\fs32 Head\par)"
            R"(\pard\li720\ri360\fi-360\plain\ul\strike\cf1\f1 \bullet\tab item\par})");
        QTextDocument document;
        fillTextDocument(&document, source, 96);
        QCOMPARE(document.blockCount(), 2);

        const QTextBlock head = document.firstBlock();
        QCOMPARE(head.text(), u"Head"_s);
        QCOMPARE(head.blockFormat().alignment(), Qt::AlignHCenter);
        QCOMPARE(head.blockFormat().topMargin(), 10.0);
        QCOMPARE(head.blockFormat().bottomMargin(), 20.0);
        const QTextCharFormat headFormat = head.begin().fragment().charFormat();
        QCOMPARE(headFormat.fontWeight(), int(QFont::Bold));
        QVERIFY(headFormat.fontItalic() && !headFormat.fontUnderline());
        QCOMPARE(headFormat.fontPointSize(), 16.0);
        QCOMPARE(headFormat.fontFamilies().toStringList(), QStringList{u"Arial"_s});

        const QTextBlock item = head.next();
        QCOMPARE(item.text(), u"\u2022\titem"_s);
        QCOMPARE(item.blockFormat().alignment(), Qt::AlignLeft);
        QCOMPARE(item.blockFormat().leftMargin(), 48.0);
        QCOMPARE(item.blockFormat().rightMargin(), 24.0);
        QCOMPARE(item.blockFormat().textIndent(), -24.0);
        // The tab after the bullet reaches the left indent.
        QCOMPARE(item.blockFormat().tabPositions().value(0).position, 24.0);
        const QTextCharFormat itemFormat = item.begin().fragment().charFormat();
        QCOMPARE(itemFormat.fontWeight(), int(QFont::Normal));
        QVERIFY(!itemFormat.fontItalic() && itemFormat.fontUnderline() &&
                itemFormat.fontStrikeOut());
        QCOMPARE(itemFormat.fontPointSize(), 12.0);
        QCOMPARE(itemFormat.foreground().color(), QColor(Qt::red));
        QCOMPARE(itemFormat.fontFamilies().toStringList(), QStringList{u"Helvetica"_s});
        QCOMPARE(itemFormat.fontStyleHint(), QFont::SansSerif);
    }
};

QTEST_MAIN(RtfReaderTest)
#include "rtf_reader_test.moc"

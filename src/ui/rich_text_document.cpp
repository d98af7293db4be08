#include "ui/rich_text_document.h"

#include "help/rtf_reader.h"

#include <QColor>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace {

constexpr qreal kTwipsPerInch = 1440.0;
constexpr qreal kDefaultTabTwips = 720.0; // word processors put a tab stop every half inch

Qt::Alignment alignmentOf(RtfAlignment alignment)
{
    switch (alignment) {
    case RtfAlignment::Right:
        return Qt::AlignRight;
    case RtfAlignment::Center:
        return Qt::AlignHCenter;
    case RtfAlignment::Justify:
        return Qt::AlignJustify;
    case RtfAlignment::Left:
        break;
    }
    return Qt::AlignLeft;
}

QFont::StyleHint styleHintOf(RtfFontFamily family)
{
    switch (family) {
    case RtfFontFamily::Roman:
        return QFont::Serif;
    case RtfFontFamily::Swiss:
        return QFont::SansSerif;
    case RtfFontFamily::Modern:
        return QFont::Monospace;
    case RtfFontFamily::Script:
        return QFont::Cursive;
    case RtfFontFamily::Decorative:
        return QFont::Decorative;
    case RtfFontFamily::Technical:
    case RtfFontFamily::Any:
        break;
    }
    return QFont::AnyStyle;
}

QTextBlockFormat blockFormatOf(const RtfParagraph &paragraph, qreal pixelsPerTwip)
{
    QTextBlockFormat format;
    format.setAlignment(alignmentOf(paragraph.alignment));
    format.setLeftMargin(paragraph.leftIndent * pixelsPerTwip);
    format.setRightMargin(paragraph.rightIndent * pixelsPerTwip);
    format.setTextIndent(paragraph.firstLineIndent * pixelsPerTwip);
    format.setTopMargin(paragraph.spaceBefore * pixelsPerTwip);
    format.setBottomMargin(paragraph.spaceAfter * pixelsPerTwip);
    // A hanging indent has an implied tab stop at the left indent, so that "bullet, tab, text"
    // lines the text of the first line up with the lines that follow. Qt measures tab stops from
    // where the line starts, which for the first line is the hanging indent itself.
    if (paragraph.firstLineIndent < 0)
        format.setTabPositions(
            {QTextOption::Tab(-paragraph.firstLineIndent * pixelsPerTwip, QTextOption::LeftTab)});
    return format;
}

QTextCharFormat charFormatOf(const RtfCharFormat &run)
{
    QTextCharFormat format;
    format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(run.italic);
    format.setFontUnderline(run.underline);
    format.setFontStrikeOut(run.strike);
    format.setFontPointSize(run.halfPoints / 2.0);
    if (run.hasColor)
        format.setForeground(QColor(QRgb(run.color)));
    if (!run.fontName.isEmpty()) {
        format.setFontFamilies(QStringList{run.fontName});
        format.setFontStyleHint(styleHintOf(run.fontFamily));
    }
    return format;
}

} // namespace

void fillTextDocument(QTextDocument *target, const RtfDocument &source, qreal dpi)
{
    const qreal pixelsPerTwip = dpi / kTwipsPerInch;
    target->clear();
    QTextOption option = target->defaultTextOption();
    option.setTabStopDistance(kDefaultTabTwips * pixelsPerTwip);
    target->setDefaultTextOption(option);
    QTextCursor cursor(target);
    cursor.beginEditBlock();
    for (qsizetype i = 0; i < source.paragraphs.size(); ++i) {
        const RtfParagraph &paragraph = source.paragraphs[i];
        const QTextBlockFormat block = blockFormatOf(paragraph, pixelsPerTwip);
        // A new document already holds one empty block: the first paragraph takes it over.
        if (i == 0)
            cursor.setBlockFormat(block);
        else
            cursor.insertBlock(block, QTextCharFormat());
        for (const RtfRun &run : paragraph.runs)
            cursor.insertText(run.text, charFormatOf(run.format));
    }
    cursor.endEditBlock();
}

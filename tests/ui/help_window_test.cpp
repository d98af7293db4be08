#include "help/rtf_reader.h"
#include "ui/rich_text_document.h"

#include <QTest>
#include <QTextBlock>

using namespace Qt::StringLiterals;

/// The help text as the Help window shows it: the reader's document turned into Qt's.
class HelpWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void documentFormats();
};

void HelpWindowTest::documentFormats()
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
    QVERIFY(!itemFormat.fontItalic() && itemFormat.fontUnderline() && itemFormat.fontStrikeOut());
    QCOMPARE(itemFormat.fontPointSize(), 12.0);
    QCOMPARE(itemFormat.foreground().color(), QColor(Qt::red));
    QCOMPARE(itemFormat.fontFamilies().toStringList(), QStringList{u"Helvetica"_s});
    QCOMPARE(itemFormat.fontStyleHint(), QFont::SansSerif);
}

QTEST_MAIN(HelpWindowTest)
#include "help_window_test.moc"

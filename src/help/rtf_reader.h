#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

/// How the lines of a paragraph sit between its indents.
enum class RtfAlignment
{
    Left,
    Right,
    Center,
    Justify
};

/// The family a font belongs to, for picking a stand-in when the named font is not installed.
enum class RtfFontFamily
{
    Any,
    Roman,
    Swiss,
    Modern,
    Script,
    Decorative,
    Technical
};

/// The character formatting of a run of text.
struct RtfCharFormat
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int halfPoints = 24; // font size in half points, as RTF counts it
    bool hasColor = false;
    quint32 color = 0; // 0xRRGGBB, when hasColor; otherwise the reader's own text colour
    QString fontName;  // empty: the reader's own font
    RtfFontFamily fontFamily = RtfFontFamily::Any;

    bool operator==(const RtfCharFormat &) const = default;
};

/// A piece of text in one character format; a line break inside a paragraph is
/// QChar::LineSeparator, a tab is '\t'.
struct RtfRun
{
    QString text;
    RtfCharFormat format;
};

/// A paragraph: alignment, indents and spacing in twips, and its runs of text.
struct RtfParagraph
{
    RtfAlignment alignment = RtfAlignment::Left;
    int leftIndent = 0;
    int rightIndent = 0;
    int firstLineIndent = 0; // relative to leftIndent; negative for a hanging indent
    int spaceBefore = 0;
    int spaceAfter = 0;
    QList<RtfRun> runs;

    /// The paragraph's text without formatting.
    QString text() const;
};

/// The readable content of a rich text document.
struct RtfDocument
{
    QList<RtfParagraph> paragraphs;

    /// The document's text without formatting, paragraphs separated by '\n'.
    QString plainText() const;
};

/// Reads rich text (RTF) as word processors and small editors write it. Never fails: malformed or
/// truncated input gives what could be read, and text that is not RTF at all is taken as plain
/// text. Time and memory grow linearly with the input: in a document so densely formatted that
/// its paragraphs and runs would take more than about a dozen times its size, the formatting past
/// that point is dropped and its text kept.
RtfDocument readRtf(const QByteArray &rtf);

/// Reads an RTF file into *document; false, with the reason in *error, when the path is not a
/// readable regular file of a sensible size.
bool readRtfFile(const QString &path, RtfDocument *document, QString *error = nullptr);

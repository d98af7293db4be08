#pragma once

#include <QtGlobal>

struct RtfDocument;
class QTextDocument;

/// Replaces the content of `target` with the paragraphs and runs of `source`. Indents and spacing
/// are given in twips and drawn at `dpi` dots per inch; runs without a font of their own keep
/// the target's default font family.
void fillTextDocument(QTextDocument *target, const RtfDocument &source, qreal dpi = 96.0);

#pragma once

#include <QByteArray>
#include <QList>

/// The lines of an 8-bit text, without their ends: a line ends at LF, a CR before it is dropped,
/// and a last line without an end still counts; "" has no line.
QList<QByteArray> splitLines(const QByteArray &text);

#pragma once

#include <QByteArray>
#include <QStringList>

/// Fields of a Profile record: the Destination table's five columns.
inline constexpr int kRecordFieldCount = 5;

/// The plain record line of one destination row: each field as "[" value "] ", in column order,
/// in the system's 8-bit encoding.
QByteArray plainRecordLine(const QStringList &fields);

/// The five field values of a plain record line. A field runs from the first "[" at or after its
/// search start to the first "]" after that; the next field's search starts just after this
/// field's "["; a "[" without a later "]" takes the rest of the line; text outside the brackets
/// and fields after the fifth are ignored; a field without a "[" is empty.
QStringList splitRecordLine(const QByteArray &plainLine);

#include "profiles/profile_record.h"

QByteArray plainRecordLine(const QStringList &fields)
{
    QByteArray line;
    for (int field = 0; field < kRecordFieldCount; ++field)
        line += '[' + fields.value(field).toLocal8Bit() + "] ";
    return line;
}

QStringList splitRecordLine(const QByteArray &plainLine)
{
    QStringList values;
    qsizetype searchStart = 0;
    for (int field = 0; field < kRecordFieldCount; ++field) {
        const qsizetype open =
            searchStart < plainLine.size() ? plainLine.indexOf('[', searchStart) : qsizetype(-1);
        if (open < 0) {
            values.append(QString());
            searchStart = plainLine.size();
            continue;
        }
        qsizetype close = plainLine.indexOf(']', open + 1);
        if (close < 0)
            close = plainLine.size();
        values.append(QString::fromLocal8Bit(plainLine.mid(open + 1, close - open - 1)));
        searchStart = open + 1;
    }
    return values;
}

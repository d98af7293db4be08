#include "transfer/text_lines.h"

QList<QByteArray> splitLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        if (end < 0)
            end = text.size();
        if (end > start && text.at(end - 1) == '\r')
            --end;
        lines.append(text.mid(start, end - start));
        start = next;
    }
    return lines;
}

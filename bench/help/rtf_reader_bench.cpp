// Timings of the rich text reader over documents of 1, 2, 4 and 8 MiB in shapes that stress its
// parts: ordinary prose (the product's help text over and over), a change of format every few
// characters, double-byte text in \'hh escapes, \uN characters, groups nested far past the
// depth the reader keeps, plain text of short lines, and font and colour tables of hundreds of
// thousands of entries. Prints the median time of five runs and the time per MiB.
#include "help/rtf_reader.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr qsizetype kMiB = 1024 * 1024;

QByteArray helpBody()
{
    QFile file(QStringLiteral(PARCELWRIGHT_SOURCE_DIR "/data/Help.rtf"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("data/Help.rtf cannot be read");
    QByteArray text = file.readAll();
    // The body without its outer braces, to repeat inside one document.
    return text.mid(1, text.lastIndexOf('}') - 1);
}

/// A document of about `size` bytes: `head`, then `unit` repeated, then `tail`.
QByteArray document(qsizetype size, const QByteArray &head, const QByteArray &unit,
                    const QByteArray &tail = "}")
{
    QByteArray text = head;
    text.reserve(size + unit.size() + tail.size());
    while (text.size() < size)
        text += unit;
    return text + tail;
}

double medianMilliseconds(const QByteArray &input)
{
    QList<double> times;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer clock;
        clock.start();
        const RtfDocument result = readRtf(input);
        times << clock.nsecsElapsed() / 1e6;
        // Keeps the result from being optimised away.
        if (result.paragraphs.size() > input.size())
            qFatal("more paragraphs than bytes");
    }
    std::sort(times.begin(), times.end());
    return times[2];
}

} // namespace

int main()
{
    const QByteArray prose = helpBody();
    const QList<std::pair<const char *, std::function<QByteArray(qsizetype)>>> shapes = {
        {"help text", [&](qsizetype n) { return document(n, "{", prose); }},
        {"format changes",
         [](qsizetype n) { return document(n, "{\\rtf1 ", "{\\b x}{\\i y}z\\par "); }},
        {"double-byte",
         [](qsizetype n) { return document(n, "{\\rtf1\\ansicpg932 ", "\\'82\\'a0"); }},
        {"unicode", [](qsizetype n) { return document(n, "{\\rtf1 ", "\\u12354?"); }},
        {"deep nesting", [](qsizetype n) { return document(n, "{\\rtf1 ", "{", ""); }},
        {"plain lines", [](qsizetype n) { return document(n, "", "x\r\n", ""); }},
        {"font table",
         [](qsizetype n) { return document(n, "{\\rtf1{\\fonttbl", "{\\f7\\fswiss F;}", "}x}"); }},
        {"colour table",
         [](qsizetype n) {
             return document(n, "{\\rtf1{\\colortbl;", "\\red1\\green2\\blue3;", "}x}");
         }},
    };
    std::printf("%-16s %8s %10s %12s\n", "shape", "MiB", "median ms", "ms per MiB");
    for (const auto &[name, make] : shapes) {
        for (qsizetype mib : {1, 2, 4, 8}) {
            const QByteArray input = make(mib * kMiB);
            const double ms = medianMilliseconds(input);
            std::printf("%-16s %8lld %10.1f %12.1f\n", name, static_cast<long long>(mib), ms,
                        ms / mib);
        }
    }
    return 0;
}

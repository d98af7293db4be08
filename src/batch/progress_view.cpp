#include "batch/progress_view.h"

#include "transfer/run_session.h"

namespace {

constexpr int kBarWidth = 20;
// Back to the start of the line, and the rest of the old line cleared.
constexpr char kRewind[] = "\r\033[K";

QString resultLine(const DestinationResult &result)
{
    QString line = QStringLiteral("row %1 %2: %3 in %4 s")
                       .arg(result.row)
                       .arg(result.host, outcomeName(result.outcome))
                       .arg(double(result.durationMs) / 1000.0, 0, 'f', 1);
    if (!result.reason.isEmpty())
        line += QStringLiteral(" - ") + result.reason;
    return line;
}

} // namespace

QString printable(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown) {
        if (c.category() == QChar::Other_Control && c != u'\t')
            c = c.unicode() < 0x20 ? QChar(char16_t(0x2400 + c.unicode()))
                                   : QChar::ReplacementCharacter;
    }
    return shown;
}

QString clockText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    const QString minutesAndSeconds =
        QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return minutesAndSeconds;
    return QStringLiteral("%1:%2")
        .arg(seconds / 3600)
        .arg(minutesAndSeconds.rightJustified(5, u'0'));
}

ProgressView::ProgressView(std::FILE *stream, Mode mode, int total)
    : m_stream(stream), m_mode(mode), m_total(total)
{
    m_tick.setInterval(1000);
    QObject::connect(&m_tick, &QTimer::timeout, [this] { redraw(); });
}

void ProgressView::print(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = (printable(line) + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void ProgressView::follow(const RunSession &session)
{
    // The view's own timer is the connections' context: they end with the view.
    QObject::connect(&session, &RunSession::started, &m_tick, [this] { runStarted(); });
    QObject::connect(&session, &RunSession::destinationStarted, &m_tick,
                     [this] { destinationStarted(); });
    QObject::connect(&session, &RunSession::destinationFinished, &m_tick,
                     [this](const DestinationResult &result) { destinationFinished(result); });
    QObject::connect(&session, &RunSession::finished, &m_tick,
                     [this](const RunEnd &end) { runFinished(end); });
}

void ProgressView::runStarted()
{
    m_clock.start();
    if (m_mode == Mode::Terminal)
        m_tick.start();
    redraw();
}

void ProgressView::destinationStarted()
{
    ++m_running;
    redraw();
}

void ProgressView::destinationFinished(const DestinationResult &result)
{
    // A destination whose files could not be written never started.
    if (result.logNumber != 0)
        --m_running;
    ++m_finished;
    const bool failed = result.outcome != Outcome::Sent;
    if (failed)
        ++m_failed;
    if (m_mode == Mode::Lines || failed) {
        if (m_mode == Mode::Terminal)
            std::fputs(kRewind, m_stream);
        print(m_mode == Mode::Quiet ? stderr : m_stream, resultLine(result));
    }
    redraw();
}

void ProgressView::redraw()
{
    if (m_mode != Mode::Terminal)
        return;
    const qint64 elapsed = std::max<qint64>(m_clock.elapsed(), 1);
    const int filled = m_total > 0 ? kBarWidth * m_finished / m_total : kBarWidth;
    const double perSecond = 1000.0 * m_finished / double(elapsed);
    const QString left = m_finished > 0
                             ? clockText(qint64(double(m_total - m_finished) / perSecond * 1000))
                             : QStringLiteral("-:--");
    const QString line = QStringLiteral("[%1%2] %3/%4  running %5  failed %6  %7/s  left %8")
                             .arg(QString(filled, u'#'), QString(kBarWidth - filled, u'-'))
                             .arg(m_finished)
                             .arg(m_total)
                             .arg(m_running)
                             .arg(m_failed)
                             .arg(perSecond, 0, 'f', 1)
                             .arg(left);
    std::fputs(kRewind, m_stream);
    std::fputs(printable(line).toLocal8Bit().constData(), m_stream);
    std::fflush(m_stream);
}

void ProgressView::runFinished(const RunEnd &end)
{
    m_tick.stop();
    redraw();
    if (m_mode == Mode::Terminal)
        std::fputs("\n", m_stream);
    if (m_mode == Mode::Quiet)
        return;
    int counts[4] = {};
    for (const DestinationResult &result : end.results)
        ++counts[int(result.outcome)];
    print(m_stream, QStringLiteral("%1 destination(s): %2 sent, %3 failed, %4 cancelled, %5 not "
                                   "started, in %6")
                        .arg(end.results.size())
                        .arg(counts[int(Outcome::Sent)])
                        .arg(counts[int(Outcome::Failed)])
                        .arg(counts[int(Outcome::Cancelled)])
                        .arg(counts[int(Outcome::NotStarted)])
                        .arg(clockText(m_clock.elapsed())));
}

#include "ui/transfer_progress.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

/// Destinations take uneven times; an estimate from fewer than this many would mislead.
constexpr int kDoneBeforeEstimate = 3;

QString minutesAndSeconds(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TransferProgress::TransferProgress(QWidget *parent)
    : QDialog(parent), m_host(new QLabel(this)), m_count(new QLabel(this)),
      m_bar(new QProgressBar(this)), m_failures(new QLabel(this)), m_time(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Transmitting"));
    // Everything but this window stays blocked, yet the event loop keeps turning, so the main
    // window still paints while a client runs.
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    m_bar->setFormat(QStringLiteral("%v of %m done"));
    // Many destinations at once make a long list of hosts.
    m_host->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &TransferProgress::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_host);
    layout->addWidget(m_count);
    layout->addWidget(m_bar);
    layout->addWidget(m_failures);
    layout->addWidget(m_time);
    layout->addWidget(buttons);
    setMinimumWidth(360);

    m_ticker.setInterval(1000);
    connect(&m_ticker, &QTimer::timeout, this, &TransferProgress::updateTime);
}

void TransferProgress::startRun(int total, int simultaneous)
{
    m_total = std::max(total, 1);
    m_simultaneous = simultaneous;
    m_running.clear();
    m_started = 0;
    m_done = 0;
    m_failed = 0;
    m_estimatedEndMs = -1;
    m_clock.start();
    m_bar->setRange(0, m_total);
    m_bar->setValue(0);
    m_failures->setText(QStringLiteral("0 failed so far"));
}

void TransferProgress::destinationStarted(const QString &host)
{
    ++m_started;
    m_running.append(host);
    updateHosts();
    m_count->setText(QStringLiteral("destination %1 of %2").arg(m_started).arg(m_total));
    if (!isVisible()) {
        m_ticker.start();
        show();
    }
    updateTime();
}

void TransferProgress::destinationFinished(const QString &host, bool failed)
{
    m_running.removeOne(host);
    ++m_done;
    if (failed)
        ++m_failed;
    m_bar->setValue(std::min(m_done, m_total));
    m_failures->setText(QStringLiteral("%1 failed so far").arg(m_failed));
    if (m_done >= kDoneBeforeEstimate && m_done < m_total && m_clock.isValid()) {
        const qint64 elapsed = m_clock.elapsed();
        m_estimatedEndMs = elapsed + elapsed * (m_total - m_done) / m_done;
    } else {
        m_estimatedEndMs = -1;
    }
    if (m_simultaneous > 1)
        updateHosts();
    updateTime();
}

void TransferProgress::runFinished()
{
    m_running.clear();
    m_ticker.stop();
    m_clock.invalidate();
    hide();
}

void TransferProgress::updateHosts()
{
    if (m_simultaneous <= 1) {
        m_host->setText(QStringLiteral("Host: %1").arg(m_running.value(0)));
        return;
    }
    m_host->setText(QStringLiteral("%1 running: %2")
                        .arg(m_running.size())
                        .arg(m_running.join(QStringLiteral(", "))));
}

QString TransferProgress::hostText() const
{
    return m_host->text();
}

QString TransferProgress::countText() const
{
    return m_count->text();
}

QString TransferProgress::failuresText() const
{
    return m_failures->text();
}

QString TransferProgress::timeText() const
{
    return m_time->text();
}

void TransferProgress::reject()
{
    if (!m_running.isEmpty())
        Q_EMIT cancelRequested();
}

void TransferProgress::updateTime()
{
    const qint64 elapsed = m_clock.isValid() ? m_clock.elapsed() : 0;
    QString text = QStringLiteral("elapsed ") + minutesAndSeconds(elapsed / 1000);
    // Rounded up: a run still going never claims to have no time left.
    if (m_estimatedEndMs >= 0)
        text += QStringLiteral(", about %1 left")
                    .arg(minutesAndSeconds((std::max<qint64>(m_estimatedEndMs - elapsed, 0) + 999) /
                                           1000));
    m_time->setText(text);
}

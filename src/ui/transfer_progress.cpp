#include "ui/transfer_progress.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TransferProgress::TransferProgress(QWidget *parent)
    : QDialog(parent), m_host(new QLabel(this)), m_count(new QLabel(this)),
      m_elapsed(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Transmitting"));
    // Everything but this window stays blocked, yet the event loop keeps turning, so the main
    // window still paints while a client runs.
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &TransferProgress::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_host);
    layout->addWidget(m_count);
    layout->addWidget(m_elapsed);
    layout->addWidget(buttons);
    setMinimumWidth(320);

    m_ticker.setInterval(1000);
    connect(&m_ticker, &QTimer::timeout, this, &TransferProgress::updateElapsed);
}

void TransferProgress::showDestination(const QString &host, int index, int total)
{
    m_serving = true;
    m_host->setText(QStringLiteral("Host: %1").arg(host));
    m_count->setText(QStringLiteral("destination %1 of %2").arg(index).arg(total));
    if (!isVisible()) {
        m_clock.start();
        m_ticker.start();
        show();
    }
    updateElapsed();
}

void TransferProgress::destinationDone()
{
    m_serving = false;
    // The next destination usually starts before the event loop turns again; keeping the
    // window up between them avoids a flicker per destination.
    QTimer::singleShot(0, this, &TransferProgress::hideIfIdle);
}

QString TransferProgress::hostText() const
{
    return m_host->text();
}

QString TransferProgress::countText() const
{
    return m_count->text();
}

QString TransferProgress::elapsedText() const
{
    return m_elapsed->text();
}

void TransferProgress::reject()
{
    if (m_serving)
        Q_EMIT cancelRequested();
}

void TransferProgress::updateElapsed()
{
    const qint64 seconds = m_clock.isValid() ? m_clock.elapsed() / 1000 : 0;
    m_elapsed->setText(QStringLiteral("elapsed %1:%2")
                           .arg(seconds / 60)
                           .arg(seconds % 60, 2, 10, QLatin1Char('0')));
}

void TransferProgress::hideIfIdle()
{
    if (m_serving)
        return;
    m_ticker.stop();
    m_clock.invalidate();
    hide();
}

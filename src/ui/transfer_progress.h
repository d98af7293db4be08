#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

class QLabel;
class QProgressBar;

/// The small modal window shown while a run serves its destinations: which host, which
/// destination of how many, a bar of the destinations done, how many have failed so far, the time
/// gone by and, once a few are done, the time left; and a Cancel that stops the run.
class TransferProgress final : public QDialog
{
    Q_OBJECT
public:
    explicit TransferProgress(QWidget *parent = nullptr);

    /// Shows the window (once per run) and names the destination now being served.
    void showDestination(const QString &host, int index, int total);

    /// Counts the destination just served, as failed or not, and closes the window once no further
    /// destination follows at once.
    void destinationDone(bool failed);

    /// The texts shown, for whoever needs to read them back.
    QString hostText() const;
    QString countText() const;
    QString failuresText() const;
    QString timeText() const;

Q_SIGNALS:
    /// The user pressed Cancel (or Escape, or closed the window).
    void cancelRequested();

protected:
    void reject() override;

private:
    void startRun(int total);
    void updateTime();
    void hideIfIdle();

    QLabel *m_host;
    QLabel *m_count;
    QProgressBar *m_bar;
    QLabel *m_failures;
    QLabel *m_time;
    QElapsedTimer m_clock;
    QTimer m_ticker;
    bool m_serving = false;
    int m_total = 0;
    int m_done = 0;
    int m_failed = 0;
    qint64 m_estimatedEndMs = -1; // on m_clock; -1 until enough destinations are done
};

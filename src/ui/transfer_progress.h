#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

class QLabel;
class QProgressBar;

/// The small modal window shown while a run serves its destinations: which hosts are being
/// served, how far the run has come, a bar of the destinations done, how many have failed so far,
/// the time gone by and, once a few are done, the time left; and a Cancel that stops the run.
class TransferProgress final : public QDialog
{
    Q_OBJECT
public:
    explicit TransferProgress(QWidget *parent = nullptr);

    /// A run of `total` destinations, `simultaneous` at a time, begins.
    void startRun(int total, int simultaneous);
    /// Shows the window (once per run) and names a destination now being served.
    void destinationStarted(const QString &host);
    /// Counts a destination that is done, as failed or not.
    void destinationFinished(const QString &host, bool failed);
    /// The run is over: the window goes.
    void runFinished();

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
    void updateTime();
    void updateHosts();

    QLabel *m_host;
    QLabel *m_count;
    QProgressBar *m_bar;
    QLabel *m_failures;
    QLabel *m_time;
    QElapsedTimer m_clock;
    QTimer m_ticker;
    QStringList m_running; // hosts being served, in the order they started
    int m_simultaneous = 1;
    int m_total = 0;
    int m_started = 0;
    int m_done = 0;
    int m_failed = 0;
    qint64 m_estimatedEndMs = -1; // on m_clock; -1 until enough destinations are done
};

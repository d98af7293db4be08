#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

class QLabel;

/// The small modal window shown while a client serves one destination of a run: which host,
/// which destination of how many, the time gone by, and a Cancel that stops the run.
class TransferProgress final : public QDialog
{
    Q_OBJECT
public:
    explicit TransferProgress(QWidget *parent = nullptr);

    /// Shows the window (once per run) and names the destination now being served.
    void showDestination(const QString &host, int index, int total);

    /// Closes the window once no further destination follows at once.
    void destinationDone();

    /// The texts shown, for whoever needs to read them back.
    QString hostText() const;
    QString countText() const;
    QString elapsedText() const;

Q_SIGNALS:
    /// The user pressed Cancel (or Escape, or closed the window).
    void cancelRequested();

protected:
    void reject() override;

private:
    void updateElapsed();
    void hideIfIdle();

    QLabel *m_host;
    QLabel *m_count;
    QLabel *m_elapsed;
    QElapsedTimer m_clock;
    QTimer m_ticker;
    bool m_serving = false;
};

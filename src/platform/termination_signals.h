#pragma once

#include <QObject>

/// Turns the signals that ask a program to end (SIGTERM, SIGINT, SIGHUP) into a Qt signal
/// delivered on the event loop, so that a run can be cancelled cleanly before the program ends;
/// and lets a limit on file sizes (ulimit -f) fail a write as a full disk does, where its signal
/// would end the program with the run's files left behind. One instance at a time; the signals'
/// default actions return when it is destroyed.
class TerminationSignals final : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    /// One of the signals arrived; `signalNumber` says which.
    void received(int signalNumber);

private:
    struct Private;
    Private *d;
};

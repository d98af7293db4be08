#pragma once

#include "platform/process_runner.h"

#include <QByteArray>
#include <QList>
#include <QString>

/// One line that says why a destination failed, taken from its client's own output where the
/// client said so ("530 Login incorrect.", "Unknown host nosuch.invalid.", "FATAL ERROR: ...");
/// otherwise from how the client ended. Empty for a destination that was sent.
QString failureReason(const QList<QByteArray> &clientOutput, const ProcessOutcome &outcome);

/// The line that ends the block of a client killed by a signal, and its reason.
QString signalLine(int signal);

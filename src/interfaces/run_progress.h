#pragma once

#include <QString>

/// Notifications of a transfer run's progress, for a window that shows it and offers a Cancel.
class RunProgress
{
public:
    virtual ~RunProgress() = default;

    /// A client is about to run for destination `index` (1-based) of `total`.
    virtual void destinationStarted(const QString &host, int index, int total) = 0;
    /// The client of the destination announced last has ended; `failed` when it reported a
    /// failure (a client stopped by a cancel has not failed).
    virtual void destinationFinished(bool failed) = 0;
};

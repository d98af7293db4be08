#pragma once

#include <QString>

/// The status line of the main window, as the core reaches it.
class StatusLine
{
public:
    virtual ~StatusLine() = default;

    /// Sets the status line and repaints it at once, so that the text shows before a long step.
    virtual void setStatusText(const QString &text) = 0;
};

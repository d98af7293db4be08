#pragma once

#include <QString>

/// The status line and the message box of the main window, as the core reaches them.
class UserMessages
{
public:
    virtual ~UserMessages() = default;

    /// Sets the status line and repaints it at once, so that the text shows before a long step.
    virtual void setStatusText(const QString &text) = 0;
    /// A modal message box with an OK button only and no icon; returns when it is dismissed.
    virtual void showMessage(const QString &text, const QString &title) = 0;
};

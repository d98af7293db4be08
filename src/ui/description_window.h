#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

/// The Description window: one File list entry in full, for reading and changing. "Exit" hands
/// the text back to the owner; closing the window any other way hands back nothing. Modeless; it
/// deletes itself when it closes.
class Description final : public QWidget
{
    Q_OBJECT
public:
    explicit Description(QWidget *parent = nullptr);

    // The window's controls, named as the rest of the program knows them.
    QPlainTextEdit *frmDescription;
    QPushButton *cmdExit;

    /// Puts an entry's text into frmDescription; a change not yet handed back is lost.
    void setEntryText(const QString &text);

Q_SIGNALS:
    /// "Exit" was pressed: the owner writes `text` into the File list's current row.
    void writeBack(const QString &text);

public Q_SLOTS:
    /// Hands the text back through writeBack, then hides and unloads the window.
    void cmdExit_Click();
};

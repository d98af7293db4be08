#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTextEdit;

/// The Help/About window: the logo, the product line and the help text in a read-only rich text
/// box. Modeless; it deletes itself when it closes, so every opening starts from its design.
class Help final : public QWidget
{
    Q_OBJECT
public:
    explicit Help(QWidget *parent = nullptr);

    // The window's controls, named as the rest of the program knows them.
    QLabel *Picture1;
    QLabel *Label1;
    QTextEdit *frmHelpBox;
    QPushButton *cmdExit;

    /// Loads a rich text file into frmHelpBox; false, with the box left as it was and the reason
    /// in *error, when the file cannot be read.
    bool loadHelpFile(const QString &path, QString *error = nullptr);

public Q_SLOTS:
    /// Hides the window and unloads it.
    void cmdExit_Click();
};

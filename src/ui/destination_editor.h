#pragma once

#include <QLineEdit>
#include <QObject>
#include <QString>

class GridControl;

/// The in-place editor of the Destination table: one single-line text box that floats over the
/// current cell and holds that cell's pending text. The window's handlers decide when it opens,
/// commits and closes; this class keeps the text box, its content and its place in step.
class DestinationEditor final : public QObject
{
    Q_OBJECT
public:
    /// What a commit did with the pending text.
    enum class Commit
    {
        NothingPending, // the editor was closed
        Written,        // the text is in the cell and the editor is closed
        Refused,        // a Secure Shell value other than Y or N: the cell and the editor stay
    };

    /// Key codes of the row keys, as keyDown() reports them.
    static constexpr int kKeyUp = 38;
    static constexpr int kKeyDown = 40;

    /// The text box is made a child of `window`, the widget that also holds the grid.
    DestinationEditor(GridControl &grid, QWidget *window);

    /// The text box itself (frmInputBox).
    QLineEdit *textBox() const { return m_textBox; }
    /// True while the editor is open over the current cell; the text box itself follows when the
    /// event loop next turns.
    bool isOpen() const { return m_open; }
    /// The pending text of the current cell, current at once even after moves made by code.
    QString text() const;

    /// Opens the editor over the current cell with the cell's text, masked in the password column;
    /// on the heading row it closes instead. Pending text of another cell is dropped, not written.
    void open();
    /// Puts the pending content into the text box now, for a user who is about to type.
    void flush();
    /// Writes the pending text into the current cell: a Secure Shell value upper-cased and only as
    /// "Y" or "N" (or empty on a row without a host), a password hidden after it is written.
    Commit commit();
    /// Closes the editor; `clearText` also empties what it holds.
    void close(bool clearText = false);

Q_SIGNALS:
    /// A key went down in the text box: the key code (38 Up, 40 Down, letters and digits by their
    /// own codes, 0 for other characters) and the shift state (1 Shift, 2 Ctrl, 4 Alt). The key
    /// still reaches the text box afterwards.
    void keyDown(int keyCode, int shift);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setContent(const QString &text, QLineEdit::EchoMode echo);
    void scheduleSync();
    void sync();
    void followCell();

    GridControl &m_grid;
    QWidget *m_window;
    QLineEdit *m_textBox;
    bool m_open = false;
    bool m_syncPending = false;
    bool m_contentPending = false;
    QString m_pendingText;
    QLineEdit::EchoMode m_pendingEchoMode = QLineEdit::Normal;
};

#include "ui/destination_editor.h"

#include "ui/controls/grid_control.h"

#include <QKeyEvent>

namespace {

/// Shift-state bits of the key-down handler.
constexpr int kShiftMask = 1;
constexpr int kCtrlMask = 2;
constexpr int kAltMask = 4;

int keyCodeOf(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Up:
        return DestinationEditor::kKeyUp;
    case Qt::Key_Down:
        return DestinationEditor::kKeyDown;
    default:
        break;
    }
    // Qt codes printable keys by their character, so '&' and '(' would pass for Up and Down:
    // only letters and digits keep a code, as the row keys need nothing else.
    const int key = event.key();
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return key;
    return key > 0xFF ? key : 0;
}

int shiftStateOf(Qt::KeyboardModifiers modifiers)
{
    int shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= kShiftMask;
    if (modifiers & Qt::ControlModifier)
        shift |= kCtrlMask;
    if (modifiers & Qt::AltModifier)
        shift |= kAltMask;
    return shift;
}

} // namespace

DestinationEditor::DestinationEditor(GridControl &grid, QWidget *window)
    : QObject(window), m_grid(grid), m_window(window), m_textBox(new QLineEdit(window))
{
    m_textBox->setFrame(false);
    // One asterisk per character in password cells, whatever the style's own mask character.
    m_textBox->setStyleSheet(
        QStringLiteral("QLineEdit { border: 1px solid palette(highlight); padding: 0px; "
                       "lineedit-password-character: 42; }"));
    m_textBox->hide();
    m_textBox->installEventFilter(this);
    // A column or row resized, or a scroll that keeps the edit open, moves the cell under the
    // editor: it follows at once, before the grid paints the cells it would otherwise cover.
    connect(&grid, &GridControl::cellGeometryChanged, this, &DestinationEditor::followCell);
    // A move that the window does not react to (a busy grid) still takes the pending text to the
    // new cell: the editor shows it there.
    connect(&grid, &GridControl::cellEntered, this, [this] {
        if (m_open)
            scheduleSync();
    });
}

QString DestinationEditor::text() const
{
    return m_contentPending ? m_pendingText : m_textBox->text();
}

void DestinationEditor::open()
{
    const int row = m_grid.currentRow();
    const int column = m_grid.currentColumn();
    if (row == 0) {
        close();
        return;
    }
    m_open = true;
    setContent(m_grid.text(row, column),
               column == kPasswordColumn ? QLineEdit::Password : QLineEdit::Normal);
    if (m_textBox->isHidden()) {
        m_textBox->setGeometry(m_grid.currentCellRect(m_window));
        m_textBox->show();
        m_textBox->raise();
    }
    if (!m_textBox->hasFocus())
        m_textBox->setFocus();
    scheduleSync();
}

void DestinationEditor::flush()
{
    if (!m_contentPending)
        return;
    m_contentPending = false;
    if (m_textBox->echoMode() != m_pendingEchoMode)
        m_textBox->setEchoMode(m_pendingEchoMode);
    m_textBox->setText(m_pendingText);
}

DestinationEditor::Commit DestinationEditor::commit()
{
    if (!m_open)
        return Commit::NothingPending;
    const int row = m_grid.currentRow();
    const int column = m_grid.currentColumn();

    if (column == kSecureShellColumn) {
        const QString newValue = text().toUpper();
        setContent(newValue, QLineEdit::Normal);
        flush(); // the user sees the upper-cased text, whatever the outcome
        const QString oldValue = m_grid.text(row, kSecureShellColumn);
        const bool oldAcceptable =
            oldValue.isEmpty() || oldValue == QLatin1String("Y") || oldValue == QLatin1String("N");
        const bool accepted =
            oldAcceptable && (newValue == QLatin1String("Y") || newValue == QLatin1String("N") ||
                              (m_grid.text(row, kHostColumn).isEmpty() && newValue.isEmpty()));
        if (!accepted)
            return Commit::Refused;
        m_grid.setText(row, column, newValue);
        close();
        return Commit::Written;
    }

    m_grid.setText(row, column, text());
    if (column == kPasswordColumn)
        m_grid.setCurrentCellTextColour(kHiddenPasswordColour);
    close();
    return Commit::Written;
}

void DestinationEditor::close(bool clearText)
{
    if (clearText)
        setContent(QString(), m_textBox->echoMode());
    m_open = false;
    scheduleSync();
}

void DestinationEditor::setContent(const QString &text, QLineEdit::EchoMode echo)
{
    // Laying out the text box's text costs more than all else of a cell move; a command that
    // walks the table sets it only where the walk ends.
    m_pendingText = text;
    m_pendingEchoMode = echo;
    m_contentPending = true;
    scheduleSync();
}

void DestinationEditor::scheduleSync()
{
    // A commit is mostly followed at once by an open over the next cell, and a command may walk
    // over thousands of cells: the text box follows only where the walk ends, before the next
    // paint, instead of hiding, moving and taking the focus back at every cell.
    if (!m_syncPending) {
        m_syncPending = true;
        QMetaObject::invokeMethod(this, &DestinationEditor::sync, Qt::QueuedConnection);
    }
}

void DestinationEditor::followCell()
{
    if (m_open && !m_textBox->isHidden())
        m_textBox->setGeometry(m_grid.currentCellRect(m_window));
}

void DestinationEditor::sync()
{
    m_syncPending = false;
    flush();
    if (!m_open) {
        if (!m_textBox->isHidden())
            m_textBox->hide();
        return;
    }
    m_textBox->setGeometry(m_grid.currentCellRect(m_window));
}

bool DestinationEditor::eventFilter(QObject *watched, QEvent *event)
{
    // Whatever reaches the text box (a key, a paint, a query) must find its real content.
    if (watched == m_textBox) {
        flush();
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            Q_EMIT keyDown(keyCodeOf(*key), shiftStateOf(key->modifiers()));
        }
    }
    // The key still reaches the text box.
    return QObject::eventFilter(watched, event);
}

#include "ui/controls/wrapping_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

WrappingButton::WrappingButton(const QString &text, QWidget *parent) : QPushButton(text, parent) {}

void WrappingButton::paintEvent(QPaintEvent *event)
{
    const int margin = 2;
    if (fontMetrics().horizontalAdvance(text()) <= width() - 2 * margin) {
        QPushButton::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.drawItemText(rect().adjusted(margin, 0, -margin, 0), Qt::AlignCenter | Qt::TextWordWrap,
                         palette(), isEnabled(), text(), QPalette::ButtonText);
}

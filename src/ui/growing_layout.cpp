#include "ui/growing_layout.h"

#include <QEvent>

#include <algorithm>

GrowingLayout::GrowingLayout(QWidget *area, QSize designedSize)
    : QObject(area), m_area(area), m_designedSize(designedSize)
{
    area->installEventFilter(this);
}

void GrowingLayout::add(QWidget *control, Edge left, Edge top, Edge right, Edge bottom)
{
    m_items.push_back({control, control->geometry(), left, top, right, bottom});
    apply();
}

bool GrowingLayout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_area && event->type() == QEvent::Resize)
        apply();
    return QObject::eventFilter(watched, event);
}

void GrowingLayout::apply()
{
    // Below the designed size nothing moves: the window does not let the area get that small,
    // and controls pushed over each other would be worse than controls cut off.
    const int wider = std::max(0, m_area->width() - m_designedSize.width());
    const int taller = std::max(0, m_area->height() - m_designedSize.height());
    const auto shift = [wider, taller](Edge edge) {
        switch (edge) {
        case Edge::Stays:
            return 0;
        case Edge::WithRight:
            return wider;
        case Edge::WithHalfHeight:
            return taller / 2;
        case Edge::WithBottom:
            return taller;
        }
        return 0;
    };
    for (const Item &item : m_items) {
        if (!item.control)
            continue;
        const QRect &at = item.designed;
        item.control->setGeometry(
            QRect(QPoint(at.left() + shift(item.left), at.top() + shift(item.top)),
                  QPoint(at.right() + shift(item.right), at.bottom() + shift(item.bottom))));
    }
}

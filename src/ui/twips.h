#pragma once

#include <QFont>
#include <QSize>
#include <QWidget>

/// Windows are designed in twips (1/1440 inch) and in the classic sans serif; these helpers turn
/// the designed numbers into pixels at the screen's logical DPI and the platform's own sans serif.
namespace Twips {

constexpr double kPerInch = 1440.0;

/// Horizontal pixels for a designed length in twips, at the widget's logical DPI.
inline int toPixelsX(const QWidget *widget, int twips)
{
    return qRound(twips * widget->logicalDpiX() / kPerInch);
}

/// Vertical pixels for a designed length in twips, at the widget's logical DPI.
inline int toPixelsY(const QWidget *widget, int twips)
{
    return qRound(twips * widget->logicalDpiY() / kPerInch);
}

/// The pixel size of a designed width and height in twips.
inline QSize toPixels(const QWidget *widget, int width, int height)
{
    return {toPixelsX(widget, width), toPixelsY(widget, height)};
}

/// Places a control at its designed left, top, width and height in twips.
inline void place(QWidget *control, int left, int top, int width, int height)
{
    control->setGeometry(toPixelsX(control, left), toPixelsY(control, top),
                         toPixelsX(control, width), toPixelsY(control, height));
}

/// The platform's sans serif, regular weight, at a designed point size.
inline QFont sansSerif(qreal points)
{
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace Twips

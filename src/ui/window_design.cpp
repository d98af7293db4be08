#include "ui/window_design.h"

#include "ui/twips.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace WindowDesign {

void setUp(QWidget *window, const QString &title, QWidget *surface)
{
    window->setWindowTitle(title);
    window->setFont(Twips::sansSerif(8.25));
    if (!surface)
        surface = window;
    QPalette background = surface->palette();
    background.setColor(QPalette::Window, QColor(0xE0, 0xE0, 0xE0));
    surface->setPalette(background);
    surface->setAutoFillBackground(true);
}

void setUpFixed(QWidget *window, const QString &title, int widthTwips, int heightTwips)
{
    window->setAttribute(Qt::WA_DeleteOnClose);
    setUp(window, title);
    window->setFixedSize(Twips::toPixels(window, widthTwips, heightTwips));
}

} // namespace WindowDesign

#pragma once

#include <QString>

class QWidget;

/// The look that every window of the program shares.
namespace WindowDesign {

/// Gives a window its title and the designed font, and `surface` (the window itself unless
/// another widget is named) the designed grey background.
void setUp(QWidget *window, const QString &title, QWidget *surface = nullptr);

/// Sets up a secondary window (Help, Description): the shared look, a client area fixed at its
/// designed size in twips (its controls do not follow the size), and unloading when it closes by
/// any means, of which the owner learns through destroyed().
void setUpFixed(QWidget *window, const QString &title, int widthTwips, int heightTwips);

} // namespace WindowDesign

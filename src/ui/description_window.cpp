#include "ui/description_window.h"

#include "ui/twips.h"
#include "ui/window_design.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

namespace {

/// Window client area, in twips.
constexpr int kClientWidth = 8805;
constexpr int kClientHeight = 2130;

} // namespace

Description::Description(QWidget *parent) : QWidget(parent, Qt::Window)
{
    WindowDesign::setUpFixed(this, QStringLiteral("Description"), kClientWidth, kClientHeight);

    frmDescription = new QPlainTextEdit(this);
    frmDescription->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    frmDescription->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frmDescription->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    frmDescription->setTabChangesFocus(true);
    Twips::place(frmDescription, 240, 240, 8295, 1215);

    cmdExit = new QPushButton(QStringLiteral("Exit"), this);
    cmdExit->setAutoDefault(false);
    Twips::place(cmdExit, 3480, 1560, 1815, 435);
    connect(cmdExit, &QPushButton::clicked, this, &Description::cmdExit_Click);

    QWidget::setTabOrder(frmDescription, cmdExit);
    frmDescription->setFocus();
}

void Description::setEntryText(const QString &text)
{
    frmDescription->setPlainText(text);
}

void Description::cmdExit_Click()
{
    const QPointer<Description> self(this);
    Q_EMIT writeBack(frmDescription->toPlainText());
    // close() hides the window, and WA_DeleteOnClose unloads it; an owner that closed the window
    // while taking the text has done so already.
    if (self)
        close();
}

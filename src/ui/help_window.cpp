#include "ui/help_window.h"

#include "help/rtf_reader.h"
#include "ui/rich_text_document.h"
#include "ui/twips.h"
#include "ui/window_design.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTextEdit>

namespace {

/// Window client area, in twips.
constexpr int kClientWidth = 9360;
constexpr int kClientHeight = 7995;

} // namespace

Help::Help(QWidget *parent) : QWidget(parent, Qt::Window)
{
    WindowDesign::setUpFixed(this, QStringLiteral("Help/About"), kClientWidth, kClientHeight);

    Picture1 = new QLabel(this);
    Picture1->setPixmap(QPixmap(QStringLiteral(":/parcelwright/logo.gif")));
    Picture1->setScaledContents(true);
    Twips::place(Picture1, 360, 120, 1290, 1080);

    Label1 = new QLabel(QStringLiteral("Tallowmere  - Parcelwright"), this);
    Label1->setFont(Twips::sansSerif(13.5));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Twips::place(Label1, 1800, 480, 6735, 495);

    frmHelpBox = new QTextEdit(this);
    frmHelpBox->setReadOnly(true);
    frmHelpBox->setTabChangesFocus(true);
    frmHelpBox->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Twips::place(frmHelpBox, 360, 1560, 8535, 5655);

    cmdExit = new QPushButton(QStringLiteral("Exit"), this);
    cmdExit->setAutoDefault(false);
    Twips::place(cmdExit, 4200, 7440, 975, 375);
    connect(cmdExit, &QPushButton::clicked, this, &Help::cmdExit_Click);

    QWidget::setTabOrder(frmHelpBox, cmdExit);
    frmHelpBox->setFocus();
}

bool Help::loadHelpFile(const QString &path, QString *error)
{
    RtfDocument document;
    if (!readRtfFile(path, &document, error))
        return false;
    fillTextDocument(frmHelpBox->document(), document, frmHelpBox->logicalDpiX());
    frmHelpBox->moveCursor(QTextCursor::Start);
    return true;
}

void Help::cmdExit_Click()
{
    // close() hides the window, and WA_DeleteOnClose unloads it.
    close();
}

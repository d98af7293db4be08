#include "ui/simultaneous_transfers_dialog.h"

#include "interfaces/transfer_request.h"

#include <QDialogButtonBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

SimultaneousTransfersDialog::SimultaneousTransfersDialog(int current, QWidget *parent)
    : QDialog(parent), m_field(new QLineEdit(QString::number(current), this))
{
    setWindowTitle(QStringLiteral("Simultaneous transfers"));
    auto *label = new QLabel(QStringLiteral("Destinations served at once (%1 to %2):")
                                 .arg(kMinSimultaneous)
                                 .arg(kMaxSimultaneous),
                             this);
    label->setBuddy(m_field);
    m_field->setValidator(new QIntValidator(kMinSimultaneous, kMaxSimultaneous, m_field));
    m_field->selectAll();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &SimultaneousTransfersDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SimultaneousTransfersDialog::reject);
    // 0, 65 or a word can be typed on the way to a number, but never confirmed.
    connect(m_field, &QLineEdit::textChanged, this,
            [this] { m_ok->setEnabled(m_field->hasAcceptableInput()); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_field);
    layout->addWidget(buttons);
}

int SimultaneousTransfersDialog::value() const
{
    return m_field->text().toInt();
}

void SimultaneousTransfersDialog::accept()
{
    if (m_field->hasAcceptableInput())
        QDialog::accept();
}

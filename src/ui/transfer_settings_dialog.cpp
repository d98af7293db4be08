#include "ui/transfer_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TransferSettingsDialog::TransferSettingsDialog(const TransferSettings &current, QWidget *parent)
    : QDialog(parent), idleTimeout(numberField(kMaxIdleTimeoutSeconds, current.idleTimeoutSeconds)),
      retries(numberField(kMaxRetries, current.retries)),
      retryWait(numberField(kMaxRetryWaitSeconds, current.retryWaitSeconds)),
      makeDirectories(new QCheckBox(QStringLiteral("Make missing remote directories"), this)),
      temporaryNames(new QCheckBox(QStringLiteral("Upload under temporary names"), this)),
      ftpTls(new QComboBox(this)), caFile(new QLineEdit(current.caFile, this)),
      hostKeysFile(new QLineEdit(current.hostKeysFile, this))
{
    setWindowTitle(QStringLiteral("Transfer settings"));
    makeDirectories->setChecked(current.makeDirectories);
    temporaryNames->setChecked(current.temporaryNames);
    // In the order of FtpTls.
    ftpTls->addItems({QStringLiteral("Never"), QStringLiteral("When the server offers it"),
                      QStringLiteral("Required")});
    ftpTls->setCurrentIndex(int(current.ftpTls));

    auto *form = new QFormLayout;
    addSetting(form, QStringLiteral("Idle time-out (seconds):"), idleTimeout,
               QStringLiteral("A destination whose client shows no progress this long is stopped "
                              "and fails; 0: never."));
    addSetting(form, QStringLiteral("Retries:"), retries,
               QStringLiteral("A destination that failed for a passing reason (no connection, a "
                              "time-out, a 4xx reply) is sent again, files and all."));
    addSetting(
        form, QStringLiteral("Wait before a retry (seconds):"), retryWait,
        QStringLiteral("Doubled before each further try, at most %1 s.").arg(kMaxRetryWaitSeconds));
    addSetting(form, QString(), makeDirectories,
               QStringLiteral("Each missing level of the remote directory is made before the "
                              "change into it."));
    addSetting(form, QString(), temporaryNames,
               QStringLiteral("Each file arrives as .NAME.part and takes its name once it is "
                              "whole, so nobody picks up half a file."));
    addSetting(form, QStringLiteral("FTP over TLS:"), ftpTls,
               QStringLiteral("Plain FTP rows only; Required sends no password to a server "
                              "without TLS. Certificates are always checked."));
    addSetting(form, QStringLiteral("Certificate file:"),
               fileField(caFile, QStringLiteral("Certificate file")),
               QStringLiteral("PEM certificates to trust for TLS instead of the system's; empty: "
                              "the system's."));
    addSetting(form, QStringLiteral("Host keys file:"),
               fileField(hostKeysFile, QStringLiteral("Host keys file")),
               QStringLiteral("Secure Shell host keys as ssh-keyscan -H -p PORT HOST >> FILE "
                              "writes them; a host listed there is trusted with those keys only."));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TransferSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TransferSettingsDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

TransferSettings TransferSettingsDialog::settings() const
{
    TransferSettings chosen;
    chosen.idleTimeoutSeconds = idleTimeout->value();
    chosen.retries = retries->value();
    chosen.retryWaitSeconds = retryWait->value();
    chosen.makeDirectories = makeDirectories->isChecked();
    chosen.temporaryNames = temporaryNames->isChecked();
    chosen.ftpTls = FtpTls(ftpTls->currentIndex());
    chosen.caFile = caFile->text();
    chosen.hostKeysFile = hostKeysFile->text();
    return chosen;
}

QSpinBox *TransferSettingsDialog::numberField(int most, int value)
{
    auto *field = new QSpinBox(this);
    field->setRange(0, most);
    field->setValue(value);
    return field;
}

QWidget *TransferSettingsDialog::fileField(QLineEdit *field, const QString &caption)
{
    auto *row = new QWidget(this);
    auto *browse = new QPushButton(QStringLiteral("Browse..."), row);
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, [this, field, caption] {
        const QString chosen = QFileDialog::getOpenFileName(this, caption, field->text());
        if (!chosen.isEmpty())
            field->setText(chosen);
    });
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field);
    layout->addWidget(browse);
    return row;
}

void TransferSettingsDialog::addSetting(QFormLayout *form, const QString &label, QWidget *field,
                                        const QString &explanation)
{
    auto *line = new QLabel(explanation, this);
    QFont small = line->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    line->setFont(small);
    form->addRow(label, field);
    form->addRow(QString(), line);
}

#pragma once

#include "interfaces/transfer_request.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QSpinBox;

/// "Transfer settings": how runs treat their destinations beyond the rows - the idle time-out,
/// retries and the wait before them, missing remote directories, temporary names, FTP over TLS
/// with its certificate file, and a host keys file - each with a line that says what it does.
class TransferSettingsDialog final : public QDialog
{
    Q_OBJECT
public:
    explicit TransferSettingsDialog(const TransferSettings &current, QWidget *parent = nullptr);

    /// The settings as the dialog shows them; meaningful once it was accepted.
    TransferSettings settings() const;

    QSpinBox *idleTimeout;
    QSpinBox *retries;
    QSpinBox *retryWait;
    QCheckBox *makeDirectories;
    QCheckBox *temporaryNames;
    QComboBox *ftpTls;
    QLineEdit *caFile;
    QLineEdit *hostKeysFile;

private:
    QSpinBox *numberField(int most, int value);
    QWidget *fileField(QLineEdit *field, const QString &caption);
    void addSetting(QFormLayout *form, const QString &label, QWidget *field,
                    const QString &explanation);
};

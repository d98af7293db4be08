#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

/// "Simultaneous transfers": how many destinations a run may serve at once, typed and confirmed
/// with Enter. It accepts only a whole number within the run's bounds.
class SimultaneousTransfersDialog final : public QDialog
{
    Q_OBJECT
public:
    SimultaneousTransfersDialog(int current, QWidget *parent = nullptr);

    /// The number typed; meaningful once the dialog was accepted.
    int value() const;
    QLineEdit *field() const { return m_field; }

public Q_SLOTS:
    void accept() override;

private:
    QLineEdit *m_field;
    QPushButton *m_ok;
};

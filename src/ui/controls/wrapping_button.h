#pragma once

#include <QPushButton>

/// A push button whose caption wraps onto further lines when it is wider than the button, as the
/// captions of the window's tall buttons are meant to.
class WrappingButton final : public QPushButton
{
    Q_OBJECT
public:
    explicit WrappingButton(const QString &text, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

#pragma once

#include "transfer/cumulative_log.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

/// The read-only viewer of one destination's log ("Log: HOST"), with Find (Ctrl+F); Escape
/// closes it.
class LogViewer final : public QDialog
{
    Q_OBJECT
public:
    explicit LogViewer(QWidget *parent = nullptr);

    /// Shows a destination's block under its host's name.
    void showBlock(const QString &host, const LogBlock &block);

    QLabel *notice;
    QPlainTextEdit *text;
    QLineEdit *findField;

public Q_SLOTS:
    /// Selects the next place that holds the Find text, from the top again after the last.
    void findNext();

private:
    QLabel *m_notFound;
};

#pragma once

#include "interfaces/run_observer.h"
#include "platform/own_files.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

/// What the cumulative log holds for one destination, as the viewer shows it.
struct LogBlock
{
    QString text;
    QString notice; // empty when the block is shown as the run left it
};

/// Reads `result`'s block of FTPLogALL.TXT in `directory` (8-bit text in the locale's encoding),
/// saying so when the log is gone or no longer stands as it did at the run's end (`atEnd`).
/// `password`, wherever it stands, is masked: a hostile server may have echoed it.
LogBlock readLogBlock(const QString &directory, const FileStamp &atEnd,
                      const DestinationResult &result, const QString &password);

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

#include "ui/log_viewer.h"

#include "platform/paths.h"
#include "transfer/transfer_scripts.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

LogBlock readLogBlock(const QString &directory, const FileStamp &atEnd,
                      const DestinationResult &result, const QString &password)
{
    if (result.logOffset < 0)
        return {{},
                kCumulativeLogName + QStringLiteral(" holds nothing of this destination: ") +
                    result.reason};
    QByteArray bytes;
    FileStamp now;
    if (!readOwnFile(workingDirFile(directory, kCumulativeLogName), result.logOffset,
                     result.logLength, &bytes, &now))
        return {{}, kCumulativeLogName + QStringLiteral(" is gone since the run")};
    if (!password.isEmpty())
        bytes.replace(password.toLocal8Bit(), QByteArrayLiteral("********"));
    LogBlock block{QString::fromLocal8Bit(bytes), {}};
    if (now != atEnd)
        block.notice =
            kCumulativeLogName + QStringLiteral(" has changed since the run: this may not be the "
                                                "destination's own block");
    return block;
}

LogViewer::LogViewer(QWidget *parent)
    : QDialog(parent), notice(new QLabel(this)), text(new QPlainTextEdit(this)),
      findField(new QLineEdit(this)), m_notFound(new QLabel(this))
{
    notice->setWordWrap(true);
    notice->setStyleSheet(QStringLiteral("color: red"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto *findLabel = new QLabel(QStringLiteral("&Find:"), this);
    findLabel->setBuddy(findField);
    auto *findButton = new QPushButton(QStringLiteral("Find &next"), this);
    // Enter in the Find box finds; it must not press a button of the dialog instead.
    findButton->setAutoDefault(false);
    connect(findButton, &QPushButton::clicked, this, &LogViewer::findNext);
    connect(findField, &QLineEdit::returnPressed, this, &LogViewer::findNext);
    connect(findField, &QLineEdit::textChanged, m_notFound, &QLabel::clear);
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        findField->setFocus();
        findField->selectAll();
    });

    auto *findRow = new QHBoxLayout;
    findRow->addWidget(findLabel);
    findRow->addWidget(findField, 1);
    findRow->addWidget(findButton);
    findRow->addWidget(m_notFound);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(notice);
    layout->addWidget(text, 1);
    layout->addLayout(findRow);
    resize(720, 480);
}

void LogViewer::showBlock(const QString &host, const LogBlock &block)
{
    setWindowTitle(QStringLiteral("Log: ") + host);
    notice->setText(block.notice);
    notice->setVisible(!block.notice.isEmpty());
    text->setPlainText(block.text);
    m_notFound->clear();
}

void LogViewer::findNext()
{
    const QString wanted = findField->text();
    if (wanted.isEmpty())
        return;
    if (text->find(wanted))
        return;
    // Past the last place: from the top again, once.
    QTextCursor top = text->textCursor();
    top.movePosition(QTextCursor::Start);
    text->setTextCursor(top);
    m_notFound->setText(text->find(wanted) ? QString() : QStringLiteral("Not found"));
}

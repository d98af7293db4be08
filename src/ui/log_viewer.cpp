#include "ui/log_viewer.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

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

#include "window_fixture.h"

using namespace Qt::StringLiterals;

#include <QScrollBar>

/// The in-place editing of the Destination table, driven through the real window.
class TestDestinationEditing : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stateTable_data();
    void stateTable();
    void secureShellCommit_data();
    void secureShellCommit();
    void rowKeys_data();
    void rowKeys();
    void passwordStaysHidden();
};

enum class Event
{
    ClickOther,
    KeyboardMove,
    CodeMove,
    DirectCommit,
    Scroll,
    ClickSame,
    EnterHeading,
    BusyMove,
    FocusAway
};

void TestDestinationEditing::stateTable_data()
{
    QTest::addColumn<bool>("editingBefore");
    QTest::addColumn<int>("event");
    QTest::addColumn<QString>("cellAfter"); // cell (2, 1), which held "old" and was edited to "new"
    QTest::addColumn<bool>("editingAfter");
    QTest::addColumn<QString>("editorAfter");

    const auto row = [](const char *name, bool before, Event event, const QString &cell, bool after,
                        const QString &editor) {
        QTest::newRow(name) << before << int(event) << cell << after << editor;
    };
    row("idle, click opens", false, Event::ClickOther, u"old"_s, true, u"other"_s);
    row("idle, heading stays idle", false, Event::EnterHeading, u"old"_s, false, u""_s);
    row("idle, commit writes nothing", false, Event::DirectCommit, u"old"_s, false, u""_s);
    row("idle, scroll writes nothing", false, Event::Scroll, u"old"_s, false, u""_s);
    row("editing, click moves the edit", true, Event::ClickOther, u"new"_s, true, u"other"_s);
    row("editing, grid key moves the edit", true, Event::KeyboardMove, u"new"_s, true, u"other"_s);
    row("editing, code move commits", true, Event::CodeMove, u"new"_s, true, u"other"_s);
    row("editing, direct commit", true, Event::DirectCommit, u"new"_s, false, u"new"_s);
    row("editing, scroll commits and hides", true, Event::Scroll, u"new"_s, false, u""_s);
    row("editing, click on same cell reloads", true, Event::ClickSame, u"old"_s, true, u"old"_s);
    row("editing, busy move leaves all", true, Event::BusyMove, u"old"_s, true, u"new"_s);
    row("editing, focus away keeps edit", true, Event::FocusAway, u"old"_s, true, u"new"_s);
}

void TestDestinationEditing::stateTable()
{
    QFETCH(bool, editingBefore);
    QFETCH(int, event);
    QFETCH(QString, cellAfter);
    QFETCH(bool, editingAfter);
    QFETCH(QString, editorAfter);

    WindowFixture f;
    f.grid().setText(2, 1, QStringLiteral("old"));
    f.grid().setText(3, 1, QStringLiteral("other"));
    if (editingBefore) {
        f.type(2, 1, QStringLiteral("new"));
    } else {
        f.grid().setCurrentCell(2, 1);
        f.editor().hide();
        f.grid().setFocus();
    }

    switch (Event(event)) {
    case Event::ClickOther:
        f.click(3, 1);
        break;
    case Event::KeyboardMove:
        f.grid().setFocus(); // the edit stays pending while the focus is elsewhere
        QTest::keyClick(&f.grid(), Qt::Key_Down);
        break;
    case Event::CodeMove:
        f.grid().setCurrentRow(3);
        break;
    case Event::DirectCommit:
        f.window.frmFTPTo_LeaveCell();
        break;
    case Event::Scroll:
        f.grid().verticalScrollBar()->setValue(40);
        break;
    case Event::ClickSame:
        f.click(2, 1);
        break;
    case Event::EnterHeading:
        f.grid().setCurrentRow(0);
        break;
    case Event::BusyMove:
        f.window.setGridBusy(true);
        f.grid().setCurrentRow(3);
        f.window.setGridBusy(false);
        break;
    case Event::FocusAway:
        f.window.frmWorkingDirectory->setFocus();
        break;
    }

    QCOMPARE(f.grid().text(2, 1), cellAfter);
    QCOMPARE(f.editing(), editingAfter);
    if (editingAfter)
        QCOMPARE(f.editor().text(), editorAfter);
    QVERIFY(f.messages.isEmpty());
}

void TestDestinationEditing::secureShellCommit_data()
{
    QTest::addColumn<QString>("old");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("refused");

    QTest::newRow("y becomes Y") << u""_s << u"h"_s << u"y"_s << u"Y"_s << false;
    QTest::newRow("n becomes N") << u"Y"_s << u"h"_s << u"n"_s << u"N"_s << false;
    QTest::newRow("other letter") << u"N"_s << u"h"_s << u"x"_s << u"N"_s << true;
    QTest::newRow("blank around Y") << u""_s << u"h"_s << u" y"_s << u""_s << true;
    QTest::newRow("empty, no host") << u"Y"_s << u""_s << u""_s << u""_s << false;
    QTest::newRow("empty, with host") << u"Y"_s << u"h"_s << u""_s << u"Y"_s << true;
    QTest::newRow("foreign old refuses Y") << u"Q"_s << u"h"_s << u"Y"_s << u"Q"_s << true;
}

void TestDestinationEditing::secureShellCommit()
{
    QFETCH(QString, old);
    QFETCH(QString, host);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(bool, refused);

    WindowFixture f;
    f.grid().setText(5, 0, old);
    f.grid().setText(5, 1, host);
    f.type(5, 0, typed);
    if (typed.isEmpty())
        f.editor().clear();
    f.click(7, 2);

    QCOMPARE(f.grid().text(5, 0), stored);
    const QList<Message> expected = {
        {QStringLiteral("The Select Box can be either Y (Yes)or N (No)"),
         QStringLiteral("Edit Error")}};
    QCOMPARE(f.messages, refused ? expected : QList<Message>());
    // The move happens either way, and the editor follows it.
    QCOMPARE(f.grid().currentRow(), 7);
    QVERIFY(f.editing());
}

void TestDestinationEditing::rowKeys_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("rowAfter");

    QTest::newRow("up from 2") << 2 << int(Qt::Key_Up) << 1;
    QTest::newRow("up from 1") << 1 << int(Qt::Key_Up) << 1;
    QTest::newRow("down from 4997") << 4997 << int(Qt::Key_Down) << 4998;
    QTest::newRow("down from 4998") << 4998 << int(Qt::Key_Down) << 4998;
    QTest::newRow("down from 4999") << 4999 << int(Qt::Key_Down) << 4999;
    // Characters whose Qt codes equal the row keys' codes are typed, not taken for moves.
    QTest::newRow("ampersand") << 2 << int(Qt::Key_Ampersand) << 2;
    QTest::newRow("parenthesis") << 2 << int(Qt::Key_ParenLeft) << 2;
}

void TestDestinationEditing::rowKeys()
{
    QFETCH(int, row);
    QFETCH(int, key);
    QFETCH(int, rowAfter);

    WindowFixture f;
    f.grid().setText(rowAfter, 3, QStringLiteral("there"));
    f.type(row, 3, QStringLiteral("typed"));
    QTest::keyClick(&f.editor(), Qt::Key(key));

    QCOMPARE(f.grid().currentRow(), rowAfter);
    QCOMPARE(f.grid().currentColumn(), 3);
    QVERIFY(f.editing());
    // The editor lies exactly over its cell, also after the move scrolled the table.
    QCOMPARE(f.editor().geometry(), f.grid().currentCellRect(f.window.centralWidget()));
    if (rowAfter != row) {
        QCOMPARE(f.grid().text(row, 3), QStringLiteral("typed"));
        QCOMPARE(f.editor().text(), QStringLiteral("there"));
    } else {
        QVERIFY(f.editor().text().startsWith(QStringLiteral("typed")));
    }
}

void TestDestinationEditing::passwordStaysHidden()
{
    WindowFixture f;
    f.type(3, 4, QStringLiteral("s3cret word"));
    QCOMPARE(f.editor().echoMode(), QLineEdit::Password);
    QCOMPARE(f.editor().displayText(), QString(11, QLatin1Char('*')));

    f.click(3, 3);
    QCOMPARE(f.grid().text(3, 4), QStringLiteral("s3cret word"));
    QCOMPARE(f.grid().textColour(3, 4), kHiddenPasswordColour);
    QCOMPARE(f.editor().echoMode(), QLineEdit::Normal);
}

QTEST_MAIN(TestDestinationEditing)
#include "destination_editing_test.moc"

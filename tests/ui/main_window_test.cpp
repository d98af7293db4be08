#include "transfer/transfer_engine.h"
#include "ui/transfer_progress.h"
#include "window_fixture.h"

using namespace Qt::StringLiterals;

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

/// The main window as a whole: its first state, its keys and commands, and Process Request.
class TestMainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void tabOrder_data();
    void tabOrder();
    void exitAndHelp_data();
    void exitAndHelp();
    void processRequest_data();
    void processRequest();
    void redMarksResetOnNextRequest();
    void progressWindowCancels();
};

namespace {

/// Fills one Destination table row directly.
void putRow(GridControl &grid, int row, const QStringList &cells)
{
    for (int column = 0; column < cells.size(); ++column)
        grid.setText(row, column, cells[column]);
}

} // namespace

void TestMainWindow::tabOrder_data()
{
    QTest::addColumn<bool>("editing");
    QTest::newRow("editor hidden") << false;
    QTest::newRow("editor open") << true;
}

void TestMainWindow::tabOrder()
{
    QFETCH(bool, editing);
    WindowFixture f;
    FTP_Information &w = f.window;
    QCOMPARE(QApplication::focusWidget(), w.frmFilesToFTP);
    const QSize fixed = w.size();
    w.resize(fixed + QSize(50, 50));
    QCOMPARE(w.size(), fixed);
    QList<QWidget *> expected = {w.frmFileList, w.cmdProcess, w.cmdExit,    w.frmWorkingDirectory,
                                 w.frmFTPTo,    w.CmdGet,     w.frmProfile, w.cmdProfileSave};
    if (editing) {
        f.click(2, 2);
        expected << w.frmInputBox;
    }
    expected << w.cmdTest << w.frmFilesToFTP;
    w.frmFilesToFTP->setFocus();
    for (QWidget *next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
}

void TestMainWindow::exitAndHelp_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("helpFile");
    QTest::addColumn<int>("ends");
    QTest::addColumn<int>("messages");

    QTest::newRow("Ctrl+E in the editor") << u"ctrl+e"_s << false << 1 << 0;
    QTest::newRow("Cancel/Exit") << u"button"_s << false << 1 << 0;
    QTest::newRow("F1 without help file") << u"f1"_s << false << 0 << 1;
    QTest::newRow("F1 with help file") << u"f1"_s << true << 0 << 0;
}

void TestMainWindow::exitAndHelp()
{
    QFETCH(QString, how);
    QFETCH(bool, helpFile);
    QFETCH(int, ends);
    QFETCH(int, messages);

    QTemporaryDir startup;
    QVERIFY(startup.isValid());
    if (helpFile) {
        QFile help(startup.filePath(QStringLiteral("Help.rtf")));
        QVERIFY(help.open(QIODevice::WriteOnly));
    }
    const QString previous = QDir::currentPath();
    QDir::setCurrent(startup.path());
    WindowFixture f;
    QDir::setCurrent(previous);

    f.type(3, 1, QStringLiteral("pending"));
    if (how == QLatin1String("ctrl+e"))
        QTest::keyClick(&f.editor(), Qt::Key_E, Qt::ControlModifier);
    else if (how == QLatin1String("button"))
        QTest::mouseClick(f.window.cmdExit, Qt::LeftButton);
    else
        QTest::keyClick(&f.editor(), Qt::Key_F1);

    QCOMPARE(f.programEnds, ends);
    QCOMPARE(f.messages.size(), messages);
    if (messages)
        QCOMPARE(f.messages.first(),
                 Message(QStringLiteral(
                             "Help File not found - please contact Tallowmere for assistance"),
                         QStringLiteral("System Error")));
    // Nothing is committed on the way out.
    QVERIFY(f.grid().text(3, 1).isEmpty());
}

void TestMainWindow::processRequest_data()
{
    QTest::addColumn<QStringList>("row1");
    QTest::addColumn<QStringList>("row2");
    QTest::addColumn<QString>("pending"); // typed into (2, 3), left open
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("runs");

    const QStringList valid = {u"N"_s, u"host1"_s, u""_s, u"user"_s, u"pw"_s};
    QTest::newRow("pending user id committed by the first move")
        << valid << QStringList{u"Y"_s, u"host2"_s, u""_s, u""_s, u"pw"_s} << u"u2"_s
        << QStringList() << 2;
    QTest::newRow("refused Secure Shell value shows both messages")
        << QStringList{u"y"_s, u"host1"_s, u""_s, u"user"_s, u"pw"_s}
        << QStringList{u"N"_s, u"host2"_s, u""_s, u"u"_s, u"pw"_s} << u""_s
        << QStringList{u"Error Message"_s, u"Edit Error"_s} << 0;
    QTest::newRow("pending edit not seen by request checks")
        << QStringList{u"N"_s, u""_s, u""_s, u""_s, u""_s}
        << QStringList{u"N"_s, u""_s, u""_s, u""_s, u""_s} << u"u2"_s << QStringList{u"No Files"_s}
        << 0;
}

void TestMainWindow::processRequest()
{
    QFETCH(QStringList, row1);
    QFETCH(QStringList, row2);
    QFETCH(QString, pending);
    QFETCH(QStringList, messages);
    QFETCH(int, runs);

    QTemporaryDir work;
    QVERIFY(work.isValid());
    WindowFixture f;
    f.window.frmWorkingDirectory->setText(work.path());
    f.window.frmFileList->setText(1, 0, QStringLiteral("/etc/hostname"));
    putRow(f.grid(), 1, row1);
    putRow(f.grid(), 2, row2);
    if (!pending.isEmpty())
        f.type(2, 3, pending);
    else
        f.click(3, 2); // an editor open elsewhere, as after any earlier edit

    QTest::mouseClick(f.window.cmdProcess, Qt::LeftButton);

    QStringList titles;
    for (const Message &message : std::as_const(f.messages))
        titles << message.second;
    QCOMPARE(titles, messages);
    QCOMPARE(f.launcher.batches.size(), runs);
    if (runs) {
        QCOMPARE(f.grid().text(2, 3), pending);
        QVERIFY(f.window.frmMessage->text().startsWith(QStringLiteral("All Transmissions")));
    }
    if (titles.contains(QStringLiteral("Edit Error"))) {
        QCOMPARE(f.grid().text(1, 0), QStringLiteral("y"));
        QCOMPARE(f.grid().textColour(1, 0), kFaultColour);
    }
}

void TestMainWindow::redMarksResetOnNextRequest()
{
    QTemporaryDir work;
    QVERIFY(work.isValid());
    WindowFixture f;
    f.window.frmWorkingDirectory->setText(work.path());
    f.window.frmFileList->setText(1, 0, QStringLiteral("/etc/hostname"));
    putRow(f.grid(), 1, {u"Y"_s, u"host1"_s, u""_s, u""_s, u""_s});

    f.window.cmdProcess_Click();
    QCOMPARE(f.messages.size(), 2);
    QCOMPARE(f.grid().textColour(1, 3), kFaultColour);
    QCOMPARE(f.grid().textColour(1, 4), kFaultColour);

    f.type(1, 3, QStringLiteral("user"));
    f.type(1, 4, QStringLiteral("pw"));
    f.click(1, 1);
    f.window.cmdProcess_Click();
    QCOMPARE(f.messages.size(), 2);
    QCOMPARE(f.launcher.batches.size(), 1);
    for (int column = 0; column < kPasswordColumn; ++column)
        QCOMPARE(f.grid().textColour(1, column), kStandardTextColour);
    // The password ends the reset with the editor over it; leaving it hides it again.
    QCOMPARE(f.grid().currentColumn(), int(kPasswordColumn));
    f.click(2, 1);
    QCOMPARE(f.grid().textColour(1, kPasswordColumn), kHiddenPasswordColour);
    QCOMPARE(f.grid().text(1, kPasswordColumn), QStringLiteral("pw"));
}

void TestMainWindow::progressWindowCancels()
{
    QTemporaryDir work;
    QVERIFY(work.isValid());
    WindowFixture f;
    f.window.frmWorkingDirectory->setText(work.path());
    f.window.frmFileList->setText(1, 0, QStringLiteral("/etc/hostname"));
    putRow(f.grid(), 1, {u"N"_s, u"first"_s, u""_s, u"u"_s, u"p"_s});
    putRow(f.grid(), 2, {u"N"_s, u"second"_s, u""_s, u"u"_s, u"p"_s});

    TransferProgress *progress = f.window.progressWindow();
    bool blocked = false;
    f.launcher.whileRunning = [&] {
        QTRY_VERIFY(progress->isVisible());
        blocked = QApplication::activeModalWidget() == progress;
        QCOMPARE(progress->hostText(), QStringLiteral("Host: first"));
        QCOMPARE(progress->countText(), QStringLiteral("destination 1 of 2"));
        QPushButton *cancel =
            progress->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
    };
    f.window.cmdProcess_Click();

    QVERIFY(blocked);
    QCOMPARE(f.launcher.batches.size(), 1);
    QVERIFY(f.launcher.cancelled);
    QVERIFY(f.window.frmMessage->text().contains(QStringLiteral("cancelled")));
    QTRY_VERIFY(!progress->isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "main_window_test.moc"

#include "support/files.h"
#include "ui/description_window.h"
#include "ui/destination_editor.h"
#include "ui/file_selection.h"
#include "ui/help_window.h"
#include "ui/transfer_progress.h"
#include "ui/transfer_settings_dialog.h"
#include "ui/twips.h"
#include "ui/user_settings.h"
#include "window_fixture.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

/// A cell edited, then something done to the window.
struct Edit
{
    int row;
    int column;
    QStringList cells; // the row before; its neighbours hold "other" in the column
    QString typed;     // "-": no editor open
    Action event;
    QString cellAfter;
    QString editorAfter; // "row:shown text", "-": no editor
};
Q_DECLARE_METATYPE(Edit)

class MainWindowTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home; // the user's home, with the user's settings in it

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
    }
    void init() { QSettings(u"parcelwright"_s, u"parcelwright"_s).clear(); }

    void workingDirectoryAtStart_data()
    {
        QTest::addColumn<Action>("before"); // in the window of the start before
        QTest::addColumn<QString>("shown"); // "~/" for the home, "work/" for that start's folder
        static const Action send = [](WindowFixture &f) {
            f.addHosts(1);
            f.process();
        };
        // clang-format off
        QTest::newRow("first start") << Action([](WindowFixture &) {}) << u"~/Parcelwright/"_s;
        QTest::newRow("after a run") << send << u"work/"_s;
        QTest::newRow("after a refused request") << Action([](WindowFixture &f) { f.window.cmdProcess_Click(); }) << u"~/Parcelwright/"_s;
        QTest::newRow("the run's folder removed since") << Action([](WindowFixture &f) { send(f); QVERIFY(f.work.remove()); }) << u"~/Parcelwright/"_s;
        QTest::newRow("a relative folder") << Action([](WindowFixture &f) {
            const QString before = QDir::currentPath();
            QVERIFY(QDir(f.work.path()).mkdir(u"sub"_s) && QDir::setCurrent(f.work.path()));
            f.window.frmWorkingDirectory->setText(u"sub"_s);
            send(f);
            QVERIFY(QDir::setCurrent(before));
        }) << u"work/sub/"_s;
        QTest::newRow("transfer settings chosen, then a run") << Action([](WindowFixture &f) {
            QTimer::singleShot(0, [] {
                auto *dialog = qobject_cast<TransferSettingsDialog *>(QApplication::activeModalWidget());
                dialog->ftpTls->setCurrentIndex(2);
                dialog->caFile->setText(u"/etc/hostname"_s);
                dialog->retries->setValue(3);
                dialog->accept();
            });
            f.window.mnuTransferSettings->trigger();
            send(f);
            QVERIFY(f.launcher.calls.value(0).launcher.contains(" -tls:required -cafile:/etc/hostname host1"));
        }) << u"work/"_s;
        // clang-format on
    }
    void workingDirectoryAtStart()
    {
        QFETCH(Action, before);
        QFETCH(QString, shown);
        WindowFixture f;
        before(f);
        FTP_Information next(f.session, f.connectionTest, f.profiles);
        QVERIFY(next.transferSettings() == f.window.transferSettings());
        QCOMPARE(
            next.frmWorkingDirectory->text(),
            shown.replace(u"~/"_s, m_home.path() + u'/').replace(u"work/"_s, f.work.path() + u'/'));
    }

    void editing_data()
    {
        QTest::addColumn<Edit>("edit");
        const Action click = [](WindowFixture &f) { f.click(3, 1); };
        const Action commit = [](WindowFixture &f) { f.window.frmFTPTo_LeaveCell(); };
        const Action scroll = [](WindowFixture &f) { f.grid().verticalScrollBar()->setValue(40); };
        const Action up = [](WindowFixture &f) { QTest::keyClick(&f.editor(), Qt::Key_Up); };
        const Action down = [](WindowFixture &f) { QTest::keyClick(&f.editor(), Qt::Key_Down); };
        // The second click lands on the editor once it has moved over the cell, else on the grid.
        const Action doubleClickAndType = [](WindowFixture &f) {
            f.doubleClick(3, 1);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
            QTest::keyClicks(QApplication::focusWidget(), u"x"_s);
        };
        const Action widenByHeading = [](WindowFixture &f) {
            QHeaderView *heading = f.grid().horizontalHeader();
            const int before = heading->sectionSize(0);
            const QPoint edge(heading->sectionViewportPosition(0) + before - 1,
                              heading->height() / 2);
            QTest::mousePress(heading->viewport(), Qt::LeftButton, {}, edge);
            QTest::mouseMove(heading->viewport(), edge + QPoint(60, 0));
            QTest::mouseRelease(heading->viewport(), Qt::LeftButton, {}, edge + QPoint(60, 0));
            QCOMPARE(heading->sectionSize(0), before + 60);
        };
        // clang-format off
        QTest::newRow("idle, heading stays idle") << Edit{2, 1, {{}, u"old"_s}, u"-"_s, [](WindowFixture &f) { f.grid().setCurrentRow(0); }, u"old"_s, u"-"_s};
        QTest::newRow("idle, scroll writes nothing") << Edit{2, 1, {{}, u"old"_s}, u"-"_s, scroll, u"old"_s, u"-"_s};
        QTest::newRow("click moves the edit") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, click, u"new"_s, u"3:other"_s};
        QTest::newRow("grid key moves the edit") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, [](WindowFixture &f) { f.grid().setFocus(); QTest::keyClick(&f.grid(), Qt::Key_Down); }, u"new"_s, u"3:other"_s};
        QTest::newRow("code move commits") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, [](WindowFixture &f) { f.grid().setCurrentRow(3); }, u"new"_s, u"3:other"_s};
        QTest::newRow("code move to the same cell") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, [](WindowFixture &f) { f.grid().setCurrentRow(2); }, u"old"_s, u"2:new"_s};
        QTest::newRow("far code move scrolls there") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, [](WindowFixture &f) { f.grid().setCurrentRow(4000); QVERIFY(f.grid().topRow() > 3900); }, u"new"_s, u"4000:"_s};
        QTest::newRow("direct commit") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, commit, u"new"_s, u"-"_s};
        QTest::newRow("scroll commits and hides") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, scroll, u"new"_s, u"-"_s};
        QTest::newRow("click on same cell reloads") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, [](WindowFixture &f) { f.click(2, 1); }, u"old"_s, u"2:old"_s};
        QTest::newRow("busy move leaves all") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, [](WindowFixture &f) { f.window.setGridBusy(true); f.grid().setCurrentRow(3); f.window.setGridBusy(false); }, u"old"_s, u"3:new"_s};
        QTest::newRow("focus away keeps edit") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, [](WindowFixture &f) { f.window.frmWorkingDirectory->setFocus(); }, u"old"_s, u"2:new"_s};
        QTest::newRow("secure shell y becomes Y") << Edit{2, 0, {{}, u"h"_s}, u"y"_s, click, u"Y"_s, u"3:"_s};
        QTest::newRow("secure shell n becomes N") << Edit{2, 0, {u"Y"_s, u"h"_s}, u"n"_s, click, u"N"_s, u"3:"_s};
        QTest::newRow("secure shell other letter") << Edit{2, 0, {u"N"_s, u"h"_s}, u"x"_s, click, u"N"_s, u"3:"_s};
        QTest::newRow("secure shell blank around Y") << Edit{2, 0, {{}, u"h"_s}, u" y"_s, click, u""_s, u"3:"_s};
        QTest::newRow("secure shell empty, no host") << Edit{2, 0, {u"Y"_s, {}}, u""_s, click, u""_s, u"3:"_s};
        QTest::newRow("secure shell empty, with host") << Edit{2, 0, {u"Y"_s, u"h"_s}, u""_s, click, u"Y"_s, u"3:"_s};
        QTest::newRow("secure shell foreign old refuses Y") << Edit{2, 0, {u"Q"_s, u"h"_s}, u"Y"_s, click, u"Q"_s, u"3:"_s};
        QTest::newRow("password hidden in editor and cell") << Edit{3, 4, {{}, u"host"_s}, u"s3cret word"_s, click, u"s3cret word"_s, u"3:host"_s};
        QTest::newRow("up from 2") << Edit{2, 3, {}, u"typed"_s, up, u"typed"_s, u"1:other"_s};
        QTest::newRow("up from 1") << Edit{1, 3, {}, u"typed"_s, up, u""_s, u"1:typed"_s};
        QTest::newRow("down from 4997") << Edit{4997, 3, {}, u"typed"_s, down, u"typed"_s, u"4998:other"_s};
        QTest::newRow("down from 4998") << Edit{4998, 3, {}, u"typed"_s, down, u""_s, u"4998:typed"_s};
        QTest::newRow("down from 4999") << Edit{4999, 3, {}, u"typed"_s, down, u""_s, u"4999:typed"_s};
        QTest::newRow("code move past the grid") << Edit{4999, 3, {}, u"typed"_s, [](WindowFixture &f) { f.grid().setCurrentRow(5000); QCOMPARE(f.grid().text(5000, 3), QString()); }, u""_s, u"4999:typed"_s};
        QTest::newRow("double-click opens") << Edit{2, 1, {{}, u"old"_s}, u"-"_s, doubleClickAndType, u"old"_s, u"3:otherx"_s};
        QTest::newRow("double-click moves the edit") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, doubleClickAndType, u"new"_s, u"3:otherx"_s};
        QTest::newRow("column resized by its heading") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, widenByHeading, u"old"_s, u"2:new"_s};
        QTest::newRow("row above resized") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, [](WindowFixture &f) { f.grid().verticalHeader()->resizeSection(0, 50); }, u"old"_s, u"2:new"_s};
        QTest::newRow("window grown") << Edit{2, 3, {{}, u"old"_s}, u"new"_s, [](WindowFixture &f) { f.window.resize(f.window.size() + QSize(400, 200)); }, u""_s, u"2:new"_s};
        QTest::newRow("column wider than the view") << Edit{2, 1, {{}, u"old"_s}, u"new"_s, [](WindowFixture &f) { f.grid().setColumnWidth(1, 3 * f.grid().viewport()->width()); }, u"old"_s, u"2:new"_s};
        QTest::newRow("'&' has the Up code") << Edit{2, 3, {}, u"typed"_s, [](WindowFixture &f) { QTest::keyClick(&f.editor(), Qt::Key_Ampersand); }, u""_s, u"2:typed&"_s};
        QTest::newRow("'(' has the Down code") << Edit{2, 3, {}, u"typed"_s, [](WindowFixture &f) { QTest::keyClick(&f.editor(), Qt::Key_ParenLeft); }, u""_s, u"2:typed("_s};
        // clang-format on
    }
    void editing()
    {
        QFETCH(Edit, edit);
        const auto &[row, column, cells, typed, event, cellAfter, editorAfter] = edit;
        WindowFixture f;
        f.fill(row, cells);
        for (int neighbour : {row - 1, row + 1})
            f.grid().setText(neighbour, column, u"other"_s);
        if (typed == u"-") {
            f.grid().setCurrentCell(row, column);
            f.editor().hide();
            f.grid().setFocus();
        } else {
            f.type(row, column, typed);
            QCOMPARE(f.editor().displayText() == typed, column != kPasswordColumn);
        }
        QCoreApplication::processEvents(); // the window settles while the user types
        event(f);

        QCOMPARE(f.grid().text(row, column), cellAfter);
        QCOMPARE(f.grid().textColour(row, column) == kHiddenPasswordColour,
                 column == kPasswordColumn);
        const bool open = f.window.editor().isOpen();
        QCoreApplication::processEvents(); // the editor is shown once the event loop has turned
        const bool editing = open && !f.editor().isHidden();
        QCOMPARE(editing ? u"%1:"_s.arg(f.grid().currentRow()) + f.editor().displayText() : u"-"_s,
                 editorAfter);
        // A Secure Shell value is refused when it would not be stored upper-cased.
        const bool refused = column == 0 && cellAfter != typed.toUpper();
        const Message refusal{u"Edit Error"_s, u"The Select Box can be either Y (Yes)or N (No)"_s};
        QCOMPARE(f.messages, refused ? Messages{refusal} : Messages());
        if (editing) { // over the visible part of its cell, also after scrolls and resizes
            const QWidget *view = f.grid().viewport();
            const QRect shown =
                view->rect() & f.grid().visualRect(f.grid().model()->index(
                                   f.grid().currentRow() - 1, f.grid().currentColumn()));
            QCOMPARE(f.editor().geometry(),
                     QRect(view->mapTo(f.window.centralWidget(), shown.topLeft()), shown.size()));
        }
    }

    void gridModel()
    {
        GridControl grid(50, 3);
        QAbstractItemModelTester tester(grid.model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.setFormatString(u"<One |^Two|>Three"_s);
        grid.setText(49, 0, u"entry"_s); // the last row
        grid.setCurrentCell(7, 2);
        grid.setCurrentCellTextColour(kFaultColour);
        QCOMPARE(grid.model()->data(grid.model()->index(6, 2), Qt::ForegroundRole).value<QColor>(),
                 QColor(Qt::red));
        grid.clearEntries();
        QCOMPARE(grid.text(49, 0), QString());
        QCOMPARE(grid.model()->rowCount(), 49); // row 0 is the view's header, not a model row
        QStringList headings;
        for (int column = 0; column < 3; ++column)
            headings << grid.model()->headerData(column, Qt::Horizontal).toString();
        QCOMPARE(headings, (QStringList{u"One "_s, u"Two"_s, u"Three"_s}));
        QCOMPARE(grid.text(50, 0), QString()); // outside the grid: nothing, and no crash
        grid.setText(-1, 9, u"ignored"_s);
    }

    void longEntries_data()
    {
        QTest::addColumn<bool>("fileList"); // its entries have the whole entry as a tip
        QTest::newRow("File list entry") << true;
        QTest::newRow("Destination password") << false;
    }
    void longEntries()
    {
        QFETCH(bool, fileList);
        const int column = fileList ? 0 : int(kPasswordColumn);
        WindowFixture f;
        GridControl &grid = fileList ? *f.window.frmFileList : f.grid();
        const QString entry = u"/srv/exports/"_s + QString(200, u'x') + u"/end of the path.txt"_s;
        grid.setText(2, column, entry);

        // Widened to hold the entry, the column can be scrolled to show its far end.
        grid.setColumnWidth(column, grid.fontMetrics().horizontalAdvance(entry) + 10);
        QCoreApplication::processEvents(); // the scroll bar's range follows
        const auto columnEnd = [&] {
            return grid.columnViewportPosition(column) + grid.columnWidth(column);
        };
        QScrollBar *sideways = grid.horizontalScrollBar();
        sideways->setValue(sideways->value() + columnEnd() - grid.viewport()->width());
        QCOMPARE(columnEnd(), grid.viewport()->width());

        QCOMPARE(grid.model()->index(1, column).data(Qt::ToolTipRole).toString(),
                 fileList ? entry : QString());
    }

    void nameList_data()
    {
        QTest::addColumn<QString>("nameList"); // '^' stands for NUL
        QTest::addColumn<QStringList>("paths");
        // clang-format off
        QTest::newRow("root directory") << u"/^a^b"_s << QStringList{u"/a"_s, u"/b"_s};
        QTest::newRow("one-letter last name") << u"/data^ab^c"_s << QStringList{u"/data/ab"_s, u"/data/c"_s};
        QTest::newRow("NUL at the end") << u"/d^a^b^"_s << QStringList{u"/d/a"_s, u"/d/b"_s};
        QTest::newRow("two NULs stop the list") << u"/d^a^^b"_s << QStringList{u"/d/a"_s};
        QTest::newRow("typed names from two folders") << u"/^e/x/a^e/y/b^f/c"_s << QStringList{u"/e/x/a"_s, u"/e/y/b"_s, u"/f/c"_s};
        // clang-format on
    }
    void nameList()
    {
        QFETCH(QString, nameList);
        QFETCH(QStringList, paths);
        QCOMPARE(pathsFromNameList(nameList.replace(u'^', u'\0')), paths);
        QCOMPARE(pathsFromNameList(nameListFromPaths(paths)), paths);
    }

    void addSelectedFiles_data()
    {
        QTest::addColumn<int>("filledRows");   // rows 1..filledRows hold "old"
        QTest::addColumn<int>("emptiedRow");   // but this one (0: none)
        QTest::addColumn<int>("names");        // chosen in the file dialog; 0: it was cancelled
        QTest::addColumn<int>("firstWritten"); // 0: nothing written
        QTest::addColumn<QString>("message");
        // clang-format off
        QTest::newRow("cancelled") << 2 << 0 << 0 << 0 << u""_s;
        QTest::newRow("after two entries") << 2 << 0 << 1 << 3 << u""_s;
        QTest::newRow("into an emptied row") << 5 << 2 << 3 << 2 << u""_s;
        QTest::newRow("exactly fits") << 4990 << 0 << 9 << 4991 << u""_s;
        QTest::newRow("one too many") << 4990 << 0 << 10 << 0 << u"The File list is full - only 9 more files fit"_s;
        QTest::newRow("full list") << 4999 << 0 << 1 << 0 << u"The File list is full - only 0 more files fit"_s;
        // clang-format on
    }
    void addSelectedFiles()
    {
        QFETCH(int, filledRows);
        QFETCH(int, emptiedRow);
        QFETCH(int, names);
        QFETCH(int, firstWritten);
        QFETCH(QString, message);

        WindowFixture f;
        GridControl &list = *f.window.frmFileList;
        for (int row = 1; row <= filledRows; ++row)
            list.setText(row, 0, row == emptiedRow ? QString() : u"old"_s);
        QStringList paths;
        for (int i = 0; i < names; ++i)
            paths << u"/data/f%1"_s.arg(i);
        f.fill(2, {{}, u"old"_s});
        f.type(2, 1, u"pending"_s);
        f.window.frmMessage->setText(u"an earlier status"_s);
        QString statusDuringDialog = u"not asked"_s;
        f.window.setFileChooser([&] {
            statusDuringDialog = f.window.frmMessage->text();
            return paths;
        });
        QTest::mouseClick(f.window.frmFilesToFTP, Qt::LeftButton);

        QCOMPARE(statusDuringDialog, QString()); // cleared before the dialog shows
        QCOMPARE(f.messages,
                 (message.isEmpty() ? Messages() : Messages{{u"Edit Error"_s, message}}));
        for (int row = 1; row <= kLastDataRow; ++row) {
            const QString old = row <= filledRows && row != emptiedRow ? u"old"_s : QString();
            QCOMPARE(list.text(row, 0), firstWritten ? paths.value(row - firstWritten, old) : old);
        }
        QCOMPARE(f.grid().text(2, 1), u"old"_s); // the edit stays pending, as it was
        QVERIFY(f.window.editor().isOpen() && f.window.editor().text() == u"pending"_s);
    }

    void refusesNamesThatCannotBeSent_data()
    {
        QTest::addColumn<QByteArray>("name"); // of a real file, as bytes on disk
        QTest::addColumn<bool>("listed");
        QTest::newRow("plain") << QByteArray("a b.txt") << true;
        QTest::newRow("a real U+FFFD") << QByteArray("x\xef\xbf\xbd.txt") << true;
        QTest::newRow("line feed") << QByteArray("a\nput x") << false;
        QTest::newRow("not valid UTF-8") << QByteArray("caf\xe9.txt") << false;
    }
    void refusesNamesThatCannotBeSent()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, listed);
        WindowFixture f;
        GridControl &list = *f.window.frmFileList;
        list.setText(1, 0, QString()); // an empty list
        const QByteArray path = QFile::encodeName(f.work.path()) + '/' + name;
        // Made from the name's own bytes, whatever the system's encoding makes of them.
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0600);
        QVERIFY(fd >= 0 && ::close(fd) == 0);
        const auto removeIt = qScopeGuard([&path] { ::unlink(path.constData()); }); // Qt skips it
        // What the file dialog returns: the names as Qt decodes them.
        const QStringList chosen{f.work.filePath(u"first.txt"_s), QFile::decodeName(path)};
        QVERIFY(writeBytes(chosen.first(), "1"));

        f.window.AddSelectedFiles(nameListFromPaths(chosen));

        QCOMPARE(list.text(1, 0).isEmpty(), !listed); // nothing of a refused selection is added
        QCOMPARE(list.text(2, 0), listed ? chosen.value(1) : QString());
        QCOMPARE(f.messages.size(), listed ? 0 : 1);
        if (!listed)
            QVERIFY(f.messages[0].title == u"Edit Error"_s &&
                    f.messages[0].text.startsWith(u"This file name cannot be sent: "_s));
    }

    void progressWindow()
    {
        WindowFixture f;
        f.addHosts(5);
        for (int row = 2; row <= kLastDataRow; ++row) // the whole File list is sent
            f.window.frmFileList->setText(row, 0, u"/f/%1"_s.arg(row));
        TransferProgress *progress = f.window.progressWindow();
        QStringList seen; // while each client runs: status line, window texts, estimate or not
        f.launcher.whileRunning = [&](int call, ProcessOutcome &outcome) {
            const QProgressBar *bar = progress->findChild<QProgressBar *>();
            const QStringList texts{f.window.frmMessage->text(), progress->hostText(),
                                    progress->countText(), bar ? bar->text() : u"no bar"_s,
                                    progress->failuresText()};
            seen << texts.join(u", "_s) +
                        (progress->timeText().contains(u"left"_s) ? u" +"_s : u""_s);
            if (call == 1 || call == 3)
                outcome.exitStatus = 1;
        };
        f.process();
        // clang-format off
        QCOMPARE(seen, (QStringList{
            u"Building/Xmitting: host1, Host: host1, destination 1 of 5, 0 of 5 done, 0 failed so far"_s,
            u"Building/Xmitting: host2, Host: host2, destination 2 of 5, 1 of 5 done, 0 failed so far"_s,
            u"Building/Xmitting: host3, Host: host3, destination 3 of 5, 2 of 5 done, 1 failed so far"_s,
            u"Building/Xmitting: host4, Host: host4, destination 4 of 5, 3 of 5 done, 1 failed so far +"_s,
            u"Building/Xmitting: host5, Host: host5, destination 5 of 5, 4 of 5 done, 2 failed so far +"_s}));
        // clang-format on
        QVERIFY(f.launcher.calls.value(0).script.endsWith("put /f/4999 4999\r\nquit\r\n"));
    }

    void runCancels_data()
    {
        QTest::addColumn<Action>("cancel"); // done while the first of two clients runs
        QTest::addColumn<int>("ends");      // how often the program was ended afterwards
        // clang-format off
        QTest::newRow("Cancel") << Action([](WindowFixture &f) {
            QTest::mouseClick(f.window.progressWindow()->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        }) << 0;
        QTest::newRow("Escape") << Action([](WindowFixture &f) { QTest::keyClick(f.window.progressWindow(), Qt::Key_Escape); }) << 0;
        QTest::newRow("closing it") << Action([](WindowFixture &f) { f.window.progressWindow()->close(); }) << 0;
        // The program ends only once the run has stopped its client and removed its files.
        QTest::newRow("termination signal") << Action([](WindowFixture &f) { f.window.terminationRequested(); }) << 1;
        // clang-format on
    }
    void runCancels()
    {
        QFETCH(Action, cancel);
        QFETCH(int, ends);
        WindowFixture f;
        f.addHosts(2);
        TransferProgress *progress = f.window.progressWindow();
        bool blocked = false;
        int endsDuringRun = -1;
        f.launcher.whileRunning = [&](int, ProcessOutcome &) {
            QTRY_VERIFY(progress->isVisible());
            blocked = QApplication::activeModalWidget() == progress;
            cancel(f);
            endsDuringRun = f.programEnds;
            QVERIFY(progress->isVisible()); // until the run has stopped its client
        };
        f.process();

        QVERIFY(blocked);
        QCOMPARE(endsDuringRun, 0);
        QCOMPARE(f.programEnds, ends);
        QCOMPARE(f.launcher.cancels, 1);
        QTRY_VERIFY(!progress->isVisible());
    }

    void simultaneousTransfers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("kept");   // the number runs use afterwards
        QTest::addColumn<bool>("stays"); // Enter does not close the dialog
        QTest::newRow("within the bounds") << u"2"_s << 2 << false;
        QTest::newRow("none at all") << u"0"_s << 1 << true;
        QTest::newRow("past the most") << u"65"_s << 1 << true;
        QTest::newRow("a word is not even taken") << u"x"_s << 1 << false;
    }
    void simultaneousTransfers()
    {
        QFETCH(QString, typed);
        QFETCH(int, kept);
        WindowFixture f;
        bool stayed = false;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog && dialog->windowTitle() == u"Simultaneous transfers"_s);
            auto *field = dialog->findChild<QLineEdit *>();
            field->selectAll();
            QTest::keyClicks(field, typed);
            QTest::keyClick(field, Qt::Key_Return);
            stayed = dialog->isVisible();
            if (stayed)
                QTest::keyClick(field, Qt::Key_Escape);
        });
        f.window.mnuSimultaneous->trigger();
        QTEST(stayed, "stays");
        QCOMPARE(UserSettings().simultaneousTransfers(), kept); // kept for the next start

        // The progress window names every destination being served.
        QStringList seen;
        f.addHosts(2);
        f.launcher.whileRunning = [&](int, ProcessOutcome &) {
            seen << f.window.progressWindow()->hostText();
        };
        f.process();
        QCOMPARE(f.launcher.mostAtOnce, kept);
        QCOMPARE(seen.value(0), kept == 2 ? u"2 running: host1, host2"_s : u"Host: host1"_s);
    }

    void profileRoundTripThroughTheWindow()
    {
        WindowFixture f;
        f.fill(7, {u"N"_s, u"ftp.example"_s, {}, u"u"_s, u"pw"_s});
        f.type(7, 2, u"\\in"_s); // still in the editor: Save commits it first
        f.window.frmProfile->setEditText(u"Weekly"_s);
        QTest::mouseClick(f.window.cmdProfileSave, Qt::LeftButton);
        QCOMPARE(f.window.frmMessage->text(), u"Profile 'Weekly' Stored Successfully"_s);

        // Get drops an edit still open, and brings the rows back packed from row 1.
        f.type(20, 1, u"dropped"_s);
        QTest::mouseClick(f.window.CmdGet, Qt::LeftButton);
        QVERIFY(f.messages.isEmpty());
        QCOMPARE(f.grid().text(1, 2), u"\\in"_s);
        QCOMPARE(f.grid().text(20, 1), QString());
        QCoreApplication::processEvents();
        QVERIFY(!f.window.editor().isOpen() && f.editor().isHidden());

        // The next start lists the profile and loads it, from its own start-up directory only.
        f.goElsewhere();
        FTP_Information next(f.session, f.connectionTest, f.profiles);
        QCOMPARE(next.frmProfile->currentText(), u"Weekly"_s);
        QCOMPARE(next.frmProfile->count(), 1);
        QCOMPARE(next.frmFTPTo->text(1, 1), u"ftp.example"_s);
    }

    void helpWindow()
    {
        WindowFixture f;
        f.goElsewhere(); // the start-up directory counts, not where the process has gone since
        QTest::keyClick(&f.window, Qt::Key_F1);
        QCOMPARE(f.messages.size(), 1); // no Help.rtf yet
        QVERIFY(f.window.helpWindow() == nullptr);
        QVERIFY(QFile::copy(QStringLiteral(PARCELWRIGHT_SOURCE_DIR "/data/Help.rtf"),
                            f.work.filePath(u"Help.rtf"_s)));
        QTest::keyClick(&f.window, Qt::Key_F1);
        QVERIFY(f.window.helpWindow() != nullptr && f.window.helpWindow()->isVisible());
        QVERIFY(f.window.helpWindow()->frmHelpBox->toPlainText().contains(u"Parcelwright"_s));
        // Help again while it is open fills the same window anew; after Exit a new one comes.
        Help *first = f.window.helpWindow();
        first->frmHelpBox->clear();
        f.window.mnuHelp_Click();
        QCOMPARE(f.window.helpWindow(), first);
        QVERIFY(!first->frmHelpBox->toPlainText().isEmpty());
        QTest::mouseClick(first->cmdExit, Qt::LeftButton);
        QTRY_VERIFY(f.window.helpWindow() == nullptr);
        f.window.mnuHelp_Click();
        QVERIFY(f.window.helpWindow() != nullptr && f.window.helpWindow()->isVisible());
    }

    void descriptionWritesBackOnExit()
    {
        WindowFixture f;
        GridControl &list = *f.window.frmFileList;
        list.setText(2, 0, u"/data/b.txt"_s);
        f.click(list, 2, 0);
        Description *description = f.window.descriptionWindow();
        QVERIFY(description != nullptr && description->isVisible());
        QCOMPARE(description->windowTitle(), u"File Name"_s);
        QCOMPARE(description->frmDescription->toPlainText(), u"/data/b.txt"_s);

        // Closing it otherwise writes nothing back.
        description->frmDescription->setPlainText(u"/data/changed"_s);
        description->close();
        QTRY_VERIFY(f.window.descriptionWindow() == nullptr);
        QCOMPARE(list.text(2, 0), u"/data/b.txt"_s);

        // A further click refills the one window; Exit writes into the row current then.
        f.click(list, 4, 0);
        f.click(list, 2, 0);
        description = f.window.descriptionWindow();
        QCOMPARE(description->frmDescription->toPlainText(), u"/data/b.txt"_s);
        description->frmDescription->setPlainText(u"/data/c d.txt"_s);
        QTest::mouseClick(description->cmdExit, Qt::LeftButton);
        QCOMPARE(list.text(2, 0), u"/data/c d.txt"_s);
        QTRY_VERIFY(f.window.descriptionWindow() == nullptr);
    }

    void growsAndShrinksBack()
    {
        WindowFixture f;
        FTP_Information &w = f.window;
        QCOMPARE(w.centralWidget()->size(), Twips::toPixels(&w, 11610, 7365)); // as designed
        QList<QWidget *> controls =
            w.centralWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
        controls.removeOne(w.frmInputBox); // it goes where its cell goes
        QList<QRect> designed;
        for (const QWidget *control : controls)
            designed << control->geometry();
        const QRect fileList = w.frmFileList->geometry(), table = w.frmFTPTo->geometry();
        const int lastColumnWidth = f.grid().columnWidth(kPasswordColumn);
        const QRect designedClient = w.centralWidget()->rect();
        const QSize start = w.size();

        w.resize(start + QSize(900, 301));
        QCOMPARE(w.frmFileList->size(), fileList.size() + QSize(900, 150));
        QCOMPARE(w.frmFTPTo->size(), table.size() + QSize(900, 151));
        // The last column takes the room that the others leave.
        QCOMPARE(f.grid().columnViewportPosition(kPasswordColumn) +
                     f.grid().columnWidth(kPasswordColumn),
                 f.grid().viewport()->width());
        for (qsizetype a = 0; a < controls.size(); ++a) {
            const QRect now = controls[a]->geometry();
            QVERIFY(w.centralWidget()->rect().contains(now) ||
                    !designedClient.contains(designed[a]));
            // Whatever lay wholly above or to the left of another control still does.
            for (qsizetype b = 0; b < controls.size(); ++b) {
                const QRect other = controls[b]->geometry();
                QVERIFY(designed[a].bottom() >= designed[b].top() || now.bottom() < other.top());
                QVERIFY(designed[a].right() >= designed[b].left() || now.right() < other.left());
            }
        }

        w.resize(start - QSize(100, 100)); // never smaller than designed
        QCOMPARE(w.size(), start);
        for (qsizetype i = 0; i < controls.size(); ++i)
            QCOMPARE(controls[i]->geometry(), designed[i]);
        QCOMPARE(f.grid().columnWidth(kPasswordColumn), lastColumnWidth);
    }

    void tabOrder()
    {
        WindowFixture f;
        FTP_Information &w = f.window;
        f.click(2, 2);
        w.frmFilesToFTP->setFocus();
        QList<QWidget *> order;
        while (order.size() < 11) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget();
        }
        // clang-format off
        QCOMPARE(order, (QList<QWidget *>{w.frmFileList, w.cmdProcess, w.cmdExit, w.frmWorkingDirectory, w.frmFTPTo, w.CmdGet,
                                          w.frmProfile, w.cmdProfileSave, w.frmInputBox, w.cmdTest, w.frmFilesToFTP}));
        // clang-format on
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"

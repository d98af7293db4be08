#include "ui/file_selection.h"
#include "window_fixture.h"

#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

/// Turning the file-open dialog's choice into File list entries.
class TestFileSelection : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void nameList_data();
    void nameList();
    void addSelectedFiles_data();
    void addSelectedFiles();
    void browse_data();
    void browse();
};

namespace {
const QChar kNul(u'\0');

QString joined(const QStringList &parts)
{
    return parts.join(kNul);
}
} // namespace

void TestFileSelection::nameList_data()
{
    QTest::addColumn<QString>("nameList");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QStringList>("paths");

    const QChar win(u'\\');
    const QChar posix(u'/');
    QTest::newRow("one file") << u"C:\\Data\\a.txt"_s << win << QStringList{u"C:\\Data\\a.txt"_s};
    QTest::newRow("three files") << joined({u"C:\\Data"_s, u"a.txt"_s, u"b.txt"_s, u"c.txt"_s})
                                 << win
                                 << QStringList{u"C:\\Data\\a.txt"_s, u"C:\\Data\\b.txt"_s,
                                                u"C:\\Data\\c.txt"_s};
    QTest::newRow("root directory")
        << joined({u"C:\\"_s, u"a"_s, u"b"_s}) << win << QStringList{u"C:\\a"_s, u"C:\\b"_s};
    QTest::newRow("one-letter last name") << joined({u"/data"_s, u"ab"_s, u"c"_s}) << posix
                                          << QStringList{u"/data/ab"_s, u"/data/c"_s};
    QTest::newRow("NUL at the end")
        << joined({u"/d"_s, u"a"_s, u"b"_s, u""_s}) << posix << QStringList{u"/d/a"_s, u"/d/b"_s};
    QTest::newRow("two NULs stop the list")
        << joined({u"/d"_s, u"a"_s, u""_s, u"b"_s}) << posix << QStringList{u"/d/a"_s};
    QTest::newRow("cancelled") << u""_s << posix << QStringList();
    QTest::newRow("blank in names")
        << joined({u"/my dir"_s, u"a b"_s}) << posix << QStringList{u"/my dir/a b"_s};
}

void TestFileSelection::nameList()
{
    QFETCH(QString, nameList);
    QFETCH(QChar, separator);
    QFETCH(QStringList, paths);
    QCOMPARE(pathsFromNameList(nameList, separator), paths);
}

void TestFileSelection::addSelectedFiles_data()
{
    QTest::addColumn<int>("filledRows"); // rows 1..filledRows hold "old"
    QTest::addColumn<int>("emptiedRow"); // then this row is emptied again (0: none)
    QTest::addColumn<int>("names");
    QTest::addColumn<int>("firstWritten"); // 0: nothing written
    QTest::addColumn<QString>("message");

    QTest::newRow("after two entries") << 2 << 0 << 1 << 3 << u""_s;
    QTest::newRow("into an emptied row") << 5 << 2 << 3 << 2 << u""_s;
    QTest::newRow("exactly fits") << 4990 << 0 << 9 << 4991 << u""_s;
    QTest::newRow("one too many") << 4990 << 0 << 10 << 0
                                  << u"The File list is full - only 9 more files fit"_s;
    QTest::newRow("full list") << 4999 << 0 << 1 << 0
                               << u"The File list is full - only 0 more files fit"_s;
}

void TestFileSelection::addSelectedFiles()
{
    QFETCH(int, filledRows);
    QFETCH(int, emptiedRow);
    QFETCH(int, names);
    QFETCH(int, firstWritten);
    QFETCH(QString, message);

    WindowFixture f;
    GridControl &list = *f.window.frmFileList;
    for (int row = 1; row <= filledRows; ++row)
        list.setText(row, 0, QStringLiteral("old"));
    if (emptiedRow)
        list.setText(emptiedRow, 0, QString());
    QStringList parts{QStringLiteral("/data")};
    for (int i = 0; i < names; ++i)
        parts << QStringLiteral("f%1").arg(i);
    f.window.AddSelectedFiles(names == 1 ? QStringLiteral("/data/f0") : joined(parts));

    if (firstWritten == 0) {
        QCOMPARE(f.messages, (QList<Message>{{message, QStringLiteral("Edit Error")}}));
        for (int row = filledRows + 1; row <= kLastDataRow; ++row)
            QVERIFY(list.text(row, 0).isEmpty());
        return;
    }
    QVERIFY(f.messages.isEmpty());
    for (int i = 0; i < names; ++i)
        QCOMPARE(list.text(firstWritten + i, 0), QStringLiteral("/data/f%1").arg(i));
    QCOMPARE(list.text(firstWritten + names, 0),
             firstWritten + names <= filledRows ? QStringLiteral("old") : QString());
}

void TestFileSelection::browse_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("cancelled") << QStringList() << QStringList{u"/d/old"_s};
    QTest::newRow("same file twice")
        << QStringList{u"/d/old"_s} << QStringList{u"/d/old"_s, u"/d/old"_s};
    QTest::newRow("one folder") << QStringList{u"/e/a"_s, u"/e/b c"_s}
                                << QStringList{u"/d/old"_s, u"/e/a"_s, u"/e/b c"_s};
    QTest::newRow("typed names from two folders")
        << QStringList{u"/e/x/a"_s, u"/e/y/b"_s, u"/f/c"_s}
        << QStringList{u"/d/old"_s, u"/e/x/a"_s, u"/e/y/b"_s, u"/f/c"_s};
}

void TestFileSelection::browse()
{
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, listed);

    WindowFixture f;
    f.window.frmFileList->setText(1, 0, QStringLiteral("/d/old"));
    f.window.setStatusText(QStringLiteral("earlier text"));
    f.window.setFileChooser([&] { return chosen; });
    QTest::mouseClick(f.window.frmFilesToFTP, Qt::LeftButton);

    QVERIFY(f.window.frmMessage->text().isEmpty());
    for (int row = 1; row <= listed.size() + 1; ++row)
        QCOMPARE(f.window.fileListText(row), listed.value(row - 1));
}

QTEST_MAIN(TestFileSelection)
#include "file_selection_test.moc"

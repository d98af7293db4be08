#include "platform/dir_search.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

/// The one-directory, case-insensitive search behind the profile drop-down.
class DirSearchTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsMatchingFiles_data();
    void findsMatchingFiles();
    void missingDirectoryGivesNothing();
};

void DirSearchTest::findsMatchingFiles_data()
{
    // Entries: "name" a file, "name/" a directory, "dir/name" a file in a subdirectory,
    // "name->target" a symbolic link.
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("expected");

    const QStringList profiles{QStringLiteral("b.pro"),     QStringLiteral("A.PRO"),
                               QStringLiteral("c.txt"),     QStringLiteral(".pro"),
                               QStringLiteral("x.pro.bak"), QStringLiteral("dir.pro/")};
    QTest::newRow("extension in any case, hidden included")
        << profiles << QStringLiteral("*.pro")
        << QStringList{QStringLiteral(".pro"), QStringLiteral("A.PRO"), QStringLiteral("b.pro")};
    QTest::newRow("pattern in upper case")
        << profiles << QStringLiteral("*.PRO")
        << QStringList{QStringLiteral(".pro"), QStringLiteral("A.PRO"), QStringLiteral("b.pro")};
    QTest::newRow("one name in another case")
        << profiles << QStringLiteral("a.pro") << QStringList{QStringLiteral("A.PRO")};
    QTest::newRow("question mark")
        << QStringList{QStringLiteral("a1.pro"), QStringLiteral("a12.pro"),
                       QStringLiteral("b1.pro")}
        << QStringLiteral("a?.pro") << QStringList{QStringLiteral("a1.pro")};
    QTest::newRow("sorted without regard to case")
        << QStringList{QStringLiteral("b"), QStringLiteral("B2"), QStringLiteral("a"),
                       QStringLiteral("C")}
        << QStringLiteral("*")
        << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("B2"),
                       QStringLiteral("C")};
    QTest::newRow("subdirectories are not searched")
        << QStringList{QStringLiteral("sub/inner.pro"), QStringLiteral("top.pro")}
        << QStringLiteral("*.pro") << QStringList{QStringLiteral("top.pro")};
    QTest::newRow("links to files count, broken links do not")
        << QStringList{QStringLiteral("real.pro"), QStringLiteral("link.pro->real.pro"),
                       QStringLiteral("dead.pro->nowhere")}
        << QStringLiteral("*.pro")
        << QStringList{QStringLiteral("link.pro"), QStringLiteral("real.pro")};
    QTest::newRow("no match") << profiles << QStringLiteral("*.ini") << QStringList();
    QTest::newRow("empty pattern") << profiles << QString() << QStringList();
    QTest::newRow("empty directory") << QStringList() << QStringLiteral("*.pro") << QStringList();
}

void DirSearchTest::findsMatchingFiles()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, pattern);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &entry : entries) {
        const qsizetype arrow = entry.indexOf(QStringLiteral("->"));
        if (arrow >= 0) {
            QVERIFY(QFile::link(entry.mid(arrow + 2), dir.filePath(entry.left(arrow))));
        } else if (entry.endsWith(u'/')) {
            QVERIFY(QDir(dir.path()).mkpath(entry));
        } else {
            if (entry.contains(u'/'))
                QVERIFY(QDir(dir.path()).mkpath(entry.section(u'/', 0, -2)));
            QFile file(dir.filePath(entry));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }
    QCOMPARE(searchDirectory(dir.path(), pattern), expected);
}

void DirSearchTest::missingDirectoryGivesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(searchDirectory(dir.filePath(QStringLiteral("missing")), QStringLiteral("*")),
             QStringList());
    QCOMPARE(searchDirectory(QString(), QStringLiteral("*")), QStringList());
}

QTEST_GUILESS_MAIN(DirSearchTest)
#include "dir_search_test.moc"

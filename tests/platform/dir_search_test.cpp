#include "platform/dir_search.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

/// The one-directory, case-insensitive search behind the profile drop-down.
class DirSearchTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsMatchingFiles_data();
    void findsMatchingFiles();
};

void DirSearchTest::findsMatchingFiles_data()
{
    // Entries: "name" a file, "name/" a directory, "dir/name" a file below one, "name>target" a
    // symbolic link. A pattern starting with "missing/" searches a directory that is not there.
    QTest::addColumn<QString>("entries");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");

    const QString profiles = u"b.pro A.PRO c.txt .pro x.pro.bak dir.pro/ sub/in.pro"_s;
    QTest::newRow("any case, hidden, no subdirectories")
        << profiles << u"*.pro"_s << u".pro A.PRO b.pro"_s;
    QTest::newRow("pattern in upper case") << profiles << u"*.PRO"_s << u".pro A.PRO b.pro"_s;
    QTest::newRow("one name in another case") << profiles << u"a.pro"_s << u"A.PRO"_s;
    QTest::newRow("question mark") << u"a1.pro a12.pro b1.pro"_s << u"a?.pro"_s << u"a1.pro"_s;
    QTest::newRow("sorted without regard to case") << u"b B2 a C"_s << u"*"_s << u"a b B2 C"_s;
    QTest::newRow("links to files only")
        << u"r.pro l.pro>r.pro dead.pro>none d/ ld.pro>d"_s << u"*.pro"_s << u"l.pro r.pro"_s;
    QTest::newRow("no match") << profiles << u"*.ini"_s << QString();
    QTest::newRow("empty pattern") << profiles << QString() << QString();
    QTest::newRow("missing directory") << profiles << u"missing/*"_s << QString();
}

void DirSearchTest::findsMatchingFiles()
{
    QFETCH(QString, entries);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    for (const QString &entry : entries.split(u' ')) {
        if (entry.contains(u'>')) {
            QVERIFY(QFile::link(entry.section(u'>', 1), dir.filePath(entry.section(u'>', 0, 0))));
            continue;
        }
        QVERIFY(QDir(dir.path()).mkpath(entry.section(u'/', 0, -2) + u"/."_s));
        if (!entry.endsWith(u'/'))
            QVERIFY(QFile(dir.filePath(entry)).open(QIODevice::WriteOnly));
    }
    const QString directory =
        pattern.startsWith(u"missing/"_s) ? dir.filePath(u"missing"_s) : dir.path();
    QCOMPARE(searchDirectory(directory, pattern.section(u'/', -1)),
             expected.split(u' ', Qt::SkipEmptyParts));
}

QTEST_GUILESS_MAIN(DirSearchTest)
#include "dir_search_test.moc"

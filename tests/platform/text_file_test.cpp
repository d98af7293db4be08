#include "platform/paths.h"
#include "platform/text_file.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

/// The CR LF text files the program writes and reads, and the working-directory path rule.
class TextFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ::umask(022); }
    void writes_data();
    void writes();
    void reportsFailures();
    void replaceKeepsOldFileOnFailure();
    void readsLines_data();
    void readsLines();
    void buildsPaths_data();
    void buildsPaths();
};

using Writer = bool (*)(const QString &, const QList<QByteArray> &, FileAccess, QString *);
Q_DECLARE_METATYPE(Writer)

static QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

static void createFile(const QString &path, const QByteArray &bytes, mode_t mode)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

void TextFileTest::writes_data()
{
    QTest::addColumn<Writer>("writer");
    QTest::addColumn<QByteArray>("old"); // the file before; none when null
    QTest::addColumn<FileAccess>("access");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<unsigned>("mode");

    const QList<QByteArray> lines{"@echo on", "", QByteArray("  \xc3\xa4\xff\t\"q\" \\in ")};
    const QByteArray crlf("@echo on\r\n\r\n  \xc3\xa4\xff\t\"q\" \\in \r\n");
    const QByteArray old("an old and longer text\r\n");
    const std::pair<const char *, Writer> writers[] = {
        {"write", writeTextLines}, {"replace", replaceTextLines}, {"append", appendTextLines}};
    for (const auto &[name, writer] : writers) {
        QTest::addRow("%s: CR LF, bytes unchanged", name)
            << writer << QByteArray() << FileAccess::Default << lines << crlf << 0644u;
        QTest::addRow("%s: no lines", name) << writer << QByteArray() << FileAccess::OwnerOnly
                                            << QList<QByteArray>() << QByteArray() << 0600u;
    }
    QTest::newRow("write replaces, owner-only")
        << Writer(writeTextLines) << old << FileAccess::OwnerOnly << lines << crlf << 0600u;
    QTest::newRow("replace replaces, owner-only")
        << Writer(replaceTextLines) << old << FileAccess::OwnerOnly << lines << crlf << 0600u;
    QTest::newRow("replace keeps old access")
        << Writer(replaceTextLines) << old << FileAccess::Default << lines << crlf << 0644u;
    QTest::newRow("append appends")
        << Writer(appendTextLines) << old << FileAccess::OwnerOnly << lines << old + crlf << 0644u;
}

void TextFileTest::writes()
{
    QFETCH(Writer, writer);
    QFETCH(QByteArray, old);
    QFETCH(FileAccess, access);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QByteArray, bytes);
    QFETCH(unsigned, mode);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"XferJob.FTP"_s);
    if (!old.isNull())
        createFile(path, old, 0644);
    QString error;
    QVERIFY2(writer(path, lines, access, &error), qPrintable(error));
    QCOMPARE(contents(path), bytes);
    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"XferJob.FTP"_s});
}

void TextFileTest::reportsFailures()
{
    // Root may write anywhere, but not below a regular file.
    QTemporaryDir dir;
    createFile(dir.filePath(u"plain"_s), "x", 0644);
    const QString path = dir.filePath(u"plain/XferJob.BAT"_s);
    for (Writer writer : {writeTextLines, replaceTextLines, appendTextLines}) {
        QString error;
        QVERIFY(!writer(path, {"line"}, FileAccess::OwnerOnly, &error));
        QVERIFY2(error.contains(path), qPrintable(error));
    }
    QList<QByteArray> lines;
    QString error;
    QVERIFY(!readTextLines(path, &lines, &error) && error.contains(path));
    QVERIFY(!readTextLines(dir.path(), &lines, &error));
    QCOMPARE(contents(dir.filePath(u"plain"_s)), QByteArray("x"));
}

void TextFileTest::replaceKeepsOldFileOnFailure()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Profile.pro"_s);
    createFile(path, "old profile\r\n", 0600);

    // A file size limit makes the write fail part way, even for root.
    struct rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    const bool written = replaceTextLines(path, QList<QByteArray>(200, QByteArray(100, 'x')),
                                          FileAccess::OwnerOnly, &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!written);
    QVERIFY2(error.contains(path), qPrintable(error));
    QCOMPARE(contents(path), QByteArray("old profile\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"Profile.pro"_s});
}

void TextFileTest::readsLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("lines");

    QTest::newRow("empty file") << QByteArray("") << QList<QByteArray>();
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QList<QByteArray>{"a", "b"};
    QTest::newRow("LF, last line open")
        << QByteArray("a\nb\r\nc") << QList<QByteArray>{"a", "b", "c"};
    QTest::newRow("empty lines kept")
        << QByteArray("\r\n\r\nx\n\n") << QList<QByteArray>{"", "", "x", ""};
    QTest::newRow("lone CR and NUL kept")
        << QByteArray("a\rb\0\r\n", 6) << QList<QByteArray>{QByteArray("a\rb\0", 4)};
}

void TextFileTest::readsLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, lines);

    QTemporaryDir dir;
    createFile(dir.filePath(u"log"_s), bytes, 0600);
    QList<QByteArray> read{"stale"};
    QVERIFY(readTextLines(dir.filePath(u"log"_s), &read));
    QCOMPARE(read, lines);
}

void TextFileTest::buildsPaths_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("file");     // workingDirFile(text, "XferJob.BAT")
    QTest::addColumn<QString>("fileName"); // fileNameOf(text)

    QTest::newRow("slash, no closing")
        << u"/tmp/w"_s << QChar(u'/') << u"/tmp/w/XferJob.BAT"_s << u"w"_s;
    QTest::newRow("slash, closing")
        << u"/tmp/w/"_s << QChar(u'/') << u"/tmp/w/XferJob.BAT"_s << QString();
    QTest::newRow("backslash, no closing")
        << u"C:\\Temp"_s << QChar(u'\\') << u"C:\\Temp\\XferJob.BAT"_s << u"Temp"_s;
    QTest::newRow("backslash, closing")
        << u"C:\\Temp\\"_s << QChar(u'\\') << u"C:\\Temp\\XferJob.BAT"_s << QString();
    QTest::newRow("other separator is text")
        << u"C:\\d/a b.txt"_s << QChar(u'\\') << u"C:\\d/a b.txt\\XferJob.BAT"_s << u"d/a b.txt"_s;
    QTest::newRow("no separator") << u"a.txt"_s << QChar(u'/') << u"a.txt/XferJob.BAT"_s
                                  << u"a.txt"_s;
    QTest::newRow("empty text") << QString() << QChar(u'/') << u"/XferJob.BAT"_s << QString();
}

void TextFileTest::buildsPaths()
{
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    QFETCH(QString, file);
    QFETCH(QString, fileName);

    QCOMPARE(workingDirFile(text, u"XferJob.BAT"_s, separator), file);
    QCOMPARE(fileNameOf(text, separator), fileName);
}

QTEST_GUILESS_MAIN(TextFileTest)
#include "text_file_test.moc"

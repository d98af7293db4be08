#include "platform/paths.h"
#include "platform/text_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

/// The CR LF text files the program writes and reads, and the working-directory path rule.
class TextFileTest : public QObject
{
    Q_OBJECT

public:
    enum class Writer
    {
        Write,
        Replace,
        Append
    };

private Q_SLOTS:
    void init();
    void writesCrLfBytes_data();
    void writesCrLfBytes();
    void replacesInsteadOfAppending_data();
    void replacesInsteadOfAppending();
    void appendsToExistingFile();
    void createsOwnerOnly_data();
    void createsOwnerOnly();
    void reportsUnwritablePath_data();
    void reportsUnwritablePath();
    void replaceKeepsOldFileOnFailure();
    void readsLines_data();
    void readsLines();
    void reportsUnreadableFile();
    void buildsWorkingDirFile_data();
    void buildsWorkingDirFile();
    void takesFileName_data();
    void takesFileName();

private:
    static bool writeWith(Writer writer, const QString &path, const QList<QByteArray> &lines,
                          FileAccess access, QString *error = nullptr);
    QString path(const QString &name) const { return m_dir->filePath(name); }
    static QByteArray contents(const QString &path);
    static void createFile(const QString &path, const QByteArray &bytes, int mode);
    static unsigned modeOf(const QString &path);

    std::unique_ptr<QTemporaryDir> m_dir;
};

Q_DECLARE_METATYPE(TextFileTest::Writer)

void TextFileTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

bool TextFileTest::writeWith(Writer writer, const QString &path, const QList<QByteArray> &lines,
                             FileAccess access, QString *error)
{
    switch (writer) {
    case Writer::Write:
        return writeTextLines(path, lines, access, error);
    case Writer::Replace:
        return replaceTextLines(path, lines, access, error);
    case Writer::Append:
        return appendTextLines(path, lines, access, error);
    }
    return false;
}

QByteArray TextFileTest::contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void TextFileTest::createFile(const QString &path, const QByteArray &bytes, int mode)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode));
}

unsigned TextFileTest::modeOf(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 01000; // no file: a mode no real file has here
    return info.st_mode & 0777;
}

void TextFileTest::writesCrLfBytes_data()
{
    QTest::addColumn<Writer>("writer");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QByteArray>("bytes");

    const struct
    {
        const char *name;
        Writer writer;
    } writers[] = {
        {"write", Writer::Write}, {"replace", Writer::Replace}, {"append", Writer::Append}};
    for (const auto &w : writers) {
        QTest::addRow("%s: no lines", w.name) << w.writer << QList<QByteArray>() << QByteArray();
        QTest::addRow("%s: one empty line", w.name)
            << w.writer << QList<QByteArray>{QByteArray()} << QByteArray("\r\n");
        QTest::addRow("%s: every line ends with CR LF", w.name)
            << w.writer << QList<QByteArray>{"@echo on", "psftp u@h -b XferJob.FTP -pw p w"}
            << QByteArray("@echo on\r\npsftp u@h -b XferJob.FTP -pw p w\r\n");
        QTest::addRow("%s: bytes pass unchanged", w.name)
            << w.writer << QList<QByteArray>{QByteArray("  \xc3\xa4\xff\t \"q\"  "), "\\in"}
            << QByteArray("  \xc3\xa4\xff\t \"q\"  \r\n\\in\r\n");
    }
}

void TextFileTest::writesCrLfBytes()
{
    QFETCH(Writer, writer);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QByteArray, bytes);

    const QString file = path(QStringLiteral("XferJob.FTP"));
    QString error;
    QVERIFY2(writeWith(writer, file, lines, FileAccess::Default, &error), qPrintable(error));
    QCOMPARE(contents(file), bytes);
}

void TextFileTest::replacesInsteadOfAppending_data()
{
    QTest::addColumn<Writer>("writer");
    QTest::newRow("write") << Writer::Write;
    QTest::newRow("replace") << Writer::Replace;
}

void TextFileTest::replacesInsteadOfAppending()
{
    QFETCH(Writer, writer);

    const QString file = path(QStringLiteral("XferJob.BAT"));
    createFile(file, "a much longer old content\r\nsecond line\r\n", 0644);
    QVERIFY(writeWith(writer, file, {"new"}, FileAccess::Default));
    QCOMPARE(contents(file), QByteArray("new\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("XferJob.BAT")});
}

void TextFileTest::appendsToExistingFile()
{
    const QString file = path(QStringLiteral("FTPLogALL.TXT"));
    QVERIFY(appendTextLines(file, {"Output from: host "}, FileAccess::OwnerOnly));
    QVERIFY(appendTextLines(file, {"", "*** end", ""}, FileAccess::OwnerOnly));
    QCOMPARE(contents(file), QByteArray("Output from: host \r\n\r\n*** end\r\n\r\n"));
}

void TextFileTest::createsOwnerOnly_data()
{
    QTest::addColumn<Writer>("writer");
    QTest::addColumn<bool>("oldFile");

    QTest::newRow("write, new file") << Writer::Write << false;
    QTest::newRow("write over a world-readable file") << Writer::Write << true;
    QTest::newRow("replace, new file") << Writer::Replace << false;
    QTest::newRow("replace a world-readable file") << Writer::Replace << true;
    QTest::newRow("append, new file") << Writer::Append << false;
}

void TextFileTest::createsOwnerOnly()
{
    QFETCH(Writer, writer);
    QFETCH(bool, oldFile);

    const QString file = path(QStringLiteral("Secret.pro"));
    if (oldFile)
        createFile(file, "old\r\n", 0644);
    QVERIFY(writeWith(writer, file, {"password"}, FileAccess::OwnerOnly));
    QCOMPARE(modeOf(file), 0600u);
    QCOMPARE(contents(file), QByteArray("password\r\n"));
}

void TextFileTest::reportsUnwritablePath_data()
{
    QTest::addColumn<Writer>("writer");
    QTest::newRow("write") << Writer::Write;
    QTest::newRow("replace") << Writer::Replace;
    QTest::newRow("append") << Writer::Append;
}

void TextFileTest::reportsUnwritablePath()
{
    QFETCH(Writer, writer);

    // Root may write anywhere, but not below a regular file.
    createFile(path(QStringLiteral("plain")), "x", 0644);
    const QString file = path(QStringLiteral("plain/XferJob.BAT"));
    QString error;
    QVERIFY(!writeWith(writer, file, {"line"}, FileAccess::OwnerOnly, &error));
    QVERIFY2(error.contains(file), qPrintable(error));
    QCOMPARE(contents(path(QStringLiteral("plain"))), QByteArray("x"));
}

void TextFileTest::replaceKeepsOldFileOnFailure()
{
    const QString file = path(QStringLiteral("Profile.pro"));
    createFile(file, "old profile\r\n", 0600);

    // A file size limit makes the write fail part way, even for root.
    struct rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    const bool written = replaceTextLines(file, QList<QByteArray>(200, QByteArray(100, 'x')),
                                          FileAccess::OwnerOnly, &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!written);
    QVERIFY2(error.contains(file), qPrintable(error));
    QCOMPARE(contents(file), QByteArray("old profile\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Profile.pro")});
}

void TextFileTest::readsLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("lines");

    QTest::newRow("empty file") << QByteArray() << QList<QByteArray>();
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QList<QByteArray>{"a", "b"};
    QTest::newRow("LF") << QByteArray("a\nb\n") << QList<QByteArray>{"a", "b"};
    QTest::newRow("mixed, last line open")
        << QByteArray("a\r\nb\nc") << QList<QByteArray>{"a", "b", "c"};
    QTest::newRow("empty lines kept")
        << QByteArray("\r\n\r\nx\n\n") << QList<QByteArray>{"", "", "x", ""};
    QTest::newRow("lone CR inside a line") << QByteArray("a\rb\r\n") << QList<QByteArray>{"a\rb"};
    QTest::newRow("bytes unchanged")
        << QByteArray(" \xff\x00 \r\n", 6) << QList<QByteArray>{QByteArray(" \xff\x00 ", 4)};
}

void TextFileTest::readsLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, lines);

    const QString file = path(QStringLiteral("FTPLog0001.TXT"));
    createFile(file, bytes, 0600);
    QList<QByteArray> read{"stale"};
    QVERIFY(readTextLines(file, &read));
    QCOMPARE(read, lines);
}

void TextFileTest::reportsUnreadableFile()
{
    QList<QByteArray> lines;
    QString error;
    QVERIFY(!readTextLines(path(QStringLiteral("missing.TXT")), &lines, &error));
    QVERIFY(error.contains(QStringLiteral("missing.TXT")));
    error.clear();
    QVERIFY(!readTextLines(m_dir->path(), &lines, &error));
    QVERIFY(!error.isEmpty());
}

void TextFileTest::buildsWorkingDirFile_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    QTest::newRow("slash, without closing")
        << QStringLiteral("/tmp") << QChar(u'/') << QStringLiteral("/tmp/XferJob.BAT");
    QTest::newRow("slash, with closing")
        << QStringLiteral("/tmp/") << QChar(u'/') << QStringLiteral("/tmp/XferJob.BAT");
    QTest::newRow("backslash, without closing")
        << QStringLiteral("C:\\Temp") << QChar(u'\\') << QStringLiteral("C:\\Temp\\XferJob.BAT");
    QTest::newRow("backslash, with closing")
        << QStringLiteral("C:\\Temp\\") << QChar(u'\\') << QStringLiteral("C:\\Temp\\XferJob.BAT");
    QTest::newRow("other separator is text")
        << QStringLiteral("C:/Temp/") << QChar(u'\\') << QStringLiteral("C:/Temp/\\XferJob.BAT");
    QTest::newRow("empty text") << QString() << QChar(u'/') << QStringLiteral("/XferJob.BAT");
}

void TextFileTest::buildsWorkingDirFile()
{
    QFETCH(QString, directory);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);

    QCOMPARE(workingDirFile(directory, QStringLiteral("XferJob.BAT"), separator), expected);
}

void TextFileTest::takesFileName_data()
{
    QTest::addColumn<QString>("filePath");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    QTest::newRow("backslash path")
        << QStringLiteral("C:\\data\\a.txt") << QChar(u'\\') << QStringLiteral("a.txt");
    QTest::newRow("slash path") << QStringLiteral("/data/a b.txt") << QChar(u'/')
                                << QStringLiteral("a b.txt");
    QTest::newRow("no separator") << QStringLiteral("a.txt") << QChar(u'\\')
                                  << QStringLiteral("a.txt");
    QTest::newRow("other separator is text")
        << QStringLiteral("C:\\dir/a.txt") << QChar(u'\\') << QStringLiteral("dir/a.txt");
    QTest::newRow("closing separator") << QStringLiteral("/data/") << QChar(u'/') << QString();
}

void TextFileTest::takesFileName()
{
    QFETCH(QString, filePath);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);

    QCOMPARE(fileNameOf(filePath, separator), expected);
}

QTEST_GUILESS_MAIN(TextFileTest)
#include "text_file_test.moc"

#include "connection_test/connection_test.h"
#include "support/fake_launcher.h"
#include "support/fake_window.h"
#include "support/files.h"

#include <QLockFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

/// The files a test writes and the console it starts, for one row.
struct Written
{
    QByteArray launcher;
    QByteArray script;
    QByteArray password; // null: no password file
};

/// A connection test over an in-memory window and a fresh working directory.
struct Bench
{
    QTemporaryDir dir;
    FakeTransferWindow window;
    FakeConsoleStarter consoles;
    ConnectionTest test{consoles};
    const QString before = QDir::currentPath();

    Bench() { window.setWorkingDirectory(dir.path()); }
    ~Bench() { QDir::setCurrent(before); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files); }
};

const Message kNoRow{u"Process Error"_s,
                     u"Please click on a valid row, then Press 'Test Connection'"_s};

} // namespace

Q_DECLARE_METATYPE(Written)

/// "Test the Connection": the two files byte for byte, the console, and every refusal.
class ConnectionTestTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writesFilesAndOpensConsole_data();
    void writesFilesAndOpensConsole();
    void refuses_data();
    void refuses();
    void pendingEditIsTested();
};

void ConnectionTestTest::writesFilesAndOpensConsole_data()
{
    QTest::addColumn<DestinationRow>("row");
    QTest::addColumn<bool>("closingSeparator"); // the working directory keyed with a closing "/"
    QTest::addColumn<Written>("written");
    const QByteArray psftp = "@echo on\r\npsftp %1@h -b XferJob.FTP -pwfile XferJob.PWD\r\n";
    const QByteArray ftp = "@echo on\r\nftp -s:XferJob.FTP h\r\n";
    // clang-format off
    QTest::newRow("Y: psftp, password in its file") << DestinationRow{1, u"Y"_s, u"h"_s, u"/never/used"_s, u"me"_s, u"pass word"_s} << false << Written{QByteArray(psftp).replace("%1", "me"), "help\r\n", "pass word\r\n"};
    QTest::newRow("N: log-in lines, then help") << DestinationRow{2, u"N"_s, u"h"_s, u"\\never"_s, u"me"_s, u"pw"_s} << true << Written{ftp, "me\r\npw\r\nhelp\r\n", {}};
    QTest::newRow("lower-case y is not Y") << DestinationRow{3, u"y"_s, u"h"_s, {}, u"me"_s, u"pw"_s} << false << Written{ftp, "help\r\n", {}};
    QTest::newRow("Y with empty user id and password") << DestinationRow{5, u"Y"_s, u"h"_s, {}, {}, {}} << false << Written{QByteArray(psftp).replace("%1", ""), "help\r\n", "\r\n"};
    QTest::newRow("quoted user id") << DestinationRow{7, u"Y"_s, u"h"_s, {}, u"a \"b\""_s, u"p"_s} << false << Written{QByteArray(psftp).replace("%1", "\"a \"\"b\"\"\""), "help\r\n", "p\r\n"};
    // clang-format on
}

void ConnectionTestTest::writesFilesAndOpensConsole()
{
    QFETCH(DestinationRow, row);
    QFETCH(bool, closingSeparator);
    QFETCH(Written, written);
    Bench bench;
    bench.window.grid().setRow(row);
    bench.window.grid().setCurrentRow(row.row);
    if (closingSeparator)
        bench.window.setWorkingDirectory(bench.dir.path() + u'/');
    QVERIFY(writeBytes(bench.dir.filePath(u"XferJob.FTP"_s), "an old script from an earlier run"));

    bench.test.testCurrentRow(bench.window);

    QVERIFY2(bench.window.messages.isEmpty(), qPrintable(bench.window.messages.value(0).text));
    QCOMPARE(bench.window.statusText, u"Testing: h"_s);
    QCOMPARE(bench.consoles.starts.size(), 1);
    const FakeConsoleStarter::Start &start = bench.consoles.starts[0];
    // One separator before the batch file, never two; the working directory is current.
    QCOMPARE(start.batchFile, bench.dir.path() + u"/XferJob.BAT"_s);
    QCOMPARE(start.workingDirectory, bench.dir.path());
    QCOMPARE(start.currentDirectory, bench.dir.path());
    QCOMPARE(start.launcher, written.launcher);
    QCOMPARE(start.script, written.script);
    QCOMPARE(start.password, written.password);
    for (const QString &file : bench.files())
        QVERIFY2(isOwnerOnly(bench.dir.filePath(file)), qPrintable(file));
}

void ConnectionTestTest::refuses_data()
{
    QTest::addColumn<DestinationRow>("row"); // made the current row
    QTest::addColumn<QString>("directory");  // {DIR}: the temporary directory
    QTest::addColumn<QString>("hold");       // what stands in the directory: lock, foreign
    QTest::addColumn<ConsoleOutcome>("console");
    QTest::addColumn<Messages>("messages");
    const DestinationRow fine{1, u"N"_s, u"h"_s, {}, u"u"_s, u"p"_s};
    const ConsoleOutcome opened{true, false, {}};
    const Message badDirectory{u"No Files"_s, u"Invalid working directory"_s};
    // clang-format off
    QTest::newRow("heading row") << DestinationRow{0, {}, {}, {}, {}, {}} << u"{DIR}"_s << QString() << opened << Messages{kNoRow};
    QTest::newRow("row without a host") << DestinationRow{3, u"N"_s, {}, {}, u"u"_s, u"p"_s} << u"{DIR}"_s << QString() << opened << Messages{kNoRow};
    QTest::newRow("missing working directory") << fine << u"{DIR}/absent"_s << QString() << opened << Messages{badDirectory};
    QTest::newRow("host with an option") << DestinationRow{1, u"N"_s, u"h -s:/etc/passwd"_s, {}, u"u"_s, u"p"_s} << u"{DIR}"_s << QString() << opened << Messages{{u"Error Message"_s, u"The IP Address/URL must be a single name without blanks, quotes or a leading '-' - please correct this and continue"_s}};
    QTest::newRow("a run holds the directory") << fine << u"{DIR}"_s << u"lock"_s << opened << Messages{{u"Process Error"_s, u"Another transmission is using this working directory - nothing was sent"_s}};
    QTest::newRow("no terminal, files removed") << fine << u"{DIR}"_s << QString() << ConsoleOutcome{false, true, u"none"_s} << Messages{{u"System Error"_s, u"No terminal program was found to open the console - set TERMINAL or install xterm"_s}};
    QTest::newRow("terminal fails, files removed") << fine << u"{DIR}"_s << QString() << ConsoleOutcome{false, false, u"The terminal emulator xterm could not be started."_s} << Messages{{u"System Error"_s, u"The terminal emulator xterm could not be started."_s}};
    // clang-format on
}

void ConnectionTestTest::refuses()
{
    QFETCH(DestinationRow, row);
    QFETCH(QString, directory);
    QFETCH(QString, hold);
    QFETCH(ConsoleOutcome, console);
    QFETCH(Messages, messages);
    Bench bench;
    bench.window.grid().setRow(row);
    bench.window.grid().setCurrentRow(row.row);
    bench.window.setWorkingDirectory(directory.replace(u"{DIR}"_s, bench.dir.path()));
    bench.consoles.outcome = console;
    QLockFile otherRun(bench.dir.filePath(u"XferJob.LCK"_s));
    if (hold == u"lock"_s)
        QVERIFY(otherRun.tryLock(0));

    bench.test.testCurrentRow(bench.window);

    QCOMPARE(bench.window.messages, messages);
    QCOMPARE(bench.consoles.starts.size(), console.started ? 0 : 1);
    QCOMPARE(bench.files(), hold == u"lock"_s ? QStringList{u"XferJob.LCK"_s} : QStringList());
    QCOMPARE(bench.window.statusText.isEmpty(), console.started);
}

void ConnectionTestTest::pendingEditIsTested()
{
    Bench bench;
    bench.window.grid().setRow({2, u"N"_s, u"old"_s, {}, u"u"_s, u"p"_s});
    bench.window.grid().setCurrentRow(2);
    bench.window.grid().setCurrentColumn(kHostColumn);
    bench.window.grid().stagePendingEdit(u"new"_s);
    bench.test.testCurrentRow(bench.window);
    QCOMPARE(bench.window.statusText, u"Testing: new"_s);
    QVERIFY(bench.consoles.starts.value(0).launcher.endsWith("ftp -s:XferJob.FTP new\r\n"));
}

QTEST_GUILESS_MAIN(ConnectionTestTest)
#include "connection_test_test.moc"

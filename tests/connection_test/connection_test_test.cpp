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
    FakeWindow window;
    FakeConsoleStarter consoles;
    ConnectionTest test{consoles};
    const QString before = QDir::currentPath();

    Bench() { window.form.workingDirectory = dir.path(); }
    ~Bench() { QDir::setCurrent(before); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files); }
};

/// One press of "Test the Connection" with `row` the current row, and what it brings: the
/// messages, or else the files as the console found them.
struct TestCase
{
    DestinationRow row;
    Messages messages;
    Written written{};                       // empty when no console opened
    QString directory = u"{DIR}"_s;          // the working directory; {DIR}: a fresh one
    ConsoleOutcome console{true, false, {}}; // how the console answers
    bool locked = false;                     // another run holds the directory
    QString oldHost{};                       // in the cell, with the row's host still in the editor
};

} // namespace

Q_DECLARE_METATYPE(TestCase)

/// "Test the Connection": the two files byte for byte, the console, and every refusal.
class ConnectionTestTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void testsTheCurrentRow_data()
    {
        QTest::addColumn<TestCase>("test");
        const QByteArray psftp = "@echo on\r\npsftp %1@h -b XferJob.FTP -pwfile XferJob.PWD\r\n";
        const QByteArray ftp = "@echo on\r\nftp -s:XferJob.FTP h\r\n";
        const DestinationRow fine{1, u"N"_s, u"h"_s, {}, u"u"_s, u"p"_s};
        const Message noRow{u"Process Error"_s,
                            u"Please click on a valid row, then Press 'Test Connection'"_s};
        // clang-format off
        QTest::newRow("Y: psftp, password in its file") << TestCase{{1, u"Y"_s, u"h"_s, u"/never/used"_s, u"me"_s, u"pass word"_s}, {}, {QByteArray(psftp).replace("%1", "me"), "help\r\n", "pass word\r\n"}};
        QTest::newRow("N: log-in lines, then help; the host still in the editor") << TestCase{{2, u"N"_s, u"h"_s, u"\\never"_s, u"me"_s, u"pw"_s}, {}, {ftp, "me\r\npw\r\nhelp\r\n", {}}, u"{DIR}/"_s, {true, false, {}}, false, u"old"_s};
        QTest::newRow("lower-case y is not Y") << TestCase{{3, u"y"_s, u"h"_s, {}, u"me"_s, u"pw"_s}, {}, {ftp, "help\r\n", {}}};
        QTest::newRow("Y with empty user id and password") << TestCase{{5, u"Y"_s, u"h"_s, {}, {}, {}}, {}, {QByteArray(psftp).replace("%1", ""), "help\r\n", "\r\n"}};
        QTest::newRow("quoted user id") << TestCase{{7, u"Y"_s, u"h"_s, {}, u"a \"b\""_s, u"p"_s}, {}, {QByteArray(psftp).replace("%1", "\"a \"\"b\"\"\""), "help\r\n", "p\r\n"}};
        QTest::newRow("heading row") << TestCase{{0, {}, {}, {}, {}, {}}, {noRow}};
        QTest::newRow("row without a host") << TestCase{{3, u"N"_s, {}, {}, u"u"_s, u"p"_s}, {noRow}};
        QTest::newRow("missing working directory") << TestCase{fine, {{u"No Files"_s, u"Invalid working directory"_s}}, {}, u"{DIR}/absent"_s};
        QTest::newRow("host with an option") << TestCase{{1, u"N"_s, u"h -s:/etc/passwd"_s, {}, u"u"_s, u"p"_s}, {{u"Error Message"_s, u"The IP Address/URL must be a single name without blanks, quotes or a leading '-' - please correct this and continue"_s}}};
        QTest::newRow("a run holds the directory") << TestCase{fine, {{u"Process Error"_s, u"Another transmission is using this working directory - nothing was sent"_s}}, {}, u"{DIR}"_s, {true, false, {}}, true};
        QTest::newRow("no terminal, files removed") << TestCase{fine, {{u"System Error"_s, u"No terminal program was found to open the console - set TERMINAL or install xterm"_s}}, {}, u"{DIR}"_s, {false, true, u"none"_s}};
        QTest::newRow("terminal fails, files removed") << TestCase{fine, {{u"System Error"_s, u"The terminal emulator xterm could not be started."_s}}, {}, u"{DIR}"_s, {false, false, u"The terminal emulator xterm could not be started."_s}};
        // clang-format on
    }

    void testsTheCurrentRow()
    {
        QFETCH(TestCase, test);
        const bool opened = test.messages.isEmpty();
        Bench bench;
        bench.window.grid().setRow(test.row);
        bench.window.grid().setCurrentRow(test.row.row);
        bench.window.form.workingDirectory = test.directory.replace(u"{DIR}"_s, bench.dir.path());
        bench.consoles.outcome = test.console;
        if (!test.oldHost.isEmpty()) {
            bench.window.grid().setText(test.row.row, kHostColumn, test.oldHost);
            bench.window.grid().setCurrentColumn(kHostColumn);
            bench.window.grid().stagePendingEdit(test.row.host);
        }
        if (opened)
            QVERIFY(writeBytes(bench.dir.filePath(u"XferJob.FTP"_s),
                               "an old script of an earlier run"));
        QLockFile otherRun(bench.dir.filePath(u"XferJob.LCK"_s));
        if (test.locked)
            QVERIFY(otherRun.tryLock(0));

        bench.window.present(bench.test.testCurrentRow(bench.window));

        QCOMPARE(bench.window.messages, test.messages);
        const bool started = opened || !test.console.started;
        QCOMPARE(bench.consoles.starts.size(), started ? 1 : 0);
        QCOMPARE(bench.window.statusText, started ? u"Testing: "_s + test.row.host : QString());
        if (!opened) { // nothing written, or nothing left
            QCOMPARE(bench.files(), test.locked ? QStringList{u"XferJob.LCK"_s} : QStringList());
            return;
        }
        const FakeConsoleStarter::Start &start = bench.consoles.starts[0];
        // One separator before the batch file, never two; the working directory is current.
        QCOMPARE(start.batchFile, bench.dir.path() + u"/XferJob.BAT"_s);
        QCOMPARE(start.workingDirectory, bench.dir.path());
        QCOMPARE(start.currentDirectory, bench.dir.path());
        QCOMPARE(start.launcher, test.written.launcher);
        QCOMPARE(start.script, test.written.script);
        QCOMPARE(start.password, test.written.password);
        for (const QString &file : bench.files())
            QVERIFY2(isOwnerOnly(bench.dir.filePath(file)), qPrintable(file));
    }
};

QTEST_GUILESS_MAIN(ConnectionTestTest)
#include "connection_test_test.moc"

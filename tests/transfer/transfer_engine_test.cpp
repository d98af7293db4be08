#include "platform/own_files.h"
#include "platform/text_file.h"
#include "support/fake_launcher.h"
#include "support/fake_window.h"
#include "support/files.h"
#include "tools/common/words.h"
#include "transfer/client_reason.h"
#include "transfer/request_checks.h"
#include "transfer/transfer_engine.h"
#include "transfer/transfer_run.h"
#include "transfer/transfer_scripts.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using Cells = QList<QPair<int, int>>; // (row, column)

/// What the client of one destination does while it runs.
enum class Step
{
    Ok,
    Fail,       // ends with status 1
    Dead,       // cannot be started
    Cancel,     // the user cancels meanwhile
    Unwritable, // the working directory can no longer take the script
    FullLog,    // the cumulative log can take no more
    NearlyFull, // the cumulative log can take a few bytes more, not a whole block
    Killed,     // a signal ends the client
    CancelRace, // the user cancels just as the client ends by itself
    TakeName,   // something takes the name of the third destination's launcher
    SwapLog     // the client's log is swapped for a link to another file while it runs
};
using Steps = QList<Step>;

const QString kErrorTitle = u"Error Message"_s;
const QString kCompletion = u"All Transmissions are complete - if you would like to save your "
                            "Profile, give it a name and press 'Save Profile'"_s;
const QByteArray kEnd = "\r\n*********** End of Transmission ***************\r\n\r\n";
const QString kAdvice = u". Choose a working directory of your own (for example ~/Parcelwright)"_s;

/// The block of destination "hN" whose client, the fake's start number `output` (N by default),
/// printed "output OUTPUT".
QByteArray block(int n, const QByteArray &extra = {}, int output = 0)
{
    return "Output from: h" + QByteArray::number(n) + " \r\noutput " +
           QByteArray::number(output ? output : n) + "\r\n" + extra + kEnd;
}

/// One request's window, launcher and engine over a fresh working directory.
struct Bench
{
    QTemporaryDir dir;
    FakeTransferWindow window;
    FakeLauncher launcher;
    TransferEngine engine{launcher};

    explicit Bench(const DestinationRows &rows = {})
    {
        window.setFiles({u"/src/a.txt"_s});
        window.setWorkingDirectory(dir.path());
        for (const DestinationRow &row : rows)
            window.grid().setRow(row);
    }
    QString file(const QString &name) const { return dir.filePath(name); }
    QByteArray log() const { return readBytes(file(kCumulativeLogName)); }
    QStringList leftovers() const { return QDir(dir.path()).entryList(QDir::Files); }
    void process() { engine.processRequest(window); }
    /// Process Request, but the earlier cumulative log is kept.
    void processKeepingLogs()
    {
        std::optional<TransferRequest> request = checkedRequest(window);
        QVERIFY(request);
        request->keepEarlierLog = true;
        const RunEnd end = engine.run(*request, window, window);
        if (end.started)
            window.setStatusText(end.statusText);
    }
    /// Destinations h1 to hN in rows 1 to N.
    void addHosts(int count)
    {
        for (int n = 1; n <= count; ++n)
            window.grid().setRow({n, u"N"_s, u"h%1"_s.arg(n), {}, u"u"_s, u"p"_s});
    }
};

} // namespace

Q_DECLARE_METATYPE(Cells)
Q_DECLARE_METATYPE(ProcessOutcome)
Q_DECLARE_METATYPE(Steps)

class TransferEngineTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requestChecks_data();
    void requestChecks();
    void pendingEditLandsAtFirstMoveAllFilesSent();
    void runServesRowsInOrder();
    void keepsEarlierLogs();
    void quotesValuesForEveryReader_data();
    void quotesValuesForEveryReader();
    void scriptsQuoteEveryValue();
    void runEnds_data();
    void runEnds();
    void runNeedsItsOwnFiles_data();
    void runNeedsItsOwnFiles();
    void failureReasons_data();
    void failureReasons();
    void relativeWorkingDirectory();
};

void TransferEngineTest::requestChecks_data()
{
    QTest::addColumn<DestinationRows>("rows");
    QTest::addColumn<QString>("firstFile");
    QTest::addColumn<QString>("directory"); // {DIR}: the temporary directory
    QTest::addColumn<Messages>("messages");
    QTest::addColumn<Cells>("redCells"); // cell (1, 0) is red from an earlier request
    const DestinationRows valid{{1, u"N"_s, u"h1"_s, {}, u"u"_s, u"p"_s}};
    const Message noFiles{u"No Files"_s, u"No files have been selected to FTP"_s};
    const Message noHosts{u"No Files"_s, u"No IP Addresses have been keyed in to FTP to"_s};
    const Message badDir{u"No Files"_s, u"Invalid working directory"_s};
    const Message secure{
        kErrorTitle, u"Secure FTP can by 'Y' or 'N' (Yes/No - please correct this and continue"_s};
    const Message user{kErrorTitle,
                       u"There was no User ID supplied - please correct this and continue"_s};
    const Message password{kErrorTitle,
                           u"There was no Password supplied - please correct this and continue"_s};
    const Message control{
        kErrorTitle,
        u"A value holds a line break or another control character - please correct this and continue"_s};
    const Message hostWord{
        kErrorTitle,
        u"The IP Address/URL must be a single name without blanks, quotes or a leading '-' - please correct this and continue"_s};
    const Message userOption{
        kErrorTitle, u"The User Id must not begin with '-' - please correct this and continue"_s};
    const auto row = [](const QString &secure, const QString &host, const QString &directory,
                        const QString &user, const QString &password) {
        return DestinationRows{{1, secure, host, directory, user, password}};
    };
    const Cells oldMark{{1, 0}};
    // clang-format off
    QTest::newRow("file list row 1 blank") << valid << u" "_s << u"{DIR}"_s << Messages{noFiles} << oldMark;
    QTest::newRow("only a blank host") << DestinationRows{{3, u"N"_s, u" "_s, {}, u"u"_s, u"p"_s}} << u"/a"_s << u"{DIR}"_s << Messages{noHosts} << oldMark;
    QTest::newRow("empty directory text") << valid << u"/a"_s << QString() << Messages{badDir} << oldMark;
    QTest::newRow("missing directory") << valid << u"/a"_s << u"{DIR}/absent"_s << Messages{badDir} << oldMark;
    QTest::newRow("plain file as directory") << valid << u"/a"_s << u"{DIR}/FTPLogALL.TXT"_s << Messages{badDir} << oldMark;
    QTest::newRow("lower-case y") << DestinationRows{{1, u"y"_s, u"h"_s, {}, u"u"_s, u"p"_s}} << u"/a"_s << u"{DIR}"_s << Messages{secure} << oldMark;
    QTest::newRow("secure row without account") << DestinationRows{{1, u"Y"_s, u"h"_s, {}, {}, {}}} << u"/a"_s << u"{DIR}"_s << Messages{user, password} << Cells{{1, 0}, {1, 3}, {1, 4}};
    QTest::newRow("two faulty rows around a valid one") << DestinationRows{{2, u" "_s, u"h2"_s, {}, u"u"_s, u"p"_s}, {3, u"N"_s, u"h3"_s, {}, u"u"_s, u"p"_s}, {5, u"N"_s, u"h5"_s, {}, u"u"_s, {}}} << u"/a"_s << u"{DIR}"_s << Messages{secure, password} << Cells{{1, 0}, {2, 0}, {5, 4}};
    QTest::newRow("blank host beside a real one is checked") << DestinationRows{valid[0], {2, u"N"_s, u" "_s, {}, u"u"_s, {}}} << u"/a"_s << u"{DIR}"_s << Messages{password} << Cells{{2, 4}};
    QTest::newRow("listed file with a line break") << valid << u"/a\nput /etc/shadow"_s << u"{DIR}"_s << Messages{{u"No Files"_s, u"A listed file name holds a line break or another control character: /a\u240Aput /etc/shadow"_s}} << oldMark;
    QTest::newRow("line break after a host") << row(u"Y"_s, u"h\ntouch M"_s, {}, u"u"_s, u"p"_s) << u"/a"_s << u"{DIR}"_s << Messages{control} << Cells{{1, 0}, {1, 1}};
    QTest::newRow("controls in directory, user, password") << row(u"N"_s, u"h"_s, u"/in\r"_s, QString(u"u\0x"_s), u"pw\nmore"_s) << u"/a"_s << u"{DIR}"_s << Messages{control, control, control} << Cells{{1, 0}, {1, 2}, {1, 3}, {1, 4}};
    QTest::newRow("DEL in a password") << row(u"N"_s, u"h"_s, {}, u"u"_s, u"p\x7f"_s) << u"/a"_s << u"{DIR}"_s << Messages{control} << Cells{{1, 0}, {1, 4}};
    QTest::newRow("host with an option after it") << row(u"Y"_s, u"h -proxycmd x"_s, {}, u"u"_s, u"p"_s) << u"/a"_s << u"{DIR}"_s << Messages{hostWord} << Cells{{1, 0}, {1, 1}};
    QTest::newRow("host that is an option") << row(u"N"_s, u"-s:/etc/passwd"_s, {}, u"u"_s, u"p"_s) << u"/a"_s << u"{DIR}"_s << Messages{hostWord} << Cells{{1, 0}, {1, 1}};
    QTest::newRow("host with a quote or a tab") << DestinationRows{{1, u"N"_s, u"h\"x"_s, {}, u"u"_s, u"p"_s}, {2, u"N"_s, u"h\tx"_s, {}, u"u"_s, u"p"_s}} << u"/a"_s << u"{DIR}"_s << Messages{hostWord, hostWord} << Cells{{1, 0}, {1, 1}, {2, 1}};
    QTest::newRow("secure user id that is an option") << row(u"Y"_s, u"h"_s, {}, u"-oProxyCommand=x"_s, u"p"_s) << u"/a"_s << u"{DIR}"_s << Messages{userOption} << Cells{{1, 0}, {1, 3}};
    QTest::newRow("plain user id may begin with '-', tabs stay") << row(u"N"_s, u"h1"_s, {}, u"-x"_s, u"p\tw"_s) << u"/a"_s << u"{DIR}"_s << Messages() << Cells();
    QTest::newRow("plain row needs no user id") << DestinationRows{{1, u"N"_s, u"h1"_s, {}, {}, u"p"_s}} << u"/a"_s << u"{DIR}"_s << Messages() << Cells();
    // clang-format on
}

void TransferEngineTest::requestChecks()
{
    QFETCH(DestinationRows, rows);
    QFETCH(QString, firstFile);
    QFETCH(QString, directory);
    QFETCH(Messages, messages);
    QFETCH(Cells, redCells);

    Bench bench(rows);
    bench.window.setFileRow(1, firstFile);
    bench.window.setWorkingDirectory(directory.replace(u"{DIR}"_s, bench.dir.path()));
    // An earlier run's log and red mark: a refused request keeps the log, a valid row is reset.
    QVERIFY(writeBytes(bench.file(kCumulativeLogName), "old run\r\n"));
    bench.window.grid().setCurrentCellTextColour(kFaultColour);

    bench.process();

    QCOMPARE(bench.window.messages, messages);
    for (int row = 1; row <= 5; ++row) {
        for (int column = 0; column < kDestinationColumnCount; ++column)
            QCOMPARE(bench.window.grid().textColour(row, column) == kFaultColour,
                     redCells.contains({row, column}));
    }
    QCOMPARE(bench.launcher.calls.size(), messages.isEmpty() ? 1 : 0);
    QCOMPARE(bench.window.statusText, messages.isEmpty() ? kCompletion : QString());
    QCOMPARE(bench.leftovers(), QStringList{kCumulativeLogName});
    QCOMPARE(bench.log(),
             messages.isEmpty() ? "Output from: h1 \r\noutput 1\r\n" + kEnd : "old run\r\n");
}

void TransferEngineTest::pendingEditLandsAtFirstMoveAllFilesSent()
{
    Bench bench({{1, u"N"_s, u"h1"_s, {}, u"old"_s, u"p"_s}});
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row)
        bench.window.setFileRow(row, u"/f/%1"_s.arg(row));
    bench.window.grid().setCurrentColumn(kUserIdColumn);
    bench.window.grid().stagePendingEdit(u"new"_s);
    bench.window.events.clear();
    bench.process();
    // The reset of row 1 is the first move: leave (with the commit), then enter, then colour.
    QCOMPARE(bench.window.events.mid(0, 4),
             u"leave 1 3|commit 1 3 new|enter 1 0|colour 1 0 0"_s.split(u'|'));
    const QByteArray script = bench.launcher.calls.value(0).script;
    QVERIFY(script.startsWith("new\r\np\r\nput /f/1 1\r\n") &&
            script.endsWith("put /f/4999 4999\r\nquit\r\n"));
    QCOMPARE(script.count("put "), 4999);

    // A host still in the editor is not seen by the request-level checks.
    Bench unseen;
    unseen.window.grid().setCurrentColumn(kHostColumn);
    unseen.window.grid().stagePendingEdit(u"h1"_s);
    unseen.engine.processRequest(unseen.window);
    QCOMPARE(unseen.window.messages,
             (Messages{{u"No Files"_s, u"No IP Addresses have been keyed in to FTP to"_s}}));
    QVERIFY(unseen.window.grid().hasPendingEdit());
}

void TransferEngineTest::runServesRowsInOrder()
{
    Bench bench({{2, u"N"_s, u"h2"_s, u"\\in"_s, u" u "_s, u"p w "_s},
                 {5, u"Y"_s, u"h5"_s, u"/my dir"_s, u"a b"_s, u"pw 2"_s},
                 {4999, u"N"_s, u"h9"_s, {}, {}, u"p"_s}});
    bench.window.setWorkingDirectory(bench.dir.path() + u'/');
    bench.window.setFiles({u"/src/a.txt"_s, u"/x y/b c"_s});
    bench.launcher.logTexts[1] = "psftp -pw \"pw 2\"\r\nRemote working directory is /\n";
    bench.launcher.logTexts[2] = QByteArray();

    bench.process();

    const auto &calls = bench.launcher.calls;
    QCOMPARE(calls.size(), 3);
    QCOMPARE(calls[0].logFile, bench.file(u"FTPLog0001.TXT"_s));
    QCOMPARE(calls[1].logFile, bench.file(u"FTPLog0002.TXT"_s));
    const QByteArray puts = "put /src/a.txt a.txt\r\nput \"/x y/b c\" \"b c\"\r\nquit\r\n";
    QCOMPARE(calls[0].launcher, "@echo on\r\nftp -s:XferJob.FTP h2\r\n");
    QCOMPARE(calls[0].script, " u \r\np w \r\ncd \\in\r\n" + puts);
    QCOMPARE(calls[1].launcher,
             "@echo on\r\npsftp \"a b\"@h5 -b XferJob.FTP -pwfile XferJob.PWD\r\n");
    QCOMPARE(calls[1].password, "pw 2\r\n");
    QVERIFY(calls[0].password.isNull() && calls[2].password.isNull());
    QCOMPARE(calls[1].script, "cd \"/my dir\"\r\n" + puts);
    QCOMPARE(calls[2].script, "\r\np\r\n" + puts);
    QCOMPARE(transferScriptLines(u"Y"_s, {}, {}, {}, u"h"_s, {u"C:\\d\\a b.txt"_s}, u'\\').value(0),
             "put \"C:\\d\\a b.txt\" \"a b.txt\"");
    QVERIFY(calls[0].ownerOnly && calls[1].ownerOnly &&
            isOwnerOnly(bench.file(kCumulativeLogName)));
    QCOMPARE(bench.log(), "Output from: h2 \\in\r\noutput 1\r\n" + kEnd +
                              "Output from: h5 /my dir\r\npsftp -pw ********\r\nRemote working "
                              "directory is /\r\n" +
                              kEnd + "Output from: h9 \r\n" + kEnd);
    QCOMPARE(bench.leftovers(), QStringList{kCumulativeLogName});
    QCOMPARE(bench.window.statusText, kCompletion);
}

void TransferEngineTest::keepsEarlierLogs()
{
    // Process Request replaces the earlier log and numbers its logs from 1 again; a request that
    // keeps it moves each kept log one name on, nine at most.
    Bench bench({{1, u"N"_s, u"h1"_s, {}, u"u"_s, u"p"_s}});
    bench.process();
    for (int run = 2; run <= 11; ++run)
        bench.processKeepingLogs();
    bench.process();

    QCOMPARE(bench.log(), block(1, {}, 12));
    for (int generation = 1; generation <= kKeptLogs; ++generation)
        QCOMPARE(readBytes(bench.file(keptLogName(generation))), block(1, {}, 11 - generation));
    QCOMPARE(bench.leftovers().size(), 1 + kKeptLogs);
    QCOMPARE(bench.launcher.calls.last().logFile, bench.file(u"FTPLog0001.TXT"_s));
    QVERIFY(bench.window.messages.isEmpty());
}

void TransferEngineTest::runEnds_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::addColumn<Steps>("steps");       // what the clients of h1, h2, ... do; Ok for the rest
    QTest::addColumn<QList<int>>("delays"); // how long each client runs, in ms; 0 for the rest
    QTest::addColumn<int>("calls");
    QTest::addColumn<QString>("status");
    QTest::addColumn<Messages>("messages");
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QStringList>("outcomes"); // of h1, h2, ... in row order
    const QString failed =
        u"Transmission ended with errors at %1 of %2 destinations (%3) - see FTPLogALL.TXT"_s;
    const QString cancelled = u"Transmission cancelled at %1 - see FTPLogALL.TXT"_s;
    const QByteArray stopped =
        "The transmission to this destination was cancelled before it ended\r\n";
    const Message unwritable{u"Process Error"_s,
                             u"The working directory cannot be written - nothing more was sent"_s};
    const Message logFull{
        u"Process Error"_s,
        u"FTPLogALL.TXT cannot be written - nothing more was sent - the output of h2 is kept in FTPLog0002.TXT"_s};
    const QByteArray six = block(1) + block(2) + block(3) + block(4) + block(5) + block(6);
    const QStringList sent(6, u"sent"_s);
    using enum Step;
    // clang-format off
    QTest::newRow("two clients failed") << 1 << Steps{Ok, Fail, Fail} << QList<int>() << 3 << failed.arg(2).arg(3).arg(u"h2, h3"_s) << Messages() << block(1) + block(2) + block(3) << QStringList{u"sent"_s, u"failed"_s, u"failed"_s};
    QTest::newRow("client not started") << 1 << Steps{Ok, Dead, Ok} << QList<int>() << 3 << failed.arg(1).arg(3).arg(u"h2"_s) << Messages() << block(1) + "Output from: h2 \r\nThe client could not be started: no interpreter\r\n" + kEnd + block(3) << QStringList{u"sent"_s, u"failed"_s, u"sent"_s};
    QTest::newRow("log swapped for a link while the client runs") << 1 << Steps{SwapLog, Ok, Ok} << QList<int>() << 3 << kCompletion << Messages() << block(1) + block(2) + block(3) << QStringList{u"sent"_s, u"sent"_s, u"sent"_s};
    QTest::newRow("client killed by a signal") << 1 << Steps{Killed, Ok, Ok} << QList<int>() << 3 << failed.arg(1).arg(3).arg(u"h1"_s) << Messages() << block(1, "The client ended by signal 9\r\n") + block(2) + block(3) << QStringList{u"failed"_s, u"sent"_s, u"sent"_s};
    QTest::newRow("cancel while a client runs") << 1 << Steps{Ok, Cancel, Ok} << QList<int>() << 2 << cancelled.arg(u"h2"_s) << Messages() << block(1) + block(2, stopped) << QStringList{u"sent"_s, u"cancelled"_s, u"not started"_s};
    QTest::newRow("cancel after a failure") << 1 << Steps{Fail, Cancel, Ok} << QList<int>() << 2 << u"Transmission cancelled at h2 - earlier errors at 1 destinations (h1) - see FTPLogALL.TXT"_s << Messages() << block(1) + block(2, stopped) << QStringList{u"failed"_s, u"cancelled"_s, u"not started"_s};
    QTest::newRow("cancel as the client ends by itself") << 1 << Steps{CancelRace, Ok, Ok} << QList<int>() << 1 << cancelled.arg(u"h1"_s) << Messages() << block(1) << QStringList{u"sent"_s, u"not started"_s, u"not started"_s};
    QTest::newRow("no room for the first launcher") << 1 << Steps{} << QList<int>() << 0 << u"The working directory cannot be written - nothing was sent"_s << Messages{{u"Process Error"_s, u"The working directory cannot be written - nothing was sent"_s}} << QByteArray() << QStringList{u"failed"_s, u"not started"_s, u"not started"_s};
    QTest::newRow("unwritable working directory") << 1 << Steps{Unwritable, Ok, Ok} << QList<int>() << 1 << failed.arg(1).arg(3).arg(u"h2"_s) << Messages{unwritable} << block(1) << QStringList{u"sent"_s, u"failed"_s, u"not started"_s};
    QTest::newRow("cumulative log full keeps the destination's log") << 1 << Steps{Ok, FullLog, Ok} << QList<int>() << 2 << failed.arg(1).arg(3).arg(u"h2"_s) << Messages{logFull} << block(1) << QStringList{u"sent"_s, u"sent"_s, u"not started"_s};
    QTest::newRow("cumulative log takes no part of a block") << 1 << Steps{Ok, NearlyFull, Ok} << QList<int>() << 2 << failed.arg(1).arg(3).arg(u"h2"_s) << Messages{logFull} << block(1) << QStringList{u"sent"_s, u"sent"_s, u"not started"_s};
    // Several at once: whatever order the clients end in, the log is the one a serial run writes.
    QTest::newRow("four at once, ending in reverse") << 4 << Steps(6, Ok) << QList<int>{60, 50, 40, 30, 20, 10} << 6 << kCompletion << Messages() << six << sent;
    QTest::newRow("a hung client holds one place") << 4 << Steps(6, Ok) << QList<int>{300} << 6 << kCompletion << Messages() << six << sent;
    QTest::newRow("a taken name fails its destination only") << 4 << Steps{TakeName, Ok, Ok, Ok, Ok, Ok} << QList<int>{50} << 5 << failed.arg(1).arg(6).arg(u"h3"_s) << Messages() << block(1) + block(2) + block(4, {}, 3) + block(5, {}, 4) + block(6, {}, 5) << QStringList{u"sent"_s, u"sent"_s, u"failed"_s, u"sent"_s, u"sent"_s, u"sent"_s};
    QTest::newRow("cancel with four running") << 4 << Steps{Cancel, Ok, Ok, Ok, Ok, Ok} << QList<int>{100, 100, 100, 100} << 4 << cancelled.arg(u"h1, h2, h3, h4"_s) << Messages() << block(1, stopped) + block(2, stopped) + block(3, stopped) + block(4, stopped) << QStringList{u"cancelled"_s, u"cancelled"_s, u"cancelled"_s, u"cancelled"_s, u"not started"_s, u"not started"_s};
    // clang-format on
}

void TransferEngineTest::runEnds()
{
    QFETCH(int, simultaneous);
    QFETCH(Steps, steps);
    QFETCH(QList<int>, delays);
    QFETCH(QByteArray, log);
    QFETCH(QStringList, outcomes);

    Bench bench;
    bench.addHosts(int(outcomes.size()));
    bench.window.simultaneous = simultaneous;
    for (int call = 0; call < delays.size(); ++call)
        bench.launcher.delaysMs[call] = delays[call];
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(u"theirs"_s);
    QVERIFY(writeBytes(outside, "their file"));
    // A file size limit makes writes past it fail, even for root.
    rlimit unlimited;
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const auto restore = qScopeGuard([&] {
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, oldHandler);
    });
    bench.launcher.whileRunning = [&](int call, ProcessOutcome &outcome) {
        bench.process(); // ignored while a run goes on
        switch (steps.value(call, Step::Ok)) {
        case Step::Ok:
            break;
        case Step::Fail:
            outcome.exitStatus = 1;
            break;
        case Step::Dead:
            outcome = {false, false, -1, 0, u"no interpreter"_s};
            break;
        case Step::Killed:
            outcome = {true, false, 128 + 9, 9, {}};
            break;
        case Step::Cancel:
            bench.engine.requestCancel();
            break;
        case Step::CancelRace:
            bench.engine.requestCancel();
            bench.launcher.outrunsCancel.insert(call);
            break;
        case Step::Unwritable: // a directory in the script's place
            QVERIFY(QFile::remove(bench.file(kScriptFileName)) &&
                    QDir(bench.dir.path()).mkdir(kScriptFileName));
            break;
        case Step::TakeName: // see below: taken before the third destination starts
            break;
        case Step::SwapLog:
            QVERIFY(QFile::remove(bench.file(u"FTPLog0001.TXT"_s)) &&
                    QFile::link(outside, bench.file(u"FTPLog0001.TXT"_s)));
            break;
        case Step::FullLog:
        case Step::NearlyFull: {
            const qint64 room = steps[call] == Step::NearlyFull ? 10 : 0;
            const rlimit full{rlim_t(QFileInfo(bench.file(kCumulativeLogName)).size() + room),
                              unlimited.rlim_max};
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &full), 0);
            break;
        }
        }
    };

    // With no step at all, the file system takes nothing beyond the lock from the start.
    const rlimit tiny{16, unlimited.rlim_max};
    if (steps.isEmpty())
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    bench.window.onDestinationStarted = [&](const QString &, int logNumber) {
        if (logNumber == 1 && steps.value(0) == Step::TakeName)
            QVERIFY(writeBytes(bench.file(u"XferJob-0003.BAT"_s), "taken"));
    };

    bench.process();
    ::setrlimit(RLIMIT_FSIZE, &unlimited);

    QTEST(int(bench.launcher.calls.size()), "calls");
    QCOMPARE(bench.launcher.mostAtOnce, std::min<int>(simultaneous, bench.launcher.calls.size()));
    QCOMPARE(bench.launcher.cancels,
             steps.contains(Step::Cancel) || steps.contains(Step::CancelRace) ? 1 : 0);
    QTEST(bench.window.statusText, "status");
    QTEST(bench.window.messages, "messages");
    QCOMPARE(bench.log(), log);
    QCOMPARE(readBytes(outside), QByteArray("their file"));
    QStringList seen;
    for (const DestinationResult &result : std::as_const(bench.window.lastRun.results))
        seen.append(outcomeName(result.outcome));
    QCOMPARE(seen, outcomes);
    // Only a log the cumulative log could not take stays beside it; a taken name stays its owner's.
    QStringList leftovers{kCumulativeLogName};
    if (bench.window.messages.value(0).text.contains(u"is kept in"_s))
        leftovers.prepend(u"FTPLog0002.TXT"_s);
    if (steps.contains(Step::TakeName))
        leftovers.append(u"XferJob-0003.BAT"_s);
    QCOMPARE(bench.leftovers(), leftovers);
    if (simultaneous > 1 && !bench.launcher.calls.isEmpty())
        QCOMPARE(bench.launcher.calls[0].launcher, "@echo on\r\nftp -s:XferJob-0001.FTP h1\r\n");
}

void TransferEngineTest::runNeedsItsOwnFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("planted"); // file, link (to a file outside), directory, fifo, lock
    QTest::addColumn<bool>("foreign");    // owned by another user
    QTest::addColumn<QString>("message"); // empty: the run goes ahead; %1: the directory
    const QString refused =
        u"%1 in the working directory %2 belongs to another user or cannot be replaced - nothing was sent"_s +
        kAdvice;
    const QString lockRefused =
        u"XferJob.LCK in the working directory %1 belongs to another user or is not a plain file - nothing was sent"_s +
        kAdvice;
    // clang-format off
    QTest::newRow("own link is replaced, not followed") << kCumulativeLogName << u"link"_s << false << QString();
    QTest::newRow("own spelling of the launcher in capitals stays") << u"XFERJOB.BAT"_s << u"file"_s << false << QString();
    QTest::newRow("another user's link") << kCumulativeLogName << u"link"_s << true << refused.arg(kCumulativeLogName, u"%1"_s);
    QTest::newRow("another user's numbered log") << u"ftplog0002.txt"_s << u"link"_s << true << refused.arg(u"ftplog0002.txt"_s, u"%1"_s);
    QTest::newRow("a directory in the script's place") << kScriptFileName << u"directory"_s << false << refused.arg(kScriptFileName, u"%1"_s);
    QTest::newRow("another run holds the directory") << kLockFileName << u"lock"_s << false << u"Another transmission is using this working directory - nothing was sent"_s;
    QTest::newRow("a FIFO as the lock") << kLockFileName << u"fifo"_s << false << lockRefused;
    QTest::newRow("another user's lock") << kLockFileName << u"file"_s << true << lockRefused;
    QTest::newRow("another user's link as the lock") << kLockFileName << u"link"_s << true << lockRefused;
    // A kept log's name: the run keeps the earlier log.
    QTest::newRow("own link at a kept name is replaced, not followed") << keptLogName(1) << u"link"_s << false << QString();
    QTest::newRow("another user's kept log in small letters") << u"ftplogall.3.txt"_s << u"file"_s << true << refused.arg(u"ftplogall.3.txt"_s, u"%1"_s);
    QTest::newRow("a directory at a kept name") << keptLogName(2) << u"directory"_s << false << refused.arg(keptLogName(2), u"%1"_s);
    QTest::newRow("a full file system keeps the earlier log") << kCumulativeLogName << u"full"_s << false << u"The working directory cannot be written - nothing was sent"_s;
    // clang-format on
}

void TransferEngineTest::runNeedsItsOwnFiles()
{
    QFETCH(QString, name);
    QFETCH(QString, planted);
    QFETCH(bool, foreign);
    QFETCH(QString, message);
    Bench bench(
        {{1, u"N"_s, u"h1"_s, {}, u"u"_s, u"p"_s}, {2, u"N"_s, u"h2"_s, {}, u"u"_s, u"p"_s}});
    // A shared directory such as /tmp: anyone may create, only owners may remove.
    QCOMPARE(::chmod(QFile::encodeName(bench.dir.path()).constData(), 01777), 0);
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(u"theirs"_s);
    QVERIFY(writeBytes(outside, "their file"));
    const QString path = bench.file(name);
    const bool keep = name.section(u'.', 1, 1).toInt() > 0;
    if (keep)
        QVERIFY(writeBytes(bench.file(kCumulativeLogName), "earlier", 0600));
    DirectoryLock otherRun;
    if (planted == u"file"_s || planted == u"full"_s)
        QVERIFY(writeBytes(path, "old"));
    else if (planted == u"link"_s)
        QVERIFY(QFile::link(outside, path));
    else if (planted == u"directory"_s)
        QVERIFY(QDir(bench.dir.path()).mkdir(name));
    else if (planted == u"fifo"_s)
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        QCOMPARE(otherRun.take(path), DirectoryLock::Result::Taken);
    if (foreign && ::lchown(QFile::encodeName(path).constData(), 65534, 65534) != 0) {
        if (qEnvironmentVariableIsEmpty("CI"))
            QSKIP("only root can hand a file to another user");
        QFAIL("cannot hand the file to another user");
    }

    rlimit unlimited;
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit full{0, unlimited.rlim_max};
    if (planted == u"full"_s)
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &full), 0);
    if (keep)
        bench.processKeepingLogs();
    else
        bench.process();
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, oldHandler);

    if (message.contains(u"%1"_s))
        message = message.arg(bench.dir.path());
    QCOMPARE(bench.window.messages,
             (message.isEmpty() ? Messages() : Messages{{u"Process Error"_s, message}}));
    QCOMPARE(bench.launcher.calls.size(), message.isEmpty() ? 2 : 0);
    QCOMPARE(bench.window.statusText.startsWith(u"All Transmissions"_s), message.isEmpty());
    QCOMPARE(readBytes(outside), QByteArray("their file"));
    if (!message.isEmpty() && planted == u"full"_s)
        QCOMPARE(readBytes(path), QByteArray("old"));
    if (keep) // kept, or left where it was
        QCOMPARE(readBytes(bench.file(message.isEmpty() ? keptLogName(1) : kCumulativeLogName)),
                 QByteArray("earlier"));
    struct stat info;
    if (foreign || planted != u"lock"_s) // left as it was
        QVERIFY(::lstat(QFile::encodeName(path).constData(), &info) == 0 &&
                info.st_uid == (foreign ? 65534u : ::geteuid()));
    if (message.isEmpty())
        QVERIFY(isOwnerOnly(bench.file(kCumulativeLogName)) &&
                !QFileInfo(bench.file(kCumulativeLogName)).isSymLink());
    QVERIFY(!QFileInfo::exists(bench.file(kLauncherFileName)));
}

void TransferEngineTest::relativeWorkingDirectory()
{
    // A folder named relative to where the check found it, as a user keys "out".
    Bench bench({{1, u"N"_s, u"h1"_s, {}, u"u"_s, u"p"_s}});
    QVERIFY(QDir(bench.dir.path()).mkdir(u"out"_s));
    const QString before = QDir::currentPath();
    const auto back = qScopeGuard([&before] { QDir::setCurrent(before); });
    QVERIFY(QDir::setCurrent(bench.dir.path()));
    bench.window.setWorkingDirectory(u"out"_s);

    bench.process();

    QCOMPARE(bench.window.statusText.left(17), u"All Transmissions"_s);
    QCOMPARE(bench.launcher.calls.value(0).workingDirectory, bench.file(u"out"_s));
    QCOMPARE(bench.launcher.calls.value(0).logFile, bench.file(u"out/FTPLog0001.TXT"_s));
    QVERIFY(bench.launcher.calls.value(0).launcher.startsWith("@echo on"));
    QVERIFY(QFileInfo::exists(bench.file(u"out/FTPLogALL.TXT"_s)));
}

void TransferEngineTest::quotesValuesForEveryReader_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("written");
    // clang-format off
    QTest::newRow("plain") << u"a.txt"_s << u"a.txt"_s;
    QTest::newRow("backslash, dash, shell characters") << uR"(..\$(id)&-r|a;`b`)"_s << uR"(..\$(id)&-r|a;`b`)"_s;
    QTest::newRow("blank") << u"a b"_s << u"\"a b\""_s;
    QTest::newRow("tab") << u"a\tb"_s << u"\"a\tb\""_s;
    QTest::newRow("quotes inside") << uR"(q"x"y.txt)"_s << uR"("q""x""y.txt")"_s;
    QTest::newRow("quote first and last") << uR"("h i")"_s << uR"("""h i""")"_s;
    QTest::newRow("one quote") << uR"(")"_s << uR"("")"_s;
    QTest::newRow("option after a quote") << uR"(x" -proxycmd "touch M)"_s << uR"("x"" -proxycmd ""touch M")"_s;
    // clang-format on
}

void TransferEngineTest::quotesValuesForEveryReader()
{
    QFETCH(QString, value);
    const QString written = quotedArgument(value);
    QTEST(written, "written");
    // The value must come back whole as one word between two others, as the clients read it.
    const std::vector<std::string> words =
        splitWords("put " + written.toLocal8Bit().toStdString() + " x");
    QCOMPARE(words.size(), std::size_t(3));
    QCOMPARE(QString::fromLocal8Bit(words[1]), value);
}

void TransferEngineTest::scriptsQuoteEveryValue()
{
    const QStringList files{uR"(/d/q"x"y.txt)"_s, u"-r"_s, u"/d/a b"_s};
    QCOMPARE(transferScriptLines(u"Y"_s, uR"(/in "x")"_s, {}, {}, u"h"_s, files),
             (QList<QByteArray>{R"(cd "/in ""x""")", R"(put "/d/q""x""y.txt" "q""x""y.txt")",
                                "put -- -r -r", R"(put "/d/a b" "a b")", "quit"}));
    // The plain client reads its log-in lines whole and knows no "--".
    QCOMPARE(transferScriptLines(u"N"_s, uR"(\in)"_s, uR"(u "1")"_s, uR"(p "2")"_s, u"h"_s, files),
             (QList<QByteArray>{R"(u "1")", R"(p "2")", R"(cd \in)",
                                R"(put "/d/q""x""y.txt" "q""x""y.txt")", "put -r -r",
                                R"(put "/d/a b" "a b")", "quit"}));
    QCOMPARE(launcherLines(u"Y"_s, u"h"_s, uR"(a "b"@c)"_s).value(1),
             R"(psftp "a ""b""@c"@h -b XferJob.FTP -pwfile XferJob.PWD)");
    // A Secure Shell host's port becomes psftp's own option; only a port makes it one.
    const auto secureLine = [](const QString &host) {
        return launcherLines(u"Y"_s, host, u"u"_s, JobFileNames::numbered(7)).value(1);
    };
    QCOMPARE(secureLine(u"h:2222"_s),
             "psftp -P 2222 u@h -b XferJob-0007.FTP -pwfile XferJob-0007.PWD");
    QCOMPARE(secureLine(u"[::1]:22"_s),
             "psftp -P 22 u@::1 -b XferJob-0007.FTP -pwfile XferJob-0007.PWD");
    for (const QString &host : {u"::1"_s, u"h:x"_s, u"h:70000"_s, u"h:"_s, u"h:+22"_s})
        QVERIFY2(secureLine(host).startsWith("psftp u@" + host.toLocal8Bit() + " -b"),
                 qPrintable(host));
    QCOMPARE(passwordFileLines(uR"( x" -pw "y )"_s), QList<QByteArray>{R"( x" -pw "y )"});
}

void TransferEngineTest::failureReasons_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<ProcessOutcome>("outcome");
    QTest::addColumn<QString>("reason");
    const ProcessOutcome failed{true, false, 1, 0, {}};
    // clang-format off
    QTest::newRow("the server's refusal, not what follows") << QByteArray("/w>ftp -s:XferJob.FTP h\n220 Ready\n530 Login incorrect.\nLogin failed.") << failed << u"530 Login incorrect."_s;
    QTest::newRow("the client's first complaint") << QByteArray("Unknown host nosuch.invalid.\nNot connected.") << failed << u"Unknown host nosuch.invalid."_s;
    QTest::newRow("psftp's fatal error") << QByteArray("Using username \"u\".\nFATAL ERROR: Network error: Connection refused") << failed << u"FATAL ERROR: Network error: Connection refused"_s;
    QTest::newRow("killed") << QByteArray("put a.txt") << ProcessOutcome{true, false, 137, 9, {}} << u"The client ended by signal 9"_s;
    QTest::newRow("unknown host key: how to store it") << QByteArray("/w>psftp -P 2222 \"a b\"@h -b XferJob.FTP -pwfile XferJob.PWD\nThe host key is not cached for this server:\n  h (port 2222)\nStore key in cache? (y/n, Return cancels connection, i for more info) Connection abandoned.") << failed << u"The server's host key is not stored yet - store it once with 'Test the Connection', or by hand with 'psftp -P 2222 \"a b\"@h' (answer y)"_s;
    QTest::newRow("silent") << QByteArray("Remote working directory is /") << ProcessOutcome{true, false, 2, 0, {}} << u"The client ended with status 2"_s;
    // clang-format on
}

void TransferEngineTest::failureReasons()
{
    QFETCH(QByteArray, output);
    QFETCH(ProcessOutcome, outcome);
    QTEST(failureReason(output.split('\n'), outcome), "reason");
}

QTEST_GUILESS_MAIN(TransferEngineTest)
#include "transfer_engine_test.moc"

#include "support/fake_launcher.h"
#include "support/fake_window.h"
#include "support/files.h"
#include "support/session_run.h"
#include "tools/common/words.h"
#include "transfer/client_reason.h"
#include "transfer/cumulative_log.h"
#include "transfer/request_checks.h"
#include "transfer/run_session.h"
#include "transfer/transfer_scripts.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using Cells = QList<QPair<int, int>>; // (row, column)

/// What the client of one destination does while it runs.
enum class Step
{
    Ok,
    Dead,       // cannot be started
    Cancel,     // the user cancels meanwhile
    Unwritable, // the working directory can no longer take the script
    FullLog,    // the cumulative log can take a few bytes more, not a whole block
    Killed,     // a signal ends the client
    CancelRace, // the user cancels just as the client ends by itself
    TakeName,   // something takes the name of the third destination's launcher
    SwapLog     // the client's log is swapped for a link to another file while it runs
};
using Steps = QList<Step>;

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

/// One request's window, launcher and session over a fresh working directory.
struct Bench
{
    QTemporaryDir dir;
    FakeWindow window;
    FakeLauncher launcher;
    RunSession session{launcher};

    explicit Bench(const DestinationRows &rows = {})
    {
        window.follow(session);
        window.form = {{u"/src/a.txt"_s}, dir.path(), 1};
        for (const DestinationRow &row : rows)
            window.grid().setRow(row);
    }
    QString file(const QString &name) const { return dir.filePath(name); }
    QByteArray log() const { return readBytes(file(kCumulativeLogName)); }
    QStringList leftovers() const { return QDir(dir.path()).entryList(QDir::Files); }
    void process()
    {
        if (window.processRequest(session))
            waitForRunEnd(session);
    }
    /// Process Request, but the earlier cumulative log is kept.
    void processKeepingLogs()
    {
        std::optional<TransferRequest> request = checkedRequest(window.form, window.grid(), window);
        QVERIFY(request);
        request->keepEarlierLog = true;
        window.present(session.start(*request));
        waitForRunEnd(session);
    }
};

/// Something under a name the run uses in the working directory.
struct Planted
{
    QString name;
    QString kind; // file, link (to a file outside), directory, fifo
    bool foreign; // owned by another user
};

/// One run: what stands in its way before it starts and what its clients do, and how it ends.
struct RunCase
{
    int simultaneous;
    Steps steps;       // what the clients of h1, h2, ... do; Ok for the rest
    QList<int> delays; // how long each client runs, in ms; 0 for the rest
    qsizetype calls;
    QString status;
    Messages messages; // %1: the working directory
    QByteArray log;
    QStringList outcomes; // of h1, h2, ... in row order; two destinations for none
    QStringList again;    // the hosts "Send again" sends to afterwards
    Planted planted{};    // a name that ends in ".N." is a kept log's: the run keeps the log
    int room = -1;        // bytes the file system takes from the start; -1: no limit
};

/// One request: its rows, the messages it brings, the cells then red (cell (1, 0) is red from an
/// earlier request), its first listed file and its working directory ({DIR}: a fresh one).
struct CheckCase
{
    DestinationRows rows;
    Messages messages;
    Cells redCells;
    QString firstFile = u"/a"_s;
    QString directory = u"{DIR}"_s;
};

} // namespace

Q_DECLARE_METATYPE(CheckCase)
Q_DECLARE_METATYPE(RunCase)

class RunSessionTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requestChecks_data();
    void requestChecks();
    void runServesRowsInOrder();
    void keepsEarlierLogs();
    void quotesValuesForEveryReader_data();
    void quotesValuesForEveryReader();
    void scriptsQuoteEveryValue();
    void runEnds_data();
    void runEnds();
    void failureReasons();
};

void RunSessionTest::requestChecks_data()
{
    QTest::addColumn<CheckCase>("check");
    const DestinationRows valid{{1, u"N"_s, u"h1"_s, {}, u"u"_s, u"p"_s}};
    const auto error = [](const QString &text) {
        return Message{u"Error Message"_s, text + u" - please correct this and continue"_s};
    };
    const Message secure = error(u"Secure FTP can by 'Y' or 'N' (Yes/No"_s);
    const Message password = error(u"There was no Password supplied"_s);
    const Message control = error(u"A value holds a line break or another control character"_s);
    const Message hostWord = error(
        u"The IP Address/URL must be a single name without blanks, quotes or a leading '-'"_s);
    const auto row = [](const QString &secure, const QString &host, const QString &directory,
                        const QString &user, const QString &password) {
        return DestinationRows{{1, secure, host, directory, user, password}};
    };
    const Cells oldMark{{1, 0}};
    // clang-format off
    QTest::newRow("file list row 1 blank") << CheckCase{valid, {{u"No Files"_s, u"No files have been selected to FTP"_s}}, oldMark, u" "_s};
    QTest::newRow("only a blank host") << CheckCase{{{3, u"N"_s, u" "_s, {}, u"u"_s, u"p"_s}}, {{u"No Files"_s, u"No IP Addresses have been keyed in to FTP to"_s}}, oldMark};
    QTest::newRow("plain file as directory") << CheckCase{valid, {{u"No Files"_s, u"Invalid working directory"_s}}, oldMark, u"/a"_s, u"{DIR}/FTPLogALL.TXT"_s};
    QTest::newRow("secure row without account") << CheckCase{{{1, u"Y"_s, u"h"_s, {}, {}, {}}}, {error(u"There was no User ID supplied"_s), password}, {{1, 0}, {1, 3}, {1, 4}}};
    QTest::newRow("two faulty rows around a valid one") << CheckCase{{{2, u" "_s, u"h2"_s, {}, u"u"_s, u"p"_s}, {3, u"N"_s, u"h3"_s, {}, u"u"_s, u"p"_s}, {5, u"N"_s, u"h5"_s, {}, u"u"_s, {}}}, {secure, password}, {{1, 0}, {2, 0}, {5, 4}}};
    QTest::newRow("blank host beside a real one; plain row needs no user id") << CheckCase{{valid[0], {2, u"N"_s, u" "_s, {}, {}, {}}}, {password}, {{2, 4}}};
    QTest::newRow("listed file with a line break") << CheckCase{valid, {{u"No Files"_s, u"A listed file name holds a line break or another control character: /a\u240Aput /etc/shadow"_s}}, oldMark, u"/a\nput /etc/shadow"_s};
    QTest::newRow("line break after a host") << CheckCase{row(u"Y"_s, u"h\ntouch M"_s, {}, u"u"_s, u"p"_s), {control}, {{1, 0}, {1, 1}}};
    QTest::newRow("controls in directory, user, password") << CheckCase{row(u"N"_s, u"h"_s, u"/in\r"_s, QString(u"u\0x"_s), u"p\x7f"_s), {control, control, control}, {{1, 0}, {1, 2}, {1, 3}, {1, 4}}};
    QTest::newRow("host that is an option") << CheckCase{row(u"N"_s, u"-s:/etc/passwd"_s, {}, u"u"_s, u"p"_s), {hostWord}, {{1, 0}, {1, 1}}};
    QTest::newRow("host with a quote or a tab") << CheckCase{{{1, u"N"_s, u"h\"x"_s, {}, u"u"_s, u"p"_s}, {2, u"N"_s, u"h\tx"_s, {}, u"u"_s, u"p"_s}}, {hostWord, hostWord}, {{1, 0}, {1, 1}, {2, 1}}};
    QTest::newRow("secure host holding @") << CheckCase{row(u"Y"_s, u"u@h@st"_s, {}, u"u"_s, u"p"_s), {error(u"The IP Address/URL of a Secure FTP row must not hold '@' (the User Id has a column of its own)"_s)}, {{1, 0}, {1, 1}}};
    QTest::newRow("secure user id that is an option") << CheckCase{row(u"Y"_s, u"h"_s, {}, u"-oProxyCommand=x"_s, u"p"_s), {error(u"The User Id must not begin with '-'"_s)}, {{1, 0}, {1, 3}}};
    QTest::newRow("plain user id may begin with '-', tabs stay") << CheckCase{row(u"N"_s, u"h1"_s, {}, u"-x"_s, u"p\tw"_s), {}, {}};
    // clang-format on
}

void RunSessionTest::requestChecks()
{
    QFETCH(CheckCase, check);
    Bench bench(check.rows);
    bench.window.form.files = {check.firstFile};
    bench.window.form.workingDirectory = check.directory.replace(u"{DIR}"_s, bench.dir.path());
    // An earlier run's log and red mark: a refused request keeps the log, a valid row is reset.
    QVERIFY(writeBytes(bench.file(kCumulativeLogName), "old run\r\n"));
    bench.window.grid().setCurrentCellTextColour(kFaultColour);

    bench.process();

    const bool sent = check.messages.isEmpty();
    QCOMPARE(bench.window.messages, check.messages);
    for (int row = 1; row <= 5; ++row) {
        for (int column = 0; column < kDestinationColumnCount; ++column)
            QCOMPARE(bench.window.grid().textColour(row, column) == kFaultColour,
                     check.redCells.contains({row, column}));
    }
    QCOMPARE(bench.launcher.calls.size(), sent ? 1 : 0);
    QCOMPARE(bench.window.statusText, sent ? kCompletion : QString());
    QCOMPARE(bench.log(), sent ? block(1) : QByteArray("old run\r\n"));
}

void RunSessionTest::runServesRowsInOrder()
{
    Bench bench({{2, u"N"_s, u"h2"_s, u"\\in"_s, u" u "_s, u"p w "_s},
                 {5, u"Y"_s, u"h5"_s, u"/my dir"_s, u"a b"_s, u"pw 2"_s},
                 {4999, u"N"_s, u"h9"_s, {}, {}, u"p"_s}});
    // Keyed relative to the current directory, with a closing separator: the run names its
    // files from where the check found it.
    bench.window.form = {{u"/src/a.txt"_s, u"/x y/b c"_s},
                         QDir::current().relativeFilePath(bench.dir.path()) + u'/',
                         1};
    bench.launcher.logTexts[1] = "Remote working directory is /\n";
    bench.launcher.logTexts[2] = QByteArray();

    bench.process();

    const auto &calls = bench.launcher.calls;
    QCOMPARE(calls.size(), 3);
    QCOMPARE(calls[0].batchFile, bench.file(kLauncherFileName));
    const QByteArray puts = "put /src/a.txt a.txt\r\nput \"/x y/b c\" \"b c\"\r\nquit\r\n";
    QCOMPARE(calls[0].launcher, "@echo on\r\nftp -s:XferJob.FTP h2\r\n");
    QCOMPARE(calls[0].script, " u \r\np w \r\ncd \\in\r\n" + puts);
    QCOMPARE(calls[1].launcher,
             "@echo on\r\npsftp \"a b\"@h5 -b XferJob.FTP -pwfile XferJob.PWD\r\n");
    QCOMPARE(calls[1].password, "pw 2\r\n");
    QVERIFY(calls[0].password.isNull() && calls[2].password.isNull());
    QCOMPARE(calls[1].script, "cd \"/my dir\"\r\n" + puts);
    QCOMPARE(calls[2].script, "\r\np\r\n" + puts);
    QCOMPARE(bench.log(), "Output from: h2 \\in\r\noutput 1\r\n" + kEnd +
                              "Output from: h5 /my dir\r\nRemote working directory is /\r\n" +
                              kEnd + "Output from: h9 \r\n" + kEnd);
}

void RunSessionTest::keepsEarlierLogs()
{
    // Process Request replaces the earlier log; a request that keeps it moves each kept log one
    // name on, nine at most.
    Bench bench({{1, u"N"_s, u"h1"_s, {}, u"u"_s, u"p"_s}});
    bench.process();
    for (int run = 2; run <= 11; ++run)
        bench.processKeepingLogs();
    bench.process();

    QCOMPARE(bench.log(), block(1, {}, 12));
    for (int generation = 1; generation <= kKeptLogs; ++generation)
        QCOMPARE(readBytes(bench.file(keptLogName(generation))), block(1, {}, 11 - generation));
    QCOMPARE(bench.leftovers().size(), 1 + kKeptLogs);
}

void RunSessionTest::quotesValuesForEveryReader_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("written");
    // clang-format off
    QTest::newRow("backslash, dash, shell characters") << uR"(..\$(id)&-r|a;`b`)"_s << uR"(..\$(id)&-r|a;`b`)"_s;
    QTest::newRow("blank") << u"a b"_s << u"\"a b\""_s;
    QTest::newRow("tab") << u"a\tb"_s << u"\"a\tb\""_s;
    QTest::newRow("quotes inside") << uR"(q"x"y.txt)"_s << uR"("q""x""y.txt")"_s;
    QTest::newRow("one quote") << uR"(")"_s << uR"("")"_s;
    QTest::newRow("option after a quote") << uR"(x" -proxycmd "touch M)"_s << uR"("x"" -proxycmd ""touch M")"_s;
    // clang-format on
}

void RunSessionTest::quotesValuesForEveryReader()
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

void RunSessionTest::scriptsQuoteEveryValue()
{
    const QStringList files{uR"(C:\d\q"x"y.txt)"_s, u"-r"_s, uR"(C:\d\a b)"_s};
    QCOMPARE(transferScriptLines(u"Y"_s, uR"(/in "x")"_s, {}, {}, u"h"_s, files, u'\\'),
             (QList<QByteArray>{R"(cd "/in ""x""")", R"(put "C:\d\q""x""y.txt" "q""x""y.txt")",
                                "put -- -r -r", R"(put "C:\d\a b" "a b")", "quit"}));
    // The plain client reads its log-in lines whole and knows no "--".
    QCOMPARE(
        transferScriptLines(u"N"_s, uR"(\in)"_s, uR"(u "1")"_s, uR"(p "2")"_s, u"h"_s, {u"-r"_s}),
        (QList<QByteArray>{R"(u "1")", R"(p "2")", R"(cd \in)", "put -r -r", "quit"}));
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

void RunSessionTest::runEnds_data()
{
    QTest::addColumn<RunCase>("run");
    const QString failed =
        u"Transmission ended with errors at %1 of %2 destinations (%3) - see FTPLogALL.TXT"_s;
    const QString cancelled = u"Transmission cancelled at %1 - see FTPLogALL.TXT"_s;
    const QByteArray stopped =
        "The transmission to this destination was cancelled before it ended\r\n";
    const QString notSent = u"The working directory cannot be written - nothing was sent"_s;
    const QString sent = u"sent"_s, fail = u"failed"_s, waiting = u"not started"_s;
    const auto refused = [](const QString &name) {
        return Messages{
            {u"Process Error"_s,
             name +
                 u" in the working directory %1 belongs to another user or cannot be replaced - nothing was sent"_s +
                 kAdvice}};
    };
    const Messages lockRefused{
        {u"Process Error"_s,
         u"XferJob.LCK in the working directory %1 belongs to another user or is not a plain file - nothing was sent"_s +
             kAdvice}};
    using enum Step;
    // clang-format off
    QTest::newRow("client not started, then a cancel") << RunCase{1, {Dead, Cancel}, {}, 2, u"Transmission cancelled at h2 - earlier errors at 1 destinations (h1) - see FTPLogALL.TXT"_s, {}, "Output from: h1 \r\nThe client could not be started: no interpreter\r\n" + kEnd + block(2, stopped), {fail, u"cancelled"_s, waiting}, {u"h1"_s, u"h2"_s, u"h3"_s}};
    QTest::newRow("log swapped for a link while the client runs") << RunCase{1, {SwapLog}, {}, 3, kCompletion, {}, block(1) + block(2) + block(3), {sent, sent, sent}, {}};
    QTest::newRow("client killed by a signal") << RunCase{1, {Killed}, {}, 3, failed.arg(1).arg(3).arg(u"h1"_s), {}, block(1, "The client ended by signal 9\r\n") + block(2) + block(3), {fail, sent, sent}, {u"h1"_s}};
    QTest::newRow("cancel as the client ends by itself") << RunCase{1, {CancelRace}, {}, 1, cancelled.arg(u"h1"_s), {}, block(1), {sent, waiting, waiting}, {u"h2"_s, u"h3"_s}};
    QTest::newRow("no room for the first launcher") << RunCase{1, {}, {}, 0, notSent, {{u"Process Error"_s, notSent}}, {}, {fail, waiting, waiting}, {u"h1"_s, u"h2"_s, u"h3"_s}, {}, 16};
    QTest::newRow("unwritable working directory") << RunCase{1, {Unwritable}, {}, 1, failed.arg(1).arg(3).arg(u"h2"_s), {{u"Process Error"_s, u"The working directory cannot be written - nothing more was sent"_s}}, block(1), {sent, fail, waiting}, {}};
    QTest::newRow("cumulative log takes no part of a block") << RunCase{1, {Ok, FullLog}, {}, 2, failed.arg(1).arg(3).arg(u"h2"_s), {{u"Process Error"_s, u"FTPLogALL.TXT cannot be written - nothing more was sent - the output of h2 is kept in FTPLog0002.TXT"_s}}, block(1), {sent, sent, waiting}, {u"h3"_s}};
    // Four at once, the first ending last: the log is the one a serial run writes.
    QTest::newRow("a taken name fails its destination only") << RunCase{4, {TakeName}, {50}, 5, failed.arg(1).arg(6).arg(u"h3"_s), {}, block(1) + block(2) + block(4, {}, 3) + block(5, {}, 4) + block(6, {}, 5), {sent, sent, fail, sent, sent, sent}, {u"h3"_s}};
    // Other users' files, links and FIFOs, and case variants, in a shared directory.
    QTest::newRow("own link is replaced, not followed") << RunCase{1, {}, {}, 2, kCompletion, {}, block(1) + block(2), {sent, sent}, {}, {kCumulativeLogName, u"link"_s, false}};
    QTest::newRow("own spelling of the launcher in capitals stays") << RunCase{1, {}, {}, 2, kCompletion, {}, block(1) + block(2), {sent, sent}, {}, {u"XFERJOB.BAT"_s, u"file"_s, false}};
    QTest::newRow("another user's numbered log") << RunCase{1, {}, {}, 0, {}, refused(u"ftplog0002.txt"_s), {}, {}, {}, {u"ftplog0002.txt"_s, u"link"_s, true}};
    QTest::newRow("a FIFO as the lock") << RunCase{1, {}, {}, 0, {}, lockRefused, {}, {}, {}, {kLockFileName, u"fifo"_s, false}};
    QTest::newRow("another user's lock") << RunCase{1, {}, {}, 0, {}, lockRefused, {}, {}, {}, {kLockFileName, u"file"_s, true}};
    QTest::newRow("another user's link as the lock") << RunCase{1, {}, {}, 0, {}, lockRefused, {}, {}, {}, {kLockFileName, u"link"_s, true}};
    QTest::newRow("another user's kept log in small letters") << RunCase{1, {}, {}, 0, {}, refused(u"ftplogall.3.txt"_s), "earlier", {}, {}, {u"ftplogall.3.txt"_s, u"file"_s, true}};
    QTest::newRow("a directory at a kept name") << RunCase{1, {}, {}, 0, {}, refused(keptLogName(2)), "earlier", {}, {}, {keptLogName(2), u"directory"_s, false}};
    QTest::newRow("a full file system keeps the earlier log") << RunCase{1, {}, {}, 0, {}, {{u"Process Error"_s, notSent}}, "old", {}, {}, {kCumulativeLogName, u"file"_s, false}, 0};
    // clang-format on
}

void RunSessionTest::runEnds()
{
    QFETCH(RunCase, run);
    Bench bench;
    for (int n = 1; n <= std::max<qsizetype>(run.outcomes.size(), 2); ++n)
        bench.window.grid().setRow({n, u"N"_s, u"h%1"_s.arg(n), {}, u"u"_s, u"p"_s});
    bench.window.form.simultaneous = run.simultaneous;
    for (int call = 0; call < run.delays.size(); ++call)
        bench.launcher.delaysMs[call] = run.delays[call];
    // A shared directory such as /tmp: anyone may create, only owners may remove.
    QCOMPARE(::chmod(QFile::encodeName(bench.dir.path()).constData(), 01777), 0);
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(u"theirs"_s);
    QVERIFY(writeBytes(outside, "their file"));
    const QString planted = bench.file(run.planted.name);
    const bool keep = run.planted.name.section(u'.', 1, 1).toInt() > 0;
    if (keep)
        QVERIFY(writeBytes(bench.file(kCumulativeLogName), "earlier", 0600));
    if (run.planted.kind == u"file"_s)
        QVERIFY(writeBytes(planted, "old"));
    else if (run.planted.kind == u"link"_s)
        QVERIFY(QFile::link(outside, planted));
    else if (run.planted.kind == u"directory"_s)
        QVERIFY(QDir(bench.dir.path()).mkdir(run.planted.name));
    else if (run.planted.kind == u"fifo"_s)
        QCOMPARE(::mkfifo(QFile::encodeName(planted).constData(), 0600), 0);
    if (run.planted.foreign && ::lchown(QFile::encodeName(planted).constData(), 65534, 65534)) {
        if (qEnvironmentVariableIsEmpty("CI"))
            QSKIP("only root can hand a file to another user");
        QFAIL("cannot hand the file to another user");
    }
    std::optional<FileSizeLimit> limit;
    if (run.room >= 0)
        limit.emplace(rlim_t(run.room));
    bench.launcher.whileRunning = [&](int call, ProcessOutcome &outcome) {
        bench.process(); // ignored while a run goes on
        switch (run.steps.value(call, Step::Ok)) {
        case Step::Ok:
        case Step::TakeName: // see below: taken before the third destination starts
            break;
        case Step::Dead:
            outcome = {false, false, -1, 0, u"no interpreter"_s};
            break;
        case Step::Killed:
            outcome = {true, false, 128 + 9, 9, {}};
            break;
        case Step::Cancel:
            bench.session.cancel();
            break;
        case Step::CancelRace:
            bench.session.cancel();
            bench.launcher.outrunsCancel.insert(call);
            break;
        case Step::Unwritable: // a directory in the script's place
            QVERIFY(QFile::remove(bench.file(kScriptFileName)) &&
                    QDir(bench.dir.path()).mkdir(kScriptFileName));
            break;
        case Step::SwapLog:
            QVERIFY(QFile::remove(bench.file(u"FTPLog0001.TXT"_s)) &&
                    QFile::link(outside, bench.file(u"FTPLog0001.TXT"_s)));
            break;
        case Step::FullLog:
            limit.emplace(rlim_t(QFileInfo(bench.file(kCumulativeLogName)).size() + 10));
            break;
        }
    };
    bench.window.onDestinationStarted = [&](const QString &, int logNumber) {
        if (logNumber == 1 && run.steps.value(0) == Step::TakeName)
            QVERIFY(writeBytes(bench.file(u"XferJob-0003.BAT"_s), "taken"));
    };

    if (keep)
        bench.processKeepingLogs();
    else
        bench.process();
    limit.reset();

    QCOMPARE(bench.launcher.calls.size(), run.calls);
    QCOMPARE(bench.launcher.mostAtOnce, std::min<int>(run.simultaneous, run.calls));
    QCOMPARE(bench.window.statusText, run.status);
    for (Message &message : run.messages)
        message.text.replace(u"%1"_s, bench.dir.path());
    QCOMPARE(bench.window.messages, run.messages);
    QCOMPARE(bench.log(), run.log);
    QCOMPARE(readBytes(outside), QByteArray("their file"));
    QStringList seen;
    for (const DestinationResult &result : bench.session.lastResults())
        seen.append(outcomeName(result.outcome));
    QCOMPARE(seen, run.outcomes);
    // Only a log the cumulative log could not take stays beside it; a taken name stays its
    // owner's.
    QStringList leftovers{kCumulativeLogName};
    if (run.steps.contains(Step::FullLog))
        leftovers.prepend(u"FTPLog0002.TXT"_s);
    if (run.steps.contains(Step::TakeName))
        leftovers.append(u"XferJob-0003.BAT"_s);
    if (run.planted.name.isEmpty())
        QCOMPARE(bench.leftovers(), leftovers);
    struct stat info; // what was planted stays, as its owner's
    QVERIFY(run.planted.name.isEmpty() ||
            (::lstat(QFile::encodeName(planted).constData(), &info) == 0 &&
             info.st_uid == (run.planted.foreign ? 65534u : ::geteuid())));
    if (run.messages.isEmpty())
        QVERIFY(isOwnerOnly(bench.file(kCumulativeLogName)) &&
                !QFileInfo(bench.file(kCumulativeLogName)).isSymLink());

    // Send again goes to what the run did not send, with the table as it is now.
    const qsizetype calls = bench.launcher.calls.size();
    bench.launcher.whileRunning = nullptr;
    bench.window.onDestinationStarted = nullptr;
    if (bench.session.sendAgain(bench.session.unsentRows(), bench.window.grid(), bench.window))
        waitForRunEnd(bench.session);
    QStringList again;
    for (const FakeLauncher::Call &call : bench.launcher.calls.mid(calls))
        again.append(QString::fromLatin1(call.launcher.split(' ').last().trimmed()));
    QCOMPARE(again, run.again);
}

void RunSessionTest::failureReasons()
{
    // Whatever it printed, a client killed from outside did not end by its own account.
    QCOMPARE(failureReason({"put a.txt"}, {true, false, 137, 9, {}}),
             u"The client ended by signal 9"_s);
    QCOMPARE(failureReason({"Remote working directory is /"}, {true, false, 2, 0, {}}),
             u"The client ended with status 2"_s);
}

QTEST_GUILESS_MAIN(RunSessionTest)
#include "run_session_test.moc"

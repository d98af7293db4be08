#include "platform/launcher.h"
#include "platform/text_file.h"
#include "support/fake_window.h"
#include "tools/common/words.h"
#include "transfer/transfer_engine.h"
#include "transfer/transfer_scripts.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString kCompletion = u"All Transmissions are complete - if you would like to save your "
                            "Profile, give it a name and press 'Save Profile'"_s;
const QByteArray kEnd = "\r\n*********** End of Transmission ***************\r\n\r\n";

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Starts nothing: keeps the generated files as they stood at each start; unless whileRunning
/// says otherwise it starts, writes "output N" (or logTexts[N - 1]; null: none) and ends cleanly.
class FakeLauncher final : public Launcher
{
public:
    struct Call
    {
        QString logFile;
        QByteArray launcher, script, password; // password: null when there is no password file
        bool ownerOnly;
    };
    QList<Call> calls;
    QHash<int, QByteArray> logTexts;
    std::function<void(int call, ProcessOutcome &outcome)> whileRunning = [](int, auto &) {};
    static bool ownerOnly(const QString &path) { return !(QFile::permissions(path).toInt() & 077); }
    bool cancelled = false;

    ProcessOutcome runBatch(const QString &directory, const QString &batchFile,
                            const QString &logFile) override
    {
        const int call = int(calls.size());
        const QString script = directory + u'/' + kScriptFileName;
        const QString password = directory + u'/' + kPasswordFileName;
        const bool hasPassword = QFileInfo::exists(password);
        calls.append(
            {logFile, readAll(batchFile), readAll(script),
             hasPassword ? readAll(password) : QByteArray(),
             ownerOnly(batchFile) && ownerOnly(script) && (!hasPassword || ownerOnly(password))});
        ProcessOutcome outcome{true, false, 0, {}};
        whileRunning(call, outcome);
        outcome.cancelled |= cancelled;
        const QByteArray text =
            logTexts.value(call, "output " + QByteArray::number(call + 1) + "\r\n");
        QFile log(logFile);
        if (outcome.started && !text.isNull() && log.open(QIODevice::WriteOnly))
            log.write(text);
        return outcome;
    }
    void cancel() override { cancelled = true; }
};

/// One request's window, launcher and engine over a fresh working directory.
struct Bench
{
    QTemporaryDir dir;
    FakeTransferWindow window;
    FakeLauncher launcher;
    TransferEngine engine{window, launcher};

    explicit Bench(const QStringList &rows = {})
    {
        window.setFiles({u"/src/a.txt"_s});
        window.setWorkingDirectory(dir.path());
        for (const QString &row : rows)
            window.grid().setRow(row.section(u'|', 0, 0).toInt(), row.section(u'|', 1).split(u'|'));
    }
    QString file(const QString &name) const { return dir.filePath(name); }
    QByteArray log() const { return readAll(file(kCumulativeLogName)); }
    QStringList leftovers() const { return QDir(dir.path()).entryList(QDir::Files); }
};

} // namespace

class TestTransferEngine final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requestChecks_data();
    void requestChecks();
    void pendingEditLandsAtFirstMoveAllFilesSent();
    void runServesRowsInOrder();
    void quotesValuesForEveryReader_data();
    void quotesValuesForEveryReader();
    void scriptsQuoteEveryValue();
    void runEnds_data();
    void runEnds();
};

void TestTransferEngine::requestChecks_data()
{
    QTest::addColumn<QStringList>("rows"); // row|secure|host|directory|user|password
    QTest::addColumn<QString>("firstFile");
    QTest::addColumn<QString>("directory");    // {DIR}: the temporary directory
    QTest::addColumn<QStringList>("messages"); // TITLE|TEXT
    QTest::addColumn<QStringList>("redCells"); // cell (1, 0) is red from an earlier request
    // clang-format off
    const QStringList valid{u"1|N|h1||u|p"_s};
    const QString noFiles = u"No Files|No files have been selected to FTP"_s;
    const QString noHosts = u"No Files|No IP Addresses have been keyed in to FTP to"_s;
    const QString badDir = u"No Files|Invalid working directory"_s;
    const QString secure = u"Error Message|Secure FTP can by 'Y' or 'N' (Yes/No - please correct this and continue"_s;
    const QString user = u"Error Message|There was no User ID supplied - please correct this and continue"_s;
    const QString password = u"Error Message|There was no Password supplied - please correct this and continue"_s;
    QTest::newRow("file list row 1 blank") << valid << u" "_s << u"{DIR}"_s << QStringList{noFiles} << QStringList{u"1 0"_s};
    QTest::newRow("only a blank host") << QStringList{u"3|N| ||u|p"_s} << u"/a"_s << u"{DIR}"_s << QStringList{noHosts} << QStringList{u"1 0"_s};
    QTest::newRow("empty directory text") << valid << u"/a"_s << QString() << QStringList{badDir} << QStringList{u"1 0"_s};
    QTest::newRow("missing directory") << valid << u"/a"_s << u"{DIR}/absent"_s << QStringList{badDir} << QStringList{u"1 0"_s};
    QTest::newRow("plain file as directory") << valid << u"/a"_s << u"{DIR}/FTPLogALL.TXT"_s << QStringList{badDir} << QStringList{u"1 0"_s};
    QTest::newRow("lower-case y") << QStringList{u"1|y|h||u|p"_s} << u"/a"_s << u"{DIR}"_s << QStringList{secure} << QStringList{u"1 0"_s};
    QTest::newRow("secure row without account") << QStringList{u"1|Y|h|||"_s} << u"/a"_s << u"{DIR}"_s << QStringList{user, password} << QStringList{u"1 0"_s, u"1 3"_s, u"1 4"_s};
    QTest::newRow("two faulty rows around a valid one") << QStringList{u"2| |h2||u|p"_s, u"3|N|h3||u|p"_s, u"5|N|h5||u|"_s} << u"/a"_s << u"{DIR}"_s << QStringList{secure, password} << QStringList{u"1 0"_s, u"2 0"_s, u"5 4"_s};
    QTest::newRow("blank host beside a real one is checked") << QStringList{u"1|N|h1||u|p"_s, u"2|N| ||u|"_s} << u"/a"_s << u"{DIR}"_s << QStringList{password} << QStringList{u"2 4"_s};
    QTest::newRow("plain row needs no user id") << QStringList{u"1|N|h1|||p"_s} << u"/a"_s << u"{DIR}"_s << QStringList() << QStringList();
    // clang-format on
}

void TestTransferEngine::requestChecks()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, firstFile);
    QFETCH(QString, directory);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, redCells);

    Bench bench(rows);
    bench.window.setFileRow(1, firstFile);
    bench.window.setWorkingDirectory(directory.replace(u"{DIR}"_s, bench.dir.path()));
    // An earlier run's log and red mark: a refused request keeps the log, a valid row is reset.
    QVERIFY(writeTextLines(bench.file(kCumulativeLogName), {"old run"}, FileAccess::Default));
    bench.window.grid().setCurrentCellTextColour(kFaultColour);
    bench.engine.LogNumber = 42;

    bench.engine.processRequest();

    QCOMPARE(bench.window.messages, messages);
    for (int i = 5; i < 30; ++i) // rows 1 to 5
        QCOMPARE(bench.window.grid().textColour(i / 5, i % 5) == kFaultColour,
                 redCells.contains(u"%1 %2"_s.arg(i / 5).arg(i % 5)));
    QCOMPARE(bench.launcher.calls.size(), messages.isEmpty() ? 1 : 0);
    QCOMPARE(bench.window.statusText, messages.isEmpty() ? kCompletion : QString());
    QCOMPARE(bench.leftovers(), QStringList{kCumulativeLogName});
    QCOMPARE(bench.engine.LogNumber, qint16(messages.isEmpty() ? 2 : 1));
    QCOMPARE(bench.log(),
             messages.isEmpty() ? "Output from: h1 \r\noutput 1\r\n" + kEnd : "old run\r\n");
}

void TestTransferEngine::pendingEditLandsAtFirstMoveAllFilesSent()
{
    Bench bench({u"1|N|h1||old|p"_s});
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row)
        bench.window.setFileRow(row, u"/f/%1"_s.arg(row));
    bench.window.grid().setCurrentColumn(kUserIdColumn);
    bench.window.grid().stagePendingEdit(u"new"_s);
    bench.window.events.clear();
    bench.engine.processRequest();
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
    unseen.engine.processRequest();
    QCOMPARE(unseen.window.messages.value(0),
             u"No Files|No IP Addresses have been keyed in to FTP to"_s);
    QVERIFY(unseen.window.grid().hasPendingEdit());
}

void TestTransferEngine::runServesRowsInOrder()
{
    Bench bench({u"2|N|h2|\\in| u |p w "_s, u"5|Y|h5|/my dir|a b|pw 2"_s, u"4999|N|h9|||p"_s});
    bench.window.setWorkingDirectory(bench.dir.path() + u'/');
    bench.window.setFiles({u"/src/a.txt"_s, u"/x y/b c"_s});
    bench.launcher.logTexts[1] = "psftp -pw \"pw 2\"\r\nRemote working directory is /\n";
    bench.launcher.logTexts[2] = QByteArray();

    bench.engine.processRequest();

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
            FakeLauncher::ownerOnly(bench.file(kCumulativeLogName)));
    QCOMPARE(bench.log(), "Output from: h2 \\in\r\noutput 1\r\n" + kEnd +
                              "Output from: h5 /my dir\r\npsftp -pw ********\r\nRemote working "
                              "directory is /\r\n" +
                              kEnd + "Output from: h9 \r\n" + kEnd);
    QCOMPARE(bench.leftovers(), QStringList{kCumulativeLogName});
    QCOMPARE(bench.window.statusText, kCompletion);

    // A second request deletes the first run's log and numbers its logs from 1 again.
    bench.engine.processRequest();
    QCOMPARE(calls[3].logFile, bench.file(u"FTPLog0001.TXT"_s));
    QVERIFY(bench.log().startsWith("Output from: h2 \\in\r\noutput 4\r\n" + kEnd +
                                   "Output from: h5 /my dir\r\noutput 5\r\n"));
}

void TestTransferEngine::runEnds_data()
{
    QTest::addColumn<QStringList>("steps"); // as the client of h1, h2, h3 runs; dead: not started
    QTest::addColumn<int>("calls");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("log");
    // clang-format off
    const QString failed = u"Transmission ended with errors at %1 of 3 destinations (%2) - see FTPLogALL.TXT"_s;
    const QString cancelled = u"Transmission cancelled at %1 - see FTPLogALL.TXT"_s;
    const QByteArray h1 = "Output from: h1 \r\noutput 1\r\n" + kEnd, h2 = "Output from: h2 \r\noutput 2\r\n" + kEnd, h3 = "Output from: h3 \r\noutput 3\r\n" + kEnd;
    QTest::newRow("two clients failed") << u"ok fail fail"_s.split(u' ') << 3 << failed.arg(2).arg(u"h2, h3"_s) << QString() << h1 + h2 + h3;
    QTest::newRow("client not started") << u"ok dead ok"_s.split(u' ') << 3 << failed.arg(1).arg(u"h2"_s) << QString() << h1 + "Output from: h2 \r\nThe client could not be started: no interpreter\r\n" + kEnd + h3;
    QTest::newRow("cancel while a client runs") << u"ok cancel ok"_s.split(u' ') << 2 << cancelled.arg(u"h2"_s) << QString() << h1 + h2;
    QTest::newRow("unwritable working directory") << u"unwritable ok ok"_s.split(u' ') << 1 << failed.arg(1).arg(u"h2"_s) << u"Process Error|The working directory cannot be written - nothing more was sent"_s << h1;
    // clang-format on
}

void TestTransferEngine::runEnds()
{
    QFETCH(QStringList, steps);
    QFETCH(int, calls);
    QFETCH(QString, status);
    QFETCH(QString, message);
    QFETCH(QByteArray, log);

    Bench bench({u"1|N|h1||u|p"_s, u"2|N|h2||u|p"_s, u"3|N|h3||u|p"_s});
    const QHash<QString, ProcessOutcome> outcomes{
        {u"fail"_s, {true, false, 1, {}}}, {u"dead"_s, {false, false, -1, u"no interpreter"_s}}};
    bench.launcher.whileRunning = [&](int call, ProcessOutcome &outcome) {
        bench.engine.processRequest(); // ignored while a run goes on
        outcome = outcomes.value(steps[call], outcome);
        if (steps[call] == u"cancel"_s)
            bench.engine.requestCancel();
        if (steps[call] == u"unwritable"_s) // a directory in the script's place
            QVERIFY(QFile::remove(bench.file(kScriptFileName)) &&
                    QDir(bench.dir.path()).mkdir(kScriptFileName));
    };

    bench.engine.processRequest();

    QCOMPARE(bench.launcher.calls.size(), calls);
    QCOMPARE(bench.window.statusText, status);
    QCOMPARE(bench.window.messages.value(0), message);
    QCOMPARE(bench.log(), log);
    QCOMPARE(bench.leftovers(), QStringList{kCumulativeLogName});
}

void TestTransferEngine::quotesValuesForEveryReader_data()
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
    QTest::newRow("quote and blank only") << uR"(" )"_s << uR"(""" ")"_s;
    QTest::newRow("one quote") << uR"(")"_s << uR"("")"_s;
    QTest::newRow("three quotes") << uR"(""")"_s << uR"("""""")"_s;
    QTest::newRow("option after a quote") << uR"(x" -proxycmd "touch M)"_s << uR"("x"" -proxycmd ""touch M")"_s;
    // clang-format on
}

void TestTransferEngine::quotesValuesForEveryReader()
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

void TestTransferEngine::scriptsQuoteEveryValue()
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
    QCOMPARE(launcherLines(u"Y"_s, u"h"_s, uR"(a "b"@c)"_s, uR"(x" -pw "y)"_s).value(1),
             R"(psftp "a ""b""@c"@h -b XferJob.FTP -pwfile XferJob.PWD)");
    QCOMPARE(passwordFileLines(uR"( x" -pw "y )"_s), QList<QByteArray>{R"( x" -pw "y )"});
}

QTEST_GUILESS_MAIN(TestTransferEngine)
#include "test_transfer_engine.moc"

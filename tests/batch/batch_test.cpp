#include "support/files.h"
#include "support/scripted_ftp_server.h"
#include "support/session_run.h"
#include "support/testbed.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

/// How one run of parcelwright-batch ended.
struct BatchRun
{
    int status = -1; // -1: it did not end by itself within two minutes
    QByteArray out;
    QByteArray err;
};

/// Runs parcelwright-batch in `directory` (also its HOME) as a process of its own; `whileRunning`
/// is called every few milliseconds, with the event loop turning, until it has ended.
BatchRun runBatch(const QString &directory, const QStringList &arguments,
                  const std::function<void(QProcess &)> &whileRunning = nullptr)
{
    QProcess batch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, directory);
    batch.setProcessEnvironment(environment);
    batch.setWorkingDirectory(directory);
    batch.setStandardInputFile(QProcess::nullDevice());
    batch.start(builtProgram(u"parcelwright-batch"_s), arguments);
    const bool ended = QTest::qWaitFor(
        [&] {
            if (whileRunning)
                whileRunning(batch);
            return batch.state() == QProcess::NotRunning;
        },
        120000);
    if (!ended)
        batch.kill();
    batch.waitForFinished();
    const bool exited = ended && batch.exitStatus() == QProcess::NormalExit;
    return {exited ? batch.exitCode() : -1, batch.readAllStandardOutput(),
            batch.readAllStandardError()};
}

/// A destinations file of the user's own, one tab-separated line per row after a comment.
bool writeDestinations(const QString &path, const QList<QStringList> &rows)
{
    QByteArray text = "# Secure Shell, host, remote directory, user id, password\n";
    for (const QStringList &row : rows)
        text += row.join(u'\t').toLocal8Bit() + '\n';
    return writeBytes(path, text, 0600);
}

/// The destination objects of a report by row, and its summary under row 0.
QMap<int, QJsonObject> readReport(const QString &path)
{
    QMap<int, QJsonObject> lines;
    for (const QByteArray &line : readBytes(path).split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (!object.isEmpty())
            lines.insert(object.value(u"row"_s).toInt(), object);
    }
    return lines;
}

QStringList outcomesOf(const QMap<int, QJsonObject> &report)
{
    QStringList outcomes;
    for (auto it = report.cbegin(); it != report.cend(); ++it) {
        if (it.key() > 0)
            outcomes << u"%1 %2"_s.arg(it.key()).arg(it->value(u"outcome"_s).toString());
    }
    return outcomes;
}

/// A command line that sends nothing: a valid request with one option left out, and arguments
/// added at the end.
struct CommandLine
{
    QString replaced; // the option left out, or none
    QStringList arguments;
    int status;
    QString said;      // the one line on standard error; {DIR}: the directory it runs in
    QList<int> rows{}; // of a dry run: the rows its plan shows
};

} // namespace

Q_DECLARE_METATYPE(CommandLine)

/// parcelwright-batch as a scheduler runs it: its command lines, a real run against the test bed's
/// servers read back from its report, a rerun of what a run ended by a signal did not send.
class BatchTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_dir.emplace();
        QVERIFY(QDir(m_dir->path()).mkdir(u"work"_s));
        QVERIFY(writeBytes(path(u"a b.txt"_s), "first file\r\n"));
        QVERIFY(writeBytes(path(u"small.bin"_s), QByteArray(4096, 's')));
    }

    void commandLines_data()
    {
        QTest::addColumn<CommandLine>("line");
        const QString tsv = u"--destinations"_s;
        const QStringList dry{u"-n"_s};
        // clang-format off
        QTest::newRow("unknown option") << CommandLine{QString(), {u"--frobnicate"_s}, 2, u"parcelwright-batch: unknown option '--frobnicate' (see --help)"_s};
        QTest::newRow("missing value") << CommandLine{u"--report"_s, {u"--report"_s, u"--quiet"_s}, 2, u"parcelwright-batch: missing value after --report (see --help)"_s};
        QTest::newRow("no jobs") << CommandLine{QString(), {u"-j"_s, u"0"_s}, 2, u"parcelwright-batch: --jobs takes a number from 1 to 64, not '0' (see --help)"_s};
        QTest::newRow("rows backwards") << CommandLine{QString(), {u"--rows=9-3"_s}, 2, u"parcelwright-batch: --rows takes N or FROM-TO, row numbers from 1 to 4999 with FROM not above TO, not '9-3' (see --help)"_s};
        QTest::newRow("two sources") << CommandLine{QString(), {u"--profile"_s, u"p"_s}, 2, u"parcelwright-batch: give --profile or --destinations, not both (see --help)"_s};
        QTest::newRow("missing profile") << CommandLine{tsv, {u"--profile"_s, u"weekly"_s}, 2, u"parcelwright-batch: no profile weekly in {DIR}"_s};
        QTest::newRow("profile name with a path") << CommandLine{tsv, {u"--profile"_s, u"../weekly"_s}, 2, u"parcelwright-batch: '../weekly' cannot name a profile: a profile name is a file name and holds no '/'"_s};
        QTest::newRow("wrong column count") << CommandLine{tsv, {tsv, u"columns.tsv"_s}, 2, u"parcelwright-batch: columns.tsv, line 4: 5 tab-separated columns expected, 4 found"_s};
        QTest::newRow("destinations others may read") << CommandLine{tsv, {tsv, u"open.tsv"_s}, 2, u"parcelwright-batch: open.tsv may be read or changed by other users: make it yours alone (chmod 600)"_s};
        QTest::newRow("missing file") << CommandLine{u"--files"_s, {u"--files"_s, u"gone.txt"_s}, 2, u"parcelwright-batch: gone.txt is not a file that can be read"_s};
        QTest::newRow("report in a missing directory") << CommandLine{u"--report"_s, {u"-r"_s, u"no/r.jsonl"_s}, 2, u"parcelwright-batch: --report no/r.jsonl: the directory {DIR}/no does not exist"_s};
        QTest::newRow("earlier report that is not one") << CommandLine{QString(), {u"--only-failed"_s, u"a b.txt"_s}, 2, u"parcelwright-batch: a b.txt is not a report: line 1 is not a line of a report"_s};
        QTest::newRow("a faulty cell, row counted past the comment") << CommandLine{tsv, {tsv, u"nopassword.tsv"_s}, 2, u"row 2, Password: There was no Password supplied - please correct this and continue"_s};
        QTest::newRow("no working directory") << CommandLine{u"--workdir"_s, {u"--workdir"_s, u"absent"_s}, 2, u"parcelwright-batch: the working directory absent is not a directory"_s};
        QTest::newRow("working directory in use") << CommandLine{QString(), {}, 4, u"parcelwright-batch: another run is using the working directory {DIR}/work - nothing was sent; try again later"_s};
        QTest::newRow("plain arguments are files, short options") << CommandLine{u"--files"_s, {u"-j"_s, u"2"_s, u"-q"_s, u"-n"_s, u"a b.txt"_s}, 0, {}, {1, 2, 3}};
        QTest::newRow("a file named like an option after --") << CommandLine{QString(), dry + QStringList{u"--"_s, u"--x"_s}, 0, {}, {1, 2, 3}};
        QTest::newRow("one row") << CommandLine{QString(), dry + QStringList{u"--rows"_s, u"2"_s}, 0, {}, {2}};
        QTest::newRow("a range keeps its last row") << CommandLine{QString(), dry + QStringList{u"--rows"_s, u"2-3"_s}, 0, {}, {2, 3}};
        // clang-format on
    }

    void commandLines()
    {
        QFETCH(CommandLine, line);
        QVERIFY(writeDestinations(path(u"hosts.tsv"_s), {{u"N"_s, u"h1"_s, {}, u"u"_s, u"p"_s},
                                                         {u"N"_s, u"h2"_s, {}, u"u"_s, u"p"_s},
                                                         {u"Y"_s, u"h3"_s, {}, u"u"_s, u"p"_s}}));
        QVERIFY(writeBytes(path(u"columns.tsv"_s), "# c\nN\th1\t\tu\tp\n\nN\th3\tu\tp\n", 0600));
        QVERIFY(writeBytes(path(u"nopassword.tsv"_s), "# c\nN\th1\t\tu\tp\nN\th2\t\tu\t\n", 0600));
        QVERIFY(writeBytes(path(u"open.tsv"_s), "N\th1\t\tu\tp\n", 0644));
        QVERIFY(writeBytes(path(u"--x"_s), "a file with an odd name\n"));
        const QStringList before = fileNamesIn(m_dir->path());
        QLockFile otherRun(path(u"work/XferJob.LCK"_s));
        QVERIFY(line.status != 4 || otherRun.tryLock(0));
        QStringList all{u"--destinations"_s, u"hosts.tsv"_s, u"--files"_s,   u"a b.txt"_s,
                        u"--report"_s,       u"r.jsonl"_s,   u"--workdir"_s, u"work"_s};
        if (!line.replaced.isEmpty())
            all.remove(all.indexOf(line.replaced), 2);

        const BatchRun run = runBatch(m_dir->path(), all + line.arguments);

        QCOMPARE(run.status, line.status);
        QCOMPARE(QString::fromLocal8Bit(run.err),
                 line.said.isEmpty() ? QString()
                                     : line.said.replace(u"{DIR}"_s, m_dir->path()) + u'\n');
        QList<int> shown;
        for (const QByteArray &planLine : run.out.split('\n')) {
            if (planLine.startsWith("Row "))
                shown.append(planLine.mid(4, planLine.indexOf(':') - 4).toInt());
        }
        QCOMPARE(shown, line.rows);
        QCOMPARE(run.out.contains("/--x\n"), line.arguments.contains(u"--x"_s));
        QCOMPARE(fileNamesIn(m_dir->path()), before);
        QCOMPARE(fileNamesIn(path(u"work"_s)),
                 line.status == 4 ? QStringList{u"XferJob.LCK"_s} : QStringList());
    }

    void sendsAndReports()
    {
        PW_REQUIRE_TESTBED(tb);
        const RemoteDirectory plainRemote(tb.plain), quotedRemote(tb.quoted);
        QVERIFY(plainRemote.isValid() && quotedRemote.isValid());
        // psftp abandons a host whose key it has not stored: the reason says how to store it.
        const QString sshPort = QString::number(tb.sshPort);
        // A hostile server echoes the password it was sent.
        const QString echoed = u"echo-Secret-9"_s;
        const ScriptedFtpServer echoing({"220 ready\r\n", "331 Password please\r\n",
                                         "530 Login incorrect for echo-Secret-9\r\n"},
                                        std::chrono::seconds(30));
        const QString echoingHost = u"127.0.0.1:%1"_s.arg(echoing.port());
        QVERIFY(writeDestinations(
            path(u"hosts.tsv"_s),
            {{u"N"_s, tb.ftpHost, plainRemote.path(), tb.plain.user, tb.plain.password},
             {u"N"_s, tb.ftpHost, plainRemote.path(), tb.plain.user, u"wrong"_s},
             {u"Y"_s, tb.sshSession, quotedRemote.path(), tb.quoted.user, tb.quoted.password},
             {u"Y"_s, u"127.0.0.1:"_s + sshPort, {}, tb.plain.user, tb.plain.password},
             {u"Y"_s, tb.sshSession, plainRemote.path(), tb.plain.user, u"wrong"_s},
             {u"N"_s, echoingHost, plainRemote.path(), tb.plain.user, echoed}}));
        const QStringList arguments{u"--destinations"_s, u"hosts.tsv"_s, u"--files"_s,
                                    u"a b.txt"_s,        u"small.bin"_s, u"--workdir"_s,
                                    u"work"_s,           u"--jobs"_s,    u"4"_s};

        // A dry run shows the lines each client would get, passwords masked, and sends nothing.
        const BatchRun dry = runBatch(m_dir->path(), arguments + QStringList{u"--dry-run"_s});
        QCOMPARE(dry.status, 0);
        QVERIFY2(dry.out.contains("XferJob-0003.FTP") && dry.out.contains("********"), dry.out);
        const BatchRun run =
            runBatch(m_dir->path(), arguments + QStringList{u"--report"_s, u"r"_s});

        const QMap<int, QJsonObject> report = readReport(path(u"r"_s));
        const QStringList expected{u"1 sent"_s,   u"2 failed"_s, u"3 sent"_s,
                                   u"4 failed"_s, u"5 failed"_s, u"6 failed"_s};
        QCOMPARE(outcomesOf(report), expected);
        QCOMPARE(run.status, 1);
        QCOMPARE(report[2].value(u"reason"_s).toString(), u"530 Login incorrect."_s);
        QCOMPARE(report[5].value(u"reason"_s).toString(), u"Access denied"_s);
        QCOMPARE(report[6].value(u"reason"_s).toString(), u"530 Login incorrect for ********"_s);
        QCOMPARE(report[1].value(u"files"_s).toInt(), 2);
        QCOMPARE(report[3].value(u"userId"_s).toString(), tb.quoted.user);
        QCOMPARE(report[0].value(u"outcomes"_s).toObject().value(u"sent"_s).toInt(), 2);
        QCOMPARE(report[4].value(u"reason"_s).toString(),
                 u"The server's host key is not stored yet - store it once with 'Test the "
                 "Connection', or by hand with 'psftp -P %1 %2@127.0.0.1' (answer y)"_s.arg(
                     sshPort, tb.plain.user));
        const QByteArray everything =
            readBytes(path(u"r"_s)) + run.out + run.err + dry.out + dry.err;
        for (const QString &password : {tb.plain.password, tb.quoted.password, echoed})
            QVERIFY2(!everything.contains(password.toLocal8Bit()), everything);
        QCOMPARE(run.out.count("\nrow "), expected.size() - 1); // one line per destination
        for (const RemoteDirectory *remote : {&plainRemote, &quotedRemote})
            QCOMPARE(remote->fileNames(), (QStringList{u"a b.txt"_s, u"small.bin"_s}));
        QCOMPARE(fileNamesIn(path(u"work"_s)), QStringList{u"FTPLogALL.TXT"_s});
        QVERIFY(!QFileInfo::exists(path(u"r.part"_s)));
    }

    void resendsOnlyWhatFailed()
    {
        PW_REQUIRE_TESTBED(tb);
        const RemoteDirectory remote(tb.plain);
        QVERIFY(remote.isValid());
        // A server that takes the connection and never answers, until the run is ended.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const QString silentHost = u"127.0.0.1:%1"_s.arg(silent.serverPort());
        QList<QStringList> rows{
            {u"N"_s, tb.ftpHost, remote.path(), tb.plain.user, tb.plain.password},
            {u"N"_s, tb.ftpHost, remote.path(), tb.plain.user, u"wrong"_s},
            {u"N"_s, silentHost, remote.path(), tb.plain.user, tb.plain.password},
            {u"N"_s, tb.ftpHost, remote.path(), tb.plain.user, tb.plain.password}};
        QVERIFY(writeDestinations(path(u"hosts.tsv"_s), rows));
        QStringList arguments{u"--destinations"_s, u"hosts.tsv"_s, u"--files"_s, u"a b.txt"_s,
                              u"--workdir"_s,      u"work"_s,      u"--report"_s};

        // Once: a second signal after the run has ended would find the default action back.
        bool terminated = false;
        const BatchRun killed =
            runBatch(m_dir->path(), arguments + QStringList{u"first"_s}, [&](QProcess &batch) {
                if (silent.hasPendingConnections() && !terminated) {
                    terminated = true;
                    batch.terminate();
                }
            });

        QCOMPARE(killed.status, 3);
        QCOMPARE(outcomesOf(readReport(path(u"first"_s))),
                 (QStringList{u"1 sent"_s, u"2 failed"_s, u"3 cancelled"_s, u"4 not started"_s}));
        QCOMPARE(fileNamesIn(path(u"work"_s)), QStringList{u"FTPLogALL.TXT"_s});

        // The password mended and the silent host changed since the run.
        rows[1][4] = tb.plain.password;
        rows[2][1] = u"127.0.0.1:1"_s;
        QVERIFY(writeDestinations(path(u"hosts.tsv"_s), rows));
        const BatchRun again = runBatch(
            m_dir->path(), arguments + QStringList{u"again"_s, u"--only-failed"_s, u"first"_s});

        QCOMPARE(outcomesOf(readReport(path(u"again"_s))), (QStringList{u"2 sent"_s, u"4 sent"_s}));
        QCOMPARE(again.status, 0);
        QCOMPARE(QString::fromLocal8Bit(again.err),
                 u"parcelwright-batch: row 3: the host is now '127.0.0.1:1', the report names '%1' "
                 "- not sent\n"_s.arg(silentHost));
    }

private:
    std::optional<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }
};

QTEST_GUILESS_MAIN(BatchTest)
#include "batch_test.moc"

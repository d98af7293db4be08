#include "support/files.h"
#include "support/processes.h"
#include "support/scripted_ftp_server.h"
#include "support/session_run.h"
#include "support/testbed.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

// Files and folders alike: a run that is to write nothing makes no folder either.
constexpr QDir::Filters kEverything = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden;

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
QMap<int, QJsonObject> readReport(const QByteArray &text)
{
    QMap<int, QJsonObject> lines;
    for (const QByteArray &line : text.split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (!object.isEmpty())
            lines.insert(object.value(u"row"_s).toInt(), object);
    }
    return lines;
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

/// A destination of a report case, by the server it reaches and the account it uses.
enum class Target
{
    Plain,         // the test bed's FTP server
    WrongPassword, // the same, refused
    Session,       // the bed's sshd through the saved session, the quoted account
    UnknownKey,    // the bed's sshd by address and port, whose key psftp has not stored
    SessionWrong,  // the saved session, refused
    Echoing,       // a hostile server that echoes the password in its refusal
    Silent,        // one that never answers: the run is ended by SIGTERM once it is reached
    Slow,          // the bed's slow server: the log is filled meanwhile, so that it takes no block
    Tls,           // the bed's server that demands TLS, under a certificate of its own making
    NoTls,         // a hostile server without TLS that would echo the password
};

/// One run of parcelwright-batch, read back from its report, and what it said.
struct ReportCase
{
    QList<Target> targets; // rows 1 on
    QStringList earlier;   // an earlier report for --only-failed: "ROW OUTCOME[@HOST]"
    QStringList arguments; // added to the command line
    QStringList results;   // "ROW OUTCOME: REASON" from the report; {SSH}: the sshd's port
    int status;
    QString said = {};             // a line of standard error; {HOST}: row 1's host
    bool toStandardOutput = false; // the report: "-r -"
};

} // namespace

Q_DECLARE_METATYPE(CommandLine)
Q_DECLARE_METATYPE(ReportCase)

/// parcelwright-batch as a scheduler runs it: its command lines, a real run against the test bed's
/// servers read back from its report, a rerun of what a run ended by a signal did not send.
class BatchTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_ended = false;
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
        QTest::newRow("missing profile, looked for where the window keeps them") << CommandLine{tsv, {u"--profile"_s, u"weekly"_s}, 2, u"parcelwright-batch: no profile weekly in {DIR}/Parcelwright"_s};
        QTest::newRow("profile name with a path") << CommandLine{tsv, {u"--profile"_s, u"../weekly"_s}, 2, u"parcelwright-batch: '../weekly' cannot name a profile: a profile name is a file name and holds no '/'"_s};
        QTest::newRow("wrong column count") << CommandLine{tsv, {tsv, u"columns.tsv"_s}, 2, u"parcelwright-batch: columns.tsv, line 4: 5 tab-separated columns expected, 4 found"_s};
        for (const QString &name : {u"others-read.tsv"_s, u"group-read.tsv"_s, u"group-write.tsv"_s})
            QTest::newRow(qPrintable(u"destinations: "_s + name)) << CommandLine{tsv, {tsv, name}, 2, u"parcelwright-batch: "_s + name + u" may be read or changed by other users: make it yours alone (chmod 600)"_s};
        QTest::newRow("retries past nine") << CommandLine{QString(), {u"--retries"_s, u"10"_s}, 2, u"parcelwright-batch: --retries takes a number from 0 to 9, not '10' (see --help)"_s};
        QTest::newRow("a negative idle time-out is a bad number, not a missing one") << CommandLine{QString(), {u"--idle-timeout"_s, u"-1"_s}, 2, u"parcelwright-batch: --idle-timeout takes seconds from 0 to 86400, not '-1' (see --help)"_s};
        QTest::newRow("no such TLS choice") << CommandLine{QString(), {u"--ftp-tls"_s, u"maybe"_s}, 2, u"parcelwright-batch: --ftp-tls takes never, offered or required, not 'maybe' (see --help)"_s};
        QTest::newRow("missing certificate file") << CommandLine{QString(), {u"--ftp-tls"_s, u"offered"_s, u"--ca-file"_s, u"none.pem"_s}, 2, u"parcelwright-batch: The certificate file none.pem cannot be read: No such file or directory"_s};
        QTest::newRow("host keys others may change") << CommandLine{QString(), {u"--host-keys"_s, u"shared.keys"_s}, 2, u"parcelwright-batch: The host keys file shared.keys can be changed by other users - make it writable by its owner only (chmod go-w)"_s};
        QTest::newRow("missing file") << CommandLine{u"--files"_s, {u"--files"_s, u"gone.txt"_s}, 2, u"parcelwright-batch: gone.txt is not a file that can be read"_s};
        QTest::newRow("report in a missing directory") << CommandLine{u"--report"_s, {u"-r"_s, u"no/r.jsonl"_s}, 2, u"parcelwright-batch: --report no/r.jsonl: the directory {DIR}/no does not exist"_s};
        QTest::newRow("earlier report that is not one") << CommandLine{QString(), {u"--only-failed"_s, u"a b.txt"_s}, 2, u"parcelwright-batch: a b.txt is not a report: line 1 is not a line of a report"_s};
        QTest::newRow("a faulty cell, row counted past the comment") << CommandLine{tsv, {tsv, u"nopassword.tsv"_s}, 2, u"row 2, Password: There was no Password supplied - please correct this and continue"_s};
        QTest::newRow("no working directory") << CommandLine{u"--workdir"_s, {u"--workdir"_s, u"absent"_s}, 2, u"parcelwright-batch: the working directory absent does not exist"_s};
        QTest::newRow("working directory in use") << CommandLine{QString(), {}, 4, u"parcelwright-batch: another run is using the working directory {DIR}/work - nothing was sent; try again later"_s};
        QTest::newRow("plain arguments are files, short options") << CommandLine{u"--files"_s, {u"-j"_s, u"2"_s, u"-q"_s, u"-n"_s, u"a b.txt"_s}, 0, {}, {1, 2, 3}};
        QTest::newRow("a file named like an option after --") << CommandLine{QString(), dry + QStringList{u"--"_s, u"--x"_s}, 0, {}, {1, 2, 3}};
        QTest::newRow("one row, the first") << CommandLine{QString(), dry + QStringList{u"--rows"_s, u"1"_s}, 0, {}, {1}};
        QTest::newRow("a range keeps its last row") << CommandLine{QString(), dry + QStringList{u"--rows"_s, u"2-3"_s}, 0, {}, {2, 3}};
        QTest::newRow("a range of one row") << CommandLine{QString(), dry + QStringList{u"--rows"_s, u"3-3"_s}, 0, {}, {3}};
        QTest::newRow("a range up to the last row there may be") << CommandLine{QString(), dry + QStringList{u"--rows"_s, u"3-4999"_s}, 0, {}, {3}};
        QTest::newRow("a dry run makes not even the default folder") << CommandLine{u"--workdir"_s, dry, 0, {}, {1, 2, 3}};
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
        QVERIFY(writeBytes(path(u"others-read.tsv"_s), "N\th1\t\tu\tp\n", 0604));
        QVERIFY(writeBytes(path(u"group-read.tsv"_s), "N\th1\t\tu\tp\n", 0640));
        QVERIFY(writeBytes(path(u"group-write.tsv"_s), "N\th1\t\tu\tp\n", 0620));
        QVERIFY(writeBytes(path(u"--x"_s), "a file with an odd name\n"));
        QVERIFY(writeBytes(path(u"shared.keys"_s), "h1 ssh-ed25519 AAAA\n", 0666));
        const QStringList before = QDir(m_dir->path()).entryList(kEverything);
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
        QCOMPARE(QDir(m_dir->path()).entryList(kEverything), before);
        QCOMPARE(fileNamesIn(path(u"work"_s)),
                 line.status == 4 ? QStringList{u"XferJob.LCK"_s} : QStringList());
    }

    void reports_data()
    {
        QTest::addColumn<ReportCase>("run");
        using enum Target;
        const QString keyReason =
            u"The server's host key is not stored yet - store it once with 'Test the Connection', or by hand with 'psftp -P {SSH} {USER}@127.0.0.1' (answer y)"_s;
        // clang-format off
        QTest::newRow("sent, refused, no host key, a hostile server echoing the password; quiet") << ReportCase{{Plain, WrongPassword, Session, UnknownKey, SessionWrong, Echoing}, {}, {u"--jobs"_s, u"4"_s, u"--quiet"_s}, {u"1 sent: "_s, u"2 failed: 530 Login incorrect."_s, u"3 sent: "_s, u"4 failed: "_s + keyReason, u"5 failed: Access denied"_s, u"6 failed: 530 Login incorrect for ********"_s}, 1};
        QTest::newRow("ended by a signal") << ReportCase{{Plain, WrongPassword, Silent, Plain}, {}, {}, {u"1 sent: "_s, u"2 failed: 530 Login incorrect."_s, u"3 cancelled: Cancelled while the client ran"_s, u"4 not started: The run was cancelled before its turn"_s}, 3};
        QTest::newRow("a killed run's partial report: what it did not send, or never reached, within --rows") << ReportCase{{Plain, Plain, Plain, Plain}, {u"1 sent"_s, u"2 failed"_s}, {u"--rows"_s, u"2-3"_s}, {u"2 sent: "_s, u"3 sent: "_s}, 0};
        QTest::newRow("every row to resend has another host now: none sent, not all sent") << ReportCase{{Plain, Plain}, {u"1 failed@127.0.0.1:1"_s, u"2 sent"_s}, {}, {}, 1, u"parcelwright-batch: row 1: the host is now '{HOST}', the report names '127.0.0.1:1' - not sent"_s};
        QTest::newRow("TLS required: sent under the certificate file; no log-in to a server without TLS") << ReportCase{{Tls, NoTls}, {}, {u"--ftp-tls"_s, u"required"_s, u"--ca-file"_s, u"{CA}"_s}, {u"1 sent over TLS: "_s, u"2 failed: ftp: TLS required but the server does not offer it: 500 AUTH not understood"_s}, 1};
        QTest::newRow("TLS required: nothing vouches for the certificate") << ReportCase{{Tls}, {}, {u"--ftp-tls"_s, u"required"_s}, {u"1 failed: ftp: the server's certificate is self-signed and not trusted: SSL certificate problem: self-signed certificate"_s}, 1};
        QTest::newRow("TLS offered: taken where the server has it, plain FTP elsewhere") << ReportCase{{Plain, Tls}, {}, {u"--ftp-tls"_s, u"offered"_s, u"--ca-file"_s, u"{CA}"_s}, {u"1 sent: "_s, u"2 sent over TLS: "_s}, 0};
        QTest::newRow("host keys from ssh-keyscan, none stored; a session not in the file keeps the store") << ReportCase{{UnknownKey, Session}, {}, {u"--host-keys"_s, u"scanned.keys"_s}, {u"1 sent: "_s, u"2 sent: "_s}, 0};
        QTest::newRow("a host key that does not match") << ReportCase{{UnknownKey}, {}, {u"--host-keys"_s, u"wrong.keys"_s}, {u"1 failed: The server's host key is not among those given for 127.0.0.1 (SHA256:oTZn/2g3zjTlYMa751Av5MUpCv0EMc9DXLMjOl+kWhA)"_s}, 1};
        QTest::newRow("the log takes no more: the rows after are not sent") << ReportCase{{Slow, Plain}, {}, {}, {u"1 sent: "_s, u"2 not started: The run stopped before its turn"_s}, 1, u"parcelwright-batch: FTPLogALL.TXT cannot be written - nothing more was sent - the output of {HOST} is kept in FTPLog0001.TXT"_s, true};
        // clang-format on
    }

    void reports()
    {
        PW_REQUIRE_TESTBED(tb);
        QFETCH(ReportCase, run);
        const RemoteDirectory plainRemote(tb.plain), quotedRemote(tb.quoted);
        QVERIFY(plainRemote.isValid() && quotedRemote.isValid());
        const QString echoed = u"echo-Secret-9"_s;
        const ScriptedFtpServer echoing(
            {"220 ready\r\n", "331 Password please\r\n", "530 Login incorrect for %R\r\n"},
            std::chrono::seconds(30));
        const ScriptedFtpServer noTls({"220 ready\r\n", "500 AUTH not understood\r\n",
                                       "500 AUTH not understood\r\n", "331 Password please\r\n",
                                       "530 Login incorrect for %R\r\n"},
                                      std::chrono::seconds(30));
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const TestbedAccount &plain = tb.plain, &quoted = tb.quoted;
        const QString ssh = QString::number(tb.sshPort);
        // clang-format off
        const QHash<Target, QStringList> rowOf{
            {Target::Plain, {u"N"_s, tb.ftpHost, plainRemote.path(), plain.user, plain.password}},
            {Target::WrongPassword, {u"N"_s, tb.ftpHost, plainRemote.path(), plain.user, u"wrong"_s}},
            {Target::Session, {u"Y"_s, tb.sshSession, quotedRemote.path(), quoted.user, quoted.password}},
            {Target::UnknownKey, {u"Y"_s, u"127.0.0.1:"_s + ssh, plainRemote.path(), plain.user, plain.password}},
            {Target::SessionWrong, {u"Y"_s, tb.sshSession, plainRemote.path(), plain.user, u"wrong"_s}},
            {Target::Echoing, {u"N"_s, u"127.0.0.1:%1"_s.arg(echoing.port()), {}, plain.user, echoed}},
            {Target::NoTls, {u"N"_s, u"127.0.0.1:%1"_s.arg(noTls.port()), {}, plain.user, echoed}},
            // A password that is a word of the program's own reasons, which stay whole.
            {Target::Silent, {u"N"_s, u"127.0.0.1:%1"_s.arg(silent.serverPort()), {}, plain.user, u"while"_s}},
            {Target::Slow, {u"N"_s, tb.ftpSlowHost, plainRemote.path(), plain.user, plain.password}},
            {Target::Tls, {u"N"_s, tb.ftpTlsHost, plainRemote.path(), plain.user, plain.password}}};
        // clang-format on
        QList<QStringList> rows;
        for (const Target target : std::as_const(run.targets))
            rows.append(rowOf.value(target));
        QVERIFY(writeDestinations(path(u"hosts.tsv"_s), rows));
        // The keys of the bed's sshd as a scheduler's user collects them, and a key it does not
        // have.
        if (run.arguments.contains(u"scanned.keys"_s)) {
            QProcess scan;
            scan.start(u"ssh-keyscan"_s, {u"-H"_s, u"-p"_s, ssh, u"127.0.0.1"_s});
            QVERIFY(scan.waitForFinished() &&
                    writeBytes(path(u"scanned.keys"_s), scan.readAllStandardOutput(), 0600));
        }
        QVERIFY(
            writeBytes(path(u"wrong.keys"_s),
                       "[127.0.0.1]:" + ssh.toLatin1() +
                           " ssh-ed25519 "
                           "AAAAC3NzaC1lZDI1NTE5AAAAIPuyFXQ2288ouw5z+Mi1QC/haItTvZlyAFoY88qznMU2\n",
                       0600));
        // A file the slow server takes seconds for.
        QVERIFY(writeBytes(path(u"big.bin"_s), QByteArray(2'000'000, 'b')));
        QStringList arguments{u"--destinations"_s, u"hosts.tsv"_s,
                              u"--workdir"_s,      u"work"_s,
                              u"--report"_s,       run.toStandardOutput ? u"-"_s : u"r"_s};
        QByteArray earlier;
        for (const QString &line : std::as_const(run.earlier)) {
            const int row = line.section(u' ', 0, 0).toInt();
            const QString outcome = line.section(u' ', 1).section(u'@', 0, 0);
            const QString host = line.contains(u'@') ? line.section(u'@', 1) : rows[row - 1][1];
            earlier += QJsonDocument(QJsonObject{{u"kind"_s, u"destination"_s},
                                                 {u"row"_s, row},
                                                 {u"host"_s, host},
                                                 {u"outcome"_s, outcome}})
                           .toJson(QJsonDocument::Compact) +
                       '\n';
        }
        if (!earlier.isEmpty()) {
            QVERIFY(writeBytes(path(u"earlier.part"_s), earlier));
            arguments << u"--only-failed"_s << u"earlier.part"_s;
        }
        arguments += run.arguments.replaceInStrings(u"{CA}"_s, tb.ftpCaFile) +
                     QStringList{u"--"_s, u"a b.txt"_s, u"big.bin"_s};

        // A dry run shows the lines each client would get, and the rows the run then sends.
        const BatchRun dry = runBatch(m_dir->path(), QStringList{u"--dry-run"_s} + arguments);
        const BatchRun batch = runBatch(m_dir->path(), arguments, [&](QProcess &process) {
            const pid_t pid = pid_t(process.processId());
            if (silent.hasPendingConnections() && !std::exchange(m_ended, true))
                process.terminate();
            // Once the slow client runs, which keeps the limit it started with.
            if (run.toStandardOutput && !processesIn(path(u"work"_s)).isEmpty()) {
                const rlimit none{1, RLIM_INFINITY};
                ::prlimit(pid, RLIMIT_FSIZE, &none, nullptr);
            }
        });

        const QByteArray text = run.toStandardOutput ? batch.out : readBytes(path(u"r"_s));
        const QMap<int, QJsonObject> report = readReport(text);
        QStringList results, planned;
        for (auto it = report.cbegin(); it != report.cend(); ++it) {
            if (it.key() == 0)
                continue;
            QVERIFY(it->value(u"tls"_s).isBool());
            results << u"%1 %2%3: %4"_s.arg(
                QString::number(it.key()), it->value(u"outcome"_s).toString(),
                it->value(u"tls"_s).toBool() ? u" over TLS"_s : QString(),
                it->value(u"reason"_s).toString());
        }
        for (const QByteArray &line : dry.out.split('\n')) {
            if (line.startsWith("Row "))
                planned << QString::fromLatin1(line.mid(4, line.indexOf(':') - 4));
        }
        QCOMPARE(results, run.results.replaceInStrings(u"{SSH}"_s, ssh)
                              .replaceInStrings(u"{USER}"_s, plain.user));
        QCOMPARE(planned.size(), results.size());
        // The plan shows what the settings add to the clients' lines.
        const auto shown = [&run](const QString &option, const QByteArray &as) {
            const qsizetype at = run.arguments.indexOf(option);
            return at < 0 ? QByteArray() : as + run.arguments.value(at + 1).toLocal8Bit();
        };
        const QByteArray tls = shown(u"--ftp-tls"_s, " -tls:");
        QVERIFY2(dry.out.contains(tls + shown(u"--ca-file"_s, " -cafile:") + ' ') &&
                     dry.out.contains(" -tls:") == !tls.isEmpty(),
                 dry.out);
        QCOMPARE(dry.out.contains("psftp -hostkey SHA256:"),
                 run.arguments.contains(u"--host-keys"_s));
        QCOMPARE(batch.status, run.status);
        QVERIFY2(run.said.isEmpty() ||
                     batch.err.contains(run.said.replace(u"{HOST}"_s, rows[0][1]).toLocal8Bit()),
                 batch.err);
        // The summary says what was sent when, in a form a script names without quotes.
        const QJsonObject summary = report.value(0);
        QCOMPARE(summary.value(u"format"_s).toInt(), 1);
        QCOMPARE(summary.value(u"files"_s).toVariant().toStringList(),
                 (QStringList{path(u"a b.txt"_s), path(u"big.bin"_s)}));
        QVERIFY(QDateTime::fromString(summary.value(u"started"_s).toString(), Qt::ISODateWithMs)
                    .isValid());
        QCOMPARE(summary.value(u"outcomes"_s).toObject().value(u"not_started"_s).toInt(),
                 int(run.results.filter(u" not started:"_s).size()));
        // No password anywhere; nothing left that held one; what was sent arrived whole.
        const QByteArray everything = text + batch.out + batch.err + dry.out + dry.err;
        for (const QString &password : {plain.password, quoted.password, echoed})
            QVERIFY2(!everything.contains(password.toLocal8Bit()), everything);
        // The server without TLS never got as far as the user id.
        if (run.arguments.contains(u"required"_s)) {
            for (const std::string &command : noTls.received())
                QVERIFY2(!command.starts_with("USER") && !command.starts_with("PASS"),
                         command.c_str());
        }
        QCOMPARE(fileNamesIn(path(u"work"_s)).filter(u"XferJob"_s), QStringList());
        QVERIFY(!QFileInfo::exists(path(u"r.part"_s)));
        for (int row = 1; row <= rows.size(); ++row) {
            const QString remote = rows[row - 1][2];
            if (results.contains(u"%1 sent: "_s.arg(row)))
                QCOMPARE(fileNamesIn(remote), (QStringList{u"a b.txt"_s, u"big.bin"_s}));
        }
    }

private:
    std::optional<QTemporaryDir> m_dir;
    bool m_ended = false; // the signal is sent once: a second one could find the default action
    QString path(const QString &name) const { return m_dir->filePath(name); }
};

QTEST_GUILESS_MAIN(BatchTest)
#include "batch_test.moc"

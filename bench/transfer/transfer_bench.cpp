// Times Process Request's checks over a full table, the run one destination at a time against a
// bare shell loop of the same client commands, the run several at once against `xargs -P` of the
// same launcher files (on the test bed's vsftpd, and on one that takes a second to log in, as a
// distant server does), and the program's peak memory over 4,999 destinations.
#include "platform/launcher.h"
#include "support/fake_window.h"
#include "support/testbed.h"
#include "transfer/request_checks.h"
#include "transfer/run_session.h"
#include "transfer/transfer_scripts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdlib>
#include <sys/resource.h>

namespace {

void say(const QString &text)
{
    QTextStream(stdout) << text << Qt::endl;
}

[[noreturn]] void fail(const QString &why)
{
    QTextStream(stderr) << "transfer_bench: " << why << Qt::endl;
    std::exit(1);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

/// The texts of the faults the checks find.
class FaultTexts final : public CheckFindings
{
public:
    QStringList texts;
    void faultFound(const Fault &fault) override { texts.append(fault.text); }
    void rowPassed(int) override {}
};

double checksMilliseconds(const QString &directory)
{
    PlainDestinationGrid table;
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        table.setText(row, kSecureShellColumn, row % 2 ? QStringLiteral("Y") : QStringLiteral("N"));
        table.setText(row, kHostColumn, QStringLiteral("host%1").arg(row));
        table.setText(row, kUserIdColumn, QStringLiteral("user"));
        table.setText(row, kPasswordColumn, QStringLiteral("password"));
    }
    FaultTexts faults;
    QElapsedTimer clock;
    clock.start();
    const std::optional<TransferRequest> request =
        checkedRequest({{QStringLiteral("/a")}, directory, 1}, table, faults);
    const double ms = clock.nsecsElapsed() / 1e6;
    if (!request || request->destinations.size() != kLastDataRow)
        fail(QStringLiteral("the checks refused a valid table: ") + faults.texts.join(u"; "));
    return ms;
}

/// Runs the request through a run session to its end.
RunEnd runToEnd(const TransferRequest &request)
{
    CommandInterpreterLauncher launcher(builtProgram(QStringLiteral("parcelwright-cmd")));
    RunSession session(launcher);
    RunEnd end;
    QObject::connect(&session, &RunSession::finished, [&end](const RunEnd &e) { end = e; });
    if (const std::optional<Fault> fault = session.start(request))
        fail(QStringLiteral("the run did not start: ") + fault->text);
    waitForRunEnd(session);
    return end;
}

/// A plain FTP request of `count` destinations to one account, each into a directory of its own.
TransferRequest ftpRequest(const QString &host, const TestbedAccount &account,
                           const QString &remoteBase, const QStringList &files, int count,
                           const QString &workDir, int simultaneous)
{
    TransferRequest request;
    request.files = files;
    request.workingDirectory = workDir;
    request.simultaneous = simultaneous;
    // IDLE_TIMEOUT=0 times the engine without its watch on the clients' progress.
    if (qEnvironmentVariableIsSet("IDLE_TIMEOUT"))
        request.settings.idleTimeoutSeconds = qEnvironmentVariableIntValue("IDLE_TIMEOUT");
    for (int i = 1; i <= count; ++i) {
        const QString remote = QStringLiteral("%1/d%2").arg(remoteBase).arg(i);
        QDir().mkpath(remote);
        QFile::setPermissions(remote, QFileDevice::Permissions(0x7777));
        request.destinations.append({i, false, host, remote, account.user, account.password});
    }
    return request;
}

/// Runs the request through the engine; the time it took, after checking every file arrived.
double engineMilliseconds(const TransferRequest &request)
{
    QElapsedTimer clock;
    clock.start();
    const RunEnd end = runToEnd(request);
    const double ms = clock.nsecsElapsed() / 1e6;
    for (const DestinationResult &result : end.results) {
        if (result.outcome != Outcome::Sent)
            fail(QStringLiteral("%1 was not sent: %2").arg(result.host, result.reason));
    }
    QFile::remove(request.workingDirectory + QStringLiteral("/FTPLogALL.TXT"));
    return ms;
}

/// Writes the launcher files the engine would write for the request, and times `xargs -P` of
/// parcelwright-cmd over them, each into a log of its own; `bare`: the client's own command line
/// instead of the launcher, as a loop written by hand would run it.
double xargsMilliseconds(const TransferRequest &request, const QString &jobDir, bool bare = false)
{
    QStringList batchFiles;
    for (int i = 0; i < request.destinations.size(); ++i) {
        const Destination &d = request.destinations.at(i);
        const JobFileNames names = JobFileNames::numbered(i + 1);
        removeJobFiles(jobDir, names);
        const JobFiles files = jobFiles(d, request.files, names);
        if (!writeJobFiles(jobDir, names, files, nullptr))
            fail(QStringLiteral("cannot write the launcher files in ") + jobDir);
        batchFiles.append(names.launcher);
    }
    QFile list(jobDir + QStringLiteral("/jobs.txt"));
    list.open(QIODevice::WriteOnly);
    list.write(batchFiles.join(u'\n').toLocal8Bit() + '\n');
    list.close();
    QProcess xargs;
    xargs.setWorkingDirectory(jobDir);
    xargs.setStandardInputFile(list.fileName());
    QElapsedTimer clock;
    clock.start();
    xargs.start(QStringLiteral("xargs"),
                {QStringLiteral("-P"), QString::number(request.simultaneous), QStringLiteral("-n"),
                 QStringLiteral("1"), QStringLiteral("sh"), QStringLiteral("-c"),
                 // $0 the program, $1 the host, $2 the launcher file xargs adds.
                 bare ? QStringLiteral("exec \"$0\" -s:\"${2%.BAT}.FTP\" \"$1\" >\"$2.log\" 2>&1 "
                                       "</dev/null")
                      : QStringLiteral("exec \"$0\" /C \"$2\" >\"$2.log\" 2>&1 </dev/null"),
                 builtProgram(bare ? QStringLiteral("parcelwright-ftp")
                                   : QStringLiteral("parcelwright-cmd")),
                 request.destinations.value(0).host});
    xargs.waitForFinished(-1);
    const double ms = clock.nsecsElapsed() / 1e6;
    if (xargs.exitCode() != 0) {
        QFile log(jobDir + u'/' + batchFiles.value(0) + QStringLiteral(".log"));
        log.open(QIODevice::ReadOnly);
        fail(QStringLiteral("xargs ended with %1; the first log: %2")
                 .arg(xargs.exitCode())
                 .arg(QString::fromLocal8Bit(log.readAll())));
    }
    return ms;
}

/// A second vsftpd beside the test bed's, which takes a second over each log-in; its port.
int startSlowServer(const QString &testbedDir, const QString &dir, QProcess &server)
{
    QFile conf(testbedDir + QStringLiteral("/vsftpd.conf"));
    if (!conf.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read the test bed's vsftpd.conf"));
    const int port = 20000 + QCoreApplication::applicationPid() % 10000;
    QByteArray text;
    for (const QByteArray &line : conf.readAll().split('\n')) {
        static const QList<QByteArray> replaced{
            "listen_port=",    "vsftpd_log_file=", "xferlog_file=",
            "xferlog_enable=", "max_clients=",     "max_per_ip="};
        if (std::any_of(replaced.cbegin(), replaced.cend(),
                        [&line](const QByteArray &key) { return line.startsWith(key); }))
            continue;
        text += line + '\n';
    }
    text += "listen_port=" + QByteArray::number(port) + "\ndelay_successful_login=1\n";
    text += "max_clients=500\nmax_per_ip=500\nxferlog_enable=NO\n";
    QFile slow(dir + QStringLiteral("/slow-vsftpd.conf"));
    slow.open(QIODevice::WriteOnly);
    slow.write(text);
    slow.close();
    // vsftpd says why it stops on its standard input, as on a control connection.
    server.setStandardInputFile(QProcess::nullDevice());
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(QStringLiteral("/usr/sbin/vsftpd"), {slow.fileName()});
    // Still there after half a second: it listens.
    if (!server.waitForStarted() || server.waitForFinished(500))
        fail(QStringLiteral("the slow vsftpd did not start: ") +
             QString::fromLocal8Bit(server.readAll()));
    return port;
}

/// Runs the request through parcelwright-batch, its destinations in an owner-only file; the time
/// it took, after checking it reported every destination sent.
double batchMilliseconds(const TransferRequest &request, const QString &dir)
{
    QFile table(dir + QStringLiteral("/destinations.tsv"));
    table.open(QIODevice::WriteOnly);
    table.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    for (const Destination &d : request.destinations)
        table.write(QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                        .arg(d.secure ? QStringLiteral("Y") : QStringLiteral("N"))
                        .arg(d.host, d.remoteDirectory, d.userId, d.password)
                        .toLocal8Bit());
    table.close();
    QProcess batch;
    QElapsedTimer clock;
    clock.start();
    batch.start(builtProgram(QStringLiteral("parcelwright-batch")),
                QStringList{QStringLiteral("--destinations"), table.fileName(),
                            QStringLiteral("--workdir"), request.workingDirectory,
                            QStringLiteral("--jobs"), QString::number(request.simultaneous),
                            QStringLiteral("--quiet"), QStringLiteral("--files")} +
                    request.files);
    batch.waitForFinished(-1);
    const double ms = clock.nsecsElapsed() / 1e6;
    if (batch.exitStatus() != QProcess::NormalExit || batch.exitCode() != 0)
        fail(QStringLiteral("parcelwright-batch ended with %1: %2")
                 .arg(batch.exitCode())
                 .arg(QString::fromLocal8Bit(batch.readAllStandardError())));
    QFile::remove(request.workingDirectory + QStringLiteral("/FTPLogALL.TXT"));
    return ms;
}

void compare(const QString &what, double ours, double theirs, const QString &goal)
{
    say(QStringLiteral("%1: engine %2 ms, xargs %3 ms, ratio %4 (%5)")
            .arg(what)
            .arg(ours, 0, 'f', 0)
            .arg(theirs, 0, 'f', 0)
            .arg(ours / theirs, 0, 'f', 3)
            .arg(goal));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 3;
    // A directory of its own: a shared one may hold files another user left there.
    QTemporaryDir work;
    if (!work.isValid())
        fail(QStringLiteral("no temporary directory"));
    say(QStringLiteral("request checks, 4,999 valid rows: %1 ms (goal <= 100)")
            .arg(checksMilliseconds(work.path()), 0, 'f', 1));

    QString why;
    const std::optional<Testbed> tb = Testbed::load(&why);
    if (!tb)
        fail(why);
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        files.append(work.filePath(QStringLiteral("file%1.txt").arg(i)));
        QFile out(files.last());
        out.open(QIODevice::WriteOnly);
        out.write(QByteArray(8 * 1024, char('a' + i)));
    }
    QTemporaryDir remote(tb->plain.home + QStringLiteral("/pw-bench-XXXXXX"));
    QFile::setPermissions(remote.path(), QFileDevice::Permissions(0x7777));
    const QString runDir = work.filePath(QStringLiteral("run"));
    const QString jobDir = work.filePath(QStringLiteral("jobs"));
    QDir().mkpath(runDir);
    QDir().mkpath(jobDir);

    // One at a time against a loop of the client's own command lines.
    if (qEnvironmentVariableIsEmpty("SKIP_FAST")) {
        const TransferRequest request =
            ftpRequest(tb->ftpHost, tb->plain, remote.path(), files, 40, runDir, 1);
        QList<double> ours, theirs;
        for (int round = 0; round < rounds; ++round) {
            ours.append(engineMilliseconds(request));
            theirs.append(xargsMilliseconds(request, jobDir, true));
        }
        compare(QStringLiteral("40 loopback destinations, one at a time, against a bare loop, "
                               "medians of %1")
                    .arg(rounds),
                median(ours), median(theirs), QStringLiteral("goal <= 1.05"));
    }

    // 200 destinations on loopback, 8 at a time.
    if (qEnvironmentVariableIsEmpty("SKIP_FAST")) {
        const TransferRequest request =
            ftpRequest(tb->ftpHost, tb->plain, remote.path(), files, 200, runDir, 8);
        QList<double> ours, batch, theirs;
        for (int round = 0; round < rounds; ++round) {
            ours.append(engineMilliseconds(request));
            batch.append(batchMilliseconds(request, work.path()));
            theirs.append(xargsMilliseconds(request, jobDir));
        }
        compare(QStringLiteral("200 loopback destinations, 8 at once, medians of %1").arg(rounds),
                median(ours), median(theirs), QStringLiteral("goal <= 1.10"));
        say(QStringLiteral("the same through parcelwright-batch: %1 ms, %2 times the engine's "
                           "(goal <= 1.02)")
                .arg(median(batch), 0, 'f', 0)
                .arg(median(batch) / median(ours), 0, 'f', 3));
    }

    // A server that takes a second to log in: 320 destinations 32 at a time, against one at a
    // time (32 destinations, scaled) and against xargs.
    if (qEnvironmentVariableIsEmpty("SKIP_SLOW")) {
        QProcess server;
        const int port =
            startSlowServer(qEnvironmentVariable("PARCELWRIGHT_TESTBED"), work.path(), server);
        const QString host = QStringLiteral("127.0.0.1:%1").arg(port);
        const TransferRequest many =
            ftpRequest(host, tb->plain, remote.path(), files, 320, runDir, 32);
        TransferRequest serial = ftpRequest(host, tb->plain, remote.path(), files, 32, runDir, 1);
        const double serialMs = engineMilliseconds(serial) * 10;
        const double manyMs = engineMilliseconds(many);
        const double xargsMs = xargsMilliseconds(many, jobDir);
        say(QStringLiteral("320 destinations on a slow log-in: one at a time %1 ms (32, x10), "
                           "32 at once %2 ms: %3 times faster (goal >= 25)")
                .arg(serialMs, 0, 'f', 0)
                .arg(manyMs, 0, 'f', 0)
                .arg(serialMs / manyMs, 0, 'f', 1));
        compare(QStringLiteral("320 destinations on a slow log-in, 32 at once"), manyMs, xargsMs,
                QStringLiteral("goal <= 1.15"));
        server.terminate();
        server.waitForFinished();
    }

    // Peak memory over 4,999 destinations, 32 at a time; their server is not there, so each
    // client ends at once and only the program's own bookkeeping counts.
    {
        TransferRequest request;
        request.files = files;
        request.workingDirectory = runDir;
        request.simultaneous = 32;
        for (int row = kFirstDataRow; row <= kLastDataRow; ++row)
            request.destinations.append({row,
                                         false,
                                         QStringLiteral("127.0.0.1:1"),
                                         {},
                                         QStringLiteral("u"),
                                         QStringLiteral("p")});
        QElapsedTimer clock;
        clock.start();
        const RunEnd end = runToEnd(request);
        if (end.results.size() != kLastDataRow)
            fail(QStringLiteral("the run of 4,999 destinations did not happen"));
        rusage usage;
        ::getrusage(RUSAGE_SELF, &usage);
        say(QStringLiteral("4,999 destinations, 32 at once: %1 ms, peak memory %2 MB (goal <= 64)")
                .arg(clock.elapsed())
                .arg(usage.ru_maxrss / 1024.0, 0, 'f', 1));
    }
    return 0;
}

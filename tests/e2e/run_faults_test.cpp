#include "support/engine_run.h"
#include "support/files.h"
#include "support/processes.h"
#include "support/testbed.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

enum class Fault
{
    ServerKilledMidPut,   // the server's process for the connection killed while a file goes up
    ServerStopsAnswering, // the server's process for the connection stopped while a file goes up
    SilentServer,         // a port that takes the connection and never says a word
    UnknownHost,          // a host name that does not resolve
    ClientMissing,        // the client is not on PATH
};

// How the run deals with the faulty destination.
enum class Ending
{
    Failed,   // the client gives up by itself, the run goes on to the next destination
    Cancelled // the client would wait for ever: the user cancels
};

// Large enough that the put is still going when the poll, a few milliseconds after the file
// appears, reaches the server.
constexpr qsizetype kLargeFileSize = 256 * 1024 * 1024;

// How long a stalled client is watched before the user gives up on it.
constexpr qint64 kPatienceMilliseconds = 1000;

const QByteArray kEnd = "\r\n*********** End of Transmission ***************\r\n\r\n";

QByteArray patterned(qsizetype size)
{
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; i += 4096)
        bytes[i] = char(i / 4096);
    return bytes;
}

// The blocks of a cumulative log, each without its end line.
QByteArrayList blocksOf(const QByteArray &log)
{
    QByteArrayList blocks;
    qsizetype start = 0;
    for (qsizetype end = log.indexOf(kEnd, start); end >= 0; end = log.indexOf(kEnd, start)) {
        blocks.append(log.mid(start, end - start));
        start = end + kEnd.size();
    }
    if (start < log.size())
        blocks.append(log.mid(start));
    return blocks;
}

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Ending)

/// Servers and clients that fail in the middle of a real run: each faulty destination sits between
/// two sound ones, and the run reports it, reaches its end or can be cancelled, and keeps what the
/// sound ones stored.
class RunFaultsTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void faultIsReported_data();
    void faultIsReported();

private:
    QTemporaryDir m_local; // the files to send
    QTemporaryDir m_putty; // the test bed's session, and one that leads to the silent port
    QTcpServer m_silent;   // takes connections and never answers
    QByteArray m_large;
};

void RunFaultsTest::initTestCase()
{
    PW_REQUIRE_TESTBED(tb);
    QVERIFY(m_silent.listen(QHostAddress::LocalHost));
    m_large = patterned(kLargeFileSize);
    QVERIFY(writeBytes(m_local.filePath(u"first.txt"_s), "stored before the fault\r\n"));
    QVERIFY(writeBytes(m_local.filePath(u"large.bin"_s), m_large));
    QVERIFY(writeBytes(m_local.filePath(u"last.txt"_s), "stored after it\r\n"));

    const QByteArray session = readBytes(tb.puttyDir + u"/sessions/"_s + tb.sshSession);
    QVERIFY(!session.isEmpty());
    QVERIFY(QDir(m_putty.path()).mkpath(u"sessions"_s));
    QVERIFY(writeBytes(m_putty.filePath(u"sessions/"_s + tb.sshSession), session));
    QVERIFY(writeBytes(m_putty.filePath(u"sessions/pwsilent"_s),
                       "HostName=127.0.0.1\nPortNumber=" +
                           QByteArray::number(m_silent.serverPort()) + "\nProtocol=ssh\n"));
}

void RunFaultsTest::faultIsReported_data()
{
    QTest::addColumn<Client>("client");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<QString>("said"); // what the faulty destination's block says

    const QString cancelled =
        u"The transmission to this destination was cancelled before it ended\r\n$"_s;
    using enum Fault;
    // A stopped psftp loses what it had buffered of its standard output ("local:A => remote:B"):
    // its block may end at the user name, before the line that says it was cancelled.
    // clang-format off
    QTest::newRow("ftp, server killed in the middle of a put") << Client::Ftp << ServerKilledMidPut << Ending::Failed << u"ftp> put .*large.bin large.bin\r\n150 Ok to send data.\r\nftp: [^\r]+\r\n"_s;
    QTest::newRow("psftp, server stops answering") << Client::Psftp << ServerStopsAnswering << Ending::Cancelled << u"\r\nUsing username \"pwplain\".\r\n(?:[^\r]*\r\n)*"_s + cancelled;
    QTest::newRow("ftp, silent server") << Client::Ftp << SilentServer << Ending::Failed << u"ftp: time-out after 30 seconds without an answer or progress"_s;
    QTest::newRow("psftp, silent server") << Client::Psftp << SilentServer << Ending::Cancelled << u">psftp pwplain@pwsilent -b XferJob.FTP -pwfile XferJob.PWD\r\n"_s + cancelled;
    QTest::newRow("ftp, unknown host") << Client::Ftp << UnknownHost << Ending::Failed << u"Unknown host no-such-host.invalid.\r\n"_s;
    QTest::newRow("psftp, unknown host") << Client::Psftp << UnknownHost << Ending::Failed << u"ssh_init: Name or service not known\r\n"_s;
    QTest::newRow("psftp missing from PATH") << Client::Psftp << ClientMissing << Ending::Failed << u"parcelwright-cmd: 'psftp' was not found on PATH: psftp comes with PuTTY \\(Debian package putty-tools\\)\r\n"_s;
    // clang-format on
}

void RunFaultsTest::faultIsReported()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(Client, client);
    QFETCH(Fault, fault);
    QFETCH(Ending, ending);
    QFETCH(QString, said);
    qputenv("PUTTYDIR", QFile::encodeName(m_putty.path()));
    const QByteArray path = qgetenv("PATH");
    const auto restorePath = qScopeGuard([&path] { qputenv("PATH", path); });
    if (fault == Fault::ClientMissing)
        qputenv("PATH", "/nonexistent");

    const bool midPut = fault == Fault::ServerKilledMidPut || fault == Fault::ServerStopsAnswering;
    if (midPut)
        PW_REQUIRE_ROOT("only root may stop the servers' processes of another user's log-in");
    QStringList files{m_local.filePath(u"first.txt"_s)};
    if (midPut)
        files.append(m_local.filePath(u"large.bin"_s));
    files.append(m_local.filePath(u"last.txt"_s));
    const RemoteDirectory before(tb.plain), faulty(tb.plain), after(tb.plain);
    QVERIFY(before.isValid() && faulty.isValid() && after.isValid());

    const bool secure = client == Client::Psftp;
    QString host = secure ? tb.sshSession : u"localhost:%1"_s.arg(tb.ftpPort);
    if (fault == Fault::SilentServer)
        host = secure ? u"pwsilent"_s : u"127.0.0.1:%1"_s.arg(m_silent.serverPort());
    if (fault == Fault::UnknownHost)
        host = u"no-such-host.invalid"_s;

    QTemporaryDir work;
    EngineRun run;
    run.window.setFiles(files);
    run.window.setWorkingDirectory(work.path());
    FakeDestinationGrid &grid = run.window.grid();
    const TestbedAccount &account = tb.plain;
    grid.setRow({1, u"N"_s, tb.ftpHost, before.path(), account.user, account.password});
    grid.setRow({2, secure ? u"Y"_s : u"N"_s, host, faulty.path(), account.user, account.password});
    grid.setRow({3, u"N"_s, tb.ftpHost, after.path(), account.user, account.password});

    // The fault strikes the server's processes for this client's connection only: other tests
    // share the servers.
    const QString program = secure ? u"psftp"_s : u"parcelwright-ftp"_s;
    const qint64 serverPid = secure ? tb.sshServerPid : tb.ftpServerPid;
    QList<pid_t> struck;
    qint64 sizeAtFault = -1;
    QElapsedTimer stalled;
    const auto whileRunning = [&] {
        const QList<pid_t> clients = processIdsIn(work.path(), program);
        if (clients.isEmpty() || run.window.progress.size() < 3) // row 2 not started yet
            return;
        if (midPut && struck.isEmpty()) {
            const QFileInfo arriving(faulty.filePath(u"large.bin"_s));
            if (!arriving.exists() || arriving.size() == 0)
                return;
            struck = withDescendants(connectionPeersBelow(pid_t(serverPid), clients.first()));
            for (const pid_t pid : std::as_const(struck))
                ::kill(pid, SIGSTOP);
            sizeAtFault = QFileInfo(arriving.filePath()).size();
            if (fault == Fault::ServerKilledMidPut) {
                for (const pid_t pid : std::as_const(struck))
                    ::kill(pid, SIGKILL);
            }
        }
        if (ending == Ending::Cancelled && !stalled.isValid())
            stalled.start();
        if (stalled.isValid() && stalled.elapsed() > kPatienceMilliseconds)
            run.engine.requestCancel();
    };
    // Stopped processes are ended afterwards; only those still serving below the listener, so
    // that no id the system has given to another process since is hit.
    const auto release = qScopeGuard([&struck, serverPid] {
        const QList<pid_t> serving = withDescendants({pid_t(serverPid)});
        for (const pid_t pid : std::as_const(struck)) {
            if (pid != pid_t(serverPid) && serving.contains(pid)) {
                ::kill(pid, SIGKILL);
                ::kill(pid, SIGCONT);
            }
        }
    });
    run.processRequest(whileRunning);

    const QByteArray log = readBytes(work.filePath(u"FTPLogALL.TXT"_s));
    if (midPut) {
        QVERIFY2(!struck.isEmpty(), "no server process was found for the client's connection");
        QVERIFY2(sizeAtFault < kLargeFileSize, "the put ended before the fault struck");
        // What the faulty destination had stored before the fault stays as it was sent.
        QCOMPARE(readBytes(faulty.filePath(u"first.txt"_s)),
                 readBytes(m_local.filePath(u"first.txt"_s)));
    }
    QCOMPARE(run.window.messages, Messages());
    const QStringList arrived{u"first.txt"_s, u"last.txt"_s};
    QStringList sent = arrived;
    if (midPut)
        sent.insert(1, u"large.bin"_s);
    QCOMPARE(before.fileNames(), sent);
    for (const QString &name : arrived)
        QCOMPARE(readBytes(before.filePath(name)), readBytes(m_local.filePath(name)));
    const QByteArrayList blocks = blocksOf(log);
    if (ending == Ending::Failed) {
        QCOMPARE(
            run.window.statusText,
            u"Transmission ended with errors at 1 of 3 destinations (%1) - see FTPLogALL.TXT"_s.arg(
                host));
        QCOMPARE(blocks.size(), 3);
        QCOMPARE(after.fileNames(), sent);
        for (const QString &name : arrived)
            QCOMPARE(readBytes(after.filePath(name)), readBytes(m_local.filePath(name)));
    } else {
        QCOMPARE(run.window.statusText,
                 u"Transmission cancelled at %1 - see FTPLogALL.TXT"_s.arg(host));
        QCOMPARE(blocks.size(), 2);
        QCOMPARE(after.fileNames(), QStringList());
    }
    QVERIFY2(blocks.value(1).startsWith("Output from: " + host.toLocal8Bit() + ' ' +
                                        QFile::encodeName(faulty.path()) + "\r\n"),
             log.constData());
    const QRegularExpression expected(said);
    QVERIFY2(expected.match(QString::fromLocal8Bit(blocks.value(1))).hasMatch(), log.constData());
    QVERIFY2(!log.contains(account.password.toLocal8Bit()), log.constData());
    QCOMPARE(fileNamesIn(work.path()), QStringList{u"FTPLogALL.TXT"_s});
    QTRY_COMPARE_WITH_TIMEOUT(processesIn(work.path()), QStringList(), 5000);
}

QTEST_GUILESS_MAIN(RunFaultsTest)
#include "run_faults_test.moc"

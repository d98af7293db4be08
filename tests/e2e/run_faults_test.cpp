#include "support/files.h"
#include "support/processes.h"
#include "support/session_run.h"
#include "support/testbed.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/inotify.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// What stands in the way of the destinations under test.
enum class Trouble
{
    None,
    SilentServer,           // a port that takes the connection and never answers
    UnknownHost,            // names that do not resolve; a shell would run them as commands
    MissingRemoteDirectory, // three levels of it
    ForeignFile,            // another user's file holds one of the run's names: nothing is sent
    DroppedConnections, // the first two connections are closed at once, later ones reach the server
    SlowServer, // FTP's takes a big file slowly, into a directory holding an earlier one of its
                // name
};

/// One run: a sound plain FTP destination, the destinations under test (the hostile account's),
/// another sound one.
struct RunCase
{
    Client client; // of the destinations under test
    Trouble fault;
    Outcome outcome; // of each of them; NotStarted: the run is refused
    QString said;    // a pattern each of their blocks matches ({HOST}: its host), or the message
                     // of a refused run ({DIR}: the working directory); empty: any block
    TransferSettings settings{};
    QString reason{};    // a pattern each of their reasons matches ({DIR}: the remote directory)
    int attempts = 1;    // the clients each of them started
    QStringList hosts{}; // empty for the one the fault implies
};

// How long a stalled client is watched before the user gives up on it.
constexpr qint64 kPatienceMilliseconds = 1000;

const QString kEnd = u"\r\n*********** End of Transmission ***************\r\n\r\n"_s;

// A password split into arguments at its blanks still shows its longest piece.
QByteArray longestPiece(const QString &password)
{
    QByteArray longest;
    for (const QByteArray &piece : password.toLocal8Bit().split(' '))
        longest = piece.size() > longest.size() ? piece : longest;
    return longest;
}

bool holdsAny(const QByteArray &bytes, const QByteArrayList &passwords)
{
    return std::any_of(passwords.cbegin(), passwords.cend(),
                       [&bytes](const QByteArray &password) { return bytes.contains(password); });
}

/// Looks at a working directory while a run goes on: at the files, and at the command lines of the
/// processes that run there. A file seen readable by its owner only whose mode never changed was
/// created so: one created readable and tightened at once still shows.
struct RunWatch
{
    QString directory;
    QByteArrayList passwords;
    QStringList exposed;      // "NAME MODE" of each file seen readable by others
    QStringList changed;      // names whose mode changed after they were created
    QStringList held;         // names of the files that held a password at some look
    QStringList commandLines; // those that showed a password
    int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    bool watching = false; // whether a change of mode can be seen at all

    RunWatch(const QString &dir, const QByteArrayList &secrets) : directory(dir), passwords(secrets)
    {
        watching = ::inotify_add_watch(inotify, QFile::encodeName(dir).constData(), IN_ATTRIB) >= 0;
    }
    ~RunWatch() { ::close(inotify); }

    void look()
    {
        alignas(inotify_event) char events[4096];
        for (ssize_t size; (size = ::read(inotify, events, sizeof events)) > 0;) {
            for (const char *at = events; at < events + size;) {
                const auto *event = reinterpret_cast<const inotify_event *>(at);
                const QString name = QFile::decodeName(event->len > 0 ? event->name : "");
                if (!changed.contains(name))
                    changed.append(name);
                at += sizeof(inotify_event) + event->len;
            }
        }
        for (const QString &name : fileNamesIn(directory)) {
            const QString path = directory + u'/' + name;
            if (holdsAny(readBytes(path), passwords) && !held.contains(name))
                held.append(name);
            if (!isOwnerOnly(path) && QFileInfo::exists(path))
                exposed.append(name + u' ' + QString::number(QFile::permissions(path), 16));
        }
        for (const QString &line : processesIn(directory)) {
            if (holdsAny(line.toLocal8Bit(), passwords) && !commandLines.contains(line))
                commandLines.append(line);
        }
    }
};

// However a run ended: no client left running, nothing left but its log (or what stood in its
// way), each file owner-only from its creation on and holding no password.
void verifyCleanEnd(const QString &work, const QString &left, RunWatch &watch)
{
    QTRY_COMPARE_WITH_TIMEOUT(processesIn(work), QStringList(), 5000);
    watch.look();
    QCOMPARE(fileNamesIn(work), QStringList{left});
    QCOMPARE(watch.exposed, QStringList());
    QCOMPARE(watch.changed, QStringList());
    QCOMPARE(watch.commandLines, QStringList());
    const QByteArray bytes = readBytes(work + u'/' + left);
    QVERIFY2(!holdsAny(bytes, watch.passwords), bytes.constData());
}

} // namespace

Q_DECLARE_METATYPE(RunCase)

/// Real runs that end every way a run ends - sent, failed, cancelled, refused - with the
/// destinations under test between two sound ones: the run reports them, goes on past a failure
/// and keeps what the sound ones stored, and whatever the ending it leaves no client running, no
/// file but its log, and no password anywhere.
class RunFaultsTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        PW_REQUIRE_TESTBED(tb);
        QVERIFY(m_silent.listen(QHostAddress::LocalHost));
        QVERIFY(writeBytes(m_local.filePath(u"first.txt"_s), "sent before the fault\r\n"));
        QVERIFY(writeBytes(m_local.filePath(u"last.txt"_s), "sent after it\r\n"));
        // Over a second's upload to the slow server.
        QVERIFY(writeBytes(m_local.filePath(u"big.bin"_s), QByteArray(1 << 20, 'b')));

        m_session = readBytes(tb.puttyDir + u"/sessions/"_s + tb.sshSession);
        QVERIFY(!m_session.isEmpty());
        QVERIFY(QDir(m_putty.path()).mkpath(u"sessions"_s));
        QVERIFY(writeBytes(m_putty.filePath(u"sessions/"_s + tb.sshSession), m_session));
        QVERIFY(writeBytes(m_putty.filePath(u"sessions/pwsilent"_s),
                           "HostName=127.0.0.1\nPortNumber=" +
                               QByteArray::number(m_silent.serverPort()) + "\nProtocol=ssh\n"));
    }

    void runEndsClean_data()
    {
        QTest::addColumn<RunCase>("run");
        using enum Trouble;
        using enum Outcome;
        const auto ftp = Client::Ftp;
        const auto psftp = Client::Psftp;
        const QString cancelled =
            u"The transmission to this destination was cancelled before it ended\r\n$"_s;
        const QString stopped = u"(?:[^\r]*\r\n)*No progress for 2 s - stopped\r\n$"_s;
        const QString tries = u"\r\nAttempt 2 of 3, after a wait of 1 s: [^\r]+\r\n(?:[^\r]*\r\n)*"
                              u"Attempt 3 of 3, after a wait of 2 s: [^\r]+\r\n"_s;
        const QString ftpLine = u">ftp -s:XferJob.FTP {HOST}\r\n"_s;
        const QString psftpLine =
            u">psftp pwhostile@{HOST} -b XferJob.FTP -pwfile XferJob.PWD\r\n"_s;
        const TransferSettings idle{.idleTimeoutSeconds = 2};
        const TransferSettings twoRetries{.retries = 2, .retryWaitSeconds = 1};
        const TransferSettings oneRetry{.retries = 1, .retryWaitSeconds = 1};
        const TransferSettings longWait{.retries = 1, .retryWaitSeconds = 60};
        const TransferSettings makeDirs{.makeDirectories = true};
        const TransferSettings temporary{.temporaryNames = true};
        // Commands a shell would run, written without blanks (which the row check refuses).
        const QStringList commands{u"h;touch${IFS}pw-marker"_s, u"h&touch${IFS}pw-marker"_s,
                                   u"h|touch${IFS}pw-marker"_s, u"$(touch${IFS}pw-marker)"_s,
                                   u"`touch${IFS}pw-marker`"_s, u"h'x'&&touch${IFS}pw-marker"_s};
        // clang-format off
        QTest::newRow("ftp, sent") << RunCase{ftp, None, Sent, {}};
        QTest::newRow("psftp, sent") << RunCase{psftp, None, Sent, {}};
        QTest::newRow("ftp, silent server, cancelled") << RunCase{ftp, SilentServer, Cancelled, ftpLine + cancelled};
        QTest::newRow("psftp, silent server, cancelled") << RunCase{psftp, SilentServer, Cancelled, psftpLine + cancelled};
        QTest::newRow("psftp, silent server, stopped") << RunCase{psftp, SilentServer, Failed, psftpLine + stopped, idle, u"^No progress for 2 s - stopped$"_s};
        QTest::newRow("ftp, hosts that are shell commands") << RunCase{ftp, UnknownHost, Failed, ftpLine + u"Unknown host {HOST}.\r\n"_s, {}, {}, 1, commands};
        QTest::newRow("psftp, hosts that are shell commands") << RunCase{psftp, UnknownHost, Failed, psftpLine + u"ssh_init: Name or service not known\r\n"_s, {}, {}, 1, commands};
        QTest::newRow("ftp, missing remote directory, not retried") << RunCase{ftp, MissingRemoteDirectory, Failed, {}, twoRetries, u"^550 [^:]*: {DIR}$"_s};
        QTest::newRow("psftp, missing remote directory") << RunCase{psftp, MissingRemoteDirectory, Failed, u"\r\nUsing username \"pwhostile\".\r\n(?:[^\r]*\r\n)*[^\r]*/missing/a/b: no such file or directory\r\n"_s};
        QTest::newRow("ftp, missing remote directory made") << RunCase{ftp, MissingRemoteDirectory, Sent, {}, makeDirs};
        QTest::newRow("psftp, missing remote directory made") << RunCase{psftp, MissingRemoteDirectory, Sent, {}, makeDirs};
        QTest::newRow("ftp, two connections dropped, two retries") << RunCase{ftp, DroppedConnections, Sent, tries, twoRetries, {}, 3};
        QTest::newRow("psftp, two connections dropped, one retry") << RunCase{psftp, DroppedConnections, Failed, u"\r\nAttempt 2 of 2, after a wait of 1 s: FATAL ERROR: [^\r]+\r\n"_s, oneRetry, {}, 2};
        QTest::newRow("ftp, cancelled while waiting to retry") << RunCase{ftp, DroppedConnections, Cancelled, cancelled, longWait, u"^Cancelled while waiting for another try \\(.+\\)$"_s};
        QTest::newRow("ftp, slow server, temporary names") << RunCase{ftp, SlowServer, Sent, {}, temporary};
        QTest::newRow("ftp, slow server, temporary names, cancelled") << RunCase{ftp, SlowServer, Cancelled, cancelled, temporary};
        QTest::newRow("psftp, temporary names") << RunCase{psftp, SlowServer, Sent, {}, temporary};
        QTest::newRow("psftp, another user's password file") << RunCase{psftp, ForeignFile, NotStarted, u"XferJob.PWD in the working directory {DIR} belongs to another user or cannot be replaced - nothing was sent. Choose a working directory of your own (for example ~/Parcelwright)"_s};
        // clang-format on
    }

    void runEndsClean()
    {
        PW_REQUIRE_TESTBED(tb);
        QFETCH(RunCase, run);
        const bool secure = run.client == Client::Psftp;
        const bool refused = run.outcome == Outcome::NotStarted;
        const bool cancel = run.outcome == Outcome::Cancelled;
        const bool slow = run.fault == Trouble::SlowServer;
        if (refused)
            PW_REQUIRE_ROOT("only root can give a file to another user");
        qputenv("PUTTYDIR", QFile::encodeName(m_putty.path()));
        const TestbedAccount &account = tb.hostile;
        const RemoteDirectory before(tb.plain), tested(account), after(tb.plain);
        QVERIFY(before.isValid() && tested.isValid() && after.isValid());
        QProcess relay; // drops the first two connections to the server under test
        QString port = QString::number(m_silent.serverPort());
        if (run.fault == Trouble::DroppedConnections) {
            relay.start(u"python3"_s, {QStringLiteral(PARCELWRIGHT_SOURCE_DIR) +
                                           u"/tests/support/flaky_relay.py"_s,
                                       u"2"_s, QString::number(secure ? tb.sshPort : tb.ftpPort)});
            QVERIFY(relay.waitForReadyRead(10000));
            port = QString::fromLatin1(relay.readLine().trimmed());
            QVERIFY(writeBytes(
                m_putty.filePath(u"sessions/pwrelay"_s),
                QByteArray(m_session).replace("PortNumber=" + QByteArray::number(tb.sshPort),
                                              "PortNumber=" + port.toLatin1())));
        }
        QStringList hosts = run.hosts;
        const bool silent = run.fault == Trouble::SilentServer;
        if (silent || run.fault == Trouble::DroppedConnections)
            hosts = {secure ? (silent ? u"pwsilent"_s : u"pwrelay"_s) : u"127.0.0.1:"_s + port};
        else if (hosts.isEmpty())
            hosts = {secure ? tb.sshSession : slow ? tb.ftpSlowHost : tb.ftpHost};
        const QString testedDirectory =
            tested.path() +
            (run.fault == Trouble::MissingRemoteDirectory ? u"/missing/a/b"_s : QString());
        // The file a consumer polls for, and an earlier one of its name.
        const QString real = tested.filePath(u"big.bin"_s);
        const QString part = tested.filePath(u".big.bin.part"_s);
        const QByteArray earlier = "an earlier big.bin\r\n";
        const QStringList sent = fileNamesIn(m_local.path()).mid(slow ? 0 : 1);
        QStringList files;
        for (const QString &name : sent)
            files.append(m_local.filePath(name));
        QVERIFY(!slow || writeBytes(real, earlier, 0666)); // anyone may write it

        QTemporaryDir work;
        SessionRun engine;
        engine.window.form = {files, work.path(), 1, run.settings};
        FakeDestinationGrid &grid = engine.window.grid();
        int row = 0;
        grid.setRow({++row, u"N"_s, tb.ftpHost, before.path(), tb.plain.user, tb.plain.password});
        for (const QString &host : std::as_const(hosts))
            grid.setRow({++row, secure ? u"Y"_s : u"N"_s, host, testedDirectory, account.user,
                         account.password});
        grid.setRow({++row, u"N"_s, tb.ftpHost, after.path(), tb.plain.user, tb.plain.password});
        if (refused) {
            const QString planted = work.filePath(u"XferJob.PWD"_s);
            QVERIFY(writeBytes(planted, "another user's file\r\n", 0600));
            QCOMPARE(::chown(QFile::encodeName(planted).constData(), 65534, 65534), 0);
        }

        const QByteArrayList passwords{longestPiece(tb.plain.password),
                                       longestPiece(tb.quoted.password),
                                       longestPiece(tb.hostile.password)};
        // While psftp waits on the silent server the watch sees its command line for a second.
        RunWatch watch(work.path(), passwords);
        QVERIFY(watch.watching);
        QByteArray relayed;  // what the relay said
        QStringList partial; // sizes the real name was seen with that are neither file's
        bool partSeen = false;
        QElapsedTimer stalled;
        engine.processRequest([&] {
            watch.look();
            if (relay.state() == QProcess::Running)
                relayed += relay.readAllStandardOutput();
            const qint64 size = QFileInfo(real).size();
            if (slow && size != 0 && size != earlier.size() && size != (1 << 20))
                partial.append(QString::number(size));
            partSeen = partSeen || QFileInfo(part).size() > 0;
            // The user gives up once the client under test has waited a while, once the run waits
            // to try it again, or once the big file is under way; and on any hang.
            const bool waiting =
                run.fault == Trouble::DroppedConnections
                    ? relayed.contains("accepted") && processesIn(work.path()).isEmpty()
                    : !engine.session.lastResults().isEmpty() &&
                          !processIdsIn(work.path(), secure ? u"psftp"_s : u"parcelwright-ftp"_s)
                               .isEmpty();
            if (cancel && slow && partSeen)
                engine.session.cancel();
            if (!waiting || slow)
                return;
            if (!stalled.isValid())
                stalled.start();
            if (stalled.elapsed() > (cancel ? kPatienceMilliseconds : 20 * kPatienceMilliseconds))
                engine.session.cancel();
        });

        const QByteArray log = readBytes(work.filePath(u"FTPLogALL.TXT"_s));
        // The blocks of the log, each without its end line.
        const QStringList blocks = QString::fromLocal8Bit(log).split(kEnd, Qt::SkipEmptyParts);
        const QString hostList = hosts.join(u", "_s);
        if (refused) {
            QCOMPARE(engine.window.messages,
                     Messages({{u"Process Error"_s, run.said.replace(u"{DIR}"_s, work.path())}}));
            QCOMPARE(before.fileNames(), QStringList());
            QCOMPARE(readBytes(work.filePath(u"XferJob.PWD"_s)),
                     QByteArray("another user's file\r\n"));
        } else {
            QCOMPARE(engine.window.messages, Messages());
            QCOMPARE(before.fileNames(), sent);
            QCOMPARE(readBytes(before.filePath(u"last.txt"_s)),
                     readBytes(m_local.filePath(u"last.txt"_s)));
        }
        // A consumer never sees part of the big file under its name, nor its temporary name left.
        QCOMPARE(partial, QStringList());
        if (slow)
            QCOMPARE(readBytes(real), run.outcome == Outcome::Sent ? readBytes(files[0]) : earlier);
        if (run.outcome == Outcome::Sent) {
            QVERIFY2(engine.window.statusText.startsWith(u"All Transmissions are complete"_s),
                     qPrintable(engine.window.statusText));
            QCOMPARE(fileNamesIn(testedDirectory), sent);
            QVERIFY(!slow || secure || partSeen);
            // The watch saw the file that carries the password, so it would have seen it exposed.
            QVERIFY2(watch.held.contains(secure ? u"XferJob.PWD"_s : u"XferJob.FTP"_s),
                     qPrintable(watch.held.join(u' ')));
        } else if (cancel) {
            QCOMPARE(engine.window.statusText,
                     u"Transmission cancelled at %1 - see FTPLogALL.TXT"_s.arg(hostList));
            QCOMPARE(after.fileNames(), QStringList());
            QCOMPARE(blocks.size(), 2);
        } else if (!refused) {
            QCOMPARE(
                engine.window.statusText,
                u"Transmission ended with errors at %1 of %2 destinations (%3) - see FTPLogALL.TXT"_s
                    .arg(hosts.size())
                    .arg(hosts.size() + 2)
                    .arg(hostList));
            QCOMPARE(after.fileNames(), sent);
            QCOMPARE(blocks.size(), hosts.size() + 2);
        }
        for (int i = 0; i < hosts.size() && !refused; ++i) {
            const DestinationResult result = engine.session.lastResults().value(i + 1);
            QCOMPARE(result.outcome, run.outcome);
            QCOMPARE(result.attempts, run.attempts);
            const QRegularExpression reason(
                QString(run.reason)
                    .replace(u"{DIR}"_s, QRegularExpression::escape(testedDirectory)));
            QVERIFY2(reason.match(result.reason).hasMatch(), qPrintable(result.reason));
            const QString block = blocks.value(i + 1);
            QVERIFY2(block.startsWith(u"Output from: "_s + hosts[i] + u' ' + testedDirectory +
                                      u"\r\n"_s),
                     log.constData());
            const QRegularExpression said(
                QString(run.said).replace(u"{HOST}"_s, QRegularExpression::escape(hosts[i])));
            QVERIFY2(said.match(block).hasMatch(), qPrintable(block));
        }
        if (run.fault == Trouble::DroppedConnections)
            QCOMPARE(relayed.count("accepted"), run.attempts);
        // Not sent where the log-in left the client, over what may be there.
        if (run.fault == Trouble::MissingRemoteDirectory)
            QVERIFY(!QFile::remove(account.home + u"/first.txt"_s));

        relay.kill();
        relay.waitForFinished();
        verifyCleanEnd(work.path(), refused ? u"XferJob.PWD"_s : u"FTPLogALL.TXT"_s, watch);
    }

private:
    QTemporaryDir m_local; // the files to send
    QTemporaryDir m_putty; // the test bed's session, and those to the silent port and a relay
    QTcpServer m_silent;   // takes connections and never answers
    QByteArray m_session;  // the test bed's session
};

QTEST_GUILESS_MAIN(RunFaultsTest)
#include "run_faults_test.moc"

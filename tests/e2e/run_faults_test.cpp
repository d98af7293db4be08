#include "support/files.h"
#include "support/processes.h"
#include "support/session_run.h"
#include "support/testbed.h"

#include <QDir>
#include <QElapsedTimer>
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
    SilentServer, // a port that takes the connection and never answers: the user cancels
    UnknownHost,  // names that do not resolve; a shell would run them as commands
    MissingRemoteDirectory,
    ForeignFile, // another user's file holds one of the run's names: nothing is sent
};

/// One run: a sound plain FTP destination, the destinations under test (the hostile account's),
/// another sound one.
struct RunCase
{
    Client client; // of the destinations under test
    Trouble fault;
    QStringList hosts; // of the destinations under test; empty for the one the fault implies
    QString said;      // a pattern each of their blocks matches ({HOST}: its host), or the
                       // message of a refused run ({DIR}: the working directory)
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

        const QByteArray session = readBytes(tb.puttyDir + u"/sessions/"_s + tb.sshSession);
        QVERIFY(!session.isEmpty());
        QVERIFY(QDir(m_putty.path()).mkpath(u"sessions"_s));
        QVERIFY(writeBytes(m_putty.filePath(u"sessions/"_s + tb.sshSession), session));
        QVERIFY(writeBytes(m_putty.filePath(u"sessions/pwsilent"_s),
                           "HostName=127.0.0.1\nPortNumber=" +
                               QByteArray::number(m_silent.serverPort()) + "\nProtocol=ssh\n"));
    }

    void runEndsClean_data()
    {
        QTest::addColumn<RunCase>("run");
        using enum Trouble;
        const auto ftp = Client::Ftp;
        const auto psftp = Client::Psftp;
        const QString cancelled =
            u"The transmission to this destination was cancelled before it ended\r\n$"_s;
        const QString ftpLine = u">ftp -s:XferJob.FTP {HOST}\r\n"_s;
        const QString psftpLine =
            u">psftp pwhostile@{HOST} -b XferJob.FTP -pwfile XferJob.PWD\r\n"_s;
        // Commands a shell would run, written without blanks (which the row check refuses).
        const QStringList commands{u"h;touch${IFS}pw-marker"_s, u"h&touch${IFS}pw-marker"_s,
                                   u"h|touch${IFS}pw-marker"_s, u"$(touch${IFS}pw-marker)"_s,
                                   u"`touch${IFS}pw-marker`"_s, u"h'x'&&touch${IFS}pw-marker"_s};
        // clang-format off
        QTest::newRow("ftp, sent") << RunCase{ftp, None, {}, {}};
        QTest::newRow("psftp, sent") << RunCase{psftp, None, {}, {}};
        QTest::newRow("ftp, silent server, cancelled") << RunCase{ftp, SilentServer, {}, ftpLine + cancelled};
        QTest::newRow("psftp, silent server, cancelled") << RunCase{psftp, SilentServer, {}, psftpLine + cancelled};
        QTest::newRow("ftp, hosts that are shell commands") << RunCase{ftp, UnknownHost, commands, ftpLine + u"Unknown host {HOST}.\r\n"_s};
        QTest::newRow("psftp, hosts that are shell commands") << RunCase{psftp, UnknownHost, commands, psftpLine + u"ssh_init: Name or service not known\r\n"_s};
        QTest::newRow("psftp, missing remote directory") << RunCase{psftp, MissingRemoteDirectory, {}, u"\r\nUsing username \"pwhostile\".\r\n(?:[^\r]*\r\n)*[^\r]*/missing: no such file or directory\r\n"_s};
        QTest::newRow("psftp, another user's password file") << RunCase{psftp, ForeignFile, {}, u"XferJob.PWD in the working directory {DIR} belongs to another user or cannot be replaced - nothing was sent. Choose a working directory of your own (for example ~/Parcelwright)"_s};
        // clang-format on
    }

    void runEndsClean()
    {
        PW_REQUIRE_TESTBED(tb);
        QFETCH(RunCase, run);
        const bool secure = run.client == Client::Psftp;
        const bool refused = run.fault == Trouble::ForeignFile;
        const bool cancel = run.fault == Trouble::SilentServer;
        if (refused)
            PW_REQUIRE_ROOT("only root can give a file to another user");
        qputenv("PUTTYDIR", QFile::encodeName(m_putty.path()));
        const TestbedAccount &account = tb.hostile;
        const RemoteDirectory before(tb.plain), tested(account), after(tb.plain);
        QVERIFY(before.isValid() && tested.isValid() && after.isValid());
        QStringList hosts = run.hosts;
        if (hosts.isEmpty() && cancel)
            hosts = {secure ? u"pwsilent"_s : u"127.0.0.1:%1"_s.arg(m_silent.serverPort())};
        else if (hosts.isEmpty())
            hosts = {secure ? tb.sshSession : tb.ftpHost};
        const QString testedDirectory =
            tested.path() +
            (run.fault == Trouble::MissingRemoteDirectory ? u"/missing"_s : QString());

        QTemporaryDir work;
        SessionRun engine;
        engine.window.form = {
            {m_local.filePath(u"first.txt"_s), m_local.filePath(u"last.txt"_s)}, work.path(), 1};
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
        QElapsedTimer stalled;
        engine.processRequest([&] {
            watch.look();
            // The user gives up once the client under test has waited a while.
            if (!cancel || engine.session.lastResults().isEmpty() ||
                processIdsIn(work.path(), secure ? u"psftp"_s : u"parcelwright-ftp"_s).isEmpty())
                return;
            if (!stalled.isValid())
                stalled.start();
            if (stalled.elapsed() > kPatienceMilliseconds)
                engine.session.cancel();
        });

        const QStringList sent{u"first.txt"_s, u"last.txt"_s};
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
        if (run.fault == Trouble::None) {
            QVERIFY2(engine.window.statusText.startsWith(u"All Transmissions are complete"_s),
                     qPrintable(engine.window.statusText));
            QCOMPARE(tested.fileNames(), sent);
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
        for (int i = 0; i < hosts.size() && !refused && run.fault != Trouble::None; ++i) {
            const QString block = blocks.value(i + 1);
            QVERIFY2(block.startsWith(u"Output from: "_s + hosts[i] + u' ' + testedDirectory +
                                      u"\r\n"_s),
                     log.constData());
            const QRegularExpression said(
                QString(run.said).replace(u"{HOST}"_s, QRegularExpression::escape(hosts[i])));
            QVERIFY2(said.match(block).hasMatch(), qPrintable(block));
        }

        verifyCleanEnd(work.path(), refused ? u"XferJob.PWD"_s : u"FTPLogALL.TXT"_s, watch);
    }

private:
    QTemporaryDir m_local; // the files to send
    QTemporaryDir m_putty; // the test bed's session, and one that leads to the silent port
    QTcpServer m_silent;   // takes connections and never answers
};

QTEST_GUILESS_MAIN(RunFaultsTest)
#include "run_faults_test.moc"

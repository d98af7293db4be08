#include "platform/console.h"
#include "platform/own_files.h"
#include "platform/paths.h"
#include "platform/process_runner.h"
#include "platform/saved_file.h"
#include "platform/termination_signals.h"
#include "platform/text_file.h"
#include "support/files.h"
#include "support/processes.h"
#include "support/testbed.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <QtTest>
#include <optional>

#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

/// The OS half of the core: process groups, files in shared directories, consoles and
/// termination signals.
class PlatformTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QByteArray contents(const QString &name) const { return readBytes(path(name)); }
    void writeFile(const QString &name, const QByteArray &bytes, unsigned mode = 0644)
    {
        QVERIFY(writeBytes(path(name), bytes, mode));
    }
    /// Runs a shell script (or another program) to its end with its output into a new log.
    ProcessOutcome run(ProcessRunner &runner, const QString &script,
                       const QString &program = u"/bin/sh"_s, int idleLimit = 0)
    {
        const int descriptor = createOwnFile(path(u"FTPLog0001.TXT"_s), nullptr);
        std::optional<ProcessOutcome> outcome;
        runner.start({program, {u"-c"_s, script}, m_dir->path(), descriptor, idleLimit},
                     [&outcome](const ProcessOutcome &ended) { outcome = ended; });
        for (QDeadlineTimer deadline(30000); !outcome && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ::close(descriptor);
        return outcome.value_or(ProcessOutcome());
    }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void reportsAFailedStart()
    {
        // One that cannot start is reported from the event loop, with the reason.
        ProcessRunner runner;
        const ProcessOutcome outcome = run(runner, {}, u"/nonexistent/cmd"_s);
        QVERIFY(!outcome.started && !outcome.error.isEmpty());
    }

    void cancelStopsChildren()
    {
        // The launcher and its foreground child are deaf to SIGTERM, so cancel must end them with
        // SIGKILL; the background child hears SIGTERM at once. Nothing of the group stays.
        ProcessRunner runner;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &runner, [&] {
            if (QFile::exists(path(u"child"_s)))
                runner.cancelAll();
        });
        poll.start(10);
        const ProcessOutcome outcome = run(
            runner, u"sh -c \"trap 'echo > termed; exit' TERM; echo \\$\\$ > inner; sleep 100 & "
                    u"wait\" & until [ -s inner ]; do sleep 0.01; done; trap '' TERM; "
                    u"mv inner child; sleep 100"_s);
        QVERIFY(outcome.started && outcome.cancelled && !outcome.succeeded());
        QCOMPARE(outcome.exitStatus, 137);
        QVERIFY(QFile::exists(path(u"termed"_s)));
        QTRY_VERIFY_WITH_TIMEOUT(processesIn(m_dir->path()).isEmpty(), 10000);
    }

    void stopsAGroupWithoutProgress_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("limit");  // seconds; 0: none
        QTest::addColumn<int>("status"); // 143: stopped by SIGTERM
        // clang-format off
        QTest::newRow("silent, a silent child beside it") << u"sleep 60 & sleep 60"_s << 1 << 143;
        QTest::newRow("bytes written, nothing printed") << u"exec perl -e 'open(my $f, \">\", \"moving\"); for (1..30) { syswrite($f, \"x\" x 100); select(undef, undef, undef, 0.1) }'"_s << 1 << 0;
        QTest::newRow("silent, no limit") << u"sleep 2.5"_s << 0 << 0;
        // clang-format on
    }

    void stopsAGroupWithoutProgress()
    {
        QFETCH(QString, script);
        QFETCH(int, limit);
        QFETCH(int, status);
        ProcessRunner runner;
        const ProcessOutcome outcome = run(runner, script, u"/bin/sh"_s, limit);
        QCOMPARE(outcome.exitStatus, status);
        QCOMPARE(outcome.idleSeconds, status == 0 ? 0 : limit);
        QVERIFY(!outcome.cancelled && outcome.succeeded() == (status == 0));
        QVERIFY(processesIn(m_dir->path()).isEmpty()); // the whole group
    }

    void clientsEndWithTheirStarter()
    {
        // A server that takes connections and never says a word: each client waits for its
        // greeting until the run that started it is killed outright.
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const auto closeServer = qScopeGuard([server] { ::close(server); });
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QVERIFY(::bind(server, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
                ::listen(server, 8) == 0 &&
                ::getsockname(server, reinterpret_cast<sockaddr *>(&address), &length) == 0);
        const QByteArray host = "\t127.0.0.1:" + QByteArray::number(ntohs(address.sin_port));
        writeFile(u"hosts.tsv"_s, "N" + host + "\t\tu\tp\nY" + host + "\t\tu\tp\n", 0600);
        writeFile(u"file.txt"_s, "x");
        const QString work = path(u"work"_s);
        QVERIFY(QDir(m_dir->path()).mkdir(u"work"_s));
        QProcess batch;
        batch.start(builtProgram(u"parcelwright-batch"_s),
                    {u"--destinations"_s, path(u"hosts.tsv"_s), u"--files"_s, path(u"file.txt"_s),
                     u"--workdir"_s, work, u"--jobs"_s, u"2"_s, u"--quiet"_s});
        // Each destination's interpreter and client.
        QTRY_COMPARE_WITH_TIMEOUT(processesIn(work).size(), 4, 20000);
        QCOMPARE(::kill(pid_t(batch.processId()), SIGKILL), 0);
        QTRY_COMPARE_WITH_TIMEOUT(processesIn(work), QStringList(), 10000);
    }

    void buildsWorkingDirFile()
    {
        QCOMPARE(workingDirFile(u"C:\\Temp"_s, u"XferJob.BAT"_s, u'\\'),
                 u"C:\\Temp\\XferJob.BAT"_s);
        QCOMPARE(workingDirFile(u"C:\\Temp\\"_s, u"XferJob.BAT"_s, u'\\'),
                 u"C:\\Temp\\XferJob.BAT"_s);
        QCOMPARE(workingDirFile(u"C:\\d/"_s, u"XferJob.BAT"_s, u'\\'), u"C:\\d/\\XferJob.BAT"_s);
    }

    void startsConsole_data()
    {
        // The stand-in in $TERMINAL (none when empty) records its directory and arguments.
        QTest::addColumn<QString>("terminal");
        QTest::addColumn<QString>("expected"); // the record, or the start of the error
        // clang-format off
        QTest::newRow("unknown terminal gets -e") << u"my-term"_s << u"{W}\n-e\n{CMD}\n/K\n{W}/XferJob.Bat\n"_s;
        QTest::newRow("gnome-terminal gets --") << u"gnome-terminal"_s << u"{W}\n--working-directory={W}\n--\n{CMD}\n/K\n{W}/XferJob.Bat\n"_s;
        QTest::newRow("no terminal emulator") << QString() << u"No terminal emulator was found"_s;
        // clang-format on
    }

    void startsConsole()
    {
        QFETCH(QString, terminal);
        QFETCH(QString, expected);

        const QString work = path(u"work dir"_s), cmd = builtProgram(u"parcelwright-cmd"_s);
        expected.replace(u"{W}"_s, work).replace(u"{CMD}"_s, cmd);
        QVERIFY(QDir(m_dir->path()).mkpath(u"work dir"_s));
        if (!terminal.isEmpty())
            writeFile(terminal, "#!/bin/sh\n{ pwd; printf '%s\\n' \"$@\"; } > ../record\n", 0755);
        // Only the stand-in's directory is on PATH, so no installed terminal can be found.
        const auto restore = qScopeGuard([old = qgetenv("PATH")] { qputenv("PATH", old); });
        qputenv("PATH", QFile::encodeName(m_dir->path()));
        qputenv("TERMINAL", terminal.isEmpty() ? QByteArray() : QFile::encodeName(path(terminal)));
        const ConsoleOutcome outcome = startConsole(work, work + u"/XferJob.Bat"_s, cmd);
        QCOMPARE(outcome.started, !terminal.isEmpty());
        QCOMPARE(outcome.noTerminal, terminal.isEmpty());
        if (terminal.isEmpty())
            QVERIFY2(outcome.error.startsWith(expected), qPrintable(outcome.error));
        else
            QTRY_COMPARE_WITH_TIMEOUT(QString::fromLocal8Bit(contents(u"record"_s)), expected,
                                      20000);
    }

    void leavesPlantedFilesAlone_data()
    {
        QTest::addColumn<QString>("planted"); // what stands under the name
        QTest::addColumn<bool>("foreign");    // owned by another user (nobody)
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<QString>("refusal"); // why a save is refused; empty: saved
        // clang-format off
        QTest::newRow("own file") << u"file"_s << false << true << QString();
        QTest::newRow("own link, target kept") << u"link"_s << false << true << u"it is a symbolic link"_s;
        QTest::newRow("own directory") << u"directory"_s << false << false << u"it is not a plain file"_s;
        QTest::newRow("another user's link") << u"link"_s << true << false << u"it is a symbolic link"_s;
        QTest::newRow("another user's dangling link") << u"dangling"_s << true << false << u"it is a symbolic link"_s;
        QTest::newRow("another user's file") << u"file"_s << true << false << u"it belongs to another user"_s;
        QTest::newRow("another user's FIFO") << u"fifo"_s << true << false << u"it is not a plain file"_s;
        // clang-format on
    }

    void leavesPlantedFilesAlone()
    {
        QFETCH(QString, planted);
        QFETCH(bool, foreign);
        QFETCH(bool, cleared);
        QFETCH(QString, refusal);
        // A shared directory such as /tmp: anyone may create, only owners may remove.
        QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 01777) == 0);
        writeFile(u"target"_s, "keep");
        const QString file = path(u"XferJob.PWD"_s);
        const QByteArray name = QFile::encodeName(file);
        if (planted == u"file"_s)
            writeFile(u"XferJob.PWD"_s, "theirs", 0666);
        else if (planted == u"link"_s || planted == u"dangling"_s)
            QVERIFY(QFile::link(path(planted == u"link"_s ? u"target"_s : u"absent"_s), file));
        else if (planted == u"directory"_s)
            QVERIFY(QDir(m_dir->path()).mkdir(u"XferJob.PWD"_s));
        else
            QCOMPARE(::mkfifo(name.constData(), 0666), 0);
        if (foreign && ::lchown(name.constData(), 65534, 65534) != 0)
            PW_SKIP_OR_FAIL("only root can hand a file to another user");
        const auto state = [&] {
            struct stat info = {};
            ::lstat(name.constData(), &info);
            return QByteArrayList{QByteArray::number(qint64(info.st_ino)),
                                  QByteArray::number(info.st_mode, 8),
                                  QByteArray::number(info.st_uid),
                                  contents(u"target"_s),
                                  QFileInfo(file).isFile() ? contents(u"XferJob.PWD"_s)
                                                           : QByteArray(),
                                  fileNamesIn(m_dir->path()).join(u'/').toLocal8Bit()};
        };
        const QByteArrayList before = state();
        bool taken = false;
        // What stands under the name, even when planted between a removal and the creation, stays.
        QVERIFY(!createTextFile(file, {"secret"}, nullptr, &taken) && taken);
        QCOMPARE(state(), before);

        // A save replaces only the user's own plain file, never writing through a link.
        QString error;
        QCOMPARE(replaceTextLines(file, {"saved"}, FileAccess::OwnerOnly, &error),
                 refusal.isEmpty());
        QCOMPARE(error, refusal.isEmpty() ? QString() : u"Cannot save %1: %2"_s.arg(file, refusal));
        if (refusal.isEmpty())
            QVERIFY(contents(u"XferJob.PWD"_s) == "saved\r\n" && isOwnerOnly(file));
        else
            QCOMPARE(state(), before);

        QCOMPARE(clearOwnFile(file), cleared);
        QCOMPARE(QFileInfo(file).exists() || QFileInfo(file).isSymLink(), !cleared);
    }

    void oneHolderOfADirectoryLock()
    {
        DirectoryLock first;
        DirectoryLock second;
        QCOMPARE(first.take(path(u"XferJob.LCK"_s)), DirectoryLock::Result::Taken);
        QCOMPARE(second.take(path(u"XferJob.LCK"_s)), DirectoryLock::Result::Busy);
        first.release();
        QCOMPARE(second.take(path(u"XferJob.LCK"_s)), DirectoryLock::Result::Taken);
    }

    void refusesDirectoriesOthersMayChange_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<uint>("owner"); // the user plays nobody (65534); 0 is root
        QTest::addColumn<bool>("refused");
        // clang-format off
        QTest::newRow("own, owner only") << 0700 << 65534u << false;
        QTest::newRow("own, the group may write") << 0770 << 65534u << true;
        QTest::newRow("own, anyone may write") << 0777 << 65534u << true;
        QTest::newRow("own, sticky") << 01777 << 65534u << false;
        QTest::newRow("root's, sticky, as /tmp/shared") << 01777 << 0u << false;
        QTest::newRow("root's, anyone may write") << 0777 << 0u << true;
        QTest::newRow("another user's, sticky") << 01777 << 65533u << true;
        QTest::newRow("another user's, only they may write") << 0755 << 65533u << true;
        // clang-format on
    }

    void refusesDirectoriesOthersMayChange()
    {
        PW_REQUIRE_ROOT("directories are handed to other users");
        QFETCH(int, mode);
        QFETCH(uint, owner);
        const QByteArray directory = QFile::encodeName(path(u"work"_s));
        QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0755) == 0);
        QVERIFY(::mkdir(directory.constData(), 0700) == 0 &&
                ::chown(directory.constData(), owner, owner) == 0 &&
                ::chmod(directory.constData(), mode_t(mode)) == 0);
        QVERIFY(::seteuid(65534) == 0);
        const bool refused = othersMayChangeDirectory(QFile::decodeName(directory));
        QVERIFY(::seteuid(0) == 0);
        QTEST(refused, "refused");
    }

    void deliversTerminationSignals()
    {
        QList<int> received;
        struct sigaction before = {};
        ::sigaction(SIGTERM, nullptr, &before);
        {
            TerminationSignals termination;
            connect(&termination, &TerminationSignals::received, this,
                    [&received](int signalNumber) { received << signalNumber; });
            for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
                QCOMPARE(::raise(signalNumber),
                         0); // the process would end here without the handler
            QTRY_COMPARE(received, (QList<int>{SIGTERM, SIGINT, SIGHUP}));
        }
        // Once it is gone, the earlier actions are back.
        struct sigaction now = {};
        ::sigaction(SIGTERM, nullptr, &now);
        QVERIFY(now.sa_handler == before.sa_handler);
    }
};

QTEST_GUILESS_MAIN(PlatformTest)
#include "platform_test.moc"

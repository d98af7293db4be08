#include "platform/console.h"
#include "platform/own_files.h"
#include "platform/paths.h"
#include "platform/process_runner.h"
#include "platform/termination_signals.h"
#include "platform/text_file.h"
#include "support/files.h"
#include "support/testbed.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>

#include <QtTest>
#include <optional>

#include <csignal>
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
                       const QString &program = u"/bin/sh"_s)
    {
        const int descriptor = createOwnFile(path(u"FTPLog0001.TXT"_s), nullptr);
        std::optional<ProcessOutcome> outcome;
        runner.start({program, {u"-c"_s, script}, m_dir->path(), descriptor},
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
        // Deaf to SIGTERM, so cancel must end with SIGKILL; the background child must end too.
        ProcessRunner runner;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &runner, [&] {
            if (QFile::exists(path(u"child"_s)))
                runner.cancelAll();
        });
        poll.start(10);
        const ProcessOutcome outcome =
            run(runner, u"trap '' TERM; sleep 100 & echo $! > c.tmp; mv c.tmp child; sleep 100"_s);
        QVERIFY(outcome.started && outcome.cancelled && !outcome.succeeded());
        QCOMPARE(outcome.exitStatus, 137);
        const QString stat =
            u"/proc/"_s + QString::fromLatin1(contents(u"child"_s).trimmed()) + u"/stat"_s;
        const auto running = [&] {
            QFile file(stat);
            return file.open(QIODevice::ReadOnly) && !file.readAll().contains(") Z ");
        };
        QTRY_VERIFY_WITH_TIMEOUT(!running(), 10000);
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

    void makesRoomOnlyForOwnFiles_data()
    {
        QTest::addColumn<QString>("planted"); // what stands under the name
        QTest::addColumn<bool>("foreign");    // owned by another user (nobody)
        QTest::addColumn<bool>("cleared");
        QTest::newRow("own file") << u"file"_s << false << true;
        QTest::newRow("own link, target kept") << u"link"_s << false << true;
        QTest::newRow("own directory") << u"directory"_s << false << false;
        QTest::newRow("another user's link") << u"link"_s << true << false;
    }

    void makesRoomOnlyForOwnFiles()
    {
        QFETCH(QString, planted);
        QFETCH(bool, foreign);
        QFETCH(bool, cleared);
        // A shared directory such as /tmp: anyone may create, only owners may remove.
        QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 01777) == 0);
        writeFile(u"target"_s, "keep");
        const QString file = path(u"XferJob.PWD"_s);
        const QByteArray name = QFile::encodeName(file);
        if (planted == u"file"_s)
            writeFile(u"XferJob.PWD"_s, "theirs");
        else if (planted == u"link"_s)
            QVERIFY(QFile::link(path(u"target"_s), file));
        else if (planted == u"directory"_s)
            QVERIFY(QDir(m_dir->path()).mkdir(u"XferJob.PWD"_s));
        if (foreign && ::lchown(name.constData(), 65534, 65534) != 0) {
            if (qEnvironmentVariableIsEmpty("CI"))
                QSKIP("only root can hand a file to another user");
            QFAIL("cannot hand the file to another user");
        }
        const auto state = [&] {
            struct stat info = {};
            ::lstat(name.constData(), &info);
            return QByteArrayList{
                QByteArray::number(qint64(info.st_ino)), QByteArray::number(info.st_mode, 8),
                QByteArray::number(info.st_uid), contents(u"target"_s), contents(u"XferJob.PWD"_s)};
        };
        const QByteArrayList before = state();
        bool taken = false;
        // What stands under the name, even when planted between a removal and the creation, stays.
        QVERIFY(!createTextFile(file, {"secret"}, nullptr, &taken) && taken);
        QCOMPARE(state(), before);

        QCOMPARE(clearOwnFile(file), cleared);
        QCOMPARE(QFileInfo(file).exists() || QFileInfo(file).isSymLink(), !cleared);
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

#include "platform/console.h"
#include "platform/dir_search.h"
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
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

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
                       const QString &program = u"/bin/sh"_s,
                       const QString &log = u"FTPLog0001.TXT"_s)
    {
        const int descriptor = createOwnFile(path(log), nullptr);
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
    void runs_data();
    void runs();
    void cancelStopsChildren();
    void runsSideBySide();
    void searchesDirectory_data();
    void searchesDirectory();
    void writesCrLf();
    void buildsWorkingDirFile();
    void startsConsole_data();
    void startsConsole();
    void clearsOnlyOwnFiles_data();
    void clearsOnlyOwnFiles();
    void deliversTerminationSignals();
};

void PlatformTest::runs_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status"); // -1: not started
    QTest::addColumn<QByteArray>("log");
    // clang-format off
    QTest::newRow("exit status") << u"/bin/sh"_s << u"exit 3"_s << 3 << QByteArray();
    QTest::newRow("streams in order") << u"/bin/sh"_s << u"echo 1; echo 2 >&2; echo 3; echo 4 >&2"_s << 0 << QByteArray("1\n2\n3\n4\n");
    QTest::newRow("input at its end") << u"/bin/sh"_s << u"read x || echo eof"_s << 0 << QByteArray("eof\n");
    QTest::newRow("cannot start") << u"/nonexistent/cmd"_s << QString() << -1 << QByteArray();
    // clang-format on
}

void PlatformTest::runs()
{
    QFETCH(QString, program);
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QByteArray, log);

    ProcessRunner runner;
    const ProcessOutcome outcome = run(runner, script, program);
    QCOMPARE(outcome.started, status >= 0);
    QCOMPARE(outcome.error.isEmpty(), status >= 0);
    QCOMPARE(outcome.exitStatus, status);
    QCOMPARE(contents(u"FTPLog0001.TXT"_s), log);
}

void PlatformTest::cancelStopsChildren()
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

void PlatformTest::runsSideBySide()
{
    // Each waits for the other's file: only two programs running at once both end.
    ProcessRunner runner;
    ProcessOutcome second;
    QTimer::singleShot(0, this, [&] {
        second = run(runner, u"touch b; while [ ! -e a ]; do sleep 0.01; done; exit 5"_s,
                     u"/bin/sh"_s, u"FTPLog0002.TXT"_s);
    });
    QCOMPARE(run(runner, u"touch a; while [ ! -e b ]; do sleep 0.01; done; exit 4"_s).exitStatus,
             4);
    QTRY_COMPARE(second.exitStatus, 5);
    QCOMPARE(runner.runningCount(), 0);
}

void PlatformTest::searchesDirectory_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    // clang-format off
    QTest::newRow("any case, hidden, no subdirectories") << u"*.pro"_s << u".pro A.PRO b.pro"_s;
    QTest::newRow("pattern in upper case") << u"*.PRO"_s << u".pro A.PRO b.pro"_s;
    QTest::newRow("sorted without regard to case") << u"b*"_s << u"b.pro B2"_s;
    // clang-format on
}

void PlatformTest::searchesDirectory()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    for (const QString &name : {u"b.pro"_s, u"A.PRO"_s, u".pro"_s, u"B2"_s, u"x.pro.bak"_s})
        writeFile(name, "");
    QVERIFY(QDir(m_dir->path()).mkpath(u"dir.pro"_s) && QDir(m_dir->path()).mkpath(u"sub"_s));
    writeFile(u"sub/in.pro"_s, "");
    QCOMPARE(searchDirectory(m_dir->path(), pattern), expected.split(u' '));
}

void PlatformTest::writesCrLf()
{
    // Over an old, longer, world-readable file.
    for (const bool replacing : {false, true}) {
        writeFile(u"XferJob.FTP"_s, "an old and longer text\r\n\r\n\r\n");
        const QList<QByteArray> lines{"@echo on", "", "  \xc3\xa4\xff\t\"q\" \\in "};
        const QString target = path(u"XferJob.FTP"_s);
        QVERIFY(replacing ? replaceTextLines(target, lines, FileAccess::OwnerOnly)
                          : QFile::remove(target) && createTextFile(target, lines));
        QCOMPARE(contents(u"XferJob.FTP"_s),
                 QByteArray("@echo on\r\n\r\n  \xc3\xa4\xff\t\"q\" \\in \r\n"));
        QVERIFY(isOwnerOnly(path(u"XferJob.FTP"_s)));
    }
}

void PlatformTest::buildsWorkingDirFile()
{
    QCOMPARE(workingDirFile(u"/tmp/w"_s, u"XferJob.BAT"_s, u'/'), u"/tmp/w/XferJob.BAT"_s);
    QCOMPARE(workingDirFile(u"/tmp/w/"_s, u"XferJob.BAT"_s, u'/'), u"/tmp/w/XferJob.BAT"_s);
    QCOMPARE(workingDirFile(u"C:\\Temp"_s, u"XferJob.BAT"_s, u'\\'), u"C:\\Temp\\XferJob.BAT"_s);
    QCOMPARE(workingDirFile(u"C:\\Temp\\"_s, u"XferJob.BAT"_s, u'\\'), u"C:\\Temp\\XferJob.BAT"_s);
    QCOMPARE(workingDirFile(u"C:\\d/"_s, u"XferJob.BAT"_s, u'\\'), u"C:\\d/\\XferJob.BAT"_s);
}

void PlatformTest::startsConsole_data()
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

void PlatformTest::startsConsole()
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
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromLocal8Bit(contents(u"record"_s)), expected, 20000);
}

void PlatformTest::clearsOnlyOwnFiles_data()
{
    QTest::addColumn<QString>("planted"); // what stands under the name
    QTest::addColumn<bool>("foreign");    // owned by another user (nobody)
    QTest::addColumn<bool>("cleared");
    QTest::newRow("nothing") << QString() << false << true;
    QTest::newRow("own file") << u"file"_s << false << true;
    QTest::newRow("own link, target kept") << u"link"_s << false << true;
    QTest::newRow("own directory") << u"directory"_s << false << false;
    QTest::newRow("another user's file") << u"file"_s << true << false;
    QTest::newRow("another user's link") << u"link"_s << true << false;
}

void PlatformTest::clearsOnlyOwnFiles()
{
    QFETCH(QString, planted);
    QFETCH(bool, foreign);
    QFETCH(bool, cleared);
    // A shared directory such as /tmp: anyone may create, only owners may remove.
    QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)) &&
            ::chmod(QFile::encodeName(m_dir->path()).constData(), 01777) == 0);
    writeFile(u"target"_s, "keep");
    const QByteArray name = QFile::encodeName(path(u"FTPLogALL.TXT"_s));
    if (planted == u"file"_s)
        writeFile(u"FTPLogALL.TXT"_s, "theirs");
    else if (planted == u"link"_s)
        QVERIFY(QFile::link(path(u"target"_s), path(u"FTPLogALL.TXT"_s)));
    else if (planted == u"directory"_s)
        QVERIFY(QDir(m_dir->path()).mkdir(u"FTPLogALL.TXT"_s));
    if (foreign && ::lchown(name.constData(), 65534, 65534) != 0) {
        if (qEnvironmentVariableIsEmpty("CI"))
            QSKIP("only root can hand a file to another user");
        QFAIL("cannot hand the file to another user");
    }

    QCOMPARE(clearOwnFile(path(u"FTPLogALL.TXT"_s)), cleared);
    QCOMPARE(QFileInfo(path(u"FTPLogALL.TXT"_s)).exists() ||
                 QFileInfo(path(u"FTPLogALL.TXT"_s)).isSymLink(),
             !cleared);
    QCOMPARE(contents(u"target"_s), QByteArray("keep"));
}

void PlatformTest::deliversTerminationSignals()
{
    QList<int> received;
    struct sigaction before = {};
    ::sigaction(SIGTERM, nullptr, &before);
    {
        TerminationSignals termination;
        connect(&termination, &TerminationSignals::received, this,
                [&received](int signalNumber) { received << signalNumber; });
        for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
            QCOMPARE(::raise(signalNumber), 0); // the process would end here without the handler
        QTRY_COMPARE(received, (QList<int>{SIGTERM, SIGINT, SIGHUP}));
    }
    // Once it is gone, the earlier actions are back.
    struct sigaction now = {};
    ::sigaction(SIGTERM, nullptr, &now);
    QVERIFY(now.sa_handler == before.sa_handler);
}

QTEST_GUILESS_MAIN(PlatformTest)
#include "platform_test.moc"

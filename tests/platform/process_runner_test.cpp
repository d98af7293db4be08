#include "platform/launcher.h"
#include "support/testbed.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

/// Starts real programs through ProcessRunner and the command interpreter launcher.
class ProcessRunnerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void runs_data();
    void runs();
    void cancelStopsWholeGroup_data();
    void cancelStopsWholeGroup();
    void keepsEventLoopTurning();

private:
    LaunchRequest shell(const QString &script) const
    {
        return {
            u"/bin/sh"_s, {u"-c"_s, script}, m_dir->path(), m_dir->filePath(u"FTPLog0001.TXT"_s)};
    }
    QByteArray log() const
    {
        QFile file(m_dir->filePath(u"FTPLog0001.TXT"_s));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no log>");
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void ProcessRunnerTest::init()
{
    // An old, longer, world-readable log that every run must replace.
    m_dir = std::make_unique<QTemporaryDir>();
    QFile old(m_dir->filePath(u"FTPLog0001.TXT"_s));
    QVERIFY(old.open(QIODevice::WriteOnly) &&
            old.write("an old log, longer than any new one\n") > 0);
    QVERIFY(
        old.setPermissions(old.permissions() | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    QFile plain(m_dir->filePath(u"plain"_s));
    QVERIFY(plain.open(QIODevice::WriteOnly));
}

void ProcessRunnerTest::runs_data()
{
    QTest::addColumn<QString>("program"); // /bin/sh when empty; {DIR} is the temporary directory
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("logPath"); // FTPLog0001.TXT when empty
    QTest::addColumn<bool>("started");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("expectedLog");

    QTest::newRow("working directory")
        << QString() << u"pwd"_s << QString() << true << 0 << QByteArray("{DIR}\n");
    QTest::newRow("failure status")
        << QString() << u"exit 3"_s << QString() << true << 3 << QByteArray();
    QTest::newRow("highest status")
        << QString() << u"exit 255"_s << QString() << true << 255 << QByteArray();
    QTest::newRow("ended by SIGTERM")
        << QString() << u"kill -TERM $$"_s << QString() << true << 143 << QByteArray();
    QTest::newRow("ended by SIGKILL")
        << QString() << u"kill -KILL $$"_s << QString() << true << 137 << QByteArray();
    QTest::newRow("both streams in order")
        << QString() << u"echo 1; echo 2 >&2; echo 3; echo 4 >&2"_s << QString() << true << 0
        << QByteArray("1\n2\n3\n4\n");
    QTest::newRow("input at its end at once") << QString() << u"read x || echo eof; cat"_s
                                              << QString() << true << 0 << QByteArray("eof\n");
    QTest::newRow("no such program")
        << u"/nonexistent/cmd"_s << QString() << QString() << false << -1 << QByteArray();
    QTest::newRow("log cannot be created") << QString() << u"exit 0"_s << u"{DIR}/plain/log"_s
                                           << false << -1 << QByteArray("<no log>");
}

void ProcessRunnerTest::runs()
{
    QFETCH(QString, program);
    QFETCH(QString, script);
    QFETCH(QString, logPath);
    QFETCH(bool, started);
    QFETCH(int, status);
    QFETCH(QByteArray, expectedLog);

    LaunchRequest request = shell(script);
    if (!program.isEmpty())
        request.program = program;
    if (!logPath.isEmpty()) {
        request.logPath = logPath.replace(u"{DIR}"_s, m_dir->path());
        QVERIFY(QFile::remove(m_dir->filePath(u"FTPLog0001.TXT"_s)));
    }
    ProcessRunner runner;
    const ProcessOutcome outcome = runner.run(request);
    QCOMPARE(outcome.started, started);
    QCOMPARE(outcome.error.isEmpty(), started);
    QCOMPARE(outcome.exitStatus, status);
    QCOMPARE(outcome.succeeded(), started && status == 0);
    QVERIFY(!outcome.cancelled && !runner.isRunning());
    QCOMPARE(log(), expectedLog.replace("{DIR}", QFile::encodeName(m_dir->path())));
    struct stat info;
    if (::stat(QFile::encodeName(request.logPath).constData(), &info) == 0)
        QCOMPARE(info.st_mode & 0777, 0600u);
}

void ProcessRunnerTest::cancelStopsWholeGroup_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");

    // The background child's id goes to "child", so the test can see that it ended too.
    const QString start =
        u"sleep 100 & echo $! > c.tmp; mv c.tmp child; sleep 100; echo survived"_s;
    QTest::newRow("interpreter and its client") << start << 143;
    QTest::newRow("programs deaf to SIGTERM") << u"trap '' TERM; "_s + start << 137;
}

void ProcessRunnerTest::cancelStopsWholeGroup()
{
    QFETCH(QString, script);
    QFETCH(int, status);

    ProcessRunner runner;
    const QString childFile = m_dir->filePath(u"child"_s);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &runner, [&] {
        if (QFile::exists(childFile))
            runner.cancel();
    });
    poll.start(10);
    const ProcessOutcome outcome = runner.run(shell(script));
    QVERIFY(outcome.started && outcome.cancelled && !outcome.succeeded());
    QCOMPARE(outcome.exitStatus, status);
    QCOMPARE(log(), QByteArray());

    // Gone, or a zombie waiting to be reaped: either way it no longer runs.
    QFile child(childFile);
    QVERIFY(child.open(QIODevice::ReadOnly));
    const QString statPath =
        u"/proc/"_s + QString::fromLatin1(child.readAll().trimmed()) + u"/stat"_s;
    const auto ended = [&statPath] {
        QFile stat(statPath);
        const QByteArray fields = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        return fields.isEmpty() || fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
    };
    QTRY_VERIFY_WITH_TIMEOUT(ended(), 10000);
}

void ProcessRunnerTest::keepsEventLoopTurning()
{
    // The batch waits for a file that only a timer of this thread creates, and a second run
    // tried meanwhile is refused.
    QFile batch(m_dir->filePath(u"XferJob.BAT"_s));
    QVERIFY(batch.open(QIODevice::WriteOnly));
    batch.write(
        "@echo off\r\nsh -c \"while [ ! -e go ]; do sleep 0.01; done; echo err >&2; exit 4\"\r\n");
    batch.close();
    CommandInterpreterLauncher launcher(builtProgram(u"parcelwright-cmd"_s));
    ProcessOutcome nested;
    QTimer::singleShot(20, this, [&] {
        nested =
            launcher.runBatch(m_dir->path(), u"XferJob.Bat"_s, m_dir->filePath(u"other.TXT"_s));
        QFile(m_dir->filePath(u"go"_s)).open(QIODevice::WriteOnly);
    });
    const ProcessOutcome outcome =
        launcher.runBatch(m_dir->path(), u"XferJob.Bat"_s, m_dir->filePath(u"FTPLog0001.TXT"_s));
    QVERIFY2(outcome.started, qPrintable(outcome.error));
    QCOMPARE(outcome.exitStatus, 4);
    QCOMPARE(log(), QByteArray("err\n"));
    QVERIFY(!nested.started && !nested.error.isEmpty());
}

QTEST_GUILESS_MAIN(ProcessRunnerTest)
#include "process_runner_test.moc"

#include "platform/launcher.h"
#include "platform/process_runner.h"
#include "support/testbed.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

/// Starts real programs through ProcessRunner and the command interpreter launcher.
class ProcessRunnerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void passesExitStatus_data();
    void passesExitStatus();
    void reportsStartFailure_data();
    void reportsStartFailure();
    void cancelStopsWholeGroup_data();
    void cancelStopsWholeGroup();
    void replacesLogOwnerOnly();
    void keepsEventLoopTurning();
    void runsBatchThroughInterpreter();

private:
    LaunchSpec shell(const QString &script) const;
    QByteArray log() const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void ProcessRunnerTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

LaunchSpec ProcessRunnerTest::shell(const QString &script) const
{
    LaunchSpec spec;
    spec.program = QStringLiteral("/bin/sh");
    spec.arguments = {QStringLiteral("-c"), script};
    spec.workingDirectory = m_dir->path();
    spec.logPath = m_dir->filePath(QStringLiteral("FTPLog0001.TXT"));
    return spec;
}

QByteArray ProcessRunnerTest::log() const
{
    QFile file(m_dir->filePath(QStringLiteral("FTPLog0001.TXT")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no log>");
}

void ProcessRunnerTest::passesExitStatus_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("expectedLog");

    QTest::newRow("success") << QStringLiteral("pwd") << 0 << QByteArray("{DIR}\n");
    QTest::newRow("failure status") << QStringLiteral("exit 3") << 3 << QByteArray();
    QTest::newRow("highest status") << QStringLiteral("exit 255") << 255 << QByteArray();
    QTest::newRow("ended by SIGTERM")
        << QStringLiteral("kill -TERM $$") << 128 + SIGTERM << QByteArray();
    QTest::newRow("ended by SIGKILL")
        << QStringLiteral("kill -KILL $$") << 128 + SIGKILL << QByteArray();
    QTest::newRow("both streams in order")
        << QStringLiteral("echo one; echo two >&2; echo three; echo four >&2") << 0
        << QByteArray("one\ntwo\nthree\nfour\n");
    QTest::newRow("input is at its end at once")
        << QStringLiteral("if read line; then echo got; else echo eof; fi; cat") << 0
        << QByteArray("eof\n");
}

void ProcessRunnerTest::passesExitStatus()
{
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QByteArray, expectedLog);

    ProcessRunner runner;
    const ProcessOutcome outcome = runner.run(shell(script));
    QVERIFY2(outcome.started, qPrintable(outcome.error));
    QVERIFY(!outcome.cancelled);
    QCOMPARE(outcome.exitStatus, status);
    QCOMPARE(outcome.succeeded(), status == 0);
    QCOMPARE(log(), expectedLog.replace("{DIR}", QFile::encodeName(m_dir->path())));
    QVERIFY(!runner.isRunning());
}

void ProcessRunnerTest::reportsStartFailure_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("workingDirectory");
    QTest::addColumn<QString>("logPath");

    QTest::newRow("no such program")
        << QStringLiteral("/nonexistent/parcelwright-none") << QString() << QString();
    QTest::newRow("no such working directory")
        << QString() << QStringLiteral("{DIR}/missing") << QString();
    QTest::newRow("log cannot be created")
        << QString() << QString() << QStringLiteral("{DIR}/plain-file/FTPLog0001.TXT");
    QTest::newRow("no log named") << QString() << QString() << QStringLiteral("-");
}

void ProcessRunnerTest::reportsStartFailure()
{
    QFETCH(QString, program);
    QFETCH(QString, workingDirectory);
    QFETCH(QString, logPath);

    QFile plain(m_dir->filePath(QStringLiteral("plain-file")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    LaunchSpec spec = shell(QStringLiteral("exit 0"));
    if (!program.isEmpty())
        spec.program = program;
    if (!workingDirectory.isEmpty())
        spec.workingDirectory = workingDirectory.replace(QStringLiteral("{DIR}"), m_dir->path());
    if (logPath == QStringLiteral("-"))
        spec.logPath.clear();
    else if (!logPath.isEmpty())
        spec.logPath = logPath.replace(QStringLiteral("{DIR}"), m_dir->path());

    ProcessRunner runner;
    const ProcessOutcome outcome = runner.run(spec);
    QVERIFY(!outcome.started);
    QVERIFY(!outcome.succeeded());
    QVERIFY(!outcome.error.isEmpty());
    QVERIFY(!runner.isRunning());
}

void ProcessRunnerTest::cancelStopsWholeGroup_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");

    // The background child's id goes to "child" so the test can see that it is gone too.
    QTest::newRow("interpreter and its client")
        << QStringLiteral("sleep 100 & echo $! > child.tmp; mv child.tmp child; sleep 100")
        << 128 + SIGTERM;
    QTest::newRow("programs deaf to SIGTERM")
        << QStringLiteral("trap '' TERM; sleep 100 & echo $! > child.tmp; mv child.tmp child; "
                          "sleep 100; echo survived")
        << 128 + SIGKILL;
}

void ProcessRunnerTest::cancelStopsWholeGroup()
{
    QFETCH(QString, script);
    QFETCH(int, status);

    ProcessRunner runner;
    const QString childFile = m_dir->filePath(QStringLiteral("child"));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &runner, [&] {
        if (QFile::exists(childFile)) {
            poll.stop();
            runner.cancel();
        }
    });
    poll.start(10);
    const ProcessOutcome outcome = runner.run(shell(script));
    QVERIFY(outcome.started);
    QVERIFY(outcome.cancelled);
    QVERIFY(!outcome.succeeded());
    QCOMPARE(outcome.exitStatus, status);
    QCOMPARE(log(), QByteArray());

    QFile child(childFile);
    QVERIFY(child.open(QIODevice::ReadOnly));
    const QByteArray childId = child.readAll().trimmed();
    // Gone, or a zombie waiting for init to reap it: either way it no longer runs. A SIGKILL
    // takes a moment to land, so give it that moment.
    const QString statPath =
        QStringLiteral("/proc/") + QString::fromLatin1(childId) + QStringLiteral("/stat");
    const auto ended = [&statPath] {
        QFile stat(statPath);
        if (!stat.open(QIODevice::ReadOnly))
            return true;
        const QByteArray fields = stat.readAll();
        return fields.isEmpty() || fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
    };
    QTRY_VERIFY_WITH_TIMEOUT(ended(), 10000);
    runner.cancel(); // harmless after the end
}

void ProcessRunnerTest::replacesLogOwnerOnly()
{
    const QString logPath = m_dir->filePath(QStringLiteral("FTPLog0001.TXT"));
    QFile old(logPath);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an old log that is longer than the new one\n");
    old.close();
    QVERIFY(old.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ReadGroup | QFileDevice::ReadOther));

    ProcessRunner runner;
    QVERIFY(runner.run(shell(QStringLiteral("echo new"))).succeeded());
    QCOMPARE(log(), QByteArray("new\n"));
    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(logPath).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);
}

void ProcessRunnerTest::keepsEventLoopTurning()
{
    ProcessRunner runner;
    bool timerFired = false;
    bool runningMeanwhile = false;
    ProcessOutcome nested;
    QTimer::singleShot(10, &runner, [&] {
        timerFired = true;
        runningMeanwhile = runner.isRunning();
        nested = runner.run(shell(QStringLiteral("exit 0")));
    });
    // The program waits for a file that only the timer's side of the loop can give it.
    QTimer::singleShot(20, &runner, [&] {
        QFile go(m_dir->filePath(QStringLiteral("go")));
        QVERIFY(go.open(QIODevice::WriteOnly));
    });
    const ProcessOutcome outcome =
        runner.run(shell(QStringLiteral("while [ ! -e go ]; do sleep 0.01; done")));
    QVERIFY(outcome.succeeded());
    QVERIFY(timerFired);
    QVERIFY(runningMeanwhile);
    QVERIFY(!nested.started);
    QVERIFY(!nested.error.isEmpty());
}

void ProcessRunnerTest::runsBatchThroughInterpreter()
{
    QFile batch(m_dir->filePath(QStringLiteral("XferJob.BAT")));
    QVERIFY(batch.open(QIODevice::WriteOnly));
    batch.write("@echo off\r\necho hi\r\nsh -c \"echo err >&2; exit 4\"\r\n");
    batch.close();

    CommandInterpreterLauncher launcher(builtProgram(QStringLiteral("parcelwright-cmd")));
    const ProcessOutcome outcome =
        launcher.runBatch(m_dir->path(), QStringLiteral("XferJob.Bat"),
                          m_dir->filePath(QStringLiteral("FTPLog0001.TXT")));
    QVERIFY2(outcome.started, qPrintable(outcome.error));
    QCOMPARE(outcome.exitStatus, 4);
    QCOMPARE(log(), QByteArray("hi\nerr\n"));
    launcher.cancel(); // harmless when nothing runs
}

QTEST_GUILESS_MAIN(ProcessRunnerTest)
#include "process_runner_test.moc"

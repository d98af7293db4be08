#include "platform/console.h"
#include "support/testbed.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

/// Opens consoles through fake terminal emulators that record how they were started.
class ConsoleTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void startsTerminal_data();
    void startsTerminal();
    void runsBatchThenShell();
    void refuses_data();
    void refuses();

private:
    QString writeScript(const QString &name, const QByteArray &body);
    QStringList waitForRecord();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_workDir;
    QByteArray m_savedPath;
    QByteArray m_savedTerminal;
};

void ConsoleTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_workDir = m_dir->filePath(QStringLiteral("work dir"));
    QVERIFY(QDir().mkpath(m_workDir));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("terminals"))));
    m_savedPath = qgetenv("PATH");
    m_savedTerminal = qgetenv("TERMINAL");
}

void ConsoleTest::cleanup()
{
    qputenv("PATH", m_savedPath);
    if (m_savedTerminal.isNull())
        qunsetenv("TERMINAL");
    else
        qputenv("TERMINAL", m_savedTerminal);
}

QString ConsoleTest::writeScript(const QString &name, const QByteArray &body)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body) < 0)
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return path;
}

// The record is moved into place whole, so it is either absent or complete.
QStringList ConsoleTest::waitForRecord()
{
    const QString record = m_dir->filePath(QStringLiteral("record"));
    if (!QTest::qWaitFor([&] { return QFile::exists(record); }, 20000))
        return {QStringLiteral("<no record>")};
    QFile file(record);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<unreadable record>")};
    QStringList lines = QString::fromLocal8Bit(file.readAll()).split(u'\n');
    lines.removeLast();
    return lines;
}

void ConsoleTest::startsTerminal_data()
{
    QTest::addColumn<QString>("terminalName");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("unknown terminal gets -e")
        << QStringLiteral("my-term")
        << QStringList{QStringLiteral("-e"), QStringLiteral("{CMD}"), QStringLiteral("/K"),
                       QStringLiteral("{BAT}")};
    QTest::newRow("gnome-terminal gets --")
        << QStringLiteral("gnome-terminal")
        << QStringList{QStringLiteral("--working-directory={WORK}"), QStringLiteral("--"),
                       QStringLiteral("{CMD}"), QStringLiteral("/K"), QStringLiteral("{BAT}")};
    QTest::newRow("xfce4-terminal gets -x")
        << QStringLiteral("xfce4-terminal")
        << QStringList{QStringLiteral("-x"), QStringLiteral("{CMD}"), QStringLiteral("/K"),
                       QStringLiteral("{BAT}")};
    QTest::newRow("kitty takes the command bare")
        << QStringLiteral("kitty")
        << QStringList{QStringLiteral("{CMD}"), QStringLiteral("/K"), QStringLiteral("{BAT}")};
    QTest::newRow("lxterminal gets one quoted string")
        << QStringLiteral("lxterminal")
        << QStringList{QStringLiteral("-e"), QStringLiteral("'{CMD}' '/K' '{BAT}'")};
}

void ConsoleTest::startsTerminal()
{
    QFETCH(QString, terminalName);
    QFETCH(QStringList, arguments);

    const QString record = m_dir->filePath(QStringLiteral("record"));
    const QString terminal =
        writeScript(QStringLiteral("terminals/") + terminalName,
                    "{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > '" +
                        QFile::encodeName(record) + ".tmp' && mv '" + QFile::encodeName(record) +
                        ".tmp' '" + QFile::encodeName(record) + "'\n");
    qputenv("TERMINAL", QFile::encodeName(terminal));

    const QString interpreter = builtProgram(QStringLiteral("parcelwright-cmd"));
    const QString batch = m_workDir + QStringLiteral("/XferJob.Bat");
    QString error;
    QVERIFY2(startConsole(m_workDir, batch, &error, interpreter), qPrintable(error));

    arguments.replaceInStrings(QStringLiteral("{CMD}"), interpreter);
    arguments.replaceInStrings(QStringLiteral("{BAT}"), batch);
    arguments.replaceInStrings(QStringLiteral("{WORK}"), m_workDir);
    QCOMPARE(waitForRecord(), QStringList{m_workDir} + arguments);
}

void ConsoleTest::runsBatchThenShell()
{
    // A terminal that runs what follows -e, like xterm without a window, and a shell that notes
    // where it started: the whole road from button to open console.
    const QString record = m_dir->filePath(QStringLiteral("record"));
    const QString terminal =
        writeScript(QStringLiteral("terminals/run-term"),
                    "shift\nexec \"$@\" > '" + QFile::encodeName(record) + ".tmp' 2>&1\n");
    const QString shell =
        writeScript(QStringLiteral("shell"), "pwd\nmv '" + QFile::encodeName(record) + ".tmp' '" +
                                                 QFile::encodeName(record) + "'\n");
    QFile batch(m_workDir + QStringLiteral("/XferJob.BAT"));
    QVERIFY(batch.open(QIODevice::WriteOnly));
    batch.write("@echo off\r\necho testing\r\n");
    batch.close();

    qputenv("TERMINAL", QFile::encodeName(terminal));
    const QByteArray savedShell = qgetenv("SHELL");
    qputenv("SHELL", QFile::encodeName(shell));
    QString error;
    const bool started = startConsole(m_workDir, m_workDir + QStringLiteral("/XferJob.Bat"), &error,
                                      builtProgram(QStringLiteral("parcelwright-cmd")));
    qputenv("SHELL", savedShell);
    QVERIFY2(started, qPrintable(error));
    QCOMPARE(waitForRecord(), (QStringList{QStringLiteral("testing"), m_workDir}));
}

void ConsoleTest::refuses_data()
{
    QTest::addColumn<bool>("terminalAvailable");
    QTest::addColumn<QString>("workDir");
    QTest::addColumn<QString>("interpreter");
    QTest::addColumn<QString>("message");

    QTest::newRow("no terminal emulator")
        << false << QString() << QString() << QStringLiteral("No terminal emulator was found");
    QTest::newRow("missing working directory")
        << true << QStringLiteral("{DIR}/missing") << QString()
        << QStringLiteral("The working directory {DIR}/missing does not exist.");
    QTest::newRow("missing interpreter")
        << true << QString() << QStringLiteral("{DIR}/no-cmd")
        << QStringLiteral("The command interpreter {DIR}/no-cmd was not found.");
}

void ConsoleTest::refuses()
{
    QFETCH(bool, terminalAvailable);
    QFETCH(QString, workDir);
    QFETCH(QString, interpreter);
    QFETCH(QString, message);

    // Only the empty terminals directory is on PATH, so no installed terminal can be found.
    qputenv("PATH", QFile::encodeName(m_dir->filePath(QStringLiteral("terminals"))));
    if (terminalAvailable)
        qputenv("TERMINAL",
                QFile::encodeName(writeScript(QStringLiteral("terminals/t"), "exit 0\n")));
    else
        qunsetenv("TERMINAL");
    workDir =
        workDir.isEmpty() ? m_workDir : workDir.replace(QStringLiteral("{DIR}"), m_dir->path());
    interpreter = interpreter.isEmpty()
                      ? builtProgram(QStringLiteral("parcelwright-cmd"))
                      : interpreter.replace(QStringLiteral("{DIR}"), m_dir->path());
    message.replace(QStringLiteral("{DIR}"), m_dir->path());

    QString error;
    QVERIFY(!startConsole(workDir, QStringLiteral("XferJob.Bat"), &error, interpreter));
    QVERIFY2(error.startsWith(message), qPrintable(error));
}

QTEST_GUILESS_MAIN(ConsoleTest)
#include "console_test.moc"

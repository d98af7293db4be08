#include "platform/console.h"
#include "support/testbed.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

/// Opens consoles through stand-in terminal emulators that record how they were started.
class ConsoleTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsTerminal_data();
    void startsTerminal();
};

void ConsoleTest::startsTerminal_data()
{
    // {CMD}: parcelwright-cmd, {BAT}: the batch file, {DIR}: the temporary directory, {WORK}: the
    // working directory. The record holds the terminal's directory, then one argument a line.
    QTest::addColumn<QString>("terminal"); // name of the stand-in in $TERMINAL; none when empty
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("workDir");
    QTest::addColumn<QString>("interpreter");
    QTest::addColumn<QString>("expected"); // the record's lines, or the start of the error

    const QByteArray record = "{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > {DIR}/r.tmp\n";
    const QString work = u"{DIR}/work dir"_s;
    QTest::newRow("unknown terminal gets -e")
        << u"my-term"_s << record << work << QString() << u"{WORK}\n-e\n{CMD}\n/K\n{BAT}"_s;
    QTest::newRow("gnome-terminal gets --")
        << u"gnome-terminal"_s << record << work << QString()
        << u"{WORK}\n--working-directory={WORK}\n--\n{CMD}\n/K\n{BAT}"_s;
    QTest::newRow("xfce4-terminal gets -x")
        << u"xfce4-terminal"_s << record << work << QString() << u"{WORK}\n-x\n{CMD}\n/K\n{BAT}"_s;
    QTest::newRow("kitty takes it bare")
        << u"kitty"_s << record << work << QString() << u"{WORK}\n{CMD}\n/K\n{BAT}"_s;
    QTest::newRow("lxterminal gets one string")
        << u"lxterminal"_s << record << work << QString() << u"{WORK}\n-e\n'{CMD}' '/K' '{BAT}'"_s;
    // A terminal that runs what follows -e, and a shell that notes where it starts: the whole
    // road from the button to an open console.
    QTest::newRow("batch, then shell")
        << u"run-term"_s << QByteArray("shift; exec \"$@\" > {DIR}/r.tmp 2>&1\n") << work
        << QString() << u"testing\n{WORK}"_s;
    QTest::newRow("no terminal emulator")
        << QString() << QByteArray() << work << QString() << u"No terminal emulator was found"_s;
    QTest::newRow("missing working directory")
        << u"t"_s << record << u"{DIR}/gone"_s << QString()
        << u"The working directory {DIR}/gone does not exist."_s;
    QTest::newRow("missing interpreter")
        << u"t"_s << record << work << u"{DIR}/no-cmd"_s
        << u"The command interpreter {DIR}/no-cmd was not found."_s;
}

void ConsoleTest::startsTerminal()
{
    QFETCH(QString, terminal);
    QFETCH(QByteArray, script);
    QFETCH(QString, workDir);
    QFETCH(QString, interpreter);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    const auto expand = [&](QString text) {
        return text.replace(u"{BAT}"_s, u"{WORK}/XferJob.Bat"_s)
            .replace(u"{WORK}"_s, u"{DIR}/work dir"_s)
            .replace(u"{DIR}"_s, dir.path())
            .replace(u"{CMD}"_s, builtProgram(u"parcelwright-cmd"_s));
    };
    const auto writeScript = [&](const QString &name, QByteArray body) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.write("#!/bin/sh\n" + body.replace("{DIR}", QFile::encodeName(dir.path()))) >
                    0);
        QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
    };
    QVERIFY(QDir(dir.path()).mkpath(u"work dir"_s) && QDir(dir.path()).mkpath(u"bin"_s));
    QFile batch(dir.filePath(u"work dir/XferJob.BAT"_s));
    QVERIFY(batch.open(QIODevice::WriteOnly) && batch.write("@echo off\r\necho testing\r\n") > 0);
    batch.close();
    writeScript(u"shell"_s, "pwd\n/bin/mv {DIR}/r.tmp {DIR}/record\n");
    if (!terminal.isEmpty())
        writeScript(u"bin/"_s + terminal,
                    script + "/bin/mv {DIR}/r.tmp {DIR}/record 2>/dev/null\n");

    // Only the stand-ins' directory is on PATH, so no installed terminal can be found.
    const QByteArray saved[] = {qgetenv("PATH"), qgetenv("TERMINAL"), qgetenv("SHELL")};
    qputenv("PATH", QFile::encodeName(dir.filePath(u"bin"_s)));
    qputenv("TERMINAL", terminal.isEmpty() ? QByteArray()
                                           : QFile::encodeName(dir.filePath(u"bin/"_s + terminal)));
    qputenv("SHELL", QFile::encodeName(dir.filePath(u"shell"_s)));
    QString error;
    const bool started = startConsole(expand(workDir), expand(u"{BAT}"_s), &error,
                                      interpreter.isEmpty() ? builtProgram(u"parcelwright-cmd"_s)
                                                            : expand(interpreter));
    qputenv("PATH", saved[0]);
    qputenv("TERMINAL", saved[1]);
    qputenv("SHELL", saved[2]);

    if (expected.startsWith(u"The "_s) || expected.startsWith(u"No "_s)) {
        QVERIFY(!started);
        QVERIFY2(error.startsWith(expand(expected)), qPrintable(error));
        return;
    }
    QVERIFY2(started, qPrintable(error));
    QFile file(dir.filePath(u"record"_s));
    QTRY_VERIFY_WITH_TIMEOUT(file.exists(), 20000);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(file.readAll()), expand(expected) + u'\n');
}

QTEST_GUILESS_MAIN(ConsoleTest)
#include "console_test.moc"

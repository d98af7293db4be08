#include "support/files.h"
#include "support/testbed.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

/// Both output streams of parcelwright-cmd and its status; -1 when it did not end normally.
struct CmdRun
{
    QByteArray output;
    int status = -1;
};

CmdRun runCmd(const QString &program, const QString &directory, const QString &path,
              const QString &shell, const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PATH"_s, path);
    environment.insert(u"SHELL"_s, shell);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(directory);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.readAll(), process.exitCode()};
}

} // namespace

/// Runs the built parcelwright-cmd on hand-written batch files: what it prints, the status it
/// ends with, and what it refuses to run in a directory it shares with another user.
class CmdBatchTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runsBatch_data();
    void runsBatch();
    void refusesAnotherUsersBatch_data();
    void refusesAnotherUsersBatch();
};

void CmdBatchTest::runsBatch_data()
{
    QTest::addColumn<QString>("arguments");   // split at blanks; {DIR}: the directory it runs in
    QTest::addColumn<QByteArray>("batch");    // the text of XferJob.BAT; none when null
    QTest::addColumn<QByteArray>("expected"); // both output streams; {DIR} as above
    QTest::addColumn<int>("status");

    // clang-format off
    const QString c = u"/C XferJob.BAT"_s;
    const QByteArray hello = "@echo off\r\necho hello world\r\n";
    const QByteArray missing = "parcelwright-cmd: cannot open batch file 'Missing.BAT': No such file or directory\n";
    QTest::newRow("CR LF; switch and name in other case") << u"/c xferjob.bat"_s << hello << QByteArray("hello world\n") << 0;
    QTest::newRow("LF") << c << QByteArray("@echo off\necho hello world") << QByteArray("hello world\n") << 0;
    QTest::newRow("echo on from the start, @ silences one line") << c << QByteArray("echo a\r\n@echo b\r\necho c") << QByteArray("\n{DIR}>echo a\na\nb\n\n{DIR}>echo c\nc\n") << 0;
    QTest::newRow("blank lines, remarks, labels") << c << QByteArray("\r\n   \r\n\t\r\nrem note\r\n:label\r\n:: comment\r\n@REM quiet\r\n\r\n") << QByteArray("\n{DIR}>rem note\n") << 0;
    QTest::newRow("echo switched mid-file") << c << QByteArray("echo off\r\necho y\r\nECHO ON\r\n  echo  z\r\n") << QByteArray("\n{DIR}>echo off\ny\n\n{DIR}>  echo  z\n z\n") << 0;
    QTest::newRow("double quotes group and go") << c << QByteArray(R"(@printf "<%s>\n" "a  b" c"d e"f)") << QByteArray("<a  b>\n<cd ef>\n") << 0;
    QTest::newRow("two quotes are one literal quote, in quotes or out; backslash is plain") << c << QByteArray(R"(@printf "<%s>\n" "" """" "x""y z" a""b """q" "\" "\"")") << QByteArray("<\">\n<\"\">\n<x\"y z>\n<a\"b>\n<\"q>\n<\\>\n<\\\">\n") << 0;
    QTest::newRow("an escaped value stays one word") << c << QByteArray(R"(@printf "<%s>\n" "x"" -proxycmd ""touch M" "q""x""y.txt")") << QByteArray("<x\" -proxycmd \"touch M>\n<q\"x\"y.txt>\n") << 0;
    QTest::newRow("shell characters are text") << c << QByteArray("@printf \"%s\\n\" \"a&b|c;$d`e\" >x * 'a b'\r\n") << QByteArray("a&b|c;$d`e\n>x\n*\n'a\nb'\n") << 0;
    QTest::newRow("status of the last program; echo, rem keep it") << c << QByteArray("@echo off\r\nfalse\r\ntrue\r\nsh -c \"exit 7\"\r\necho after\r\nrem\r\n") << QByteArray("after\n") << 7;
    QTest::newRow("signal ends the program") << c << QByteArray("@sh -c \"kill -TERM $$\"\r\n") << QByteArray() << 128 + 15;
    QTest::newRow("echo and both streams in order") << c << QByteArray("echo one\r\nsh -c \"echo two; echo 3 >&2\"\r\n") << QByteArray("\n{DIR}>echo one\none\n\n{DIR}>sh -c \"echo two; echo 3 >&2\"\ntwo\n3\n") << 0;
    QTest::newRow("psftp missing") << c << QByteArray("@psftp u@h -b XferJob.FTP -pw p\r\n@echo next\r\n") << QByteArray("parcelwright-cmd: 'psftp' was not found on PATH: psftp comes with PuTTY (Debian package putty-tools)\nnext\n") << 127;
    QTest::newRow("ftp is the client beside it") << c << QByteArray("@FtP -s:XferJob.FTP \"a b\"\r\n") << QByteArray("<-s:XferJob.FTP><a b>\n") << 5;
    QTest::newRow("unknown switch") << u"/X a.bat"_s << QByteArray() << QByteArray("parcelwright-cmd: unknown switch '/X'; usage: parcelwright-cmd /C FILE | /K FILE\n") << 1;
    QTest::newRow("/K: shell after the batch, glued full path") << u"/K{DIR}/XFERJOB.bat"_s << hello << QByteArray("hello world\nshell in {DIR}\n") << 9;
    QTest::newRow("/K: shell even without batch") << u"/k Missing.BAT"_s << QByteArray() << missing + "shell in {DIR}\n" << 9;
    QTest::newRow("unbalanced quote, lone CRs") << c << QByteArray("@\r\n@@@\r\r\n@printf \"%s|\" \"a b\r\n") << QByteArray("parcelwright-cmd: '\r' was not found on PATH\na b|") << 0;
    // clang-format on
}

void CmdBatchTest::runsBatch()
{
    QFETCH(QString, arguments);
    QFETCH(QByteArray, batch);
    QFETCH(QByteArray, expected);

    // PATH holds only a few plain tools (no psftp), SHELL notes where it starts, and the
    // interpreter runs as a copy beside a stand-in for parcelwright-ftp.
    QTemporaryDir dir;
    QVERIFY(dir.isValid() && QDir(dir.path()).mkpath(u"bin"_s));
    for (const char *tool : {"sh", "printf", "true", "false"})
        QVERIFY(QFile::link(u"/bin/"_s + QLatin1String(tool),
                            dir.filePath(u"bin/"_s + QLatin1String(tool))));
    const QString interpreter = dir.filePath(u"parcelwright-cmd"_s);
    QVERIFY(QFile::copy(builtProgram(u"parcelwright-cmd"_s), interpreter));
    QVERIFY(writeBytes(dir.filePath(u"parcelwright-ftp"_s),
                       "#!/bin/sh\nprintf '<%s>' \"$@\"; echo; exit 5\n", 0700));
    QVERIFY(writeBytes(dir.filePath(u"shell.sh"_s), "#!/bin/sh\necho \"shell in $(pwd)\"\nexit 9\n",
                       0700));
    QVERIFY(batch.isNull() || writeBytes(dir.filePath(u"XferJob.BAT"_s), batch, 0600));

    const CmdRun run =
        runCmd(interpreter, dir.path(), dir.filePath(u"bin"_s), dir.filePath(u"shell.sh"_s),
               arguments.replace(u"{DIR}"_s, dir.path()).split(u' ', Qt::SkipEmptyParts));
    QCOMPARE(run.output, expected.replace("{DIR}", QFile::encodeName(dir.path())));
    QTEST(run.status, "status");
}

void CmdBatchTest::refusesAnotherUsersBatch_data()
{
    QTest::addColumn<QString>("planted"); // what the other user does there, a shell command
    QTest::addColumn<QByteArray>("own");  // the user's own XferJob.BAT; none when null
    QTest::addColumn<int>("mode");        // its permissions
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QByteArray>("output"); // after "parcelwright-cmd: "

    // clang-format off
    const QString batch = u"printf '@echo planted\\r\\n' > XferJob.BAT"_s;
    const QByteArray mine = "@echo mine\r\n";
    const QByteArray refused = "refusing to run batch file 'XferJob.BAT': ";
    QTest::newRow("case variant of the name asked for") << u"printf '@echo planted\\r\\n' > XFERJOB.BAT"_s << mine << 0600 << u"/C XferJob.Bat"_s << QByteArray("refusing to run batch file 'XFERJOB.BAT': it belongs to another user\n");
    QTest::newRow("the exact name") << batch << QByteArray() << 0 << u"/C XferJob.BAT"_s << refused + "it belongs to another user\n";
    QTest::newRow("own file that others may write") << QString() << mine << 0602 << u"/C XferJob.BAT"_s << refused + "other users may write to it\n";
    QTest::newRow("own file that its group may write") << QString() << mine << 0620 << u"/C XferJob.BAT"_s << refused + "other users may write to it\n";
    QTest::newRow("a link to the user's own batch file") << u"ln -s own.bat XferJob.BAT"_s << QByteArray() << 0 << u"/C XferJob.BAT"_s << refused + "it is a symbolic link\n";
    QTest::newRow("a FIFO, refused at once") << u"mkfifo XferJob.BAT"_s << QByteArray() << 0 << u"/K XferJob.BAT"_s << refused + "it is not a regular file\n";
    QTest::newRow("/K leaves another user's password file") << u"echo secret > XferJob.PWD"_s << QByteArray("@psftp u@h -pwfile XferJob.PWD\r\n") << 0600 << u"/K XferJob.BAT"_s << QByteArray("'psftp' was not found on PATH: psftp comes with PuTTY (Debian package putty-tools)\n");
    // clang-format on
}

void CmdBatchTest::refusesAnotherUsersBatch()
{
    PW_REQUIRE_ROOT("a second user plants the files");
    PW_REQUIRE_TESTBED(tb);
    QFETCH(QString, planted);
    QFETCH(QByteArray, own);
    QFETCH(int, mode);
    QFETCH(QString, arguments);
    QFETCH(QByteArray, output);
    // A directory that every user may write to and only owners may delete from, as /tmp.
    QTemporaryDir shared(QDir::tempPath() + u"/pw-shared-XXXXXX"_s);
    QCOMPARE(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
    QVERIFY(writeBytes(shared.filePath(u"own.bat"_s), "@echo mine\r\n", 0600));
    QProcess plant;
    plant.setWorkingDirectory(shared.path());
    plant.start(u"runuser"_s, {u"-u"_s, tb.plain.user, u"--"_s, u"sh"_s, u"-c"_s, planted});
    QVERIFY(plant.waitForFinished(10000) && plant.exitCode() == 0);
    QVERIFY(own.isNull() || writeBytes(shared.filePath(u"XferJob.BAT"_s), own, unsigned(mode)));
    const QStringList before = fileNamesIn(shared.path());

    const CmdRun run = runCmd(builtProgram(u"parcelwright-cmd"_s), shared.path(),
                              shared.filePath(u"no-bin"_s), u"/bin/true"_s, arguments.split(u' '));
    QCOMPARE(run.output, "parcelwright-cmd: " + output);
    QCOMPARE(run.status, arguments.startsWith(u"/K"_s) ? 0 : 1);
    QCOMPARE(fileNamesIn(shared.path()), before); // nothing of the other user's went away
}

QTEST_GUILESS_MAIN(CmdBatchTest)
#include "cmd_batch_test.moc"

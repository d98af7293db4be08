#include "support/testbed.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

/// Runs the built parcelwright-cmd on hand-written batch files and checks what it prints and
/// which status it ends with.
class CmdBatchTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void runsBatch_data();
    void runsBatch();
    void findsBatchFile_data();
    void findsBatchFile();
    void refusesBadCommandLines_data();
    void refusesBadCommandLines();
    void namesMissingProgram_data();
    void namesMissingProgram();
    void resolvesFtpBesideItself();
    void survivesOddInput_data();
    void survivesOddInput();
    void handsOverToShell_data();
    void handsOverToShell();

private:
    struct Result
    {
        QByteArray output;
        int status = -1;
        bool crashed = false;
    };

    Result runCmd(const QStringList &arguments,
                  const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                  const QString &program = QString());
    QString writeFile(const QString &name, const QByteArray &bytes, bool executable = false);
    QByteArray expanded(QByteArray text) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void CmdBatchTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

CmdBatchTest::Result CmdBatchTest::runCmd(const QStringList &arguments,
                                          const QProcessEnvironment &environment,
                                          const QString &program)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(m_dir->path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program.isEmpty() ? builtProgram(QStringLiteral("parcelwright-cmd")) : program,
                  arguments);
    Result result;
    if (!process.waitForStarted(10000) || !process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        result.output = "did not run to its end: " + process.errorString().toUtf8();
        return result;
    }
    result.output = process.readAll();
    result.status = process.exitCode();
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    return result;
}

QString CmdBatchTest::writeFile(const QString &name, const QByteArray &bytes, bool executable)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return path;
}

// {DIR} stands for the directory the interpreter runs in, as its echo shows it.
QByteArray CmdBatchTest::expanded(QByteArray text) const
{
    return text.replace("{DIR}", QFile::encodeName(m_dir->path()));
}

void CmdBatchTest::runsBatch_data()
{
    QTest::addColumn<QByteArray>("batch");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("status");

    QTest::newRow("empty batch") << QByteArray() << QByteArray() << 0;
    QTest::newRow("echo off, CR LF")
        << QByteArray("@echo off\r\necho hello world\r\n") << QByteArray("hello world\n") << 0;
    QTest::newRow("echo off, LF") << QByteArray("@echo off\necho hello world\n")
                                  << QByteArray("hello world\n") << 0;
    QTest::newRow("echo on echoes directory and line")
        << QByteArray("@echo on\r\necho hi\r\n") << QByteArray("\n{DIR}>echo hi\nhi\n") << 0;
    QTest::newRow("echo is on at the start")
        << QByteArray("echo a\r\n@echo b\r\necho c")
        << QByteArray("\n{DIR}>echo a\na\nb\n\n{DIR}>echo c\nc\n") << 0;
    QTest::newRow("blank lines are neither echoed nor run")
        << QByteArray("\r\n   \r\n\t\r\necho x\r\n\r\n") << QByteArray("\n{DIR}>echo x\nx\n") << 0;
    QTest::newRow("remarks and labels")
        << QByteArray("rem note\r\n:label\r\n:: comment\r\n@REM quiet\r\n")
        << QByteArray("\n{DIR}>rem note\n") << 0;
    QTest::newRow("echo switched mid-file")
        << QByteArray("echo off\r\necho y\r\nECHO ON\r\necho z\r\n")
        << QByteArray("\n{DIR}>echo off\ny\n\n{DIR}>echo z\nz\n") << 0;
    QTest::newRow("echo state and empty echo")
        << QByteArray("@echo off\r\necho\r\necho.\r\n@echo on\r\n@echo\r\n")
        << QByteArray("ECHO is off.\n\nECHO is on.\n") << 0;
    QTest::newRow("echo line kept as written")
        << QByteArray("@echo on\r\n  printf %s  \"a  b\"\r\n")
        << QByteArray("\n{DIR}>  printf %s  \"a  b\"\na  b") << 0;
    QTest::newRow("double quotes group and are removed")
        << QByteArray("@echo off\r\nprintf \"<%s>\\n\" \"a b\" c \"\"\r\n")
        << QByteArray("<a b>\n<c>\n<>\n") << 0;
    QTest::newRow("shell characters are plain text")
        << QByteArray("@echo off\r\nprintf \"%s\\n\" \"a&b|c;$d`e\" >x *\r\n")
        << QByteArray("a&b|c;$d`e\n>x\n*\n") << 0;
    QTest::newRow("single quotes are plain text")
        << QByteArray("@echo off\r\nprintf [%s] 'a b'\r\n") << QByteArray("['a][b']") << 0;
    QTest::newRow("status of the last program")
        << QByteArray("@echo off\r\nfalse\r\n") << QByteArray() << 1;
    QTest::newRow("a later success clears the status")
        << QByteArray("@echo off\r\nfalse\r\ntrue\r\n") << QByteArray() << 0;
    QTest::newRow("echo and rem keep the status")
        << QByteArray("@echo off\r\nsh -c \"exit 7\"\r\necho after\r\nrem end\r\n")
        << QByteArray("after\n") << 7;
    QTest::newRow("signal ends the program")
        << QByteArray("@echo off\r\nsh -c \"kill -TERM $$\"\r\n") << QByteArray() << 128 + 15;
    QTest::newRow("output stays in order")
        << QByteArray("echo one\r\nsh -c \"echo two; echo three >&2\"\r\n")
        << QByteArray("\n{DIR}>echo one\none\n\n{DIR}>sh -c \"echo two; echo three >&2\"\ntwo\n"
                      "three\n")
        << 0;
    QTest::newRow("standard input is passed on")
        << QByteArray("@echo off\r\nsh -c \"read x || echo eof\"\r\n") << QByteArray("eof\n") << 0;
}

void CmdBatchTest::runsBatch()
{
    QFETCH(QByteArray, batch);
    QFETCH(QByteArray, expected);
    QFETCH(int, status);

    writeFile(QStringLiteral("XferJob.BAT"), batch);
    const Result result = runCmd({QStringLiteral("/C"), QStringLiteral("XferJob.BAT")});
    QCOMPARE(result.output, expanded(expected));
    QCOMPARE(result.status, status);
}

void CmdBatchTest::findsBatchFile_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("as written") << QStringList{QStringLiteral("/C"), QStringLiteral("XferJob.BAT")};
    QTest::newRow("other letter case")
        << QStringList{QStringLiteral("/C"), QStringLiteral("XferJob.Bat")};
    QTest::newRow("lower-case switch")
        << QStringList{QStringLiteral("/c"), QStringLiteral("xferjob.bat")};
    QTest::newRow("switch glued to the name") << QStringList{QStringLiteral("/CXferJob.Bat")};
    QTest::newRow("full path, name in another case")
        << QStringList{QStringLiteral("/C"), QStringLiteral("{DIR}/XFERJOB.bat")};
}

void CmdBatchTest::findsBatchFile()
{
    QFETCH(QStringList, arguments);

    writeFile(QStringLiteral("XferJob.BAT"), "@echo off\r\necho found\r\n");
    arguments.replaceInStrings(QStringLiteral("{DIR}"), m_dir->path());
    const Result result = runCmd(arguments);
    QCOMPARE(result.output, QByteArray("found\n"));
    QCOMPARE(result.status, 0);
}

void CmdBatchTest::refusesBadCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("no arguments") << QStringList() << QByteArray("usage:");
    QTest::newRow("switch without file")
        << QStringList{QStringLiteral("/C")} << QByteArray("usage:");
    QTest::newRow("unknown switch") << QStringList{QStringLiteral("/X"), QStringLiteral("a.bat")}
                                    << QByteArray("unknown switch '/X'");
    QTest::newRow("missing batch file")
        << QStringList{QStringLiteral("/C"), QStringLiteral("Missing.BAT")}
        << QByteArray("cannot open batch file 'Missing.BAT': No such file or directory");
    QTest::newRow("directory as batch file")
        << QStringList{QStringLiteral("/C"), QStringLiteral(".")}
        << QByteArray("cannot read batch file '.': it is a directory");
}

void CmdBatchTest::refusesBadCommandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, message);

    const Result result = runCmd(arguments);
    QVERIFY2(result.output.startsWith("parcelwright-cmd: ") && result.output.contains(message),
             result.output.constData());
    QCOMPARE(result.status, 1);
}

void CmdBatchTest::namesMissingProgram_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("psftp") << QByteArray("psftp user@host -b XferJob.FTP -pw secret")
                           << QByteArray("parcelwright-cmd: 'psftp' was not found on PATH: psftp "
                                         "comes with PuTTY (Debian package putty-tools)\n");
    QTest::newRow("other program")
        << QByteArray("no-such-client x")
        << QByteArray("parcelwright-cmd: 'no-such-client' was not found on "
                      "PATH\n");
    QTest::newRow("path to nothing") << QByteArray("./gone")
                                     << QByteArray("parcelwright-cmd: './gone' was not found or "
                                                   "is not an executable file\n");
}

void CmdBatchTest::namesMissingProgram()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, message);

    // An empty PATH directory hides the installed psftp.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("empty")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), m_dir->filePath(QStringLiteral("empty")));
    writeFile(QStringLiteral("XferJob.BAT"), "@echo off\r\n" + command + "\r\necho next\r\n");
    const Result result =
        runCmd({QStringLiteral("/C"), QStringLiteral("XferJob.BAT")}, environment);
    QCOMPARE(result.output, message + "next\n");
    QCOMPARE(result.status, 127);
}

void CmdBatchTest::resolvesFtpBesideItself()
{
    // A copy of the interpreter next to a stand-in client shows that "ftp" means the program
    // beside the interpreter, whatever PATH says.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("bin")));
    const QString interpreter = m_dir->filePath(QStringLiteral("bin/parcelwright-cmd"));
    QVERIFY(QFile::copy(builtProgram(QStringLiteral("parcelwright-cmd")), interpreter));
    writeFile(QStringLiteral("bin/parcelwright-ftp"),
              "#!/bin/sh\nprintf '<%s>' \"$@\"; echo; exit 5\n", true);
    writeFile(QStringLiteral("XferJob.BAT"), "@echo off\r\nFtP -s:XferJob.FTP \"a b\"\r\n");

    const Result result = runCmd({QStringLiteral("/C"), QStringLiteral("XferJob.BAT")},
                                 QProcessEnvironment::systemEnvironment(), interpreter);
    QCOMPARE(result.output, QByteArray("<-s:XferJob.FTP><a b>\n"));
    QCOMPARE(result.status, 5);
}

void CmdBatchTest::survivesOddInput_data()
{
    QTest::addColumn<QByteArray>("batch");

    QTest::newRow("NUL bytes") << QByteArray("echo a\0b\r\n\0\0\r\n", 13);
    QTest::newRow("unbalanced quote") << QByteArray("\"\r\nprintf \"abc\r\n");
    QTest::newRow("only at signs and CRs") << QByteArray("@\r\n@@@\r\r\n\r");
    QTest::newRow("high bytes") << QByteArray("\xff\xfe\x80 \xc3\r\n");
    QTest::newRow("very long line") << QByteArray("echo ") + QByteArray(1 << 20, 'x');
    QTest::newRow("many words") << QByteArray("true") + QByteArray(100000, ' ') +
                                       QByteArray("x ").repeated(20000);
}

void CmdBatchTest::survivesOddInput()
{
    QFETCH(QByteArray, batch);

    writeFile(QStringLiteral("XferJob.BAT"), batch);
    const Result result = runCmd({QStringLiteral("/C"), QStringLiteral("XferJob.BAT")});
    QVERIFY(!result.crashed);
    QVERIFY2(result.status >= 0 && result.status < 128, result.output.left(200).constData());
}

void CmdBatchTest::handsOverToShell_data()
{
    QTest::addColumn<QByteArray>("batch");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("after the batch") << QByteArray("@echo off\r\necho from batch\r\n")
                                     << QByteArray("from batch\nshell in {DIR}\n");
    QTest::newRow("even when the batch is missing")
        << QByteArray()
        << QByteArray("parcelwright-cmd: cannot open batch file '{DIR}/XferJob.Bat'"
                      ": No such file or directory\nshell in {DIR}\n");
}

void CmdBatchTest::handsOverToShell()
{
    QFETCH(QByteArray, batch);
    QFETCH(QByteArray, expected);

    if (!batch.isEmpty())
        writeFile(QStringLiteral("XferJob.BAT"), batch);
    const QString shell = writeFile(QStringLiteral("shell.sh"),
                                    "#!/bin/sh\necho \"shell in $(pwd)\"\nexit 9\n", true);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SHELL"), shell);
    const Result result = runCmd(
        {QStringLiteral("/K") + m_dir->filePath(QStringLiteral("XferJob.Bat"))}, environment);
    QCOMPARE(result.output, expanded(expected));
    QCOMPARE(result.status, 9);
}

QTEST_GUILESS_MAIN(CmdBatchTest)
#include "cmd_batch_test.moc"

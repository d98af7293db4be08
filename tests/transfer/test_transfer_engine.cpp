#include "fake_launcher.h"
#include "support/fake_window.h"
#include "transfer/transfer_engine.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char kCompletion[] = "All Transmissions are complete - if you would like to save your "
                           "Profile, give it a name and press 'Save Profile'";
const char kEnd[] = "\r\n*********** End of Transmission ***************\r\n\r\n";

QStringList cells(const char *joined)
{
    return QString::fromUtf8(joined).split(QLatin1Char('|'));
}

bool ownerOnly(QFile::Permissions permissions)
{
    return permissions.testFlag(QFile::ReadOwner) && (permissions.toInt() & 0x0077) == 0;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

/// One request's window, launcher and engine over a fresh working directory.
struct Bench
{
    QTemporaryDir dir;
    FakeTransferWindow window;
    FakeLauncher launcher;
    TransferEngine engine{window, launcher};

    Bench()
    {
        window.setFiles(cells("/src/a.txt"));
        window.setWorkingDirectory(dir.path());
    }
    QString file(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QStringList leftovers() const { return QDir(dir.path()).entryList(QDir::Files); }
};

} // namespace

class TestTransferEngine final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requestChecks_data();
    void requestChecks();
    void pendingEditLandsAtFirstMove();
    void runServesRowsInOrder();
    void secondRequestReplacesLog();
    void outcomesDecideClosingText_data();
    void outcomesDecideClosingText();
    void cancelStopsTheRun();
    void unwritableDirectoryStopsTheRun();
    void wholeFileListIsSent();
};

void TestTransferEngine::requestChecks_data()
{
    QTest::addColumn<QStringList>("rows"); // "row,secure,host,directory,user,password"
    QTest::addColumn<QString>("firstFile");
    QTest::addColumn<QString>("directory"); // "" as typed, "ok", "missing", "file"
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("redCells"); // cell (1, 0) is red from an earlier request

    const QStringList valid = cells("1,N,h1,,u,p");
    const char noFiles[] = "No Files|No files have been selected to FTP";
    const char noHosts[] = "No Files|No IP Addresses have been keyed in to FTP to";
    const char badDir[] = "No Files|Invalid working directory";
    const char secure[] = "Error Message|Secure FTP can by 'Y' or 'N' (Yes/No - please correct "
                          "this and continue";
    const char user[] =
        "Error Message|There was no User ID supplied - please correct this and continue";
    const char password[] =
        "Error Message|There was no Password supplied - please correct this and continue";

    QTest::newRow("file list row 1 blank")
        << valid << " "
        << "ok" << QStringList{QString::fromUtf8(noFiles)} << cells("1 0");
    QTest::newRow("file list row 1 empty")
        << valid << ""
        << "ok" << QStringList{QString::fromUtf8(noFiles)} << cells("1 0");
    QTest::newRow("only a blank host")
        << cells("3,N, ,,u,p") << "/a"
        << "ok" << QStringList{QString::fromUtf8(noHosts)} << cells("1 0");
    QTest::newRow("empty directory text")
        << valid << "/a"
        << "" << QStringList{QString::fromUtf8(badDir)} << cells("1 0");
    QTest::newRow("missing directory")
        << valid << "/a"
        << "missing" << QStringList{QString::fromUtf8(badDir)} << cells("1 0");
    QTest::newRow("plain file as directory")
        << valid << "/a"
        << "file" << QStringList{QString::fromUtf8(badDir)} << cells("1 0");
    QTest::newRow("lower-case y") << cells("1,y,h,,u,p") << "/a"
                                  << "ok" << QStringList{QString::fromUtf8(secure)} << cells("1 0");
    QTest::newRow("secure row without account")
        << cells("1,Y,h,,,") << "/a"
        << "ok" << QStringList{QString::fromUtf8(user), QString::fromUtf8(password)}
        << cells("1 0|1 3|1 4");
    QTest::newRow("two faulty rows around a valid one")
        << cells("2, ,h2,,u,p|3,N,h3,,u,p|5,N,h5,,u,") << "/a"
        << "ok" << QStringList{QString::fromUtf8(secure), QString::fromUtf8(password)}
        << cells("1 0|2 0|5 4");
    QTest::newRow("blank host beside a real one is checked")
        << cells("1,N,h1,,u,p|2,N, ,,u,") << "/a"
        << "ok" << QStringList{QString::fromUtf8(password)} << cells("2 4");
    QTest::newRow("plain row needs no user id") << cells("1,N,h1,,,p") << "/a"
                                                << "ok" << QStringList() << QStringList();
}

void TestTransferEngine::requestChecks()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, firstFile);
    QFETCH(QString, directory);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, redCells);

    Bench bench;
    bench.window.setFileRow(1, firstFile);
    if (directory == QLatin1String("ok"))
        directory = bench.dir.path();
    else if (directory == QLatin1String("missing"))
        directory = bench.file("absent");
    else if (directory == QLatin1String("file"))
        directory = bench.file("FTPLogALL.TXT");
    bench.window.setWorkingDirectory(directory);
    for (const QString &row : std::as_const(rows)) {
        const QStringList parts = row.split(QLatin1Char(','));
        bench.window.grid().setRow(parts[0].toInt(), parts.mid(1));
    }
    // An earlier run's log and red marks: a refused request keeps the log, a valid row is reset.
    QFile old(bench.file("FTPLogALL.TXT"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old run\r\n");
    old.close();
    bench.window.grid().setCurrentCellTextColour(kFaultColour);
    bench.engine.LogNumber = 42;

    bench.engine.processRequest();

    QStringList shown;
    for (const auto &message : std::as_const(bench.window.messages))
        shown.append(message.second + QLatin1Char('|') + message.first);
    QCOMPARE(shown, messages);
    for (int row = 1; row <= 5; ++row) {
        for (int column = 0; column < kDestinationColumnCount; ++column) {
            const bool red = redCells.contains(QStringLiteral("%1 %2").arg(row).arg(column));
            QCOMPARE(bench.window.grid().textColour(row, column) == kFaultColour, red);
        }
    }
    if (messages.isEmpty()) {
        QCOMPARE(bench.launcher.calls.size(), 1);
        QCOMPARE(bench.window.statusText, QString::fromUtf8(kCompletion));
        QCOMPARE(bench.leftovers(), cells("FTPLogALL.TXT"));
    } else {
        QCOMPARE(bench.engine.LogNumber, qint16(1));
        QVERIFY(bench.launcher.calls.isEmpty());
        QVERIFY(bench.window.statusText.isEmpty());
        QCOMPARE(readAll(bench.file("FTPLogALL.TXT")), QByteArray("old run\r\n"));
        QCOMPARE(bench.leftovers(), cells("FTPLogALL.TXT"));
    }
}

void TestTransferEngine::pendingEditLandsAtFirstMove()
{
    Bench bench;
    bench.window.grid().setRow(1, cells("N|h1||old|p"));
    bench.window.grid().setCurrentColumn(kUserIdColumn);
    bench.window.grid().stagePendingEdit(QStringLiteral("new"));
    bench.window.events.clear();

    bench.engine.processRequest();

    // The reset of row 1 is the first move: leave (with the commit), then enter, then colour.
    QCOMPARE(bench.window.events.mid(0, 4),
             cells("leave 1 3|commit 1 3 new|enter 1 0|colour 1 0 0"));
    QCOMPARE(bench.launcher.calls.at(0).script,
             QByteArray("new\r\np\r\nput /src/a.txt a.txt\r\nquit\r\n"));

    // A host still in the editor is not seen by the request-level checks.
    Bench unseen;
    unseen.window.grid().setCurrentColumn(kHostColumn);
    unseen.window.grid().stagePendingEdit(QStringLiteral("h1"));
    unseen.engine.processRequest();
    QCOMPARE(unseen.window.messages.value(0).first,
             QStringLiteral("No IP Addresses have been keyed in to FTP to"));
    QVERIFY(unseen.window.grid().hasPendingEdit());
}

void TestTransferEngine::runServesRowsInOrder()
{
    Bench bench;
    bench.window.setWorkingDirectory(bench.dir.path() + QLatin1Char('/'));
    bench.window.grid().setRow(2, cells("N|ftp.h2|\\in|joe|pw1"));
    bench.window.grid().setRow(5, cells("Y|sftp.h5||ann|pw 2"));
    bench.window.grid().setRow(kLastDataRow, cells("N|last|||p"));
    bench.launcher.logTexts[1] =
        "/w>psftp ann@sftp.h5 -b XferJob.FTP -pw \"pw 2\"\r\nRemote working directory is /\n";
    bench.launcher.missingLogs.insert(2);

    bench.engine.processRequest();

    QCOMPARE(bench.launcher.calls.size(), 3);
    QCOMPARE(bench.launcher.calls[0].logFile, bench.file("FTPLog0001.TXT"));
    QCOMPARE(bench.launcher.calls[1].logFile, bench.file("FTPLog0002.TXT"));
    QCOMPARE(bench.launcher.calls[0].launcher,
             QByteArray("@echo on\r\nftp -s:XferJob.FTP ftp.h2\r\n"));
    QCOMPARE(bench.launcher.calls[0].script,
             QByteArray("joe\r\npw1\r\ncd \\in\r\nput /src/a.txt a.txt\r\nquit\r\n"));
    QCOMPARE(bench.launcher.calls[1].launcher,
             QByteArray("@echo on\r\npsftp ann@sftp.h5 -b XferJob.FTP -pw \"pw 2\"\r\n"));
    QCOMPARE(bench.launcher.calls[1].script, QByteArray("put /src/a.txt a.txt\r\nquit\r\n"));
    QVERIFY(ownerOnly(bench.launcher.calls[1].launcherPermissions));
    QVERIFY(ownerOnly(bench.launcher.calls[1].scriptPermissions));
    QCOMPARE(bench.engine.LogNumber, qint16(4));

    QCOMPARE(readAll(bench.file("FTPLogALL.TXT")),
             QByteArray("Output from: ftp.h2 \\in\r\noutput 1\r\n") + kEnd +
                 "Output from: sftp.h5 \r\n/w>psftp ann@sftp.h5 -b XferJob.FTP -pw ********\r\n"
                 "Remote working directory is /\r\n" +
                 kEnd + "Output from: last \r\n" + kEnd);
    QVERIFY(ownerOnly(QFile::permissions(bench.file("FTPLogALL.TXT"))));
    QCOMPARE(bench.leftovers(), cells("FTPLogALL.TXT"));
    const QStringList progress = bench.window.events.filter(
        QRegularExpression(QStringLiteral("^(status|started|finished)")));
    QCOMPARE(progress.mid(0, 3),
             cells("status Building/Xmitting: ftp.h2|started ftp.h2 1/3|finished"));
    QCOMPARE(bench.window.statusText, QString::fromUtf8(kCompletion));
}

void TestTransferEngine::secondRequestReplacesLog()
{
    Bench bench;
    bench.window.grid().setRow(1, cells("N|h1||u|p"));
    bench.engine.processRequest();
    bench.engine.processRequest();
    QCOMPARE(readAll(bench.file("FTPLogALL.TXT")),
             QByteArray("Output from: h1 \r\noutput 2\r\n") + kEnd);
    QCOMPARE(bench.launcher.calls[1].logFile, bench.file("FTPLog0001.TXT"));
}

void TestTransferEngine::outcomesDecideClosingText_data()
{
    QTest::addColumn<int>("failingCall");
    QTest::addColumn<bool>("started");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QByteArray>("secondBlock");

    QTest::newRow("clean") << -1 << true << kCompletion
                           << QByteArray("Output from: h2 /d\r\noutput 2\r\n") + kEnd;
    QTest::newRow("client failed")
        << 1 << true
        << "Transmission ended with errors at 1 of 3 destinations (h2) - see FTPLogALL.TXT"
        << QByteArray("Output from: h2 /d\r\noutput 2\r\n") + kEnd;
    QTest::newRow("not started")
        << 1 << false
        << "Transmission ended with errors at 1 of 3 destinations (h2) - see FTPLogALL.TXT"
        << QByteArray("Output from: h2 /d\r\nThe client could not be started: no interpreter\r\n") +
               kEnd;
}

void TestTransferEngine::outcomesDecideClosingText()
{
    QFETCH(int, failingCall);
    QFETCH(bool, started);
    QFETCH(QString, status);
    QFETCH(QByteArray, secondBlock);

    Bench bench;
    bench.window.grid().setRow(1, cells("N|h1||u|p"));
    bench.window.grid().setRow(2, cells("Y|h2|/d|u|p"));
    bench.window.grid().setRow(3, cells("N|h3||u|p"));
    ProcessOutcome failed;
    failed.started = started;
    failed.exitStatus = started ? 1 : -1;
    failed.error = started ? QString() : QStringLiteral("no interpreter");
    bench.launcher.outcomes[failingCall] = failed;
    if (!started)
        bench.launcher.missingLogs.insert(failingCall);

    bench.engine.processRequest();

    QCOMPARE(bench.window.statusText, status);
    QCOMPARE(bench.launcher.calls.size(), 3);
    const QByteArray log = readAll(bench.file("FTPLogALL.TXT"));
    QVERIFY2(log.contains(QByteArray(kEnd) + secondBlock + "Output from: h3 "), log);
}

void TestTransferEngine::cancelStopsTheRun()
{
    Bench bench;
    bench.window.grid().setRow(1, cells("N|h1||u|p"));
    bench.window.grid().setRow(2, cells("N|h2||u|p"));
    bench.window.grid().setRow(3, cells("N|h3||u|p"));
    bench.launcher.logTexts[1] = "partial\r\n";
    // A second Process Request while a client runs is ignored; Cancel stops the run.
    bench.launcher.whileRunning = [&](int call) {
        if (call == 0)
            bench.engine.processRequest();
        else
            bench.engine.requestCancel();
    };

    bench.engine.processRequest();

    QVERIFY(bench.launcher.cancelled);
    QCOMPARE(bench.launcher.calls.size(), 2);
    QCOMPARE(bench.engine.LogNumber, qint16(3));
    QCOMPARE(bench.window.statusText,
             QStringLiteral("Transmission cancelled at h2 - see FTPLogALL.TXT"));
    QVERIFY(readAll(bench.file("FTPLogALL.TXT"))
                .endsWith("Output from: h2 \r\npartial\r\n" + QByteArray(kEnd)));
    QCOMPARE(bench.leftovers(), cells("FTPLogALL.TXT"));
    QVERIFY(!bench.engine.isRunning());

    // Cancel from the progress window before the client has started.
    Bench early;
    early.window.grid().setRow(4, cells("N|h4||u|p"));
    early.window.onDestinationStarted = [&](const QString &) { early.engine.requestCancel(); };
    early.engine.processRequest();
    QVERIFY(early.launcher.calls.isEmpty());
    QCOMPARE(readAll(early.file("FTPLogALL.TXT")), QByteArray("Output from: h4 \r\n") + kEnd);
}

void TestTransferEngine::unwritableDirectoryStopsTheRun()
{
    Bench bench;
    bench.window.grid().setRow(1, cells("N|h1||u|p"));
    bench.window.grid().setRow(2, cells("N|h2||u|p"));
    bench.window.grid().setRow(3, cells("N|h3||u|p"));
    // A directory in the script's place cannot be deleted or replaced by a file.
    bench.launcher.whileRunning = [&](int) {
        QFile::remove(bench.file("XferJob.FTP"));
        QDir(bench.dir.path()).mkdir(kScriptFileName);
    };

    bench.engine.processRequest();

    QCOMPARE(bench.launcher.calls.size(), 1);
    QCOMPARE(bench.window.messages.size(), 1);
    QCOMPARE(bench.window.messages[0].second, QStringLiteral("Process Error"));
    QCOMPARE(bench.window.messages[0].first,
             QStringLiteral("The working directory cannot be written - nothing more was sent"));
    QCOMPARE(bench.window.statusText,
             QStringLiteral("Transmission ended with errors at 1 of 3 destinations (h2) - see "
                            "FTPLogALL.TXT"));
    QCOMPARE(readAll(bench.file("FTPLogALL.TXT")),
             QByteArray("Output from: h1 \r\noutput 1\r\n") + kEnd);
    QCOMPARE(bench.leftovers(), cells("FTPLogALL.TXT"));
}

void TestTransferEngine::wholeFileListIsSent()
{
    Bench bench;
    QStringList files;
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row)
        files.append(QStringLiteral("/f/%1").arg(row));
    bench.window.setFiles(files);
    bench.window.grid().setRow(1, cells("Y|h||u|p"));
    bench.engine.processRequest();
    const QByteArray script = bench.launcher.calls.value(0).script;
    QCOMPARE(script.count("put "), 4999);
    QVERIFY(script.endsWith("put /f/4999 4999\r\nquit\r\n"));
}

QTEST_GUILESS_MAIN(TestTransferEngine)
#include "test_transfer_engine.moc"

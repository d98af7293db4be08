#include "profiles/encrypt.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "support/engine_run.h"
#include "support/files.h"
#include "support/small_filesystem.h"
#include "support/testbed.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// When the working directory stops taking writes.
enum class Breaks
{
    BeforeRequest,  // the file system is full before Process Request is pressed
    FirstFiles,     // room for the lock and one file: the first script does not fit
    AfterChecks,    // remounted read-only once the row checks have passed
    WhileClientRuns // filled up after the generated files are written, before the client starts
};

// Room for the generated files and the logs of a small run, and no more.
constexpr qint64 kWorkingDirectoryBytes = 64 * 1024;

const QByteArray kEarlierLog = "Output from: an earlier run\r\n";

DestinationRows profileRows(int count)
{
    DestinationRows rows;
    for (int row = 1; row <= count; ++row)
        rows.append({row, row % 2 ? u"Y"_s : u"N"_s, u"host%1.example"_s.arg(row), u"/in box"_s,
                     u"user%1"_s.arg(row), u"pass word %1"_s.arg(row)});
    return rows;
}

} // namespace

Q_DECLARE_METATYPE(Breaks)

/// A working directory or a start-up directory that stops taking writes: a small tmpfs that is
/// full or turns read-only at a chosen moment. The user is told, and nothing already stored (an
/// earlier log, an old Profile, a file the client sent) is lost.
class DiskFaultsTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runOnBrokenDirectory_data();
    void runOnBrokenDirectory();
    void profileSaveOntoFullFileSystem_data();
    void profileSaveOntoFullFileSystem();
};

void DiskFaultsTest::runOnBrokenDirectory_data()
{
    QTest::addColumn<Breaks>("breaks");
    QTest::addColumn<Messages>("messages");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("firstSent");   // the first destination's client ran and sent its file
    QTest::addColumn<QStringList>("left"); // the working directory's files afterwards
    QTest::addColumn<bool>("earlierLogKept");

    const Messages nothingSent{
        {u"Process Error"_s, u"The working directory cannot be written - nothing was sent"_s}};
    const QStringList earlierLog{u"FTPLogALL.TXT"_s};
    // clang-format off
    QTest::newRow("full before the request") << Breaks::BeforeRequest << nothingSent << QString() << false << earlierLog << true;
    QTest::newRow("room for the launcher, not the script") << Breaks::FirstFiles << nothingSent << nothingSent[0].text << false << earlierLog << false;
    QTest::newRow("read-only between the checks and the run") << Breaks::AfterChecks << nothingSent << QString() << false << earlierLog << true;
    QTest::newRow("fills up while the client runs") << Breaks::WhileClientRuns << Messages{{u"Process Error"_s, u"FTPLogALL.TXT cannot be written - nothing more was sent - the output of {FTP} is kept in FTPLog0001.TXT"_s}} << u"Transmission ended with errors at 1 of 2 destinations ({FTP}) - see FTPLogALL.TXT"_s << true << QStringList{u"FTPLog0001.TXT"_s, u"FTPLogALL.TXT"_s} << false;
    // clang-format on
}

void DiskFaultsTest::runOnBrokenDirectory()
{
    PW_REQUIRE_ROOT("mounting a file system needs root");
    PW_REQUIRE_TESTBED(tb);
    QFETCH(Breaks, breaks);
    QFETCH(Messages, messages);
    QFETCH(QString, status);
    QFETCH(bool, firstSent);
    QFETCH(QStringList, left);
    QFETCH(bool, earlierLogKept);
    for (Message &message : messages)
        message.text.replace(u"{FTP}"_s, tb.ftpHost);
    status.replace(u"{FTP}"_s, tb.ftpHost);

    SmallFileSystem work(kWorkingDirectoryBytes);
    QVERIFY2(work.isMounted(), qPrintable(work.error()));
    QVERIFY(writeBytes(work.filePath(u"FTPLogALL.TXT"_s), kEarlierLog, 0600));
    QTemporaryDir local;
    const QString file = local.filePath(u"sent.txt"_s);
    QVERIFY(writeBytes(file, "the file to send\r\n"));
    const RemoteDirectory ftpRemote(tb.plain), sshRemote(tb.plain);

    EngineRun run;
    run.window.setFiles({file});
    run.window.setWorkingDirectory(work.path());
    FakeDestinationGrid &grid = run.window.grid();
    grid.setRow({1, u"N"_s, tb.ftpHost, ftpRemote.path(), tb.plain.user, tb.plain.password});
    grid.setRow({2, u"Y"_s, tb.sshSession, sshRemote.path(), tb.plain.user, tb.plain.password});
    bool broken = false;
    switch (breaks) {
    case Breaks::BeforeRequest:
        QVERIFY(work.fill());
        broken = true;
        break;
    case Breaks::FirstFiles:
        // A page for the lock; the earlier log's page, once the run has removed it, for the
        // launcher.
        QVERIFY(work.fill() && work.release(4096));
        broken = true;
        break;
    case Breaks::AfterChecks:
        // The checks end by giving the last destination row its standard colours back.
        grid.onColour = [&](int row, int column, CellColour colour) {
            if (row == 2 && column == kPasswordColumn && colour == kStandardTextColour)
                broken = work.makeReadOnly();
        };
        break;
    case Breaks::WhileClientRuns:
        run.window.onDestinationStarted = [&](const QString &, int index, int) {
            if (index == 1)
                broken = work.fill();
        };
        break;
    }

    run.processRequest();

    QVERIFY(broken);
    QCOMPARE(run.window.messages, messages);
    QCOMPARE(run.window.statusText, status);
    QCOMPARE(ftpRemote.fileNames(), firstSent ? QStringList{u"sent.txt"_s} : QStringList());
    if (firstSent)
        QCOMPARE(readBytes(ftpRemote.filePath(u"sent.txt"_s)), readBytes(file));
    QCOMPARE(sshRemote.fileNames(), QStringList());
    work.drain();
    QCOMPARE(fileNamesIn(work.path()), left);
    for (const QString &name : left)
        QVERIFY(isOwnerOnly(work.filePath(name)));
    if (earlierLogKept)
        QCOMPARE(readBytes(work.filePath(u"FTPLogALL.TXT"_s)), kEarlierLog);
    // A log that could not take a destination's block holds none of it.
    if (breaks == Breaks::WhileClientRuns)
        QCOMPARE(readBytes(work.filePath(u"FTPLogALL.TXT"_s)), QByteArray());
}

void DiskFaultsTest::profileSaveOntoFullFileSystem_data()
{
    QTest::addColumn<bool>("existing"); // a Profile of that name is there already

    QTest::newRow("over an old Profile") << true;
    QTest::newRow("a new Profile") << false;
}

void DiskFaultsTest::profileSaveOntoFullFileSystem()
{
    PW_REQUIRE_ROOT("mounting a file system needs root");
    QFETCH(bool, existing);
    SmallFileSystem startup(kWorkingDirectoryBytes);
    QVERIFY2(startup.isMounted(), qPrintable(startup.error()));
    FakeProfileWindow window;
    const ProfileStore store(startup.path());
    ProfileCommands commands(window, store);
    CipherKey = kProfileCipherKey;
    window.name = u"Kept"_s;
    const DestinationRows old = profileRows(3);
    for (const DestinationRow &row : old)
        window.grid().setRow(row);
    if (existing)
        commands.Save();
    const QString path = startup.filePath(u"Kept.pro"_s);
    const QByteArray oldBytes = readBytes(path);
    QCOMPARE(oldBytes.isEmpty(), !existing);

    QVERIFY(startup.fill());
    for (const DestinationRow &row : profileRows(40))
        window.grid().setRow(row);
    window.statusText.clear();
    commands.Save();

    const QString kept = existing ? u" - the old Profile is unchanged"_s : QString();
    QCOMPARE(window.messages,
             (Messages{{u"Edit Error"_s,
                        u"The Profile could not be written - Profile NOT stored"_s + kept}}));
    QCOMPARE(window.statusText, QString());
    startup.drain();
    QCOMPARE(fileNamesIn(startup.path()), existing ? QStringList{u"Kept.pro"_s} : QStringList());
    if (!existing)
        return;
    QCOMPARE(readBytes(path), oldBytes);
    QVERIFY(isOwnerOnly(path));
    window.grid().clearEntries();
    commands.Get();
    for (const DestinationRow &row : old) {
        for (int column = 0; column < kDestinationColumnCount; ++column)
            QCOMPARE(window.grid().text(row.row, column),
                     (QStringList{row.secure, row.host, row.directory, row.user, row.password}.at(
                         column)));
    }
    QCOMPARE(window.grid().text(old.size() + 1, kHostColumn), QString());
}

QTEST_GUILESS_MAIN(DiskFaultsTest)
#include "disk_faults_test.moc"

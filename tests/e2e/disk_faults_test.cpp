#include "profiles/encrypt.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "support/fake_window.h"
#include "support/files.h"
#include "support/small_filesystem.h"
#include "support/testbed.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

DestinationRows profileRows(int count)
{
    DestinationRows rows;
    for (int row = 1; row <= count; ++row)
        rows.append({row, row % 2 ? u"Y"_s : u"N"_s, u"host%1.example"_s.arg(row), u"/in box"_s,
                     u"user%1"_s.arg(row), u"pass word %1"_s.arg(row)});
    return rows;
}

} // namespace

/// A start-up directory that stops taking writes: a small tmpfs that is full. The user is told,
/// and nothing already stored (an old Profile) is lost.
class DiskFaultsTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void profileSaveOntoFullFileSystem_data();
    void profileSaveOntoFullFileSystem();
};

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
    SmallFileSystem startup(64 * 1024);
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

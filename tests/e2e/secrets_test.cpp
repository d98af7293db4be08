#include "profiles/encrypt.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "support/fake_window.h"
#include "support/files.h"
#include "support/testbed.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// The passwords a file or an output must never show: each account's, without the blanks at its
// ends (a password with them still holds the rest).
QByteArrayList passwordsOf(const Testbed &tb)
{
    return {tb.plain.password.trimmed().toLocal8Bit(), tb.quoted.password.trimmed().toLocal8Bit(),
            tb.hostile.password.trimmed().toLocal8Bit()};
}

bool holdsAny(const QByteArray &bytes, const QByteArrayList &passwords)
{
    return std::any_of(passwords.cbegin(), passwords.cend(),
                       [&bytes](const QByteArray &password) { return bytes.contains(password); });
}

} // namespace

/// Where passwords go when a Profile is saved: into a file readable by its owner only.
class SecretsTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void profileIsOwnerOnly_data();
    void profileIsOwnerOnly();
};

void SecretsTest::profileIsOwnerOnly_data()
{
    QTest::addColumn<int>("oldMode"); // of a Profile file there before; 0 for none
    QTest::newRow("new Profile") << 0;
    QTest::newRow("over a world-readable Profile") << 0644;
    QTest::newRow("over a world-writable Profile") << 0666;
}

void SecretsTest::profileIsOwnerOnly()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(int, oldMode);
    QTemporaryDir startup;
    const QString path = startup.filePath(u"Shared.pro"_s);
    if (oldMode != 0)
        QVERIFY(writeBytes(path, "an old profile\r\n", unsigned(oldMode)));
    FakeProfileWindow window;
    const ProfileStore store(startup.path());
    ProfileCommands commands(window, store);
    CipherKey = kProfileCipherKey;
    window.name = u"Shared"_s;
    int row = 0;
    for (const TestbedAccount *account : {&tb.plain, &tb.quoted, &tb.hostile})
        window.grid().setRow({++row, u"Y"_s, tb.sshSession, {}, account->user, account->password});

    commands.Save();

    QCOMPARE(window.messages, Messages());
    QCOMPARE(fileNamesIn(startup.path()), QStringList{u"Shared.pro"_s});
    QVERIFY(isOwnerOnly(path));
    QVERIFY(!holdsAny(readBytes(path), passwordsOf(tb))); // enciphered, as the format has it
}

QTEST_GUILESS_MAIN(SecretsTest)
#include "secrets_test.moc"

#include "profiles/encrypt.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "support/fake_window.h"
#include "support/files.h"
#include "support/session_run.h"

#include <QTemporaryDir>

#include <QtTest>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

/// A Profile file's bytes for plain record lines, enciphered with the program key.
QByteArray profileBytes(const QList<QByteArray> &plainLines)
{
    QByteArray bytes;
    for (const QByteArray &line : plainLines)
        bytes += EncryptWithKey(line, kProfileCipherKey) + "\r\n";
    return bytes;
}

/// The profile commands over an in-memory window and a real start-up directory.
struct Bench
{
    QTemporaryDir dir;
    FakeWindow window;
    ProfileStore store{dir.path()};
    ProfileCommands commands{store};

    Bench() { CipherKey = kProfileCipherKey; }
    QString file(const QString &name) const { return dir.filePath(name); }
    QStringList row(int row)
    {
        QStringList cells;
        for (int column = 0; column < kDestinationColumnCount; ++column)
            cells << window.grid().text(row, column);
        return cells;
    }
};

const Message kBadName{
    u"Edit Error"_s,
    u"The Profile name is used as a file name - please stick to A-Z and _ (underlines) - Profile NOT stored - Please try again, Thank You"_s};

/// One Save of the table under `name`: what it says, with an old Profile P.pro there before.
struct SaveCase
{
    QString name;
    DestinationRow row; // keyed besides rows 1 to `rows`
    QString message;    // empty when stored
    int oldMode = 0600; // of P.pro; 0 for none
    int room = -1;      // bytes a file may take; -1 for no limit
    int rows = 3;       // rows 1 on with a host
};

} // namespace

Q_DECLARE_METATYPE(SaveCase)

/// Save, Get, LoadProfile and the start-up against real files, without a display.
class ProfileCommandsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cipherKnownAnswers_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("enciphered");
        // "CALMTIDE": position 1 takes A (65), 2 takes L (76), 3 M (77), 4 T (84), ..., 8 takes C.
        // clang-format off
        QTest::newRow("record start") << QByteArray("[Y] ") << QByteArray("CalmTide") << QByteArray("\x9c\xa5\xaa\x74");
        QTest::newRow("position 8 takes the first") << QByteArray(9, '\x01') << QByteArray("CalmTide") << QByteArray("BMNUJEFDB");
        // "AB", whatever the key's case: odd positions take B (66), even ones A (65).
        QTest::newRow("two-letter key") << QByteArray("abcd") << QByteArray("ab") << QByteArray("\xa3\xa3\xa5\xa5");
        QTest::newRow("sum past 255 wraps") << QByteArray("\xff") << QByteArray("A") << QByteArray("@");
        QTest::newRow("empty key") << QByteArray("plain") << QByteArray() << QByteArray("plain");
        // clang-format on
    }

    void cipherKnownAnswers()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, enciphered);
        QCOMPARE(EncryptWithKey(text, key), enciphered);
        QCOMPARE(DecryptWithKey(enciphered, key), text);
    }

    void saveWritesPackedRows()
    {
        Bench bench;
        bench.window.grid().setRow(
            {3, u"Y"_s, u"sftp.example"_s, u"/in"_s, u"me"_s, u"pass word"_s});
        bench.window.grid().setRow({7, u"N"_s, u"ftp.example"_s, {}, {}, u"p\u00e9"_s});
        bench.window.grid().setRow({8, u"N"_s, {}, u"/no host"_s, u"u"_s, u"p"_s});
        bench.window.grid().setRow({4999, {}, u"last"_s, {}, {}, {}});
        bench.window.grid().setCurrentRow(7);
        bench.window.grid().setCurrentColumn(kUserIdColumn);
        bench.window.grid().stagePendingEdit(u"pending"_s); // Save commits it first
        bench.window.name = u"Alpha"_s;

        bench.window.present(bench.commands.Save(bench.window));

        QVERIFY(bench.window.messages.isEmpty());
        // "[Y] [sftp.example] [/in] [me] [pass word] ", "[N] [ftp.example] [] [pending] [p\u00e9]
        // ",
        // "[] [last] [] [] [] ", each enciphered by hand and ended by CR LF.
        QCOMPARE(
            readBytes(bench.file(u"Alpha.pro"_s)),
            QByteArray::fromHex("9ca5aa74a4b7abb7b17ab2ccaab1b5afa6a96daf78adb3a061a7bab9a664a0b3"
                                "a2bfc074c0b3b7a79e6c0d0a"
                                "9c9aaa74a4aab9b36fb1c5b5b6b4b1a89e6ca8b1699fb5a8afb0b6c2b0a1659e"
                                "b10ff6b1690d0a"
                                "9ca96dafb5a5b8b79e6ca8b1699fa2639ca96d0d0a"));
        // Read back, the table takes moves again.
        bench.window.present(bench.commands.Get(bench.window));
        QVERIFY(!bench.window.grid().busy);

        // A second Save under the name replaces the whole file; an empty table gives zero bytes.
        bench.window.grid().clearEntries();
        bench.window.present(bench.commands.Save(bench.window));
        QCOMPARE(QFileInfo(bench.file(u"Alpha.pro"_s)).size(), 0);
        bench.window.name.clear();
        bench.window.present(bench.commands.Save(bench.window));
        QCOMPARE(bench.window.statusText, u"Profile '' Stored Successfully"_s);
        QVERIFY(QFileInfo::exists(bench.file(u".pro"_s)));
    }

    void saveOutcomes_data()
    {
        QTest::addColumn<SaveCase>("save");
        const auto unstorable = [](int row) {
            return u"Row %1: a value holds a character that a Profile cannot store - Profile NOT stored"_s
                .arg(row);
        };
        const QString notWritten = u"The Profile could not be written - Profile NOT stored"_s;
        const QString kept = notWritten + u" - the old Profile is unchanged"_s;
        // clang-format off
        QTest::newRow("NUL in the name") << SaveCase{QString(u"a\0b"_s), {}, kBadName.text};
        QTest::newRow("name too long for a file") << SaveCase{QString(300, u'n'), {}, kBadName.text};
        QTest::newRow("right bracket in a password") << SaveCase{u"P"_s, {5, u"N"_s, u"h"_s, {}, u"u"_s, u"p]w"_s}, unstorable(5)};
        QTest::newRow("left bracket in a directory") << SaveCase{u"P"_s, {9, u"N"_s, u"h"_s, u"[x"_s, u"u"_s, u"p"_s}, unstorable(9)};
        QTest::newRow("line break in a host") << SaveCase{u"P"_s, {2, u"N"_s, u"h\nx"_s, {}, u"u"_s, u"p"_s}, unstorable(2)};
        // U+00BD is C2 BD in UTF-8; at positions 2 and 3 of the line it meets 'L' (76) and 'M' (77),
        // and 0xBD + 77 = 266 wraps to 10, a line feed.
        QTest::newRow("enciphers to a line feed") << SaveCase{u"P"_s, {3, u"\u00bd"_s, u"h"_s, {}, u"u"_s, u"p"_s}, unstorable(3)};
        QTest::newRow("over a world-writable Profile") << SaveCase{u"P"_s, {}, {}, 0666};
        QTest::newRow("a new Profile, nothing fits") << SaveCase{u"P"_s, {}, notWritten, 0, 0};
        QTest::newRow("over an old Profile, full part way") << SaveCase{u"P"_s, {}, kept, 0600, 4096, kLastDataRow};
        // clang-format on
    }

    void saveOutcomes()
    {
        QFETCH(SaveCase, save);
        Bench bench;
        const QString path = bench.file(u"P.pro"_s);
        if (save.oldMode != 0)
            QVERIFY(writeBytes(path, "old profile\r\n", unsigned(save.oldMode)));
        for (int row = kFirstDataRow; row <= save.rows; ++row)
            bench.window.grid().setRow(
                {row, u"N"_s, u"host%1"_s.arg(row), u"/in"_s, u"u"_s, u"p"_s});
        bench.window.grid().setRow(save.row);
        bench.window.name = save.name;
        {
            std::optional<FileSizeLimit> limit;
            if (save.room >= 0)
                limit.emplace(rlim_t(save.room));
            bench.window.present(bench.commands.Save(bench.window));
        }

        const bool stored = save.message.isEmpty();
        QCOMPARE(bench.window.messages,
                 (stored ? Messages() : Messages{{u"Edit Error"_s, save.message}}));
        QCOMPARE(bench.window.statusText.isEmpty(), !stored);
        // Nothing half written stays, and an old Profile stays whole.
        QCOMPARE(fileNamesIn(bench.dir.path()),
                 save.oldMode != 0 || stored ? QStringList{u"P.pro"_s} : QStringList());
        if (stored)
            QVERIFY(isOwnerOnly(path)); // the new text is as secret as any Profile
        else if (save.oldMode != 0)
            QCOMPARE(readBytes(path), QByteArray("old profile\r\n"));
    }

    void loadReadsCraftedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");        // null: no file at all
        QTest::addColumn<bool>("readable");           // or refused, with the table kept
        QTest::addColumn<QList<QStringList>>("rows"); // rows 1 on; the row after them is empty
        const QStringList a{u"N"_s, u"a"_s, {}, {}, u"p"_s};
        const QStringList b{u"Y"_s, u"b"_s, {}, u"u"_s, u"q"_s};
        QList<QByteArray> many;
        for (int i = 1; i <= kLastDataRow + 6; ++i)
            many << "[N] [h" + QByteArray::number(i) + "] [] [] [p] ";
        // clang-format off
        QTest::newRow("empty file") << QByteArray("") << true << QList<QStringList>();
        QTest::newRow("empty line keeps its row") << profileBytes({"[N] [a] [] [] [p] ", "", "[Y] [b] [] [u] [q] "}) << true << QList<QStringList>{a, QStringList(5), b};
        QTest::newRow("LF line ends, no last line end") << profileBytes({"[N] [a] [] [] [p] "}) + EncryptWithKey("[Y] [b] [] [u] [q] ", kProfileCipherKey) << true << QList<QStringList>{a, b};
        QTest::newRow("fewer fields") << profileBytes({"[N] [a] "}) << true << QList<QStringList>{{u"N"_s, u"a"_s, {}, {}, {}}};
        QTest::newRow("missing ] takes the rest") << profileBytes({"[N] [a] [] [] [pass word"}) << true << QList<QStringList>{{u"N"_s, u"a"_s, {}, {}, u"pass word"_s}};
        QTest::newRow("[ inside a value shifts") << profileBytes({"[a[x] [b] "}) << true << QList<QStringList>{{u"a[x"_s, u"x"_s, u"b"_s, {}, {}}};
        QTest::newRow("lines past 4,999 ignored, unread") << profileBytes(many) + QByteArray(ProfileStore::kMaxLineBytes + 1, 'x') << true << QList<QStringList>{{u"N"_s, u"h1"_s, {}, {}, u"p"_s}};
        QTest::newRow("no file") << QByteArray() << false << QList<QStringList>();
        QTest::newRow("a first line too long") << QByteArray(ProfileStore::kMaxLineBytes + 1, 'x') << false << QList<QStringList>();
        // clang-format on
    }

    void loadReadsCraftedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, readable);
        QFETCH(QList<QStringList>, rows);
        Bench bench;
        bench.window.grid().setRow({4000, u"N"_s, u"before"_s, {}, {}, u"x"_s});
        bench.window.grid().setCurrentRow(4000);
        bench.window.grid().setCurrentCellTextColour(kFaultColour);
        if (!bytes.isNull())
            QVERIFY(writeBytes(bench.file(u"c.pro"_s), bytes));

        bench.commands.LoadProfile(bench.window, bench.file(u"c.pro"_s)); // nothing said
        bench.window.present(bench.commands.LoadProfile(bench.window, bench.file(u"c.pro"_s)));

        if (!readable) {
            QCOMPARE(bench.window.messages,
                     (Messages{{u"Edit Error"_s, u"The Profile could not be read"_s}}));
            QCOMPARE(bench.row(4000)[1], u"before"_s);
            return;
        }
        QVERIFY(bench.window.messages.isEmpty());
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(bench.row(i + 1), rows[i]);
        const int lines =
            int(bytes.count('\n')) + (bytes.endsWith('\n') || bytes.isEmpty() ? 0 : 1);
        if (lines > kLastDataRow) {
            QCOMPARE(bench.row(kLastDataRow)[1], u"h4999"_s);
        } else {
            QCOMPARE(bench.row(int(rows.size()) + 1), QStringList(5));
            QCOMPARE(bench.row(4000), QStringList(5)); // the old table is gone
        }
        QCOMPARE(bench.window.grid().textColour(4000, 0), kStandardTextColour);
    }

    void get_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Messages>("messages");
        // clang-format off
        QTest::newRow("empty name") << QString() << Messages{{u"Edit Error"_s, u"Please Enter a Profile Name first"_s}};
        QTest::newRow("separator in the name") << u"../Alpha"_s << Messages{kBadName};
        QTest::newRow("a wildcard is no pattern") << u"Al*"_s << Messages();
        QTest::newRow("directory") << u"dir"_s << Messages();
        // clang-format on
    }

    void get()
    {
        QFETCH(QString, name);
        QFETCH(Messages, messages);
        Bench bench;
        QVERIFY(writeBytes(bench.file(u"Alpha.pro"_s), profileBytes({"[N] [loaded] [] [] [p] "})));
        QVERIFY(QDir(bench.dir.path()).mkdir(u"dir.pro"_s));
        bench.window.grid().setRow({2, u"N"_s, u"old"_s, {}, {}, u"p"_s});
        bench.window.grid().setCurrentRow(2);
        bench.window.grid().setCurrentColumn(kHostColumn);
        bench.window.grid().stagePendingEdit(u"typed"_s);
        bench.window.name = name;

        bench.window.present(bench.commands.Get(bench.window));

        // Nothing loaded, nothing committed.
        QCOMPARE(bench.window.messages, messages);
        QCOMPARE(bench.row(2)[1], u"old"_s);
    }

    void startUp_data()
    {
        QTest::addColumn<QStringList>("files"); // in the start-up directory; "/" ends a directory
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("loaded"); // the host in row 1 afterwards
        // clang-format off
        QTest::newRow("several, any case, sorted") << QStringList{u"b.pro"_s, u"A.PRO"_s, u"C.d.pro"_s} << QStringList{u"A"_s, u"b"_s, u"C.d"_s} << u"A.PRO"_s;
        QTest::newRow("directories are not listed") << QStringList{u"x.pro/"_s, u"sub/in.pro"_s, u"y.pro"_s} << QStringList{u"y"_s} << u"y.pro"_s;
        QTest::newRow("hidden profile first is not loaded") << QStringList{u".h.pro"_s, u"Alpha.pro"_s} << QStringList{u".h"_s, u"Alpha"_s} << QString();
        QTest::newRow("profile named .pro first") << QStringList{u".pro"_s, u"Alpha.pro"_s} << QStringList{QString(), u"Alpha"_s} << QString();
        // clang-format on
    }

    void startUp()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, names);
        QFETCH(QString, loaded);
        Bench bench;
        CipherKey.clear();
        for (const QString &file : files) {
            if (file.endsWith(u'/') || file.contains(u'/'))
                QVERIFY(QDir(bench.dir.path()).mkpath(file.section(u'/', 0, 0)));
            if (file.endsWith(u'/'))
                continue;
            QVERIFY(writeBytes(bench.file(file),
                               profileBytes({"[N] [" + file.toLatin1() + "] [] [] [p] "})));
        }
        // The process's own current directory is elsewhere: only the start-up directory counts.
        QVERIFY(QDir::setCurrent(QDir::tempPath()));

        bench.commands.startUp(bench.window);

        QCOMPARE(bench.window.names, names);
        QCOMPARE(bench.window.name, names.value(0));
        QCOMPARE(bench.row(1)[1], loaded);
        QVERIFY(bench.window.messages.isEmpty());
    }
};

QTEST_GUILESS_MAIN(ProfileCommandsTest)
#include "profile_commands_test.moc"

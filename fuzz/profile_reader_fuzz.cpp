// Profile files as the program reads them: the lines of the file, the cipher, the field splitting,
// and LoadProfile on a file into an in-memory window; what loads must save and load again
// unchanged. The line reader is also run with bounds small enough for short inputs to reach.
#include "fuzz_check.h"

#include "interfaces/destination_grid.h"
#include "interfaces/profile_window.h"
#include "profiles/encrypt.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_record.h"
#include "profiles/profile_store.h"
#include "support/fake_window.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

/// The main window as the profile commands see it, in memory.
class MemoryWindow final : public ProfileWindow
{
public:
    PlainDestinationGrid grid;
    QString name;

    DestinationGrid &destinationGrid() override { return grid; }
    QString profileName() const override { return name; }
    void setProfileName(const QString &text) override { name = text; }
    void addProfileName(const QString &) override {}
    void commitPendingEdit() override {}
    void setGridBusy(bool) override {}
    void hideEditor() override {}
    void setStatusText(const QString &) override {}
};

/// The start-up directory of the store, kept for the whole run.
struct Fixture
{
    Fixture() : store(directory.path()) { CipherKey = kProfileCipherKey; }
    QTemporaryDir directory;
    ProfileStore store;
};

/// The destinations of the table in order, rows without a host left out as Save leaves them.
QList<QStringList> keyedRows(const MemoryWindow &window)
{
    QList<QStringList> rows;
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        if (window.grid.text(row, kHostColumn).isEmpty())
            continue;
        QStringList fields;
        for (int column = 0; column < kDestinationColumnCount; ++column)
            fields.append(window.grid.text(row, column));
        rows.append(fields);
    }
    return rows;
}

/// The lines that a reader bounded so must give: the first `maxLines` of the text split at LF, a
/// CR before the end of each dropped; false when one of them is longer than `maxLineBytes`.
bool expectedLines(const QByteArray &bytes, qsizetype maxLines, qsizetype maxLineBytes,
                   QList<QByteArray> *lines)
{
    lines->clear();
    for (qsizetype start = 0; start < bytes.size() && lines->size() < maxLines;) {
        const qsizetype lineFeed = bytes.indexOf('\n', start);
        const qsizetype end = lineFeed < 0 ? bytes.size() : lineFeed;
        QByteArray line = bytes.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > maxLineBytes)
            return false;
        lines->append(line);
        start = end + 1;
    }
    return true;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static Fixture fixture;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    QByteArray plain;
    DecryptText(bytes, plain);
    QByteArray again;
    EncryptText(plain, again);
    fuzzCheck(again == bytes, "enciphering the deciphered text gives it back");

    const QStringList fields = splitRecordLine(plain);
    fuzzCheck(fields.size() == kRecordFieldCount, "a record line gives five fields");

    const QString original = fixture.directory.filePath(QStringLiteral("fuzzed.pro"));
    fuzzCheck(writeFile(original, bytes), "the profile file is written");
    QList<QByteArray> read;
    QList<QByteArray> expected;
    const bool readable = fixture.store.read(original, 5, &read, 40);
    fuzzCheck(readable == expectedLines(bytes, 5, 40, &expected),
              "a file is refused exactly when a line it must read is too long");
    fuzzCheck(!readable || read == expected, "the lines read are the file's first lines");
    MemoryWindow window;
    ProfileCommands commands(fixture.store);
    fuzzCheck(!commands.LoadProfile(window, original), "a readable file loads without a fault");
    const QList<QStringList> loaded = keyedRows(window);

    // Save refuses values the format cannot give back; whatever it stores must load unchanged.
    window.name = QStringLiteral("copy");
    if (commands.Save(window))
        return 0;
    MemoryWindow reloaded;
    fuzzCheck(!commands.LoadProfile(reloaded, fixture.store.profilePath(window.name)),
              "a saved profile loads without a fault");
    fuzzCheck(keyedRows(reloaded) == loaded, "a saved profile loads as it was saved");
    return 0;
}

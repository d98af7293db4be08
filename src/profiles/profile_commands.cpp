#include "profiles/profile_commands.h"

#include "interfaces/profile_window.h"
#include "platform/dir_search.h"
#include "platform/own_files.h"
#include "profiles/encrypt.h"
#include "profiles/profile_record.h"
#include "profiles/profile_store.h"
#include "transfer/value_checks.h"

#include <QFileInfo>

#include <algorithm>

namespace {

const QString kEditErrorTitle = QStringLiteral("Edit Error");
const QString kBadNameText = QStringLiteral(
    "The Profile name is used as a file name - please stick to A-Z and _ (underlines) - Profile "
    "NOT stored - Please try again, Thank You");
const QString kNoNameText = QStringLiteral("Please Enter a Profile Name first");
const QString kNotWrittenText =
    QStringLiteral("The Profile could not be written - Profile NOT stored");
const QString kOldKeptText = QStringLiteral(" - the old Profile is unchanged");
const QString kNotReadText = QStringLiteral("The Profile could not be read");
const QString kNotStoredText = QStringLiteral(" - Profile NOT stored");
// Another user who may rename files there could put a Profile of theirs, with their hosts, in
// the place of the one saved.
const QString kSharedFolderText =
    QStringLiteral("The folder %1 can be changed by other users - Profile NOT stored. Keep "
                   "Profiles in a folder of your own (for example ~/Parcelwright)");
const QString kOthersReadText =
    QStringLiteral("Other users can read %1, and the passwords in it - make it yours alone "
                   "(chmod 600)");
const QString kUnstorableText =
    QStringLiteral("Row %1: a value holds a character that a Profile cannot store - Profile NOT "
                   "stored");

// A name is used literally as a file name: one holding a separator would name another
// directory's file, and one holding a NUL would be cut short by the system.
bool isUsableName(const QString &name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QChar(u'\0'));
}

// A value the format cannot give back as it was keyed: a bracket ends or shifts its field, and a
// line break (or another control character) in the plain or the enciphered line splits it.
bool isStorable(const QString &value)
{
    return !value.contains(QLatin1Char('[')) && !value.contains(QLatin1Char(']')) &&
           !holdsControlCharacter(value);
}

// The name must be there, and usable as a file name.
std::optional<Fault> nameFault(const QString &name)
{
    if (name.isEmpty())
        return Fault{kEditErrorTitle, kNoNameText, FaultSubject::ProfileName};
    if (!isUsableName(name))
        return Fault{kEditErrorTitle, kBadNameText, FaultSubject::ProfileName};
    return std::nullopt;
}

// The n-th line is row n; a line that holds nothing leaves its row as it is.
void fillRows(DestinationGrid &grid, const QList<QStringList> &rows)
{
    for (qsizetype line = 0; line < rows.size(); ++line) {
        if (rows[line].isEmpty())
            continue;
        for (int column = 0; column < kDestinationColumnCount; ++column)
            grid.setText(int(line) + kFirstDataRow, column, rows[line].value(column));
    }
}

} // namespace

ProfileCommands::ProfileCommands(const ProfileStore &store) : m_store(store) {}

std::optional<Fault> ProfileCommands::Save(ProfileWindow &window)
{
    window.commitPendingEdit();
    const QString name = window.profileName();
    const Fault badName{kEditErrorTitle, kBadNameText, FaultSubject::ProfileName};
    if (!isUsableName(name))
        return badName;

    DestinationGrid &grid = window.destinationGrid();
    QList<QByteArray> lines;
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        if (grid.text(row, kHostColumn).isEmpty())
            continue;
        QStringList fields;
        for (int column = 0; column < kDestinationColumnCount; ++column)
            fields.append(grid.text(row, column));
        QByteArray line;
        EncryptText(plainRecordLine(fields), line);
        const bool storable = std::all_of(fields.cbegin(), fields.cend(), isStorable);
        if (!storable || line.contains('\n') || line.contains('\r'))
            return Fault{kEditErrorTitle, kUnstorableText.arg(row), FaultSubject::Profile};
        lines.append(line);
    }

    if (othersMayChangeDirectory(m_store.startupDirectory()))
        return Fault{kEditErrorTitle, kSharedFolderText.arg(m_store.startupDirectory()),
                     FaultSubject::Profile};
    const QString path = m_store.profilePath(name);
    const bool replacing = QFileInfo::exists(path);
    QString refusal;
    switch (m_store.write(path, lines, &refusal)) {
    case ProfileStore::WriteResult::CannotOpen:
        return badName;
    case ProfileStore::WriteResult::Refused:
        return Fault{kEditErrorTitle, refusal + kNotStoredText, FaultSubject::Profile};
    case ProfileStore::WriteResult::WriteFailed:
        // Only a Profile that was there can be said to be kept.
        return Fault{kEditErrorTitle, replacing ? kNotWrittenText + kOldKeptText : kNotWrittenText,
                     FaultSubject::Profile};
    case ProfileStore::WriteResult::Written:
        break;
    }
    window.setStatusText(QStringLiteral("Profile '") + window.profileName() +
                         QStringLiteral("' Stored Successfully"));
    return std::nullopt;
}

std::optional<Fault> ProfileCommands::Get(ProfileWindow &window)
{
    const QString name = window.profileName();
    if (std::optional<Fault> fault = nameFault(name))
        return fault;
    const QString path = m_store.profilePath(name);
    if (!isOrdinaryFile(path))
        return std::nullopt;
    return LoadProfile(window, path);
}

std::optional<Fault> ProfileCommands::read(const QString &path, QList<QStringList> *rows) const
{
    QList<QByteArray> lines;
    if (!m_store.read(path, kLastDataRow, &lines))
        return Fault{kEditErrorTitle, kNotReadText, FaultSubject::Profile};
    rows->clear();
    for (const QByteArray &line : std::as_const(lines)) {
        QByteArray plain;
        DecryptText(line, plain);
        rows->append(plain.isEmpty() ? QStringList() : splitRecordLine(plain));
    }
    return std::nullopt;
}

std::optional<Fault> ProfileCommands::LoadProfile(ProfileWindow &window, const QString &path)
{
    // Read first: a profile that cannot be read must not cost the table the user has now.
    QList<QStringList> rows;
    if (std::optional<Fault> fault = read(path, &rows))
        return fault;

    DestinationGrid &grid = window.destinationGrid();
    grid.clearEntries();
    window.setGridBusy(true);
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        grid.setCurrentRow(row);
        grid.setCurrentColumn(kPasswordColumn);
        grid.setCurrentCellTextColour(kHiddenPasswordColour);
    }
    grid.setCurrentRow(kFirstDataRow);
    window.setGridBusy(false);
    fillRows(grid, rows);
    window.hideEditor();
    // Loaded all the same: a Profile copied from elsewhere must keep working.
    if (othersMayUseFile(path))
        window.setStatusText(kOthersReadText.arg(path));
    return std::nullopt;
}

std::optional<Fault> ProfileCommands::getInto(DestinationGrid &table, const QString &name,
                                              bool *missing)
{
    *missing = false;
    if (std::optional<Fault> fault = nameFault(name))
        return fault;
    const QString path = m_store.profilePath(name);
    *missing = !isOrdinaryFile(path);
    QList<QStringList> rows;
    if (*missing)
        return std::nullopt;
    if (std::optional<Fault> fault = read(path, &rows))
        return fault;
    table.clearEntries();
    fillRows(table, rows);
    return std::nullopt;
}

int ProfileCommands::SearchFiles(ProfileWindow &window, const QString &directory,
                                 const QString &pattern)
{
    int count = 0;
    for (const QString &fileName : searchDirectory(directory, pattern)) {
        ++count;
        const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
        const QString baseName = dot < 0 ? fileName : fileName.left(dot);
        window.addProfileName(baseName);
        if (count == 1)
            window.setProfileName(baseName);
    }
    return count;
}

void ProfileCommands::startUp(ProfileWindow &window)
{
    CipherKey = kProfileCipherKey;
    window.setGridBusy(false);
    if (SearchFiles(window, m_store.startupDirectory(), QStringLiteral("*.pro")) == 0)
        return;
    const QString first = window.profileName();
    if (first.isEmpty())
        return;
    const QString path = m_store.profilePath(first);
    if (!isOrdinaryFile(path))
        return;
    LoadProfile(window, path);
}

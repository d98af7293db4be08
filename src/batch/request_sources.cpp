#include "batch/request_sources.h"

#include "interfaces/destination_grid.h"
#include "platform/dir_search.h"
#include "platform/own_files.h"
#include "profiles/encrypt.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "transfer/run_report.h"
#include "transfer/text_lines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

namespace {

// Far beyond 4,999 lines of any sensible length; a larger file is a mistake, not a list.
constexpr qint64 kMostBytes = 64 * 1024 * 1024;

// Only a regular file is read: a FIFO or a device would hold the program, or never end.
bool readSmallFile(const QString &path, QByteArray *bytes, QString *error)
{
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile())
        *error = info.exists() ? QStringLiteral("%1 is not a plain file").arg(path)
                               : QStringLiteral("%1 does not exist").arg(path);
    else if (info.size() > kMostBytes)
        *error = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(kMostBytes);
    else if (!file.open(QIODevice::ReadOnly))
        *error = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
    else
        *bytes = file.read(kMostBytes);
    return error->isEmpty();
}

// As ssh with a private key: a file of passwords others may read, or change to send the passwords
// elsewhere, is not used at all.
bool isOwnersAlone(const QString &path, QString *error)
{
    if (!othersMayUseFile(path))
        return true;
    *error = QStringLiteral("%1 may be read or changed by other users: make it yours alone "
                            "(chmod 600)")
                 .arg(path);
    return false;
}

} // namespace

namespace RequestSources {

bool loadProfile(DestinationGrid &table, const QString &name, const QString &directory,
                 QString *error)
{
    CipherKey = kProfileCipherKey; // set at start-up, as the window's start-up sets it
    const ProfileStore store(directory.isEmpty() ? QDir::currentPath() : directory);
    const QString path = store.profilePath(name);
    if (!name.contains(u'/') && isOrdinaryFile(path) && !isOwnersAlone(path, error))
        return false;
    bool missing = false;
    const std::optional<Fault> fault = ProfileCommands(store).getInto(table, name, &missing);
    // Get stays silent about a name that names no profile file: here that must be said. A folder
    // that may not be searched hides whether the file is there at all.
    const QFileInfo folder(store.startupDirectory());
    if (missing && folder.isDir() && !folder.isExecutable())
        *error = QStringLiteral("the profile %1 cannot be read: %2 is a folder you may not open")
                     .arg(name, store.startupDirectory());
    else if (missing)
        *error = QStringLiteral("no profile %1 in %2").arg(name, store.startupDirectory());
    else if (fault && fault->subject == FaultSubject::ProfileName)
        *error = QStringLiteral("'%1' cannot name a profile: a profile name is a file name and "
                                "holds no '/'")
                     .arg(name);
    else if (fault)
        *error = QStringLiteral("the profile %1 cannot be read").arg(store.profilePath(name));
    return error->isEmpty();
}

bool loadDestinations(const QString &path, DestinationGrid &grid, QString *error)
{
    if (QFileInfo(path).isFile() && !isOwnersAlone(path, error))
        return false;
    QByteArray text;
    if (!readSmallFile(path, &text, error))
        return false;
    int row = kFirstDataRow - 1;
    int number = 0;
    for (const QByteArray &line : splitLines(text)) {
        ++number;
        if (line.startsWith('#') || (line.trimmed().isEmpty() && !line.contains('\t')))
            continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != kDestinationColumnCount)
            *error = QStringLiteral("%1, line %2: %3 tab-separated columns expected, %4 found")
                         .arg(path)
                         .arg(number)
                         .arg(kDestinationColumnCount)
                         .arg(fields.size());
        else if (++row > kLastDataRow)
            *error = QStringLiteral("%1, line %2: more than %3 destinations")
                         .arg(path)
                         .arg(number)
                         .arg(kLastDataRow);
        if (!error->isEmpty())
            return false;
        for (int column = 0; column < kDestinationColumnCount; ++column)
            grid.setText(row, column, QString::fromLocal8Bit(fields[column]));
    }
    return true;
}

bool readFileList(const QString &path, QStringList *files, QString *error)
{
    QByteArray text;
    if (!readSmallFile(path, &text, error))
        return false;
    files->clear();
    for (const QByteArray &line : splitLines(text)) {
        if (!line.isEmpty())
            files->append(QFile::decodeName(line));
    }
    if (files->isEmpty())
        *error = QStringLiteral("%1 lists no file").arg(path);
    return error->isEmpty();
}

bool checkFiles(QStringList *files, QString *error)
{
    if (files->size() > kLastDataRow) {
        *error = QStringLiteral("more than %1 files").arg(kLastDataRow);
        return false;
    }
    for (QString &path : *files) {
        const QFileInfo file(path);
        if (!file.isFile() || !file.isReadable()) {
            *error = QStringLiteral("%1 is not a file that can be read").arg(path);
            return false;
        }
        path = file.absoluteFilePath();
    }
    return true;
}

bool rowsToResend(const QString &reportPath, const DestinationGrid &grid,
                  const QList<int> &selected, QList<int> *rows, QStringList *skipped,
                  QString *error)
{
    QByteArray text;
    QList<RunReport::Entry> entries;
    QString why;
    if (!readSmallFile(reportPath, &text, error))
        return false;
    if (!RunReport::read(text, &entries, &why)) {
        *error = QStringLiteral("%1 is not a report: %2").arg(reportPath, why);
        return false;
    }
    QMap<int, RunReport::Entry> last;
    for (const RunReport::Entry &entry : std::as_const(entries))
        last.insert(entry.row, entry);
    rows->clear();
    for (const int row : selected) {
        const QString host = grid.text(row, kHostColumn);
        const auto entry = last.constFind(row);
        if (entry == last.cend()) {
            if (!host.isEmpty())
                rows->append(row);
        } else if (entry->outcome == Outcome::Sent) {
            continue;
        } else if (host == entry->host) {
            rows->append(row);
        } else {
            skipped->append(QStringLiteral("row %1: the host is now '%2', the report names '%3' "
                                           "- not sent")
                                .arg(row)
                                .arg(host, entry->host));
        }
    }
    return true;
}

} // namespace RequestSources

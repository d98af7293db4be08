#include "batch/batch_options.h"

#include "interfaces/destination_grid.h"
#include "interfaces/transfer_request.h"

#include <QSet>

namespace {

/// What follows an option on the command line.
enum class Takes
{
    Nothing,
    Value,
    Paths // every following argument up to the next option
};

struct OptionForm
{
    QLatin1String name;
    Takes takes;
};

constexpr OptionForm kOptions[] = {
    {QLatin1String("--profile"), Takes::Value},      {QLatin1String("--profile-dir"), Takes::Value},
    {QLatin1String("--destinations"), Takes::Value}, {QLatin1String("--files"), Takes::Paths},
    {QLatin1String("--file-list"), Takes::Value},    {QLatin1String("--workdir"), Takes::Value},
    {QLatin1String("--jobs"), Takes::Value},         {QLatin1String("--rows"), Takes::Value},
    {QLatin1String("--report"), Takes::Value},       {QLatin1String("--only-failed"), Takes::Value},
    {QLatin1String("--dry-run"), Takes::Nothing},    {QLatin1String("--quiet"), Takes::Nothing},
    {QLatin1String("--help"), Takes::Nothing},       {QLatin1String("--version"), Takes::Nothing},
};

const OptionForm *formOf(const QString &name)
{
    for (const OptionForm &form : kOptions) {
        if (form.name == name)
            return &form;
    }
    return nullptr;
}

bool isOption(const QString &argument)
{
    return argument.startsWith(QLatin1String("--"));
}

// Digits only: a sign, a blank or a trailing letter is a typing mistake, not a number.
bool readNumber(const QString &text, int low, int high, int *number)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    *number = text.toInt();
    return *number >= low && *number <= high;
}

bool readRows(const QString &text, BatchOptions *options)
{
    const QStringList ends = text.split(QLatin1Char('-'));
    return ends.size() == 2 &&
           readNumber(ends[0], kFirstDataRow, kLastDataRow, &options->firstRow) &&
           readNumber(ends[1], kFirstDataRow, kLastDataRow, &options->lastRow) &&
           options->firstRow <= options->lastRow;
}

bool take(const QString &name, const QStringList &values, BatchOptions *options, QString *error)
{
    const QString value = values.value(0);
    if (name == QLatin1String("--profile"))
        options->profile = value;
    else if (name == QLatin1String("--profile-dir"))
        options->profileDirectory = value;
    else if (name == QLatin1String("--destinations"))
        options->destinationsFile = value;
    else if (name == QLatin1String("--files"))
        options->files = values;
    else if (name == QLatin1String("--file-list"))
        options->fileList = value;
    else if (name == QLatin1String("--workdir"))
        options->workingDirectory = value;
    else if (name == QLatin1String("--report"))
        options->report = value;
    else if (name == QLatin1String("--only-failed"))
        options->onlyFailed = value;
    else if (name == QLatin1String("--dry-run"))
        options->dryRun = true;
    else if (name == QLatin1String("--quiet"))
        options->quiet = true;
    else if (name == QLatin1String("--help"))
        options->help = true;
    else if (name == QLatin1String("--version"))
        options->version = true;
    else if (name == QLatin1String("--jobs") &&
             !readNumber(value, kMinSimultaneous, kMaxSimultaneous, &options->jobs))
        *error = QStringLiteral("--jobs takes a number from %1 to %2, not '%3'")
                     .arg(kMinSimultaneous)
                     .arg(kMaxSimultaneous)
                     .arg(value);
    else if (name == QLatin1String("--rows") && !readRows(value, options))
        *error = QStringLiteral("--rows takes FROM-TO, two row numbers from %1 to %2 with FROM "
                                "not above TO, not '%3'")
                     .arg(kFirstDataRow)
                     .arg(kLastDataRow)
                     .arg(value);
    return error->isEmpty();
}

// Exactly one source of destinations and one of files; a profile directory only for a profile.
bool isComplete(const BatchOptions &options, QString *error)
{
    const bool profile = !options.profile.isNull();
    const bool table = !options.destinationsFile.isNull();
    const bool files = !options.files.isEmpty();
    const bool list = !options.fileList.isNull();
    if (profile == table)
        *error = profile ? QStringLiteral("give --profile or --destinations, not both")
                         : QStringLiteral("no destinations: give --profile NAME or "
                                          "--destinations FILE");
    else if (files == list)
        *error = files ? QStringLiteral("give --files or --file-list, not both")
                       : QStringLiteral("no files: give --files PATH... or --file-list FILE");
    else if (!options.profileDirectory.isNull() && !profile)
        *error = QStringLiteral("--profile-dir goes with --profile");
    return error->isEmpty();
}

} // namespace

bool parseBatchArguments(const QStringList &arguments, BatchOptions *options, QString *error)
{
    *options = BatchOptions();
    error->clear();
    QSet<QString> seen;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name =
            arguments[i] == QLatin1String("-h") ? QStringLiteral("--help") : arguments[i];
        QStringList values;
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        const bool joined = isOption(name) && equals > 0;
        if (joined) {
            values.append(name.mid(equals + 1));
            name.truncate(equals);
        }
        const OptionForm *form = formOf(name);
        if (form == nullptr) {
            *error = isOption(name) || name.startsWith(QLatin1Char('-'))
                         ? QStringLiteral("unknown option '%1'").arg(name)
                         : QStringLiteral("unexpected argument '%1'").arg(name);
            return false;
        }
        if (seen.contains(name)) {
            *error = QStringLiteral("%1 is given twice").arg(name);
            return false;
        }
        seen.insert(name);
        if (form->takes == Takes::Nothing && joined) {
            *error = QStringLiteral("%1 takes no value").arg(name);
            return false;
        }
        // A value is never taken from the next option: "--workdir --jobs 4" lacks a directory.
        const bool many = form->takes == Takes::Paths;
        while (form->takes != Takes::Nothing && (values.isEmpty() || many) &&
               i + 1 < arguments.size() && !isOption(arguments[i + 1]))
            values.append(arguments[++i]);
        if (form->takes != Takes::Nothing && (values.isEmpty() || values[0].isEmpty())) {
            *error = QStringLiteral("missing value after %1").arg(name);
            return false;
        }
        if (!take(name, values, options, error))
            return false;
    }
    return options->help || options->version || isComplete(*options, error);
}

QString batchUsage()
{
    return QStringLiteral(
        "Usage: parcelwright-batch (--profile NAME [--profile-dir DIR] | --destinations FILE)\n"
        "                          (--files PATH... | --file-list FILE) [OPTION...]\n"
        "\n"
        "Sends the files to every destination, as Process Request does in the window.\n"
        "\n"
        "Destinations:\n"
        "  --profile NAME        the rows of the profile NAME.pro\n"
        "  --profile-dir DIR     where NAME.pro is (default: the current directory)\n"
        "  --destinations FILE   tab-separated lines: Secure Shell (Y/N), host, remote\n"
        "                        directory, user id, password; '#' begins a comment line;\n"
        "                        the n-th such line is row n; readable by its owner only\n"
        "Files:\n"
        "  --files PATH...       the files to send (up to the next option)\n"
        "  --file-list FILE      the files to send, one path a line\n"
        "Run:\n"
        "  --workdir DIR         the working directory (default: ~/Parcelwright/)\n"
        "  --jobs N              destinations served at once, 1 to 64 (default: 1)\n"
        "  --rows FROM-TO        only the rows FROM to TO\n"
        "  --only-failed REPORT  only the rows that an earlier report does not give as sent\n"
        "  --dry-run             check, then show what would be sent; send nothing\n"
        "Output:\n"
        "  --report FILE         a JSON Lines report, one line per destination and a summary;\n"
        "                        '-' for standard output\n"
        "  --quiet               show nothing but errors and failed destinations\n"
        "  --help, --version\n"
        "\n"
        "Exit status: 0 all sent, 1 some failed, 2 bad usage or refused request, 3 cancelled.\n"
        "\n"
        "Examples:\n"
        "  parcelwright-batch --profile weekly --profile-dir ~/Parcelwright \\\n"
        "      --files ~/out/prices.csv ~/out/stock.csv --jobs 8 --report weekly.jsonl\n"
        "  parcelwright-batch --destinations hosts.tsv --file-list files.txt --rows 1-500 \\\n"
        "      --report part1.jsonl\n"
        "  parcelwright-batch --profile weekly --files ~/out/prices.csv \\\n"
        "      --only-failed weekly.jsonl --report weekly-again.jsonl\n");
}

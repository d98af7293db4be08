#include "batch/batch_options.h"

#include "interfaces/destination_grid.h"
#include "interfaces/transfer_request.h"

#include <QCommandLineParser>
#include <QHash>

namespace {

/// One option: its short name (or none) and long name, and whether it takes a value.
struct OptionForm
{
    QLatin1String shortName;
    QLatin1String name;
    bool takesValue;
};

constexpr OptionForm kOptions[] = {
    {{}, QLatin1String("profile"), true},
    {{}, QLatin1String("profile-dir"), true},
    {{}, QLatin1String("destinations"), true},
    {{}, QLatin1String("files"), true},
    {{}, QLatin1String("file-list"), true},
    {{}, QLatin1String("workdir"), true},
    {QLatin1String("j"), QLatin1String("jobs"), true},
    {{}, QLatin1String("rows"), true},
    {QLatin1String("r"), QLatin1String("report"), true},
    {{}, QLatin1String("only-failed"), true},
    {{}, QLatin1String("idle-timeout"), true},
    {{}, QLatin1String("retries"), true},
    {{}, QLatin1String("retry-wait"), true},
    {{}, QLatin1String("make-dirs"), false},
    {{}, QLatin1String("temp-names"), false},
    {{}, QLatin1String("ftp-tls"), true},
    {{}, QLatin1String("ca-file"), true},
    {{}, QLatin1String("host-keys"), true},
    {QLatin1String("n"), QLatin1String("dry-run"), false},
    {QLatin1String("q"), QLatin1String("quiet"), false},
    {QLatin1String("h"), QLatin1String("help"), false},
    {{}, QLatin1String("version"), false},
};

QString spelled(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
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

// One row number is that row alone.
bool readRows(const QString &text, BatchOptions *options)
{
    const QStringList ends = text.split(QLatin1Char('-'));
    return ends.size() <= 2 &&
           readNumber(ends[0], kFirstDataRow, kLastDataRow, &options->firstRow) &&
           readNumber(ends.value(ends.size() - 1), kFirstDataRow, kLastDataRow,
                      &options->lastRow) &&
           options->firstRow <= options->lastRow;
}

// A value is never taken from what looks like the next option: "--workdir --jobs 4" lacks a
// directory. "-" alone stands for standard output, "-1" is a number (refused as one, by name);
// "--name=-x" gives such a value on purpose.
bool valuesArePresent(const QStringList &arguments, QString *error)
{
    for (qsizetype i = 0; i < arguments.size() && arguments[i] != QLatin1String("--"); ++i) {
        const QString &argument = arguments[i];
        const bool takesValue = std::any_of(
            std::begin(kOptions), std::end(kOptions), [&argument](const OptionForm &form) {
                return form.takesValue &&
                       (argument == spelled(form.name) ||
                        (!form.shortName.isEmpty() && argument == spelled(form.shortName)));
            });
        const QString next = arguments.value(i + 1);
        const bool optionNext = next.startsWith(u'-') && next.size() > 1 && !next[1].isDigit();
        if (takesValue && (next.isEmpty() || optionNext)) {
            *error = QStringLiteral("missing value after %1").arg(argument);
            return false;
        }
    }
    return true;
}

// Each option once: a second --report would leave one of the two files unwritten.
bool givenOnce(const QCommandLineParser &parser, QString *error)
{
    QHash<QString, int> seen;
    for (const QString &name : parser.optionNames()) {
        for (const OptionForm &form : kOptions) {
            if (name != form.name && name != form.shortName)
                continue;
            if (++seen[form.name] > 1) {
                *error = QStringLiteral("%1 is given twice").arg(spelled(form.name));
                return false;
            }
        }
    }
    return true;
}

// A number of --idle-timeout, --retries or --retry-wait, when given; the default otherwise.
void takeSetting(const QCommandLineParser &parser, const char *name, int most, const char *unit,
                 int *setting, QString *error)
{
    const QString option = QLatin1String(name);
    if (error->isEmpty() && parser.isSet(option) &&
        !readNumber(parser.value(option), 0, most, setting))
        *error = QStringLiteral("--%1 takes %2 from 0 to %3, not '%4'")
                     .arg(option, QLatin1String(unit))
                     .arg(most)
                     .arg(parser.value(option));
}

bool takeSettings(const QCommandLineParser &parser, TransferSettings *settings, QString *error)
{
    takeSetting(parser, "idle-timeout", kMaxIdleTimeoutSeconds, "seconds",
                &settings->idleTimeoutSeconds, error);
    takeSetting(parser, "retries", kMaxRetries, "a number", &settings->retries, error);
    takeSetting(parser, "retry-wait", kMaxRetryWaitSeconds, "seconds", &settings->retryWaitSeconds,
                error);
    settings->makeDirectories = parser.isSet(QStringLiteral("make-dirs"));
    settings->temporaryNames = parser.isSet(QStringLiteral("temp-names"));
    settings->caFile = parser.value(QStringLiteral("ca-file"));
    settings->hostKeysFile = parser.value(QStringLiteral("host-keys"));
    const QString tls = parser.value(QStringLiteral("ftp-tls"));
    if (tls == QLatin1String("offered"))
        settings->ftpTls = FtpTls::Offered;
    else if (tls == QLatin1String("required"))
        settings->ftpTls = FtpTls::Required;
    else if (!tls.isEmpty() && tls != QLatin1String("never") && error->isEmpty())
        *error = QStringLiteral("--ftp-tls takes never, offered or required, not '%1'").arg(tls);
    return error->isEmpty();
}

bool takeValues(const QCommandLineParser &parser, BatchOptions *options, QString *error)
{
    const auto value = [&parser](const char *name) { return parser.value(QLatin1String(name)); };
    options->profile = value("profile");
    options->profileDirectory = value("profile-dir");
    options->destinationsFile = value("destinations");
    options->files = parser.values(QStringLiteral("files")) + parser.positionalArguments();
    options->fileList = value("file-list");
    options->workingDirectory = value("workdir");
    options->report = value("report");
    options->onlyFailed = value("only-failed");
    options->dryRun = parser.isSet(QStringLiteral("dry-run"));
    options->quiet = parser.isSet(QStringLiteral("quiet"));
    options->help = parser.isSet(QStringLiteral("help"));
    options->version = parser.isSet(QStringLiteral("version"));
    if (parser.isSet(QStringLiteral("jobs")) &&
        !readNumber(value("jobs"), kMinSimultaneous, kMaxSimultaneous, &options->jobs))
        *error = QStringLiteral("--jobs takes a number from %1 to %2, not '%3'")
                     .arg(kMinSimultaneous)
                     .arg(kMaxSimultaneous)
                     .arg(value("jobs"));
    else if (parser.isSet(QStringLiteral("rows")) && !readRows(value("rows"), options))
        *error = QStringLiteral("--rows takes N or FROM-TO, row numbers from %1 to %2 with FROM "
                                "not above TO, not '%3'")
                     .arg(kFirstDataRow)
                     .arg(kLastDataRow)
                     .arg(value("rows"));
    for (const OptionForm &form : kOptions) {
        if (form.takesValue && parser.isSet(form.name) && parser.value(form.name).isEmpty())
            *error = QStringLiteral("missing value after %1").arg(spelled(form.name));
    }
    return error->isEmpty() && takeSettings(parser, &options->settings, error);
}

// Exactly one source of destinations and one of files; a profile directory only for a profile.
bool isComplete(const BatchOptions &options, QString *error)
{
    const bool profile = !options.profile.isEmpty();
    const bool table = !options.destinationsFile.isEmpty();
    const bool files = !options.files.isEmpty();
    const bool list = !options.fileList.isEmpty();
    if (profile == table)
        *error = profile ? QStringLiteral("give --profile or --destinations, not both")
                         : QStringLiteral("no destinations: give --profile NAME or "
                                          "--destinations FILE");
    else if (files == list)
        *error = files ? QStringLiteral("give the files or --file-list, not both")
                       : QStringLiteral("no files: give PATH... or --file-list FILE");
    else if (!options.profileDirectory.isEmpty() && !profile)
        *error = QStringLiteral("--profile-dir goes with --profile");
    else if (!options.settings.caFile.isEmpty() && options.settings.ftpTls == FtpTls::Never)
        *error = QStringLiteral("--ca-file goes with --ftp-tls offered or required");
    return error->isEmpty();
}

} // namespace

bool parseBatchArguments(const QStringList &arguments, BatchOptions *options, QString *error)
{
    *options = BatchOptions();
    error->clear();
    if (!valuesArePresent(arguments, error))
        return false;
    QCommandLineParser parser;
    for (const OptionForm &form : kOptions) {
        QStringList names{form.name};
        if (!form.shortName.isEmpty())
            names.prepend(form.shortName);
        parser.addOption(
            QCommandLineOption(names, {}, form.takesValue ? QStringLiteral("value") : QString()));
    }
    // The parser reads the program's name first.
    if (!parser.parse(QStringList{QStringLiteral("parcelwright-batch")} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        *error = unknown.isEmpty()
                     ? parser.errorText().left(1).toLower() + parser.errorText().mid(1).chopped(1)
                     : QStringLiteral("unknown option '%1'").arg(spelled(unknown.first()));
        return false;
    }
    if (!givenOnce(parser, error) || !takeValues(parser, options, error))
        return false;
    return options->help || options->version || isComplete(*options, error);
}

QString batchUsage()
{
    return QStringLiteral(
        "Usage: parcelwright-batch (--profile NAME [--profile-dir DIR] | --destinations FILE)\n"
        "                          [OPTION...] ([--] PATH... | --file-list FILE)\n"
        "\n"
        "Sends the files to every destination, as Process Request does in the window.\n"
        "\n"
        "Destinations:\n"
        "  --profile NAME        the rows of the profile NAME.pro, readable by its owner only\n"
        "  --profile-dir DIR     where NAME.pro is (default: ~/Parcelwright)\n"
        "  --destinations FILE   tab-separated lines: Secure Shell (Y/N), host, remote\n"
        "                        directory, user id, password; '#' begins a comment line;\n"
        "                        the n-th such line is row n; readable by its owner only\n"
        "Files:\n"
        "  PATH...               the files to send; after '--' even one beginning with '-'\n"
        "  --files PATH...       the same, as earlier command lines give them\n"
        "  --file-list FILE      the files to send, one path a line\n"
        "Run:\n"
        "  --workdir DIR         the working directory (default: ~/Parcelwright/)\n"
        "  -j, --jobs N          destinations served at once, 1 to 64 (default: 1)\n"
        "  --rows N, --rows FROM-TO\n"
        "                        only the row N, or the rows FROM to TO\n"
        "  --only-failed REPORT  only the rows that an earlier report (or the REPORT.part of\n"
        "                        a killed run) does not give as sent\n"
        "  -n, --dry-run         check, then show what would be sent; nothing is sent or written\n"
        "Unattended:\n"
        "  --idle-timeout SECONDS\n"
        "                        stop a destination whose client shows no progress this long\n"
        "                        (default: 120; 0: never)\n"
        "  --retries N           try a destination that failed for a passing reason (no\n"
        "                        connection, a time-out, a 4xx reply) again, 0 to 9 times\n"
        "                        (default: 0)\n"
        "  --retry-wait SECONDS  wait before the first retry, doubled for each next one, at\n"
        "                        most 300 (default: 5)\n"
        "  --make-dirs           make each missing level of the remote directory first\n"
        "  --temp-names          upload each file as .NAME.part, then rename it to NAME\n"
        "  --ftp-tls never|offered|required\n"
        "                        FTP over TLS for plain FTP rows; required sends no password\n"
        "                        to a server without TLS (default: never)\n"
        "  --ca-file FILE        PEM certificates to trust for TLS instead of the system's\n"
        "  --host-keys FILE      Secure Shell host keys from an OpenSSH known_hosts file\n"
        "                        (ssh-keyscan -H -p PORT HOST >> FILE); a host listed there\n"
        "                        is trusted with those keys only\n"
        "Output:\n"
        "  -r, --report FILE     a JSON Lines report, one line per destination and a summary;\n"
        "                        '-' for standard output\n"
        "  -q, --quiet           show nothing but errors and failed destinations\n"
        "  -h, --help, --version\n"
        "\n"
        "Exit status: 0 all sent, 1 some not sent, 2 bad usage or refused request, 3 cancelled,\n"
        "4 the working directory is in use by another run (try again later).\n"
        "\n"
        "Examples:\n"
        "  parcelwright-batch --profile weekly --jobs 8 --report weekly.jsonl \\\n"
        "      ~/out/prices.csv ~/out/stock.csv\n"
        "  parcelwright-batch --destinations hosts.tsv --file-list files.txt --rows 1-500 \\\n"
        "      --report part1.jsonl\n"
        "  parcelwright-batch --profile weekly --only-failed weekly.jsonl \\\n"
        "      --report weekly-again.jsonl -- ~/out/prices.csv\n"
        "  parcelwright-batch --profile nightly --retries 2 --make-dirs --temp-names \\\n"
        "      --ftp-tls required --host-keys ~/Parcelwright/known_hosts -r n.jsonl out.csv\n");
}

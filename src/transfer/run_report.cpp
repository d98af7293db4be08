#include "transfer/run_report.h"

#include "interfaces/destination_grid.h"
#include "transfer/text_lines.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

namespace {

const QString kSummaryKind = QStringLiteral("summary");
const QString kDestinationKind = QStringLiteral("destination");

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

namespace RunReport {

QByteArray destinationLine(const DestinationResult &result, const Destination &destination,
                           int fileCount)
{
    QJsonObject object;
    object.insert(QStringLiteral("kind"), kDestinationKind);
    object.insert(QStringLiteral("row"), result.row);
    object.insert(QStringLiteral("host"), result.host);
    object.insert(QStringLiteral("secure"), result.secure);
    object.insert(QStringLiteral("remoteDirectory"), destination.remoteDirectory);
    object.insert(QStringLiteral("userId"), destination.userId);
    object.insert(QStringLiteral("logNumber"), result.logNumber);
    object.insert(QStringLiteral("start"), result.start.isValid()
                                               ? result.start.toUTC().toString(Qt::ISODateWithMs)
                                               : QJsonValue(QJsonValue::Null));
    object.insert(QStringLiteral("durationMs"), result.durationMs);
    object.insert(QStringLiteral("exitStatus"), result.exitStatus);
    object.insert(QStringLiteral("outcome"), outcomeName(result.outcome));
    object.insert(QStringLiteral("reason"), result.reason);
    object.insert(QStringLiteral("files"), fileCount);
    object.insert(QStringLiteral("attempts"), result.attempts);
    object.insert(QStringLiteral("tls"), result.tls);
    return line(object);
}

QByteArray summaryLine(const RunEnd &end, const QStringList &files, const QString &workingDirectory)
{
    // Keys a script can name without quoting: "not_started" (jq's .outcomes.not_started).
    QMap<QString, int> counts;
    for (const Outcome outcome :
         {Outcome::Sent, Outcome::Failed, Outcome::Cancelled, Outcome::NotStarted})
        counts.insert(outcomeName(outcome).replace(u' ', u'_'), 0);
    for (const DestinationResult &result : end.results)
        ++counts[outcomeName(result.outcome).replace(u' ', u'_')];
    QJsonObject byOutcome;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        byOutcome.insert(it.key(), it.value());
    QJsonObject object;
    object.insert(QStringLiteral("kind"), kSummaryKind);
    object.insert(QStringLiteral("format"), kReportFormat);
    object.insert(QStringLiteral("destinations"), int(end.results.size()));
    object.insert(QStringLiteral("outcomes"), byOutcome);
    object.insert(QStringLiteral("started"), end.started.isValid()
                                                 ? end.started.toUTC().toString(Qt::ISODateWithMs)
                                                 : QJsonValue(QJsonValue::Null));
    object.insert(QStringLiteral("totalMs"), end.totalMs);
    object.insert(QStringLiteral("files"), QJsonArray::fromStringList(files));
    object.insert(QStringLiteral("workingDirectory"), workingDirectory);
    object.insert(QStringLiteral("version"), QStringLiteral(PARCELWRIGHT_VERSION));
    return line(object);
}

bool read(const QByteArray &text, QList<Entry> *entries, QString *error)
{
    entries->clear();
    bool summarySeen = false;
    int number = 0;
    for (const QByteArray &raw : splitLines(text)) {
        ++number;
        if (raw.trimmed().isEmpty())
            continue;
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(raw, &parseError);
        const QJsonObject object = document.object();
        const QString kind = object.value(QStringLiteral("kind")).toString();
        if (parseError.error != QJsonParseError::NoError || !document.isObject() ||
            (kind != kDestinationKind && kind != kSummaryKind)) {
            *error = QStringLiteral("line %1 is not a line of a report").arg(number);
            return false;
        }
        if (kind == kSummaryKind) {
            summarySeen = true;
            continue;
        }
        Entry entry;
        entry.row = object.value(QStringLiteral("row")).toInt();
        entry.host = object.value(QStringLiteral("host")).toString();
        const QString outcome = object.value(QStringLiteral("outcome")).toString();
        bool known = false;
        for (const Outcome candidate :
             {Outcome::Sent, Outcome::Failed, Outcome::Cancelled, Outcome::NotStarted}) {
            if (outcomeName(candidate) == outcome) {
                entry.outcome = candidate;
                known = true;
            }
        }
        if (entry.row < kFirstDataRow || entry.row > kLastDataRow || !known) {
            *error = QStringLiteral("line %1 is not a line of a report").arg(number);
            return false;
        }
        entries->append(entry);
    }
    if (entries->isEmpty() && !summarySeen) {
        *error = QStringLiteral("it holds no line of a report");
        return false;
    }
    return true;
}

} // namespace RunReport

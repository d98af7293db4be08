#include "ui/run_results_model.h"

#include <QBrush>

namespace {

constexpr Outcome kCountOrder[] = {Outcome::Sent, Outcome::Failed, Outcome::Cancelled,
                                   Outcome::NotStarted};

// The lines a user acts on come first: what failed, then what never got its turn to finish.
int outcomeRank(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Failed:
        return 0;
    case Outcome::Cancelled:
        return 1;
    case Outcome::NotStarted:
        return 2;
    case Outcome::Sent:
        break;
    }
    return 3;
}

} // namespace

QString durationText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(double(ms) / 1000, 0, 'f', 1);
    const QLatin1Char zero('0');
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, zero);
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, zero);
}

void RunResultsModel::setResults(const QList<DestinationResult> &results)
{
    beginResetModel();
    m_results = results;
    endResetModel();
}

void RunResultsModel::addResult(const DestinationResult &result)
{
    for (int line = 0; line < m_results.size(); ++line) {
        if (m_results[line].row == result.row) {
            m_results[line] = result;
            Q_EMIT dataChanged(index(line, 0), index(line, ColumnCount - 1));
            return;
        }
    }
    const int line = int(m_results.size());
    beginInsertRows({}, line, line);
    m_results.append(result);
    endInsertRows();
}

QString RunResultsModel::countText() const
{
    QStringList counts;
    for (const Outcome outcome : kCountOrder) {
        const auto count =
            std::count_if(m_results.cbegin(), m_results.cend(),
                          [outcome](const DestinationResult &r) { return r.outcome == outcome; });
        if (count > 0)
            counts.append(QStringLiteral("%1 %2").arg(count).arg(outcomeName(outcome)));
    }
    return counts.join(QStringLiteral(", "));
}

int RunResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_results.size());
}

int RunResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RunResultsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const DestinationResult &result = m_results[index.row()];
    const bool ran = result.start.isValid();
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case RowColumn:
            return result.row;
        case HostColumn:
            return result.host;
        case SecureShellColumn:
            return result.secure ? QStringLiteral("Y") : QStringLiteral("N");
        case OutcomeColumn:
            return outcomeName(result.outcome);
        case ReasonColumn:
            return result.reason;
        case TimeColumn:
            return ran ? durationText(result.durationMs) : QString();
        }
        break;
    case kSortRole:
        switch (index.column()) {
        case OutcomeColumn:
            return outcomeRank(result.outcome);
        case TimeColumn:
            return ran ? result.durationMs : -1;
        default:
            return data(index, Qt::DisplayRole);
        }
    case Qt::ToolTipRole:
        // The column may cut a long reason at its edge.
        if (index.column() == ReasonColumn)
            return result.reason;
        break;
    case Qt::ForegroundRole:
        if (result.outcome == Outcome::Failed)
            return QBrush(Qt::red);
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == RowColumn || index.column() == TimeColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    default:
        break;
    }
    return {};
}

QVariant RunResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QStringList headings{QStringLiteral("Row"),          QStringLiteral("Host"),
                                      QStringLiteral("Secure Shell"), QStringLiteral("Outcome"),
                                      QStringLiteral("Reason"),       QStringLiteral("Time")};
    return headings.value(section);
}

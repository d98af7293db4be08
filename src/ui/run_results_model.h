#pragma once

#include "interfaces/run_results.h"

#include <QAbstractTableModel>
#include <QList>

/// The lines of the Results window: one per destination of a run, fed by the run's results.
class RunResultsModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        RowColumn,
        HostColumn,
        SecureShellColumn,
        OutcomeColumn,
        ReasonColumn,
        TimeColumn,
        ColumnCount
    };
    /// What a view sorts by: a number where a column holds one; outcomes in the order failed,
    /// cancelled, not started, sent.
    static constexpr int kSortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    /// Replaces every line by a run's results.
    void setResults(const QList<DestinationResult> &results);
    /// One destination is done: its line replaces the one of its row, or is added.
    void addResult(const DestinationResult &result);
    const QList<DestinationResult> &results() const { return m_results; }

    /// How many of each outcome, only those present, in the order sent, failed, cancelled, not
    /// started: "287 sent, 11 failed, 2 not started".
    QString countText() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QList<DestinationResult> m_results;
};

/// A destination's duration as a line shows it: "4.2 s" under a minute, then "3 min 05 s", then
/// "1 h 02 min".
QString durationText(qint64 ms);

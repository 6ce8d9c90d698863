#include "data/historymodel.h"

HistoryModel::HistoryModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void HistoryModel::setEntries(const QList<HistoryEntry> &entries)
{
    beginResetModel();
    m_entries = entries;
    endResetModel();
}

QString HistoryModel::durationText(qint64 microseconds)
{
    if (microseconds < 1000)
        return QStringLiteral("%1 \u00b5s").arg(microseconds);
    if (microseconds < 1000000)
        return QStringLiteral("%1 ms").arg(double(microseconds) / 1000.0, 0, 'f', 1);
    return QStringLiteral("%1 s").arg(double(microseconds) / 1000000.0, 0, 'f', 2);
}

QString HistoryModel::rowsText(const HistoryEntry &entry)
{
    if (entry.failed)
        return QString();
    if (entry.rows >= 0)
        return entry.rows == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(entry.rows);
    return QStringLiteral("%1 affected").arg(entry.affectedRows);
}

QString HistoryModel::outcomeText(const HistoryEntry &entry)
{
    return entry.failed ? QStringLiteral("Error: ") + entry.message : QStringLiteral("OK");
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int HistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const HistoryEntry &entry = m_entries.at(index.row());
    if (role == StatementRole)
        return entry.statement;
    if (role == Qt::ToolTipRole && index.column() == StatementColumn)
        return entry.statement.left(2000);
    if (role == Qt::ToolTipRole && index.column() == OutcomeColumn)
        return outcomeText(entry);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case TimeColumn:
        return entry.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case DatabaseColumn:
        return entry.database;
    case StatementColumn: {
        // One line of it: the grid is for finding, the tooltip for reading.
        QString line = entry.statement.simplified();
        if (line.size() > 300)
            line = line.left(300) + QStringLiteral("...");
        return entry.truncated ? line + QStringLiteral(" (cut)") : line;
    }
    case DurationColumn:
        return durationText(entry.microseconds);
    case RowsColumn:
        return rowsText(entry);
    case OutcomeColumn:
        return outcomeText(entry);
    default:
        return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TimeColumn:
        return QStringLiteral("Time");
    case DatabaseColumn:
        return QStringLiteral("Database");
    case StatementColumn:
        return QStringLiteral("Statement");
    case DurationColumn:
        return QStringLiteral("Duration");
    case RowsColumn:
        return QStringLiteral("Rows");
    case OutcomeColumn:
        return QStringLiteral("Outcome");
    default:
        return {};
    }
}

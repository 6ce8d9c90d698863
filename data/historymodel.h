#pragma once

#include "data/history.h"

#include <QAbstractTableModel>

// The statement history as a grid: newest first, one row per statement with
// its time, database, duration, rows and outcome. It shows what the last
// search found and never reads the store by itself.
class HistoryModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { TimeColumn, DatabaseColumn, StatementColumn, DurationColumn, RowsColumn, OutcomeColumn,
                  ColumnCount };
    // The whole statement of a row (the cell shows its first line).
    static constexpr int StatementRole = Qt::UserRole + 1;

    explicit HistoryModel(QObject *parent = nullptr);

    void setEntries(const QList<HistoryEntry> &entries);
    const HistoryEntry &entry(int row) const { return m_entries.at(row); }

    // "12.3 ms", "1.25 s"; "3 rows" / "2 affected"; "OK" or the error.
    static QString durationText(qint64 microseconds);
    static QString rowsText(const HistoryEntry &entry);
    static QString outcomeText(const HistoryEntry &entry);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<HistoryEntry> m_entries;
};

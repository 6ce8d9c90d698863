// Rows of the data grid's table past the row limit: what the grid shows of
// the table, and "Show all" / "Next" to show more.

#include "data/tdmstd.h"

#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/settingsstore.h"

namespace {

// Engines whose table status counts the rows exactly; the others (InnoDB
// above all) give an estimate.
bool countsRowsExactly(const QString &engine)
{
    return engine.compare(QLatin1String("MyISAM"), Qt::CaseInsensitive) == 0
        || engine.compare(QLatin1String("Aria"), Qt::CaseInsensitive) == 0
        || engine.compare(QLatin1String("MEMORY"), Qt::CaseInsensitive) == 0;
}

} // namespace

void TDMstd::watchDataGrid()
{
    GridModel *grid = m_views.dataGrid;
    if (!grid)
        return;
    // Emptied (a table command, a database opened, a dropped table, a lost
    // session): nothing is left to page through.
    connect(grid, &QAbstractItemModel::modelReset, this, [this, grid] {
        if (grid->columnCount() > 0)
            return;
        ++m_dataGridLoad;
        setGridRows(TDataGridRows());
    });
    // A deleted row: the server no longer counts it in the offset of the
    // further rows either.
    connect(grid, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &, int first, int last) {
        if (m_gridRows.shown == 0)
            return;
        const int removed = last - first + 1;
        TDataGridRows rows = m_gridRows;
        rows.shown = std::max(0, rows.shown - removed);
        if (rows.total >= 0)
            rows.total = std::max<qint64>(rows.shown, rows.total - removed);
        setGridRows(rows);
    });
}

void TDMstd::setGridRows(const TDataGridRows &rows)
{
    m_gridRows = rows;
    Q_EMIT dataGridRowsChanged();
}

void TDMstd::noteDataRows(bool hard, int limit, const std::shared_ptr<const TmySQLResultRows> &result)
{
    ++m_dataGridLoad;
    const int fetched = result ? result->rowCount() : 0;
    TDataGridRows rows;
    if (hard) {
        // The server sent at most the limit: when it sent that many the
        // table may hold more, which its status tells (noteTableRowCount).
        bool ok = false;
        rows.limit = m_views.program ? m_views.program->DBL.trimmed().toInt(&ok) : 0;
        rows.shown = fetched;
        rows.more = ok && rows.limit >= 0 && fetched >= rows.limit;
    } else {
        // The server sent one row past the limit when the table has more;
        // how many more its status tells.
        rows.limit = limit;
        rows.shown = std::min(limit, fetched);
        rows.more = fetched > limit;
    }
    if (!rows.more)
        rows.total = rows.shown;
    setGridRows(rows);
}

void TDMstd::noteTableRowCount()
{
    if (!m_gridRows.more)
        return;
    const TmySQLClientQuery *query = m_client->Query();
    const int rowsColumn = query->FieldIndex(QStringLiteral("Rows"));
    if (query->RowCount() < 1 || rowsColumn < 0 || !query->RawValue(0, rowsColumn))
        return; // a view has no row count
    bool ok = false;
    const qint64 count = query->Value(0, rowsColumn).toLongLong(&ok);
    if (!ok)
        return;
    TDataGridRows rows = m_gridRows;
    rows.estimate = !countsRowsExactly(query->ValueByName(0, QStringLiteral("Engine")));
    if (!rows.estimate && count <= rows.shown) {
        rows.total = rows.shown; // exactly the limit's worth: all is shown
        rows.more = false;
    } else {
        // An estimate below what is shown says nothing.
        rows.total = count > rows.shown ? count : -1;
    }
    setGridRows(rows);
}

void TDMstd::ShowAllRows()
{
    if (!m_gridRows.more || !m_views.dataGrid || !mayStart())
        return;
    readDataRows(QString(), false, 0);
}

void TDMstd::ShowNextRows()
{
    const int step = m_gridRows.limit;
    if (!m_gridRows.more || step <= 0 || !m_views.dataGrid || !mayStart())
        return;
    readDataRows(QStringLiteral(" LIMIT ") + QString::number(step) + QStringLiteral(" OFFSET ")
                     + QString::number(m_gridRows.shown),
                 true, step);
}

void TDMstd::readDataRows(const QString &limitClause, bool append, int step)
{
    showHourglass();
    const quint64 load = m_dataGridLoad;
    const QString table = m_dataGridTable;
    const QStringList columns = m_dataGridColumns;
    UseDatabase(m_dataGridDatabase, [this, load, table, columns, limitClause, append, step] {
        const QString statement = SelectStatement(table, columns) + limitClause;
        submit(statement, QStringLiteral("Query: ") + statement,
               [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); },
               [this, load, append, step](QObject *) {
                   // The grid was emptied or refilled meanwhile: these rows
                   // belong to nothing shown.
                   if (load == m_dataGridLoad)
                       dataRowsArrived(append, step);
               });
    });
    restoreCursor();
}

void TDMstd::dataRowsArrived(bool append, int step)
{
    showHourglass();
    GridModel *grid = m_views.dataGrid;
    const std::shared_ptr<const TmySQLResultRows> result = m_client->Query()->Result();
    const int fetched = result ? result->rowCount() : 0;
    ++m_dataGridLoad;
    TDataGridRows rows = m_gridRows;
    if (append) {
        if (result)
            appendResultRows(grid, *result, m_columnCount, fetched);
        rows.shown += fetched;
        rows.more = fetched >= step;
    } else {
        showRows(grid, result, m_columnCount, -1);
        describeDataColumns(result);
        rows.shown = fetched;
        rows.more = false;
    }
    grid->sortByLocale(0, Qt::AscendingOrder);
    if (!rows.more) {
        rows.total = rows.shown;
        rows.estimate = false;
    } else if (rows.total >= 0 && rows.total <= rows.shown) {
        rows.total = -1; // the estimate was low
    }
    setGridRows(rows);
    restoreCursor();
}

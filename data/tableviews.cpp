// The table views: the database's table list with row counts, the chain of
// four statements that opens a table, and the three single views.

#include "data/tdmstd.h"

#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/resultrowsource.h"
#include "data/settingsstore.h"
#include "data/sqlnames.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

QString taskName(const QString &statement)
{
    return QStringLiteral("Query: ") + statement;
}

// Column index by name, or the old layout's position when the server's
// result has no column of that name.
int column(const TmySQLClientQuery *query, const char *name, int oldPosition = -1)
{
    const int index = query->FieldIndex(QLatin1String(name));
    return index >= 0 ? index : oldPosition;
}

const char *rawValue(const TmySQLClientQuery *query, int row, int column)
{
    return column >= 0 ? query->RawValue(row, column) : "";
}

// The caption and the result column of each of the status grid's rows.
struct StatusRow
{
    const char *caption;
    const char *name;
    const char *oldName;
};

const std::array<StatusRow, 15> StatusRows = {{
    {"Name", "Name", nullptr},
    {"Type", "Engine", "Type"},
    {"Row format", "Row_format", nullptr},
    {"Rows", "Rows", nullptr},
    {"Agv row length", "Avg_row_length", nullptr},
    {"Data lenght", "Data_length", nullptr},
    {"Max data lenght", "Max_data_length", nullptr},
    {"Index lenght", "Index_length", nullptr},
    {"Data free", "Data_free", nullptr},
    {"Auto increment", "Auto_increment", nullptr},
    {"Create time", "Create_time", nullptr},
    {"Update time", "Update_time", nullptr},
    {"Check time", "Check_time", nullptr},
    {"Create options", "Create_options", nullptr},
    {"Comment", "Comment", nullptr},
}};

// The index grid's columns: current servers put more columns between
// "Packed" and "Comment" than the old layout had.
const std::array<const char *, 10> IndexColumns = {
    "Table", "Non_unique", "Key_name", "Seq_in_index", "Column_name",
    "Collation", "Cardinality", "Sub_part", "Packed", "Comment",
};

} // namespace

QString TDMstd::DescribeStatement(const QString &table)
{
    return QStringLiteral("DESCRIBE ") + QuoteIdentifier(table);
}

QString TDMstd::SelectStatement(const QString &table, const QStringList &columns)
{
    QStringList names;
    names.reserve(columns.size());
    for (const QString &column : columns)
        names.append(QuoteIdentifier(column));
    return QStringLiteral("select ") + (names.isEmpty() ? QStringLiteral("*") : names.join(QLatin1Char(',')))
        + QStringLiteral(" from ") + QuoteIdentifier(table);
}

int TDMstd::NormalRowLimit(const TProgramSettings &program)
{
    // Not a whole number: nothing is shown rather than everything.
    bool ok = false;
    const int limit = program.DBL.trimmed().toInt(&ok);
    return ok ? std::max(0, limit) : 0;
}

QString TDMstd::DataStatement(const QString &table, const QStringList &columns, const TProgramSettings &program)
{
    QString statement = SelectStatement(table, columns);
    if (program.DBHL) {
        statement += QStringLiteral(" LIMIT ") + program.DBL; // as stored: the server judges it
    } else {
        // The grid takes the first rows the server sends; reading the rest
        // of a big table would cost its whole size in time and memory. One
        // row past the limit tells whether the table holds more.
        statement += QStringLiteral(" LIMIT ") + QString::number(qint64(NormalRowLimit(program)) + 1);
    }
    return statement;
}

QString TDMstd::StatusStatement(const QString &database, const QString &table)
{
    // An exact match on the name: a LIKE pattern matches other tables for
    // "_" and "%", and its escapes read differently under NO_BACKSLASH_ESCAPES.
    return QStringLiteral("show table status from ") + QuoteIdentifier(database) + QStringLiteral(" where Name = ")
        + SqlStringLiteral(table);
}

QString TDMstd::TableListStatement(const QString &database)
{
    return QStringLiteral("show table status from ") + QuoteIdentifier(database);
}

QString TDMstd::IndexStatement(const QString &table)
{
    return QStringLiteral("show index from ") + QuoteIdentifier(table);
}

void TDMstd::ListTablesWithStatus(const QString &database)
{
    if (!mayStart())
        return;
    showHourglass();
    m_currentDatabase = database;
    const QString statement = TableListStatement(database);
    submit(statement, taskName(statement),
           [this](QObject *, const QString &) { ListTablesPlain(); },
           [this](QObject *) {
               m_noTableStatus = false;
               showHourglass();
               const TmySQLClientQuery *query = m_client->Query();
               const int nameColumn = column(query, "Name", 0);
               const int rowsColumn = column(query, "Rows", 3);
               QStringList names;
               QStringList rows;
               names.reserve(query->RowCount());
               rows.reserve(query->RowCount());
               for (int row = 0; row < query->RowCount(); ++row) {
                   names.append(query->Value(row, nameColumn));
                   rows.append(query->Value(row, rowsColumn));
               }
               fillTableNodes(names, rows, true);
               restoreCursor();
           });
    restoreCursor();
}

void TDMstd::OpenTable(const QString &nodeText, const QString &database)
{
    OpenTableNamed(TableNameFromNodeText(nodeText), database);
}

void TDMstd::OpenTableNamed(const QString &table, const QString &database)
{
    if (!mayStart())
        return;
    showHourglass();
    m_currentTable = table;
    m_currentDatabase = database;
    UseDatabase(database, [this, table] {
        const QString statement = DescribeStatement(table);
        submit(statement, taskName(statement),
               [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); },
               [this](QObject *) {
                   const TmySQLClientQuery *query = m_client->Query();
                   QStringList columns;
                   for (int row = 0; row < query->RowCount(); ++row)
                       columns.append(query->Value(row, 0));
                   describeArrived(columns);
               });
    });
    restoreCursor();
}

void TDMstd::fillDefinitionGrid()
{
    GridModel *grid = m_views.definitionGrid;
    if (!grid)
        return;
    const TmySQLClientQuery *query = m_client->Query();
    grid->clearRows();
    grid->beginBulkAppend();
    // The caption (Field) and the further cells of result columns 1 to 6:
    // Type, Null, Key, Default, Extra and one past DESCRIBE's last column,
    // which stays empty. A row thus holds one cell more than the grid has
    // columns, and keeps it for the writers. A NULL default stays apart
    // from an empty one.
    std::array<const char *, 7> cells{};
    for (int row = 0; row < query->RowCount(); ++row) {
        for (int c = 0; c < int(cells.size()); ++c) {
            const char *value = query->RawValue(row, c);
            cells[size_t(c)] = value || c < query->FieldCount() ? value : "";
        }
        grid->appendRow(cells.data(), int(cells.size()));
    }
    grid->endBulkAppend();
}

void TDMstd::describeArrived(const QStringList &columns)
{
    Q_EMIT dataGridVisibleChanged(false);
    fillDefinitionGrid();
    m_columnCount = int(columns.size());
    m_dataGridTable = m_currentTable;
    m_dataGridDatabase = m_currentDatabase;
    m_dataGridColumns = columns;
    // The types as declared ("decimal(8,2)"), for the data grid's headers;
    // the result of the SELECT only knows "DECIMAL".
    m_dataGridTypes.clear();
    const TmySQLClientQuery *described = m_client->Query();
    for (int row = 0; row < described->RowCount(); ++row) {
        const char *type = described->FieldCount() > 1 ? described->RawValue(row, 1) : nullptr;
        m_dataGridTypes.insert(QString::fromUtf8(described->RawValue(row, 0)), QString::fromUtf8(type));
    }
    if (m_views.dataGrid) {
        m_views.dataGrid->clear();
        m_views.dataGrid->setColumns(columns);
    }
    const TProgramSettings defaults;
    const QString statement =
        DataStatement(m_currentTable, columns, m_views.program ? *m_views.program : defaults);
    submit(statement, taskName(statement),
           [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); },
           [this](QObject *) { dataArrived(); });
}

void TDMstd::showRows(GridModel *grid, const std::shared_ptr<const TmySQLResultRows> &rows, int columns,
                      int limit)
{
    if (!grid)
        return;
    const int total = rows ? rows->rowCount() : 0;
    const int shown = limit < 0 ? total : std::min(limit, total);
    if (shown == 0) {
        grid->clearRows();
        return;
    }
    bool anyBinary = false;
    for (int c = 0; c < columns && c < int(rows->fields().size()); ++c)
        anyBinary = anyBinary || rows->fields()[size_t(c)].isBinary();
    if (shown * 2 >= total && !anyBinary) {
        // Most of the result is shown: the grid keeps the client's rows.
        grid->adoptRows(std::make_shared<ResultRowSource>(rows, columns), shown);
        return;
    }
    // A few rows of a large result: copy them so the rest can be freed.
    grid->clearRows();
    appendResultRows(grid, *rows, columns, shown);
}

void TDMstd::appendResultRows(GridModel *grid, const TmySQLResultRows &rows, int columns, int count)
{
    // Bytes of binary columns are shown as "0x" and their hex digits: the
    // grid holds that text, so views, writers and printing all see it.
    std::vector<bool> binary(size_t(std::max(columns, 0)), false);
    for (int c = 0; c < columns && c < int(rows.fields().size()); ++c)
        binary[size_t(c)] = rows.fields()[size_t(c)].isBinary();
    count = std::min(count, rows.rowCount());
    grid->beginBulkAppend();
    std::vector<const char *> cells(size_t(std::max(columns, 1)));
    std::vector<int> lengths(cells.size());
    std::vector<QByteArray> hex(cells.size());
    for (int row = 0; row < count; ++row) {
        for (int c = 0; c < columns; ++c) {
            const char *value = c < rows.fieldCount() ? rows.cell(row, c) : "";
            int length = c < rows.fieldCount() ? rows.cellLength(row, c) : 0;
            if (value && binary[size_t(c)]) {
                hex[size_t(c)] = "0x" + QByteArray::fromRawData(value, length).toHex().toUpper();
                value = hex[size_t(c)].constData();
                length = int(hex[size_t(c)].size());
            }
            cells[size_t(c)] = value;
            lengths[size_t(c)] = length;
        }
        grid->appendRow(cells.data(), lengths.data(), columns);
    }
    grid->endBulkAppend();
}

void TDMstd::describeColumns(GridModel *grid, const std::shared_ptr<const TmySQLResultRows> &rows)
{
    if (!grid || !rows)
        return;
    const std::vector<TmySQLField> &fields = rows->fields();
    for (int c = 0; c < grid->columnCount() && c < int(fields.size()); ++c) {
        const TmySQLField &field = fields[size_t(c)];
        GridModel::ColumnInfo info;
        info.binary = field.isBinary();
        info.numeric = field.isNumeric();
        info.typeName = field.typeName();
        grid->setColumnInfo(c, info);
    }
}

void TDMstd::describeDataColumns(const std::shared_ptr<const TmySQLResultRows> &rows)
{
    GridModel *grid = m_views.dataGrid;
    describeColumns(grid, rows);
    if (!grid)
        return;
    for (int c = 0; c < grid->columnCount(); ++c) {
        const QString declared = m_dataGridTypes.value(grid->columnCaption(c));
        if (declared.isEmpty())
            continue;
        GridModel::ColumnInfo info = grid->columnInfo(c);
        info.typeName = declared;
        grid->setColumnInfo(c, info);
    }
}

void TDMstd::dataArrived()
{
    showHourglass();
    const TmySQLClientQuery *query = m_client->Query();
    const TProgramSettings defaults;
    const TProgramSettings &program = m_views.program ? *m_views.program : defaults;
    // The hard limit: the server sent what may be shown; the normal one:
    // the server sent one row more than is shown.
    const int limit = program.DBHL ? -1 : NormalRowLimit(program);
    showRows(m_views.dataGrid, query->Result(), m_columnCount, limit);
    describeDataColumns(query->Result());
    // The grid is sorted by its captions once, after filling.
    if (m_views.dataGrid)
        m_views.dataGrid->sortByLocale(0, Qt::AscendingOrder);
    noteDataRows(program.DBHL, limit, query->Result());
    Q_EMIT dataGridVisibleChanged(true);
    restoreCursor();
    if (m_noTableStatus) {
        submitIndex(m_currentTable);
        return;
    }
    const QString statement = StatusStatement(m_currentDatabase, m_currentTable);
    submit(statement, taskName(statement),
           [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); },
           [this](QObject *) {
               fillStatusGrid();
               noteTableRowCount();
               submitIndex(m_currentTable);
           });
}

void TDMstd::fillStatusGrid()
{
    GridModel *grid = m_views.statusGrid;
    if (!grid)
        return;
    const TmySQLClientQuery *query = m_client->Query();
    grid->clearRows();
    grid->beginBulkAppend();
    for (const StatusRow &row : StatusRows) {
        int index = column(query, row.name);
        if (index < 0 && row.oldName)
            index = column(query, row.oldName);
        const char *cells[2] = {row.caption, rawValue(query, 0, index)};
        grid->appendRow(cells, 2);
    }
    grid->endBulkAppend();
}

void TDMstd::submitIndex(const QString &table)
{
    const QString statement = IndexStatement(table);
    submit(statement, taskName(statement),
           [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); },
           [this](QObject *) { fillIndexGrid(); });
}

void TDMstd::fillIndexGrid()
{
    GridModel *grid = m_views.indexGrid;
    if (!grid)
        return;
    const TmySQLClientQuery *query = m_client->Query();
    std::array<int, IndexColumns.size()> columns{};
    for (size_t i = 0; i < IndexColumns.size(); ++i)
        columns[i] = column(query, IndexColumns[i], int(i));
    grid->clearRows();
    grid->beginBulkAppend();
    std::array<const char *, IndexColumns.size()> cells{};
    for (int row = 0; row < query->RowCount(); ++row) {
        for (size_t i = 0; i < cells.size(); ++i)
            cells[i] = rawValue(query, row, columns[i]);
        grid->appendRow(cells.data(), int(cells.size()));
    }
    grid->endBulkAppend();
}

void TDMstd::ShowTableDefinition(const QString &table, const QString &database)
{
    if (!mayStart())
        return;
    showHourglass();
    UseDatabase(database, [this, table] {
        const QString statement = DescribeStatement(table);
        submit(statement, taskName(statement),
               [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); },
               [this](QObject *) { fillDefinitionGrid(); });
    });
    restoreCursor();
}

void TDMstd::ShowTableStatus(const QString &table, const QString &database)
{
    if (!mayStart())
        return;
    showHourglass();
    const QString statement = StatusStatement(database, table);
    submit(statement, taskName(statement),
           [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); },
           [this](QObject *) { fillStatusGrid(); });
    restoreCursor();
}

void TDMstd::ShowTableIndex(const QString &table, const QString &database)
{
    if (!mayStart())
        return;
    showHourglass();
    UseDatabase(database, [this, table] { submitIndex(table); });
    restoreCursor();
}

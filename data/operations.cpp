// Database and table operations: create and drop a database; drop, optimize,
// lock, unlock and comment a table; delete the data grid's selected row.

#include "data/tdmstd.h"

#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/sqlnames.h"

#include <QRegularExpression>
#include <QStandardItemModel>

#include <algorithm>
#include <vector>

namespace {

QString taskName(const QString &statement)
{
    return QStringLiteral("Query: ") + statement;
}

QString qualified(const QString &database, const QString &table)
{
    return QuoteIdentifier(database) + QLatin1Char('.') + QuoteIdentifier(table);
}

// The base type of a SHOW COLUMNS type: "bigint(20) unsigned" gives "bigint".
QString baseType(const QString &type)
{
    QString base = type.trimmed().toLower();
    const int cut = int(base.indexOf(QRegularExpression(QStringLiteral("[( ]"))));
    return cut < 0 ? base : base.left(cut);
}

bool isFloatType(const QString &base)
{
    return base == QLatin1String("float") || base == QLatin1String("double") || base == QLatin1String("real");
}

bool isExactNumberType(const QString &base)
{
    static const char *const types[] = {"tinyint", "smallint", "mediumint", "int", "integer", "bigint",
                                        "decimal", "numeric", "dec", "fixed", "year"};
    for (const char *t : types) {
        if (base == QLatin1String(t))
            return true;
    }
    return false;
}

} // namespace

// One cell of the row to delete, as the grid holds it.
struct RowCell
{
    QString column;
    QByteArray bytes;
    bool null = false;
    bool binary = false;
};

struct TDMstd::RowToDelete
{
    QString table;
    QString database;
    int row = -1;
    std::vector<RowCell> cells;

    // Whether the grid's row holds exactly these values.
    bool matches(const GridModel &grid, int r) const
    {
        if (r < 0 || r >= grid.rowCount())
            return false;
        for (size_t c = 0; c < cells.size(); ++c) {
            const RowCell &cell = cells[c];
            if (grid.isNull(r, int(c)) != cell.null || grid.bytes(r, int(c)) != cell.bytes)
                return false;
        }
        return true;
    }
};

// --- Databases ----------------------------------------------------------------

void TDMstd::addDatabaseNode(const QString &database)
{
    QStandardItemModel *tree = m_views.tree;
    if (!tree)
        return;
    // Database nodes stand at the first level; a new one goes last.
    auto *node = new QStandardItem(m_databaseIcon, database);
    node->setEditable(false);
    tree->appendRow(node);
}

void TDMstd::CreateDatabase(const QString &name)
{
    if (name.isEmpty())
        return;
    RunStatement(QStringLiteral("CREATE DATABASE ") + QuoteIdentifier(name),
                 [this, name](const TmySQLClientOutcome &outcome) {
                     if (!outcome.Failed)
                         addDatabaseNode(name);
                 });
}

void TDMstd::PrepareDatabaseDrop()
{
    log(QStringLiteral("Prepare for Database drop"));
}

void TDMstd::DropDatabase(const QString &database)
{
    RunStatement(QStringLiteral("DROP DATABASE ") + QuoteIdentifier(database),
                 [this, database](const TmySQLClientOutcome &outcome) {
                     if (outcome.Failed)
                         return;
                     if (QStandardItem *node = databaseNode(database))
                         m_views.tree->removeRow(node->row());
                 });
    log(QStringLiteral("Database is droped"));
}

// --- Tables -------------------------------------------------------------------

void TDMstd::removeTableNode(const QString &database, const QString &table)
{
    QStandardItemModel *tree = m_views.tree;
    if (!tree)
        return;
    for (int row = 0; row < tree->rowCount(); ++row) {
        QStandardItem *databaseItem = tree->item(row);
        if (!databaseItem || databaseItem->text() != database)
            continue;
        for (int child = databaseItem->rowCount() - 1; child >= 0; --child) {
            QStandardItem *node = databaseItem->child(child);
            QString name = node->data(TableNameRole).toString();
            if (name.isEmpty())
                name = TableNameFromNodeText(node->text());
            if (name == table)
                databaseItem->removeRow(child);
        }
    }
}

void TDMstd::PrepareTableDrop()
{
    log(QStringLiteral("Prepare for Table drop..."));
    if (m_views.dataGrid)
        m_views.dataGrid->clear();
}

void TDMstd::DropTable(const QString &table, const QString &database)
{
    UseDatabase(database, [this, table, database] {
        RunStatement(QStringLiteral("DROP TABLE ") + QuoteIdentifier(table),
                     [this, table, database](const TmySQLClientOutcome &outcome) {
                         if (!outcome.Failed)
                             removeTableNode(database, table);
                     });
        log(QStringLiteral("   Table is droped"));
    });
}

void TDMstd::OptimizeTable(const QString &table, const QString &database)
{
    log(QStringLiteral("Prepare for Table Optimize..."));
    UseDatabase(database, [this, table] {
        RunStatement(QStringLiteral("OPTIMIZE TABLE ") + QuoteIdentifier(table),
                     [this](const TmySQLClientOutcome &outcome) {
                         if (outcome.Failed)
                             return;
                         // The server reports a table it could not optimize in
                         // the result rows, not as a failing statement.
                         const TmySQLClientQuery *query = m_client->Query();
                         const int type = query->FieldIndex(QStringLiteral("Msg_type"));
                         const int text = query->FieldIndex(QStringLiteral("Msg_text"));
                         if (type < 0 || text < 0)
                             return;
                         for (int row = 0; row < query->RowCount(); ++row) {
                             if (query->Value(row, type).compare(QLatin1String("error"), Qt::CaseInsensitive) == 0)
                                 log(query->Value(row, text));
                         }
                     });
        log(QStringLiteral("   Optimize OK"));
    });
}

QString TDMstd::LockStatement(const QString &table, TableLock lock)
{
    static const char *const suffixes[] = {" READ", " WRITE", " LOW_PRIORITY WRITE"};
    return QStringLiteral("LOCK TABLES ") + QuoteIdentifier(table) + QLatin1String(suffixes[lock]);
}

void TDMstd::LockTable(const QString &table, const QString &database, TableLock lock)
{
    static const char *const lines[] = {"Lock Table as read...", "Lock Table as write...",
                                        "Lock Table as low priority write..."};
    log(QLatin1String(lines[lock]));
    UseDatabase(database, [this, table, lock] { RunStatement(LockStatement(table, lock)); });
}

void TDMstd::UnlockTables(const QString &database)
{
    log(QStringLiteral("Unlock all Tables..."));
    // Releasing the locks matters more than the database: it is sent even
    // when the database cannot be made current.
    const auto unlock = [this] { RunStatement(QStringLiteral("UNLOCK TABLES")); };
    UseDatabase(database, unlock, unlock);
}

void TDMstd::readNoBackslashEscapes(std::function<void(bool)> then, std::function<void()> failed)
{
    const QString statement = QStringLiteral("SELECT @@SESSION.sql_mode");
    submit(statement, taskName(statement),
           [this, failed](QObject *sender, const QString &message) {
               ActiveClientGeneralError(sender, message);
               if (failed)
                   failed();
           },
           [this, then](QObject *) {
               const QString mode = m_client->Query()->Value(0, 0);
               then(mode.split(QLatin1Char(',')).contains(QLatin1String("NO_BACKSLASH_ESCAPES")));
           });
}

void TDMstd::CommentTable(const QString &table, const QString &database, const QString &comment)
{
    if (comment.isEmpty())
        return;
    // COMMENT takes a plain literal only, so the escaping follows the mode.
    UseDatabase(database, [this, table, comment] {
        readNoBackslashEscapes([this, table, comment](bool noBackslashEscapes) {
            RunStatement(QStringLiteral("alter table ") + QuoteIdentifier(table) + QStringLiteral(" COMMENT=")
                         + SqlTextLiteral(comment, noBackslashEscapes));
        });
    });
}

// --- Delete selected row --------------------------------------------------------

bool TDMstd::DeleteRow(int row, const QString &table, const QString &database)
{
    GridModel *grid = m_views.dataGrid;
    if (!grid || row < 0 || row >= grid->rowCount())
        return false;
    if (table != m_dataGridTable || database != m_dataGridDatabase) {
        log(QStringLiteral("The Data View shows the table %1 of %2, not %3 of %4: no row deleted")
                .arg(m_dataGridTable, m_dataGridDatabase, table, database));
        return false;
    }
    auto target = std::make_shared<RowToDelete>();
    target->table = table;
    target->database = database;
    target->row = row;
    for (int c = 0; c < grid->columnCount(); ++c) {
        RowCell cell;
        cell.column = grid->columnCaption(c);
        cell.bytes = grid->bytes(row, c);
        cell.null = grid->isNull(row, c);
        cell.binary = grid->columnInfo(c).binary;
        target->cells.push_back(cell);
    }
    // The key and the types decide how the row is named in the statement.
    const QString statement = QStringLiteral("SHOW FULL COLUMNS FROM ") + qualified(database, table);
    submit(statement, taskName(statement),
           [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); },
           [this, target](QObject *) { deleteRowWithColumns(target); });
    return true;
}

void TDMstd::deleteRowWithColumns(const std::shared_ptr<RowToDelete> &target)
{
    const TmySQLClientQuery *query = m_client->Query();
    struct ColumnFacts
    {
        QString type;
        QString collation;
    };
    QHash<QString, ColumnFacts> facts;
    QStringList primary;
    QString unique;
    const int fieldColumn = query->FieldIndex(QStringLiteral("Field"));
    const int typeColumn = query->FieldIndex(QStringLiteral("Type"));
    const int collationColumn = query->FieldIndex(QStringLiteral("Collation"));
    const int nullColumn = query->FieldIndex(QStringLiteral("Null"));
    const int keyColumn = query->FieldIndex(QStringLiteral("Key"));
    for (int row = 0; row < query->RowCount(); ++row) {
        const QString name = query->Value(row, fieldColumn);
        ColumnFacts column;
        column.type = query->Value(row, typeColumn);
        column.collation = query->RawValue(row, collationColumn) ? query->Value(row, collationColumn) : QString();
        const QString key = query->Value(row, keyColumn);
        // PRI also marks a unique key without NULLs of a table without a
        // primary key; UNI a unique key of one column.
        if (key == QLatin1String("PRI"))
            primary.append(name);
        else if (key == QLatin1String("UNI") && query->Value(row, nullColumn) == QLatin1String("NO") && unique.isEmpty())
            unique = name;
        facts.insert(name.toLower(), column);
    }

    QStringList identifying = primary.isEmpty() && !unique.isEmpty() ? QStringList{unique} : primary;
    for (const QString &name : std::as_const(identifying)) {
        const bool shown = std::any_of(target->cells.begin(), target->cells.end(), [&name](const RowCell &cell) {
            return cell.column.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (!shown)
            identifying.clear(); // the key is not all in the grid: every column names the row
    }

    QStringList conditions;
    for (const RowCell &cell : target->cells) {
        if (!identifying.isEmpty()
            && !identifying.contains(cell.column, Qt::CaseInsensitive))
            continue;
        if (!facts.contains(cell.column.toLower())) {
            log(QStringLiteral("The column %1 is no longer in the table %2: open the table again, no row deleted")
                    .arg(cell.column, target->table));
            return;
        }
        const ColumnFacts &column = facts.value(cell.column.toLower());
        const QString name = QuoteIdentifier(cell.column);
        const QString base = baseType(column.type);
        const QString text = QString::fromUtf8(cell.bytes);
        static const QRegularExpression number(QStringLiteral("^-?\\d+(\\.\\d+)?$"));
        QString condition;
        if (!identifying.isEmpty() && !cell.null && !column.collation.isEmpty() && !cell.binary
            && base != QLatin1String("bit") && !isFloatType(base)
            && !(isExactNumberType(base) && number.match(text).hasMatch())) {
            // A key column of text: "=" in the column's own collation finds
            // the row through the key, and the key being unique makes it the
            // one row shown. (A byte-wise comparison would read and lock
            // every row of the table to find it.)
            const QString charset = column.collation.section(QLatin1Char('_'), 0, 0);
            condition = name + QStringLiteral(" = CONVERT(") + SqlStringLiteral(text) + QStringLiteral(" USING ")
                + charset + QStringLiteral(") COLLATE ") + column.collation;
        } else if (!identifying.isEmpty() && !cell.null && isExactNumberType(base) && number.match(text).hasMatch()) {
            condition = name + QStringLiteral(" = ") + text;
        } else if (cell.null) {
            condition = name + QStringLiteral(" <=> NULL");
        } else if (base == QLatin1String("bit")) {
            // The grid holds the bits' bytes; the server compares BIT by number.
            quint64 value = 0;
            for (const char byte : cell.bytes)
                value = (value << 8) | quint8(byte);
            condition = name + QStringLiteral(" <=> ") + QString::number(value);
        } else if (cell.binary) {
            condition = name + QStringLiteral(" <=> X'") + QString::fromLatin1(cell.bytes.toHex()) + QLatin1Char('\'');
        } else if (isFloatType(base)) {
            // The shown text is rounded: compare it with the same text of
            // the stored value, not the number it reads as.
            condition = QStringLiteral("CONCAT(") + name + QStringLiteral(") <=> ") + SqlStringLiteral(text);
        } else if (isExactNumberType(base) && number.match(text).hasMatch()) {
            condition = name + QStringLiteral(" <=> ") + text;
        } else if (!column.collation.isEmpty()) {
            // Byte for byte in the column's character set: a case-insensitive
            // or space-padding collation would take other rows for this one.
            const QString charset = column.collation.section(QLatin1Char('_'), 0, 0);
            condition = QStringLiteral("BINARY ") + name + QStringLiteral(" <=> BINARY CONVERT(") + SqlStringLiteral(text)
                + QStringLiteral(" USING ") + charset + QLatin1Char(')');
        } else {
            condition = name + QStringLiteral(" <=> ") + SqlStringLiteral(text);
        }
        conditions.append(condition);
    }
    if (conditions.isEmpty())
        return;
    const QString statement = QStringLiteral("delete from ") + qualified(target->database, target->table)
        + QStringLiteral(" where ") + conditions.join(QStringLiteral(" and ")) + QStringLiteral(" LIMIT 1");
    log(statement);
    RunStatement(statement, [this, target](const TmySQLClientOutcome &outcome) { rowDeleted(target, outcome); });
}

void TDMstd::rowDeleted(const std::shared_ptr<RowToDelete> &target, const TmySQLClientOutcome &outcome)
{
    if (outcome.Failed)
        return; // the server's message is in the log
    if (outcome.AffectedRows != 1) {
        log(QStringLiteral("No row was deleted: the table no longer holds the row as shown"));
        return;
    }
    GridModel *grid = m_views.dataGrid;
    if (!grid || target->table != m_dataGridTable || target->database != m_dataGridDatabase)
        return; // the grid shows another table by now
    // The row may have moved (a sort) or gone (the table reopened).
    int row = target->matches(*grid, target->row) ? target->row : -1;
    for (int r = 0; row < 0 && r < grid->rowCount(); ++r) {
        if (target->matches(*grid, r))
            row = r;
    }
    if (row >= 0)
        grid->removeRows(row, 1);
}

// The privilege tables `user`, `host` and `db`: loading them into their
// grids, and running a change as a chain of statements in the `mysql`
// database, each sent from the outcome of the one before.

#include "data/tdmstd.h"

#include "client/mySQLClient.h"
#include "data/gridmodel.h"

#include <vector>

namespace {

const QString PrivilegeDatabase = QStringLiteral("mysql");

QString taskName(const QString &statement)
{
    return QStringLiteral("Query: ") + statement;
}

} // namespace

GridModel *TDMstd::privilegeGrid(PrivilegeTable table) const
{
    switch (table) {
    case PrivilegeTable::User:
        return m_views.userGrid;
    case PrivilegeTable::Host:
        return m_views.hostGrid;
    case PrivilegeTable::Db:
        return m_views.dbGrid;
    }
    return nullptr;
}

void TDMstd::LoadPrivilegeTable(PrivilegeTable table)
{
    showHourglass();
    UseDatabase(PrivilegeDatabase, [this, table] {
        const QString statement = QStringLiteral("select * from ") + PrivilegeTableName(table);
        // A refused select (no such table on current servers, no right)
        // leaves the grid as it was and says why in the log.
        submit(statement, taskName(statement),
               [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); },
               [this, table](QObject *) {
                   showHourglass();
                   fillPrivilegeGrid(table);
                   restoreCursor();
               });
    });
    restoreCursor();
}

void TDMstd::fillPrivilegeGrid(PrivilegeTable table)
{
    GridModel *grid = privilegeGrid(table);
    const TmySQLClientQuery *query = m_client->Query();
    if (!grid || !query)
        return;
    // By name: current servers have many more columns, in another order.
    const QStringList names = PrivilegeGridColumns(table);
    std::vector<int> columns;
    columns.reserve(size_t(names.size()));
    for (const QString &name : names) {
        int index = query->FieldIndex(name);
        if (index < 0 && name == QLatin1String("password"))
            index = query->FieldIndex(QStringLiteral("authentication_string")); // MySQL 5.7 and later
        columns.push_back(index);
    }
    grid->clearRows();
    grid->beginBulkAppend();
    std::vector<const char *> cells(columns.size());
    for (int row = 0; row < query->RowCount(); ++row) {
        for (size_t c = 0; c < columns.size(); ++c)
            cells[c] = columns[c] >= 0 ? query->RawValue(row, columns[c]) : "";
        grid->appendRow(cells.data(), int(cells.size()));
    }
    grid->endBulkAppend();
    grid->sortByLocale(0, Qt::AscendingOrder);
}

void TDMstd::ChangePrivilegeTable(PrivilegeTable table, PrivilegeChange change, const TPrivilegeRow &row)
{
    showHourglass();
    UseDatabase(PrivilegeDatabase, [this, table, change, row] {
        // Account names and passwords must be plain literals; how a backslash
        // is written in one depends on the session's SQL mode.
        const QString statement = QStringLiteral("select @@SESSION.sql_mode");
        submit(statement, taskName(statement),
               [this, table, change, row](QObject *sender, const QString &message) {
                   if (outcomeOf(sender).LostConnection()) {
                       ActiveClientGeneralError(sender, message);
                       return;
                   }
                   // A server without SQL modes always reads backslash escapes.
                   composePrivilegeChange(table, change, row, true);
               },
               [this, table, change, row](QObject *) {
                   const QString mode = m_client->Query()->Value(0, 0);
                   composePrivilegeChange(table, change, row,
                                          !mode.contains(QLatin1String("NO_BACKSLASH_ESCAPES"), Qt::CaseInsensitive));
               });
    });
    restoreCursor();
}

void TDMstd::composePrivilegeChange(PrivilegeTable table, PrivilegeChange change, const TPrivilegeRow &row,
                                    bool backslashEscapes)
{
    // The columns the server reports for the table decide between the old
    // positional statements and account statements.
    const QString statement = QStringLiteral("select * from ") + PrivilegeTableName(table) + QStringLiteral(" limit 0");
    submit(statement, taskName(statement),
           [this](QObject *sender, const QString &message) {
               // Without the table there is nothing to change or to read again.
               ActiveClientGeneralError(sender, message);
           },
           [this, table, change, row, backslashEscapes](QObject *) {
               const TmySQLClientQuery *query = m_client->Query();
               QStringList columns;
               for (int c = 0; c < query->FieldCount(); ++c)
                   columns.append(query->FieldName(c));
               auto statements = std::make_shared<const QStringList>(
                   PrivilegeStatements(table, change, row, PrivilegeLayoutOf(table, columns), backslashEscapes));
               runPrivilegeStatements(statements, 0, [this, table] {
                   FlushPrivileges([this, table] { LoadPrivilegeTable(table); });
               });
           });
}

void TDMstd::runPrivilegeStatements(const std::shared_ptr<const QStringList> &statements, int next,
                                    std::function<void()> finished)
{
    if (next >= statements->size()) {
        finished();
        return;
    }
    const QString &statement = statements->at(next);
    submit(statement, taskName(statement),
           [this, statements, next, finished](QObject *sender, const QString &message) {
               const bool failed = outcomeOf(sender).Failed;
               // An empty line after a change the server made, its message otherwise.
               ActiveClientGeneralError(sender, message);
               if (failed)
                   finished(); // the rest of this change is not sent
               else
                   runPrivilegeStatements(statements, next + 1, finished);
           },
           [this, statements, next, finished](QObject *) {
               // Rows back: the account check before a GRANT found the account.
               runPrivilegeStatements(statements, next + 1, finished);
           });
}

void TDMstd::FlushPrivileges(std::function<void()> then)
{
    showHourglass();
    UseDatabase(PrivilegeDatabase, [this, then] {
        RunStatement(QStringLiteral("FLUSH PRIVILEGES"), [then](const TmySQLClientOutcome &) {
            if (then)
                then();
        });
    });
    restoreCursor();
}

// The privilege tables `user`, `host` and `db`: loading them into their
// grids, and running a change as a chain of statements in the `mysql`
// database, each sent from the outcome of the one before.

#include "data/tdmstd.h"

#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/sqlnames.h"

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
    // MariaDB keeps its roles in the user table with an empty host; the grid
    // marks them, and a change addresses them as roles.
    const int roleColumn = table == PrivilegeTable::User ? query->FieldIndex(QStringLiteral("is_role")) : -1;
    const QByteArray marker = RoleMarker.toUtf8();
    grid->clearRows();
    grid->beginBulkAppend();
    std::vector<const char *> cells(columns.size());
    for (int row = 0; row < query->RowCount(); ++row) {
        for (size_t c = 0; c < columns.size(); ++c)
            cells[c] = columns[c] >= 0 ? query->RawValue(row, columns[c]) : "";
        if (roleColumn >= 0 && qstrcmp(query->RawValue(row, roleColumn), "Y") == 0)
            cells[0] = marker.constData();
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
                       Q_EMIT privilegeChangeFinished(table, false);
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
           [this, table](QObject *sender, const QString &message) {
               // Without the table there is nothing to change or to read again.
               ActiveClientGeneralError(sender, message);
               Q_EMIT privilegeChangeFinished(table, false);
           },
           [this, table, change, row, backslashEscapes](QObject *) {
               const TmySQLClientQuery *query = m_client->Query();
               QStringList columns;
               for (int c = 0; c < query->FieldCount(); ++c)
                   columns.append(query->FieldName(c));
               const PrivilegeLayout layout = PrivilegeLayoutOf(table, columns);
               if (table == PrivilegeTable::Db && change == PrivilegeChange::Insert && layout == PrivilegeLayout::Current)
                   checkNewDbRow(row, backslashEscapes);
               else
                   sendPrivilegeChange(table, change, row, layout, backslashEscapes);
           });
}

void TDMstd::checkNewDbRow(TPrivilegeRow row, bool backslashEscapes)
{
    // Whether the typed name is an existing database's: then the grant is on
    // that database and its `_` and `%` are meant literally; otherwise the
    // name is the pattern the dialog describes.
    const QString statement = QStringLiteral("SELECT SCHEMA_NAME FROM information_schema.SCHEMATA WHERE SCHEMA_NAME=")
        + SqlTextLiteral(row.database, !backslashEscapes);
    submit(statement, taskName(statement),
           [this](QObject *sender, const QString &message) {
               ActiveClientGeneralError(sender, message);
               Q_EMIT privilegeChangeFinished(PrivilegeTable::Db, false);
           },
           [this, row, backslashEscapes](QObject *) mutable {
               row.exactDatabase = m_client->Query()->RowCount() > 0;
               const QString stored = row.exactDatabase ? EscapedDatabaseName(row.database) : row.database;
               // A grant row of that host, database and user is changed
               // through "Change Database Informationen", not merged into.
               const QString check = QStringLiteral("SELECT Db FROM mysql.db WHERE Host=")
                   + SqlTextLiteral(row.host, !backslashEscapes) + QStringLiteral(" AND Db=")
                   + SqlTextLiteral(stored, !backslashEscapes) + QStringLiteral(" AND User=")
                   + SqlTextLiteral(row.user, !backslashEscapes);
               submit(check, taskName(check),
                      [this](QObject *sender, const QString &message) {
                          ActiveClientGeneralError(sender, message);
                          Q_EMIT privilegeChangeFinished(PrivilegeTable::Db, false);
                      },
                      [this, row, stored, backslashEscapes](QObject *) {
                          if (m_client->Query()->RowCount() == 0) {
                              log((row.exactDatabase ? QStringLiteral("Granting on the database ")
                                                     : QStringLiteral("Granting on the pattern "))
                                  + row.database);
                              sendPrivilegeChange(PrivilegeTable::Db, PrivilegeChange::Insert, row,
                                                  PrivilegeLayout::Current, backslashEscapes);
                              return;
                          }
                          log(QStringLiteral("A grant row for host ") + row.host + QStringLiteral(", database ") + stored
                              + QStringLiteral(" and user ") + row.user
                              + QStringLiteral(" exists already; nothing changed. Use \"Change Database Informationen\"."));
                          Q_EMIT privilegeChangeFinished(PrivilegeTable::Db, false);
                          LoadPrivilegeTable(PrivilegeTable::Db);
                      });
           });
}

void TDMstd::sendPrivilegeChange(PrivilegeTable table, PrivilegeChange change, const TPrivilegeRow &row,
                                 PrivilegeLayout layout, bool backslashEscapes)
{
    auto statements = std::make_shared<const QStringList>(PrivilegeStatements(table, change, row, layout, backslashEscapes));
    const QStringList rollback = PrivilegeRollback(table, change, row, layout, backslashEscapes);
    auto failedAt = std::make_shared<int>(-1);
    runPrivilegeStatements(statements, 0, [this, table, statements, rollback, failedAt] {
        auto reload = [this, table] { FlushPrivileges([this, table] { LoadPrivilegeTable(table); }); };
        Q_EMIT privilegeChangeFinished(table, *failedAt < 0);
        // Once the first statement took effect, a later refusal undoes it.
        if (*failedAt > 0 && !rollback.isEmpty()) {
            log(QStringLiteral("Undoing: ") + rollback.join(QStringLiteral("; ")));
            runPrivilegeStatements(std::make_shared<const QStringList>(rollback), 0, reload);
        } else {
            reload();
        }
    }, failedAt);
}

void TDMstd::runPrivilegeStatements(const std::shared_ptr<const QStringList> &statements, int next,
                                    std::function<void()> finished, std::shared_ptr<int> failedAt)
{
    if (next >= statements->size()) {
        finished();
        return;
    }
    const QString &statement = statements->at(next);
    submit(statement, taskName(statement),
           [this, statements, next, finished, failedAt](QObject *sender, const QString &message) {
               const bool failed = outcomeOf(sender).Failed;
               // An empty line after a change the server made, its message otherwise.
               ActiveClientGeneralError(sender, message);
               if (failed) {
                   // Named without a password it may carry.
                   const QString &refused = statements->at(next);
                   log(QStringLiteral("Refused, nothing further sent: ")
                       + refused.left(refused.indexOf(QLatin1String(" IDENTIFIED BY "))));
                   if (failedAt)
                       *failedAt = next;
                   finished(); // the rest of this change is not sent
               } else {
                   runPrivilegeStatements(statements, next + 1, finished, failedAt);
               }
           },
           [this, statements, next, finished, failedAt](QObject *) {
               // Rows back: the account check before a GRANT found the account.
               runPrivilegeStatements(statements, next + 1, finished, failedAt);
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

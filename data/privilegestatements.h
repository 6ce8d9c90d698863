#pragma once

// The privilege tables `user`, `host` and `db` of the `mysql` database: what
// a dialog hands over for one row, how a row of the three grids reads, and
// the statements that make a change on the server at hand.

#include <QString>
#include <QStringList>

#include <array>

class GridModel;

enum class PrivilegeTable { User, Host, Db };
enum class PrivilegeChange { Insert, Update, Delete };

// The privileges of the dialogs, in the order of the user table's columns.
// Host and db rows have all but Reload, Shutdown, Process and File.
enum Privilege {
    PrivSelect,
    PrivInsert,
    PrivUpdate,
    PrivDelete,
    PrivCreate,
    PrivDrop,
    PrivReload,
    PrivShutdown,
    PrivProcess,
    PrivFile,
    PrivGrant,
    PrivReferences,
    PrivIndex,
    PrivAlter,
    PrivilegeCount
};

// One row of a privilege table as a dialog or a grid row gives it.
struct TPrivilegeRow
{
    QString host;
    QString user;
    QString password; // the text typed; a grid row holds the encoded password
    QString database;
    // Change mode: the password field no longer holds what the row showed,
    // so the account gets the typed text as its new password.
    bool newPassword = false;
    // A role of a MariaDB server: kept in the user table with an empty host,
    // addressed by its name alone (an empty host would name 'user'@'%').
    bool role = false;
    // Db rows: the database field names one existing database exactly, so
    // its `_` and `%` are meant literally, not as wildcards.
    bool exactDatabase = false;
    std::array<bool, PrivilegeCount> privileges{};
};

// How the server keeps a table. Old: exactly the columns of the early
// servers, written with positional statements. Current: any other layout;
// users and their database rows are then changed with account statements
// (CREATE USER, GRANT, REVOKE, ALTER USER, DROP USER), which work whatever
// the server keeps behind them (a view on MariaDB 10.4+, other columns on
// MySQL 8).
enum class PrivilegeLayout { Old, Current };

// The table's name in the `mysql` database.
QString PrivilegeTableName(PrivilegeTable table);
// Whether the table has the privilege at all.
bool HasPrivilege(PrivilegeTable table, Privilege privilege);

// The layout judged from the column names the server reports for the table.
PrivilegeLayout PrivilegeLayoutOf(PrivilegeTable table, const QStringList &columns);

// The result column shown in each column of the table's grid, in grid order
// ("host", "user", "password", "select_priv", ...).
QStringList PrivilegeGridColumns(PrivilegeTable table);
// The grid column of a privilege, or -1.
int PrivilegeGridColumn(PrivilegeTable table, Privilege privilege);

// A grid row as the dialogs show it: the key cells, the password cell, and a
// privilege set where its cell holds exactly "Y".
TPrivilegeRow PrivilegeRowFromGrid(PrivilegeTable table, const GridModel &grid, int row);


// What the user grid shows in the host cell of a role.
extern const QString RoleMarker;

// A database name with its wildcards `_` and `%` escaped, as a grant on that
// one database keeps it.
QString EscapedDatabaseName(const QString &name);

// 'user'@'host', both parts as literals.
QString AccountName(const QString &user, const QString &host, bool backslashEscapes);

// The statements of one change, in the order they are sent. A statement that
// returns rows (SHOW GRANTS) only checks that the account exists before a
// GRANT, which would otherwise create an account without a password on a
// server that allows it.
QStringList PrivilegeStatements(PrivilegeTable table, PrivilegeChange change, const TPrivilegeRow &row,
                                PrivilegeLayout layout, bool backslashEscapes);
// What undoes the first statement of a change when a later one fails (the
// new account is dropped again when its GRANT is refused); empty when
// nothing needs undoing.
QStringList PrivilegeRollback(PrivilegeTable table, PrivilegeChange change, const TPrivilegeRow &row,
                              PrivilegeLayout layout, bool backslashEscapes);

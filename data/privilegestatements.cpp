// The privilege tables' rows and statements: how a grid row reads, which
// layout a table has, and each change composed for that layout.

#include "data/privilegestatements.h"

#include "data/gridmodel.h"
#include "data/sqlnames.h"

#include <algorithm>

namespace {

struct PrivilegeNames
{
    const char *grant; // as GRANT and REVOKE name it
    const char *column;
};

// In the order of the enum.
const std::array<PrivilegeNames, PrivilegeCount> Names = {{
    {"SELECT", "select_priv"},
    {"INSERT", "insert_priv"},
    {"UPDATE", "update_priv"},
    {"DELETE", "delete_priv"},
    {"CREATE", "create_priv"},
    {"DROP", "drop_priv"},
    {"RELOAD", "reload_priv"},
    {"SHUTDOWN", "shutdown_priv"},
    {"PROCESS", "process_priv"},
    {"FILE", "file_priv"},
    {"GRANT OPTION", "grant_priv"},
    {"REFERENCES", "references_priv"},
    {"INDEX", "index_priv"},
    {"ALTER", "alter_priv"},
}};

// The privileges of each table in the table's own column order; the
// positional inserts give their values in this order.
std::vector<Privilege> tablePrivileges(PrivilegeTable table)
{
    if (table == PrivilegeTable::User) {
        std::vector<Privilege> all;
        for (int p = 0; p < PrivilegeCount; ++p)
            all.push_back(Privilege(p));
        return all;
    }
    return {PrivSelect, PrivInsert, PrivUpdate, PrivDelete, PrivCreate, PrivDrop,
            PrivGrant, PrivReferences, PrivIndex, PrivAlter};
}

// The privileges in the order of the table's grid (the host grid shows
// Create before Delete).
std::vector<Privilege> gridPrivileges(PrivilegeTable table)
{
    std::vector<Privilege> privileges = tablePrivileges(table);
    if (table == PrivilegeTable::Host)
        std::swap(privileges[3], privileges[4]);
    return privileges;
}

// The privileges in the order the updates assign them: Create before Delete.
std::vector<Privilege> updatePrivileges(PrivilegeTable table)
{
    std::vector<Privilege> privileges = tablePrivileges(table);
    std::swap(privileges[3], privileges[4]);
    return privileges;
}

QStringList keyColumns(PrivilegeTable table)
{
    switch (table) {
    case PrivilegeTable::User:
        return {QStringLiteral("host"), QStringLiteral("user"), QStringLiteral("password")};
    case PrivilegeTable::Host:
        return {QStringLiteral("host"), QStringLiteral("db")};
    case PrivilegeTable::Db:
        return {QStringLiteral("host"), QStringLiteral("db"), QStringLiteral("user")};
    }
    return {};
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("'Y'") : QStringLiteral("'N'");
}

// Capitalised as the old tables name their columns ("Select_priv").
QString columnName(Privilege privilege)
{
    QString name = QString::fromLatin1(Names[size_t(privilege)].column);
    name[0] = name[0].toUpper();
    return name;
}

class Composer
{
public:
    Composer(PrivilegeTable table, const TPrivilegeRow &row, bool backslashEscapes)
        : m_table(table)
        , m_row(row)
        , m_escapes(backslashEscapes)
    {
    }

    QString literal(const QString &value) const { return SqlTextLiteral(value, !m_escapes); }
    QString account() const
    {
        return m_row.role ? QuoteIdentifier(m_row.user) : AccountName(m_row.user, m_row.host, m_escapes);
    }

    // The positional insert of the old layout: one value per column.
    QString positionalInsert() const
    {
        QStringList values = {literal(m_row.host)};
        if (m_table == PrivilegeTable::User) {
            values << literal(m_row.user) << QStringLiteral("PASSWORD(") + literal(m_row.password) + QLatin1Char(')');
        } else {
            values << literal(m_row.database);
            if (m_table == PrivilegeTable::Db)
                values << literal(m_row.user);
        }
        for (Privilege privilege : tablePrivileges(m_table))
            values << yesNo(m_row.privileges[size_t(privilege)]);
        return QStringLiteral("INSERT INTO ") + PrivilegeTableName(m_table) + QStringLiteral(" VALUES(")
            + values.join(QLatin1Char(',')) + QLatin1Char(')');
    }

    // The same row with its columns named, for a host table that has more
    // columns than the old one.
    QString namedInsert() const
    {
        QStringList columns = {QStringLiteral("Host"), QStringLiteral("Db")};
        QStringList values = {literal(m_row.host), literal(m_row.database)};
        for (Privilege privilege : tablePrivileges(m_table)) {
            columns << columnName(privilege);
            values << yesNo(m_row.privileges[size_t(privilege)]);
        }
        return QStringLiteral("INSERT INTO ") + PrivilegeTableName(m_table) + QStringLiteral(" (")
            + columns.join(QLatin1Char(',')) + QStringLiteral(") VALUES(") + values.join(QLatin1Char(','))
            + QLatin1Char(')');
    }

    QString update() const
    {
        QStringList assignments;
        for (Privilege privilege : updatePrivileges(m_table))
            assignments << columnName(privilege) + QLatin1Char('=') + yesNo(m_row.privileges[size_t(privilege)]);
        return QStringLiteral("UPDATE ") + PrivilegeTableName(m_table) + QStringLiteral(" SET ")
            + assignments.join(QLatin1Char(',')) + where();
    }

    QString remove() const
    {
        return QStringLiteral("DELETE from ") + PrivilegeTableName(m_table) + where();
    }

    // GRANT of the ticked privileges at one level; with nothing ticked, an
    // empty text, or GRANT USAGE when asked for one anyway.
    QString grant(const QString &level, bool usageWhenNothing) const
    {
        QStringList granted;
        for (Privilege privilege : tablePrivileges(m_table)) {
            if (privilege != PrivGrant && m_row.privileges[size_t(privilege)])
                granted << QString::fromLatin1(Names[size_t(privilege)].grant);
        }
        const bool grantOption = m_row.privileges[PrivGrant];
        if (granted.isEmpty() && !grantOption && !usageWhenNothing)
            return {};
        return QStringLiteral("GRANT ") + (granted.isEmpty() ? QStringLiteral("USAGE") : granted.join(QStringLiteral(", ")))
            + QStringLiteral(" ON ") + level + QStringLiteral(" TO ") + account()
            + (grantOption ? QStringLiteral(" WITH GRANT OPTION") : QString());
    }

    // REVOKE of the privileges not ticked, or an empty text.
    QString revoke(const QString &level) const
    {
        QStringList revoked;
        for (Privilege privilege : tablePrivileges(m_table)) {
            if (!m_row.privileges[size_t(privilege)])
                revoked << QString::fromLatin1(Names[size_t(privilege)].grant);
        }
        if (revoked.isEmpty())
            return {};
        return QStringLiteral("REVOKE ") + revoked.join(QStringLiteral(", ")) + QStringLiteral(" ON ") + level
            + QStringLiteral(" FROM ") + account();
    }

    QString databaseLevel() const
    {
        return QuoteIdentifier(m_row.exactDatabase ? EscapedDatabaseName(m_row.database) : m_row.database)
            + QStringLiteral(".*");
    }

private:
    QString where() const
    {
        switch (m_table) {
        case PrivilegeTable::User:
            return QStringLiteral(" WHERE user=") + literal(m_row.user) + QStringLiteral(" AND host=")
                + literal(m_row.host);
        case PrivilegeTable::Host:
            return QStringLiteral(" WHERE host=") + literal(m_row.host) + QStringLiteral(" AND db=")
                + literal(m_row.database);
        case PrivilegeTable::Db:
            // The user too: a delete removes the selected user's row only,
            // not those of every user of the host and database.
            return QStringLiteral(" WHERE host=") + literal(m_row.host) + QStringLiteral(" AND db=")
                + literal(m_row.database) + QStringLiteral(" AND user=") + literal(m_row.user);
        }
        return {};
    }

    PrivilegeTable m_table;
    const TPrivilegeRow &m_row;
    bool m_escapes;
};

QStringList oldStatements(const Composer &compose, PrivilegeChange change)
{
    switch (change) {
    case PrivilegeChange::Insert:
        return {compose.positionalInsert()};
    case PrivilegeChange::Update:
        return {compose.update()};
    case PrivilegeChange::Delete:
        return {compose.remove()};
    }
    return {};
}

QStringList userStatements(const Composer &compose, PrivilegeChange change, const TPrivilegeRow &row)
{
    const QString account = compose.account();
    QStringList statements;
    switch (change) {
    case PrivilegeChange::Insert:
        if (row.role)
            statements << QStringLiteral("CREATE ROLE ") + account;
        else
            statements << QStringLiteral("CREATE USER ") + account + QStringLiteral(" IDENTIFIED BY ")
                    + compose.literal(row.password);
        // A new account holds no privileges: nothing to revoke.
        statements << compose.grant(QStringLiteral("*.*"), false);
        break;
    case PrivilegeChange::Update:
        statements << QStringLiteral("SHOW GRANTS FOR ") + account;
        // The revoke first: when the grant is refused after it, the account
        // holds less than before, never more than asked for.
        statements << compose.revoke(QStringLiteral("*.*")) << compose.grant(QStringLiteral("*.*"), false);
        if (row.newPassword && !row.role)
            statements << QStringLiteral("ALTER USER ") + account + QStringLiteral(" IDENTIFIED BY ")
                    + compose.literal(row.password);
        break;
    case PrivilegeChange::Delete:
        statements << (row.role ? QStringLiteral("DROP ROLE ") : QStringLiteral("DROP USER ")) + account;
        break;
    }
    return statements;
}

QStringList dbStatements(const Composer &compose, PrivilegeChange change, const TPrivilegeRow &row)
{
    const QString account = compose.account();
    const QString level = compose.databaseLevel();
    QStringList statements;
    switch (change) {
    case PrivilegeChange::Insert:
        statements << QStringLiteral("SHOW GRANTS FOR ") + account;
        // Nothing ticked: GRANT USAGE still tells whether the account and the
        // name are accepted, though it leaves no row.
        statements << compose.grant(level, true);
        break;
    case PrivilegeChange::Update:
        statements << QStringLiteral("SHOW GRANTS FOR ") + account;
        // The revoke first, on the row the grid showed: a refused grant then
        // leaves less than before, never more.
        statements << compose.revoke(level) << compose.grant(level, false);
        break;
    case PrivilegeChange::Delete:
        // ALL PRIVILEGES leaves the grant option, which has its own REVOKE;
        // that one fails when the row is already gone, so it is sent only
        // for a row that holds it.
        statements << QStringLiteral("REVOKE ALL PRIVILEGES ON ") + level + QStringLiteral(" FROM ") + account;
        if (row.privileges[PrivGrant])
            statements << QStringLiteral("REVOKE GRANT OPTION ON ") + level + QStringLiteral(" FROM ") + account;
        break;
    }
    return statements;
}

} // namespace

QString PrivilegeTableName(PrivilegeTable table)
{
    switch (table) {
    case PrivilegeTable::User:
        return QStringLiteral("user");
    case PrivilegeTable::Host:
        return QStringLiteral("host");
    case PrivilegeTable::Db:
        return QStringLiteral("db");
    }
    return {};
}

bool HasPrivilege(PrivilegeTable table, Privilege privilege)
{
    const std::vector<Privilege> privileges = tablePrivileges(table);
    return std::find(privileges.begin(), privileges.end(), privilege) != privileges.end();
}

PrivilegeLayout PrivilegeLayoutOf(PrivilegeTable table, const QStringList &columns)
{
    QStringList old = keyColumns(table);
    for (Privilege privilege : tablePrivileges(table))
        old << QString::fromLatin1(Names[size_t(privilege)].column);
    if (columns.size() != old.size())
        return PrivilegeLayout::Current;
    for (int i = 0; i < old.size(); ++i) {
        if (columns.at(i).compare(old.at(i), Qt::CaseInsensitive) != 0)
            return PrivilegeLayout::Current;
    }
    return PrivilegeLayout::Old;
}

QStringList PrivilegeGridColumns(PrivilegeTable table)
{
    QStringList columns = keyColumns(table);
    for (Privilege privilege : gridPrivileges(table))
        columns << QString::fromLatin1(Names[size_t(privilege)].column);
    return columns;
}

int PrivilegeGridColumn(PrivilegeTable table, Privilege privilege)
{
    const QStringList columns = PrivilegeGridColumns(table);
    return int(columns.indexOf(QString::fromLatin1(Names[size_t(privilege)].column)));
}

TPrivilegeRow PrivilegeRowFromGrid(PrivilegeTable table, const GridModel &grid, int row)
{
    TPrivilegeRow result;
    result.host = grid.text(row, 0);
    switch (table) {
    case PrivilegeTable::User:
        result.user = grid.text(row, 1);
        result.password = grid.text(row, 2);
        result.role = result.host == RoleMarker;
        break;
    case PrivilegeTable::Host:
        result.database = grid.text(row, 1);
        break;
    case PrivilegeTable::Db:
        result.database = grid.text(row, 1);
        result.user = grid.text(row, 2);
        break;
    }
    for (int p = 0; p < PrivilegeCount; ++p) {
        const int column = PrivilegeGridColumn(table, Privilege(p));
        result.privileges[size_t(p)] = column >= 0 && grid.text(row, column) == QLatin1String("Y");
    }
    return result;
}


const QString RoleMarker = QStringLiteral("(role)");

QString EscapedDatabaseName(const QString &name)
{
    QString escaped;
    for (const QChar c : name) {
        if (c == QLatin1Char('_') || c == QLatin1Char('%'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return escaped;
}

QString AccountName(const QString &user, const QString &host, bool backslashEscapes)
{
    return SqlTextLiteral(user, !backslashEscapes) + QLatin1Char('@') + SqlTextLiteral(host, !backslashEscapes);
}

QStringList PrivilegeStatements(PrivilegeTable table, PrivilegeChange change, const TPrivilegeRow &row,
                                PrivilegeLayout layout, bool backslashEscapes)
{
    const Composer compose(table, row, backslashEscapes);
    QStringList statements;
    if (layout == PrivilegeLayout::Old)
        statements = oldStatements(compose, change);
    else if (table == PrivilegeTable::User)
        statements = userStatements(compose, change, row);
    else if (table == PrivilegeTable::Db)
        statements = dbStatements(compose, change, row);
    else if (change == PrivilegeChange::Insert)
        // No account statement covers the host table: where a server still
        // has one in a later layout, the row is written with named columns.
        statements = {compose.namedInsert()};
    else
        statements = oldStatements(compose, change);
    statements.removeAll(QString()); // no GRANT or REVOKE where nothing was to grant or revoke
    return statements;
}

QStringList PrivilegeRollback(PrivilegeTable table, PrivilegeChange change, const TPrivilegeRow &row,
                              PrivilegeLayout layout, bool backslashEscapes)
{
    if (table != PrivilegeTable::User || change != PrivilegeChange::Insert || layout != PrivilegeLayout::Current)
        return {};
    const Composer compose(table, row, backslashEscapes);
    return {(row.role ? QStringLiteral("DROP ROLE ") : QStringLiteral("DROP USER ")) + compose.account()};
}

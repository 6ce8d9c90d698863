#include "data/completionnames.h"

#include "client/mySQLClient.h"
#include "data/sqlnames.h"

namespace {

QStringList upperList(std::initializer_list<const char *> words)
{
    QStringList list;
    list.reserve(int(words.size()));
    for (const char *word : words)
        list << QString::fromLatin1(word);
    list.sort();
    return list;
}

} // namespace

const QStringList &CompletionNames::keywords()
{
    static const QStringList words = upperList({
        "ADD", "ALL", "ALTER", "ANALYZE", "AND", "AS", "ASC", "AUTO_INCREMENT", "BEGIN", "BETWEEN", "BIGINT",
        "BINARY", "BLOB", "BY", "CALL", "CASCADE", "CASE", "CHANGE", "CHAR", "CHARACTER", "CHARSET", "CHECK",
        "COLLATE", "COLUMN", "COLUMNS", "COMMENT", "COMMIT", "CONSTRAINT", "CREATE", "CROSS", "DATABASE",
        "DATABASES", "DATE", "DATETIME", "DECIMAL", "DECLARE", "DEFAULT", "DELETE", "DELIMITER", "DESC", "DESCRIBE",
        "DISTINCT", "DOUBLE", "DROP", "DUPLICATE", "ELSE", "END", "ENGINE", "ENUM", "EXISTS", "EXPLAIN", "FALSE",
        "FLOAT", "FLUSH", "FOR", "FOREIGN", "FROM", "FULL", "FUNCTION", "GRANT", "GROUP", "HAVING", "IF", "IGNORE",
        "IN", "INDEX", "INNER", "INSERT", "INT", "INTEGER", "INTERVAL", "INTO", "IS", "JOIN", "KEY", "KILL", "LEFT",
        "LIKE", "LIMIT", "LOCK", "LONGTEXT", "MEDIUMTEXT", "MODIFY", "NOT", "NULL", "OFFSET", "ON", "OPTIMIZE",
        "OR", "ORDER", "OUTER", "PRIMARY", "PROCEDURE", "PROCESSLIST", "REFERENCES", "REGEXP", "RENAME", "REPAIR",
        "REPLACE", "REVOKE", "RIGHT", "ROLLBACK", "SCHEMA", "SELECT", "SET", "SHOW", "SMALLINT", "START", "STATUS",
        "TABLE", "TABLES", "TEMPORARY", "TEXT", "THEN", "TIME", "TIMESTAMP", "TINYINT", "TO", "TRANSACTION",
        "TRIGGER", "TRUE", "TRUNCATE", "UNION", "UNIQUE", "UNLOCK", "UNSIGNED", "UPDATE", "USE", "USING", "VALUES",
        "VARCHAR", "VARIABLES", "VIEW", "WHEN", "WHERE", "WITH",
    });
    return words;
}

const QStringList &CompletionNames::functions()
{
    static const QStringList words = upperList({
        "ABS", "ADDDATE", "AVG", "BIT_LENGTH", "CAST", "CEIL", "CHAR_LENGTH", "COALESCE", "CONCAT", "CONCAT_WS",
        "CONVERT", "COUNT", "CURDATE", "CURRENT_DATE", "CURRENT_TIMESTAMP", "CURRENT_USER", "CURTIME",
        "DATE_ADD", "DATE_FORMAT", "DATE_SUB", "DATEDIFF", "DAY", "DAYNAME", "DAYOFWEEK", "FIELD", "FIND_IN_SET",
        "FLOOR", "FORMAT", "FROM_UNIXTIME", "GREATEST", "GROUP_CONCAT", "HEX", "HOUR", "IFNULL", "INET_ATON",
        "INET_NTOA", "INSTR", "JSON_EXTRACT", "JSON_OBJECT", "LAST_INSERT_ID", "LCASE", "LEAST", "LENGTH",
        "LOCATE", "LOWER", "LPAD", "LTRIM", "MAX", "MD5", "MID", "MIN", "MINUTE", "MOD", "MONTH", "NOW", "NULLIF",
        "POSITION", "POW", "RAND", "REPEAT", "REVERSE", "ROUND", "RPAD", "RTRIM", "SECOND", "SHA1", "SHA2",
        "SLEEP", "SUBSTR", "SUBSTRING", "SUBSTRING_INDEX", "SUM", "SYSDATE", "TIMEDIFF", "TIMESTAMPDIFF",
        "TRIM", "TRUNCATE", "UCASE", "UNHEX", "UNIX_TIMESTAMP", "UPPER", "USER", "UUID", "VERSION", "WEEK",
        "YEAR",
    });
    return words;
}

CompletionNames::CompletionNames(QObject *parent)
    : QObject(parent)
{
    m_client = new TmySQLClient(this);
    m_client->setObjectName(QStringLiteral("NamesClient"));
    m_client->setTaskListBox(nullptr);
    m_client->setThreaded(true);
    m_client->OnConnect = [this](QObject *) { readPending(); };
    m_client->OnConnectError = [this](QObject *, const QString &message) {
        m_connectFailed = true; // tried again on reload()
        failed(message);
    };
}

CompletionNames::~CompletionNames()
{
    closeSession();
}

void CompletionNames::openSession(const TmySQLClient &session)
{
    closeSession();
    m_client->setHostname(session.Hostname());
    m_client->setUsername(session.Username());
    m_client->setPassword(session.Password());
    m_client->setPort(session.Port());
    m_client->setDatabase(QString());
    m_client->setCapabilities(session.Capabilities() & ~TSetClientCapabilities(CLIENT_CONNECT_WITH_DB));
    m_client->setConnectTimeout(session.ConnectTimeout());
    m_hasSession = true;
}

void CompletionNames::closeSession()
{
    ++m_generation;
    m_hasSession = false;
    m_connectFailed = false;
    m_names.clear();
    m_loading.clear();
    m_waiting.clear();
    m_databases.clear();
    m_databasesLoaded = false;
    m_databasesLoading = false;
    m_failureSaid = false;
    if (m_client->Connecting())
        m_client->AbandonConnect();
    m_client->Close();
}

void CompletionNames::reload()
{
    ++m_generation;
    QStringList again = m_names.keys();
    for (const QString &database : std::as_const(m_loading)) {
        if (!again.contains(database))
            again << database;
    }
    m_names.clear();
    m_loading.clear();
    m_databasesLoaded = false;
    m_databasesLoading = false;
    m_databases.clear();
    m_connectFailed = false;
    m_failureSaid = false;
    if (!m_hasSession)
        return;
    for (const QString &database : std::as_const(again))
        request(database);
    if (again.isEmpty())
        request(QString());
}

bool CompletionNames::isReading() const
{
    return m_hasSession && (m_client->Connected() || m_client->Connecting());
}

bool CompletionNames::isLoaded(const QString &database) const
{
    return m_names.contains(database);
}

void CompletionNames::request(const QString &database)
{
    if (!m_hasSession || m_connectFailed)
        return;
    const bool wantDatabases = !m_databasesLoaded && !m_databasesLoading;
    const bool wantNames = !database.isEmpty() && !m_names.contains(database) && !m_loading.contains(database);
    if (!wantDatabases && !wantNames)
        return;
    if (wantNames && !m_waiting.contains(database))
        m_waiting << database;
    if (m_client->Connected()) {
        readPending();
        return;
    }
    connectNow();
}

void CompletionNames::connectNow()
{
    if (!m_client->Connected() && !m_client->Connecting())
        m_client->Connect();
}

void CompletionNames::readPending()
{
    if (!m_hasSession || !m_client->Connected())
        return;
    if (!m_databasesLoaded && !m_databasesLoading)
        readDatabases();
    const QStringList waiting = m_waiting;
    m_waiting.clear();
    for (const QString &database : waiting) {
        if (!m_names.contains(database) && !m_loading.contains(database))
            readDatabase(database);
    }
}

void CompletionNames::readDatabases()
{
    TmySQLClientQuery *query = m_client->Query();
    if (!query)
        return;
    m_databasesLoading = true;
    const quint64 generation = m_generation;
    query->Execute(
        QStringLiteral("SHOW DATABASES"), QStringLiteral("Names: databases"), {},
        [this, generation](QObject *sender, const QString &message) {
            if (generation != m_generation)
                return;
            m_databasesLoading = false;
            if (static_cast<TmySQLClientQuery *>(sender)->Outcome().Failed)
                failed(message);
        },
        [this, generation](QObject *sender) {
            if (generation != m_generation)
                return;
            auto *result = static_cast<TmySQLClientQuery *>(sender);
            QStringList names;
            names.reserve(result->RowCount());
            for (int row = 0; row < result->RowCount(); ++row)
                names << result->Value(row, 0);
            m_databases = names;
            m_databasesLoaded = true;
            m_databasesLoading = false;
            Q_EMIT namesChanged(QString());
        });
    query->Run();
}

void CompletionNames::readDatabase(const QString &database)
{
    TmySQLClientQuery *query = m_client->Query();
    if (!query)
        return;
    m_loading.insert(database);
    const quint64 generation = m_generation;
    // Tables without columns are named too: the LEFT JOIN keeps them.
    const QString statement =
        QStringLiteral("SELECT t.TABLE_NAME, c.COLUMN_NAME FROM information_schema.TABLES t"
                       " LEFT JOIN information_schema.COLUMNS c"
                       " ON c.TABLE_SCHEMA = t.TABLE_SCHEMA AND c.TABLE_NAME = t.TABLE_NAME"
                       " WHERE t.TABLE_SCHEMA = %1 ORDER BY t.TABLE_NAME, c.ORDINAL_POSITION")
            .arg(SqlStringLiteral(database));
    query->Execute(
        statement, QStringLiteral("Names: ") + database, {},
        [this, generation, database](QObject *sender, const QString &message) {
            if (generation != m_generation)
                return;
            m_loading.remove(database);
            if (static_cast<TmySQLClientQuery *>(sender)->Outcome().Failed)
                failed(message);
        },
        [this, generation, database](QObject *sender) {
            if (generation != m_generation)
                return;
            auto *result = static_cast<TmySQLClientQuery *>(sender);
            DatabaseNames names;
            QSet<QString> seen;
            for (int row = 0; row < result->RowCount(); ++row) {
                const QString table = result->Value(row, 0);
                if (names.tables.isEmpty() || names.tables.constLast() != table)
                    names.tables << table;
                if (result->RawValue(row, 1) == nullptr)
                    continue;
                const QString column = result->Value(row, 1);
                names.columns[table] << column;
                if (!seen.contains(column)) {
                    seen.insert(column);
                    names.allColumns << column;
                }
            }
            m_loading.remove(database);
            m_names.insert(database, names);
            Q_EMIT namesChanged(database);
        });
    query->Run();
}

void CompletionNames::failed(const QString &message)
{
    if (m_failureSaid)
        return;
    m_failureSaid = true;
    Q_EMIT readFailed(QStringLiteral("The names for completion could not be read: ") + message);
}

QStringList CompletionNames::tables(const QString &database) const
{
    return m_names.value(database).tables;
}

QStringList CompletionNames::columns(const QString &database, const QString &table) const
{
    const auto it = m_names.constFind(database);
    if (it == m_names.constEnd())
        return {};
    // Names compare as the server does on most systems: tables by their
    // exact name first, then in any case.
    if (it->columns.contains(table))
        return it->columns.value(table);
    for (auto c = it->columns.constBegin(); c != it->columns.constEnd(); ++c) {
        if (c.key().compare(table, Qt::CaseInsensitive) == 0)
            return c.value();
    }
    return {};
}

QStringList CompletionNames::allColumns(const QString &database) const
{
    return m_names.value(database).allColumns;
}

#include "data/sqlnames.h"

#include <QSet>

#include <algorithm>
#include <iterator>

namespace {

// MariaDB's reserved words: as bare identifiers they are a syntax error.
const char *const ReservedWords[] = {
    "ACCESSIBLE", "ADD", "ALL", "ALTER", "ANALYZE", "AND", "AS", "ASC", "ASENSITIVE", "BEFORE",
    "BETWEEN", "BIGINT", "BINARY", "BLOB", "BOTH", "BY", "CALL", "CASCADE", "CASE", "CHANGE",
    "CHAR", "CHARACTER", "CHECK", "COLLATE", "COLUMN", "CONDITION", "CONSTRAINT", "CONTINUE",
    "CONVERT", "CREATE", "CROSS", "CURRENT_DATE", "CURRENT_ROLE", "CURRENT_TIME",
    "CURRENT_TIMESTAMP", "CURRENT_USER", "CURSOR", "DATABASE", "DATABASES", "DAY_HOUR",
    "DAY_MICROSECOND", "DAY_MINUTE", "DAY_SECOND", "DEC", "DECIMAL", "DECLARE", "DEFAULT",
    "DELAYED", "DELETE", "DELETE_DOMAIN_ID", "DESC", "DESCRIBE", "DETERMINISTIC", "DISTINCT",
    "DISTINCTROW", "DIV", "DO_DOMAIN_IDS", "DOUBLE", "DROP", "DUAL", "EACH", "ELSE", "ELSEIF",
    "ENCLOSED", "ESCAPED", "EXCEPT", "EXISTS", "EXIT", "EXPLAIN", "FALSE", "FETCH", "FLOAT",
    "FLOAT4", "FLOAT8", "FOR", "FORCE", "FOREIGN", "FROM", "FULLTEXT", "GENERAL", "GRANT",
    "GROUP", "HAVING", "HIGH_PRIORITY", "HOUR_MICROSECOND", "HOUR_MINUTE", "HOUR_SECOND", "IF",
    "IGNORE", "IGNORE_DOMAIN_IDS", "IGNORE_SERVER_IDS", "IN", "INDEX", "INFILE", "INNER",
    "INOUT", "INSENSITIVE", "INSERT", "INT", "INT1", "INT2", "INT3", "INT4", "INT8", "INTEGER",
    "INTERSECT", "INTERVAL", "INTO", "IS", "ITERATE", "JOIN", "KEY", "KEYS", "KILL", "LEADING",
    "LEAVE", "LEFT", "LIKE", "LIMIT", "LINEAR", "LINES", "LOAD", "LOCALTIME", "LOCALTIMESTAMP",
    "LOCK", "LONG", "LONGBLOB", "LONGTEXT", "LOOP", "LOW_PRIORITY", "MASTER_HEARTBEAT_PERIOD",
    "MASTER_SSL_VERIFY_SERVER_CERT", "MATCH", "MAXVALUE", "MEDIUMBLOB", "MEDIUMINT",
    "MEDIUMTEXT", "MIDDLEINT", "MINUTE_MICROSECOND", "MINUTE_SECOND", "MOD", "MODIFIES",
    "NATURAL", "NOT", "NO_WRITE_TO_BINLOG", "NULL", "NUMERIC", "OFFSET", "ON", "OPTIMIZE",
    "OPTION", "OPTIONALLY", "OR", "ORDER", "OUT", "OUTER", "OUTFILE", "OVER", "PAGE_CHECKSUM",
    "PARSE_VCOL_EXPR", "PARTITION", "POSITION", "PRECISION", "PRIMARY", "PROCEDURE", "PURGE",
    "RANGE", "READ", "READS", "READ_WRITE", "REAL", "RECURSIVE", "REF_SYSTEM_ID", "REFERENCES",
    "REGEXP", "RELEASE", "RENAME", "REPEAT", "REPLACE", "REQUIRE", "RESIGNAL", "RESTRICT",
    "RETURN", "RETURNING", "REVOKE", "RIGHT", "RLIKE", "ROW_NUMBER", "ROWS", "SCHEMA",
    "SCHEMAS", "SECOND_MICROSECOND", "SELECT", "SENSITIVE", "SEPARATOR", "SET", "SHOW",
    "SIGNAL", "SLOW", "SMALLINT", "SPATIAL", "SPECIFIC", "SQL", "SQLEXCEPTION", "SQLSTATE",
    "SQLWARNING", "SQL_BIG_RESULT", "SQL_CALC_FOUND_ROWS", "SQL_SMALL_RESULT", "SSL",
    "STARTING", "STATS_AUTO_RECALC", "STATS_PERSISTENT", "STATS_SAMPLE_PAGES", "STRAIGHT_JOIN",
    "TABLE", "TERMINATED", "THEN", "TINYBLOB", "TINYINT", "TINYTEXT", "TO", "TRAILING",
    "TRIGGER", "TRUE", "UNDO", "UNION", "UNIQUE", "UNLOCK", "UNSIGNED", "UPDATE", "USAGE", "USE",
    "USING", "UTC_DATE", "UTC_TIME", "UTC_TIMESTAMP", "VALUES", "VARBINARY", "VARCHAR",
    "VARCHARACTER", "VARYING", "WHEN", "WHERE", "WHILE", "WINDOW", "WITH", "WRITE", "XOR",
    "YEAR_MONTH", "ZEROFILL",
};

const QSet<QString> &reservedWords()
{
    static const QSet<QString> words = [] {
        QSet<QString> set;
        for (const char *word : ReservedWords)
            set.insert(QString::fromLatin1(word));
        return set;
    }();
    return words;
}

bool isIdentifierStart(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
        || c == QLatin1Char('_') || c == QLatin1Char('$');
}

bool isIdentifierPart(QChar c)
{
    return isIdentifierStart(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

} // namespace

bool IsPlainIdentifier(const QString &name)
{
    if (name.isEmpty() || !isIdentifierStart(name.front()))
        return false;
    if (!std::all_of(name.begin(), name.end(), isIdentifierPart))
        return false;
    return !reservedWords().contains(name.toUpper());
}

QString QuoteIdentifier(const QString &name)
{
    if (IsPlainIdentifier(name))
        return name;
    QString quoted = name;
    quoted.replace(QLatin1Char('`'), QLatin1String("``"));
    return QLatin1Char('`') + quoted + QLatin1Char('`');
}

QString SqlStringLiteral(const QString &value)
{
    QStringList pieces;
    QString current;
    bool open = false; // a quoted piece is being written
    for (const QChar c : value) {
        if (c == QLatin1Char('\\') || c.unicode() == 0) {
            if (open)
                pieces.append(current + QLatin1Char('\''));
            current.clear();
            open = false;
            pieces.append(QStringLiteral("CHAR(%1 USING utf8mb4)").arg(c.unicode()));
            continue;
        }
        if (!open) {
            current = QStringLiteral("'");
            open = true;
        }
        if (c == QLatin1Char('\''))
            current += QLatin1String("''");
        else
            current += c;
    }
    if (open)
        pieces.append(current + QLatin1Char('\''));
    if (pieces.isEmpty())
        return QStringLiteral("''");
    if (pieces.size() == 1)
        return pieces.first();
    return QStringLiteral("CONCAT(") + pieces.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString SqlTextLiteral(const QString &value, bool noBackslashEscapes)
{
    QString literal = QStringLiteral("'");
    literal.reserve(value.size() + 2);
    for (const QChar c : value) {
        if (c == QLatin1Char('\''))
            literal += QLatin1String("''");
        else if (c == QLatin1Char('\\') && !noBackslashEscapes)
            literal += QLatin1String("\\\\");
        else if (c.unicode() == 0 && !noBackslashEscapes)
            literal += QLatin1String("\\0");
        else
            literal += c;
    }
    return literal + QLatin1Char('\'');
}

QString TableNameFromNodeText(const QString &nodeText)
{
    // "name  ( rows )": the row count part is recognised from the end, so
    // blanks inside the name survive.
    static const QLatin1String marker("  ( ");
    if (nodeText.endsWith(QLatin1String(" )"))) {
        const qsizetype at = nodeText.lastIndexOf(marker);
        if (at >= 0) {
            const QString rows = nodeText.mid(at + marker.size(), nodeText.size() - at - marker.size() - 2);
            if (std::all_of(rows.begin(), rows.end(), [](QChar c) { return c.isDigit(); }))
                return nodeText.left(at);
        }
    }
    return nodeText;
}

QString TableNodeText(const QString &table, const QString &rows)
{
    return table + QLatin1String("  ( ") + rows + QLatin1String(" )");
}

namespace {

// Skips blanks and comments from position i; false inside an open comment.
bool skipSpaceAndComments(const QString &text, qsizetype *i)
{
    const qsizetype n = text.size();
    while (*i < n) {
        const QChar c = text.at(*i);
        if (c.isSpace()) {
            ++*i;
        } else if (c == QLatin1Char('#')
                   || (text.mid(*i, 2) == QLatin1String("--") && (*i + 2 == n || text.at(*i + 2).isSpace()))) {
            const qsizetype end = text.indexOf(QLatin1Char('\n'), *i);
            *i = end < 0 ? n : end + 1;
        } else if (c == QLatin1Char('/') && *i + 1 < n && text.at(*i + 1) == QLatin1Char('*')) {
            const qsizetype end = text.indexOf(QLatin1String("*/"), *i + 2);
            if (end < 0)
                return false;
            *i = end + 2;
        } else {
            break;
        }
    }
    return true;
}

} // namespace

bool UsedDatabase(const QString &statement, QString *database)
{
    qsizetype i = 0;
    if (!skipSpaceAndComments(statement, &i))
        return false;
    const qsizetype n = statement.size();
    if (i + 3 > n || statement.mid(i, 3).compare(QLatin1String("use"), Qt::CaseInsensitive) != 0)
        return false;
    i += 3;
    if (i >= n || !(statement.at(i).isSpace() || statement.at(i) == QLatin1Char('`')
                    || statement.at(i) == QLatin1Char('/') || statement.at(i) == QLatin1Char('#')))
        return false;
    if (!skipSpaceAndComments(statement, &i) || i >= n)
        return false;
    QString name;
    if (statement.at(i) == QLatin1Char('`')) {
        // A quoted name; a doubled backtick stands for one.
        ++i;
        for (;;) {
            if (i >= n)
                return false;
            if (statement.at(i) == QLatin1Char('`')) {
                if (i + 1 < n && statement.at(i + 1) == QLatin1Char('`')) {
                    name += QLatin1Char('`');
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            name += statement.at(i++);
        }
    } else {
        while (i < n && !statement.at(i).isSpace() && statement.at(i) != QLatin1Char(';')
               && statement.at(i) != QLatin1Char('#') && statement.at(i) != QLatin1Char('/')
               && statement.at(i) != QLatin1Char('-'))
            name += statement.at(i++);
    }
    // Only blanks, comments and a final ";" may follow.
    if (!skipSpaceAndComments(statement, &i))
        return false;
    if (i < n && statement.at(i) == QLatin1Char(';')) {
        ++i;
        if (!skipSpaceAndComments(statement, &i))
            return false;
    }
    if (i != n || name.isEmpty())
        return false;
    *database = name;
    return true;
}

#include "data/tabledesign.h"

#include "data/sqlnames.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <vector>

namespace {

bool isWord(const QString &text)
{
    static const QRegularExpression word(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*$"));
    return word.match(text).hasMatch();
}

// Names of engines, character sets and collations: letters, digits, "_".
bool isOptionName(const QString &text)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_]+$"));
    return name.match(text).hasMatch();
}

bool takesValueList(const QString &baseType)
{
    const QString upper = baseType.toUpper();
    return upper == QLatin1String("ENUM") || upper == QLatin1String("SET");
}

// Types whose values are text and so have a collation.
bool isTextType(const QString &baseType)
{
    static const QSet<QString> types = {
        QStringLiteral("CHAR"),     QStringLiteral("VARCHAR"),    QStringLiteral("TINYTEXT"),
        QStringLiteral("TEXT"),     QStringLiteral("MEDIUMTEXT"), QStringLiteral("LONGTEXT"),
        QStringLiteral("ENUM"),     QStringLiteral("SET"),        QStringLiteral("NCHAR"),
        QStringLiteral("NVARCHAR"), QStringLiteral("JSON"),
    };
    return types.contains(baseType.toUpper());
}

QString fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return QString();
}

// "TYPE(length) ATTRIBUTES": the length goes after the first word.
QString typeClause(const TableColumnDesign &column, const SqlSyntax &syntax, QString *error)
{
    const QStringList words = column.type.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return fail(error, QStringLiteral("Column %1 has no type").arg(column.name));
    for (const QString &word : words) {
        if (!isWord(word))
            return fail(error, QStringLiteral("Column %1: \"%2\" is not a type").arg(column.name, column.type));
    }
    QString clause = words.first().toUpper();
    const QString length = column.length.trimmed();
    if (takesValueList(words.first())) {
        bool ok = false;
        const QStringList values = DesignValueList(length, &ok);
        if (!ok || values.isEmpty())
            return fail(error, QStringLiteral("Column %1 needs its values, for example 'a','b'").arg(column.name));
        QStringList literals;
        for (const QString &value : values)
            literals.append(SqlTextLiteral(value, syntax.noBackslashEscapes));
        clause += QLatin1Char('(') + literals.join(QLatin1Char(',')) + QLatin1Char(')');
    } else if (!length.isEmpty()) {
        static const QRegularExpression digits(QStringLiteral("^(\\d+)\\s*(?:,\\s*(\\d+))?$"));
        const QRegularExpressionMatch match = digits.match(length);
        if (!match.hasMatch())
            return fail(error, QStringLiteral("Column %1: \"%2\" is not a length").arg(column.name, column.length));
        clause += QLatin1Char('(') + match.captured(1);
        if (!match.captured(2).isEmpty())
            clause += QLatin1Char(',') + match.captured(2);
        clause += QLatin1Char(')');
    }
    for (int i = 1; i < words.size(); ++i)
        clause += QLatin1Char(' ') + words.at(i).toUpper();
    return clause;
}

QString defaultClause(const QString &text, const SqlSyntax &syntax)
{
    const QString value = text.trimmed();
    if (value.isEmpty())
        return QString();
    if (value.compare(QLatin1String("NULL"), Qt::CaseInsensitive) == 0)
        return QStringLiteral(" DEFAULT NULL");
    static const QRegularExpression now(
        QStringLiteral("^(CURRENT_TIMESTAMP|NOW|LOCALTIME|LOCALTIMESTAMP)(\\(\\s*\\d*\\s*\\))?$"),
        QRegularExpression::CaseInsensitiveOption);
    if (now.match(value).hasMatch())
        return QStringLiteral(" DEFAULT ") + value;
    // An expression in parentheses is the user's SQL, as in the SQL editor.
    if (value.startsWith(QLatin1Char('(')) && value.endsWith(QLatin1Char(')')))
        return QStringLiteral(" DEFAULT ") + value;
    if (value.size() >= 2 && value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\''))) {
        bool ok = false;
        const QStringList values = DesignValueList(value, &ok);
        if (ok && values.size() == 1)
            return QStringLiteral(" DEFAULT ") + SqlTextLiteral(values.first(), syntax.noBackslashEscapes);
    }
    return QStringLiteral(" DEFAULT ") + SqlTextLiteral(text, syntax.noBackslashEscapes);
}

bool checkDesign(const TableDesign &design, QString *error)
{
    if (design.name.trimmed().isEmpty())
        return fail(error, QStringLiteral("The table needs a name")), false;
    if (design.columns.isEmpty())
        return fail(error, QStringLiteral("The table needs at least one column")), false;
    QSet<QString> names;
    for (const TableColumnDesign &column : design.columns) {
        const QString key = column.name.toLower();
        if (names.contains(key))
            return fail(error, QStringLiteral("Column %1 is there twice").arg(column.name)), false;
        names.insert(key);
    }
    for (const QString *option : {&design.engine, &design.charset, &design.collation}) {
        if (!option->isEmpty() && !isOptionName(*option))
            return fail(error, QStringLiteral("\"%1\" is not a valid table option").arg(*option)), false;
    }
    return true;
}

QString keyColumns(const QStringList &names)
{
    QStringList quoted;
    for (const QString &name : names)
        quoted.append(QuoteIdentifier(name));
    return quoted.join(QStringLiteral(", "));
}

QStringList primaryKeyOf(const TableDesign &design)
{
    QStringList names;
    for (const TableColumnDesign &column : design.columns) {
        if (column.primaryKey)
            names.append(column.name);
    }
    return names;
}

// Names of the longest run of columns that keep their relative order
// between the two lists: those need no position clause.
QSet<QString> unmovedColumns(const QStringList &before, const QStringList &after)
{
    const int n = int(before.size());
    const int m = int(after.size());
    std::vector<std::vector<int>> lcs(size_t(n + 1), std::vector<int>(size_t(m + 1), 0));
    for (int i = n - 1; i >= 0; --i) {
        for (int j = m - 1; j >= 0; --j) {
            lcs[size_t(i)][size_t(j)] = before.at(i) == after.at(j)
                ? lcs[size_t(i + 1)][size_t(j + 1)] + 1
                : std::max(lcs[size_t(i + 1)][size_t(j)], lcs[size_t(i)][size_t(j + 1)]);
        }
    }
    QSet<QString> kept;
    int i = 0;
    int j = 0;
    while (i < n && j < m) {
        if (before.at(i) == after.at(j)) {
            kept.insert(before.at(i));
            ++i;
            ++j;
        } else if (lcs[size_t(i + 1)][size_t(j)] >= lcs[size_t(i)][size_t(j + 1)]) {
            ++i;
        } else {
            ++j;
        }
    }
    return kept;
}

} // namespace

QString ColumnDefinition(const TableColumnDesign &column, const SqlSyntax &syntax, QString *error)
{
    if (column.name.trimmed().isEmpty())
        return fail(error, QStringLiteral("A column has no name"));
    const QString type = typeClause(column, syntax, error);
    if (type.isEmpty())
        return QString();
    QString definition = QuoteIdentifier(column.name) + QLatin1Char(' ') + type;
    const QString baseType = column.type.simplified().section(QLatin1Char(' '), 0, 0);
    if (!column.collation.isEmpty() && isTextType(baseType)) {
        if (!isOptionName(column.collation))
            return fail(error, QStringLiteral("Column %1: \"%2\" is not a collation").arg(column.name, column.collation));
        definition += QStringLiteral(" COLLATE ") + column.collation;
    }
    if (column.isGenerated()) {
        // A generated column takes neither NULL nor a default.
        definition += QStringLiteral(" AS (") + column.generatedExpression + QStringLiteral(") ")
            + (column.generatedKind.isEmpty() ? QStringLiteral("VIRTUAL") : column.generatedKind);
    } else {
        definition += column.nullable ? QStringLiteral(" NULL") : QStringLiteral(" NOT NULL");
        definition += defaultClause(column.defaultValue, syntax);
        if (column.autoIncrement)
            definition += QStringLiteral(" AUTO_INCREMENT");
    }
    if (!column.extra.isEmpty())
        definition += QLatin1Char(' ') + column.extra;
    if (!column.comment.isEmpty())
        definition += QStringLiteral(" COMMENT ") + SqlTextLiteral(column.comment, syntax.noBackslashEscapes);
    return definition;
}

QString CreateTableStatement(const TableDesign &design, const SqlSyntax &syntax, QString *error)
{
    if (!checkDesign(design, error))
        return QString();
    QStringList lines;
    for (const TableColumnDesign &column : design.columns) {
        const QString definition = ColumnDefinition(column, syntax, error);
        if (definition.isEmpty())
            return QString();
        lines.append(definition);
    }
    const QStringList key = primaryKeyOf(design);
    if (!key.isEmpty())
        lines.append(QStringLiteral("PRIMARY KEY (") + keyColumns(key) + QLatin1Char(')'));
    QString statement = QStringLiteral("CREATE TABLE ") + QuoteIdentifier(design.name) + QStringLiteral(" (\n  ")
        + lines.join(QStringLiteral(",\n  ")) + QStringLiteral("\n)");
    if (!design.engine.isEmpty())
        statement += QStringLiteral(" ENGINE=") + design.engine;
    if (!design.charset.isEmpty())
        statement += QStringLiteral(" DEFAULT CHARSET=") + design.charset;
    if (!design.collation.isEmpty())
        statement += QStringLiteral(" COLLATE=") + design.collation;
    if (!design.comment.isEmpty())
        statement += QStringLiteral(" COMMENT=") + SqlTextLiteral(design.comment, syntax.noBackslashEscapes);
    return statement;
}

QString AlterTableStatement(const TableDesign &before, const TableDesign &after, const SqlSyntax &syntax,
                            QString *error)
{
    if (!checkDesign(after, error))
        return QString();
    QStringList clauses;

    // Columns the new version no longer has.
    QSet<QString> kept;
    for (const TableColumnDesign &column : after.columns) {
        if (!column.originalName.isEmpty())
            kept.insert(column.originalName);
    }
    QStringList oldOrder;
    for (const TableColumnDesign &column : before.columns) {
        if (kept.contains(column.name))
            oldOrder.append(column.name);
        else
            clauses.append(QStringLiteral("DROP COLUMN ") + QuoteIdentifier(column.name));
    }

    // Columns keep their place unless the longest run of columns that stay
    // in order leaves them out; those and new columns are placed explicitly,
    // in the new order, each after the column it follows.
    QStringList newOrder;
    for (const TableColumnDesign &column : after.columns) {
        if (!column.originalName.isEmpty())
            newOrder.append(column.originalName);
    }
    const QSet<QString> unmoved = unmovedColumns(oldOrder, newOrder);
    // New columns at the very end go there without a position.
    int trailingNew = int(after.columns.size());
    while (trailingNew > 0 && after.columns.at(trailingNew - 1).originalName.isEmpty())
        --trailingNew;

    QHash<QString, const TableColumnDesign *> beforeByName;
    for (const TableColumnDesign &column : before.columns)
        beforeByName.insert(column.name, &column);

    for (int i = 0; i < after.columns.size(); ++i) {
        const TableColumnDesign &column = after.columns.at(i);
        const QString definition = ColumnDefinition(column, syntax, error);
        if (definition.isEmpty())
            return QString();
        const QString position = i == 0 ? QStringLiteral(" FIRST")
                                        : QStringLiteral(" AFTER ") + QuoteIdentifier(after.columns.at(i - 1).name);
        if (column.originalName.isEmpty()) {
            clauses.append(QStringLiteral("ADD COLUMN ") + definition + (i >= trailingNew ? QString() : position));
            continue;
        }
        const TableColumnDesign *old = beforeByName.value(column.originalName);
        if (!old)
            return fail(error, QStringLiteral("Column %1 is not in the table").arg(column.originalName));
        const bool moved = !unmoved.contains(column.originalName);
        const bool renamed = column.name != old->name;
        const bool changed = renamed || definition != ColumnDefinition(*old, syntax);
        if (!changed && !moved)
            continue;
        if (renamed)
            clauses.append(QStringLiteral("CHANGE COLUMN ") + QuoteIdentifier(old->name) + QLatin1Char(' ') + definition
                           + (moved ? position : QString()));
        else
            clauses.append(QStringLiteral("MODIFY COLUMN ") + definition + (moved ? position : QString()));
    }

    // The primary key changes only when its set of columns does.
    QStringList oldKey = before.primaryKeyOrder;
    if (oldKey.isEmpty())
        oldKey = primaryKeyOf(before);
    QSet<QString> oldKeySet(oldKey.begin(), oldKey.end());
    QSet<QString> newKeySet;
    bool keyHasNewColumn = false;
    for (const TableColumnDesign &column : after.columns) {
        if (!column.primaryKey)
            continue;
        if (column.originalName.isEmpty())
            keyHasNewColumn = true;
        else
            newKeySet.insert(column.originalName);
    }
    if (keyHasNewColumn || newKeySet != oldKeySet) {
        if (!oldKey.isEmpty())
            clauses.append(QStringLiteral("DROP PRIMARY KEY"));
        const QStringList newKey = primaryKeyOf(after);
        if (!newKey.isEmpty())
            clauses.append(QStringLiteral("ADD PRIMARY KEY (") + keyColumns(newKey) + QLatin1Char(')'));
    }

    if (after.engine.compare(before.engine, Qt::CaseInsensitive) != 0 && !after.engine.isEmpty())
        clauses.append(QStringLiteral("ENGINE=") + after.engine);
    const bool charsetChanged = after.charset.compare(before.charset, Qt::CaseInsensitive) != 0;
    const bool collationChanged = after.collation.compare(before.collation, Qt::CaseInsensitive) != 0;
    if ((charsetChanged || collationChanged) && (!after.charset.isEmpty() || !after.collation.isEmpty())) {
        // The table's default only: existing columns keep their character set.
        QString option;
        if (!after.charset.isEmpty())
            option = QStringLiteral("DEFAULT CHARSET=") + after.charset;
        if (!after.collation.isEmpty())
            option += (option.isEmpty() ? QString() : QStringLiteral(" ")) + QStringLiteral("COLLATE=") + after.collation;
        clauses.append(option);
    }
    if (after.comment != before.comment)
        clauses.append(QStringLiteral("COMMENT=") + SqlTextLiteral(after.comment, syntax.noBackslashEscapes));
    if (after.name != before.name)
        clauses.append(QStringLiteral("RENAME TO ") + QuoteIdentifier(after.name));

    if (clauses.isEmpty())
        return QString();
    return QStringLiteral("ALTER TABLE ") + QuoteIdentifier(before.name) + QStringLiteral("\n  ")
        + clauses.join(QStringLiteral(",\n  "));
}

void SplitColumnType(const QString &columnType, QString *type, QString *length)
{
    const int open = int(columnType.indexOf(QLatin1Char('(')));
    const int close = int(columnType.lastIndexOf(QLatin1Char(')')));
    if (open < 0 || close < open) {
        *type = columnType.simplified();
        length->clear();
        return;
    }
    *length = columnType.mid(open + 1, close - open - 1);
    *type = (columnType.left(open) + QLatin1Char(' ') + columnType.mid(close + 1)).simplified();
}

QString DesignDefaultFromServer(const QString &columnDefault, bool isNull)
{
    if (isNull)
        return QString();
    if (columnDefault == QLatin1String("NULL") || columnDefault.startsWith(QLatin1Char('\'')))
        return columnDefault;
    static const QRegularExpression number(QStringLiteral("^-?\\d+(\\.\\d+)?([eE][-+]?\\d+)?$"));
    static const QRegularExpression now(
        QStringLiteral("^(CURRENT_TIMESTAMP|NOW|LOCALTIME|LOCALTIMESTAMP)(\\(\\s*\\d*\\s*\\))?$"),
        QRegularExpression::CaseInsensitiveOption);
    if (number.match(columnDefault).hasMatch() || now.match(columnDefault).hasMatch())
        return columnDefault;
    return QLatin1Char('(') + columnDefault + QLatin1Char(')');
}

QStringList DesignValueList(const QString &text, bool *ok)
{
    if (ok)
        *ok = true;
    const QString trimmed = text.trimmed();
    QStringList values;
    if (trimmed.isEmpty())
        return values;
    if (!trimmed.startsWith(QLatin1Char('\''))) {
        // Plain words separated by commas.
        for (const QString &value : trimmed.split(QLatin1Char(',')))
            values.append(value.trimmed());
        return values;
    }
    // Quoted values as the server writes them: '' and backslash escapes.
    int i = 0;
    const int n = int(trimmed.size());
    while (i < n) {
        if (trimmed.at(i) != QLatin1Char('\''))
            break;
        ++i;
        QString value;
        bool closed = false;
        while (i < n) {
            const QChar c = trimmed.at(i);
            if (c == QLatin1Char('\'')) {
                if (i + 1 < n && trimmed.at(i + 1) == QLatin1Char('\'')) {
                    value += QLatin1Char('\'');
                    i += 2;
                    continue;
                }
                ++i;
                closed = true;
                break;
            }
            if (c == QLatin1Char('\\') && i + 1 < n) {
                const QChar next = trimmed.at(i + 1);
                switch (next.unicode()) {
                case 'n': value += QLatin1Char('\n'); break;
                case 't': value += QLatin1Char('\t'); break;
                case 'r': value += QLatin1Char('\r'); break;
                case '0': value += QChar(0); break;
                case 'Z': value += QChar(26); break;
                default: value += next; break;
                }
                i += 2;
                continue;
            }
            value += c;
            ++i;
        }
        if (!closed)
            break;
        values.append(value);
        while (i < n && trimmed.at(i).isSpace())
            ++i;
        if (i == n) {
            return values;
        }
        if (trimmed.at(i) != QLatin1Char(','))
            break;
        ++i;
        while (i < n && trimmed.at(i).isSpace())
            ++i;
    }
    if (ok)
        *ok = false;
    return values;
}

QStringList DesignColumnTypes()
{
    return {
        QStringLiteral("INT"),        QStringLiteral("TINYINT"),   QStringLiteral("SMALLINT"),
        QStringLiteral("MEDIUMINT"),  QStringLiteral("BIGINT"),    QStringLiteral("INT UNSIGNED"),
        QStringLiteral("BIGINT UNSIGNED"), QStringLiteral("DECIMAL"), QStringLiteral("FLOAT"),
        QStringLiteral("DOUBLE"),     QStringLiteral("BIT"),       QStringLiteral("CHAR"),
        QStringLiteral("VARCHAR"),    QStringLiteral("TINYTEXT"),  QStringLiteral("TEXT"),
        QStringLiteral("MEDIUMTEXT"), QStringLiteral("LONGTEXT"),  QStringLiteral("BINARY"),
        QStringLiteral("VARBINARY"),  QStringLiteral("TINYBLOB"),  QStringLiteral("BLOB"),
        QStringLiteral("MEDIUMBLOB"), QStringLiteral("LONGBLOB"),  QStringLiteral("DATE"),
        QStringLiteral("TIME"),       QStringLiteral("DATETIME"),  QStringLiteral("TIMESTAMP"),
        QStringLiteral("YEAR"),       QStringLiteral("ENUM"),      QStringLiteral("SET"),
        QStringLiteral("JSON"),
    };
}

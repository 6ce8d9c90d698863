// What the table designer reads from the server (a table's definition, the
// engines and character sets on offer) and the run of its statement.

#include "data/tdmstd.h"

#include "client/mySQLClient.h"
#include "data/sqlnames.h"
#include "data/tabledesign.h"

namespace {

QString taskName(const QString &statement)
{
    return QStringLiteral("Query: ") + statement;
}

// "x = 'schema' AND y = 'table'" for the information_schema reads.
QString tableCondition(const QString &database, const QString &table)
{
    return QStringLiteral("TABLE_SCHEMA = ") + SqlStringLiteral(database) + QStringLiteral(" AND TABLE_NAME = ")
        + SqlStringLiteral(table);
}

// Takes a word out of the server's Extra text; whether it was there.
bool takeExtra(QString *extra, const QString &word)
{
    const int at = int(extra->indexOf(word, 0, Qt::CaseInsensitive));
    if (at < 0)
        return false;
    extra->remove(at, word.size());
    *extra = extra->simplified();
    return true;
}

} // namespace

void TDMstd::LoadDesignChoices(const QString &database, std::function<void(const TableDesignChoices &)> loaded)
{
    auto choices = std::make_shared<TableDesignChoices>();
    auto onError = [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); };
    // Each read fills what it can; a refused one leaves its lists empty and
    // the dialog takes typed names instead.
    const QString schema = QStringLiteral(
                               "SELECT DEFAULT_CHARACTER_SET_NAME, DEFAULT_COLLATION_NAME FROM information_schema.SCHEMATA "
                               "WHERE SCHEMA_NAME = ")
        + SqlStringLiteral(database);
    const auto finish = [this, choices, loaded, schema, onError] {
        submit(schema, taskName(schema),
               [onError, choices, loaded](QObject *sender, const QString &message) {
                   onError(sender, message);
                   loaded(*choices);
               },
               [this, choices, loaded](QObject *) {
                   const TmySQLClientQuery *query = m_client->Query();
                   choices->databaseCharset = query->Value(0, 0);
                   choices->databaseCollation = query->Value(0, 1);
                   loaded(*choices);
               });
    };
    const auto collations = [this, choices, onError, finish] {
        const QString statement = QStringLiteral("SHOW COLLATION");
        submit(statement, taskName(statement),
               [onError, finish](QObject *sender, const QString &message) {
                   onError(sender, message);
                   finish();
               },
               [this, choices, finish](QObject *) {
                   const TmySQLClientQuery *query = m_client->Query();
                   const int name = query->FieldIndex(QStringLiteral("Collation"));
                   const int charset = query->FieldIndex(QStringLiteral("Charset"));
                   const int isDefault = query->FieldIndex(QStringLiteral("Default"));
                   for (int row = 0; row < query->RowCount(); ++row) {
                       const QString set = query->Value(row, charset);
                       if (set.isEmpty())
                           continue; // MariaDB lists some collations for several character sets
                       if (!choices->collations.contains(set))
                           choices->charsets.append(set);
                       choices->collations[set].append(query->Value(row, name));
                       if (query->Value(row, isDefault) == QLatin1String("Yes"))
                           choices->defaultCollations.insert(set, query->Value(row, name));
                   }
                   choices->charsets.sort();
                   for (QStringList &list : choices->collations)
                       list.sort();
                   finish();
               });
    };
    const auto engines = [this, choices, onError, collations] {
        const QString statement = QStringLiteral("SHOW ENGINES");
        submit(statement, taskName(statement),
               [onError, collations](QObject *sender, const QString &message) {
                   onError(sender, message);
                   collations();
               },
               [this, choices, collations](QObject *) {
                   const TmySQLClientQuery *query = m_client->Query();
                   const int name = query->FieldIndex(QStringLiteral("Engine"));
                   const int support = query->FieldIndex(QStringLiteral("Support"));
                   for (int row = 0; row < query->RowCount(); ++row) {
                       const QString state = query->Value(row, support);
                       if (state == QLatin1String("DEFAULT"))
                           choices->defaultEngine = query->Value(row, name);
                       if (state == QLatin1String("YES") || state == QLatin1String("DEFAULT"))
                           choices->engines.append(query->Value(row, name));
                   }
                   collations();
               });
    };
    // Without the mode the designer assumes backslashes escape, the default.
    readNoBackslashEscapes(
        [choices, engines](bool noBackslashEscapes) {
            choices->syntax.noBackslashEscapes = noBackslashEscapes;
            engines();
        },
        engines);
}

void TDMstd::LoadTableDesign(const QString &table, const QString &database,
                             std::function<void(const TableDesign &)> loaded)
{
    auto design = std::make_shared<TableDesign>();
    design->name = table;
    const auto onError = [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); };

    const auto primaryKey = [this, design, loaded, table, database, onError] {
        const QString statement = QStringLiteral("SHOW INDEX FROM ") + QuoteIdentifier(database) + QLatin1Char('.')
            + QuoteIdentifier(table);
        submit(statement, taskName(statement), onError, [this, design, loaded](QObject *) {
            const TmySQLClientQuery *query = m_client->Query();
            const int key = query->FieldIndex(QStringLiteral("Key_name"));
            const int column = query->FieldIndex(QStringLiteral("Column_name"));
            // Rows come in key order, and within a key by sequence.
            for (int row = 0; row < query->RowCount(); ++row) {
                if (query->Value(row, key) == QLatin1String("PRIMARY"))
                    design->primaryKeyOrder.append(query->Value(row, column));
            }
            for (TableColumnDesign &c : design->columns)
                c.primaryKey = design->primaryKeyOrder.contains(c.name);
            loaded(*design);
        });
    };
    const auto options = [this, design, table, database, onError, primaryKey] {
        const QString statement =
            QStringLiteral("SELECT ENGINE, TABLE_COLLATION, TABLE_COMMENT FROM information_schema.TABLES WHERE ")
            + tableCondition(database, table);
        submit(statement, taskName(statement), onError, [this, design, primaryKey](QObject *) {
            const TmySQLClientQuery *query = m_client->Query();
            design->engine = query->ValueByName(0, QStringLiteral("ENGINE"));
            design->collation = query->ValueByName(0, QStringLiteral("TABLE_COLLATION"));
            design->charset = design->collation.section(QLatin1Char('_'), 0, 0);
            design->comment = query->ValueByName(0, QStringLiteral("TABLE_COMMENT"));
            primaryKey();
        });
    };
    const QString statement =
        QStringLiteral("SELECT COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, COLUMN_DEFAULT, EXTRA, COLLATION_NAME, "
                       "COLUMN_COMMENT, GENERATION_EXPRESSION FROM information_schema.COLUMNS WHERE ")
        + tableCondition(database, table) + QStringLiteral(" ORDER BY ORDINAL_POSITION");
    submit(statement, taskName(statement), onError, [this, design, table, options](QObject *) {
        const TmySQLClientQuery *query = m_client->Query();
        if (query->RowCount() == 0) {
            log(QStringLiteral("The table %1 was not found").arg(table));
            return;
        }
        const auto value = [query](int row, const char *name) {
            return query->ValueByName(row, QLatin1String(name));
        };
        const int defaultColumn = query->FieldIndex(QStringLiteral("COLUMN_DEFAULT"));
        for (int row = 0; row < query->RowCount(); ++row) {
            TableColumnDesign column;
            column.name = value(row, "COLUMN_NAME");
            column.originalName = column.name;
            SplitColumnType(value(row, "COLUMN_TYPE"), &column.type, &column.length);
            column.nullable = value(row, "IS_NULLABLE") == QLatin1String("YES");
            column.defaultValue = DesignDefaultFromServer(query->Value(row, defaultColumn),
                                                          query->RawValue(row, defaultColumn) == nullptr);
            column.collation = value(row, "COLLATION_NAME");
            column.comment = value(row, "COLUMN_COMMENT");
            QString extra = value(row, "EXTRA");
            column.autoIncrement = takeExtra(&extra, QStringLiteral("auto_increment"));
            if (takeExtra(&extra, QStringLiteral("VIRTUAL GENERATED")))
                column.generatedKind = QStringLiteral("VIRTUAL");
            else if (takeExtra(&extra, QStringLiteral("STORED GENERATED"))
                     || takeExtra(&extra, QStringLiteral("PERSISTENT GENERATED")))
                column.generatedKind = QStringLiteral("PERSISTENT");
            takeExtra(&extra, QStringLiteral("DEFAULT_GENERATED"));
            column.extra = extra;
            if (!column.generatedKind.isEmpty()) {
                column.generatedExpression = value(row, "GENERATION_EXPRESSION");
                column.defaultValue.clear();
            }
            design->columns.append(column);
        }
        options();
    });
}

void TDMstd::RunTableDesign(const QString &statement, const QString &database, StatementDone done)
{
    UseDatabase(
        database,
        [this, statement, database, done] {
            RunStatement(statement, [this, database, done](const TmySQLClientOutcome &outcome) {
                if (done)
                    done(outcome);
                if (!outcome.Failed)
                    ListTablesWithStatus(database);
            });
        },
        [done] {
            if (!done)
                return;
            TmySQLClientOutcome outcome;
            outcome.Failed = true;
            outcome.ErrorText = QStringLiteral("The database cannot be used: see the message log");
            done(outcome);
        });
}

#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The table designer's model: a table as a list of columns with a few table
// options, and the statements that create it or turn one version of it into
// another. Composed here, without widgets, so every statement is tested
// against the server.

// One column as the designer edits it.
struct TableColumnDesign
{
    QString name;
    QString type;         // "INT", "VARCHAR", "INT UNSIGNED"
    QString length;       // "11", "10,2", or the values of ENUM/SET: 'a','b'
    bool nullable = true;
    // "" no default, "NULL", 'quoted text', (expression), CURRENT_TIMESTAMP,
    // or any other text, which is taken as a text value.
    QString defaultValue;
    bool autoIncrement = false;
    bool primaryKey = false;

    // Kept from the server's definition, so that changing a column keeps
    // what the grid does not show.
    QString originalName; // empty: a column the table does not have yet
    QString collation;
    QString comment;
    QString extra;               // "on update current_timestamp()", "INVISIBLE"
    QString generatedExpression; // a generated column's expression
    QString generatedKind;       // "VIRTUAL" or "PERSISTENT"

    bool isGenerated() const { return !generatedExpression.isEmpty(); }
};

struct TableDesign
{
    QString name;
    QList<TableColumnDesign> columns;
    // The primary key's columns in key order as the table has them (the
    // grid only says which columns belong to it).
    QStringList primaryKeyOrder;
    QString engine;
    QString charset;
    QString collation;
    QString comment;
};

// How text values are written: with NO_BACKSLASH_ESCAPES a backslash is an
// ordinary character, otherwise it has to be doubled.
struct SqlSyntax
{
    bool noBackslashEscapes = false;
};

// What the server offers the designer's table options, and how it reads
// text values.
struct TableDesignChoices
{
    QStringList engines;
    QString defaultEngine;
    QStringList charsets;
    QHash<QString, QStringList> collations;       // by character set
    QHash<QString, QString> defaultCollations;    // by character set
    QString databaseCharset;
    QString databaseCollation;
    SqlSyntax syntax;
};

// "name TYPE(length) ... "; empty with *error set when the column cannot be
// written (no name, a type or length the designer does not accept).
QString ColumnDefinition(const TableColumnDesign &column, const SqlSyntax &syntax, QString *error = nullptr);

// CREATE TABLE of the design; empty with *error when it cannot be written.
QString CreateTableStatement(const TableDesign &design, const SqlSyntax &syntax, QString *error = nullptr);

// One ALTER TABLE with exactly the changes from before to after (columns are
// matched by their originalName); empty without changes or with *error set.
QString AlterTableStatement(const TableDesign &before, const TableDesign &after, const SqlSyntax &syntax,
                            QString *error = nullptr);

// "int(10) unsigned" gives "int unsigned" and "10"; "enum('a','b')" gives
// "enum" and "'a','b'".
void SplitColumnType(const QString &columnType, QString *type, QString *length);

// The designer's default text for a column default as information_schema
// reports it (isNull: the column has no default).
QString DesignDefaultFromServer(const QString &columnDefault, bool isNull);

// The values of an ENUM/SET length text: 'a','it''s' or a,b.
QStringList DesignValueList(const QString &text, bool *ok = nullptr);

// The column types the designer offers.
QStringList DesignColumnTypes();

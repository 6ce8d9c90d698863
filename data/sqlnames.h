#pragma once

#include <QString>

// Names typed by users reach statements as identifiers and LIKE patterns.
// Plain names stay exactly as typed, so the statements read as before; names
// with blanks, dashes, backticks or reserved words are quoted so they open.

// The name as an identifier: unchanged when it is a plain identifier that is
// not a reserved word, otherwise between backticks with inner backticks doubled.
QString QuoteIdentifier(const QString &name);

// Whether a name can stand in a statement without backticks.
bool IsPlainIdentifier(const QString &name);

// A string literal that reads back as exactly this text in every SQL mode:
// single quotes doubled, and the characters whose reading depends on the
// mode (backslash) or that the server does not take inside a literal (the
// zero byte) spliced in as CHAR(n USING utf8mb4) pieces. With ANSI_QUOTES a
// double-quoted literal would be a name, so only single quotes are used.
QString SqlStringLiteral(const QString &value);

// A plain single-quoted literal, for the places that take no expression
// (COMMENT, ENUM values, DEFAULT): whether backslashes are doubled depends on
// the session's NO_BACKSLASH_ESCAPES, which the caller has to know.
QString SqlTextLiteral(const QString &value, bool noBackslashEscapes);

// The table name of a tree node text: "orders  ( 12 )" gives "orders" and a
// bare "order items" stays whole (names may contain blanks).
QString TableNameFromNodeText(const QString &nodeText);

// The text a table node carries: name, two blanks, "( ", row count, " )".
QString TableNodeText(const QString &table, const QString &rows);

// The database a USE statement makes current ("USE shop", "use `my db`",
// comments around it); false for any other statement.
bool UsedDatabase(const QString &statement, QString *database);

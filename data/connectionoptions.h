#pragma once

#include <QString>
#include <QStringList>

// The SET options of the program's connection that the "Database Options"
// commands offer: what the input dialog shows and the variable to set.
struct ConnectionOption
{
    const char *action;   // "dbopt_incl"
    const char *variable; // the name the command shows: "SQL_BIG_TABLES"
    const char *caption;  // the dialog's caption, which shows the syntax
    const char *prompt;
    const char *help;
    // Names current servers know the variable by, tried when the server does
    // not know the first one ("BIG_TABLES" for "SQL_BIG_TABLES").
    const char *successors;
};

// The eleven options in menu order.
const ConnectionOption *connectionOptions(int *count);
const ConnectionOption *connectionOption(const QString &action);

// The names to look for on the server, the shown one first.
QStringList ConnectionOptionNames(const ConnectionOption &option);

#pragma once

#include "output/sqltextlayout.h"

class SqlEditor;

// A snapshot of the editor's text for printing: its lines as a user counts
// them, its tab width, and (withColours) the syntax colours of every run.
SqlPrintText sqlPrintText(SqlEditor *editor, const QString &title, bool withColours);

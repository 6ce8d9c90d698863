#include "editor/sqleditor.h"

#include <Qsci/qscilexersql.h>

SqlEditor::SqlEditor(QWidget *parent)
    : QsciScintilla(parent)
{
    setObjectName(QStringLiteral("SyntaxMemo"));
    setLexer(new QsciLexerSQL(this));
}

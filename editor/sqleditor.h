#pragma once

#include <Qsci/qsciscintilla.h>

// The SQL editor `SyntaxMemo`: QScintilla with the SQL lexer.
class SqlEditor : public QsciScintilla
{
    Q_OBJECT

public:
    explicit SqlEditor(QWidget *parent = nullptr);
};

#pragma once

#include <Qsci/qsciabstractapis.h>

#include <functional>

class CompletionNames;
class QsciScintilla;

// What the editor offers as the user types (QScintilla's auto-completion):
// after "name." the columns of that table of the database in use, or the
// tables of that database; after "db.table." that table's columns;
// otherwise keywords, functions, databases, and the tables and columns of
// the database in use, each starting with what has been typed.
class SqlCompletion : public QsciAbstractAPIs
{
    Q_OBJECT

public:
    // database tells which database the next run uses (the names to offer).
    SqlCompletion(QsciScintilla *editor, CompletionNames *names, std::function<QString()> database);

    // The offers for the text before the caret, sorted, each once; names not
    // yet read are asked for.
    static QStringList offers(const QString &textBeforeCaret, CompletionNames *names, const QString &database);

    void updateAutoCompletionList(const QStringList &context, QStringList &list) override;
    QStringList callTips(const QStringList &context, int commas, QsciScintilla::CallTipsStyle style,
                         QList<int> &shifts) override;

private:
    QString textBeforeCaret() const;
    bool inTextOrComment() const;

    QsciScintilla *m_editor;
    CompletionNames *m_names;
    std::function<QString()> m_database;
};

// Turns completion on in an editor (its lexer takes the offers).
void EnableCompletion(QsciScintilla *editor, CompletionNames *names, std::function<QString()> database);

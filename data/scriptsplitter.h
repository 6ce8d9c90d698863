#pragma once

#include <QString>

// One statement of a script: its text, and where its first character stands
// in the script (offset from 0, line from 1).
struct ScriptStatement
{
    QString text;
    int offset = 0;
    int line = 1;
};

// Cuts a script into statements in one pass over the text. Statements end at
// the delimiter (";" unless a `DELIMITER xx` line of the command-line client
// changed it) outside quotes and comments, and at the end of the text. A
// DELIMITER line counts only where no statement is open. Each
// statement loses its leading and trailing blanks, control characters and
// comments; pieces with nothing else are skipped. Executable comments
// ("/*! ... */") count as statement text.
class ScriptSplitter
{
public:
    explicit ScriptSplitter(const QString &script);

    // The next statement; false when the script has no more.
    bool next(ScriptStatement *statement);

    // The delimiter in force at the current position.
    QString delimiter() const { return m_delimiter; }

private:
    // At a line start in plain text: whether the line is a DELIMITER
    // command; if so, its new delimiter and where the line's text ends.
    bool delimiterLineAt(qsizetype pos, QString *delimiter, qsizetype *lineEnd) const;
    void advanceLineBreak();

    QString m_script;
    QString m_delimiter = QStringLiteral(";");
    qsizetype m_pos = 0;
    int m_line = 1;
};

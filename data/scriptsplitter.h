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
    // delimiter: the one in force at the script's start (a piece of a longer
    // text starts with the delimiter in force where it stands).
    explicit ScriptSplitter(const QString &script, const QString &delimiter = QStringLiteral(";"));
    // A piece of a longer text read part by part: it starts at `from` of
    // `script` (the characters before it only tell whether `from` is at a
    // line start), on line `line`.
    ScriptSplitter(const QString &script, const QString &delimiter, qsizetype from, int line);

    // The next statement; false when the script has no more.
    bool next(ScriptStatement *statement);

    // More text follows the script: a statement that reaches the end of
    // the text is not complete yet. next() then returns false and stays
    // where that statement starts, with the delimiter in force there.
    void setMoreFollows(bool more) { m_moreFollows = more; }
    // The line the splitter stands on.
    int line() const { return m_line; }

    // The delimiter in force at the current position.
    QString delimiter() const { return m_delimiter; }
    // Where the splitter stands: after the delimiter that ended the last
    // statement, or at the end of the script.
    int position() const { return int(m_pos); }

private:
    // At a line start in plain text: whether the line is a DELIMITER
    // command; if so, its new delimiter and where the line's text ends.
    bool delimiterLineAt(qsizetype pos, QString *delimiter, qsizetype *lineEnd) const;
    void advanceLineBreak();

    QString m_script;
    QString m_delimiter = QStringLiteral(";");
    qsizetype m_pos = 0;
    int m_line = 1;
    bool m_moreFollows = false;
};

// The delimiter in force at a position of a script: ";" unless a DELIMITER
// line before it changed it.
QString DelimiterAt(const QString &script, int position);

// The statement a caret at `position` of the script stands in: the one whose
// text or delimiter holds it, or whose line it ends (blanks and a line comment
// after the delimiter belong to it); else the last one before the caret; else
// the first one. *delimiter gets the delimiter that ends it. False when the
// script holds no statement.
bool StatementAt(const QString &script, int position, ScriptStatement *statement, QString *delimiter);

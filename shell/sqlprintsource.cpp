#include "shell/sqlprintsource.h"

#include "editor/sqleditor.h"

#include <Qsci/qscilexer.h>

SqlPrintText sqlPrintText(SqlEditor *editor, const QString &title, bool withColours)
{
    SqlPrintText text;
    text.title = title;
    text.tabWidth = editor->tabWidth();
    const int lines = editor->textLineCount();
    QsciLexer *lexer = editor->lexer();
    if (withColours && lexer) {
        // Text never shown on screen may not be styled yet.
        const long length = editor->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
        const long styled = editor->SendScintilla(QsciScintillaBase::SCI_GETENDSTYLED);
        if (styled < length)
            editor->SendScintilla(QsciScintillaBase::SCI_COLOURISE, styled, length);
    }
    text.lines.reserve(lines);
    for (int line = 0; line < lines; ++line) {
        const int start = int(editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line));
        const int end = int(editor->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, line));
        text.lines.append(editor->text(start, end));
        if (!withColours || !lexer)
            continue;
        // One run per style; a character's bytes share one style.
        std::vector<SqlColourRun> runs;
        for (int position = start; position < end;) {
            const int style = int(editor->SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, position));
            int runEnd = position + 1;
            while (runEnd < end && editor->SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, runEnd) == style)
                ++runEnd;
            runs.push_back({int(editor->text(position, runEnd).size()), lexer->color(style)});
            position = runEnd;
        }
        text.colours.push_back(std::move(runs));
    }
    return text;
}

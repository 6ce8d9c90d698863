#pragma once

#include <QString>

// What the script runner needs of the SQL editor: its text, and pointing the
// user at the place a server error names. The editor widget implements it;
// tests can implement it without a window.
class ScriptEditor
{
public:
    virtual ~ScriptEditor() = default;

    virtual QString scriptText() const = 0;
    // Caret to line 1, column 1, then a silent forward search for fragment
    // (not case-sensitive, plain text); a match is selected. Returns whether
    // one was found.
    virtual bool selectFirstMatch(const QString &fragment) = 0;
    // Adds the error mark to the caret's line, or removes it when it has one.
    virtual void toggleErrorMarkAtCaretLine() = 0;
};

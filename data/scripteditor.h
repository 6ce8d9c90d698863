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
    // Points at the fragment of a server error in the statement that failed,
    // which stands at [from, to) of scriptText(): the first match inside that
    // range is selected (silently, not case-sensitive, plain text); when the
    // range has none, the first match in the whole text. An empty fragment
    // names nothing: the statement itself is selected, the caret at its
    // start. Returns whether something was selected.
    virtual bool selectErrorFragment(const QString &fragment, int from, int to) = 0;
    // Adds the error mark to the caret's line, or removes it when it has one.
    virtual void toggleErrorMarkAtCaretLine() = 0;
};

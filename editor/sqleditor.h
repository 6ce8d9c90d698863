#pragma once

#include <Qsci/qsciscintilla.h>

#include <array>

class QMenu;
class QsciLexerSQL;

// The SQL editor `SyntaxMemo`: QScintilla with the SQL lexer, the program's
// initial settings, and the editing services the program lays over it:
// grouped undo, case conversion of a to z, indenting of the selected lines,
// ten bookmarks and the error mark (a line in white text on red).
class SqlEditor : public QsciScintilla
{
    Q_OBJECT

public:
    // Scintilla numbers markers 0..31 (25..31 belong to folding): bookmarks
    // take 0..9 and show their digit in the symbol margin; the error mark is
    // a line-background marker that no margin shows.
    enum : int {
        BookmarkCount = 10,
        ErrorMarker = 11,
        ErrorTextIndicator = 8,
        LineNumberMargin = 0,
        BookmarkMargin = 1,
    };

    explicit SqlEditor(QWidget *parent = nullptr);

    // Status bar texts: caret line and column from 1 as "%6d:%4d", and the
    // mode " Read only", " Insert" or " Overwrite".
    QString caretText() const;
    QString modeText() const;
    // Whether a paste would insert anything: the text is editable and the
    // clipboard holds text.
    bool canPaste() const;

    // Grouped undo on: one undo takes back a run of adjacent typing of one
    // kind. Off: every key press is a step of its own.
    void setGroupedUndo(bool on) { m_groupedUndo = on; }
    bool groupedUndo() const { return m_groupedUndo; }

    // Letters a to z only; every other character keeps its case.
    static QString asciiUpper(const QString &text);
    static QString asciiLower(const QString &text);
    void convertSelectionCase(bool upper);

    // The lines touched by the selection (or the caret's line), by the
    // indent step.
    void indentSelectedLines();
    void unindentSelectedLines();

    // Bookmarks 0..9: set on the caret's line removes it, otherwise placed at
    // the caret (moving it from another line). Goto on an unset one does
    // nothing.
    void toggleBookmark(int number);
    void gotoBookmark(int number);
    // Line and index (from 0) of a set bookmark; false when unset.
    bool bookmarkPosition(int number, int *line, int *index) const;
    void clearBookmarksAndMarks();

    // Adds the error mark to a line (from 0) or removes the one it carries.
    void toggleErrorMark(int line);
    bool hasErrorMark(int line) const;

    QFont textFont() const { return m_textFont; }
    void setTextFont(const QFont &font);
    QFont lineNumberFont() const { return m_lineNumberFont; }
    void setLineNumberFont(const QFont &font);
    bool lineNumbersShown() const { return m_lineNumbersShown; }
    void setLineNumbersShown(bool shown);

    // Lines ended by line breaks, as a user counts them: a final line break
    // opens no further line, and the empty text has none.
    int textLineCount() const;
    // Caret to the start of a line (from 1, clamped), no selection, and the
    // line scrolled to the middle of the window.
    void gotoLine(int line);
    void centreLine(int line);

    // While on, the selection stays painted when the editor lacks the focus
    // (the search dialogs turn it on while they are open).
    void setKeepSelectionVisible(bool keep);

    // The clipboard gets the selection as plain text and as rich text in
    // the highlighting colours.
    void copy() override;
    void cut() override;
    QString selectionAsHtml() const;

    // The whole document, every character of it. QScintilla's own text()
    // and setText() stop at a zero character; these do not.
    QString wholeText() const;
    void setWholeText(const QString &text);
    // The same from UTF-8 bytes, without a copy of them as text. The text
    // set is not an undo step. A text over WrapLimit bytes is shown without
    // word wrap (wrapping lays out every line again at each change of the
    // width); word wrap comes back with a smaller text unless the user set
    // the mode meanwhile.
    static constexpr qsizetype WrapLimit = 1 << 20;
    void setWholeUtf8(QByteArrayView bytes);
    void setWrapMode(WrapMode mode) override;
    QString selectedWholeText() const;
    // A position of the editor (in bytes of its encoding) as an offset into
    // wholeText().
    int textOffset(long position) const;
    // Replaces the selection (or inserts at the caret), zero characters
    // included, as one undo step; the new text is left selected when
    // selectResult is set.
    void replaceSelectionWith(const QString &text, bool selectResult = false);

    // Pastes the clipboard text whole, zero characters included.
    void paste() override;

    // Read-only is part of the mode the status bar shows.
    void setReadOnly(bool readOnly) override;

    // The program's own pop-up menu in place of the editor's.
    void setPopupMenu(QMenu *menu) { m_popupMenu = menu; }

Q_SIGNALS:
    // Insert/overwrite was switched by the keyboard, or read-only changed.
    void modeChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void refreshErrorMarkText();
    void updateLineNumberWidth();
    void forEachSelectedLine(void (SqlEditor::*apply)(int));

    QsciLexerSQL *m_lexer = nullptr;
    QMenu *m_popupMenu = nullptr;
    QFont m_textFont;
    QFont m_lineNumberFont;
    bool m_lineNumbersShown = true;
    bool m_groupedUndo = true;
    bool m_keepSelectionVisible = false;
    bool m_wrapSuspended = false; // word wrap is off for a large text only
    std::array<int, BookmarkCount> m_bookmarkHandle;
    std::array<int, BookmarkCount> m_bookmarkIndex;
};

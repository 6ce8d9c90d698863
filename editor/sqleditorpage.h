#pragma once

#include "data/scripteditor.h"

#include <QWidget>

class QLabel;
class SqlEditor;
class TEdFindDlg;
class TEdReplDlg;
class TGotoLineDialog;

// The "SQL Query" sub-page: the file-name strip `Panelname` over the editor
// `SyntaxMemo`, and the document and editing commands the main window's
// actions call. The main window owns the actions; this page tells it, through
// its signals, what the status bar shows and which commands are on.
class SqlEditorPage : public QWidget, public ScriptEditor
{
    Q_OBJECT

public:
    explicit SqlEditorPage(QWidget *parent = nullptr);
    ~SqlEditorPage() override;

    SqlEditor *editor() const { return m_editor; }
    QString fileName() const; // the strip's text: "none.sql" for a new document

    // Asks to save a text changed since the last open or save. Returns false
    // when the user cancelled (the caller then keeps the document).
    bool maybeSave();

    // ScriptEditor
    QString scriptText() const override;
    bool selectFirstMatch(const QString &fragment) override;
    void toggleErrorMarkAtCaretLine() override;

public Q_SLOTS:
    void EditNew();
    void EditOpen();
    void EditSave();
    void cut();
    void copy();
    void paste();
    void undo();
    void redo();
    void toUpperCase();
    void toLowerCase();
    void indent();
    void unindent();
    void chooseLineNumberFont();
    void showProperties();
    void showFind();
    void showReplace();
    void showGotoLine();
    void setGroupedUndo(bool on);
    void setUndoAfterSave(bool on);
    // Showing the "Active SQL" page: caret status, focus to the editor.
    void pageShown();

Q_SIGNALS:
    // Status bar panels 1 (mode: " Insert", " Overwrite", " Read only") and
    // 2 (caret, "%6d:%4d").
    void modeTextChanged(const QString &text);
    void caretTextChanged(const QString &text);
    // The editor's own say on its commands.
    void commandStateChanged(bool canRedo, bool canPaste, bool hasSelection);

private:
    QLabel *m_panelName = nullptr;
    SqlEditor *m_editor = nullptr;
    TEdFindDlg *m_findDialog = nullptr;
    TEdReplDlg *m_replaceDialog = nullptr;
    TGotoLineDialog *m_gotoDialog = nullptr;
};

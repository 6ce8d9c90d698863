#pragma once

#include "data/scripteditor.h"
#include "editor/editorprompts.h"

#include <QWidget>

class QAction;
class QLabel;
class QMenu;
class SqlEditor;
class TEdFindDlg;
class TEdReplDlg;
class TGotoLineDialog;

// The "SQL Query" sub-page: the file-name strip `Panelname` over the editor
// `SyntaxMemo`, and the document and editing commands the main window's
// actions call. The main window owns the actions; this page tells it, through
// its signals, what the status bar shows and which commands are on.
// How a script file's bytes stand for its text: UTF-8 (with or without a
// byte-order mark), UTF-16 with its mark, or, for bytes that are none of
// these, Latin-1, which maps every byte to a character of its own.
struct FileForm
{
    enum Encoding { Utf8, Utf16LE, Utf16BE, Latin1 };
    Encoding encoding = Utf8;
    bool byteOrderMark = false;

    // The text of bytes and the form they were in; decoding never drops
    // or changes a byte that encode() would not give back.
    static QString decode(const QByteArray &bytes, FileForm *form);
    // The bytes of text in this form; false when the form cannot hold a
    // character of it (Latin-1 and a typed "€", say).
    bool encode(const QString &text, QByteArray *bytes) const;
};

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
    // Changed since the last open or save.
    bool isModified() const;
    // Whether the document is a file's (the strip names one).
    bool hasFileName() const;

    // The document as it was kept between runs: its text, its file (empty:
    // none) in the form its bytes are in, and whether the text differs from
    // the file's. The undo history starts afresh.
    void restoreDocument(const QString &text, const QString &fileName, const FileForm &form, bool modified);
    // Reads a file into the document without asking anything; false (and
    // *error) when it cannot be read, and the document stays as it was.
    bool loadDocument(const QString &fileName, QString *error = nullptr);
    FileForm fileForm() const { return m_fileForm; }
    // Adds a statement (from the history, say) at the end of the text on a
    // line of its own, ended by ";", and selects it; one undo step.
    void appendStatement(const QString &statement);

    // The selected text and where it starts in scriptText(); empty when
    // nothing is selected.
    QString selectedScript(int *offset) const;
    // The caret's place in scriptText().
    int caretOffset() const;

    // ScriptEditor
    QString scriptText() const override;
    bool selectErrorFragment(const QString &fragment, int from, int to) override;
    void toggleErrorMarkAtCaretLine() override;

    // The questions and file dialogs; tests put their own answers here.
    const EditorPrompts &prompts() const { return m_prompts; }
    void setPrompts(const EditorPrompts &prompts) { m_prompts = prompts; }

    // The editor's pop-up menu. Its Cut, Copy and Paste are the page's own
    // until the main window hands over its actions.
    QMenu *popupMenu() const { return m_popup; }
    void setClipboardActions(QAction *cut, QAction *copy, QAction *paste);

    // The current status bar texts (also sent by the signals below).
    QString modeText() const;
    QString caretText() const;

    bool groupedUndo() const;
    bool undoAfterSave() const { return m_undoAfterSave; }

    TEdFindDlg *findDialog() const { return m_findDialog; }
    TEdReplDlg *replaceDialog() const { return m_replaceDialog; }
    TGotoLineDialog *gotoDialog() const { return m_gotoDialog; }

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
    // Word wrap from the pop-up menu: on to off and back.
    void toggleWordWrap();
    // Sends the status bar texts and the command states again (another
    // tab's were shown meanwhile).
    void refreshStatus() { SyntaxMemoChange(); }

Q_SIGNALS:
    // Status bar panels 1 (mode: " Insert", " Overwrite", " Read only") and
    // 2 (caret, "%6d:%4d").
    void modeTextChanged(const QString &text);
    void caretTextChanged(const QString &text);
    // The editor's own say on its commands.
    void commandStateChanged(bool canRedo, bool canPaste, bool hasSelection);
    // The strip names another file (or "none.sql").
    void fileNameChanged(const QString &name);
    // The text differs from the file's now, or no longer.
    void modificationChanged(bool modified);
    // Any change of the text.
    void textChanged();
    // The user changed the editor's fonts or properties.
    void settingsChanged();

private:
    // Status and command update after every change of the editor.
    void SyntaxMemoChange();
    // Save dialog and write; false when cancelled or failed.
    bool saveWithDialog();
    bool loadFile(const QString &name);
    bool readFile(const QString &name, QByteArray *bytes, QString *error) const;
    void setDocumentBytes(const QByteArray &bytes);
    void setDocumentText(const QString &text);
    void documentSet(bool windowsLines, bool unixLines);
    void setSaved(bool saved);
    void setPanelName(const QString &name);
    void buildPopupMenu();
    void bookmarkMenuTriggered(QAction *action, bool toggle);

    QLabel *m_panelName = nullptr;
    SqlEditor *m_editor = nullptr;
    TEdFindDlg *m_findDialog = nullptr;
    TEdReplDlg *m_replaceDialog = nullptr;
    TGotoLineDialog *m_gotoDialog = nullptr;
    EditorPrompts m_prompts;
    QMenu *m_popup = nullptr;
    QAction *m_cutAction = nullptr;
    QAction *m_copyAction = nullptr;
    QAction *m_pasteAction = nullptr;
    bool m_undoAfterSave = true;
    // Files are written back in the form they were read in, so that a file
    // opened and saved unchanged keeps every byte.
    FileForm m_fileForm;
    bool m_differsFromFile = false; // restored with changes its file lacks
};

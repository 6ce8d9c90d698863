#pragma once

#include "data/editorsession.h"
#include "data/scripteditor.h"
#include "editor/editorprompts.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <memory>

class QAction;
class QLockFile;
class QTabWidget;
class SqlEditor;
class SqlEditorPage;

// The "SQL Query" sub-page: editor tabs, each an SqlEditorPage with its own
// file name and unsaved mark. The window's file and editing commands act on
// the current tab. With a session folder every tab's text is written there a
// few seconds after a change, and the tabs come back from it at the next
// start, after a crash too.
//
// As the script runner's editor it stands for the tab whose script runs
// (beginRun), so an error is pointed at there even if the user has switched
// tabs meanwhile, and nowhere once that tab is closed.
class SqlEditorTabs : public QWidget, public ScriptEditor
{
    Q_OBJECT

public:
    // How long after a change the texts are written.
    static constexpr int DefaultAutosaveDelay = 2000;

    explicit SqlEditorTabs(QWidget *parent = nullptr);
    ~SqlEditorTabs() override;

    QTabWidget *tabWidget() const { return m_tabs; }
    int count() const;
    int currentIndex() const;
    void setCurrentIndex(int index);
    SqlEditorPage *page(int index) const;
    SqlEditorPage *currentPage() const;
    // The tab's caption: the file's name, and " *" while it has unsaved changes.
    QString tabCaption(int index) const;

    // Keeps the tabs in folder from now on (empty: nowhere). The tabs kept
    // there before replace the untouched first tab. While another instance
    // keeps its tabs there, a folder beside it ("folder-2", ...) is used; the
    // first folder's window takes over the tabs of such folders whose
    // instance has ended. Returns false when no folder can be used
    // (errorString() says why).
    bool setSessionFolder(const QString &folder);
    QString sessionFolder() const { return m_store.folder(); } // the one in use
    int autosaveDelay() const { return m_autosave.interval(); }
    void setAutosaveDelay(int milliseconds) { m_autosave.setInterval(milliseconds); }
    // Writes every change not yet written, now. False when a write failed.
    bool saveSession();
    QString errorString() const { return m_error; }

    // Before the program ends: asks about each file with unsaved changes
    // ("Save changes to ...?"); false when the user cancelled. Tabs without
    // a file are kept in the session folder and need no question there.
    bool maybeSaveFiles();

    // The questions and file dialogs of every tab, present and future.
    void setPrompts(const EditorPrompts &prompts);
    const EditorPrompts &prompts() const { return m_prompts; }
    // The window's Cut, Copy and Paste for every tab's pop-up menu.
    void setClipboardActions(QAction *cut, QAction *copy, QAction *paste);

    // The current tab's script is about to run: errors of this run are
    // pointed at in that tab.
    void beginRun();
    SqlEditorPage *runPage() const;

    // ScriptEditor
    QString scriptText() const override;
    bool selectErrorFragment(const QString &fragment, int from, int to) override;
    void toggleErrorMarkAtCaretLine() override;

public Q_SLOTS:
    SqlEditorPage *newTab();
    // Asks about unsaved changes first; false when the user kept the tab.
    // The last tab closed gives way to a new empty one.
    bool closeTab(int index);
    bool closeCurrentTab();
    void nextTab();
    void previousTab();
    void setGroupedUndo(bool on);
    void setUndoAfterSave(bool on);

Q_SIGNALS:
    void pageAdded(SqlEditorPage *page);
    void currentPageChanged(SqlEditorPage *page);
    // The texts and the index have been written.
    void sessionSaved();
    // A write to the session folder failed.
    void sessionSaveFailed(const QString &message);
    // A kept tab could not come back (its file is gone).
    void restoreFailed(const QString &message);

private:
    struct Entry
    {
        QString id;
        bool textKept = false;   // the folder holds the tab's text as last written
    };

    SqlEditorPage *addPage(const QString &id);
    static void copySettings(SqlEditor *from, SqlEditor *to);
    // Adds the kept tabs; returns how many came back (a file that is gone
    // does not), and which of them was current.
    int restoreTabs(const QList<EditorSessionTab> &kept, int current, bool newIds, SqlEditorPage **currentPage);
    void updateCaption(SqlEditorPage *page);
    void updateAccessibleNames();
    void textChanged(SqlEditorPage *page);
    void scheduleSave();
    bool keepsText(SqlEditorPage *page) const;
    bool isUntouched(SqlEditorPage *page) const;

    QTabWidget *m_tabs = nullptr;
    EditorPrompts m_prompts;
    QAction *m_cut = nullptr;
    QAction *m_copy = nullptr;
    QAction *m_paste = nullptr;
    bool m_groupedUndo = true;
    bool m_undoAfterSave = true;
    bool m_runChosen = false;
    QPointer<SqlEditorPage> m_runPage;

    EditorSessionStore m_store;
    std::unique_ptr<QLockFile> m_lock; // the session folder is this window's
    QHash<SqlEditorPage *, Entry> m_entries;
    QSet<SqlEditorPage *> m_dirty; // text changed since last written
    QTimer m_autosave;
    QString m_error;
    bool m_restoring = false;
};

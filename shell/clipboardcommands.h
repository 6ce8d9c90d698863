#pragma once

#include <QHash>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <functional>

class QAbstractItemView;
class QAction;
class QWidget;
class SqlEditorPage;

// The window's Cut, Copy and Paste (`EditCut1`, `EditCopy1`, `EditPaste1`,
// with Ctrl+X, Ctrl+C and Ctrl+V) act on the control that has the keyboard
// focus: the SQL editor only while it has it, a text field or the message
// log as text, a grid, the tree or the server list by copying. The actions
// are enabled by what that control can do now; Paste only while the
// clipboard holds text.
class ClipboardCommands : public QObject
{
    Q_OBJECT

public:
    // The actions belong to window; the editor page stays the editor's
    // voice when nothing in the window has the focus.
    ClipboardCommands(QWidget *window, QAction *cut, QAction *copy, QAction *paste, SqlEditorPage *editor,
                      QObject *parent = nullptr);

    // A view that copies in its own way (a grid its selected rows, say).
    // Without one a view copies the text of its current item.
    void setCopyHandler(QAbstractItemView *view, std::function<void()> copy);

    // The control the commands act on now: the focus widget when it lies in
    // the window, else none.
    QWidget *target() const;

    // The editor's own say on its commands (selection, paste).
    void setEditorState(bool canPaste, bool hasSelection);
    // The editor page that speaks now (the current editor tab).
    void setEditor(SqlEditorPage *editor);

public Q_SLOTS:
    void cut();
    void copy();
    void paste();
    void updateActions();

private:
    void focusChanged(QWidget *now);
    void watch(QWidget *target);
    bool isEditor(QWidget *widget) const;

    QWidget *m_window;
    QAction *m_cut;
    QAction *m_copy;
    QAction *m_paste;
    QPointer<SqlEditorPage> m_editor;
    bool m_editorCanPaste = true;
    bool m_editorHasSelection = true;
    QHash<QAbstractItemView *, std::function<void()>> m_copyHandlers;
    QPointer<QWidget> m_watched;
    QList<QMetaObject::Connection> m_watchConnections;
};

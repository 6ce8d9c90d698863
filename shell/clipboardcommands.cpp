#include "shell/clipboardcommands.h"

#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

bool clipboardHoldsText()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText() && !data->text().isEmpty();
}

bool viewCanCopy(const QAbstractItemView *view)
{
    const QAbstractItemModel *model = view->model();
    if (!model || model->rowCount(view->rootIndex()) == 0)
        return false;
    return view->currentIndex().isValid()
        || (view->selectionModel() && view->selectionModel()->hasSelection());
}

} // namespace

ClipboardCommands::ClipboardCommands(QWidget *window, QAction *cut, QAction *copy, QAction *paste,
                                     SqlEditorPage *editor, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_cut(cut)
    , m_copy(copy)
    , m_paste(paste)
    , m_editor(editor)
{
    connect(m_cut, &QAction::triggered, this, &ClipboardCommands::cut);
    connect(m_copy, &QAction::triggered, this, &ClipboardCommands::copy);
    connect(m_paste, &QAction::triggered, this, &ClipboardCommands::paste);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { focusChanged(now); });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &ClipboardCommands::updateActions);
}

void ClipboardCommands::setCopyHandler(QAbstractItemView *view, std::function<void()> copy)
{
    if (copy)
        m_copyHandlers.insert(view, std::move(copy));
    else
        m_copyHandlers.remove(view);
    updateActions();
}

void ClipboardCommands::setEditorState(bool canPaste, bool hasSelection)
{
    m_editorCanPaste = canPaste;
    m_editorHasSelection = hasSelection;
    updateActions();
}

void ClipboardCommands::setEditor(SqlEditorPage *editor)
{
    m_editor = editor;
    updateActions();
}

bool ClipboardCommands::isEditor(QWidget *widget) const
{
    QWidget *editor = m_editor ? m_editor->editor() : nullptr;
    return editor && (widget == editor || editor->isAncestorOf(widget));
}

QWidget *ClipboardCommands::target() const
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus || !m_window->isAncestorOf(focus))
        return nullptr;
    if (auto *combo = qobject_cast<QComboBox *>(focus); combo && combo->lineEdit())
        return combo->lineEdit();
    return focus;
}

void ClipboardCommands::cut()
{
    QWidget *widget = target();
    if (!widget)
        return;
    if (isEditor(widget))
        m_editor->cut();
    else if (auto *edit = qobject_cast<QLineEdit *>(widget))
        edit->cut();
    else if (auto *text = qobject_cast<QPlainTextEdit *>(widget); text && !text->isReadOnly())
        text->cut();
    else if (auto *rich = qobject_cast<QTextEdit *>(widget); rich && !rich->isReadOnly())
        rich->cut();
    // Grids, the tree and the server list hold nothing that could be cut.
    updateActions();
}

void ClipboardCommands::copy()
{
    QWidget *widget = target();
    if (!widget)
        return;
    if (isEditor(widget)) {
        m_editor->copy();
    } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        edit->copy();
    } else if (auto *text = qobject_cast<QPlainTextEdit *>(widget)) {
        text->copy();
    } else if (auto *rich = qobject_cast<QTextEdit *>(widget)) {
        rich->copy();
    } else if (auto *view = qobject_cast<QAbstractItemView *>(widget)) {
        if (const auto handler = m_copyHandlers.constFind(view); handler != m_copyHandlers.constEnd())
            (*handler)();
        else if (view->currentIndex().isValid())
            QGuiApplication::clipboard()->setText(view->currentIndex().data().toString());
    }
}

void ClipboardCommands::paste()
{
    QWidget *widget = target();
    if (!widget)
        return;
    if (isEditor(widget))
        m_editor->paste();
    else if (auto *edit = qobject_cast<QLineEdit *>(widget); edit && !edit->isReadOnly())
        edit->paste();
    else if (auto *text = qobject_cast<QPlainTextEdit *>(widget); text && !text->isReadOnly())
        text->paste();
    else if (auto *rich = qobject_cast<QTextEdit *>(widget); rich && !rich->isReadOnly())
        rich->paste();
    updateActions();
}

void ClipboardCommands::focusChanged(QWidget *)
{
    watch(target());
    updateActions();
}

void ClipboardCommands::watch(QWidget *widget)
{
    if (m_watched == widget)
        return;
    for (const QMetaObject::Connection &connection : std::as_const(m_watchConnections))
        disconnect(connection);
    m_watchConnections.clear();
    m_watched = widget;
    if (!widget || isEditor(widget))
        return; // the editor reports through setEditorState
    auto follow = [this](const auto *sender, auto signal) {
        m_watchConnections.append(connect(sender, signal, this, &ClipboardCommands::updateActions));
    };
    if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        follow(edit, &QLineEdit::selectionChanged);
        follow(edit, &QLineEdit::textChanged);
    } else if (auto *text = qobject_cast<QPlainTextEdit *>(widget)) {
        follow(text, &QPlainTextEdit::selectionChanged);
    } else if (auto *rich = qobject_cast<QTextEdit *>(widget)) {
        follow(rich, &QTextEdit::selectionChanged);
    } else if (auto *view = qobject_cast<QAbstractItemView *>(widget)) {
        if (QItemSelectionModel *selection = view->selectionModel()) {
            follow(selection, &QItemSelectionModel::currentChanged);
            follow(selection, &QItemSelectionModel::selectionChanged);
        }
        if (QAbstractItemModel *model = view->model()) {
            follow(model, &QAbstractItemModel::modelReset);
            follow(model, &QAbstractItemModel::rowsInserted);
            follow(model, &QAbstractItemModel::rowsRemoved);
        }
    }
}

void ClipboardCommands::updateActions()
{
    bool cut = false;
    bool copy = false;
    bool paste = false;
    QWidget *widget = target();
    if (!widget || isEditor(widget)) {
        // Nothing of the window has the focus (it is hidden or another
        // window is active): the actions show the editor's state.
        cut = copy = m_editorHasSelection;
        paste = m_editorCanPaste;
    } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        const bool readable = edit->echoMode() == QLineEdit::Normal;
        copy = readable && edit->hasSelectedText();
        cut = copy && !edit->isReadOnly();
        paste = !edit->isReadOnly() && clipboardHoldsText();
    } else if (auto *text = qobject_cast<QPlainTextEdit *>(widget)) {
        copy = text->textCursor().hasSelection();
        cut = copy && !text->isReadOnly();
        paste = !text->isReadOnly() && clipboardHoldsText();
    } else if (auto *rich = qobject_cast<QTextEdit *>(widget)) {
        copy = rich->textCursor().hasSelection();
        cut = copy && !rich->isReadOnly();
        paste = !rich->isReadOnly() && clipboardHoldsText();
    } else if (auto *view = qobject_cast<QAbstractItemView *>(widget)) {
        copy = viewCanCopy(view);
    }
    m_cut->setEnabled(cut);
    m_copy->setEnabled(copy);
    m_paste->setEnabled(paste);
}

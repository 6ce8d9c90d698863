// Placeholder so the window builds until the editor page is written.
#include "editor/sqleditorpage.h"
#include "editor/sqleditor.h"

#include <QLabel>
#include <QVBoxLayout>

SqlEditorPage::SqlEditorPage(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    m_panelName = new QLabel(QStringLiteral("none.sql"), this);
    m_editor = new SqlEditor(this);
    layout->addWidget(m_panelName);
    layout->addWidget(m_editor);
}

SqlEditorPage::~SqlEditorPage() = default;
QString SqlEditorPage::fileName() const { return m_panelName->text(); }
bool SqlEditorPage::maybeSave() { return true; }
QString SqlEditorPage::scriptText() const { return m_editor->text(); }
bool SqlEditorPage::selectFirstMatch(const QString &) { return false; }
void SqlEditorPage::toggleErrorMarkAtCaretLine() {}
void SqlEditorPage::EditNew() {}
void SqlEditorPage::EditOpen() {}
void SqlEditorPage::EditSave() {}
void SqlEditorPage::cut() {}
void SqlEditorPage::copy() {}
void SqlEditorPage::paste() {}
void SqlEditorPage::undo() {}
void SqlEditorPage::redo() {}
void SqlEditorPage::toUpperCase() {}
void SqlEditorPage::toLowerCase() {}
void SqlEditorPage::indent() {}
void SqlEditorPage::unindent() {}
void SqlEditorPage::chooseLineNumberFont() {}
void SqlEditorPage::showProperties() {}
void SqlEditorPage::showFind() {}
void SqlEditorPage::showReplace() {}
void SqlEditorPage::showGotoLine() {}
void SqlEditorPage::setGroupedUndo(bool) {}
void SqlEditorPage::setUndoAfterSave(bool) {}
void SqlEditorPage::pageShown() {}

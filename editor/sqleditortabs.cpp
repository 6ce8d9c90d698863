#include "editor/sqleditortabs.h"

#include "data/datafolder.h"
#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

const QString Unnamed = QStringLiteral("none.sql");

QString encodingName(FileForm::Encoding encoding)
{
    switch (encoding) {
    case FileForm::Utf16LE:
        return QStringLiteral("utf16le");
    case FileForm::Utf16BE:
        return QStringLiteral("utf16be");
    case FileForm::Latin1:
        return QStringLiteral("latin1");
    case FileForm::Utf8:
        break;
    }
    return QStringLiteral("utf8");
}

FileForm formFromNames(const QString &encoding, bool byteOrderMark)
{
    FileForm form;
    if (encoding == QLatin1String("utf16le"))
        form.encoding = FileForm::Utf16LE;
    else if (encoding == QLatin1String("utf16be"))
        form.encoding = FileForm::Utf16BE;
    else if (encoding == QLatin1String("latin1"))
        form.encoding = FileForm::Latin1;
    form.byteOrderMark = byteOrderMark;
    return form;
}

} // namespace

SqlEditorTabs::SqlEditorTabs(QWidget *parent)
    : QWidget(parent)
    , m_prompts(EditorPrompts::standard())
{
    setObjectName(QStringLiteral("SqlEditorTabs"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("EditorTabs"));
    m_tabs->setDocumentMode(true);
    m_tabs->setTabsClosable(true);
    m_tabs->setMovable(true);
    m_tabs->setUsesScrollButtons(true);
    m_tabs->setElideMode(Qt::ElideNone);
    // Only the window's commands switch tabs: the tab bar must not take
    // Ctrl+Tab for itself.
    m_tabs->tabBar()->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_tabs);

    m_autosave.setSingleShot(true);
    m_autosave.setInterval(DefaultAutosaveDelay);
    connect(&m_autosave, &QTimer::timeout, this, [this] { saveSession(); });
    connect(m_tabs, &QTabWidget::tabCloseRequested, this, [this](int index) { closeTab(index); });
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int) {
        Q_EMIT currentPageChanged(currentPage());
        scheduleSave(); // the current tab is kept too
    });
    connect(m_tabs->tabBar(), &QTabBar::tabMoved, this, [this] {
        updateAccessibleNames();
        scheduleSave();
    });

    addPage(m_store.newId());
}

SqlEditorTabs::~SqlEditorTabs()
{
    // Changes not yet written (the program ended without the close
    // question) are written now.
    if (m_autosave.isActive())
        saveSession();
    // Pages go after the members that their signals reach.
    disconnect(m_tabs, nullptr, this, nullptr);
    for (int i = 0; i < count(); ++i)
        disconnect(page(i), nullptr, this, nullptr);
    m_autosave.stop();
}

int SqlEditorTabs::count() const
{
    return m_tabs->count();
}

int SqlEditorTabs::currentIndex() const
{
    return m_tabs->currentIndex();
}

void SqlEditorTabs::setCurrentIndex(int index)
{
    m_tabs->setCurrentIndex(index);
}

SqlEditorPage *SqlEditorTabs::page(int index) const
{
    return qobject_cast<SqlEditorPage *>(m_tabs->widget(index));
}

SqlEditorPage *SqlEditorTabs::currentPage() const
{
    return qobject_cast<SqlEditorPage *>(m_tabs->currentWidget());
}

QString SqlEditorTabs::tabCaption(int index) const
{
    return m_tabs->tabText(index);
}

void SqlEditorTabs::copySettings(SqlEditor *from, SqlEditor *to)
{
    to->setTextFont(from->textFont());
    to->setLineNumberFont(from->lineNumberFont());
    to->setLineNumbersShown(from->lineNumbersShown());
    to->setTabWidth(from->tabWidth());
    to->setWrapMode(from->wrapMode());
    to->setEdgeColumn(from->edgeColumn());
    to->setEdgeMode(from->edgeMode());
}

SqlEditorPage *SqlEditorTabs::addPage(const QString &id)
{
    // A new tab looks like the others.
    SqlEditorPage *model = currentPage();
    auto *page = new SqlEditorPage;
    if (model)
        copySettings(model->editor(), page->editor());
    page->setPrompts(m_prompts);
    page->setGroupedUndo(m_groupedUndo);
    page->setUndoAfterSave(m_undoAfterSave);
    if (m_cut)
        page->setClipboardActions(m_cut, m_copy, m_paste);
    m_entries.insert(page, Entry{id, false});
    connect(page, &SqlEditorPage::fileNameChanged, this, [this, page] {
        updateCaption(page);
        scheduleSave();
    });
    connect(page, &SqlEditorPage::modificationChanged, this, [this, page] {
        updateCaption(page);
        scheduleSave();
    });
    connect(page, &SqlEditorPage::textChanged, this, [this, page] { textChanged(page); });
    // Fonts and properties are the editor's, not one tab's.
    connect(page, &SqlEditorPage::settingsChanged, this, [this, page] {
        for (int i = 0; i < count(); ++i) {
            if (this->page(i) != page)
                copySettings(page->editor(), this->page(i)->editor());
        }
    });
    const int index = m_tabs->addTab(page, QString());
    updateCaption(page);
    updateAccessibleNames();
    Q_EMIT pageAdded(page);
    m_tabs->setCurrentIndex(index);
    return page;
}

void SqlEditorTabs::updateCaption(SqlEditorPage *page)
{
    const int index = m_tabs->indexOf(page);
    if (index < 0)
        return;
    const QString name = page->fileName();
    QString caption = name.isEmpty() ? Unnamed : QFileInfo(name).fileName();
    if (page->isModified())
        caption += QStringLiteral(" *");
    m_tabs->setTabText(index, caption);
    m_tabs->setTabToolTip(index, name);
}

void SqlEditorTabs::updateAccessibleNames()
{
    // Screen readers tell the editors apart by their tab's place.
    for (int i = 0; i < count(); ++i) {
        const QString name = count() == 1 ? QStringLiteral("SQL Query") : QStringLiteral("SQL Query, tab %1").arg(i + 1);
        page(i)->editor()->setAccessibleName(name);
    }
}

SqlEditorPage *SqlEditorTabs::newTab()
{
    SqlEditorPage *page = addPage(m_store.newId());
    scheduleSave();
    page->editor()->setFocus();
    return page;
}

bool SqlEditorTabs::closeTab(int index)
{
    SqlEditorPage *closing = page(index);
    if (!closing)
        return false;
    m_tabs->setCurrentIndex(index);
    if (!closing->maybeSave())
        return false;
    const Entry entry = m_entries.take(closing);
    m_dirty.remove(closing);
    disconnect(closing, nullptr, this, nullptr);
    m_tabs->removeTab(m_tabs->indexOf(closing));
    closing->deleteLater();
    if (m_tabs->count() == 0)
        addPage(m_store.newId());
    updateAccessibleNames();
    // The index goes first: a text without an entry comes back as a tab.
    if (m_store.isEnabled()) {
        saveSession();
        m_store.removeText(entry.id);
    }
    if (SqlEditorPage *current = currentPage())
        current->editor()->setFocus();
    return true;
}

bool SqlEditorTabs::closeCurrentTab()
{
    return closeTab(m_tabs->currentIndex());
}

void SqlEditorTabs::nextTab()
{
    if (m_tabs->count() > 1)
        m_tabs->setCurrentIndex((m_tabs->currentIndex() + 1) % m_tabs->count());
    if (SqlEditorPage *current = currentPage())
        current->editor()->setFocus();
}

void SqlEditorTabs::previousTab()
{
    if (m_tabs->count() > 1)
        m_tabs->setCurrentIndex((m_tabs->currentIndex() + m_tabs->count() - 1) % m_tabs->count());
    if (SqlEditorPage *current = currentPage())
        current->editor()->setFocus();
}

void SqlEditorTabs::setGroupedUndo(bool on)
{
    m_groupedUndo = on;
    for (int i = 0; i < count(); ++i)
        page(i)->setGroupedUndo(on);
}

void SqlEditorTabs::setUndoAfterSave(bool on)
{
    m_undoAfterSave = on;
    for (int i = 0; i < count(); ++i)
        page(i)->setUndoAfterSave(on);
}

void SqlEditorTabs::setPrompts(const EditorPrompts &prompts)
{
    m_prompts = prompts;
    for (int i = 0; i < count(); ++i)
        page(i)->setPrompts(prompts);
}

void SqlEditorTabs::setClipboardActions(QAction *cut, QAction *copy, QAction *paste)
{
    m_cut = cut;
    m_copy = copy;
    m_paste = paste;
    for (int i = 0; i < count(); ++i)
        page(i)->setClipboardActions(cut, copy, paste);
}

bool SqlEditorTabs::maybeSaveFiles()
{
    for (int i = 0; i < count(); ++i) {
        SqlEditorPage *current = page(i);
        if (!current->hasFileName() || !current->isModified())
            continue;
        m_tabs->setCurrentIndex(i);
        if (!current->maybeSave())
            return false;
    }
    return true;
}

void SqlEditorTabs::beginRun()
{
    m_runChosen = true;
    m_runPage = currentPage();
}

SqlEditorPage *SqlEditorTabs::runPage() const
{
    return m_runChosen ? m_runPage.data() : currentPage();
}

QString SqlEditorTabs::scriptText() const
{
    SqlEditorPage *target = runPage();
    return target ? target->scriptText() : QString();
}

bool SqlEditorTabs::selectErrorFragment(const QString &fragment, int from, int to)
{
    SqlEditorPage *target = runPage();
    if (!target)
        return false;
    // The error is shown where it is: in its own tab.
    m_tabs->setCurrentWidget(target);
    return target->selectErrorFragment(fragment, from, to);
}

void SqlEditorTabs::toggleErrorMarkAtCaretLine()
{
    if (SqlEditorPage *target = runPage())
        target->toggleErrorMarkAtCaretLine();
}

// --- Keeping the tabs -----------------------------------------------------------

bool SqlEditorTabs::keepsText(SqlEditorPage *page) const
{
    // A file's unchanged text is in the file already.
    return !page->hasFileName() || page->isModified();
}

bool SqlEditorTabs::isUntouched(SqlEditorPage *page) const
{
    return !page->hasFileName() && !page->isModified() && page->scriptText().isEmpty();
}

void SqlEditorTabs::textChanged(SqlEditorPage *page)
{
    if (m_restoring)
        return;
    m_dirty.insert(page);
    scheduleSave();
}

void SqlEditorTabs::scheduleSave()
{
    // Not restarted by further changes: steady typing is still written
    // every few seconds.
    if (m_store.isEnabled() && !m_restoring && !m_autosave.isActive())
        m_autosave.start();
}

namespace {

// A lock on a session folder, held while a window keeps its tabs there; a
// lock left by a process that ended (killed, crashed) is taken over.
std::unique_ptr<QLockFile> lockFolder(const QString &folder)
{
    if (!MakePrivateFolder(folder))
        return nullptr;
    auto lock = std::make_unique<QLockFile>(folder + QStringLiteral("/.lock"));
    lock->setStaleLockTime(0); // stale only when its process is gone
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}

// Folders beside the first for windows of further instances.
QString siblingFolder(const QString &folder, int number)
{
    return folder + QLatin1Char('-') + QString::number(number);
}

constexpr int MaxSessionFolders = 9;

} // namespace

bool SqlEditorTabs::setSessionFolder(const QString &folder)
{
    m_autosave.stop();
    m_lock.reset();
    m_store = EditorSessionStore();
    m_dirty.clear();
    for (Entry &entry : m_entries)
        entry.textKept = false;
    if (folder.isEmpty())
        return true;

    // Another instance of the program keeps its tabs in the first folder:
    // this one takes the next free folder, so neither writes over the other.
    QString chosen;
    for (int number = 1; number <= MaxSessionFolders && !m_lock; ++number) {
        chosen = number == 1 ? folder : siblingFolder(folder, number);
        m_lock = lockFolder(chosen);
    }
    if (!m_lock) {
        m_error = QStringLiteral("No free folder to keep the tabs in beside \"%1\"").arg(folder);
        Q_EMIT sessionSaveFailed(QStringLiteral("The editor's tabs could not be kept: %1").arg(m_error));
        return false;
    }
    m_store = EditorSessionStore(chosen);

    m_restoring = true;
    QList<SqlEditorPage *> untouched;
    for (int i = 0; i < count(); ++i) {
        if (isUntouched(page(i)))
            untouched.append(page(i));
    }
    int current = -1;
    SqlEditorPage *currentPage = nullptr;
    const QList<EditorSessionTab> kept = m_store.load(&current);
    int restored = restoreTabs(kept, current, false, &currentPage);
    // Tabs that an instance which has ended kept beside the first folder
    // join this window's; their folders go once the tabs are written here.
    QList<std::pair<QString, std::shared_ptr<QLockFile>>> adopted;
    if (chosen == folder) {
        for (int number = 2; number <= MaxSessionFolders; ++number) {
            const QString sibling = siblingFolder(folder, number);
            if (!QFileInfo::exists(sibling))
                continue;
            std::shared_ptr<QLockFile> lock = lockFolder(sibling);
            if (!lock)
                continue; // still in use
            int ignored = -1;
            restored += restoreTabs(EditorSessionStore(sibling).load(&ignored), -1, true, nullptr);
            adopted.append({sibling, lock});
        }
    }
    // The empty tab the window started with gives way to the kept ones.
    if (restored > 0) {
        for (SqlEditorPage *blank : std::as_const(untouched)) {
            m_entries.remove(blank);
            m_tabs->removeTab(m_tabs->indexOf(blank));
            delete blank;
        }
    }
    // Each new tab was made current in turn; the kept one is current again.
    if (currentPage)
        m_tabs->setCurrentWidget(currentPage);
    updateAccessibleNames();
    m_restoring = false;
    // Whatever the folder lacks (the window's own tabs, adopted ones) is
    // written now.
    const bool saved = saveSession();
    if (saved) {
        for (const auto &[sibling, lock] : std::as_const(adopted)) {
            lock->unlock();
            QDir(sibling).removeRecursively();
        }
    }
    return saved;
}

int SqlEditorTabs::restoreTabs(const QList<EditorSessionTab> &kept, int current, bool newIds,
                               SqlEditorPage **currentPage)
{
    int restored = 0;
    for (int k = 0; k < kept.size(); ++k) {
        const EditorSessionTab &tab = kept.at(k);
        const QString id = newIds ? m_store.newId() : tab.id;
        SqlEditorPage *page = nullptr;
        if (tab.hasText) {
            page = addPage(id);
            page->restoreDocument(tab.text, tab.fileName, formFromNames(tab.encoding, tab.byteOrderMark),
                                  tab.modified);
            // An adopted text is not in this folder yet.
            m_entries[page].textKept = !newIds;
        } else if (!tab.fileName.isEmpty()) {
            QString error;
            page = addPage(id);
            if (!page->loadDocument(tab.fileName, &error)) {
                Q_EMIT restoreFailed(error);
                m_entries.remove(page);
                m_tabs->removeTab(m_tabs->indexOf(page));
                delete page;
                continue;
            }
        } else {
            page = addPage(id); // an empty unnamed tab
        }
        page->editor()->setCursorPosition(tab.caretLine, tab.caretIndex);
        page->editor()->ensureCursorVisible();
        if (k == current && currentPage)
            *currentPage = page;
        ++restored;
    }
    return restored;
}

bool SqlEditorTabs::saveSession()
{
    m_autosave.stop();
    if (!m_store.isEnabled())
        return true;
    bool ok = true;
    QList<EditorSessionTab> index;
    QStringList dropTexts;
    for (int i = 0; i < count(); ++i) {
        SqlEditorPage *current = page(i);
        Entry &entry = m_entries[current];
        EditorSessionTab tab;
        tab.id = entry.id;
        tab.fileName = current->hasFileName() ? current->fileName() : QString();
        tab.modified = current->isModified();
        const FileForm form = current->fileForm();
        tab.encoding = encodingName(form.encoding);
        tab.byteOrderMark = form.byteOrderMark;
        current->editor()->getCursorPosition(&tab.caretLine, &tab.caretIndex);
        if (keepsText(current)) {
            if (!entry.textKept || m_dirty.contains(current)) {
                if (m_store.writeText(entry.id, current->scriptText())) {
                    entry.textKept = true;
                    m_dirty.remove(current);
                } else {
                    ok = false;
                }
            }
            tab.hasText = entry.textKept;
        } else {
            if (entry.textKept)
                dropTexts.append(entry.id);
            entry.textKept = false;
            m_dirty.remove(current);
            tab.hasText = false;
        }
        index.append(tab);
    }
    if (!m_store.writeIndex(index, currentIndex()))
        ok = false;
    else {
        for (const QString &id : std::as_const(dropTexts))
            m_store.removeText(id);
    }
    if (!ok) {
        // Said once, not at every later attempt.
        const bool first = m_error.isEmpty();
        m_error = m_store.errorString();
        if (m_error.isEmpty())
            m_error = QStringLiteral("write failed");
        if (first)
            Q_EMIT sessionSaveFailed(QStringLiteral("The editor's tabs could not be kept: %1").arg(m_error));
        return false;
    }
    m_error.clear();
    Q_EMIT sessionSaved();
    return true;
}

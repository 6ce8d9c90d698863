#include "shell/mainwindow.h"
#include "shell/mainwindow_p.h"

#include "data/completionnames.h"
#include "data/gridmodel.h"
#include "data/history.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/applicationtitle.h"
#include "dialogs/errorbox.h"
#include "dialogs/messagedialog.h"
#include "dialogs/optionsdialog.h"
#include "dialogs/serverdialog.h"
#include "dialogs/tablecreatedialog.h"
#include "editor/historypanel.h"
#include "editor/sqlcompletion.h"
#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"
#include "editor/sqleditortabs.h"
#include "shell/clipboardcommands.h"
#include "shell/gridviews.h"
#include "shell/actiontable.h"
#include "shell/autologchart.h"
#include "data/localserver.h"
#include "dialogs/splash.h"

#include <algorithm>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

namespace {

// Ctrl+Enter in the editor, from either Enter key, runs the statement
// under the caret. Caught before the editor takes it as a line break and
// before the shortcut map, which treats the keypad's Enter apart.
class StatementKeyFilter : public QObject
{
public:
    StatementKeyFilter(QAction *statement, QObject *parent)
        : QObject(parent)
        , m_statement(statement)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::ControlModifier)
            return QObject::eventFilter(watched, event);
        key->accept();
        if (event->type() == QEvent::KeyPress && m_statement->isEnabled())
            m_statement->trigger();
        return event->type() == QEvent::KeyPress;
    }

private:
    QAction *m_statement;
};

// Esc stops the running statement wherever the focus is in the window. The
// editor (and any other control that binds Esc) would claim the key for
// itself; while Stop is on, the key is left to the window's shortcut.
class EscapeStopFilter : public QObject
{
public:
    EscapeStopFilter(QWidget *window, QAction *stop)
        : QObject(window)
        , m_window(window)
        , m_stop(stop)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::ShortcutOverride || !m_stop->isEnabled())
            return QObject::eventFilter(watched, event);
        const auto *key = static_cast<QKeyEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        if (key->key() != Qt::Key_Escape || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || !widget
            || widget->window() != m_window)
            return QObject::eventFilter(watched, event);
        // Not overridden: the shortcut map gives Esc to Stop.
        event->ignore();
        return true;
    }

private:
    QWidget *m_window;
    QAction *m_stop;
};

} // namespace

TFormMain::TFormMain(SettingsStore *settings, QWidget *parent)
    : QMainWindow(parent)
    , d(new Private(this))
{
    d->settings = settings;
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Quarnel ( MySQL Administrator )"));
    setWindowIcon(ApplicationIcon());

    d->log = new MessageLog(this);
    d->autoLog = new MessageLog(this);
    d->history = new QueryHistory(this); // in memory until a data folder is opened
    d->completionNames = new CompletionNames(this);
    d->buildActions();
    d->buildLayout();
    d->buildMenus();
    d->buildToolbars();
    d->buildPopups();
    d->buildStatusBar();
    d->buildTray();
    d->wireMessageLog();
    d->wireAutoLog();
    d->wireEditor();
    d->wireHistory();
    // Copy in a grid copies its selected rows.
    for (QTableView *view : std::as_const(d->gridViews)) {
        d->clipboard->setCopyHandler(view, [this, view] { d->gridSupport->copyRows(view, false); });
    }

    d->formServer = new TFormServer(settings, this);
    d->formMessage = new TFormMessage(this);
    d->formOptionen = new TFormOptionen(
        settings,
        [this] {
            d->gridSupport->setNullText(d->settings->programSettings().NullText);
            SaveProgramSettings();
        },
        this);
    d->formTableCreate = new TFormTableCreate(this);
    d->formAbout = new TFormAbout(this);

    d->busyDelay.setSingleShot(true);
    d->busyDelay.setInterval(200);
    connect(&d->busyDelay, &QTimer::timeout, this, [this] { d->showBusy(true); });
    qApp->installEventFilter(new EscapeStopFilter(this, d->actions.value(QStringLiteral("query_stop"))));
    d->busyTick.setInterval(100);
    connect(&d->busyTick, &QTimer::timeout, this, [this] {
        d->busyLabel->setText(
            QStringLiteral(" Running %1 s ").arg(double(d->busyClock.elapsed()) / 1000.0, 0, 'f', 1));
    });

    auto connectAction = [this](const char *name, void (TFormMain::*slot)()) {
        connect(d->actions.value(QString::fromLatin1(name)), &QAction::triggered, this, slot);
    };
    connectAction("server_add", &TFormMain::server_addExecute);
    connectAction("server_modify", &TFormMain::server_modifyExecute);
    connectAction("server_remove", &TFormMain::server_removeExecute);
    connectAction("tools_optionen", &TFormMain::tools_optionenExecute);
    connectAction("admin_start_local_db", &TFormMain::admin_start_local_dbExecute);
    connectAction("admin_stop_local_db", &TFormMain::admin_stop_local_dbExecute);
    connectAction("help_about", &TFormMain::help_aboutExecute);
    connectAction("help_Show", &TFormMain::help_ShowExecute);
    connect(d->actions.value(QStringLiteral("help_Close")), &QAction::triggered, this, &TFormMain::Close1Click);
    connect(d->hideEntry, &QAction::triggered, this, &TFormMain::HideToTray);
    connect(d->closeEntry, &QAction::triggered, this, &TFormMain::Close1Click);

    // Creation steps: an empty log with one empty line, the stored settings
    // and geometry, the server list, and the start state of the switches.
    d->log->clear();
    d->log->append(QString());
    settings->LoadProgramSettings();
    const TProgramSettings &program = settings->programSettings();
    move(program.Left, program.Top);
    resize(program.Width, program.Height);
    if (program.Max)
        setWindowState(windowState() | Qt::WindowMaximized);
    d->gridSupport->setNullText(program.NullText);
    d->treeModel->clear();
    d->serverList->clear();
    for (const QString &host : settings->ServerSections())
        AddServerItem(host);
    SetServerCommands(d->serverList->count() > 0);
    SetAppServerCommands(false);
    d->pageControl->setCurrentIndex(0);
}

TFormMain::~TFormMain()
{
    if (d->busyShown)
        QApplication::restoreOverrideCursor();
    delete d;
}

QAction *TFormMain::action(const QString &name) const
{
    return d->actions.value(name);
}

void TFormMain::SetSessionCommands(bool enabled)
{
    d->session = enabled;
    d->pageControl->setEnabled(enabled);
    d->tree->setEnabled(enabled);
    for (const QString &name : std::as_const(d->sessionActions))
        d->actions.value(name)->setEnabled(enabled);
    for (QMenu *menu : std::as_const(d->sessionMenus))
        menu->setEnabled(enabled);
    d->applyEditorNarrowing();
    d->applyStatementActions();
}

void TFormMain::SetAppServerCommands(bool enabled)
{
    d->appServer = enabled;
    for (const QString &name : std::as_const(d->appServerActions))
        d->actions.value(name)->setEnabled(enabled);
    d->applyStatementActions();
    d->gridViews.value(QStringLiteral("ListApplication"))->setEnabled(enabled);
    d->gridViews.value(QStringLiteral("ListApplicationMsg"))->setEnabled(enabled);
}

void TFormMain::SetServerCommands(bool enabled)
{
    d->actions.value(QStringLiteral("server_remove"))->setEnabled(enabled);
    d->actions.value(QStringLiteral("server_modify"))->setEnabled(enabled);
}

void TFormMain::setStatementsRunning(bool running)
{
    if (d->statementsRunning == running)
        return;
    d->statementsRunning = running;
    // Stop works from the moment a statement is sent; only the display
    // waits a little.
    d->actions.value(QStringLiteral("query_stop"))->setEnabled(running);
    if (running) {
        d->busyClock.start();
        d->busyDelay.start();
    } else {
        d->busyDelay.stop();
        d->showBusy(false);
    }
}

bool TFormMain::statementsRunning() const
{
    return d->statementsRunning;
}

bool TFormMain::busyShown() const
{
    return d->busyShown;
}

void TFormMain::Private::showBusy(bool shown)
{
    if (busyShown == shown)
        return;
    busyShown = shown;
    auto updateText = [this] {
        busyLabel->setText(QStringLiteral(" Running %1 s ").arg(double(busyClock.elapsed()) / 1000.0, 0, 'f', 1));
    };
    if (shown) {
        updateText();
        busyLabel->show();
        busyTick.start();
        QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        busyTick.stop();
        busyLabel->hide();
        QApplication::restoreOverrideCursor();
    }
    applyStatementActions();
}

void TFormMain::Private::applyStatementActions()
{
    // The commands that send statements follow their switches, and are off
    // besides while statements run.
    int count = 0;
    const ActionSpec *table = actionTable(&count);
    for (int i = 0; i < count; ++i) {
        const QString switches = QString::fromLatin1(table[i].switches);
        if (!switches.contains(QLatin1Char('R')))
            continue;
        bool enabled = !busyShown;
        if (switches.contains(QLatin1Char('S')))
            enabled = enabled && session;
        if (switches.contains(QLatin1Char('A')))
            enabled = enabled && appServer;
        actions.value(QString::fromLatin1(table[i].name))->setEnabled(enabled);
    }
}

void TFormMain::AddServerItem(const QString &host)
{
    auto *item = new QListWidgetItem(ApplicationIcon(), host, d->serverList);
    d->serverList->setCurrentItem(item);
}

SettingsStore *TFormMain::settings() const { return d->settings; }
MessageLog *TFormMain::messageLog() const { return d->log; }
MessageLog *TFormMain::autoLog() const { return d->autoLog; }
AutoLogChart *TFormMain::autoLogChart() const { return d->autoLogChart; }
QStandardItemModel *TFormMain::treeModel() const { return d->treeModel; }
QTreeView *TFormMain::treeView() const { return d->tree; }
QListWidget *TFormMain::serverList() const { return d->serverList; }
GridModel *TFormMain::grid(const QString &name) const { return d->grids.value(name); }
QTableView *TFormMain::gridView(const QString &name) const { return d->gridViews.value(name); }
SqlEditorPage *TFormMain::sqlEditor() const { return d->editorTabs->currentPage(); }
SqlEditorTabs *TFormMain::sqlEditorTabs() const { return d->editorTabs; }
QueryHistory *TFormMain::history() const { return d->history; }
HistoryPanel *TFormMain::historyPanel() const { return d->historyPanel; }
CompletionNames *TFormMain::completionNames() const { return d->completionNames; }
QString TFormMain::databaseInUse() const { return d->databaseInUse; }

void TFormMain::setDatabaseInUse(const QString &database)
{
    d->databaseInUse = database;
    // The status bar's first panel names it; without one, its design text.
    d->panels[0]->setText(database.isEmpty() ? QStringLiteral("database") : database);
    d->panels[0]->setToolTip(database.isEmpty() ? QString()
                                                : QStringLiteral("The next run uses the database %1").arg(database));
    // Once names have been asked for, those of the next database are read
    // ahead, before the user types.
    if (!database.isEmpty() && d->completionNames->isReading())
        d->completionNames->request(database);
}
QString TFormMain::dataFolder() const { return d->dataFolder; }
ClipboardCommands *TFormMain::clipboardCommands() const { return d->clipboard; }
GridViewSupport *TFormMain::gridSupport() const { return d->gridSupport; }
RowLimitBar *TFormMain::rowLimitBar() const { return d->rowLimitBar; }
QMenu *TFormMain::popupMenu(const QString &name) const { return d->popups.value(name); }
QLabel *TFormMain::statusPanel(int index) const { return index >= 0 && index < 3 ? d->panels[index] : nullptr; }
QTabBar *TFormMain::databaseInfoTabs() const { return d->infoTabs; }
TFormServer *TFormMain::formServer() const { return d->formServer; }
TFormMessage *TFormMain::formMessage() const { return d->formMessage; }
TFormOptionen *TFormMain::formOptionen() const { return d->formOptionen; }
TFormAbout *TFormMain::formAbout() const { return d->formAbout; }
TFormTableCreate *TFormMain::formTableCreate() const { return d->formTableCreate; }
QSystemTrayIcon *TFormMain::trayIcon() const { return d->tray; }

void TFormMain::setGridPopup(const QString &gridName, QMenu *menu)
{
    d->gridPopups.insert(gridName, menu);
}

void TFormMain::setDataGridVisible(bool visible)
{
    d->dataStack->setCurrentIndex(visible ? 1 : 0);
}

void TFormMain::addPage(QWidget *page, const QString &caption)
{
    d->pageControl->addTab(page, caption);
}

void TFormMain::showPage(const QString &page, const QString &subPage)
{
    for (int i = 0; i < d->pageControl->count(); ++i) {
        if (d->pageControl->tabText(i) != page)
            continue;
        d->pageControl->setCurrentIndex(i);
        if (auto *inner = qobject_cast<QTabWidget *>(d->pageControl->widget(i)); inner && !subPage.isEmpty()) {
            for (int j = 0; j < inner->count(); ++j) {
                if (inner->tabText(j) == subPage)
                    inner->setCurrentIndex(j);
            }
        }
        if (d->infoTabs && d->pageControl->widget(i)->isAncestorOf(d->infoTabs) && !subPage.isEmpty()) {
            for (int j = 0; j < d->infoTabs->count(); ++j) {
                if (d->infoTabs->tabText(j) == subPage)
                    d->infoTabs->setCurrentIndex(j);
            }
        }
        return;
    }
}

void TFormMain::Private::wireMessageLog()
{
    flushTimer.setSingleShot(true);
    QObject::connect(&flushTimer, &QTimer::timeout, q, [this] { flushMessages(); });
    QObject::connect(log, &MessageLog::lineAppended, q, [this](const QString &line) {
        pendingLines.append(line);
        if (!flushTimer.isActive()) {
            const qint64 since = lastFlush.isValid() ? lastFlush.elapsed() : qint64(FlushMs);
            flushTimer.start(int(std::max<qint64>(0, FlushMs - since)));
        }
    });
    // The range grows again once the view has laid the new lines out (a
    // line wider than the log adds a horizontal scroll bar, which hides the
    // bottom line): the view stays at the end until the user scrolls away.
    QScrollBar *vertical = memo->verticalScrollBar();
    QObject::connect(vertical, &QScrollBar::rangeChanged, q, [this, vertical](int, int maximum) {
        if (followLog)
            vertical->setValue(maximum);
    });
    QObject::connect(vertical, &QScrollBar::valueChanged, q, [this, vertical](int value) {
        followLog = value == vertical->maximum();
    });
    QObject::connect(log, &MessageLog::cleared, q, [this] {
        pendingLines.clear();
        memoHasLines = false;
        memo->clear();
    });
}

void TFormMain::Private::wireAutoLog()
{
    // One line every few seconds: appended as it comes.
    QObject::connect(autoLog, &MessageLog::lineAppended, q, [this](const QString &line) {
        memolog->appendPlainText(line);
        autoLogChart->addLine(line);
    });
    QObject::connect(autoLog, &MessageLog::cleared, q, [this] {
        memolog->clear();
        autoLogChart->clear();
    });
}

void TFormMain::Private::flushMessages()
{
    if (pendingLines.isEmpty())
        return;
    // One insertion for the whole batch: a layout per line would make a long
    // run of messages crawl. Every line after the first starts a new block, so
    // an empty line stays a line of its own.
    QTextCursor cursor(memo->document());
    cursor.movePosition(QTextCursor::End);
    QString text = pendingLines.join(QLatin1Char('\n'));
    if (memoHasLines)
        text.prepend(QLatin1Char('\n'));
    cursor.insertText(text);
    memoHasLines = true;
    pendingLines.clear();
    lastFlush.start();
    // Every new line is brought into view, its start in sight.
    followLog = true;
    memo->horizontalScrollBar()->setValue(0);
    memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
}

void TFormMain::Private::wireEditor()
{
    SqlEditorTabs *tabs = editorTabs;
    // The document and editing commands act on the current tab.
    auto slot = [this, tabs](const char *name, void (SqlEditorPage::*method)()) {
        QObject::connect(actions.value(QString::fromLatin1(name)), &QAction::triggered, tabs, [tabs, method] {
            if (SqlEditorPage *page = tabs->currentPage())
                (page->*method)();
        });
    };
    slot("EditNew", &SqlEditorPage::EditNew);
    slot("EditOpen", &SqlEditorPage::EditOpen);
    slot("EditSave", &SqlEditorPage::EditSave);
    slot("server_undo", &SqlEditorPage::undo);
    slot("server_redo", &SqlEditorPage::redo);
    slot("server_upper", &SqlEditorPage::toUpperCase);
    slot("server_lower", &SqlEditorPage::toLowerCase);
    slot("server_rechts", &SqlEditorPage::indent);
    slot("server_inlinks", &SqlEditorPage::unindent);
    slot("server_font", &SqlEditorPage::chooseLineNumberFont);
    slot("server_line_font", &SqlEditorPage::chooseLineNumberFont);
    slot("server_properties", &SqlEditorPage::showProperties);
    slot("server_find", &SqlEditorPage::showFind);
    slot("server_replace", &SqlEditorPage::showReplace);
    slot("server_goto", &SqlEditorPage::showGotoLine);
    QObject::connect(actions.value(QStringLiteral("EditNewTab")), &QAction::triggered, tabs, &SqlEditorTabs::newTab);
    QObject::connect(actions.value(QStringLiteral("EditCloseTab")), &QAction::triggered, tabs,
                     &SqlEditorTabs::closeCurrentTab);
    // Ctrl+Tab and Ctrl+PgDown switch tabs and F5 reads the names again
    // while the editor has the focus; elsewhere they keep their usual
    // meaning (the pages' own switching, the tree's refresh).
    for (const char *name : {"EditNextTab", "EditPreviousTab", "EditReloadNames"}) {
        QAction *action = actions.value(QString::fromLatin1(name));
        q->removeAction(action);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        tabs->addAction(action);
    }
    QObject::connect(actions.value(QStringLiteral("EditNextTab")), &QAction::triggered, tabs, &SqlEditorTabs::nextTab);
    QObject::connect(actions.value(QStringLiteral("EditPreviousTab")), &QAction::triggered, tabs,
                     &SqlEditorTabs::previousTab);
    QObject::connect(actions.value(QStringLiteral("EditReloadNames")), &QAction::triggered, completionNames,
                     &CompletionNames::reload);
    QObject::connect(completionNames, &CompletionNames::readFailed, q, [this](const QString &message) {
        log->append(message);
    });
    // Cut, Copy and Paste act on whatever has the focus, the editor only
    // while it has it. The editor's pop-up menu shows the same actions, with
    // their shortcuts.
    QAction *cut = actions.value(QStringLiteral("EditCut1"));
    QAction *copy = actions.value(QStringLiteral("EditCopy1"));
    QAction *paste = actions.value(QStringLiteral("EditPaste1"));
    clipboard = new ClipboardCommands(q, cut, copy, paste, tabs->currentPage(), q);
    tabs->setClipboardActions(cut, copy, paste);
    // Ctrl+Enter runs the statement under the caret while an editor has
    // the focus; elsewhere it means nothing (the editor may be hidden).
    actions.value(QStringLiteral("EditExecStatement"))->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(groupedUndo, &QAction::toggled, tabs, &SqlEditorTabs::setGroupedUndo);
    QObject::connect(undoAfterSave, &QAction::toggled, tabs, &SqlEditorTabs::setUndoAfterSave);
    for (int i = 0; i < tabs->count(); ++i)
        wireEditorPage(tabs->page(i));
    QObject::connect(tabs, &SqlEditorTabs::pageAdded, q, [this](SqlEditorPage *page) { wireEditorPage(page); });
    QObject::connect(tabs, &SqlEditorTabs::currentPageChanged, q, [this](SqlEditorPage *page) {
        clipboard->setEditor(page);
        if (page)
            page->refreshStatus();
    });
    QObject::connect(tabs, &SqlEditorTabs::sessionSaveFailed, q, [this](const QString &message) {
        log->append(message);
    });
    QObject::connect(tabs, &SqlEditorTabs::restoreFailed, q, [this](const QString &message) {
        log->append(message);
    });
    const int sqlIndex = pageControl->indexOf(sqlPages);
    // Showing "Active SQL" always brings "SQL Query" to the front and gives
    // the editor the focus; a caller that wants "Query  Data" picks it next.
    QObject::connect(pageControl, &QTabWidget::currentChanged, q, [this, sqlIndex](int index) {
        if (index != sqlIndex)
            return;
        sqlPages->setCurrentWidget(editorTabs);
        editorPageShown(editorTabs->currentPage());
    });
    QObject::connect(sqlPages, &QTabWidget::currentChanged, q, [this](int) {
        if (sqlPages->currentWidget() == editorTabs && pageControl->currentWidget() == sqlPages)
            editorPageShown(editorTabs->currentPage());
    });
}

void TFormMain::Private::editorPageShown(SqlEditorPage *page)
{
    if (page)
        page->pageShown();
}

void TFormMain::Private::wireEditorPage(SqlEditorPage *page)
{
    // Every tab speaks to the status bar and the commands while it is the
    // current one.
    auto current = [this, page] { return editorTabs->currentPage() == page; };
    QObject::connect(page, &SqlEditorPage::modeTextChanged, panels[1], [this, current](const QString &text) {
        if (current())
            panels[1]->setText(text);
    });
    QObject::connect(page, &SqlEditorPage::caretTextChanged, panels[2], [this, current](const QString &text) {
        if (current())
            panels[2]->setText(text);
    });
    QObject::connect(page, &SqlEditorPage::commandStateChanged, q,
                     [this, current](bool canRedo, bool canPaste, bool hasSelection) {
                         if (!current())
                             return;
                         editorCanRedo = canRedo;
                         editorHasSelection = hasSelection;
                         clipboard->setEditorState(canPaste, hasSelection);
                         applyEditorNarrowing();
                     });
    QAction *statement = actions.value(QStringLiteral("EditExecStatement"));
    if (SqlEditor *editor = page->editor()) {
        // The editor would take the tab commands' keys for its own commands
        // (Ctrl+T swaps lines): the window's commands come first.
        for (const char *name : {"EditNewTab", "EditCloseTab", "EditNextTab", "EditPreviousTab", "EditReloadNames"}) {
            for (const QKeySequence &shortcut : actions.value(QString::fromLatin1(name))->shortcuts()) {
                const int key = shortcut[0].toCombined();
                while (QsciCommand *command = editor->standardCommands()->boundTo(key)) {
                    if (command->key() == key)
                        command->setKey(0);
                    if (command->alternateKey() == key)
                        command->setAlternateKey(0);
                }
            }
        }
        editor->addAction(statement);
        editor->installEventFilter(new StatementKeyFilter(statement, editor));
        EnableCompletion(editor, completionNames, [this] { return databaseInUse; });
    }
}

void TFormMain::Private::applyEditorNarrowing()
{
    auto set = [this](const char *name, bool enabled) {
        actions.value(QString::fromLatin1(name))->setEnabled(enabled);
    };
    set("server_redo", session && editorCanRedo);
    set("server_upper", session && editorHasSelection);
    set("server_lower", session && editorHasSelection);
    set("server_quote", session && editorHasSelection);
    // Cut, Copy and Paste follow the focus widget (ClipboardCommands).
}

void TFormMain::openDataFolder(const QString &folder)
{
    d->dataFolder = folder;
    d->editorTabs->setSessionFolder(folder.isEmpty() ? QString() : folder + QStringLiteral("/editor"));
    if (!d->history->open(folder.isEmpty() ? QString() : folder + QStringLiteral("/history.sqlite")))
        d->log->append(QStringLiteral("The statement history is kept for this run only: ") + d->history->errorString());
}

void TFormMain::Private::wireHistory()
{
    historyPanel->setHistory(history);
    QObject::connect(history, &QueryHistory::writeFailed, q, [this](const QString &message) { log->append(message); });
    // A statement chosen in the history goes to the end of the current tab.
    QObject::connect(historyPanel, &HistoryPanel::statementChosen, q, [this](const HistoryEntry &entry) {
        if (entry.truncated) {
            log->append(QStringLiteral("This statement was too long for the history: only its start was kept."));
            return;
        }
        SqlEditorPage *page = editorTabs->currentPage();
        if (!page)
            return;
        page->appendStatement(entry.statement);
        q->showPage(QStringLiteral("Active SQL"), QStringLiteral("SQL Query"));
        page->editor()->setFocus();
    });
}

void TFormMain::SaveProgramSettings()
{
    TProgramSettings &program = d->settings->programSettings();
    // Position of the frame and size of the client area: the same measures
    // move() and resize() take back at the next start, so nothing drifts.
    const QRect frame = frameGeometry();
    program.Left = frame.x();
    program.Top = frame.y();
    program.Width = width();
    program.Height = height();
    program.Max = isMaximized();
    d->settings->SaveProgramSettings();
}

bool TFormMain::Private::confirmClose()
{
    QMessageBox box(QMessageBox::Question, ApplicationTitle(),
                    QStringLiteral("Application close ?"), QMessageBox::Yes | QMessageBox::No, q);
    box.setDefaultButton(QMessageBox::No);
    // Closing stops what runs (the session closes after it); say so.
    if (statementsRunning)
        box.setInformativeText(QStringLiteral("A statement is still running: it will be stopped."));
    if (box.exec() != QMessageBox::Yes)
        return false;
    // Files are asked about; the tabs themselves are kept for the next start.
    if (!editorTabs->maybeSaveFiles())
        return false;
    editorTabs->saveSession();
    try {
        q->SaveProgramSettings();
    } catch (const SettingsWriteError &error) {
        // The user asked to leave: report the lost settings, still close.
        ShowErrorBox(q, QString::fromStdString(error.what()));
    }
    return true;
}

bool TFormMain::Close1Click()
{
    return close();
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    if (!d->closing && !d->confirmClose()) {
        event->ignore();
        return;
    }
    d->closing = true;
    d->tray->hide();
    Q_EMIT aboutToClose();
    event->accept();
}

void TFormMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    d->serverList->setFocus();
}

void TFormMain::HideToTray()
{
    // Without a notification area the icon could never bring the window
    // back, so it is minimized instead.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        return;
    }
    d->tray->show();
    hide();
}

void TFormMain::help_ShowExecute()
{
    d->tray->hide();
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    d->serverList->setFocus();
}

void TFormMain::server_addExecute()
{
    d->formServer->prepareForAdd();
    d->formServer->exec();
    if (!d->formServer->Editserver->text().isEmpty() && d->formServer->applied())
        AddServerItem(d->settings->currentProfile().Host);
    SetServerCommands(d->serverList->count() > 0);
}

void TFormMain::server_modifyExecute()
{
    const QList<QListWidgetItem *> selected = d->serverList->selectedItems();
    if (selected.isEmpty())
        return;
    d->settings->LoadServerProfile(selected.first()->text());
    d->formServer->prepareForModify();
    d->formServer->exec();
}

void TFormMain::server_removeExecute()
{
    const QList<QListWidgetItem *> selected = d->serverList->selectedItems();
    if (selected.isEmpty())
        return;
    QListWidgetItem *item = selected.first();
    const QString host = item->text();
    if (d->formMessage->ask(QStringLiteral("Delete Server from list"), QStringLiteral("Delete Server from list ?"),
                            host)
        == 1) {
        try {
            d->settings->DeleteServerProfile(host);
        } catch (const SettingsWriteError &error) {
            ShowErrorBox(this, QString::fromStdString(error.what()));
            return;
        }
        delete item;
    }
    SetServerCommands(d->serverList->count() > 0);
}

void TFormMain::tools_optionenExecute()
{
    d->formOptionen->load();
    d->formOptionen->exec();
}

void TFormMain::admin_start_local_dbExecute()
{
    d->log->append(LocalServer::startMessage(LocalServer::launch(d->settings->programSettings().start)));
}

void TFormMain::admin_stop_local_dbExecute()
{
    d->log->append(LocalServer::stopMessage(LocalServer::launch(d->settings->programSettings().stop)));
}

void TFormMain::help_aboutExecute()
{
    d->formAbout->exec();
}

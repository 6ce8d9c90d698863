#include "shell/sessioncontroller.h"

#include "client/mySQLClient.h"
#include "data/completionnames.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/scriptsplitter.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "dialogs/applicationtitle.h"
#include "dialogs/errorbox.h"
#include "dialogs/logindialog.h"
#include "dialogs/newpassworddialog.h"
#include "dialogs/sshhostkeydialog.h"
#include "editor/sqleditorpage.h"
#include "editor/sqleditortabs.h"
#include "shell/mainwindow.h"
#include "shell/resulttabs.h"
#include "shell/rowlimitbar.h"

#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QTreeView>

SessionController::SessionController(TFormMain *window, TDMstd *data, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_data(data)
{
    // Errors are pointed at in the tab whose script ran.
    data->setEditor(window->sqlEditorTabs());

    // Statements run on the client's worker: the window shows when they take
    // a while (after about 200 ms, so short ones do not flicker).
    connect(data, &TDMstd::statementsRunningChanged, window, &TFormMain::setStatementsRunning);
    if (QAction *stop = window->action(QStringLiteral("query_stop")))
        connect(stop, &QAction::triggered, data, &TDMstd::Stop);
    // Asked from the event loop, not from inside the outcome that found out.
    connect(data, &TDMstd::connectionLost, this, &SessionController::offerReconnect, Qt::QueuedConnection);
    connect(data, &TDMstd::SetSessionCommands, window, &TFormMain::SetSessionCommands);
    // The names the editor offers come from the session's server.
    connect(data, &TDMstd::SetSessionCommands, this, [window, data](bool open) {
        if (open)
            window->completionNames()->openSession(*data->ActiveClient());
        else
            window->completionNames()->closeSession();
    });
    connect(data, &TDMstd::SetAppServerCommands, window, &TFormMain::SetAppServerCommands);
    connect(data, &TDMstd::pageRequested, window, &TFormMain::showPage);
    // After a script's USE the tree shows that database: the next run
    // happens there.
    connect(data, &TDMstd::scriptChangedDatabase, data, &TDMstd::SelectDatabaseNode);
    if (auto *results = window->findChild<ResultTabs *>())
        results->setDataModule(data);
    connect(data, &TDMstd::dataGridVisibleChanged, window, &TFormMain::setDataGridVisible);
    connect(data, &TDMstd::errorRaised, window, [window](const QString &message) { ShowErrorBox(window, message); });
    QTreeView *tree = window->treeView();
    connect(data, &TDMstd::treeFocusRequested, tree, [tree] { tree->setFocus(); });
    connect(data, &TDMstd::treeNodeCollapseRequested, tree, &QTreeView::collapse);
    connect(data, &TDMstd::treeNodeExpandRequested, tree,
            [tree](const QModelIndex &node) { tree->expandRecursively(node); });

    // A double click opens a database itself (loading its tables); the
    // view's own expand-on-double-click would toggle it back.
    tree->setExpandsOnDoubleClick(false);
    tree->installEventFilter(this);
    connect(tree, &QTreeView::clicked, this, &SessionController::TreeServerClick);
    // The database of the selected node is where the next run happens.
    connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        QString database;
        m_window->setDatabaseInUse(selectedDatabase(&database) ? database : QString());
    });
    connect(tree, &QTreeView::doubleClicked, this, &SessionController::TreeServerDblClick);
    connect(window->serverList(), &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem *) { ListServerDblClick(); });

    const struct
    {
        const char *name;
        void (SessionController::*handler)();
    } actions[] = {
        {"database_select", &SessionController::database_select},
        {"server_refresh", &SessionController::server_refresh},
        {"table_def", &SessionController::table_def},
        {"table_property", &SessionController::table_property},
        {"table_index", &SessionController::table_index},
        {"EditExec", &SessionController::EditExec},
        {"EditExecSelection", &SessionController::EditExecSelection},
        {"EditExecStatement", &SessionController::EditExecStatement},
    };
    for (const auto &entry : actions) {
        if (QAction *action = window->action(QString::fromLatin1(entry.name)))
            connect(action, &QAction::triggered, this, entry.handler);
    }

    // The line above the data grid, and its two buttons.
    if (RowLimitBar *bar = window->rowLimitBar()) {
        connect(data, &TDMstd::dataGridRowsChanged, bar, [bar, data] { bar->setRows(data->DataGridRows()); });
        bar->setRows(data->DataGridRows());
    }
    if (QAction *showAll = window->action(QStringLiteral("table_show_all")))
        connect(showAll, &QAction::triggered, data, &TDMstd::ShowAllRows);
    if (QAction *next = window->action(QStringLiteral("table_next_rows")))
        connect(next, &QAction::triggered, data, &TDMstd::ShowNextRows);

    runLoginDialog = [](TFormLogin *dialog) { return int(dialog->ask()); };
    runNewPasswordDialog = [](TFormNewPassword *dialog) { return dialog->exec(); };
    connect(data, &TDMstd::passwordExpired, this, &SessionController::askNewPassword, Qt::QueuedConnection);
    runSshHostKeyDialog = [](TFormSshHostKey *dialog) { return dialog->exec(); };
    connect(data, &TDMstd::sshHostKeyUnknown, this, &SessionController::askSshHostKey, Qt::QueuedConnection);
    // The login with a new password went through: the server has it now,
    // and a profile that keeps a password keeps this one.
    connect(data, &TDMstd::SetSessionCommands, this, [this](bool connected) {
        if (!connected || m_changedPassword.isNull())
            return;
        const QString password = m_changedPassword;
        m_changedPassword = QString();
        if (!m_loginStoresPassword)
            return;
        try {
            m_window->settings()->SaveServerSecret(m_loginHost, SecretKind::Password, password);
        } catch (const SettingsWriteError &error) {
            ShowErrorBox(m_window, QString::fromStdString(error.what()));
        }
    });
}

SessionController::~SessionController() = default;

TDMstdViews SessionController::viewsOf(TFormMain *window)
{
    TDMstdViews views;
    views.tree = window->treeModel();
    views.treeSelection = window->treeView()->selectionModel();
    views.dataGrid = window->grid(QStringLiteral("AdvListView1"));
    views.definitionGrid = window->grid(QStringLiteral("AdvListView2"));
    views.statusGrid = window->grid(QStringLiteral("AdvListView3"));
    views.indexGrid = window->grid(QStringLiteral("AdvListView4"));
    views.queryGrid = window->grid(QStringLiteral("AdvListView5"));
    views.infoGrid = window->grid(QStringLiteral("AdvListView6"));
    views.autoLog = window->autoLog();
    views.userGrid = window->grid(QStringLiteral("AdvListViewUser"));
    views.hostGrid = window->grid(QStringLiteral("AdvListViewHost"));
    views.dbGrid = window->grid(QStringLiteral("AdvListViewDatabase"));
    views.jobGrid = window->grid(QStringLiteral("ListApplication"));
    views.messageGrid = window->grid(QStringLiteral("ListApplicationMsg"));
    views.log = window->messageLog();
    views.editor = window->sqlEditorTabs();
    views.history = window->history();
    if (SettingsStore *settings = window->settings()) {
        views.program = &settings->programSettings();
        views.profile = &settings->currentProfile();
    }
    return views;
}

QModelIndex SessionController::selectedNode() const
{
    return m_window->treeView()->currentIndex();
}

int SessionController::nodeLevel(const QModelIndex &index)
{
    if (!index.isValid())
        return 0;
    return index.parent().isValid() ? 2 : 1;
}

bool SessionController::selectedDatabase(QString *database) const
{
    const QModelIndex node = selectedNode();
    switch (nodeLevel(node)) {
    case 1:
        *database = node.data().toString();
        return true;
    case 2:
        *database = node.parent().data().toString();
        return true;
    default:
        return false;
    }
}

bool SessionController::selectedTable(QString *table, QString *database) const
{
    const QModelIndex node = selectedNode();
    if (nodeLevel(node) != 2)
        return false;
    *table = node.data(TDMstd::TableNameRole).toString();
    if (table->isEmpty())
        *table = node.data().toString();
    *database = node.parent().data().toString();
    return true;
}

void SessionController::ListServerDblClick()
{
    QListWidgetItem *row = m_window->serverList()->currentItem();
    if (!row || !row->isSelected())
        return;
    // A statement still running is stopped first: the login must not wait for it.
    m_data->CloseSession();
    m_window->SetSessionCommands(false);
    m_window->SetAppServerCommands(false);
    SettingsStore *settings = m_window->settings();
    settings->LoadServerProfile(row->text());
    TServerProfile &profile = settings->currentProfile();
    m_loginHost = row->text();
    m_loginStoresPassword = !profile.Psw.isEmpty();
    m_changedPassword = QString();

    TFormLogin dialog(m_window);
    dialog.setUser(profile.User);
    dialog.setPassword(profile.Psw);
    dialog.setServer(profile.Host);
    switch (runLoginDialog(&dialog)) {
    case TFormLogin::Login:
        profile.User = dialog.user();
        profile.Psw = dialog.password();
        break;
    case TFormLogin::Cancel:
        profile.User.clear();
        profile.Psw.clear();
        break;
    default:
        break; // closed otherwise: the pre-filled values stand
    }
    if (!profile.User.isEmpty())
        m_data->ConnectProfile();
}

void SessionController::askNewPassword(const QString &message)
{
    TFormNewPassword dialog(m_window);
    dialog.setMessage(message);
    if (runNewPasswordDialog(&dialog) != QDialog::Accepted)
        return;
    const QString password = dialog.password();
    if (m_data->ChangeExpiredPassword(password)) {
        m_window->settings()->currentProfile().Psw = password;
        m_changedPassword = password;
    }
}

void SessionController::askSshHostKey(const QString &server, const QString &keyType, const QString &fingerprint)
{
    TFormSshHostKey dialog(server, keyType, fingerprint, m_data->SshTunnel()->Settings().KnownHostsFile, m_window);
    if (runSshHostKeyDialog(&dialog) == QDialog::Accepted)
        m_data->AcceptSshHostKey(fingerprint);
    else
        m_data->RefuseSshHostKey();
}

void SessionController::TreeServerClick(const QModelIndex &)
{
    const char *name = nullptr;
    switch (nodeLevel(selectedNode())) {
    case 1:
        name = "PopupDatabase";
        break;
    case 2:
        name = "PopupMenuTable";
        break;
    default:
        return;
    }
    m_treePopup = m_window->popupMenu(QString::fromLatin1(name));
}

void SessionController::TreeServerDblClick(const QModelIndex &index)
{
    QTreeView *tree = m_window->treeView();
    if (nodeLevel(index) > 0 && !m_data->mayStart())
        return; // statements are running: no grid changes under them
    switch (nodeLevel(index)) {
    case 1:
        if (tree->isExpanded(index)) {
            tree->expand(index);
        } else {
            m_data->ListTablesWithStatus(index.data().toString());
            if (GridModel *grid = m_window->grid(QStringLiteral("AdvListView1")))
                grid->clear();
        }
        break;
    case 2: {
        // The node keeps the table's name: its text only shows it.
        const QString name = index.data(TDMstd::TableNameRole).toString();
        if (name.isEmpty())
            m_data->OpenTable(index.data().toString(), index.parent().data().toString());
        else
            m_data->OpenTableNamed(name, index.parent().data().toString());
        break;
    }
    default:
        break;
    }
    m_window->showPage(QStringLiteral("Table View"), QStringLiteral("Data View"));
}

void SessionController::offerReconnect()
{
    const auto answer = QMessageBox::question(
        m_window, ApplicationTitle(),
        QStringLiteral("The connection to the server was lost. Connect again with the same profile ?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        m_data->Reconnect();
}

void SessionController::database_select()
{
    QString database;
    if (selectedDatabase(&database))
        m_data->SelectDatabase(database);
}

void SessionController::server_refresh()
{
    m_data->RefreshDatabaseList();
    m_window->completionNames()->reload();
}

void SessionController::tableCommand(const QString &subPage,
                                     void (TDMstd::*operation)(const QString &, const QString &))
{
    QString table;
    QString database;
    if (!selectedTable(&table, &database) || !m_data->mayStart())
        return;
    if (GridModel *grid = m_window->grid(QStringLiteral("AdvListView1")))
        grid->clear();
    (m_data->*operation)(table, database);
    m_window->showPage(QStringLiteral("Table View"), subPage);
}

void SessionController::table_def()
{
    tableCommand(QStringLiteral("Definition View"), &TDMstd::ShowTableDefinition);
}

void SessionController::table_property()
{
    tableCommand(QStringLiteral("Table Status"), &TDMstd::ShowTableStatus);
}

void SessionController::table_index()
{
    tableCommand(QStringLiteral("Table Index"), &TDMstd::ShowTableIndex);
}

void SessionController::beginRun()
{
    // A run refused because another is under way leaves that run's tab.
    if (m_data->acceptsCommands())
        m_window->sqlEditorTabs()->beginRun();
}

void SessionController::EditExec()
{
    QString database;
    if (!selectedDatabase(&database))
        return; // no node chosen: no database to run the script in
    SqlEditorPage *editor = m_window->sqlEditor();
    if (!editor)
        return;
    beginRun();
    m_data->ExecuteScript(database, editor->scriptText());
}

void SessionController::EditExecSelection()
{
    QString database;
    SqlEditorPage *editor = m_window->sqlEditor();
    if (!editor || !selectedDatabase(&database))
        return;
    int offset = 0;
    const QString selection = editor->selectedScript(&offset);
    if (selection.trimmed().isEmpty()) {
        m_window->messageLog()->append(QStringLiteral("Exec Selection: no text is selected."));
        return;
    }
    // Errors are pointed at in the whole text; a selection inside a
    // DELIMITER block is cut by that block's delimiter.
    beginRun();
    m_data->ExecuteScript(database, selection, offset, DelimiterAt(editor->scriptText(), offset));
}

void SessionController::EditExecStatement()
{
    QString database;
    SqlEditorPage *editor = m_window->sqlEditor();
    if (!editor || !selectedDatabase(&database))
        return;
    ScriptStatement statement;
    QString delimiter;
    if (!StatementAt(editor->scriptText(), editor->caretOffset(), &statement, &delimiter))
        return;
    beginRun();
    m_data->ExecuteScript(database, statement.text, statement.offset, delimiter);
}

bool SessionController::eventFilter(QObject *watched, QEvent *event)
{
    // Only the tree is watched. Events still come while the window is torn
    // down: the window is not asked for anything before a key press.
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    auto *tree = qobject_cast<QTreeView *>(watched);
    if (!tree)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    const QModelIndex current = tree->currentIndex();
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!current.isValid())
            return false;
        TreeServerDblClick(current);
        return true;
    case Qt::Key_Right:
        // An expanded database goes on to its first table, as usual.
        if (nodeLevel(current) == 2 || (nodeLevel(current) == 1 && !tree->isExpanded(current))) {
            TreeServerDblClick(current);
            return true;
        }
        return false;
    case Qt::Key_F5:
        if (QAction *refresh = m_window->action(QStringLiteral("server_refresh")); refresh && refresh->isEnabled())
            refresh->trigger();
        return true;
    default:
        return false;
    }
}

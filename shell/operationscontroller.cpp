#include "shell/operationscontroller.h"

#include "client/mySQLClient.h"
#include "data/connectionoptions.h"
#include "data/gridmodel.h"
#include "data/sqlnames.h"
#include "data/tabledesign.h"
#include "data/tdmstd.h"
#include "dialogs/applicationtitle.h"
#include "dialogs/createdbdialog.h"
#include "dialogs/tablecreatedialog.h"
#include "dialogs/tablelockdialog.h"
#include "shell/gridviews.h"
#include "shell/mainwindow.h"
#include "shell/processrefresh.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>

namespace {

const char *const InfoStatements[] = {"SHOW VARIABLES", "SHOW STATUS", "SHOW PROCESSLIST"};

} // namespace

OperationsController::OperationsController(TFormMain *window, TDMstd *data, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_data(data)
    , m_createDb(new TFormCreateDb(window))
    , m_tblLock(new TFormTblLock(window))
{
    const struct
    {
        const char *name;
        void (OperationsController::*handler)();
    } actions[] = {
        {"databse_create", &OperationsController::databse_create},
        {"database_drop", &OperationsController::database_drop},
        {"table_drop", &OperationsController::table_drop},
        {"table_optimize", &OperationsController::table_optimize},
        {"table_lock", &OperationsController::table_lock},
        {"table_unlock", &OperationsController::table_unlock},
        {"table_comment", &OperationsController::table_comment},
        {"table_delete_row", &OperationsController::table_delete_row},
        {"admin_variable", &OperationsController::admin_variable},
        {"admin_status", &OperationsController::admin_status},
        {"admin_process", &OperationsController::admin_process},
        {"database_kill", &OperationsController::database_kill},
        {"database_kill_query", &OperationsController::database_kill_query},
        {"tools_autolog", &OperationsController::tools_autolog},
        {"tools_clearlog", &OperationsController::tools_clearlog},
        {"tools_messageclear", &OperationsController::tools_messageclear},
        {"table_create", &OperationsController::table_create},
        {"table_modify", &OperationsController::table_modify},
    };
    for (const auto &entry : actions) {
        if (QAction *action = window->action(QString::fromLatin1(entry.name)))
            connect(action, &QAction::triggered, this, entry.handler);
    }
    const struct
    {
        const char *name;
        const char *statement;
    } flushes[] = {
        {"flush_host", "FLUSH HOSTS"},         {"flush_log", "FLUSH LOGS"},
        {"flush_privileges", "FLUSH PRIVILEGES"}, {"flush_tables", "FLUSH TABLES"},
        {"flush_status", "FLUSH STATUS"},
    };
    for (const auto &entry : flushes) {
        const QString statement = QString::fromLatin1(entry.statement);
        if (QAction *action = window->action(QString::fromLatin1(entry.name)))
            connect(action, &QAction::triggered, this, [this, statement] { flush(statement); });
    }
    int count = 0;
    const ConnectionOption *options = connectionOptions(&count);
    for (int i = 0; i < count; ++i) {
        const QString name = QString::fromLatin1(options[i].action);
        if (QAction *action = window->action(name))
            connect(action, &QAction::triggered, this, [this, name] { connectionOption(name); });
    }

    m_autoLogAction = window->action(QStringLiteral("tools_autolog"));
    if (m_autoLogAction)
        m_autoLogAction->setCheckable(true);
    m_autoLog.setInterval(10000);
    connect(&m_autoLog, &QTimer::timeout, this, &OperationsController::autoLogTick);
    if (auto *refresh = window->findChild<ProcessRefresh *>())
        connect(refresh, &ProcessRefresh::refreshDue, this, &OperationsController::refreshProcesses);

    // The tab strip of "Database Info" lists when the user picks a tab; the
    // program's own changes list nothing.
    if (QTabBar *tabs = window->databaseInfoTabs()) {
        connect(tabs, &QTabBar::currentChanged, this, [this](int index) {
            if (m_settingInfoTab)
                return;
            listServerInfo(index);
        });
    }
    if (auto *pages = window->findChild<QTabWidget *>(QStringLiteral("PageControl1"))) {
        connect(pages, &QTabWidget::currentChanged, this, [this, pages](int index) {
            QTabBar *tabs = m_window->databaseInfoTabs();
            if (tabs && pages->widget(index) && pages->widget(index)->isAncestorOf(tabs))
                selectInfoTab(0);
        });
    }

    TFormTableCreate *designer = window->formTableCreate();
    QPointer<TFormTableCreate> guard(designer);
    designer->runStatement = [this, guard](const QString &statement) {
        if (!guard)
            return;
        m_data->RunTableDesign(statement, guard->database(), [guard](const TmySQLClientOutcome &outcome) {
            if (guard)
                guard->statementFinished(!outcome.Failed, outcome.ErrorText);
        });
    };
}

OperationsController::~OperationsController() = default;

QModelIndex OperationsController::selectedNode() const
{
    return m_window->treeView()->currentIndex();
}

bool OperationsController::selectedDatabase(QString *database) const
{
    const QModelIndex node = selectedNode();
    if (!node.isValid() || node.parent().isValid())
        return false;
    *database = node.data().toString();
    return true;
}

bool OperationsController::selectedTable(QString *table, QString *database) const
{
    const QModelIndex node = selectedNode();
    if (!node.isValid() || !node.parent().isValid())
        return false;
    // The node keeps the table's name; its text only shows it.
    *table = node.data(TDMstd::TableNameRole).toString();
    if (table->isEmpty())
        *table = TableNameFromNodeText(node.data().toString());
    *database = node.parent().data().toString();
    return true;
}

bool OperationsController::confirm(const QString &question)
{
    return QMessageBox::question(m_window, ApplicationTitle(), question,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

// --- Database and table operations ---------------------------------------------

void OperationsController::databse_create()
{
    const QString name = m_createDb->ask(
        QStringLiteral("Create Database"),
        QStringLiteral("CREATE DATABASE creates a database with the given name. An error occurs if the database "
                       "already exists. Databases are directories in the server's data directory, and the tables "
                       "of a database are files in its directory."),
        QStringLiteral("Database Name :"));
    if (name.isEmpty())
        return;
    m_data->CreateDatabase(name);
}

void OperationsController::database_drop()
{
    QString database;
    if (!selectedDatabase(&database))
        return;
    m_data->PrepareDatabaseDrop();
    if (confirm(QStringLiteral("Drop Database ") + database + QStringLiteral(" ?")))
        m_data->DropDatabase(database);
}

void OperationsController::table_drop()
{
    QString table;
    QString database;
    if (!selectedTable(&table, &database))
        return;
    m_data->PrepareTableDrop();
    if (confirm(QStringLiteral("Drop Table ") + table + QStringLiteral(" ?")))
        m_data->DropTable(table, database);
}

void OperationsController::table_optimize()
{
    QString table;
    QString database;
    if (selectedTable(&table, &database))
        m_data->OptimizeTable(table, database);
}

void OperationsController::table_lock()
{
    QString table;
    QString database;
    if (!selectedTable(&table, &database))
        return;
    const QString name = m_tblLock->ask(table);
    if (name.isEmpty())
        return;
    TDMstd::TableLock lock = TDMstd::LockRead;
    if (m_tblLock->RadioWrite->isChecked())
        lock = m_tblLock->CheckLowPriority->isChecked() ? TDMstd::LockLowPriorityWrite : TDMstd::LockWrite;
    m_data->LockTable(name, database, lock);
}

void OperationsController::table_unlock()
{
    QString table;
    QString database;
    if (selectedTable(&table, &database))
        m_data->UnlockTables(database);
}

void OperationsController::table_comment()
{
    QString table;
    QString database;
    if (!selectedTable(&table, &database))
        return;
    const QString comment = m_createDb->ask(QStringLiteral("Table Comment"),
                                            QStringLiteral("A 60 character comment for your table "),
                                            QStringLiteral("Comment :"));
    if (comment.isEmpty())
        return;
    m_data->CommentTable(table, database, comment);
}

void OperationsController::table_delete_row()
{
    // Of several selected rows, the current one.
    const int row = ChosenRow(m_window->gridView(QStringLiteral("AdvListView1")));
    if (row < 0)
        return;
    if (!confirm(QStringLiteral("Delete this row ?")))
        return;
    QString table;
    QString database;
    if (!selectedTable(&table, &database))
        return;
    m_data->DeleteRow(row, table, database);
}

// --- Server information and maintenance ------------------------------------------

void OperationsController::selectInfoTab(int tab)
{
    QTabBar *tabs = m_window->databaseInfoTabs();
    if (!tabs)
        return;
    m_settingInfoTab = true;
    tabs->setCurrentIndex(tab);
    m_settingInfoTab = false;
}

void OperationsController::listServerInfo(int tab)
{
    if (tab < 0 || tab > 2)
        return;
    const bool process = tab == 2;
    m_showingProcesses = process;
    m_window->setGridPopup(QStringLiteral("AdvListView6"),
                           m_window->popupMenu(process ? QStringLiteral("PopupKill")
                                                       : QStringLiteral("PopupDatabaseInfo")));
    if (auto *refresh = m_window->findChild<ProcessRefresh *>())
        refresh->setVisible(process);
    m_data->LoadServerInfo(QString::fromLatin1(InfoStatements[tab]), process);
    m_window->showPage(QStringLiteral("Database Info"));
    selectInfoTab(tab);
}

void OperationsController::admin_variable()
{
    listServerInfo(0);
}

void OperationsController::admin_status()
{
    listServerInfo(1);
}

void OperationsController::admin_process()
{
    listServerInfo(2);
}

QString OperationsController::chosenProcess() const
{
    QTableView *view = m_window->gridView(QStringLiteral("AdvListView6"));
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView6"));
    const int row = ChosenRow(view);
    if (!m_showingProcesses || !grid || row < 0)
        return QString();
    return grid->caption(row);
}

void OperationsController::database_kill_query()
{
    const QString id = chosenProcess();
    if (id.isEmpty())
        return;
    m_data->KillQuery(id);
    admin_process();
}

void OperationsController::refreshProcesses()
{
    // Only while the list is on screen, and never in the way of the user's
    // own statements.
    auto *refresh = m_window->findChild<ProcessRefresh *>();
    if (!m_showingProcesses || !refresh || !refresh->isVisible() || !m_data->acceptsCommands())
        return;
    m_data->LoadServerInfo(QString::fromLatin1(InfoStatements[2]), true);
}

void OperationsController::database_kill()
{
    const QString id = chosenProcess();
    if (id.isEmpty())
        return;
    // Killing the program's own connection ends the session: asked first.
    const unsigned long own = m_data->ActiveClient()->ConnectionId();
    if (own != 0 && id == QString::number(own)
        && !confirm(QStringLiteral("Process %1 is this program's own connection: killing it ends the session. "
                                   "Kill Task %1 ?")
                        .arg(id)))
        return;
    m_data->KillProcess(id);
    admin_process();
}

void OperationsController::flush(const QString &statement)
{
    m_data->Flush(statement);
}

void OperationsController::connectionOption(const QString &action)
{
    const ConnectionOption *option = ::connectionOption(action);
    if (!option)
        return;
    const QString value = m_createDb->ask(QString::fromLatin1(option->caption), QString::fromLatin1(option->help),
                                          QString::fromLatin1(option->prompt));
    if (value.isEmpty())
        return;
    m_data->SetConnectionOption(action, value);
}

void OperationsController::tools_autolog()
{
    // The action checks itself when triggered; the timer decides.
    if (m_autoLog.isActive()) {
        stopAutoLog();
        return;
    }
    m_autoLogConnection = m_data->ActiveClient()->ConnectionId();
    m_autoLog.start();
    m_window->showPage(QStringLiteral("Auto Database Log"));
    m_data->ReportAutoLog(true);
    if (m_autoLogAction)
        m_autoLogAction->setChecked(true);
}

void OperationsController::stopAutoLog()
{
    m_autoLog.stop();
    m_data->ReportAutoLog(false);
    if (m_autoLogAction)
        m_autoLogAction->setChecked(false);
}

void OperationsController::autoLogTick()
{
    // The log belongs to the connection it was started on: once that one is
    // closed, lost or replaced by another login, it stops.
    TmySQLClient *client = m_data->ActiveClient();
    if (!client->Connected() || client->ConnectionId() != m_autoLogConnection) {
        stopAutoLog();
        return;
    }
    m_data->ReadServerStatus([this](const TmySQLClientOutcome &outcome) {
        if (outcome.LostConnection() && m_autoLog.isActive())
            stopAutoLog();
    });
}

void OperationsController::tools_clearlog()
{
    m_data->ClearAutoLog();
}

void OperationsController::tools_messageclear()
{
    m_data->ClearMessageLog();
}

// --- Table designer -------------------------------------------------------------

void OperationsController::table_create()
{
    QString database;
    QString table;
    if (!selectedDatabase(&database) && !selectedTable(&table, &database))
        return;
    QPointer<OperationsController> self(this);
    m_data->LoadDesignChoices(database, [self, database](const TableDesignChoices &choices) {
        // Shown from the event loop, not from inside the statement's handler.
        QTimer::singleShot(0, self, [self, database, choices] {
            if (!self)
                return;
            self->m_window->formTableCreate()->startCreate(database, choices);
            self->openDesigner();
        });
    });
}

void OperationsController::table_modify()
{
    QString table;
    QString database;
    if (!selectedTable(&table, &database))
        return;
    QPointer<OperationsController> self(this);
    m_data->LoadDesignChoices(database, [self, table, database](const TableDesignChoices &choices) {
        if (!self)
            return;
        self->m_data->LoadTableDesign(table, database, [self, database, choices](const TableDesign &design) {
            QTimer::singleShot(0, self, [self, database, choices, design] {
                if (!self)
                    return;
                self->m_window->formTableCreate()->startModify(database, design, choices);
                self->openDesigner();
            });
        });
    });
}

void OperationsController::openDesigner()
{
    m_window->formTableCreate()->exec();
}

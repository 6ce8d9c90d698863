#pragma once

#include <QModelIndex>
#include <QObject>
#include <QTimer>

class QAction;
class TDMstd;
class TFormCreateDb;
class TFormMain;
class TFormTblLock;

// The main window's handlers of the database and table operations, the
// server information and maintenance commands, the automatic log and the
// table designer. It asks the user (questions, the input and lock dialogs,
// the designer) and hands the answers to the data module.
class OperationsController : public QObject
{
    Q_OBJECT

public:
    // The window must outlive the controller (make it the parent).
    OperationsController(TFormMain *window, TDMstd *data, QObject *parent = nullptr);
    ~OperationsController() override;

    // Database and table operations
    void databse_create();
    void database_drop();
    void table_drop();
    void table_optimize();
    void table_lock();
    void table_unlock();
    void table_comment();
    void table_delete_row();

    // Server information and maintenance
    void admin_variable();
    void admin_status();
    void admin_process();
    void database_kill();
    void database_kill_query(); // KILL QUERY: the statement ends, the connection stays
    void flush(const QString &statement);
    void connectionOption(const QString &action);
    void tools_autolog();
    void tools_clearlog();
    void tools_messageclear();

    // Table designer
    void table_create();
    void table_modify();

    // The automatic log polls every 10000 ms; tests shorten it.
    void setAutoLogInterval(int msecs) { m_autoLog.setInterval(msecs); }
    int autoLogInterval() const { return m_autoLog.interval(); }
    bool autoLogActive() const { return m_autoLog.isActive(); }

    TFormCreateDb *formCreateDb() const { return m_createDb; }
    TFormTblLock *formTblLock() const { return m_tblLock; }

private:
    QModelIndex selectedNode() const;
    bool selectedDatabase(QString *database) const; // a database node only
    bool selectedTable(QString *table, QString *database) const;
    bool confirm(const QString &question);
    // Lists one of the three on "Database Info" and shows that tab.
    void listServerInfo(int tab);
    void selectInfoTab(int tab);
    // The process id of the chosen row of the process list; empty: none.
    QString chosenProcess() const;
    void refreshProcesses();
    void autoLogTick();
    void stopAutoLog();
    void openDesigner();

    TFormMain *m_window;
    TDMstd *m_data;
    TFormCreateDb *m_createDb;
    TFormTblLock *m_tblLock;
    QAction *m_autoLogAction = nullptr;
    QTimer m_autoLog;
    unsigned long m_autoLogConnection = 0;
    bool m_settingInfoTab = false;
    bool m_showingProcesses = false;
};

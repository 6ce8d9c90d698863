#pragma once

#include <QHash>
#include <QIcon>
#include <QModelIndex>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "client/mysqlclienttask.h"
#include "client/sshtunnel.h"
#include "data/datagridrows.h"
#include "data/appserverstatements.h"
#include "data/hostlist.h"
#include "data/privilegestatements.h"

class GridModel;
class MessageLog;
class QueryHistory;
class QItemSelectionModel;
class QStandardItem;
class QStandardItemModel;
class GridRowSource;
class ScriptEditor;
class StreamedRows;
class TmySQLClient;
class TmySQLResultRows;
struct ScriptRun;

// One result set of the last run from the editor, as its result tab shows it.
struct TQueryRunResult
{
    int number = 0;      // 1 for the run's first result set
    QString statement;   // the statement that returned it
    int rows = 0;
    // The rows as the grid reads them: the row store the result streamed
    // into, or the client's stored rows.
    std::shared_ptr<const GridRowSource> source;
    // The columns (names, types); of a stored result also its rows.
    std::shared_ptr<const TmySQLResultRows> columns;
    bool streamed = false; // source is a row store holding the rows as shown
};
struct ScriptFileRun;
struct TScriptFileProgress;
struct TProgramSettings;
struct TServerProfile;
struct TableDesign;
struct TableDesignChoices;

// What the data module fills and reads. The window (or a test) hands these
// over; the data module never touches a widget.
struct TDMstdViews
{
    QStandardItemModel *tree = nullptr;          // `TreeServer`: databases, tables below
    QItemSelectionModel *treeSelection = nullptr; // its selected node
    GridModel *dataGrid = nullptr;                // `AdvListView1` "Data View"
    GridModel *definitionGrid = nullptr;          // `AdvListView2` "Definition View"
    GridModel *statusGrid = nullptr;              // `AdvListView3` "Table Status"
    GridModel *indexGrid = nullptr;               // `AdvListView4` "Table Index"
    GridModel *queryGrid = nullptr;               // `AdvListView5` "Query  Data"
    GridModel *userGrid = nullptr;                // `AdvListViewUser`
    GridModel *hostGrid = nullptr;                // `AdvListViewHost`
    GridModel *dbGrid = nullptr;                  // `AdvListViewDatabase`
    GridModel *jobGrid = nullptr;                 // `ListApplication`
    GridModel *messageGrid = nullptr;             // `ListApplicationMsg`
    MessageLog *log = nullptr;                    // `Memo`
    ScriptEditor *editor = nullptr;               // `SyntaxMemo`
    TProgramSettings *program = nullptr;          // DBL, DBHL
    TServerProfile *profile = nullptr;            // the current server profile
    GridModel *infoGrid = nullptr;                // `AdvListView6` "Database Info"
    MessageLog *autoLog = nullptr;                // `Memolog` "Auto Database Log"
    QueryHistory *history = nullptr;              // records the editor's statements
};

// The data module: owns the one client `ActiveClient`, composes every
// statement, fills the tree and the grids, and writes the message log.
// What only a window can do (cursor, pages, switches, focus, error boxes)
// it asks for through signals.
class TDMstd : public QObject
{
    Q_OBJECT

public:
    // Roles of the tree's items.
    enum TreeRole { TableNameRole = Qt::UserRole + 1 };

    explicit TDMstd(const TDMstdViews &views, QObject *parent = nullptr);
    ~TDMstd() override;

    TmySQLClient *ActiveClient() const { return m_client; }
    const TDMstdViews &views() const { return m_views; }
    void setEditor(ScriptEditor *editor) { m_views.editor = editor; }
    void setNodeIcons(const QIcon &database, const QIcon &table);

    // Session and tree
    // Copies the current profile into `ActiveClient` and connects. False (and
    // errorRaised) when the profile's port is not a whole number: no attempt.
    bool ConnectProfile();
    // Connects again with the profile of the session that was lost and makes
    // the database current again that was current then. A profile with
    // further hosts tries the host after the one that was lost first, and
    // that one last.
    bool Reconnect();
    // The host and port of the connection (or of the attempt under way).
    QString ConnectedHost() const { return m_hostIndex < m_hosts.size() ? m_hosts.at(m_hostIndex).text() : QString(); }
    // After passwordExpired: logs in with the profile again, setting
    // newPassword as the account's password first.
    bool ChangeExpiredPassword(const QString &newPassword);
    // A profile with SSH connects through this tunnel; it opens with each
    // login and closes with the session.
    TSshTunnel *SshTunnel() const { return m_tunnel; }
    // After sshHostKeyUnknown: the user accepted the key with this
    // fingerprint. It is added to the known hosts and the login goes on.
    void AcceptSshHostKey(const QString &fingerprint);
    // ... or refused it: the login ends.
    void RefuseSshHostKey();
    // Ends the session: a statement under way is stopped first, so closing
    // never waits for it.
    void CloseSession();

    // Statements run on the client's worker thread; the window stays
    // answering meanwhile. Whether any are under way (queued, running, or
    // their outcome not yet handled):
    bool statementsRunning() const;
    // Whether a command of the user may send statements now: not while
    // others run, which it would interleave with (a script's next statement
    // would run in the database the command selects).
    bool acceptsCommands() const;
    // Reads of the pages that watch the server (replication, cluster): a
    // command of the user does not wait for them but is queued behind them.
    // count statements were queued; each one's handler reports it done.
    void noteWatchReads(int count);
    void watchReadDone();
    // Starts a command of the user: false (with a line in the log) when
    // statements are running and this is not the next step of their chain.
    bool mayStart();
    // Stops what runs: the statements not yet sent are dropped, the running
    // one is ended by the server (KILL QUERY on a second connection) and
    // reports the server's message; a connect attempt is abandoned.
    void Stop();
    // Stops what runs and waits (handling outcomes) until nothing does, or
    // until the time is up; for the program's end.
    bool StopAndWait(int milliseconds);
    void RefreshDatabaseList();
    void UseDatabase(const QString &database);
    // Makes the database current and then runs `then`; when the server
    // refuses (another session dropped it, no privilege) the error is logged
    // and the chain stops there: nothing runs in another database instead.
    void UseDatabase(const QString &database, std::function<void()> then, std::function<void()> failed = {});
    void ListTablesPlain();
    // "&Select Database": the two log lines around the selection.
    void SelectDatabase(const QString &database);
    // Selects the database's node in the tree; a database the tree does not
    // list yet (a script created it) is selected once the list is read again.
    void SelectDatabaseNode(const QString &database);

    // Table views
    void ListTablesWithStatus(const QString &database);
    void OpenTable(const QString &nodeText, const QString &database);
    // The same for a table known by its name (the tree keeps it on the node:
    // a name may itself look like "x  ( 5 )").
    void OpenTableNamed(const QString &table, const QString &database);
    void ShowTableDefinition(const QString &table, const QString &database);
    void ShowTableStatus(const QString &table, const QString &database);
    void ShowTableIndex(const QString &table, const QString &database);

    // Query execution
    void ExecuteScript(const QString &database, const QString &script);
    // Runs a piece of the editor's text (a selection, one statement):
    // `offset` is where it stands in the whole text, so that an error is
    // pointed at there, and `delimiter` the statement delimiter in force
    // at its start.
    void ExecuteScript(const QString &database, const QString &script, int offset, const QString &delimiter);
    // Runs one statement; its outcome line goes to the log, then `done` (if
    // any) learns whether the server accepted it.
    using StatementDone = std::function<void(const TmySQLClientOutcome &)>;
    void RunStatement(const QString &statement, StatementDone done = {});
    // "Run SQL File" (data/scriptfile.cpp): the statements of a file of any
    // size, read from disk part by part, in the database, by Exec's rules
    // but without a log line per statement. Progress comes a few times a
    // second; the last report (finished) follows the summary line in the
    // log. False when nothing started (statements running, unreadable file).
    bool RunScriptFile(const QString &database, const QString &path);
    bool scriptFileRunning() const { return bool(m_fileRun); }
    // Stops the file run: the statement under way is ended by the server.
    void StopScriptFile();
    // Whether a script run is under way (its statements are sent one after
    // another from the completion of the previous one).
    bool scriptRunning() const { return m_scriptRunning; }
    // The result sets of the last run, in the order they came (at most
    // MaxRunResults, the newest); the last one is what the query grid shows.
    static constexpr int MaxRunResults = 50;
    const QList<TQueryRunResult> &RunResults() const { return m_runResults; }
    // Fills grid as the query grid was filled with result `index` of RunResults().
    void FillRunResultGrid(int index, GridModel *grid);
    // The first 60 characters of a statement on one line, for the log and tabs.
    static QString StatementCaption(const QString &statement);
    static QString RowsCaption(int rows); // "1 row", "20 rows"

    // Database and table operations. Names are quoted and values escaped;
    // the tree and the grids change only when the server accepted the change.
    void CreateDatabase(const QString &name);
    void PrepareDatabaseDrop();
    void DropDatabase(const QString &database);
    void PrepareTableDrop(); // also empties the data grid
    void DropTable(const QString &table, const QString &database);
    void OptimizeTable(const QString &table, const QString &database);
    enum TableLock { LockRead, LockWrite, LockLowPriorityWrite };
    void LockTable(const QString &table, const QString &database, TableLock lock);
    void UnlockTables(const QString &database);
    void CommentTable(const QString &table, const QString &database, const QString &comment);
    // Deletes the data grid's row from the table it shows; false (and a log
    // line) when the grid shows another table than the one named.
    bool DeleteRow(int row, const QString &table, const QString &database);
    // The table whose rows the data grid shows (empty before the first).
    QString DataGridTable() const { return m_dataGridTable; }
    QString DataGridDatabase() const { return m_dataGridDatabase; }

    // Rows past the row limit (data/datapaging.cpp), read from the server in
    // both modes. Nothing happens when the grid shows all there is.
    const TDataGridRows &DataGridRows() const { return m_gridRows; }
    void ShowAllRows();
    void ShowNextRows(); // the next `limit` rows
    static QString LockStatement(const QString &table, TableLock lock);

    // Server information and maintenance
    void LoadServerInfo(const QString &statement, bool process);
    void KillProcess(const QString &id);
    // Ends the statement the process runs; its connection stays.
    void KillQuery(const QString &id);
    void Flush(const QString &statement);
    // One of the "Database Options" by its action name, with the value as typed.
    void SetConnectionOption(const QString &action, const QString &value);
    // Appends the server's status line to the automatic log; false when no
    // read was started (not connected, or the last one has not come back).
    bool ReadServerStatus(StatementDone done = {});
    void ReportAutoLog(bool active);
    void ClearAutoLog();
    void ClearMessageLog();

    // Table designer
    void LoadDesignChoices(const QString &database, std::function<void(const TableDesignChoices &)> loaded);
    void LoadTableDesign(const QString &table, const QString &database,
                         std::function<void(const TableDesign &)> loaded);
    // Runs a composed CREATE or ALTER TABLE in the database and, once the
    // server accepted it, lists the database's tables again.
    void RunTableDesign(const QString &statement, const QString &database, StatementDone done);

    // Privilege tables (data/privileges.cpp). A load reads the table into its
    // grid by column name. A change is composed for the layout the server
    // keeps the table in; its statements stop at the first refusal, and then
    // FLUSH PRIVILEGES and a fresh read of the table follow in any case.
    void LoadUserTable() { LoadPrivilegeTable(PrivilegeTable::User); }
    void LoadHostTable() { LoadPrivilegeTable(PrivilegeTable::Host); }
    void LoadDbTable() { LoadPrivilegeTable(PrivilegeTable::Db); }
    void LoadPrivilegeTable(PrivilegeTable table);
    void ChangePrivilegeTable(PrivilegeTable table, PrivilegeChange change, const TPrivilegeRow &row);
    void InsertUserRow(const TPrivilegeRow &row) { ChangePrivilegeTable(PrivilegeTable::User, PrivilegeChange::Insert, row); }
    void UpdateUserRow(const TPrivilegeRow &row) { ChangePrivilegeTable(PrivilegeTable::User, PrivilegeChange::Update, row); }
    void DeleteUserRow(const TPrivilegeRow &row) { ChangePrivilegeTable(PrivilegeTable::User, PrivilegeChange::Delete, row); }
    void InsertHostRow(const TPrivilegeRow &row) { ChangePrivilegeTable(PrivilegeTable::Host, PrivilegeChange::Insert, row); }
    void UpdateHostRow(const TPrivilegeRow &row) { ChangePrivilegeTable(PrivilegeTable::Host, PrivilegeChange::Update, row); }
    void DeleteHostRow(const TPrivilegeRow &row) { ChangePrivilegeTable(PrivilegeTable::Host, PrivilegeChange::Delete, row); }
    void InsertDbRow(const TPrivilegeRow &row) { ChangePrivilegeTable(PrivilegeTable::Db, PrivilegeChange::Insert, row); }
    void UpdateDbRow(const TPrivilegeRow &row) { ChangePrivilegeTable(PrivilegeTable::Db, PrivilegeChange::Update, row); }
    void DeleteDbRow(const TPrivilegeRow &row) { ChangePrivilegeTable(PrivilegeTable::Db, PrivilegeChange::Delete, row); }
    void FlushPrivileges(std::function<void()> then = {});

    // Application-server tables (data/appserver.cpp), in the "appserver"
    // database. `then` runs once the server has answered, whatever it said.
    // Cancel and clear change their grid only when the server accepted them.
    void LoadApplications();
    void LoadApplicationMessages();
    void InsertApplication(const TApplicationJob &job, std::function<void()> then = {});
    void UpdateApplication(const TApplicationJob &job, std::function<void()> then = {});
    void CancelApplication(const QString &id);
    void ClearApplicationMessages();

    // Handlers of the client's events and of statements
    void ActiveClientConnect(QObject *Sender);
    void ActiveClientConnectError(QObject *Sender, const QString &message);
    void ActiveClientClose(QObject *Sender);
    void ActiveClientListDatabases(QObject *Sender);
    void ActiveClientListTables(QObject *Sender);
    void ActiveClientModify(QObject *Sender);
    void ActiveClientGeneralError(QObject *Sender, const QString &message);
    void ActiveClientSqlError(QObject *Sender, const QString &message);
    void FillQueryGrid(QObject *Sender);

    // State
    QString CurrentDatabase() const { return m_currentDatabase; }
    QString CurrentTable() const { return m_currentTable; }
    int ColumnCount() const { return m_columnCount; }
    bool NoTableStatus() const { return m_noTableStatus; }
    bool busy() const { return m_busy; }

    // The statements as they are composed (also the tasks' names after "Query: ").
    static QString DescribeStatement(const QString &table);
    // The table's columns as DESCRIBE names them, in that order: "select *"
    // would leave out INVISIBLE columns and shift values under the captions.
    // In the normal mode it asks for one row past DBL (as a whole number),
    // which tells whether the table holds more than the grid shows.
    static QString DataStatement(const QString &table, const QStringList &columns, const TProgramSettings &program);
    // The same without any limit.
    static QString SelectStatement(const QString &table, const QStringList &columns);
    // DBL read as a whole number for the normal mode (0 when it is none).
    static int NormalRowLimit(const TProgramSettings &program);
    static QString StatusStatement(const QString &database, const QString &table);
    static QString TableListStatement(const QString &database);
    static QString IndexStatement(const QString &table);

Q_SIGNALS:
    void busyChanged(bool busy); // hourglass on / normal cursor
    void SetSessionCommands(bool enabled);
    void SetAppServerCommands(bool enabled);
    void pageRequested(const QString &page, const QString &subPage);
    void dataGridVisibleChanged(bool visible);
    void treeFocusRequested();
    void treeNodeCollapseRequested(const QModelIndex &node);
    void treeNodeExpandRequested(const QModelIndex &node); // with everything below it
    void errorRaised(const QString &message);               // the standard error box
    void scriptFinished(bool completed); // false: stopped at a failing statement
    void runResultsChanged(); // RunResults() holds other result sets now
    // A script's USE made another database current; the next run should
    // happen there. Sent when the script has ended.
    void scriptChangedDatabase(const QString &database);
    void scriptFileProgress(const TScriptFileProgress &progress);
    void statementsRunningChanged(bool running);
    void dataGridRowsChanged(); // DataGridRows() tells what the grid shows now
    // A change of a privilege table has run: false when a statement of it was
    // refused or the change was not sent (the log says why).
    void privilegeChangeFinished(PrivilegeTable table, bool succeeded);
    // A statement found the connection gone; the session is closed. The
    // window offers to reconnect.
    void connectionLost();
    // The login was refused because the account's password has expired;
    // message: the server's. ChangeExpiredPassword continues the login.
    void passwordExpired(const QString &message);
    // The SSH server (host:port) of the profile shows a key the known hosts
    // do not hold: AcceptSshHostKey or RefuseSshHostKey continues.
    void sshHostKeyUnknown(const QString &server, const QString &keyType, const QString &fingerprint);
private:
    void setUpSshTunnel();
    // Checks the profile's SSH fields; false (and errorRaised) when unusable.
    bool checkSshProfile(const TServerProfile &profile);
    void openSshTunnel(const TServerProfile &profile, int port);
    void showHourglass();
    void restoreCursor();
    void log(const QString &line);
    void statementsIdle();
    void endStop();
    void lostConnection();
    // Connects to the profile's hosts, beginning with the one at `first`.
    bool connectProfileFrom(int first);
    void connectHost();
    bool multiHost() const { return m_hosts.size() > 1; }
    // What the library said about the task a handler reports.
    static const TmySQLClientOutcome &outcomeOf(QObject *sender);
    void submit(const QString &statement, const QString &taskName,
                std::function<void(QObject *, const QString &)> onError,
                std::function<void(QObject *)> onComplete);
    QStandardItem *databaseNode(const QString &database) const;
    QStandardItem *newDatabaseNode(const QString &name) const;
    // Brings the tree's database nodes to the list, keeping the nodes still
    // listed (their tables, the view's selection and open nodes); false when
    // the kept nodes are in another order, which the caller builds afresh.
    bool mergeDatabaseNodes(const QStringList &names);
    void fillTableNodes(const QStringList &names, const QStringList &rows, bool withRows);

    // The chain of OpenTable
    void describeArrived(const QStringList &columns);
    void dataArrived();
    void fillDefinitionGrid();
    void fillStatusGrid();
    void fillIndexGrid();
    // Paging of the data grid
    void watchDataGrid();
    void setGridRows(const TDataGridRows &rows);
    void noteDataRows(bool hard, int limit, const std::shared_ptr<const TmySQLResultRows> &rows);
    void noteTableRowCount();
    void readDataRows(const QString &limitClause, bool append, int step);
    void dataRowsArrived(bool append, int step, const std::shared_ptr<StreamedRows> &streamed = nullptr);
    // Rows that arrive while the server sends them (data/querystream.cpp):
    // a sink with the budget of the settings, and the grid following it.
    // current == 0: the columns are known, the grid shows the store
    // (captions set when setCaptions); otherwise the first `current` rows.
    std::shared_ptr<StreamedRows> newStreamedRows() const;
    void streamedRowsArrived(GridModel *grid, const std::shared_ptr<StreamedRows> &rows, int current,
                             bool setCaptions);
    // All rows the store holds are shown; false when the grid shows other rows.
    static bool showAllStreamedRows(GridModel *grid, const std::shared_ptr<StreamedRows> &rows);
    static void appendResultRows(GridModel *grid, const TmySQLResultRows &rows, int columns, int count);
    void submitIndex(const QString &table);
    void showRows(GridModel *grid, const std::shared_ptr<const TmySQLResultRows> &rows,
                  int columns, int limit);
    // Types of the grid's columns from the result (binary columns show as hex).
    static void describeColumns(GridModel *grid, const std::shared_ptr<const TmySQLResultRows> &rows);
    // describeColumns for the data grid, with the types DESCRIBE declared.
    void describeDataColumns(const std::shared_ptr<const TmySQLResultRows> &rows);

    // Operations
    struct RowToDelete;
    void deleteRowWithColumns(const std::shared_ptr<RowToDelete> &target);
    void rowDeleted(const std::shared_ptr<RowToDelete> &target, const TmySQLClientOutcome &outcome);
    void addDatabaseNode(const QString &database);
    void removeTableNode(const QString &database, const QString &table);
    // Asks the session whether backslashes escape, then calls back.
    void readNoBackslashEscapes(std::function<void(bool)> then, std::function<void()> failed = {});
    void fillNameValueGrid();
    void fillProcessGrid();

    // Privilege and application-server chains
    GridModel *privilegeGrid(PrivilegeTable table) const;
    void fillPrivilegeGrid(PrivilegeTable table);
    void composePrivilegeChange(PrivilegeTable table, PrivilegeChange change, const TPrivilegeRow &row,
                                bool backslashEscapes);
    void checkNewDbRow(TPrivilegeRow row, bool backslashEscapes);
    void sendPrivilegeChange(PrivilegeTable table, PrivilegeChange change, const TPrivilegeRow &row,
                             PrivilegeLayout layout, bool backslashEscapes);
    // failedAt, when given, receives the index of a refused statement.
    void runPrivilegeStatements(const std::shared_ptr<const QStringList> &statements, int next,
                                std::function<void()> finished, std::shared_ptr<int> failedAt = {});
    void readAppServerTable(const QString &statement, void (TDMstd::*fill)());
    void runAppServerStatement(const QString &statement, StatementDone done);
    void fillApplicationGrid();
    void fillMessageGrid();

    void runNextStatement(const std::shared_ptr<ScriptRun> &run);
    void recordStatement(const QString &statement, const QString &database, const TmySQLClientOutcome &outcome,
                         qint64 rows);
    void runNextFileStatements(const std::shared_ptr<ScriptFileRun> &run);
    void reportFileProgress(const std::shared_ptr<ScriptFileRun> &run);
    void finishScriptFile(const std::shared_ptr<ScriptFileRun> &run);
    void scriptFileIdle();
    void noteScriptFileStop();
    void finishScript(bool completed);
    void locateError(const QString &error, int from, int to);
    // The statement's result sets join RunResults(); the log line naming it.
    // streamed: the statement's rows went there (null, or holding no
    // result: the client's stored results are taken).
    QString takeRunResults(const QString &statement, const std::shared_ptr<StreamedRows> &streamed);
    int editorLineOf(int offset) const;
    void fillResultGrid(GridModel *grid, const std::shared_ptr<const TmySQLResultRows> &result);
    void fillQueryGrid();

    TDMstdViews m_views;
    TmySQLClient *m_client = nullptr;
    QIcon m_databaseIcon;
    QIcon m_tableIcon;
    QString m_currentDatabase;
    QString m_currentTable;
    int m_columnCount = 0;
    bool m_noTableStatus = false;
    bool m_busy = false;
    bool m_scriptRunning = false;
    QString m_scriptDatabase;       // made current by a USE of the running script
    QList<TQueryRunResult> m_runResults; // of the last run from the editor
    int m_runResultCount = 0;       // result sets the last run returned so far
    QString m_selectAfterList;      // the node to select when the database list arrives
    bool m_commandTurn = false;     // a command of the user is being started
    bool m_stopping = false;        // stopped statements have not all come back yet
    bool m_killInFlight = false;    // the stop request is on its way to the server
    bool m_scriptStopped = false;   // the script run was stopped: send nothing more
    bool m_lost = false;            // the session was lost; cleared by the next connect
    QString m_lostDatabase;         // current when the session was lost
    bool m_rebuildTree = true;      // the next database list starts the tree afresh (a login)
    QString m_dataGridTable;
    QString m_dataGridDatabase;
    QStringList m_dataGridColumns;  // as DESCRIBE named them
    QHash<QString, QString> m_dataGridTypes; // column name: type as DESCRIBE declared it
    TDataGridRows m_gridRows;
    quint64 m_dataGridLoad = 0;     // counts fillings and emptyings of the data grid
    std::shared_ptr<ScriptFileRun> m_fileRun;
    TSshTunnel *m_tunnel = nullptr;
    TSshTunnelSettings m_sshAsking; // the tunnel whose host key the user is asked about
    QString m_sshThrough;           // "user@host:port" of the tunnel of this login; empty: direct
    // The hosts of the current profile in the order of the list, the one
    // being tried or reached, how many of the current login have been tried,
    // and until when the login may go on trying.
    QList<THostAddress> m_hosts;
    int m_hostIndex = 0;
    int m_hostsTried = 0;
    qint64 m_loginDeadline = 0; // msecs since the epoch; 0: no limit
    int m_watchReads = 0;                 // watch reads queued and not yet handled
    unsigned long m_watchConnection = 0;  // the connection they were queued on
    bool m_statusReadPending = false;
    unsigned long m_statusReadConnection = 0;
};

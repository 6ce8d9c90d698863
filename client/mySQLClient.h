#pragma once

#include "client/mysqlclienttask.h"
#include "client/mysqlresultrows.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TmySQLClient;

// Client flags sent when connecting; member n of the capability set
// contributes 2^n, which are the library's own CLIENT_* values. Connector/C
// calls the first one CLIENT_MYSQL.
#ifndef CLIENT_LONG_PASSWORD
#define CLIENT_LONG_PASSWORD 1
#endif
using TSetClientCapabilities = unsigned int;
constexpr TSetClientCapabilities DefaultClientCapabilities = CLIENT_LONG_PASSWORD | CLIENT_CONNECT_WITH_DB;

// Runs SQL statements; while a caller's handler runs, the reads describe the
// result being reported (and only then).
class TmySQLClientQuery : public QObject
{
    Q_OBJECT

public:
    explicit TmySQLClientQuery(TmySQLClientTaskHandler *engine, QObject *parent = nullptr);

    // batch: statements of one batch (non-zero, from NewBatch) that are
    // queued together; the first that fails drops the rest of it unrun.
    // sink: the result's rows go there while they arrive; OnProgress then
    // hears of the columns (0 rows) and of the rows so far a few times a
    // second, and the handlers' result holds the columns only.
    void Execute(const QString &statement, const QString &TaskName,
                 TmySQLClientTask_OnProgress OnProgress, TmySQLClientTask_OnError OnError,
                 TmySQLClientTask_OnComplete OnComplete, quint64 batch = 0,
                 std::shared_ptr<TmySQLRowSink> sink = nullptr);
    static quint64 NewBatch();
    void Run();

    int RowCount() const;
    int FieldCount() const;
    QString FieldName(int column) const;
    int FieldIndex(const QString &name) const;
    QString Value(int row, int column) const;
    QString ValueByName(int row, const QString &name) const;

    // The current cell's bytes without conversion: nullptr for NULL or out of range.
    const char *RawValue(int row, int column) const;
    int RawLength(int row, int column) const;
    // What the library said about the statement being reported.
    const TmySQLClientOutcome &Outcome() const;
    // The current result, for a caller that keeps its rows past the handler.
    std::shared_ptr<const TmySQLResultRows> Result() const { return m_result; }
    // The result sets the statement returned before the current one (a
    // CALL returns several), in the server's order.
    const std::vector<std::shared_ptr<const TmySQLResultRows>> &EarlierResults() const { return m_earlier; }

private:
    void wrapUp(TmySQLClientTask task, bool success, const QString &message);
    void progress(TmySQLClientTask task, int current, int total);

    TmySQLClientTaskHandler *m_engine;
    TmySQLClientTaskData *m_currentTask = nullptr;
    std::shared_ptr<const TmySQLResultRows> m_result;
    std::vector<std::shared_ptr<const TmySQLResultRows>> m_earlier;
};

// Exists per connection; offers nothing of its own but Clear and Run.
class TmySQLClientModify : public QObject
{
    Q_OBJECT

public:
    explicit TmySQLClientModify(TmySQLClientTaskHandler *engine, QObject *parent = nullptr);
    ~TmySQLClientModify() override;

    void Clear();
    void Run();

private:
    TmySQLClientTaskHandler *m_engine;
    std::vector<std::pair<QString, QObject *>> m_objects;
};

// The handlers of the component's events that Utility raises, taken over at
// each Connect.
struct TmySQLClientUtilityEvents
{
    TmySQLClientTask_OnComplete OnSelectDatabase;
    TmySQLClientTask_OnError OnSelectDatabaseError;
    TmySQLClientTask_OnComplete OnCreateDatabase;
    TmySQLClientTask_OnError OnCreateDatabaseError;
    TmySQLClientTask_OnComplete OnDropDatabase;
    TmySQLClientTask_OnError OnDropDatabaseError;
    TmySQLClientTask_OnComplete OnListDatabases;
    TmySQLClientTask_OnError OnListDatabasesError;
    TmySQLClientTask_OnComplete OnListTables;
    TmySQLClientTask_OnError OnListTablesError;
    TmySQLClientTask_OnComplete OnListFields;
    TmySQLClientTask_OnError OnListFieldsError;
    TmySQLClientTask_OnComplete OnListProcesses;
    TmySQLClientTask_OnError OnListProcessesError;
    TmySQLClientTask_OnComplete OnPing;
    TmySQLClientTask_OnError OnPingError;
    TmySQLClientTask_OnComplete OnRefresh;
    TmySQLClientTask_OnError OnRefreshError;
    TmySQLClientTask_OnComplete OnOptions;
    TmySQLClientTask_OnError OnOptionsError;
    TmySQLClientTask_OnComplete OnShutdown;
    TmySQLClientTask_OnError OnShutdownError;
};

// Connection, database and table lists, and the server information reads.
class TmySQLClientUtility : public QObject
{
    Q_OBJECT

public:
    explicit TmySQLClientUtility(TmySQLClientTaskHandler *engine, QObject *parent = nullptr);

    void OpenSession(const QString &host, const QString &user, const QString &password,
                     const QString &database, int port, unsigned long clientFlags,
                     const QString &TaskName, TmySQLClientTask_OnComplete OnComplete,
                     TmySQLClientTask_OnError OnError, unsigned int connectTimeout = 0,
                     const TmySQLClientTls &tls = TmySQLClientTls(), const QString &newPassword = QString());
    void CloseSession(const QString &TaskName, TmySQLClientTask_OnComplete OnComplete);
    void SelectDb(const QString &database, const QString &TaskName);
    // The same with handlers of the caller's own, for a chain that must
    // stop when the database cannot be made current.
    void SelectDb(const QString &database, const QString &TaskName, TmySQLClientTask_OnComplete OnComplete,
                  TmySQLClientTask_OnError OnError);
    void ListDbs(const QString &wildcard, const QString &TaskName);
    void ListTables(const QString &wildcard, const QString &TaskName);
    // Queues a read of the server's status line; the handler finds it as
    // the only entry of ResultNames. Unlike ServerStat it waits its turn
    // behind the statements already queued.
    void Stat(const QString &TaskName, TmySQLClientTask_OnComplete OnComplete, TmySQLClientTask_OnError OnError);
    void Run();

    // Only inside a handler: the names a list task delivered.
    QStringList ResultNames() const;
    // Only inside a handler: what the library said about the task.
    const TmySQLClientOutcome &Outcome() const;
    // Only inside the handler of an opened session: the server's connection id.
    unsigned long OpenedConnectionId() const;
    bool HasResultNames() const { return m_currentTask != nullptr; }

    // What the connect outcome said about the open connection (empty when
    // none is open); the client library's own version.
    QString ServerInfo() const;
    QString ClientInfo() const;
    QString HostInfo() const;
    unsigned int ProtocolInfo() const;
    // The status line the last Stat task read (empty before the first).
    QString ServerStat() const;
    // Of the outcome being handled, else of the one handled last.
    QString LastError() const;
    int AffectedRows() const;

    TmySQLClientUtilityEvents Events;

private:
    void queue(TClientTaskKind kind, const QString &TaskName, TmySQLClientTask_OnComplete OnComplete,
               TmySQLClientTask_OnError OnError, const std::function<void(TmySQLClientTaskData &)> &fill);
    void wrapUp(TmySQLClientTask task, bool success, const QString &message);

    TmySQLClientTaskHandler *m_engine;
    TmySQLClientTaskData *m_currentTask = nullptr;
    TmySQLClientConnectionInfo m_connection; // of the connection opened last
    QString m_serverStat;
};

// One connection to one server. Every operation becomes a task; outcomes come
// back as events on the creating thread, always after the call that started them.
class TmySQLClient : public QObject
{
    Q_OBJECT

public:
    explicit TmySQLClient(QObject *parent = nullptr);
    ~TmySQLClient() override;

    QString Hostname() const { return m_hostname; }
    void setHostname(const QString &value) { m_hostname = value; }
    QString Username() const { return m_username; }
    void setUsername(const QString &value) { m_username = value; }
    QString Password() const { return m_password; }
    void setPassword(const QString &value) { m_password = value; }
    QString Database() const { return m_database; }
    void setDatabase(const QString &value) { m_database = value; }
    int Port() const { return m_port; }
    void setPort(int value) { m_port = value; }
    TSetClientCapabilities Capabilities() const { return m_capabilities; }
    void setCapabilities(TSetClientCapabilities value) { m_capabilities = value; }
    bool Threaded() const;
    void setThreaded(bool value);
    bool BlockOnClose() const { return m_blockOnClose; }
    void setBlockOnClose(bool value) { m_blockOnClose = value; }
    QStringListModel *TaskListBox() const { return m_taskListBox; }
    void setTaskListBox(QStringListModel *value) { m_taskListBox = value; }
    // Seconds a connect attempt may take before it fails; 0: the library's default.
    unsigned int ConnectTimeout() const { return m_connectTimeout; }
    void setConnectTimeout(unsigned int seconds) { m_connectTimeout = seconds; }
    // Set after a connect failed because the account's password has expired
    // (Outcome().PasswordExpired()): the next Connect, and only that one,
    // logs in and sets this password before anything else; once it opens,
    // the password is Password. Empty: none.
    QString NewPassword() const { return m_newPassword; }
    void setNewPassword(const QString &value) { m_newPassword = value; }
    // How connections are secured; Off unless set.
    const TmySQLClientTls &Tls() const { return m_tls; }
    void setTls(const TmySQLClientTls &value) { m_tls = value; }
    // Of the open connection: the TLS protocol and cipher, empty when it is
    // not encrypted.
    QString TlsVersion() const { return m_tlsVersion; }
    QString TlsCipher() const { return m_tlsCipher; }
    // The server's id of the open connection (what KILL names); 0 when closed.
    unsigned long ConnectionId() const { return m_connectionId; }

    // The client flags of the connect call: the sum of the capabilities' flags.
    unsigned long ClientFlags() const;

    void Connect();
    void Close();
    bool Connected() const { return m_connected; }
    // A connect attempt is under way (its outcome has not been handled).
    bool Connecting() const { return m_connecting; }
    // Gives up a connect attempt: its outcome raises nothing, and a
    // connection that opens late is closed again.
    void AbandonConnect();
    // Gives the connection up: the call the worker is waiting in (a statement
    // on a server that does not answer) returns at once with an error, and
    // the connection cannot be used any more. For a close that must not wait.
    void AbandonConnection();
    // Milliseconds a blocking Close waits for the statement running on the
    // worker before it abandons the connection.
    int CloseTimeout() const { return m_closeTimeout; }
    void setCloseTimeout(int msecs) { m_closeTimeout = msecs; }
    // Asks the server to end the statement this connection is running (KILL
    // QUERY with the connection's id) through a short-lived second
    // connection with the same properties; the statement then fails with the
    // server's own message. `done` runs on this object's thread with the
    // side connection's error text, empty when the request was sent.
    void KillQuery(std::function<void(const QString &error)> done);

    TmySQLClientQuery *Query() const { return m_query; }
    TmySQLClientModify *Modify() const { return m_modify; }
    TmySQLClientUtility *Utility() const { return m_utility; }
    TmySQLClientTaskHandler *TaskHandler() const { return m_engine; }

    TmySQLClientTask_OnComplete OnConnect;
    TmySQLClientTask_OnError OnConnectError;
    TmySQLClientTask_OnComplete OnClose;
    TmySQLClientTask_OnComplete OnQuery;
    TmySQLClientTask_OnError OnQueryError;
    TmySQLClientTask_OnProgress OnQueryProgress;
    TmySQLClientTask_OnComplete OnModify;
    TmySQLClientTask_OnError OnModifyError;
    TmySQLClientTask_OnProgress OnModifyProgress;
    TmySQLClientUtilityEvents UtilityEvents; // OnSelectDatabase ... OnShutdownError

private:
    void opened(quint64 serial, unsigned long connectionId, const TmySQLClientOutcome &outcome);
    void closed();

    // Shared with the threads that send KILL QUERY: they report to the
    // receiver only while it is set, under the lock.
    struct KillState
    {
        std::mutex mutex;
        QObject *receiver = nullptr;
    };

    MYSQL m_mysql;
    TmySQLClientTaskHandler *m_engine = nullptr;
    TmySQLClientUtility *m_utility = nullptr;
    QPointer<TmySQLClientQuery> m_query;
    QPointer<TmySQLClientModify> m_modify;

    QString m_hostname = QStringLiteral("localhost");
    QString m_username;
    QString m_password;
    QString m_database;
    int m_port = 3306;
    TSetClientCapabilities m_capabilities = DefaultClientCapabilities;
    bool m_blockOnClose = true;
    unsigned int m_connectTimeout = 0;
    unsigned long m_connectionId = 0;
    TmySQLClientTls m_tls;
    QString m_newPassword;
    QString m_tlsVersion;
    QString m_tlsCipher;
    QPointer<QStringListModel> m_taskListBox;
    bool m_connected = false;
    bool m_connecting = false;
    quint64 m_connectSerial = 0;
    quint64 m_abandonedUpTo = 0; // attempts up to this one were given up
    quint64 m_connectTaskSerial = 0; // the engine's serial of the last connect task
    int m_closeTimeout = 5000;
    std::shared_ptr<KillState> m_kill;
};

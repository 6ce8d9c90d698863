#pragma once

#include "client/mysqlbinding.h"

#include <QBasicTimer>
#include <QByteArray>
#include <QStringListModel>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>


class TmySQLResultRows;

// Caller handlers; each may be empty, and an empty one is skipped.
using TmySQLClientTask_OnComplete = std::function<void(QObject *Sender)>;
using TmySQLClientTask_OnError = std::function<void(QObject *Sender, const QString &message)>;
using TmySQLClientTask_OnProgress =
    std::function<void(QObject *Sender, const QString &TaskName, int Current, int Total)>;

enum TClientTaskKind {
    ctConnect = 0,
    ctClose = 1,
    ctRealConnect = 2,
    ctSelectDb = 3,
    ctCreateDb = 4,
    ctDropDb = 5,
    ctModify = 6,
    ctQuery = 7,
    ctListDbs = 8,
    ctListTables = 9,
    ctListFields = 10,
    ctListProcesses = 11,
    ctPing = 12,
    ctShutdown = 13,
    ctKill = 14,
    ctOptions = 15,
    ctRefresh = 16,
    // The server's one-line status, read in turn with the statements: the
    // connection serves one call at a time, also when tasks run on the worker.
    ctStat = 17,
};

// How a connection is secured with TLS. Off: in clear, as without these
// settings. Preferred: encrypted where the server offers it. Required:
// encrypted or no connection, the certificate unchecked. VerifyCA: the
// certificate must be signed by the given CA. VerifyIdentity: besides, it
// must name the host connected to.
enum TTlsMode { tmOff = 0, tmPreferred = 1, tmRequired = 2, tmVerifyCA = 3, tmVerifyIdentity = 4 };

// The stored names of the modes: "Off", "Preferred", "Required",
// "VerifyCA", "VerifyIdentity". Empty text is Off; any other text reads as
// the strictest mode, so a mistyped setting fails loudly instead of
// connecting in clear.
TTlsMode TlsModeFromText(const QString &text);
QString TlsModeText(TTlsMode mode);

struct TmySQLClientTls
{
    TTlsMode Mode = tmOff;
    QString CAFile;
    QString CertFile; // client certificate; empty: none
    QString KeyFile;  // its private key
    // Without TLS, accounts of MySQL 8 (caching_sha2_password,
    // sha256_password) send their password encrypted with the server's RSA
    // public key: the key in this file, or, when allowed, the one the server
    // hands over on request. Neither: those accounts are refused unless the
    // connection is surely encrypted.
    QString ServerPublicKeyFile;
    bool FetchServerPublicKey = false;
};

// One option handed to the library before it connects.
struct TmySQLClientOption
{
    mysql_option Option;
    QByteArray Text;
};

class TmySQLClientTaskHandler;
class TmySQLResultRows;
class TmySQLRowSink;
struct TmySQLClientTaskData;

// What the library said about one task, taken the moment its calls returned:
// a later statement on the same connection cannot change it. It travels with
// the task to the handler.
struct TmySQLClientOutcome
{
    // The library reported an error. A statement that ran and returned no
    // result set has not failed, although it reaches the error handler.
    bool Failed = false;
    unsigned int ErrorNumber = 0;
    QString ErrorText; // at most 200 characters; empty after success
    qint64 AffectedRows = -1; // of the statement's last result; -1 after a failure
    // How long the task took on the worker, its result rows read.
    qint64 ElapsedMicroseconds = 0;
    // After a connect: the TLS protocol and cipher negotiated, both empty
    // when the connection is not encrypted.
    QString TlsVersion;
    QString TlsCipher;

    // The connection went away under the statement (server gone, lost
    // connection during the query): the session is over.
    bool LostConnection() const;
    // A connect refused because the account's password has expired: it
    // can log in only to set a new one.
    bool PasswordExpired() const;
};

// What the window shows about an opened connection, read on the worker
// right after the connect call: the window never reads the handle itself.
struct TmySQLClientConnectionInfo
{
    QString ServerInfo;
    QString HostInfo;
    unsigned int ProtocolInfo = 0;
};

using TmySQLClientTask = std::unique_ptr<TmySQLClientTaskData>;

// The wrap-ups of the submitting object: each takes the task over and
// releases it when it is done with it.
using TmySQLClientTaskComplete = std::function<void(TmySQLClientTaskHandler *, TmySQLClientTask)>;
using TmySQLClientTaskError = std::function<void(TmySQLClientTaskHandler *, TmySQLClientTask, const QString &)>;
using TmySQLClientTaskProgress = std::function<void(TmySQLClientTaskHandler *, TmySQLClientTask, int, int)>;

// One unit of work: what to do, its inputs, the library's results and whom to
// tell. Statements have no length limit: the text is kept whole.
struct TmySQLClientTaskData
{
    TmySQLClientTaskData() = default;
    ~TmySQLClientTaskData();
    TmySQLClientTaskData(const TmySQLClientTaskData &) = delete;
    TmySQLClientTaskData &operator=(const TmySQLClientTaskData &) = delete;

    // Cut to its first 40 characters.
    void setTaskName(const QString &name);

    QString TaskName;
    TClientTaskKind Kind = ctQuery;
    QByteArray Wildcard;
    QByteArray TableName;
    QByteArray Statement; // sent whole, with its length: a zero byte does not end it
    QByteArray Host, User, Password, Database;
    unsigned int Port = 0;
    QByteArray Socket; // null: none
    unsigned long ClientFlags = 0;
    unsigned int ConnectTimeout = 0; // seconds; 0: the library's default
    TmySQLClientTls Tls;
    // Not null: the account's password has expired and becomes this one
    // right after logging in.
    QByteArray NewPassword;
    unsigned long ConnectionId = 0;  // the server's id of an opened connection
    TmySQLClientConnectionInfo Connection; // of an opened connection
    unsigned long ProcessId = 0;
    quint8 OptionCode = 0;
    const void *OptionArgument = nullptr;
    unsigned int RefreshOptions = 0;

    MYSQL *ConnectResult = nullptr;
    MYSQL_RES *ResultSet = nullptr; // owned; freed with the task
    // A query's rows, read where the task ran: the window's thread only
    // takes them over.
    std::shared_ptr<TmySQLResultRows> Rows;
    // A statement that returns several result sets (a CALL): those before
    // the last, in the server's order. The last is ResultSet / Rows.
    std::vector<std::shared_ptr<TmySQLResultRows>> EarlierRows;
    int Status = -1;
    QStringList ResultNames;
    // A query whose rows go to Sink while they arrive (the library's
    // use_result), instead of being stored whole before the outcome; its
    // handler's result then holds the columns only. Progress notifications
    // tell the rows so far. Null: stored.
    std::shared_ptr<TmySQLRowSink> Sink;
    bool Streamed = false; // the result went to Sink
    qint64 RowsRead = 0;   // of a streamed result: the rows the server sent
    // Of a progress notification: rows so far, and of how many (0: unknown).
    int ProgressCurrent = 0;
    int ProgressTotal = 0;
    TmySQLClientOutcome Outcome;
    quint64 Serial = 0;
    quint64 Epoch = 0; // the engine's stop count when the task was queued
    // Tasks of one batch (a script's statements, queued ahead so the worker
    // never waits for the window) end at the first that fails: the queued
    // rest of the batch is dropped. 0: no batch.
    quint64 Batch = 0;

    TmySQLClientTaskComplete OnTaskComplete;
    TmySQLClientTaskError OnTaskError;
    TmySQLClientTaskProgress OnTaskProgress;

    TmySQLClientTask_OnComplete OnComplete;
    TmySQLClientTask_OnError OnError;
    TmySQLClientTask_OnProgress OnProgress;
};

// Hands the TLS settings to a handle before it connects; false when the
// library cannot take them.
bool applyTlsOptions(MYSQL *handle, const TmySQLClientTls &tls);
// The options that carry the server's RSA key settings of tls: the key file,
// or, when the key may not be fetched and the connection is not surely
// encrypted, the list of authentication methods the library may use (all
// it has but the two that would fetch the key).
QList<TmySQLClientOption> publicKeyOptions(const TmySQLClientTls &tls);
// Hands them to a handle; a library that does not know an option keeps its
// own behaviour (Connector/C of MySQL fetches no key unless asked to).
void applyPublicKeyOptions(MYSQL *handle, const TmySQLClientTls &tls);
// Once the login is over: the library keeps its copy of the key file's name
// past mysql_close otherwise.
void releasePublicKeyOptions(MYSQL *handle, const TmySQLClientTls &tls);
// The text of a failed connect: for a TLS failure it names the check that
// failed (server without TLS, certificate of another CA, host name not in
// the certificate) before the library's own words.
QString tlsFailureText(const TmySQLClientTls &tls, unsigned int errorNumber, const QString &libraryText,
                       const QString &host);
// Where the library's authentication plugins (ed25519, caching_sha2 ...)
// are installed; empty when none of the known folders exists.
QString ClientPluginDirectory();
// Reads what TLS the open connection uses into outcome.
void readTlsState(MYSQL *handle, TmySQLClientOutcome &outcome);

// Queues tasks, runs them in submission order on the calling thread or on one
// worker thread, and hands each outcome back on the thread that created it,
// from that thread's event loop: never inside Run.
class TmySQLClientTaskHandler : public QObject
{
    Q_OBJECT

public:
    // TaskDropped: a task of a batch that was not run because an earlier one
    // of the batch failed; nobody is told, it only stops counting as pending.
    enum Notification { TaskSucceeded = 1025, TaskFailed = 1026, TaskProgress = 1027, TaskDropped = 1028 };

    explicit TmySQLClientTaskHandler(MYSQL *handle, QObject *parent = nullptr);
    ~TmySQLClientTaskHandler() override;

    bool Threaded() const { return m_threaded; }
    void setThreaded(bool threaded) { m_threaded = threaded; }
    QStringListModel *TaskListBox() const { return m_taskListBox; }
    void setTaskListBox(QStringListModel *listBox);

    void EnqueueTask(TmySQLClientTask task);
    void RunTasks();

    // Tasks queued and not yet handled (their handler has not returned):
    // the engine is active while there are any. A chain that queues its next
    // task from a handler keeps it active throughout.
    int PendingTasks() const { return m_pending; }
    // The same summed over every engine of the process (for tests and tools
    // that wait until all outcomes are in).
    static int PendingTasksOfAll();
    // Whether an outcome is being handled right now (a chain's next step is
    // queued from there, a user's command from anywhere else).
    bool HandlingOutcome() const { return m_handlingDepth > 0; }
    // Drops the tasks that have not started, and every task that handlers of
    // the tasks already under way queue from now on: the chains end with the
    // task that is running. Returns how many queued tasks were dropped.
    int CancelPending();
    // Blocks until every queued task has been executed (threaded mode), at
    // most msecs (-1: without limit). False when the time ran out first.
    bool WaitUntilExecuted(int msecs = -1);
    // Breaks off the library call of the running task if it was queued as
    // one of the first upTo (by serial): the connection's socket is shut
    // down, so a call waiting on a silent server returns with an error. A
    // task that is still queued is broken off once it runs. The connection
    // is unusable afterwards. From the window's thread.
    void Abandon(quint64 upTo);
    // The serial of the task queued last (tasks are numbered from 1).
    quint64 LastSerial() const { return m_nextSerial - 1; }
    // The worker waits for the window to take the results piled up in its
    // outbox before it runs the next statement of a batch.
    bool HeldBack() const { return m_heldBack.load(); }
    // Rows of the results that wait in the outbox for the window.
    qint64 WaitingRows() const { return m_outboxRows.load(); }
    static constexpr qint64 MaxWaitingRows = 200000;

    // Called after the handler of a task that found the connection gone.
    std::function<void(const TmySQLClientOutcome &)> OnLostConnection;

    // The outcome handled last (or being handled): what the window knows
    // of the connection's last error and affected rows.
    const TmySQLClientOutcome &LastOutcome() const { return m_lastOutcome; }
    // Releases what the library holds in the handle; for the owner's destructor.
    void ReleaseHandle();

Q_SIGNALS:
    // Active: tasks are pending; inactive again once the last outcome has been handled.
    void activeChanged(bool active);

protected:
    bool event(QEvent *event) override;

private:
    Q_INVOKABLE void wakeUp();
    void taskDone();
    void deliverOutcomes();
    void handleOutcome(int code, TmySQLClientTask task);
    bool ExecuteTask(TmySQLClientTaskData *task);
    bool RouteTaskResult(TmySQLClientTaskData *task);
    void finishTask(TmySQLClientTask task);
    void post(TmySQLClientTask task, Notification code);
    // Reads the connection's current result of a streamed query into its
    // sink (client/mysqlclientstream.cpp); *rows: it had a row set. False
    // when the task failed.
    bool StreamResult(TmySQLClientTaskData *task, bool *rows);
    // Rows an outcome brings that the window has not taken yet.
    static qint64 waitingRows(const TmySQLClientTaskData &task);
    void postProgress(const TmySQLClientTaskData &task, int current);
    void workerLoop();
    void addListLine(quint64 serial, const QString &name);
    void removeListLine(quint64 serial);
    // The connection's last error text, at most 200 characters; on the
    // thread that runs the tasks only.
    QString handleError() const;
    // Shuts the socket of the running task down if it is to be abandoned;
    // true while such a task still runs unbroken.
    bool breakOff();

    // The handle is used by the thread that runs the tasks only; the one
    // exception is breakOff, which shuts its socket down under m_handleMutex,
    // the lock under which the handle is also prepared and closed.
    MYSQL *m_handle;
    bool m_handleInitialized = false; // mysql_init done, mysql_close not yet; under m_handleMutex
    std::mutex m_handleMutex;
    quint64 m_runningSerial = 0; // under m_handleMutex
    quint64 m_abandonUpTo = 0;   // under m_handleMutex
    quint64 m_brokenOff = 0;     // under m_handleMutex
    TmySQLClientOutcome m_lastOutcome; // window's thread only
    bool m_threaded = false;
    QPointer<QStringListModel> m_taskListBox;
    std::atomic<bool> m_hasListBox{false};
    std::vector<quint64> m_listSerials;
    quint64 m_nextSerial = 1;

    int m_pending = 0;      // window's thread only
    int m_handlingDepth = 0;
    quint64 m_handlingEpoch = 0;
    quint64 m_epoch = 0;
    // m_epoch for the worker: a stream queued before the last stop keeps no
    // more rows.
    std::atomic<quint64> m_stopEpoch{0};

    // Outcomes waiting for the handler's thread, in posting order.
    std::mutex m_outboxMutex;
    std::deque<std::pair<int, TmySQLClientTask>> m_outbox;
    bool m_wakePosted = false;
    std::atomic<qint64> m_outboxRows{0}; // rows of the results waiting there
    QBasicTimer m_pollTimer; // runs while tasks are pending

    std::mutex m_queueMutex;
    std::condition_variable m_wake;
    std::condition_variable m_executed;
    std::deque<TmySQLClientTask> m_queue;
    bool m_executing = false;
    bool m_stop = false;
    bool m_workerEnded = false;
    std::atomic<bool> m_heldBack{false};
    std::mutex m_executeMutex; // one library call sequence on the handle at a time
    std::thread m_worker;
};

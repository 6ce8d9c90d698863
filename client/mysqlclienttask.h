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

class TmySQLClientTaskHandler;
class TmySQLResultRows;
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

    // The connection went away under the statement (server gone, lost
    // connection during the query): the session is over.
    bool LostConnection() const;
};

using TmySQLClientTaskComplete = std::function<void(TmySQLClientTaskHandler *, TmySQLClientTaskData *)>;
using TmySQLClientTaskError =
    std::function<void(TmySQLClientTaskHandler *, TmySQLClientTaskData *, const QString &)>;
using TmySQLClientTaskProgress =
    std::function<void(TmySQLClientTaskHandler *, TmySQLClientTaskData *, int, int)>;

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
    unsigned long ConnectionId = 0;  // the server's id of an opened connection
    unsigned long ProcessId = 0;
    quint8 OptionCode = 0;
    const void *OptionArgument = nullptr;
    unsigned int RefreshOptions = 0;

    MYSQL *ConnectResult = nullptr;
    MYSQL_RES *ResultSet = nullptr; // owned; freed with the task
    // A query's rows, read where the task ran: the window's thread only
    // takes them over.
    std::shared_ptr<TmySQLResultRows> Rows;
    int Status = -1;
    QStringList ResultNames;
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

using TmySQLClientTask = std::unique_ptr<TmySQLClientTaskData>;

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
    // Blocks until every queued task has been executed (threaded mode).
    void WaitUntilExecuted();

    // Called after the handler of a task that found the connection gone.
    std::function<void(const TmySQLClientOutcome &)> OnLostConnection;

    MYSQL *Handle() const { return m_handle; }
    // Whether the library has prepared the handle (and not closed it since).
    bool HandleReady() const { return m_handleInitialized; }
    // Releases what the library holds in the handle; for the owner's destructor.
    void ReleaseHandle();
    // The connection's last error text, at most 200 characters.
    QString LastError() const;

Q_SIGNALS:
    // Active: tasks are pending; inactive again once the last outcome has been handled.
    void activeChanged(bool active);

protected:
    bool event(QEvent *event) override;

private:
    void taskDone();
    void deliverOutcomes();
    void handleOutcome(int code, TmySQLClientTask task);
    bool ExecuteTask(TmySQLClientTaskData *task);
    bool RouteTaskResult(TmySQLClientTaskData *task);
    void finishTask(TmySQLClientTask task);
    void post(TmySQLClientTask task, Notification code);
    void workerLoop();
    void addListLine(quint64 serial, const QString &name);
    void removeListLine(quint64 serial);

    MYSQL *m_handle;
    std::atomic<bool> m_handleInitialized{false}; // mysql_init done, mysql_close not yet
    bool m_threaded = false;
    QPointer<QStringListModel> m_taskListBox;
    std::atomic<bool> m_hasListBox{false};
    std::vector<quint64> m_listSerials;
    quint64 m_nextSerial = 1;

    int m_pending = 0;      // window's thread only
    int m_handlingDepth = 0;
    quint64 m_handlingEpoch = 0;
    quint64 m_epoch = 0;

    // Outcomes waiting for the handler's thread, in posting order.
    std::mutex m_outboxMutex;
    std::deque<std::pair<int, TmySQLClientTask>> m_outbox;
    bool m_wakePosted = false;
    std::atomic<qint64> m_outboxRows{0}; // rows of the results waiting there
    static constexpr qint64 MaxWaitingRows = 200000;
    QBasicTimer m_pollTimer; // runs while tasks are pending

    std::mutex m_queueMutex;
    std::condition_variable m_wake;
    std::condition_variable m_executed;
    std::deque<TmySQLClientTask> m_queue;
    bool m_executing = false;
    bool m_stop = false;
    std::mutex m_executeMutex; // one library call sequence on the handle at a time
    std::thread m_worker;
};

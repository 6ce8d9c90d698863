#include "client/mysqlclienttask.h"

#include "client/mysqlresultrows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QStringListModel>
#include <QTimerEvent>
#include <QThread>

#include <errmsg.h>

namespace {

// A posted outcome. It owns its task: a notification dropped with the handler
// (its window, in the old terms) releases the task and its result.
// Wakes the handler's thread to deliver what is in its outbox.
const QEvent::Type OutboxEvent = QEvent::Type(QEvent::User + 1);

QString fromClient(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// Tasks pending in all engines; changed on the engines' own threads only.
std::atomic<int> pendingOfAll{0};

const QByteArray &orEmpty(const QByteArray &bytes)
{
    static const QByteArray empty("");
    return bytes.isNull() ? empty : bytes;
}

} // namespace

TmySQLClientTaskData::~TmySQLClientTaskData()
{
    if (ResultSet && mysqlApi.mysql_free_result)
        mysqlApi.mysql_free_result(ResultSet);
}

void TmySQLClientTaskData::setTaskName(const QString &name)
{
    TaskName = name.left(40);
}

TmySQLClientTaskHandler::TmySQLClientTaskHandler(MYSQL *handle, QObject *parent)
    : QObject(parent)
    , m_handle(handle)
{
}

TmySQLClientTaskHandler::~TmySQLClientTaskHandler()
{
    if (m_worker.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_worker.join();
    }
    // Tasks never run and notifications never handled are dropped here.
    m_pollTimer.stop();
    pendingOfAll -= m_pending;
    m_pending = 0;
    m_queue.clear();
    {
        std::lock_guard<std::mutex> lock(m_outboxMutex);
        m_outbox.clear();
    }
    QCoreApplication::removePostedEvents(this);
}

void TmySQLClientTaskHandler::setTaskListBox(QStringListModel *listBox)
{
    if (m_taskListBox == listBox)
        return;
    m_taskListBox = listBox;
    m_hasListBox = listBox != nullptr;
    m_listSerials.clear();
}

void TmySQLClientTaskHandler::addListLine(quint64 serial, const QString &name)
{
    if (!m_taskListBox)
        return;
    const int row = m_taskListBox->rowCount();
    if (m_taskListBox->insertRows(row, 1)) {
        m_taskListBox->setData(m_taskListBox->index(row), name);
        m_listSerials.push_back(serial);
    }
}

void TmySQLClientTaskHandler::removeListLine(quint64 serial)
{
    if (!m_hasListBox)
        return;
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, serial] { removeListLine(serial); }, Qt::QueuedConnection);
        return;
    }
    for (size_t i = 0; i < m_listSerials.size(); ++i) {
        if (m_listSerials[i] == serial) {
            m_listSerials.erase(m_listSerials.begin() + qsizetype(i));
            if (m_taskListBox)
                m_taskListBox->removeRows(int(i), 1);
            return;
        }
    }
}

int TmySQLClientTaskHandler::PendingTasksOfAll()
{
    return pendingOfAll.load();
}

void TmySQLClientTaskHandler::EnqueueTask(TmySQLClientTask task)
{
    if (!task)
        return;
    // A handler of a task from before the last stop continues a chain that
    // was stopped: its next task is dropped.
    if (m_handlingDepth > 0 && m_handlingEpoch < m_epoch)
        return;
    task->Serial = m_nextSerial++;
    task->Epoch = m_epoch;
    addListLine(task->Serial, task->TaskName);
    if (m_pending++ == 0) {
        m_pollTimer.start(5, Qt::PreciseTimer, this);
        Q_EMIT activeChanged(true);
    }
    ++pendingOfAll;
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queue.push_back(std::move(task));
}

void TmySQLClientTaskHandler::taskDone()
{
    --pendingOfAll;
    if (--m_pending == 0) {
        m_pollTimer.stop();
        Q_EMIT activeChanged(false);
    }
}

int TmySQLClientTaskHandler::CancelPending()
{
    std::deque<TmySQLClientTask> dropped;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        dropped.swap(m_queue);
    }
    ++m_epoch;
    for (const TmySQLClientTask &task : dropped) {
        removeListLine(task->Serial);
        taskDone();
    }
    m_executed.notify_all();
    return int(dropped.size());
}

void TmySQLClientTaskHandler::WaitUntilExecuted()
{
    std::unique_lock<std::mutex> lock(m_queueMutex);
    if (!m_worker.joinable())
        return;
    m_executed.wait(lock, [this] { return m_stop || (m_queue.empty() && !m_executing); });
}

void TmySQLClientTaskHandler::RunTasks()
{
    if (m_threaded) {
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (!m_worker.joinable())
                m_worker = std::thread([this] { workerLoop(); });
        }
        m_wake.notify_one();
        return;
    }
    for (;;) {
        TmySQLClientTask task;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (m_queue.empty())
                return;
            task = std::move(m_queue.front());
            m_queue.pop_front();
        }
        finishTask(std::move(task));
    }
}

void TmySQLClientTaskHandler::finishTask(TmySQLClientTask task)
{
    bool ran;
    QElapsedTimer clock;
    {
        std::lock_guard<std::mutex> lock(m_executeMutex);
        clock.start();
        ran = ExecuteTask(task.get());
    }
    removeListLine(task->Serial);
    const bool success = ran && RouteTaskResult(task.get());
    if (success && task->Kind == ctQuery) {
        // Reading a large result row by row is work for this thread, not
        // for the window's.
        task->Rows = std::make_shared<TmySQLResultRows>(task->ResultSet);
        task->ResultSet = nullptr;
    }
    task->Outcome.ElapsedMicroseconds = clock.nsecsElapsed() / 1000;
    // A failure ends its batch here, before the next of it can run.
    std::deque<TmySQLClientTask> dropped;
    if (!success && task->Batch != 0 && task->Outcome.Failed) {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            if ((*it)->Batch == task->Batch) {
                dropped.push_back(std::move(*it));
                it = m_queue.erase(it);
            } else {
                ++it;
            }
        }
    }
    post(std::move(task), success ? TaskSucceeded : TaskFailed);
    for (TmySQLClientTask &skipped : dropped) {
        removeListLine(skipped->Serial);
        post(std::move(skipped), TaskDropped);
    }
}

void TmySQLClientTaskHandler::workerLoop()
{
    std::unique_lock<std::mutex> lock(m_queueMutex);
    for (;;) {
        // The predicate is checked under the lock, so a wake-up that arrives
        // while the worker is about to sleep is never lost.
        // A batch runs ahead of the window only while the results waiting
        // for it stay small: a script of large SELECTs would otherwise hold
        // many of them at once.
        m_wake.wait(lock, [this] {
            return m_stop
                || (!m_queue.empty() && (m_queue.front()->Batch == 0 || m_outboxRows.load() < MaxWaitingRows));
        });
        if (m_stop)
            return;
        TmySQLClientTask task = std::move(m_queue.front());
        m_queue.pop_front();
        m_executing = true;
        lock.unlock();
        finishTask(std::move(task));
        lock.lock();
        m_executing = false;
        if (m_queue.empty())
            m_executed.notify_all();
    }
}

// Performs the library calls of the task's kind; false when they could not
// be made or failed outright. RouteTaskResult then decides the outcome. Every
// failure records the library's error number and text at once, while they
// still belong to this task.
bool TmySQLClientTaskHandler::ExecuteTask(TmySQLClientTaskData *task)
{
    const MySqlApi &api = mysqlApi;
    TmySQLClientOutcome &outcome = task->Outcome;
    task->ResultSet = nullptr;
    task->Status = -1;
    auto engineFailure = [&](const QString &text) {
        outcome.Failed = true;
        outcome.ErrorNumber = 0;
        outcome.ErrorText = text;
        outcome.AffectedRows = -1;
        return false;
    };
    auto missing = [&](const char *name) {
        return engineFailure(QStringLiteral("The client library has no entry point %1").arg(QLatin1String(name)));
    };
    auto libraryFailure = [&]() {
        outcome.Failed = true;
        outcome.ErrorNumber = api.mysql_errno ? api.mysql_errno(m_handle) : 0;
        outcome.ErrorText = LastError();
        outcome.AffectedRows = -1;
        return false;
    };
    auto affectedRows = [&]() -> qint64 {
        if (!api.mysql_affected_rows)
            return -1;
        const my_ulonglong rows = api.mysql_affected_rows(m_handle);
        return rows == my_ulonglong(-1) ? -1 : qint64(rows);
    };
    auto prepareHandle = [&]() -> bool {
        if (!api.mysql_init || !api.mysql_close)
            return missing(!api.mysql_init ? "mysql_init" : "mysql_close");
        // What a failed attempt left in the handle is released first.
        if (m_handleInitialized)
            api.mysql_close(m_handle);
        m_handleInitialized = api.mysql_init(m_handle) != nullptr;
        if (!m_handleInitialized)
            return engineFailure(QStringLiteral("The client library could not prepare a connection"));
        return true;
    };
    // A statement's result: none (it returned no rows), or stored. A missing
    // result where the statement has columns is a failure of its own.
    auto storeResult = [&](MYSQL_RES **result) -> bool {
        *result = api.mysql_store_result(m_handle);
        if (!*result && api.mysql_field_count && api.mysql_field_count(m_handle) != 0)
            return libraryFailure();
        return true;
    };

    try {
        switch (task->Kind) {
        case ctConnect:
            if (!api.mysql_connect)
                return missing("mysql_connect");
            if (!prepareHandle())
                return false;
            task->ConnectResult = api.mysql_connect(m_handle, orEmpty(task->Host).constData(),
                                                    orEmpty(task->User).constData(),
                                                    orEmpty(task->Password).constData());
            if (!task->ConnectResult)
                return libraryFailure();
            break;
        case ctClose:
            if (!api.mysql_close)
                return missing("mysql_close");
            if (m_handleInitialized)
                api.mysql_close(m_handle);
            m_handleInitialized = false;
            break;
        case ctRealConnect: {
            if (!api.mysql_real_connect)
                return missing("mysql_real_connect");
            if (!prepareHandle())
                return false;
            if (api.mysql_options) {
                api.mysql_options(m_handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
                // Always TCP to the given port, also for "localhost", which
                // the library would otherwise take as its default local socket.
                const unsigned int protocol = MYSQL_PROTOCOL_TCP;
                api.mysql_options(m_handle, MYSQL_OPT_PROTOCOL, &protocol);
                if (task->ConnectTimeout > 0) {
                    const unsigned int seconds = task->ConnectTimeout;
                    api.mysql_options(m_handle, MYSQL_OPT_CONNECT_TIMEOUT, &seconds);
                }
            }
            task->ConnectResult = api.mysql_real_connect(
                m_handle, orEmpty(task->Host).constData(), orEmpty(task->User).constData(),
                orEmpty(task->Password).constData(),
                task->Database.isEmpty() ? nullptr : task->Database.constData(), task->Port,
                task->Socket.isNull() ? nullptr : task->Socket.constData(), task->ClientFlags);
            if (!task->ConnectResult)
                return libraryFailure();
            if (api.mysql_thread_id)
                task->ConnectionId = api.mysql_thread_id(m_handle);
            break;
        }
        case ctSelectDb:
            if (!api.mysql_select_db)
                return missing("mysql_select_db");
            task->Status = api.mysql_select_db(m_handle, orEmpty(task->Database).constData());
            if (task->Status != 0)
                return libraryFailure();
            break;
        case ctCreateDb:
            if (!api.mysql_create_db)
                return missing("mysql_create_db");
            task->Status = api.mysql_create_db(m_handle, orEmpty(task->Database).constData());
            if (task->Status != 0)
                return libraryFailure();
            break;
        case ctDropDb:
            if (!api.mysql_drop_db)
                return missing("mysql_drop_db");
            task->Status = api.mysql_drop_db(m_handle, orEmpty(task->Database).constData());
            if (task->Status != 0)
                return libraryFailure();
            break;
        case ctModify:
            if (!api.mysql_real_query)
                return missing("mysql_real_query");
            // Current libraries return non-zero (not only negative) on failure.
            if (api.mysql_real_query(m_handle, task->Statement.constData(), ulong(task->Statement.size())) != 0)
                return libraryFailure();
            task->Status = 0;
            outcome.AffectedRows = affectedRows();
            break;
        case ctQuery: {
            if (!api.mysql_real_query || !api.mysql_store_result)
                return missing(!api.mysql_real_query ? "mysql_real_query" : "mysql_store_result");
            // Sent with its length: a zero byte inside the text is part of it.
            if (api.mysql_real_query(m_handle, task->Statement.constData(), ulong(task->Statement.size())) != 0)
                return libraryFailure();
            task->Status = 0;
            MYSQL_RES *result = nullptr;
            if (!storeResult(&result))
                return false;
            outcome.AffectedRows = affectedRows();
            // Every further result is read now, or the next statement finds
            // the connection out of sync; the last result set is the one shown.
            while (api.mysql_more_results && api.mysql_next_result && api.mysql_more_results(m_handle)) {
                const int next = api.mysql_next_result(m_handle);
                if (next < 0)
                    break;
                MYSQL_RES *further = nullptr;
                if (next > 0 || !storeResult(&further)) {
                    if (result && api.mysql_free_result)
                        api.mysql_free_result(result);
                    task->Status = -1;
                    return next > 0 ? libraryFailure() : false;
                }
                if (further) {
                    if (result && api.mysql_free_result)
                        api.mysql_free_result(result);
                    result = further;
                }
                outcome.AffectedRows = affectedRows();
            }
            task->ResultSet = result;
            break;
        }
        case ctListDbs:
            if (!api.mysql_list_dbs)
                return missing("mysql_list_dbs");
            task->ResultSet = api.mysql_list_dbs(m_handle, task->Wildcard.isNull() ? nullptr : task->Wildcard.constData());
            if (!task->ResultSet)
                return libraryFailure();
            break;
        case ctListTables:
            if (!api.mysql_list_tables)
                return missing("mysql_list_tables");
            task->ResultSet = api.mysql_list_tables(m_handle, task->Wildcard.isNull() ? nullptr : task->Wildcard.constData());
            if (!task->ResultSet)
                return libraryFailure();
            break;
        case ctListFields:
            if (!api.mysql_list_fields)
                return missing("mysql_list_fields");
            task->ResultSet = api.mysql_list_fields(m_handle, orEmpty(task->TableName).constData(),
                                                    task->Wildcard.isNull() ? nullptr : task->Wildcard.constData());
            if (!task->ResultSet)
                return libraryFailure();
            break;
        case ctListProcesses:
            if (!api.mysql_list_processes)
                return missing("mysql_list_processes");
            task->ResultSet = api.mysql_list_processes(m_handle);
            if (!task->ResultSet)
                return libraryFailure();
            break;
        case ctPing:
            if (!api.mysql_ping)
                return missing("mysql_ping");
            task->Status = api.mysql_ping(m_handle);
            if (task->Status != 0)
                return libraryFailure();
            break;
        case ctShutdown:
            if (!api.mysql_shutdown)
                return missing("mysql_shutdown");
            task->Status = api.mysql_shutdown(m_handle, SHUTDOWN_DEFAULT);
            if (task->Status != 0)
                return libraryFailure();
            break;
        case ctKill:
            if (!api.mysql_kill)
                return missing("mysql_kill");
            task->Status = api.mysql_kill(m_handle, task->ProcessId);
            if (task->Status != 0)
                return libraryFailure();
            break;
        case ctOptions:
            if (!api.mysql_options)
                return missing("mysql_options");
            task->Status = api.mysql_options(m_handle, mysql_option(task->OptionCode), task->OptionArgument);
            if (task->Status != 0)
                return libraryFailure();
            break;
        case ctRefresh:
            if (!api.mysql_refresh)
                return missing("mysql_refresh");
            task->Status = api.mysql_refresh(m_handle, task->RefreshOptions);
            if (task->Status != 0)
                return libraryFailure();
            break;
        case ctStat: {
            if (!api.mysql_stat)
                return missing("mysql_stat");
            const char *text = api.mysql_stat(m_handle);
            if (!text)
                return libraryFailure();
            task->ResultNames.append(fromClient(text));
            task->Status = 0;
            break;
        }
        }
    } catch (...) {
        if (task->ResultSet && api.mysql_free_result)
            api.mysql_free_result(task->ResultSet);
        task->ResultSet = nullptr;
        task->Status = -1;
        return engineFailure(QStringLiteral("The client library failed while running \"%1\"").arg(task->TaskName));
    }
    return true;
}

// Decides success by the kind's rule; a successful list task gets its names.
bool TmySQLClientOutcome::LostConnection() const
{
    switch (ErrorNumber) {
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
        return true;
    default:
        return false;
    }
}

bool TmySQLClientTaskHandler::RouteTaskResult(TmySQLClientTaskData *task)
{
    bool success = false;
    switch (task->Kind) {
    case ctConnect:
    case ctRealConnect:
        success = task->ConnectResult != nullptr;
        break;
    case ctClose:
        success = true;
        break;
    case ctSelectDb:
    case ctPing:
    case ctShutdown:
    case ctKill:
    case ctOptions:
    case ctRefresh:
    case ctStat:
        success = task->Status == 0;
        break;
    case ctCreateDb:
    case ctDropDb:
    case ctModify:
        success = task->Status >= 0;
        break;
    case ctQuery:
        success = task->ResultSet != nullptr;
        break;
    case ctListDbs:
    case ctListTables:
    case ctListProcesses:
        success = task->ResultSet != nullptr;
        if (success && mysqlApi.mysql_fetch_row && mysqlApi.mysql_num_rows) {
            const quint32 rows = quint32(mysqlApi.mysql_num_rows(task->ResultSet));
            for (quint32 i = 0; i < rows; ++i) {
                MYSQL_ROW row = mysqlApi.mysql_fetch_row(task->ResultSet);
                if (!row)
                    break;
                task->ResultNames.append(fromClient(row[0]));
            }
        }
        break;
    case ctListFields:
        success = task->ResultSet != nullptr;
        if (success && mysqlApi.mysql_fetch_field) {
            while (MYSQL_FIELD *field = mysqlApi.mysql_fetch_field(task->ResultSet))
                task->ResultNames.append(fromClient(field->table) + QLatin1Char('.') + fromClient(field->name));
        }
        break;
    }
    return success;
}

void TmySQLClientTaskHandler::post(TmySQLClientTask task, Notification code)
{
    // Every outcome comes back, also one that nobody is told about: the
    // task counts as pending until then. Outcomes wait in one queue, in
    // posting order; the handler's thread is woken once for a run of them,
    // not once per statement.
    // While statements follow each other, the handler's thread also looks
    // into the outbox every few milliseconds, so it is woken only when a run
    // of outcomes has piled up or when nothing more is queued: a wake-up per
    // statement would cost more than many a statement does.
    bool queueEmpty;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        queueEmpty = m_queue.empty();
    }
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_outboxMutex);
        if (task->Rows)
            m_outboxRows += task->Rows->rowCount();
        m_outbox.emplace_back(int(code), std::move(task));
        if (!m_wakePosted && (queueEmpty || m_outbox.size() >= 32)) {
            wake = true;
            m_wakePosted = true;
        }
    }
    if (wake)
        QCoreApplication::postEvent(this, new QEvent(OutboxEvent));
}

void TmySQLClientTaskHandler::deliverOutcomes()
{
    QElapsedTimer budget;
    budget.start();
    QPointer<TmySQLClientTaskHandler> self(this);
    for (;;) {
        std::pair<int, TmySQLClientTask> next;
        {
            std::lock_guard<std::mutex> lock(m_outboxMutex);
            if (m_outbox.empty()) {
                m_wakePosted = false;
                return;
            }
            next = std::move(m_outbox.front());
            m_outbox.pop_front();
        }
        if (next.second && next.second->Rows && next.second->Rows->rowCount() > 0) {
            m_outboxRows -= next.second->Rows->rowCount();
            // Under the queue's lock: the worker is either before its check
            // or waiting, never between the two.
            { std::lock_guard<std::mutex> lock(m_queueMutex); }
            m_wake.notify_all();
        }
        handleOutcome(next.first, std::move(next.second));
        if (!self)
            return; // a handler destroyed the client
        if (budget.elapsed() >= 20) {
            // Input and painting get their turn between long runs of outcomes.
            QCoreApplication::postEvent(this, new QEvent(OutboxEvent));
            return;
        }
    }
}

QString TmySQLClientTaskHandler::LastError() const
{
    if (!mysqlApi.mysql_error)
        return {};
    const char *text = mysqlApi.mysql_error(m_handle);
    return text ? QString::fromUtf8(text).left(200) : QString();
}

bool TmySQLClientTaskHandler::event(QEvent *event)
{
    if (event->type() == QEvent::Timer && static_cast<QTimerEvent *>(event)->timerId() == m_pollTimer.timerId()) {
        deliverOutcomes();
        return true;
    }
    if (event->type() != OutboxEvent)
        return QObject::event(event);
    deliverOutcomes();
    return true;
}

void TmySQLClientTaskHandler::handleOutcome(int code, TmySQLClientTask task)
{
    if (!task)
        return;
    // Only a task with a wrap-up for that outcome is told about it.
    const bool told = (code == TaskSucceeded && task->OnTaskComplete) || (code == TaskFailed && task->OnTaskError)
        || (code == TaskProgress && task->OnTaskProgress);
    const bool lost = code == TaskFailed && task->Outcome.LostConnection();
    const TmySQLClientOutcome outcome = lost ? task->Outcome : TmySQLClientOutcome();
    if (told) {
        const quint64 savedEpoch = m_handlingEpoch;
        m_handlingEpoch = task->Epoch;
        ++m_handlingDepth;
        TmySQLClientTaskData *raw = task.release(); // the wrap-up releases it
        switch (code) {
        case TaskSucceeded:
            raw->OnTaskComplete(this, raw);
            break;
        case TaskFailed:
            // The text taken when the library call failed: later statements
            // have changed the connection's own text since.
            raw->OnTaskError(this, raw, raw->Outcome.ErrorText);
            break;
        case TaskProgress:
            raw->OnTaskProgress(this, raw, 0, 0);
            break;
        }
        --m_handlingDepth;
        m_handlingEpoch = savedEpoch;
    }
    if (lost && OnLostConnection) {
        QPointer<TmySQLClientTaskHandler> self(this);
        OnLostConnection(outcome);
        if (!self)
            return;
    }
    if (code != TaskProgress)
        taskDone();
}

void TmySQLClientTaskHandler::ReleaseHandle()
{
    std::lock_guard<std::mutex> lock(m_executeMutex);
    if (m_handleInitialized && mysqlApi.mysql_close)
        mysqlApi.mysql_close(m_handle);
    m_handleInitialized = false;
}

#include "client/mysqlclienttask.h"

#include "client/mysqlresultrows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QEvent>
#include <QStringListModel>
#include <QTimerEvent>
#include <QThread>

#include <errmsg.h>
#include <mysqld_error.h>

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
        std::unique_lock<std::mutex> lock(m_queueMutex);
        m_stop = true;
        m_wake.notify_all();
        // Whatever still runs is given up: a call waiting on a silent server
        // (a connect attempt, a statement) returns once its socket is shut
        // down, so the join below never waits on the server.
        while (!m_workerEnded) {
            if (m_executed.wait_for(lock, std::chrono::milliseconds(20), [this] { return m_workerEnded; }))
                break;
            lock.unlock();
            Abandon(m_nextSerial);
            lock.lock();
        }
        lock.unlock();
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
    ReleaseHandle();
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
    // was stopped: its next task is dropped. Opening and closing the session
    // are the user's own steps, never part of a chain.
    const bool session = task->Kind == ctClose || task->Kind == ctConnect || task->Kind == ctRealConnect;
    if (!session && m_handlingDepth > 0 && m_handlingEpoch < m_epoch)
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
    m_stopEpoch.store(m_epoch);
    for (const TmySQLClientTask &task : dropped) {
        removeListLine(task->Serial);
        taskDone();
    }
    m_executed.notify_all();
    return int(dropped.size());
}

bool TmySQLClientTaskHandler::WaitUntilExecuted(int msecs)
{
    std::unique_lock<std::mutex> lock(m_queueMutex);
    if (!m_worker.joinable())
        return true;
    const auto executed = [this] { return m_stop || m_workerEnded || (m_queue.empty() && !m_executing); };
    if (msecs < 0) {
        m_executed.wait(lock, executed);
        return true;
    }
    return m_executed.wait_for(lock, std::chrono::milliseconds(msecs), executed);
}

void TmySQLClientTaskHandler::Abandon(quint64 upTo)
{
    {
        std::lock_guard<std::mutex> lock(m_handleMutex);
        m_abandonUpTo = std::max(m_abandonUpTo, upTo);
    }
    breakOff();
}

bool TmySQLClientTaskHandler::breakOff()
{
    std::lock_guard<std::mutex> lock(m_handleMutex);
    if (m_runningSerial == 0 || m_runningSerial > m_abandonUpTo || m_runningSerial == m_brokenOff)
        return false;
    // The library's own way to break a call off from another thread. Before
    // the connect call has its socket there is nothing to shut down yet:
    // the caller tries again.
    if (m_handleInitialized && mysqlApi.mariadb_cancel && mysqlApi.mariadb_cancel(m_handle) == 0)
        m_brokenOff = m_runningSerial;
    return m_runningSerial != m_brokenOff;
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
        {
            std::lock_guard<std::mutex> handleLock(m_handleMutex);
            m_runningSerial = task->Serial;
        }
        clock.start();
        ran = ExecuteTask(task.get());
        std::lock_guard<std::mutex> handleLock(m_handleMutex);
        m_runningSerial = 0;
    }
    removeListLine(task->Serial);
    const bool success = ran && RouteTaskResult(task.get());
    if (success && task->Kind == ctQuery && !task->Streamed) {
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
        const auto ready = [this] {
            return m_stop
                || (!m_queue.empty() && (m_queue.front()->Batch == 0 || m_outboxRows.load() < MaxWaitingRows));
        };
        m_heldBack = !ready() && !m_queue.empty();
        m_wake.wait(lock, ready);
        m_heldBack = false;
        if (m_stop) {
            m_workerEnded = true;
            m_executed.notify_all();
            return;
        }
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
        outcome.ErrorText = handleError();
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
        std::lock_guard<std::mutex> lock(m_handleMutex);
        if (m_handleInitialized)
            api.mysql_close(m_handle);
        m_handleInitialized = api.mysql_init(m_handle) != nullptr;
        if (!m_handleInitialized)
            return engineFailure(QStringLiteral("The client library could not prepare a connection"));
        return true;
    };
    // An account whose password has expired may only set a new one: done
    // before anything else runs on the connection.
    auto changeExpiredPassword = [&](const QByteArray &password) -> bool {
        if (!api.mysql_real_query || !api.mysql_escape_string)
            return false;
        QByteArray escaped(password.size() * 2 + 1, '\0');
        escaped.resize(int(api.mysql_escape_string(escaped.data(), password.constData(), password.size())));
        // MySQL takes ALTER USER here; MariaDB refuses it until the
        // password is changed, and takes SET PASSWORD (which keeps the
        // account's authentication plugin).
        for (const QByteArray &statement :
             {"ALTER USER CURRENT_USER() IDENTIFIED BY '" + escaped + "'", "SET PASSWORD = PASSWORD('" + escaped + "')"}) {
            if (api.mysql_real_query(m_handle, statement.constData(), statement.size()) == 0)
                return true;
            if (!api.mysql_errno || api.mysql_errno(m_handle) != ER_MUST_CHANGE_PASSWORD)
                return false;
        }
        return false;
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
        case ctClose: {
            if (!api.mysql_close)
                return missing("mysql_close");
            std::lock_guard<std::mutex> lock(m_handleMutex);
            if (m_handleInitialized)
                api.mysql_close(m_handle);
            m_handleInitialized = false;
            break;
        }
        case ctRealConnect: {
            if (!api.mysql_real_connect)
                return missing("mysql_real_connect");
            if (!prepareHandle())
                return false;
            auto setConnectOptions = [&] {
                if (!api.mysql_options)
                    return;
                api.mysql_options(m_handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
                // Always TCP to the given port, also for "localhost", which
                // the library would otherwise take as its default local socket.
                const unsigned int protocol = MYSQL_PROTOCOL_TCP;
                api.mysql_options(m_handle, MYSQL_OPT_PROTOCOL, &protocol);
                if (task->ConnectTimeout > 0) {
                    const unsigned int seconds = task->ConnectTimeout;
                    api.mysql_options(m_handle, MYSQL_OPT_CONNECT_TIMEOUT, &seconds);
                }
                // Accounts with other authentication than the library's
                // built-in ones (ed25519) need its plugins.
                static const QByteArray pluginDir = QFile::encodeName(ClientPluginDirectory());
                if (!pluginDir.isEmpty())
                    api.mysql_options(m_handle, MYSQL_PLUGIN_DIR, pluginDir.constData());
                if (!task->NewPassword.isNull()) {
                    const my_bool canHandle = 1;
                    api.mysql_options(m_handle, MYSQL_OPT_CAN_HANDLE_EXPIRED_PASSWORDS, &canHandle);
                }
            };
            setConnectOptions();
            if (task->Tls.Mode != tmOff && !applyTlsOptions(m_handle, task->Tls))
                return engineFailure(QStringLiteral("The client library cannot secure connections with TLS"));
            applyPublicKeyOptions(m_handle, task->Tls);
            auto realConnect = [&] {
                return api.mysql_real_connect(
                    m_handle, orEmpty(task->Host).constData(), orEmpty(task->User).constData(),
                    orEmpty(task->Password).constData(),
                    task->Database.isEmpty() ? nullptr : task->Database.constData(), task->Port,
                    task->Socket.isNull() ? nullptr : task->Socket.constData(), task->ClientFlags);
            };
            task->ConnectResult = realConnect();
            if (!task->ConnectResult && task->Tls.Mode == tmPreferred && api.mysql_errno
                && api.mysql_errno(m_handle) == CR_SSL_CONNECTION_ERROR) {
                // Preferred: a server that cannot do TLS is used in clear.
                releasePublicKeyOptions(m_handle, task->Tls);
                if (!prepareHandle())
                    return false;
                setConnectOptions();
                applyPublicKeyOptions(m_handle, task->Tls);
                task->ConnectResult = realConnect();
            }
            releasePublicKeyOptions(m_handle, task->Tls);
            if (!task->ConnectResult) {
                libraryFailure();
                outcome.ErrorText = tlsFailureText(task->Tls, outcome.ErrorNumber, outcome.ErrorText,
                                                   QString::fromUtf8(task->Host));
                return false;
            }
            readTlsState(m_handle, outcome);
            if (task->Tls.Mode >= tmRequired && outcome.TlsCipher.isEmpty()) {
                // The library let a server without TLS through: the
                // connection is not what the profile asks for.
                api.mysql_close(m_handle);
                m_handleInitialized = false;
                task->ConnectResult = nullptr;
                outcome.TlsVersion.clear();
                return engineFailure(QStringLiteral("TLS is required, but the server does not offer it"));
            }
            if (!task->NewPassword.isNull() && !changeExpiredPassword(task->NewPassword)) {
                libraryFailure();
                api.mysql_close(m_handle);
                m_handleInitialized = false;
                task->ConnectResult = nullptr;
                return false;
            }
            if (api.mysql_thread_id)
                task->ConnectionId = api.mysql_thread_id(m_handle);
            if (api.mysql_get_server_info)
                task->Connection.ServerInfo = fromClient(api.mysql_get_server_info(m_handle));
            if (api.mysql_get_host_info)
                task->Connection.HostInfo = fromClient(api.mysql_get_host_info(m_handle));
            if (api.mysql_get_proto_info)
                task->Connection.ProtocolInfo = api.mysql_get_proto_info(m_handle);
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
            // Of a result read row by row the library counts nothing: the
            // rows read are its count, as a stored result's.
            bool streamed = false;
            if (task->Sink ? !StreamResult(task, &streamed) : !storeResult(&result))
                return false;
            outcome.AffectedRows = streamed ? task->RowsRead : affectedRows();
            // Every further result is read now, or the next statement finds
            // the connection out of sync. The last result set is the task's
            // result; those before it are kept beside it.
            task->EarlierRows.clear();
            while (api.mysql_more_results && api.mysql_next_result && api.mysql_more_results(m_handle)) {
                const int next = api.mysql_next_result(m_handle);
                if (next < 0)
                    break;
                MYSQL_RES *further = nullptr;
                if (next == 0 && task->Sink) {
                    // Each further row set goes to the sink in turn: the
                    // last one is what it holds.
                    if (!StreamResult(task, &streamed))
                        return false;
                    outcome.AffectedRows = streamed ? task->RowsRead : affectedRows();
                    continue;
                }
                if (next > 0 || !storeResult(&further)) {
                    if (result && api.mysql_free_result)
                        api.mysql_free_result(result);
                    task->EarlierRows.clear();
                    task->Status = -1;
                    return next > 0 ? libraryFailure() : false;
                }
                if (further) {
                    if (result)
                        task->EarlierRows.push_back(std::make_shared<TmySQLResultRows>(result));
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
namespace {

QByteArray fileOption(const QString &path)
{
    return path.isEmpty() ? QByteArray() : QFile::encodeName(path);
}

const char *orNull(const QByteArray &bytes)
{
    return bytes.isEmpty() ? nullptr : bytes.constData();
}

} // namespace

namespace {

const char *const tlsModeNames[] = {"Off", "Preferred", "Required", "VerifyCA", "VerifyIdentity"};

} // namespace

TTlsMode TlsModeFromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return tmOff;
    for (int i = 0; i < 5; ++i) {
        if (trimmed.compare(QLatin1String(tlsModeNames[i]), Qt::CaseInsensitive) == 0)
            return TTlsMode(i);
    }
    return tmVerifyIdentity;
}

QString TlsModeText(TTlsMode mode)
{
    return QLatin1String(tlsModeNames[int(mode) >= 0 && int(mode) < 5 ? int(mode) : 0]);
}

bool applyTlsOptions(MYSQL *handle, const TmySQLClientTls &tls)
{
    const MySqlApi &api = mysqlApi;
    if (!api.mysql_options)
        return false;
    // The library checks the chain whenever it has a CA file: only the
    // verifying modes hand it over.
    const bool verifying = tls.Mode == tmVerifyCA || tls.Mode == tmVerifyIdentity;
    const QByteArray ca = verifying ? fileOption(tls.CAFile) : QByteArray();
    const QByteArray cert = fileOption(tls.CertFile);
    const QByteArray key = fileOption(tls.KeyFile);
    // The client certificate is handed over in every mode, so it is sent
    // whenever the server asks for one.
    if (api.mysql_ssl_set) {
        api.mysql_ssl_set(handle, orNull(key), orNull(cert), orNull(ca), nullptr, nullptr);
    } else {
        if (!ca.isEmpty())
            api.mysql_options(handle, MYSQL_OPT_SSL_CA, ca.constData());
        if (!cert.isEmpty())
            api.mysql_options(handle, MYSQL_OPT_SSL_CERT, cert.constData());
        if (!key.isEmpty())
            api.mysql_options(handle, MYSQL_OPT_SSL_KEY, key.constData());
    }
    // Asks for TLS also when no file is given. Whether a server without TLS
    // is refused differs between library versions; the connect checks the
    // outcome itself.
    const my_bool enforce = 1;
    if (api.mysql_options(handle, MYSQL_OPT_SSL_ENFORCE, &enforce) != 0)
        return false;
    // The host name is checked on request only.
    const my_bool verifyName = tls.Mode == tmVerifyIdentity ? 1 : 0;
    if (api.mysql_options(handle, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &verifyName) != 0)
        return false;
    return true;
}

QList<TmySQLClientOption> publicKeyOptions(const TmySQLClientTls &tls)
{
    QList<TmySQLClientOption> options;
    const QByteArray keyFile = fileOption(tls.ServerPublicKeyFile);
    if (!keyFile.isEmpty())
        options.append({MYSQL_SERVER_PUBLIC_KEY, keyFile});
    // Preferred may end up in clear; the other modes refuse that.
    const bool surelyEncrypted = tls.Mode != tmOff && tls.Mode != tmPreferred;
    if (keyFile.isEmpty() && !tls.FetchServerPublicKey && !surelyEncrypted)
        options.append({MARIADB_OPT_RESTRICTED_AUTH,
                        QByteArrayLiteral("mysql_native_password,mysql_old_password,mysql_clear_password,dialog,"
                                          "client_ed25519,auth_gssapi_client,parsec")});
    return options;
}

void applyPublicKeyOptions(MYSQL *handle, const TmySQLClientTls &tls)
{
    const MySqlApi &api = mysqlApi;
    if (!api.mysql_options)
        return;
    for (const TmySQLClientOption &option : publicKeyOptions(tls))
        api.mysql_options(handle, option.Option, option.Text.constData());
}

void releasePublicKeyOptions(MYSQL *handle, const TmySQLClientTls &tls)
{
    const MySqlApi &api = mysqlApi;
    // No text makes the library free its copy (an empty one it copies).
    if (api.mysql_options && !fileOption(tls.ServerPublicKeyFile).isEmpty())
        api.mysql_options(handle, MYSQL_SERVER_PUBLIC_KEY, nullptr);
}

QString tlsFailureText(const TmySQLClientTls &tls, unsigned int errorNumber, const QString &libraryText,
                       const QString &host)
{
    if (tls.Mode == tmOff || errorNumber != CR_SSL_CONNECTION_ERROR)
        return libraryText;
    const QString lower = libraryText.toLower();
    QString check;
    if (lower.contains(QLatin1String("does not support")) || lower.contains(QLatin1String("not support ssl"))
        || lower.contains(QLatin1String("server doesn't support")))
        check = QStringLiteral("TLS is required, but the server does not offer it");
    else if (tls.Mode == tmVerifyIdentity
             && (lower.contains(QLatin1String("hostname")) || lower.contains(QLatin1String("host name"))
                 || lower.contains(QLatin1String("mismatch")) || lower.contains(QLatin1String("validation of ssl server"))))
        check = QStringLiteral("The server's certificate does not name the host %1").arg(host);
    else if ((tls.Mode == tmVerifyCA || tls.Mode == tmVerifyIdentity)
             && (lower.contains(QLatin1String("verify")) || lower.contains(QLatin1String("certificate"))
                 || lower.contains(QLatin1String("issuer"))))
        check = QStringLiteral("The server's certificate is not signed by the CA of %1").arg(tls.CAFile);
    else
        check = QStringLiteral("The TLS connection could not be set up");
    return check + QStringLiteral(" (") + libraryText + QStringLiteral(")");
}

void readTlsState(MYSQL *handle, TmySQLClientOutcome &outcome)
{
    outcome.TlsVersion.clear();
    outcome.TlsCipher.clear();
    const MySqlApi &api = mysqlApi;
    if (api.mysql_get_ssl_cipher) {
        if (const char *cipher = api.mysql_get_ssl_cipher(handle))
            outcome.TlsCipher = QString::fromLatin1(cipher);
    }
    if (!outcome.TlsCipher.isEmpty() && api.mariadb_get_infov) {
        const char *version = nullptr;
        if (api.mariadb_get_infov(handle, MARIADB_CONNECTION_TLS_VERSION, &version) == 0 && version)
            outcome.TlsVersion = QString::fromLatin1(version);
    }
}

bool TmySQLClientOutcome::PasswordExpired() const
{
    return ErrorNumber == ER_MUST_CHANGE_PASSWORD_LOGIN || ErrorNumber == ER_MUST_CHANGE_PASSWORD;
}

QString ClientPluginDirectory()
{
    const QByteArray fromEnv = qgetenv("QUARNEL_CLIENT_PLUGIN_DIR");
    if (!fromEnv.isEmpty())
        return QString::fromLocal8Bit(fromEnv);
    // Debian keeps them beside the library, per architecture; other
    // systems in the client's own folder.
    const QStringList candidates = {
        QStringLiteral("/usr/lib/x86_64-linux-gnu/libmariadb3/plugin"),
        QStringLiteral("/usr/lib/aarch64-linux-gnu/libmariadb3/plugin"),
        QStringLiteral("/usr/lib/i386-linux-gnu/libmariadb3/plugin"),
        QStringLiteral("/usr/lib64/mariadb/plugin"),
        QStringLiteral("/usr/lib/mariadb/plugin"),
    };
    for (const QString &dir : candidates) {
        if (QFile::exists(dir + QStringLiteral("/client_ed25519.so")))
            return dir;
    }
    return QString();
}

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
        success = task->ResultSet != nullptr || task->Streamed;
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
        m_outboxRows += waitingRows(*task);
        m_outbox.emplace_back(int(code), std::move(task));
        if (!m_wakePosted && (queueEmpty || m_outbox.size() >= 32)) {
            wake = true;
            m_wakePosted = true;
        }
    }
    // The wake-up carries nothing: the outcomes travel through the outbox
    // under its lock. Qt makes and frees the call itself, so no memory of
    // this thread is handed over outside a lock the thread checker can see.
    if (wake)
        QMetaObject::invokeMethod(this, "wakeUp", Qt::QueuedConnection);
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
        if (next.second && waitingRows(*next.second) > 0) {
            m_outboxRows -= waitingRows(*next.second);
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

void TmySQLClientTaskHandler::wakeUp()
{
    deliverOutcomes();
}

QString TmySQLClientTaskHandler::handleError() const
{
    if (!mysqlApi.mysql_error)
        return {};
    const char *text = mysqlApi.mysql_error(m_handle);
    return text ? QString::fromUtf8(text).left(200) : QString();
}

bool TmySQLClientTaskHandler::event(QEvent *event)
{
    if (event->type() == QEvent::Timer && static_cast<QTimerEvent *>(event)->timerId() == m_pollTimer.timerId()) {
        // A connect attempt given up before it had its socket is broken off
        // as soon as it has one.
        breakOff();
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
    if (code == TaskSucceeded || code == TaskFailed)
        m_lastOutcome = task->Outcome;
    const TmySQLClientOutcome outcome = lost ? task->Outcome : TmySQLClientOutcome();
    // A handler may destroy the client and this engine with it (the last
    // thing it does): nothing here is touched once that has happened.
    QPointer<TmySQLClientTaskHandler> self(this);
    if (told) {
        const quint64 savedEpoch = m_handlingEpoch;
        m_handlingEpoch = task->Epoch;
        ++m_handlingDepth;
        // The wrap-up takes the task over; the function it runs in is not
        // the task's own any more, so releasing the task cannot pull it away.
        switch (code) {
        case TaskSucceeded: {
            const TmySQLClientTaskComplete wrapUp = std::move(task->OnTaskComplete);
            wrapUp(this, std::move(task));
            break;
        }
        case TaskFailed: {
            // The text taken when the library call failed: later statements
            // have changed the connection's own text since.
            const TmySQLClientTaskError wrapUp = std::move(task->OnTaskError);
            const QString message = task->Outcome.ErrorText;
            wrapUp(this, std::move(task), message);
            break;
        }
        case TaskProgress: {
            const TmySQLClientTaskProgress wrapUp = task->OnTaskProgress;
            const int current = task->ProgressCurrent;
            const int total = task->ProgressTotal;
            wrapUp(this, std::move(task), current, total);
            break;
        }
        }
        if (!self)
            return;
        --m_handlingDepth;
        m_handlingEpoch = savedEpoch;
    }
    if (lost && OnLostConnection) {
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
    std::lock_guard<std::mutex> handleLock(m_handleMutex);
    if (m_handleInitialized && mysqlApi.mysql_close)
        mysqlApi.mysql_close(m_handle);
    m_handleInitialized = false;
}

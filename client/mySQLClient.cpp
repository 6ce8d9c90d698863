#include "client/mySQLClient.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace {

QString fromClient(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// Sets a wrap-up's view of the current task (and result) for the time of a
// handler and gives the previous one back afterwards: a handler that lets
// the event loop run may see other outcomes of the same object meanwhile.
// A handler may also destroy the object: then nothing is given back.
template<typename T>
class Restore
{
public:
    Restore(QObject *owner, T &slot) : m_owner(owner), m_slot(slot), m_saved(std::move(slot)) {}
    ~Restore()
    {
        if (m_owner)
            m_slot = std::move(m_saved);
    }
    Restore(const Restore &) = delete;
    Restore &operator=(const Restore &) = delete;

private:
    QPointer<QObject> m_owner;
    T &m_slot;
    T m_saved;
};

} // namespace

// --- TmySQLClientQuery ------------------------------------------------------

TmySQLClientQuery::TmySQLClientQuery(TmySQLClientTaskHandler *engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
}

void TmySQLClientQuery::Execute(const QString &statement, const QString &TaskName,
                                TmySQLClientTask_OnProgress OnProgress, TmySQLClientTask_OnError OnError,
                                TmySQLClientTask_OnComplete OnComplete, quint64 batch,
                                std::shared_ptr<TmySQLRowSink> sink)
{
    if (!ClientLibraryBound())
        return;
    auto task = std::make_unique<TmySQLClientTaskData>();
    task->Kind = ctQuery;
    task->setTaskName(TaskName);
    task->Statement = statement.toUtf8();
    task->Batch = batch;
    task->Sink = std::move(sink);
    // A task whose object is gone is released unreported.
    QPointer<TmySQLClientQuery> self(this);
    task->OnTaskComplete = [self](TmySQLClientTaskHandler *, TmySQLClientTask t) {
        if (self)
            self->wrapUp(std::move(t), true, QString());
    };
    task->OnTaskError = [self](TmySQLClientTaskHandler *, TmySQLClientTask t, const QString &message) {
        if (self)
            self->wrapUp(std::move(t), false, message);
    };
    task->OnTaskProgress = [self](TmySQLClientTaskHandler *, TmySQLClientTask t, int current, int total) {
        if (self)
            self->progress(std::move(t), current, total);
    };
    task->OnProgress = std::move(OnProgress);
    task->OnError = std::move(OnError);
    task->OnComplete = std::move(OnComplete);
    m_engine->EnqueueTask(std::move(task));
}

quint64 TmySQLClientQuery::NewBatch()
{
    static std::atomic<quint64> last{0};
    return ++last;
}

void TmySQLClientQuery::Run()
{
    if (ClientLibraryBound())
        m_engine->RunTasks();
}

void TmySQLClientQuery::wrapUp(TmySQLClientTask owned, bool success, const QString &message)
{
    // The task (and its result) is released when the handler has returned.
    TmySQLClientTaskData *task = owned.get();
    Restore<TmySQLClientTaskData *> keepTask(this, m_currentTask);
    Restore<std::shared_ptr<const TmySQLResultRows>> keepResult(this, m_result);
    Restore<std::vector<std::shared_ptr<const TmySQLResultRows>>> keepEarlier(this, m_earlier);
    m_currentTask = task;
    m_earlier.assign(task->EarlierRows.begin(), task->EarlierRows.end());
    if (success) {
        if (task->Rows) {
            m_result = std::move(task->Rows);
        } else {
            m_result = std::make_shared<TmySQLResultRows>(task->ResultSet);
            task->ResultSet = nullptr; // the rows own it now
        }
        if (task->OnComplete)
            task->OnComplete(this);
    } else {
        m_result.reset();
        if (task->OnError)
            task->OnError(this, message);
    }
}

void TmySQLClientQuery::progress(TmySQLClientTask owned, int current, int total)
{
    TmySQLClientTaskData *task = owned.get();
    Restore<TmySQLClientTaskData *> keepTask(this, m_currentTask);
    m_currentTask = task;
    if (task->OnProgress)
        task->OnProgress(this, task->TaskName, current, total);
}

int TmySQLClientQuery::RowCount() const
{
    return m_result ? m_result->rowCount() : 0;
}

int TmySQLClientQuery::FieldCount() const
{
    return m_result ? m_result->fieldCount() : -1;
}

QString TmySQLClientQuery::FieldName(int column) const
{
    if (!m_result)
        return {};
    const QStringList &names = m_result->fieldNames();
    return column >= 0 && column < names.size() ? names.at(column) : QString();
}

int TmySQLClientQuery::FieldIndex(const QString &name) const
{
    if (!m_result)
        return -1;
    const QStringList &names = m_result->fieldNames();
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

const char *TmySQLClientQuery::RawValue(int row, int column) const
{
    return m_result ? m_result->cell(row, column) : nullptr;
}

int TmySQLClientQuery::RawLength(int row, int column) const
{
    return m_result ? m_result->cellLength(row, column) : 0;
}

namespace {
const TmySQLClientOutcome &noOutcome()
{
    static const TmySQLClientOutcome none;
    return none;
}
} // namespace

const TmySQLClientOutcome &TmySQLClientQuery::Outcome() const
{
    return m_currentTask ? m_currentTask->Outcome : noOutcome();
}

QString TmySQLClientQuery::Value(int row, int column) const
{
    return fromClient(RawValue(row, column));
}

QString TmySQLClientQuery::ValueByName(int row, const QString &name) const
{
    const int column = FieldIndex(name);
    return column < 0 ? QString() : Value(row, column);
}

// --- TmySQLClientModify -----------------------------------------------------

TmySQLClientModify::TmySQLClientModify(TmySQLClientTaskHandler *engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
}

TmySQLClientModify::~TmySQLClientModify()
{
    Clear();
}

void TmySQLClientModify::Clear()
{
    for (auto &entry : m_objects)
        delete entry.second;
    m_objects.clear();
}

void TmySQLClientModify::Run()
{
    if (ClientLibraryBound())
        m_engine->RunTasks();
}

// --- TmySQLClientUtility ----------------------------------------------------

TmySQLClientUtility::TmySQLClientUtility(TmySQLClientTaskHandler *engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
}

void TmySQLClientUtility::queue(TClientTaskKind kind, const QString &TaskName,
                                TmySQLClientTask_OnComplete OnComplete, TmySQLClientTask_OnError OnError,
                                const std::function<void(TmySQLClientTaskData &)> &fill)
{
    if (!ClientLibraryBound())
        return;
    auto task = std::make_unique<TmySQLClientTaskData>();
    task->Kind = kind;
    task->setTaskName(TaskName);
    fill(*task);
    QPointer<TmySQLClientUtility> self(this);
    task->OnTaskComplete = [self](TmySQLClientTaskHandler *, TmySQLClientTask t) {
        if (self)
            self->wrapUp(std::move(t), true, QString());
    };
    task->OnTaskError = [self](TmySQLClientTaskHandler *, TmySQLClientTask t, const QString &message) {
        if (self)
            self->wrapUp(std::move(t), false, message);
    };
    task->OnComplete = std::move(OnComplete);
    task->OnError = std::move(OnError);
    m_engine->EnqueueTask(std::move(task));
}

void TmySQLClientUtility::wrapUp(TmySQLClientTask owned, bool success, const QString &message)
{
    TmySQLClientTaskData *task = owned.get();
    Restore<TmySQLClientTaskData *> keepTask(this, m_currentTask);
    m_currentTask = task;
    if (success) {
        // What the window knows about the connection comes with the outcomes.
        if (task->Kind == ctRealConnect || task->Kind == ctConnect)
            m_connection = task->Connection;
        else if (task->Kind == ctClose)
            m_connection = TmySQLClientConnectionInfo();
        else if (task->Kind == ctStat && !task->ResultNames.isEmpty())
            m_serverStat = task->ResultNames.first();
        if (task->OnComplete)
            task->OnComplete(this);
    } else if (task->OnError) {
        task->OnError(this, message);
    }
}

void TmySQLClientUtility::OpenSession(const QString &host, const QString &user, const QString &password,
                                      const QString &database, int port, unsigned long clientFlags,
                                      const QString &TaskName, TmySQLClientTask_OnComplete OnComplete,
                                      TmySQLClientTask_OnError OnError, unsigned int connectTimeout,
                                      const TmySQLClientTls &tls, const QString &newPassword)
{
    queue(ctRealConnect, TaskName, std::move(OnComplete), std::move(OnError), [&](TmySQLClientTaskData &t) {
        t.ConnectTimeout = connectTimeout;
        t.Tls = tls;
        if (!newPassword.isEmpty())
            t.NewPassword = newPassword.toUtf8();
        t.Host = host.toUtf8();
        t.User = user.toUtf8();
        t.Password = password.toUtf8();
        t.Database = database.toUtf8();
        t.Port = unsigned(port);
        t.ClientFlags = clientFlags;
    });
}

void TmySQLClientUtility::CloseSession(const QString &TaskName, TmySQLClientTask_OnComplete OnComplete)
{
    queue(ctClose, TaskName, std::move(OnComplete), nullptr, [](TmySQLClientTaskData &) {});
}

void TmySQLClientUtility::SelectDb(const QString &database, const QString &TaskName)
{
    queue(ctSelectDb, TaskName, Events.OnSelectDatabase, Events.OnSelectDatabaseError,
          [&](TmySQLClientTaskData &t) { t.Database = database.toUtf8(); });
}

void TmySQLClientUtility::SelectDb(const QString &database, const QString &TaskName,
                                   TmySQLClientTask_OnComplete OnComplete, TmySQLClientTask_OnError OnError)
{
    queue(ctSelectDb, TaskName, std::move(OnComplete), std::move(OnError),
          [&](TmySQLClientTaskData &t) { t.Database = database.toUtf8(); });
}

void TmySQLClientUtility::ListDbs(const QString &wildcard, const QString &TaskName)
{
    queue(ctListDbs, TaskName, Events.OnListDatabases, Events.OnListDatabasesError,
          [&](TmySQLClientTaskData &t) { t.Wildcard = wildcard.toUtf8(); });
}

void TmySQLClientUtility::ListTables(const QString &wildcard, const QString &TaskName)
{
    queue(ctListTables, TaskName, Events.OnListTables, Events.OnListTablesError,
          [&](TmySQLClientTaskData &t) { t.Wildcard = wildcard.toUtf8(); });
}

void TmySQLClientUtility::Stat(const QString &TaskName, TmySQLClientTask_OnComplete OnComplete,
                               TmySQLClientTask_OnError OnError)
{
    queue(ctStat, TaskName, std::move(OnComplete), std::move(OnError), [](TmySQLClientTaskData &) {});
}

void TmySQLClientUtility::Run()
{
    if (ClientLibraryBound())
        m_engine->RunTasks();
}

QStringList TmySQLClientUtility::ResultNames() const
{
    return m_currentTask ? m_currentTask->ResultNames : QStringList();
}

const TmySQLClientOutcome &TmySQLClientUtility::Outcome() const
{
    return m_currentTask ? m_currentTask->Outcome : noOutcome();
}

unsigned long TmySQLClientUtility::OpenedConnectionId() const
{
    return m_currentTask ? m_currentTask->ConnectionId : 0;
}

// The reads answer from what the outcomes brought: the handle belongs to
// the thread that runs the tasks.
QString TmySQLClientUtility::ServerInfo() const
{
    return m_connection.ServerInfo;
}

QString TmySQLClientUtility::ClientInfo() const
{
    return mysqlApi.mysql_get_client_info ? fromClient(mysqlApi.mysql_get_client_info()) : QString();
}

QString TmySQLClientUtility::HostInfo() const
{
    return m_connection.HostInfo;
}

unsigned int TmySQLClientUtility::ProtocolInfo() const
{
    return m_connection.ProtocolInfo;
}

QString TmySQLClientUtility::ServerStat() const
{
    return m_serverStat;
}

QString TmySQLClientUtility::LastError() const
{
    return (m_currentTask ? m_currentTask->Outcome : m_engine->LastOutcome()).ErrorText;
}

int TmySQLClientUtility::AffectedRows() const
{
    const TmySQLClientOutcome &outcome = m_currentTask ? m_currentTask->Outcome : m_engine->LastOutcome();
    // The library's count cut to 32 bits, as the old interface read it.
    return int(quint32(quint64(outcome.AffectedRows)));
}

// --- TmySQLClient -----------------------------------------------------------

TmySQLClient::TmySQLClient(QObject *parent)
    : QObject(parent)
{
    std::memset(static_cast<void *>(&m_mysql), 0, sizeof m_mysql);
    m_engine = new TmySQLClientTaskHandler(&m_mysql, this);
    m_kill = std::make_shared<KillState>();
    m_kill->receiver = this;
    m_utility = new TmySQLClientUtility(m_engine, this);
}

TmySQLClient::~TmySQLClient()
{
    {
        // A stop request still under way reports to nobody.
        std::lock_guard<std::mutex> lock(m_kill->mutex);
        m_kill->receiver = nullptr;
    }
    AbandonConnect();
    if (m_connected) {
        m_blockOnClose = true;
        m_engine->setTaskListBox(nullptr);
        Close();
    }
    // Pending notifications go with the engine: no handler is called. It
    // gives up whatever still runs and releases the handle.
    delete m_engine;
    m_engine = nullptr;
    delete m_modify;
    delete m_query;
    delete m_utility;
}

bool TmySQLClient::Threaded() const
{
    return m_engine->Threaded();
}

void TmySQLClient::setThreaded(bool value)
{
    m_engine->setThreaded(value);
}

unsigned long TmySQLClient::ClientFlags() const
{
    // Member n contributes 2^n: the set's bits are the flags themselves.
    return m_capabilities & 0x1ffu;
}

void TmySQLClient::Connect()
{
    if (m_connected || !ClientLibraryBound())
        return;
    const unsigned long flags = ClientFlags();
    m_engine->setTaskListBox(m_taskListBox);
    m_utility->Events = UtilityEvents;
    m_connecting = true;
    const quint64 serial = ++m_connectSerial;
    m_connectTaskSerial = m_engine->LastSerial() + 1;
    QPointer<TmySQLClient> self(this);
    // A new password is for this attempt only, failed or not.
    const QString newPassword = std::exchange(m_newPassword, QString());
    m_utility->OpenSession(m_hostname, m_username, m_password, m_database, m_port, flags,
                           QStringLiteral("Connect to mySQL Server"),
                           [self, serial, newPassword](QObject *sender) {
                               if (!self)
                                   return;
                               // The account's password is the new one now.
                               if (!newPassword.isEmpty())
                                   self->m_password = newPassword;
                               auto *utility = static_cast<TmySQLClientUtility *>(sender);
                               self->opened(serial, utility->OpenedConnectionId(), utility->Outcome());
                           },
                           [self, serial](QObject *sender, const QString &message) {
                               if (!self || serial <= self->m_abandonedUpTo)
                                   return; // nobody waits for it any more
                               self->m_connecting = false;
                               // A copy: the handler may destroy the client.
                               const TmySQLClientTask_OnError handler = self->OnConnectError;
                               if (handler)
                                   handler(sender, message);
                           },
                           m_connectTimeout, m_tls, newPassword);
    m_utility->Run();
}

void TmySQLClient::opened(quint64 serial, unsigned long connectionId, const TmySQLClientOutcome &outcome)
{
    if (serial <= m_abandonedUpTo) {
        // The user gave up waiting. The late connection is closed again,
        // unless a newer attempt has already taken the handle over.
        if (serial == m_connectSerial) {
            m_utility->CloseSession(QStringLiteral("Close Session"), nullptr);
            m_utility->Run();
        }
        return;
    }
    m_connecting = false;
    m_connected = true;
    m_connectionId = connectionId;
    m_tlsVersion = outcome.TlsVersion;
    m_tlsCipher = outcome.TlsCipher;
    m_query = new TmySQLClientQuery(m_engine, this);
    m_modify = new TmySQLClientModify(m_engine, this);
    // A copy: the handler may destroy the client.
    const TmySQLClientTask_OnComplete handler = OnConnect;
    if (handler)
        handler(this);
}

void TmySQLClient::Close()
{
    if (!ClientLibraryBound() || !m_connected)
        return;
    // With the worker, what has not started yet is dropped: a batch that
    // waits for the window to take its results would keep the close waiting
    // behind it, and nobody wants those results any more.
    if (Threaded())
        m_engine->CancelPending();
    const quint64 before = m_engine->LastSerial();
    QPointer<TmySQLClient> self(this);
    m_utility->CloseSession(QStringLiteral("Close Session"), [self](QObject *) {
        if (self)
            self->closed();
    });
    m_utility->Run();
    // The close never runs beside a statement on the same connection: it
    // waits for the one running, so the library's close has happened when
    // Close returns. A server that does not answer within CloseTimeout loses
    // the connection instead: its socket is shut down, the statement's call
    // returns with an error, and the close follows at once.
    if (Threaded() && m_blockOnClose && !m_engine->WaitUntilExecuted(m_closeTimeout)) {
        m_engine->Abandon(before);
        while (!m_engine->WaitUntilExecuted(20))
            m_engine->Abandon(before);
    }
    m_connected = false;
}

void TmySQLClient::AbandonConnect()
{
    if (!m_connecting)
        return;
    m_abandonedUpTo = m_connectSerial;
    m_connecting = false;
    // The attempt fails at once instead of when its timeout ends. Before its
    // socket exists there is nothing to shut down: the engine tries again
    // while the attempt runs.
    m_engine->Abandon(m_connectTaskSerial);
}

void TmySQLClient::AbandonConnection()
{
    m_engine->Abandon(m_engine->LastSerial());
}

void TmySQLClient::KillQuery(std::function<void(const QString &)> done)
{
    if (!m_connected || m_connectionId == 0 || !ClientLibraryBound()) {
        if (done)
            done(QStringLiteral("No statement to stop"));
        return;
    }
    const QByteArray host = m_hostname.toUtf8();
    const QByteArray user = m_username.toUtf8();
    const QByteArray password = m_password.toUtf8();
    const unsigned int port = unsigned(m_port);
    const unsigned long id = m_connectionId;
    const std::shared_ptr<KillState> state = m_kill;
    const MySqlApi api = mysqlApi; // the thread's own copy: unloading clears the global one
    HoldClientLibrary();
    const TmySQLClientTls tls = m_tls;
    // A connection of its own: the client's connection is busy with the
    // statement to be stopped. The thread is not waited for: a server that
    // does not answer holds it until its time limits run out, and then it
    // reports to nobody if the client has gone meanwhile.
    std::thread([=] {
        QString error;
        MYSQL *side = api.mysql_init && api.mysql_close ? api.mysql_init(nullptr) : nullptr;
        const auto sideError = [&api, &side] {
            const QString text = api.mysql_error ? fromClient(api.mysql_error(side)) : QString();
            return text.isEmpty() ? QStringLiteral("The stop request failed") : text;
        };
        if (!side) {
            error = QStringLiteral("The client library could not prepare a connection");
        } else if (!api.mysql_real_connect || !api.mysql_real_query) {
            error = QStringLiteral("The client library cannot send the stop request");
        } else {
            if (api.mysql_options) {
                const unsigned int protocol = MYSQL_PROTOCOL_TCP;
                const unsigned int timeout = 5;
                api.mysql_options(side, MYSQL_OPT_PROTOCOL, &protocol);
                api.mysql_options(side, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
                api.mysql_options(side, MYSQL_OPT_READ_TIMEOUT, &timeout);
                api.mysql_options(side, MYSQL_OPT_WRITE_TIMEOUT, &timeout);
                // Secured and authenticated as the session itself is.
                const QByteArray pluginDir = QFile::encodeName(ClientPluginDirectory());
                if (!pluginDir.isEmpty())
                    api.mysql_options(side, MYSQL_PLUGIN_DIR, pluginDir.constData());
            }
            if (tls.Mode != tmOff)
                applyTlsOptions(side, tls);
            applyPublicKeyOptions(side, tls);
            const bool sideConnected = api.mysql_real_connect(side, host.constData(), user.constData(),
                                                              password.constData(), nullptr, port, nullptr, 0);
            releasePublicKeyOptions(side, tls);
            if (!sideConnected) {
                error = sideError();
            } else {
                const QByteArray statement = "KILL QUERY " + QByteArray::number(qulonglong(id));
                if (api.mysql_real_query(side, statement.constData(), ulong(statement.size())) != 0)
                    error = sideError();
            }
        }
        if (side)
            api.mysql_close(side);
        ReleaseClientLibrary();
        std::lock_guard<std::mutex> lock(state->mutex);
        if (state->receiver) {
            // Delivered only while the client lives: a posted call dies with it.
            // The call is made under the same lock it is posted under, so
            // what it carries is handed over visibly to the thread checker.
            QMetaObject::invokeMethod(state->receiver, [state, error, done] {
                std::unique_lock<std::mutex> handOver(state->mutex);
                const QString message = error;
                const std::function<void(const QString &)> report = done;
                handOver.unlock();
                if (report)
                    report(message);
            }, Qt::QueuedConnection);
        }
    }).detach();
}

void TmySQLClient::closed()
{
    m_connected = false;
    m_connectionId = 0;
    m_tlsVersion.clear();
    m_tlsCipher.clear();
    QPointer<TmySQLClient> self(this);
    const TmySQLClientTask_OnComplete handler = OnClose;
    if (handler)
        handler(this);
    if (!self)
        return; // the handler destroyed the client, and the objects with it
    // A handler of the old objects may still be on the stack: delete later.
    if (m_query)
        m_query->deleteLater();
    if (m_modify)
        m_modify->deleteLater();
    m_query = nullptr;
    m_modify = nullptr;
}

#include "client/mySQLClient.h"

#include <algorithm>
#include <cstring>

namespace {

QString fromClient(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// Keeps a wrap-up's view of the current task and result for the time of a
// handler, and gives the previous one back afterwards: a handler that lets
// the event loop run may see other outcomes of the same object meanwhile.
template<typename T>
class Restore
{
public:
    explicit Restore(T &slot) : m_slot(slot), m_saved(std::move(slot)) {}
    ~Restore() { m_slot = std::move(m_saved); }

private:
    T &m_slot;
    T m_saved;
};

} // namespace

// --- TmySQLField -------------------------------------------------------------

namespace {

constexpr unsigned int BinaryCharset = 63;

bool isTemporal(enum_field_types type)
{
    switch (type) {
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_YEAR:
        return true;
    default:
        return false;
    }
}

} // namespace

bool TmySQLField::isBinary() const
{
    if (type == MYSQL_TYPE_BIT)
        return true;
    if (charsetnr != BinaryCharset)
        return false;
    switch (type) {
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
    case MYSQL_TYPE_GEOMETRY:
        return true;
    default:
        return false;
    }
}

bool TmySQLField::isNumeric() const
{
    switch (type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
        return true;
    default:
        return false;
    }
}

QString TmySQLField::typeName() const
{
    const bool binary = charsetnr == BinaryCharset;
    QString name;
    switch (type) {
    case MYSQL_TYPE_TINY: name = QStringLiteral("TINYINT"); break;
    case MYSQL_TYPE_SHORT: name = QStringLiteral("SMALLINT"); break;
    case MYSQL_TYPE_INT24: name = QStringLiteral("MEDIUMINT"); break;
    case MYSQL_TYPE_LONG: name = QStringLiteral("INT"); break;
    case MYSQL_TYPE_LONGLONG: name = QStringLiteral("BIGINT"); break;
    case MYSQL_TYPE_FLOAT: name = QStringLiteral("FLOAT"); break;
    case MYSQL_TYPE_DOUBLE: name = QStringLiteral("DOUBLE"); break;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: name = QStringLiteral("DECIMAL"); break;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE: name = QStringLiteral("DATE"); break;
    case MYSQL_TYPE_TIME: name = QStringLiteral("TIME"); break;
    case MYSQL_TYPE_DATETIME: name = QStringLiteral("DATETIME"); break;
    case MYSQL_TYPE_TIMESTAMP: name = QStringLiteral("TIMESTAMP"); break;
    case MYSQL_TYPE_YEAR: name = QStringLiteral("YEAR"); break;
    case MYSQL_TYPE_BIT: name = QStringLiteral("BIT(%1)").arg(length); break;
    case MYSQL_TYPE_GEOMETRY: name = QStringLiteral("GEOMETRY"); break;
    case MYSQL_TYPE_JSON: name = QStringLiteral("JSON"); break;
    case MYSQL_TYPE_NULL: name = QStringLiteral("NULL"); break;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB: name = binary ? QStringLiteral("BLOB") : QStringLiteral("TEXT"); break;
    case MYSQL_TYPE_STRING:
        if (flags & ENUM_FLAG)
            name = QStringLiteral("ENUM");
        else if (flags & SET_FLAG)
            name = QStringLiteral("SET");
        else
            name = binary ? QStringLiteral("BINARY") : QStringLiteral("CHAR");
        break;
    default: name = binary ? QStringLiteral("VARBINARY") : QStringLiteral("VARCHAR"); break;
    }
    if (isNumeric() && (flags & UNSIGNED_FLAG))
        name += QStringLiteral(" UNSIGNED");
    return name;
}

// --- TmySQLResultRows -------------------------------------------------------

TmySQLResultRows::TmySQLResultRows(MYSQL_RES *result)
    : m_result(result)
{
    if (!m_result)
        return;
    const MySqlApi &api = mysqlApi;
    m_fieldCount = api.mysql_num_fields ? int(api.mysql_num_fields(m_result)) : 0;
    m_fields.reserve(size_t(m_fieldCount));
    auto addField = [this](const MYSQL_FIELD &field) {
        TmySQLField f;
        f.name = fromClient(field.name);
        f.type = field.type;
        f.charsetnr = field.charsetnr;
        f.flags = field.flags;
        f.length = field.length;
        m_fieldNames.append(f.name);
        m_fields.push_back(std::move(f));
    };
    if (api.mysql_fetch_fields) {
        if (const MYSQL_FIELD *fields = api.mysql_fetch_fields(m_result)) {
            for (int i = 0; i < m_fieldCount; ++i)
                addField(fields[i]);
        }
    } else if (api.mysql_fetch_field) {
        while (const MYSQL_FIELD *field = api.mysql_fetch_field(m_result))
            addField(*field);
    }
    // Only text and byte columns can hold a zero byte inside a value.
    std::vector<int> checked;
    for (int i = 0; i < int(m_fields.size()); ++i) {
        if (!m_fields[size_t(i)].isNumeric() && !isTemporal(m_fields[size_t(i)].type))
            checked.push_back(i);
    }
    // Only the low 32 bits of the row count are used for reading rows.
    const quint32 rows = api.mysql_num_rows ? quint32(api.mysql_num_rows(m_result)) : 0;
    m_rows.reserve(rows);
    for (quint32 i = 0; i < rows && api.mysql_fetch_row; ++i) {
        MYSQL_ROW row = api.mysql_fetch_row(m_result);
        if (!row)
            break;
        if (!checked.empty() && api.mysql_fetch_lengths) {
            if (const unsigned long *lengths = api.mysql_fetch_lengths(m_result)) {
                for (int c : checked) {
                    const char *value = row[c];
                    if (value && lengths[c] > 0 && std::memchr(value, 0, lengths[c]))
                        m_lengths.emplace_back(quint64(i) * quint64(m_fieldCount) + quint64(c), quint32(lengths[c]));
                }
            }
        }
        m_rows.push_back(row);
    }
}

TmySQLResultRows::~TmySQLResultRows()
{
    if (m_result && mysqlApi.mysql_free_result)
        mysqlApi.mysql_free_result(m_result);
}

int TmySQLResultRows::cellLength(int row, int column) const
{
    const char *value = cell(row, column);
    if (!value)
        return 0;
    if (!m_lengths.empty()) {
        const quint64 key = quint64(row) * quint64(m_fieldCount) + quint64(column);
        const auto it = std::lower_bound(m_lengths.begin(), m_lengths.end(), key,
                                         [](const std::pair<quint64, quint32> &entry, quint64 k) {
                                             return entry.first < k;
                                         });
        if (it != m_lengths.end() && it->first == key)
            return int(it->second);
    }
    return int(std::strlen(value));
}

const QStringList &TmySQLResultRows::fieldNames() const
{
    return m_fieldNames;
}

// --- TmySQLClientQuery ------------------------------------------------------

TmySQLClientQuery::TmySQLClientQuery(TmySQLClientTaskHandler *engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
}

void TmySQLClientQuery::Execute(const QString &statement, const QString &TaskName,
                                TmySQLClientTask_OnProgress OnProgress, TmySQLClientTask_OnError OnError,
                                TmySQLClientTask_OnComplete OnComplete)
{
    if (!ClientLibraryBound())
        return;
    auto task = std::make_unique<TmySQLClientTaskData>();
    task->Kind = ctQuery;
    task->setTaskName(TaskName);
    task->Statement = statement.toUtf8();
    QPointer<TmySQLClientQuery> self(this);
    task->OnTaskComplete = [self](TmySQLClientTaskHandler *, TmySQLClientTaskData *t) {
        if (self)
            self->wrapUp(t, true, QString());
        else
            delete t;
    };
    task->OnTaskError = [self](TmySQLClientTaskHandler *, TmySQLClientTaskData *t, const QString &message) {
        if (self)
            self->wrapUp(t, false, message);
        else
            delete t;
    };
    task->OnTaskProgress = [self](TmySQLClientTaskHandler *, TmySQLClientTaskData *t, int current, int total) {
        if (self)
            self->progress(t, current, total);
        else
            delete t;
    };
    task->OnProgress = std::move(OnProgress);
    task->OnError = std::move(OnError);
    task->OnComplete = std::move(OnComplete);
    m_engine->EnqueueTask(std::move(task));
}

void TmySQLClientQuery::Run()
{
    if (ClientLibraryBound())
        m_engine->RunTasks();
}

void TmySQLClientQuery::wrapUp(TmySQLClientTaskData *task, bool success, const QString &message)
{
    const TmySQLClientTask owned(task); // released when the handler has returned
    Restore<TmySQLClientTaskData *> keepTask(m_currentTask);
    Restore<std::shared_ptr<const TmySQLResultRows>> keepResult(m_result);
    m_currentTask = task;
    if (success) {
        m_result = std::make_shared<TmySQLResultRows>(task->ResultSet);
        task->ResultSet = nullptr; // the rows own it now
        if (task->OnComplete)
            task->OnComplete(this);
    } else {
        m_result.reset();
        if (task->OnError)
            task->OnError(this, message);
    }
}

void TmySQLClientQuery::progress(TmySQLClientTaskData *task, int current, int total)
{
    const TmySQLClientTask owned(task);
    Restore<TmySQLClientTaskData *> keepTask(m_currentTask);
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
    task->OnTaskComplete = [self](TmySQLClientTaskHandler *, TmySQLClientTaskData *t) {
        if (self)
            self->wrapUp(t, true, QString());
        else
            delete t;
    };
    task->OnTaskError = [self](TmySQLClientTaskHandler *, TmySQLClientTaskData *t, const QString &message) {
        if (self)
            self->wrapUp(t, false, message);
        else
            delete t;
    };
    task->OnComplete = std::move(OnComplete);
    task->OnError = std::move(OnError);
    m_engine->EnqueueTask(std::move(task));
}

void TmySQLClientUtility::wrapUp(TmySQLClientTaskData *task, bool success, const QString &message)
{
    const TmySQLClientTask owned(task);
    Restore<TmySQLClientTaskData *> keepTask(m_currentTask);
    m_currentTask = task;
    if (success) {
        if (task->OnComplete)
            task->OnComplete(this);
    } else if (task->OnError) {
        task->OnError(this, message);
    }
}

void TmySQLClientUtility::OpenSession(const QString &host, const QString &user, const QString &password,
                                      const QString &database, int port, unsigned long clientFlags,
                                      const QString &TaskName, TmySQLClientTask_OnComplete OnComplete,
                                      TmySQLClientTask_OnError OnError, unsigned int connectTimeout)
{
    queue(ctRealConnect, TaskName, std::move(OnComplete), std::move(OnError), [&](TmySQLClientTaskData &t) {
        t.ConnectTimeout = connectTimeout;
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

// The reads work on the handle as it is; a handle the library has not
// prepared (or has closed) answers with empty texts instead of being touched.
QString TmySQLClientUtility::ServerInfo() const
{
    if (!mysqlApi.mysql_get_server_info || !m_engine->HandleReady())
        return {};
    return fromClient(mysqlApi.mysql_get_server_info(m_engine->Handle()));
}

QString TmySQLClientUtility::ClientInfo() const
{
    return mysqlApi.mysql_get_client_info ? fromClient(mysqlApi.mysql_get_client_info()) : QString();
}

QString TmySQLClientUtility::HostInfo() const
{
    if (!mysqlApi.mysql_get_host_info || !m_engine->HandleReady())
        return {};
    return fromClient(mysqlApi.mysql_get_host_info(m_engine->Handle()));
}

unsigned int TmySQLClientUtility::ProtocolInfo() const
{
    if (!mysqlApi.mysql_get_proto_info || !m_engine->HandleReady())
        return 0;
    return mysqlApi.mysql_get_proto_info(m_engine->Handle());
}

QString TmySQLClientUtility::ServerStat() const
{
    if (!mysqlApi.mysql_stat || !m_engine->HandleReady())
        return {};
    return fromClient(mysqlApi.mysql_stat(m_engine->Handle()));
}

QString TmySQLClientUtility::LastError() const
{
    return m_engine->LastError();
}

int TmySQLClientUtility::AffectedRows() const
{
    if (!mysqlApi.mysql_affected_rows)
        return -1;
    return int(quint32(mysqlApi.mysql_affected_rows(m_engine->Handle())));
}

// --- TmySQLClient -----------------------------------------------------------

TmySQLClient::TmySQLClient(QObject *parent)
    : QObject(parent)
{
    std::memset(static_cast<void *>(&m_mysql), 0, sizeof m_mysql);
    m_engine = new TmySQLClientTaskHandler(&m_mysql, this);
    m_utility = new TmySQLClientUtility(m_engine, this);
}

TmySQLClient::~TmySQLClient()
{
    if (m_connected) {
        m_blockOnClose = true;
        m_engine->setTaskListBox(nullptr);
        Close();
    }
    m_engine->ReleaseHandle();
    // Pending notifications go with the engine: no handler is called.
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
    QPointer<TmySQLClient> self(this);
    m_utility->OpenSession(m_hostname, m_username, m_password, m_database, m_port, flags,
                           QStringLiteral("Connect to mySQL Server"),
                           [self](QObject *sender) {
                               if (self)
                                   self->opened(static_cast<TmySQLClientUtility *>(sender)->OpenedConnectionId());
                           },
                           OnConnectError, m_connectTimeout);
    m_utility->Run();
}

void TmySQLClient::opened(unsigned long connectionId)
{
    m_connected = true;
    m_connectionId = connectionId;
    m_query = new TmySQLClientQuery(m_engine, this);
    m_modify = new TmySQLClientModify(m_engine, this);
    if (OnConnect)
        OnConnect(this);
}

void TmySQLClient::Close()
{
    if (!ClientLibraryBound() || !m_connected)
        return;
    const bool threaded = Threaded();
    if (m_blockOnClose)
        setThreaded(false);
    QPointer<TmySQLClient> self(this);
    m_utility->CloseSession(QStringLiteral("Close Session"), [self](QObject *) {
        if (self)
            self->closed();
    });
    m_utility->Run();
    if (m_blockOnClose)
        setThreaded(threaded);
    m_connected = false;
}

void TmySQLClient::closed()
{
    m_connected = false;
    m_connectionId = 0;
    if (OnClose)
        OnClose(this);
    // A handler of the old objects may still be on the stack: delete later.
    if (m_query)
        m_query->deleteLater();
    if (m_modify)
        m_modify->deleteLater();
    m_query = nullptr;
    m_modify = nullptr;
}

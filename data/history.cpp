#include "data/history.h"

#include "data/datafolder.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <atomic>

namespace {

QString nextConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("QuarnelHistory%1").arg(++counter);
}

// A search text inside a LIKE pattern stands for itself.
QString likePattern(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    escaped.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

// Qt binds a null text as NULL; the columns hold texts.
QString notNull(const QString &text)
{
    return text.isNull() ? QString::fromLatin1("", 0) : text;
}

} // namespace

// The SQLite side of the history. It is used on the history's own thread
// only (a Qt SQL connection belongs to the thread that made it).
class HistoryStore
{
public:
    ~HistoryStore() { close(); }

    bool open(const QString &databaseName, QString *error);
    void close();
    bool isOpen() const { return !m_connection.isEmpty(); }
    void setLimits(int maxEntries, qint64 maxCharacters);
    // Writes the entries (and those a failed write left); false and *error
    // when the write failed.
    bool write(const QList<HistoryEntry> &entries, QString *error);
    QList<HistoryEntry> search(const QString &text, int limit);
    qint64 count();
    void clear();

private:
    QSqlDatabase database() const { return QSqlDatabase::database(m_connection, false); }
    void prune();

    QString m_connection;
    QList<HistoryEntry> m_unwritten;
    int m_maxEntries = QueryHistory::DefaultMaxEntries;
    qint64 m_maxCharacters = QueryHistory::DefaultMaxCharacters;
    qint64 m_characters = -1; // of the entries kept; -1: not yet counted
    qint64 m_countedUpTo = 0; // the newest entry counted in m_characters
};

bool HistoryStore::open(const QString &databaseName, QString *error)
{
    close();
    const QString name = nextConnectionName();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databaseName);
        ok = db.open();
        if (ok) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
            query.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
            query.exec(QStringLiteral("PRAGMA journal_size_limit = 1048576"));
            ok = query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS history ("
                                           " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                           " at INTEGER NOT NULL,"
                                           " db TEXT NOT NULL,"
                                           " statement TEXT NOT NULL,"
                                           " truncated INTEGER NOT NULL,"
                                           " microseconds INTEGER NOT NULL,"
                                           " result_rows INTEGER NOT NULL,"
                                           " affected_rows INTEGER NOT NULL,"
                                           " failed INTEGER NOT NULL,"
                                           " message TEXT NOT NULL)"));
            if (!ok)
                *error = query.lastError().text();
        } else {
            *error = db.lastError().text();
        }
        if (!ok)
            db.close();
    }
    if (!ok) {
        QSqlDatabase::removeDatabase(name);
        return false;
    }
    m_connection = name;
    m_characters = -1; // counted at the next prune
    m_countedUpTo = 0;
    prune();
    return true;
}

void HistoryStore::close()
{
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = database();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

void HistoryStore::setLimits(int maxEntries, qint64 maxCharacters)
{
    m_maxEntries = maxEntries;
    m_maxCharacters = maxCharacters;
    prune();
}

bool HistoryStore::write(const QList<HistoryEntry> &entries, QString *error)
{
    m_unwritten += entries;
    if (m_unwritten.isEmpty())
        return true;
    if (!isOpen()) {
        *error = QStringLiteral("The history is not open");
        return false;
    }
    QSqlDatabase db = database();
    bool ok = db.transaction();
    if (ok) {
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO history (at, db, statement, truncated, microseconds, result_rows,"
                                      " affected_rows, failed, message) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const HistoryEntry &entry : std::as_const(m_unwritten)) {
            insert.addBindValue(entry.time.toMSecsSinceEpoch());
            insert.addBindValue(notNull(entry.database));
            insert.addBindValue(notNull(entry.statement));
            insert.addBindValue(entry.truncated ? 1 : 0);
            insert.addBindValue(entry.microseconds);
            insert.addBindValue(entry.rows);
            insert.addBindValue(entry.affectedRows);
            insert.addBindValue(entry.failed ? 1 : 0);
            insert.addBindValue(notNull(entry.message));
            if (!insert.exec()) {
                *error = insert.lastError().text();
                ok = false;
                break;
            }
        }
        insert.finish();
        if (ok)
            ok = db.commit();
        else
            db.rollback();
        if (!ok && error->isEmpty())
            *error = db.lastError().text();
    } else {
        *error = db.lastError().text();
    }
    if (!ok) {
        // Kept for the next attempt, but never more than the cap.
        while (m_unwritten.size() > m_maxEntries)
            m_unwritten.removeFirst();
        return false;
    }
    m_unwritten.clear();
    prune();
    return true;
}

void HistoryStore::prune()
{
    if (!isOpen())
        return;
    QSqlQuery query(database());
    // The characters of the entries kept are counted as they come and go,
    // so a batch costs what it adds and removes, not a pass over all.
    if (m_characters < 0) {
        m_characters = 0;
        if (query.exec(QStringLiteral("SELECT COALESCE(SUM(LENGTH(statement)), 0), COALESCE(MAX(id), 0) FROM history"))
            && query.next()) {
            m_characters = query.value(0).toLongLong();
            m_countedUpTo = query.value(1).toLongLong();
        }
    } else {
        query.prepare(QStringLiteral("SELECT COALESCE(SUM(LENGTH(statement)), 0), COALESCE(MAX(id), 0) FROM history"
                                     " WHERE id > ?"));
        query.addBindValue(m_countedUpTo);
        if (query.exec() && query.next()) {
            m_characters += query.value(0).toLongLong();
            m_countedUpTo = qMax(m_countedUpTo, query.value(1).toLongLong());
        }
    }
    // By number: the entries older than the newest m_maxEntries.
    qint64 cutoff = 0;
    query.prepare(QStringLiteral("SELECT id FROM history ORDER BY id DESC LIMIT 1 OFFSET ?"));
    query.addBindValue(m_maxEntries);
    if (query.exec() && query.next())
        cutoff = query.value(0).toLongLong();
    if (cutoff > 0) {
        query.prepare(QStringLiteral("SELECT COALESCE(SUM(LENGTH(statement)), 0) FROM history WHERE id <= ?"));
        query.addBindValue(cutoff);
        if (query.exec() && query.next())
            m_characters -= query.value(0).toLongLong();
    }
    // By characters: the oldest of the rest go until the others fit.
    if (m_characters > m_maxCharacters) {
        query.prepare(QStringLiteral("SELECT id, LENGTH(statement) FROM history WHERE id > ? ORDER BY id"));
        query.addBindValue(cutoff);
        if (query.exec()) {
            while (m_characters > m_maxCharacters && query.next()) {
                cutoff = query.value(0).toLongLong();
                m_characters -= query.value(1).toLongLong();
            }
        }
    }
    if (cutoff > 0) {
        query.finish();
        query.prepare(QStringLiteral("DELETE FROM history WHERE id <= ?"));
        query.addBindValue(cutoff);
        query.exec();
    }
    // The pages of removed entries take the next ones: the file stays near
    // the cap plus one batch.
}

QList<HistoryEntry> HistoryStore::search(const QString &text, int limit)
{
    QList<HistoryEntry> entries;
    if (!isOpen())
        return entries;
    QSqlQuery query(database());
    QString sql = QStringLiteral("SELECT id, at, db, statement, truncated, microseconds, result_rows, affected_rows,"
                                 " failed, message FROM history");
    if (!text.isEmpty())
        sql += QStringLiteral(" WHERE statement LIKE ? ESCAPE '\\' OR db LIKE ? ESCAPE '\\'");
    sql += QStringLiteral(" ORDER BY id DESC LIMIT ?");
    query.prepare(sql);
    if (!text.isEmpty()) {
        query.addBindValue(likePattern(text));
        query.addBindValue(likePattern(text));
    }
    query.addBindValue(limit);
    if (!query.exec())
        return entries;
    while (query.next()) {
        HistoryEntry entry;
        entry.id = query.value(0).toLongLong();
        entry.time = QDateTime::fromMSecsSinceEpoch(query.value(1).toLongLong(), Qt::UTC);
        entry.database = query.value(2).toString();
        entry.statement = query.value(3).toString();
        entry.truncated = query.value(4).toInt() != 0;
        entry.microseconds = query.value(5).toLongLong();
        entry.rows = query.value(6).toLongLong();
        entry.affectedRows = query.value(7).toLongLong();
        entry.failed = query.value(8).toInt() != 0;
        entry.message = query.value(9).toString();
        entries.append(entry);
    }
    return entries;
}

qint64 HistoryStore::count()
{
    if (!isOpen())
        return 0;
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM history")) || !query.next())
        return 0;
    return query.value(0).toLongLong();
}

void HistoryStore::clear()
{
    m_unwritten.clear();
    if (!isOpen())
        return;
    QSqlQuery(database()).exec(QStringLiteral("DELETE FROM history"));
    QSqlQuery(database()).exec(QStringLiteral("VACUUM"));
    m_characters = -1;
}

// --- QueryHistory ---------------------------------------------------------------

QueryHistory::QueryHistory(QObject *parent)
    : QObject(parent)
    , m_store(new HistoryStore)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(500);
    connect(&m_flushTimer, &QTimer::timeout, this, [this] { writeLater(); });
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("History"));
    m_context = new QObject;
    m_context->moveToThread(m_thread);
    m_thread->start();
    QString error;
    onThread([&] { m_open = m_store->open(QStringLiteral(":memory:"), &error); });
    if (!m_open)
        m_error = error;
}

QueryHistory::~QueryHistory()
{
    flush();
    onThread([this] {
        delete m_store;
        m_store = nullptr;
    });
    m_thread->quit();
    m_thread->wait();
    delete m_context;
    delete m_thread;
}

void QueryHistory::onThread(const std::function<void()> &work)
{
    // Queued behind every write handed over before: what it reads includes them.
    QMetaObject::invokeMethod(m_context, work, Qt::BlockingQueuedConnection);
}

bool QueryHistory::openStore(const QString &databaseName)
{
    QString error;
    bool ok = false;
    onThread([&] { ok = m_store->open(databaseName, &error); });
    if (!ok)
        m_error = error;
    return ok;
}

bool QueryHistory::open(const QString &path)
{
    flush();
    m_path.clear();
    m_open = false;
    if (path.isEmpty())
        return m_open = openStore(QStringLiteral(":memory:"));
    const QFileInfo info(path);
    bool ok = MakePrivateFolder(info.absolutePath());
    if (!ok) {
        m_error = QStringLiteral("Cannot make the folder \"%1\"").arg(info.absolutePath());
    } else {
        // The file is made private before SQLite writes a byte to it; its
        // journal files take the same permissions.
        QFile file(path);
        ok = file.open(QIODevice::ReadWrite)
            && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (!ok)
            m_error = file.errorString();
    }
    if (ok)
        ok = openStore(path);
    if (!ok) {
        // The history of this run at least.
        m_open = openStore(QStringLiteral(":memory:"));
        return false;
    }
    m_open = true;
    m_path = path;
    m_error.clear();
    return true;
}

void QueryHistory::setLimits(int maxEntries, qint64 maxCharacters)
{
    flush();
    maxEntries = qMax(1, maxEntries);
    maxCharacters = qMax<qint64>(1, maxCharacters);
    onThread([&] { m_store->setLimits(maxEntries, maxCharacters); });
}

void QueryHistory::record(HistoryEntry entry)
{
    if (entry.statement.size() > MaxStatementLength) {
        entry.statement.truncate(MaxStatementLength);
        entry.truncated = true;
    }
    if (!entry.time.isValid())
        entry.time = QDateTime::currentDateTimeUtc();
    m_pending.append(std::move(entry));
    // A long script fills a batch quickly; otherwise it waits a moment.
    if (m_pending.size() >= 1000)
        writeLater();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void QueryHistory::writeLater()
{
    m_flushTimer.stop();
    if (m_pending.isEmpty())
        return;
    // The disk's time is the history thread's: the window and the
    // statements go on meanwhile.
    QList<HistoryEntry> batch = std::move(m_pending);
    m_pending.clear();
    HistoryStore *store = m_store;
    QMetaObject::invokeMethod(
        m_context,
        [store, batch, this] {
            QString error;
            const bool ok = store->write(batch, &error);
            // The history waits for this before it goes (its destructor
            // flushes on this thread); the answer is dropped if it has gone
            // by the time it would arrive.
            QMetaObject::invokeMethod(this, [this, ok, error] { written(ok, error); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void QueryHistory::written(bool ok, const QString &error)
{
    if (!ok) {
        m_error = error;
        if (!m_failing)
            Q_EMIT writeFailed(QStringLiteral("The statement history could not be written: ") + error);
        m_failing = true;
        return;
    }
    m_failing = false;
    Q_EMIT changed();
}

bool QueryHistory::flush()
{
    m_flushTimer.stop();
    QList<HistoryEntry> batch = std::move(m_pending);
    m_pending.clear();
    bool ok = true;
    QString error;
    onThread([&] { ok = m_store->write(batch, &error); });
    if (!batch.isEmpty())
        written(ok, error);
    return ok;
}

QList<HistoryEntry> QueryHistory::search(const QString &text, int limit)
{
    flush();
    QList<HistoryEntry> entries;
    onThread([&] { entries = m_store->search(text, limit); });
    return entries;
}

qint64 QueryHistory::count()
{
    flush();
    qint64 entries = 0;
    onThread([&] { entries = m_store->count(); });
    return entries;
}

void QueryHistory::clear()
{
    m_pending.clear();
    m_flushTimer.stop();
    onThread([this] { m_store->clear(); });
    Q_EMIT changed();
}

#include "data/history.h"

#include "data/datafolder.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
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

QueryHistory::QueryHistory(QObject *parent)
    : QObject(parent)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(500);
    connect(&m_flushTimer, &QTimer::timeout, this, [this] { flush(); });
    openConnection(QStringLiteral(":memory:"));
}

QueryHistory::~QueryHistory()
{
    flush();
    closeConnection();
}

void QueryHistory::closeConnection()
{
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

bool QueryHistory::openConnection(const QString &databaseName)
{
    closeConnection();
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
                m_error = query.lastError().text();
        } else {
            m_error = db.lastError().text();
        }
        if (!ok)
            db.close();
    }
    if (!ok) {
        QSqlDatabase::removeDatabase(name);
        return false;
    }
    m_connection = name;
    return true;
}

bool QueryHistory::open(const QString &path)
{
    flush();
    m_path.clear();
    if (path.isEmpty())
        return openConnection(QStringLiteral(":memory:"));
    const QFileInfo info(path);
    if (!MakePrivateFolder(info.absolutePath())) {
        m_error = QStringLiteral("Cannot make the folder \"%1\"").arg(info.absolutePath());
        openConnection(QStringLiteral(":memory:"));
        return false;
    }
    // The file is made private before SQLite writes a byte to it; its
    // journal files take the same permissions.
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite)
            || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            m_error = file.errorString();
            openConnection(QStringLiteral(":memory:"));
            return false;
        }
    }
    if (!openConnection(path)) {
        openConnection(QStringLiteral(":memory:"));
        return false;
    }
    m_path = path;
    m_error.clear();
    prune();
    return true;
}

void QueryHistory::setLimits(int maxEntries, qint64 maxCharacters)
{
    m_maxEntries = qMax(1, maxEntries);
    m_maxCharacters = qMax<qint64>(1, maxCharacters);
    flush();
    prune();
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
    // A long script fills the batch quickly; otherwise it waits a moment.
    if (m_pending.size() >= 1000)
        flush();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

bool QueryHistory::flush()
{
    m_flushTimer.stop();
    if (m_pending.isEmpty() || m_connection.isEmpty())
        return m_pending.isEmpty();
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    bool ok = db.transaction();
    if (ok) {
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO history (at, db, statement, truncated, microseconds, result_rows,"
                                      " affected_rows, failed, message) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const HistoryEntry &entry : std::as_const(m_pending)) {
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
                m_error = insert.lastError().text();
                ok = false;
                break;
            }
        }
        ok = ok ? db.commit() : (db.rollback(), false);
        if (!ok && m_error.isEmpty())
            m_error = db.lastError().text();
    } else {
        m_error = db.lastError().text();
    }
    if (!ok) {
        // Kept for the next attempt, but never more than the cap.
        while (m_pending.size() > m_maxEntries)
            m_pending.removeFirst();
        if (!m_failing)
            Q_EMIT writeFailed(QStringLiteral("The statement history could not be written: ") + m_error);
        m_failing = true;
        return false;
    }
    m_failing = false;
    m_pending.clear();
    prune();
    Q_EMIT changed();
    return true;
}

void QueryHistory::prune()
{
    if (m_connection.isEmpty())
        return;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    query.prepare(QStringLiteral("DELETE FROM history WHERE id NOT IN"
                                 " (SELECT id FROM history ORDER BY id DESC LIMIT ?)"));
    query.addBindValue(m_maxEntries);
    query.exec();
    // The newest entries whose statements together stay within the cap.
    query.prepare(QStringLiteral("DELETE FROM history WHERE id IN (SELECT id FROM"
                                 " (SELECT id, SUM(LENGTH(statement)) OVER (ORDER BY id DESC) AS total FROM history)"
                                 " WHERE total > ?)"));
    query.addBindValue(m_maxCharacters);
    query.exec();
    // The pages of removed entries take the next ones: the file stays near
    // the cap plus one batch.
}

QList<HistoryEntry> QueryHistory::search(const QString &text, int limit)
{
    flush();
    QList<HistoryEntry> entries;
    if (m_connection.isEmpty())
        return entries;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
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

qint64 QueryHistory::count()
{
    flush();
    if (m_connection.isEmpty())
        return 0;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM history")) || !query.next())
        return 0;
    return query.value(0).toLongLong();
}

void QueryHistory::clear()
{
    m_pending.clear();
    m_flushTimer.stop();
    if (m_connection.isEmpty())
        return;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery(db).exec(QStringLiteral("DELETE FROM history"));
    QSqlQuery(db).exec(QStringLiteral("VACUUM"));
    Q_EMIT changed();
}

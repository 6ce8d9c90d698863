#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class HistoryStore;
class QThread;

// One statement sent from the editor, as the history keeps it.
struct HistoryEntry
{
    qint64 id = 0;
    QDateTime time;          // when its outcome arrived
    QString database;        // the database it ran in
    QString statement;       // at most QueryHistory::MaxStatementLength characters
    bool truncated = false;  // the statement was longer: only its start is kept
    qint64 microseconds = 0; // how long the server took, result rows read
    qint64 rows = -1;        // rows of its result set; -1: none came
    qint64 affectedRows = -1; // as the server reported them; -1: after a failure
    bool failed = false;
    QString message;         // the server's error text after a failure
};

// The statement history: a SQLite database of its own (Qt SQL) in the data
// folder, readable by its owner only, capped by the number of entries and
// by the characters of their statements. Entries are written in batches, a
// moment after they come, on a thread of the history's own: a script of many
// thousand statements waits neither for the disk nor for SQLite.
class QueryHistory : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxStatementLength = 64 * 1024;
    static constexpr int DefaultMaxEntries = 10000;
    static constexpr qint64 DefaultMaxCharacters = 16 * 1024 * 1024;

    explicit QueryHistory(QObject *parent = nullptr);
    ~QueryHistory() override;

    // Opens (or creates) the history file; an empty path keeps the history
    // in memory for this run only. False (and errorString()) when the file
    // cannot be used: the history then lives in memory.
    bool open(const QString &path);
    QString path() const { return m_path; }
    bool isOpen() const { return m_open; }
    QString errorString() const { return m_error; }

    // Older entries give way once either limit is passed.
    void setLimits(int maxEntries, qint64 maxCharacters);

    // Takes an entry; it is written within a second (or by flush()).
    void record(HistoryEntry entry);
    // Writes what is waiting; false when the write failed.
    bool flush();

    // The newest entries first, at most limit of them; text (when not empty)
    // must occur in the statement or the database name, in any case.
    QList<HistoryEntry> search(const QString &text = QString(), int limit = 1000);
    qint64 count();
    void clear();

Q_SIGNALS:
    // Entries were written or removed.
    void changed();
    // A write failed (said once until one succeeds again).
    void writeFailed(const QString &message);

private:
    // Runs work on the history's thread and waits for it.
    void onThread(const std::function<void()> &work);
    bool openStore(const QString &databaseName);
    // Hands the waiting entries to the history's thread.
    void writeLater();
    void written(bool ok, const QString &error);

    HistoryStore *m_store; // used on m_thread only
    QThread *m_thread = nullptr;
    QObject *m_context = nullptr; // lives on m_thread
    bool m_open = false;
    QString m_path;
    QString m_error;
    QList<HistoryEntry> m_pending;
    QTimer m_flushTimer;
    bool m_failing = false;
};

#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

class TmySQLClient;

// The names the editor offers as the user types: SQL keywords and functions,
// the server's databases, and the tables and columns of a database. The
// server's names are read on a connection of their own (its worker thread),
// so reading them never waits behind the user's statements nor holds them
// up; each database's names are read once and kept until reload().
class CompletionNames : public QObject
{
    Q_OBJECT

public:
    explicit CompletionNames(QObject *parent = nullptr);
    ~CompletionNames() override;

    static const QStringList &keywords();  // upper case
    static const QStringList &functions(); // upper case, without parentheses

    // The session's server and account (taken from the session's client);
    // the names connection opens when names are first asked for.
    void openSession(const TmySQLClient &session);
    // Forgets the names and closes the names connection.
    void closeSession();
    bool hasSession() const { return m_hasSession; }
    // Names have been asked for in this session (the names connection is
    // open or opening).
    bool isReading() const;

    // Asks for the names of a database (and the list of databases) unless
    // they are known or on their way; namesChanged tells when they come.
    void request(const QString &database);
    bool isLoaded(const QString &database) const;

    QStringList databases() const { return m_databases; }
    QStringList tables(const QString &database) const;
    QStringList columns(const QString &database, const QString &table) const;
    // Every column name of the database, each once.
    QStringList allColumns(const QString &database) const;

public Q_SLOTS:
    // Reads everything again (F5): the databases and the names of those
    // asked for since.
    void reload();

Q_SIGNALS:
    // The names of database (empty: the list of databases) have arrived.
    void namesChanged(const QString &database);
    // The names could not be read (said once per session).
    void readFailed(const QString &message);

private:
    struct DatabaseNames
    {
        QStringList tables;
        QHash<QString, QStringList> columns; // by table, in their order
        QStringList allColumns;
    };

    void connectNow();
    void readPending();
    void readDatabases();
    void readDatabase(const QString &database);
    void failed(const QString &message);

    TmySQLClient *m_client = nullptr;
    bool m_hasSession = false;
    QStringList m_databases;
    bool m_databasesLoaded = false;
    bool m_databasesLoading = false;
    QHash<QString, DatabaseNames> m_names;
    QSet<QString> m_loading;
    QStringList m_waiting; // asked for before the connection opened
    quint64 m_generation = 0; // counts sessions and reloads: late answers of older ones are dropped
    bool m_failureSaid = false;
    bool m_connectFailed = false;
};

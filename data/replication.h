#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class TDMstd;

// One replica connection of this server as the server reports it.
struct TReplicaConnection
{
    QString Name; // empty: the default connection
    QString MasterHost;
    QString MasterPort;
    QString IoRunning;  // Slave_IO_Running: "Yes", "No", "Connecting"
    QString SqlRunning; // Slave_SQL_Running
    QString SecondsBehind; // empty (NULL) while the SQL thread does not run
    QString LastIoError;
    QString LastSqlError;
    QString State; // Slave_IO_State

    bool running() const { return IoRunning == QLatin1String("Yes") && SqlRunning == QLatin1String("Yes"); }
    // Whether the lag is over the limit in seconds; also a connection that is
    // not running or reports an error, so that it stands out all the same.
    bool needsAttention(int lagLimit) const;
};

// What the replication page shows.
struct TReplicationState
{
    // Primary side: the binary log position (empty when binary logging is
    // off) and the replicas registered with this server.
    QString BinlogFile;
    QString BinlogPosition;
    QList<QStringList> Replicas; // Server_id, Host, Port, Master_id
    QList<TReplicaConnection> Connections;
    // A listing the server refused (no privilege, no replication), by statement.
    QStringList Errors;

    bool isPrimary() const { return !BinlogFile.isEmpty(); }
    bool isReplica() const { return !Connections.isEmpty(); }
};

// Reads a result of SHOW ALL SLAVES STATUS (or SHOW SLAVE STATUS) by column
// name: a column the server does not have reads as empty.
QList<TReplicaConnection> ReplicaConnections(const QStringList &columns, const QList<QStringList> &rows);

// The statements that start and stop one replica connection.
QString StartReplicaStatement(const QString &connection);
QString StopReplicaStatement(const QString &connection);

// Reads the replication state through the data module's connection, on
// the client's worker like every statement. One read at a time; a read is
// left out while other statements run, so it never holds a command up.
class ReplicationReader : public QObject
{
    Q_OBJECT

public:
    explicit ReplicationReader(TDMstd *data, QObject *parent = nullptr);

    // False when no read was started (not connected, statements running,
    // the last read not back yet).
    bool Read();
    bool reading() const { return m_reading; }
    const TReplicationState &state() const { return m_state; }

Q_SIGNALS:
    void stateRead(const TReplicationState &state);

private:
    TDMstd *m_data;
    bool m_reading = false;
    unsigned long m_connection = 0;
    TReplicationState m_state;
};

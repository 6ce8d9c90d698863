#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class TDMstd;

// One node of a Galera cluster as the page "Cluster" lists it.
struct TClusterNode
{
    QString Address; // host:port clients connect to
    QString State;   // this node's state comment, "Member" or "Gone"
    bool Local = false;
    bool Gone = false;
    bool Attention = false; // shows in red
};

// What a node says about itself and its cluster (SHOW GLOBAL STATUS LIKE
// 'wsrep%' and the variable wsrep_on).
struct TClusterState
{
    bool On = false;
    QString LocalState;    // wsrep_local_state_comment, e.g. "Synced"
    QString Ready;         // wsrep_ready: "ON" or "OFF"
    QString ClusterStatus; // wsrep_cluster_status, e.g. "Primary"
    int ClusterSize = 0;
    QStringList Addresses; // wsrep_incoming_addresses
    double FlowControlPaused = 0; // fraction of time paused since the last FLUSH STATUS
    int ReceiveQueue = 0;
    int SendQueue = 0;

    bool synced() const { return LocalState == QLatin1String("Synced"); }
    bool primary() const { return ClusterStatus == QLatin1String("Primary"); }
};

// Reads the state from the status values by name (case ignored).
TClusterState ClusterStateFrom(bool wsrepOn, const QHash<QString, QString> &status);

// The nodes to list: every node the cluster knows now, and the nodes it
// knew before (`known`, updated) that it has lost since, as gone. `local` is
// the address this connection reached; the node listed under it carries
// this node's own state.
QList<TClusterNode> ClusterNodes(const TClusterState &state, const QString &local, QStringList *known);

// Reads the cluster state through the data module's connection on the
// client's worker; one read at a time, left out while other statements run.
// Writes a line to the message log when a node is lost, the node leaves
// "Synced" or the cluster leaves "Primary" (once per change).
class ClusterReader : public QObject
{
    Q_OBJECT

public:
    explicit ClusterReader(TDMstd *data, QObject *parent = nullptr);

    bool Read();
    const TClusterState &state() const { return m_state; }
    const QList<TClusterNode> &nodes() const { return m_nodes; }

Q_SIGNALS:
    void stateRead(const TClusterState &state, const QList<TClusterNode> &nodes);

private:
    void arrived(const TClusterState &state);
    void log(const QString &line);

    TDMstd *m_data;
    bool m_reading = false;
    unsigned long m_connection = 0;
    TClusterState m_state;
    QList<TClusterNode> m_nodes;
    QStringList m_known;
    QStringList m_reported; // attention lines already written
};

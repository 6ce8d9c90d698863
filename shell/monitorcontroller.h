#pragma once

#include <QObject>

class ClusterPage;
class ReplicationPage;
class TDMstd;
class TFormMain;

// The pages that watch a server among others: "Replication" (primary and
// replica state) and "Cluster" (the Galera cluster of the node).
class MonitorController : public QObject
{
    Q_OBJECT

public:
    MonitorController(TFormMain *window, TDMstd *data, QObject *parent = nullptr);

    ReplicationPage *replicationPage() const { return m_replication; }
    ClusterPage *clusterPage() const { return m_cluster; }

private:
    ReplicationPage *m_replication;
    ClusterPage *m_cluster;
};

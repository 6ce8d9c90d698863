#pragma once

#include <QObject>

class ReplicationPage;
class TDMstd;
class TFormMain;

// The pages that watch a server among others: "Replication" (primary and
// replica state).
class MonitorController : public QObject
{
    Q_OBJECT

public:
    MonitorController(TFormMain *window, TDMstd *data, QObject *parent = nullptr);

    ReplicationPage *replicationPage() const { return m_replication; }

private:
    ReplicationPage *m_replication;
};

#pragma once

#include "data/replication.h"

#include <QWidget>

#include <functional>

class GridModel;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;
class TDMstd;

// The page "Replication": on a primary its binary log position and the
// replicas connected to it, on a replica each replica connection with its
// threads, lag and last errors, and Start/Stop of the selected connection.
// Read on the client's worker every few seconds while the page is shown.
class ReplicationPage : public QWidget
{
    Q_OBJECT

public:
    // lagLimit: the lag in seconds over which a connection shows in red.
    ReplicationPage(TDMstd *data, std::function<int()> lagLimit, QWidget *parent = nullptr);

    static constexpr int ReadInterval = 5000; // milliseconds

    // Reads now (when the connection is free).
    void refresh();
    ReplicationReader *reader() const { return m_reader; }
    GridModel *replicasGrid() const { return m_replicas; }
    GridModel *connectionsGrid() const { return m_connections; }
    QTableView *connectionsView() const { return m_connectionsView; }
    QLabel *binlogLabel() const { return m_binlog; }
    QPushButton *startButton() const { return m_start; }
    QPushButton *stopButton() const { return m_stop; }
    bool rowMarked(int row) const;

    // Start or stop the selected connection, asking first.
    void startSelected();
    void stopSelected();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void fill(const TReplicationState &state);
    void changeSelected(bool start);
    QString selectedConnection(bool *found) const;

    TDMstd *m_data;
    std::function<int()> m_lagLimit;
    ReplicationReader *m_reader;
    QTimer *m_timer;
    QLabel *m_binlog;
    QLabel *m_note;
    GridModel *m_replicas;
    GridModel *m_connections;
    QTableView *m_replicasView;
    QTableView *m_connectionsView;
    QPushButton *m_start;
    QPushButton *m_stop;
};

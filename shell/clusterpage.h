#pragma once

#include "data/galera.h"

#include <QWidget>

class GridModel;
class QChartView;
class QLabel;
class QLineSeries;
class QTableView;
class QTimer;
class QValueAxis;
class QDateTimeAxis;
class TDMstd;

// The page "Cluster": the Galera cluster as the connected node sees it,
// its nodes (a lost one stays listed as gone), the node's and the cluster's
// state, flow control and a chart of the receive and send queue lengths.
// Read on the client's worker every few seconds while the page is shown.
class ClusterPage : public QWidget
{
    Q_OBJECT

public:
    explicit ClusterPage(TDMstd *data, QWidget *parent = nullptr);

    static constexpr int ReadInterval = 3000; // milliseconds

    void refresh();
    ClusterReader *reader() const { return m_reader; }
    GridModel *nodesGrid() const { return m_nodes; }
    QLabel *summaryLabel() const { return m_summary; }
    bool rowMarked(int row) const;
    QList<QLineSeries *> queueSeries() const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void fill(const TClusterState &state, const QList<TClusterNode> &nodes);

    ClusterReader *m_reader;
    QTimer *m_timer;
    QLabel *m_summary;
    GridModel *m_nodes;
    QTableView *m_nodesView;
    QChartView *m_chart;
    QLineSeries *m_receive;
    QLineSeries *m_send;
    QDateTimeAxis *m_time;
    QValueAxis *m_length;
};

#include "shell/clusterpage.h"

#include "data/gridmodel.h"
#include "shell/monitorgrid.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLineSeries>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int ChartPoints = 200; // about ten minutes at one read in three seconds

} // namespace

ClusterPage::ClusterPage(TDMstd *data, QWidget *parent)
    : QWidget(parent)
    , m_reader(new ClusterReader(data, this))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("TabCluster"));
    setAccessibleName(QStringLiteral("Cluster"));
    m_summary = new QLabel(QStringLiteral("not read yet"), this);
    m_summary->setObjectName(QStringLiteral("LabelClusterState"));
    m_summary->setAccessibleName(QStringLiteral("Cluster state"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    m_nodes = new GridModel(this);
    m_nodes->setObjectName(QStringLiteral("ListClusterNodes"));
    m_nodes->setColumns({QStringLiteral("Node"), QStringLiteral("State"), QStringLiteral("Connected")});
    m_nodesView = newMonitorGrid(m_nodes, QStringLiteral("ListClusterNodes"), QStringLiteral("Cluster nodes"), this);

    auto *chart = new QChart;
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignTop);
    m_receive = new QLineSeries(chart);
    m_receive->setName(QStringLiteral("Receive queue"));
    m_send = new QLineSeries(chart);
    m_send->setName(QStringLiteral("Send queue"));
    chart->addSeries(m_receive);
    chart->addSeries(m_send);
    m_time = new QDateTimeAxis(chart);
    m_time->setFormat(QStringLiteral("HH:mm:ss"));
    m_time->setTickCount(5);
    m_length = new QValueAxis(chart);
    m_length->setTitleText(QStringLiteral("queue length"));
    m_length->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(m_time, Qt::AlignBottom);
    chart->addAxis(m_length, Qt::AlignLeft);
    for (QLineSeries *series : {m_receive, m_send}) {
        series->setPointsVisible(true);
        series->attachAxis(m_time);
        series->attachAxis(m_length);
    }
    m_chart = new QChartView(chart, this);
    m_chart->setObjectName(QStringLiteral("ChartClusterQueues"));
    m_chart->setAccessibleName(QStringLiteral("Cluster queue lengths chart"));
    m_chart->setRenderHint(QPainter::Antialiasing);

    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_nodesView);
    split->addWidget(m_chart);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(split, 1);

    m_timer->setInterval(ReadInterval);
    connect(m_timer, &QTimer::timeout, this, &ClusterPage::refresh);
    connect(m_reader, &ClusterReader::stateRead, this, &ClusterPage::fill);
}

void ClusterPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    m_timer->start();
}

void ClusterPage::hideEvent(QHideEvent *event)
{
    m_timer->stop();
    QWidget::hideEvent(event);
}

void ClusterPage::refresh()
{
    m_reader->Read();
}

bool ClusterPage::rowMarked(int row) const
{
    return attentionRowsOf(m_nodesView)->isMarked(row);
}

QList<QLineSeries *> ClusterPage::queueSeries() const
{
    return {m_receive, m_send};
}

void ClusterPage::fill(const TClusterState &state, const QList<TClusterNode> &nodes)
{
    m_nodes->clearRows();
    QSet<int> marked;
    for (const TClusterNode &node : nodes) {
        if (node.Attention)
            marked.insert(m_nodes->rowCount());
        m_nodes->appendRow({node.Address, node.State, node.Local ? QStringLiteral("yes") : QString()});
    }
    attentionRowsOf(m_nodesView)->setMarkedRows(marked);
    if (!state.On) {
        m_summary->setText(QStringLiteral("This server is not a node of a Galera cluster (wsrep_on is off)."));
        m_summary->setStyleSheet(QString());
        return;
    }
    m_summary->setText(QStringLiteral("Cluster status: %1, size %2. This node: %3, ready %4. Flow control paused: "
                                      "%5. Receive queue: %6, send queue: %7.")
                           .arg(state.ClusterStatus)
                           .arg(state.ClusterSize)
                           .arg(state.LocalState, state.Ready)
                           .arg(state.FlowControlPaused, 0, 'f', 3)
                           .arg(state.ReceiveQueue)
                           .arg(state.SendQueue));
    m_summary->setStyleSheet(state.primary() && state.synced() ? QString() : QStringLiteral("color: red"));

    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_receive->append(double(now), state.ReceiveQueue);
    m_send->append(double(now), state.SendQueue);
    for (QLineSeries *series : {m_receive, m_send}) {
        if (series->count() > ChartPoints)
            series->removePoints(0, series->count() - ChartPoints);
    }
    double largest = 1;
    for (QLineSeries *series : {m_receive, m_send}) {
        for (const QPointF &point : series->points())
            largest = std::max(largest, point.y());
    }
    const qint64 first = qint64(m_receive->at(0).x());
    m_time->setRange(QDateTime::fromMSecsSinceEpoch(std::min(first, now - 30000)), QDateTime::fromMSecsSinceEpoch(now));
    m_length->setRange(0, std::ceil(largest * 1.1));
}

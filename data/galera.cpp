#include "data/galera.h"

#include "client/mySQLClient.h"
#include "data/messagelog.h"
#include "data/tdmstd.h"

#include <memory>

TClusterState ClusterStateFrom(bool wsrepOn, const QHash<QString, QString> &status)
{
    QHash<QString, QString> lower;
    for (auto it = status.begin(); it != status.end(); ++it)
        lower.insert(it.key().toLower(), it.value());
    TClusterState state;
    state.On = wsrepOn;
    state.LocalState = lower.value(QStringLiteral("wsrep_local_state_comment"));
    state.Ready = lower.value(QStringLiteral("wsrep_ready"));
    state.ClusterStatus = lower.value(QStringLiteral("wsrep_cluster_status"));
    state.ClusterSize = lower.value(QStringLiteral("wsrep_cluster_size")).toInt();
    for (const QString &address : lower.value(QStringLiteral("wsrep_incoming_addresses")).split(QLatin1Char(','))) {
        const QString trimmed = address.trimmed();
        if (!trimmed.isEmpty() && trimmed != QLatin1String("AUTO"))
            state.Addresses.append(trimmed);
    }
    state.FlowControlPaused = lower.value(QStringLiteral("wsrep_flow_control_paused")).toDouble();
    state.ReceiveQueue = lower.value(QStringLiteral("wsrep_local_recv_queue")).toInt();
    state.SendQueue = lower.value(QStringLiteral("wsrep_local_send_queue")).toInt();
    return state;
}

QList<TClusterNode> ClusterNodes(const TClusterState &state, const QString &local, QStringList *known)
{
    QList<TClusterNode> nodes;
    if (!state.On)
        return nodes;
    for (const QString &address : state.Addresses) {
        if (known && !known->contains(address))
            known->append(address);
    }
    const QStringList order = known ? *known : state.Addresses;
    for (const QString &address : order) {
        TClusterNode node;
        node.Address = address;
        node.Local = address == local || (state.Addresses.size() == 1 && state.Addresses.contains(address));
        node.Gone = !state.Addresses.contains(address);
        if (node.Gone)
            node.State = QStringLiteral("Gone");
        else if (node.Local)
            node.State = state.LocalState;
        else
            node.State = state.primary() ? QStringLiteral("Member") : QStringLiteral("Unknown");
        node.Attention = node.Gone || !state.primary() || (node.Local && !state.synced());
        nodes.append(node);
    }
    return nodes;
}

ClusterReader::ClusterReader(TDMstd *data, QObject *parent)
    : QObject(parent)
    , m_data(data)
{
}

bool ClusterReader::Read()
{
    TmySQLClient *client = m_data->ActiveClient();
    if (!client->Connected() || !client->Query())
        return false;
    // With nothing running, a read still marked as under way was dropped
    // (a stop): it will not come back.
    if (m_data->statementsRunning())
        return false;
    m_reading = true;
    m_connection = client->ConnectionId();
    auto on = std::make_shared<bool>(false);
    TmySQLClientQuery *query = client->Query();
    const QString variable = QStringLiteral("SHOW GLOBAL VARIABLES LIKE 'wsrep_on'");
    query->Execute(variable, QStringLiteral("Query: ") + variable, nullptr,
                   [this](QObject *, const QString &) { m_data->watchReadDone(); },
                   [this, on](QObject *sender) {
                       m_data->watchReadDone();
                       auto *q = static_cast<TmySQLClientQuery *>(sender);
                       *on = q->RowCount() > 0 && q->Value(0, 1).compare(QLatin1String("ON"), Qt::CaseInsensitive) == 0;
                   });
    const QString status = QStringLiteral("SHOW GLOBAL STATUS LIKE 'wsrep%'");
    query->Execute(
        status, QStringLiteral("Query: ") + status, nullptr,
        [this, on](QObject *, const QString &) {
            m_data->watchReadDone();
            m_reading = false;
            arrived(ClusterStateFrom(*on, {}));
        },
        [this, on](QObject *sender) {
            m_data->watchReadDone();
            auto *q = static_cast<TmySQLClientQuery *>(sender);
            QHash<QString, QString> values;
            for (int row = 0; row < q->RowCount(); ++row)
                values.insert(q->Value(row, 0), q->Value(row, 1));
            m_reading = false;
            arrived(ClusterStateFrom(*on, values));
        });
    m_data->noteWatchReads(2);
    query->Run();
    return true;
}

void ClusterReader::arrived(const TClusterState &state)
{
    m_state = state;
    m_nodes = ClusterNodes(state, m_data->ConnectedHost(), &m_known);
    QStringList attention;
    if (state.On) {
        if (!state.primary())
            attention.append(QStringLiteral("Cluster: the cluster is \"%1\", not Primary.").arg(state.ClusterStatus));
        if (!state.synced())
            attention.append(QStringLiteral("Cluster: this node is \"%1\", not Synced.").arg(state.LocalState));
        for (const TClusterNode &node : std::as_const(m_nodes)) {
            if (node.Gone)
                attention.append(QStringLiteral("Cluster: node %1 is gone; cluster size %2.")
                                     .arg(node.Address)
                                     .arg(state.ClusterSize));
        }
    }
    for (const QString &line : std::as_const(attention)) {
        if (!m_reported.contains(line))
            log(line);
    }
    m_reported = attention;
    Q_EMIT stateRead(m_state, m_nodes);
}

void ClusterReader::log(const QString &line)
{
    if (MessageLog *messages = m_data->views().log)
        messages->append(line);
}

#include "shell/monitorcontroller.h"

#include "data/settingsstore.h"
#include "shell/clusterpage.h"
#include "shell/mainwindow.h"
#include "shell/replicationpage.h"

MonitorController::MonitorController(TFormMain *window, TDMstd *data, QObject *parent)
    : QObject(parent)
{
    SettingsStore *settings = window->settings();
    m_replication = new ReplicationPage(data, [settings] {
        bool ok = false;
        const int limit = settings->programSettings().ReplicaLagLimit.trimmed().toInt(&ok);
        return ok && limit >= 0 ? limit : 60;
    });
    window->addPage(m_replication, QStringLiteral("Replication"));
    m_cluster = new ClusterPage(data);
    window->addPage(m_cluster, QStringLiteral("Cluster"));
}

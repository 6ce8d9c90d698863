#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A private Galera cluster for tests: every node a mariadbd of its own with
// its own data folder, socket, client port, group port and transfer ports,
// all on 127.0.0.1. The first node bootstraps the cluster (and gets the
// test account); the others join it by a full state transfer. Nodes are
// stopped by their pid and die with the thread that started them.
class GaleraCluster
{
public:
    explicit GaleraCluster(int nodes = 3);
    ~GaleraCluster();
    GaleraCluster(const GaleraCluster &) = delete;
    GaleraCluster &operator=(const GaleraCluster &) = delete;

    // The Galera library, or empty when galera-4 is not installed.
    static QString providerPath();

    // Starts every node and waits until each reports "Synced".
    bool start(QString *error = nullptr);
    // Kills a node at once, as a crash would.
    void kill(int node);
    bool isRunning(int node) const { return m_nodes.value(node).pid > 0; }

    int size() const { return int(m_nodes.size()); }
    int port(int node) const { return m_nodes.value(node).port; }
    QString address(int node) const { return QStringLiteral("127.0.0.1:") + QString::number(port(node)); }
    // Runs statements as root on one node through the command-line client.
    bool sql(int node, const QString &statements, QString *output = nullptr, QString *error = nullptr) const;
    // One status value of a node ("" when it cannot be read).
    QString status(int node, const QString &name) const;

private:
    struct Node
    {
        QString dir;
        int port = 0;
        int groupPort = 0;
        int istPort = 0;
        int sstPort = 0;
        long pid = 0;
    };
    bool startNode(int index, bool bootstrap, QString *error);

    QList<Node> m_nodes;
    QString m_dir;
};

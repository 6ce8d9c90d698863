#include "client/mySQLClient.h"
#include "data/galera.h"
#include "data/gridmodel.h"
#include "data/tdmstd.h"
#include "shell/clusterpage.h"
#include "tests/support/galeracluster.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"

#include <QApplication>
#include <QLabel>
#include <QLineSeries>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The page "Cluster" and profiles of several hosts against a three-node
// Galera cluster of the test's own on loopback ports.
class TestCluster : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void clusterNodes_data();
    void clusterNodes();
    void initTestCase();
    void threeSyncedNodes();
    void refusedStatementShowsServerMessage();
    void killedNodeShowsGone();
    void profileReconnectsToSecondNode();

private:
    std::unique_ptr<GaleraCluster> m_cluster;
};

namespace {

struct Side : HeadlessViews
{
    Side(const GaleraCluster &cluster, int node)
        : HeadlessViews(QStringLiteral("127.0.0.1"), QString::number(cluster.port(node)), PrivateServer::user(),
                        PrivateServer::password())
    {
        module = std::make_unique<TDMstd>(views);
        page = std::make_unique<ClusterPage>(module.get());
    }
    bool connect()
    {
        if (!module->ConnectProfile())
            return false;
        if (!QTest::qWaitFor([this] { return module->ActiveClient()->Connected(); }, 20000))
            return false;
        settle();
        return true;
    }
    bool read()
    {
        bool arrived = false;
        const auto connection = QObject::connect(
            page->reader(), &ClusterReader::stateRead,
            [&arrived](const TClusterState &, const QList<TClusterNode> &) { arrived = true; });
        const bool started = page->reader()->Read();
        const bool done = started && QTest::qWaitFor([&arrived] { return arrived; }, 20000);
        QObject::disconnect(connection);
        return done;
    }
    int row(const QString &address) const
    {
        for (int r = 0; r < page->nodesGrid()->rowCount(); ++r) {
            if (page->nodesGrid()->text(r, 0) == address)
                return r;
        }
        return -1;
    }
    QString state(const QString &address) const { return page->nodesGrid()->text(row(address), 1); }

    std::unique_ptr<TDMstd> module;
    std::unique_ptr<ClusterPage> page;
};

} // namespace

void TestCluster::clusterNodes_data()
{
    QTest::addColumn<QString>("addresses");
    QTest::addColumn<QString>("local");
    QTest::addColumn<QString>("localState");
    QTest::addColumn<QString>("clusterStatus");
    QTest::addColumn<QStringList>("knownBefore");
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<QList<bool>>("attention");

    const QString a = QStringLiteral("10.0.0.1:3306");
    const QString b = QStringLiteral("10.0.0.2:3306");
    const QString c = QStringLiteral("10.0.0.3:3306");
    QTest::newRow("three synced") << a + QLatin1Char(',') + b + QLatin1Char(',') + c << a << "Synced" << "Primary"
                                  << QStringList() << QStringList{"Synced", "Member", "Member"}
                                  << QList<bool>{false, false, false};
    QTest::newRow("a node lost") << a + QLatin1Char(',') + b << a << "Synced" << "Primary" << QStringList{a, b, c}
                                 << QStringList{"Synced", "Member", "Gone"} << QList<bool>{false, false, true};
    QTest::newRow("this node donor") << a + QLatin1Char(',') + b << b << "Donor/Desynced" << "Primary"
                                     << QStringList() << QStringList{"Member", "Donor/Desynced"}
                                     << QList<bool>{false, true};
    QTest::newRow("not primary") << b << b << "Initialized" << "non-Primary" << QStringList{a, b}
                                 << QStringList{"Gone", "Initialized"} << QList<bool>{true, true};
}

void TestCluster::clusterNodes()
{
    QFETCH(QString, addresses);
    QFETCH(QString, local);
    QFETCH(QString, localState);
    QFETCH(QString, clusterStatus);
    QFETCH(QStringList, knownBefore);
    QFETCH(QStringList, states);
    QFETCH(QList<bool>, attention);
    const TClusterState state = ClusterStateFrom(
        true, {{QStringLiteral("wsrep_incoming_addresses"), addresses},
               {QStringLiteral("WSREP_LOCAL_STATE_COMMENT"), localState},
               {QStringLiteral("wsrep_cluster_status"), clusterStatus},
               {QStringLiteral("wsrep_cluster_size"), QString::number(addresses.count(QLatin1Char(',')) + 1)},
               {QStringLiteral("wsrep_flow_control_paused"), QStringLiteral("0.25")},
               {QStringLiteral("wsrep_local_recv_queue"), QStringLiteral("4")}});
    QCOMPARE(state.FlowControlPaused, 0.25);
    QCOMPARE(state.ReceiveQueue, 4);
    QStringList known = knownBefore;
    const QList<TClusterNode> nodes = ClusterNodes(state, local, &known);
    QStringList gotStates;
    QList<bool> gotAttention;
    for (const TClusterNode &node : nodes) {
        gotStates.append(node.State);
        gotAttention.append(node.Attention);
    }
    QCOMPARE(gotStates, states);
    QCOMPARE(gotAttention, attention);
    // Off: no nodes at all.
    QVERIFY(ClusterNodes(ClusterStateFrom(false, {}), local, &known).isEmpty());
}

void TestCluster::initTestCase()
{
    if (GaleraCluster::providerPath().isEmpty())
        QSKIP("galera-4 is not installed (no libgalera_smm.so): the cluster tests need it");
    QVERIFY(LoadClientLibrary());
    m_cluster = std::make_unique<GaleraCluster>(3);
    QString error;
    QVERIFY2(m_cluster->start(&error), qPrintable(error));
}

void TestCluster::threeSyncedNodes()
{
    Side side(*m_cluster, 0);
    QVERIFY(side.connect());
    // Shown, the page reads by itself.
    side.page->show();
    QTRY_COMPARE_WITH_TIMEOUT(side.page->nodesGrid()->rowCount(), 3, 20000);
    QCOMPARE(side.state(m_cluster->address(0)), QStringLiteral("Synced"));
    for (int node = 0; node < 3; ++node) {
        const int row = side.row(m_cluster->address(node));
        QVERIFY2(row >= 0, qPrintable(m_cluster->address(node)));
        QVERIFY(!side.page->rowMarked(row));
    }
    QVERIFY2(side.page->summaryLabel()->text().contains(QStringLiteral("Cluster status: Primary, size 3")),
             qPrintable(side.page->summaryLabel()->text()));
    QVERIFY(!side.page->queueSeries().first()->points().isEmpty());
    side.page->hide();
}

void TestCluster::refusedStatementShowsServerMessage()
{
    // A node that accepts only what it can replicate refuses MyISAM tables.
    QString error;
    QVERIFY2(m_cluster->sql(0, QStringLiteral("CREATE DATABASE IF NOT EXISTS shop;"
                                              "SET GLOBAL wsrep_mode='STRICT_REPLICATION'"),
                            nullptr, &error),
             qPrintable(error));
    Side side(*m_cluster, 0);
    QVERIFY(side.connect());
    bool done = false;
    TmySQLClientOutcome outcome;
    side.module->RunStatement(QStringLiteral("CREATE TABLE shop.plain (id INT) ENGINE=MyISAM"),
                              [&](const TmySQLClientOutcome &o) {
                                  outcome = o;
                                  done = true;
                              });
    QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
    QVERIFY(m_cluster->sql(0, QStringLiteral("SET GLOBAL wsrep_mode=''")));
    QVERIFY(outcome.Failed);
    QVERIFY(!outcome.ErrorText.isEmpty());
    // The server's own message, as for any failure.
    QVERIFY2(side.log.lines().contains(outcome.ErrorText), qPrintable(side.log.lines().join(QLatin1Char('|'))));
}

void TestCluster::killedNodeShowsGone()
{
    Side side(*m_cluster, 0);
    QVERIFY(side.connect());
    QVERIFY(side.read());
    QCOMPARE(side.page->nodesGrid()->rowCount(), 3);
    m_cluster->kill(2);
    QTRY_VERIFY_WITH_TIMEOUT(side.read() && side.state(m_cluster->address(2)) == QLatin1String("Gone"), 30000);
    QVERIFY(side.page->rowMarked(side.row(m_cluster->address(2))));
    QVERIFY(!side.page->rowMarked(side.row(m_cluster->address(0))));
    QCOMPARE(side.page->reader()->state().ClusterSize, 2);
    QVERIFY2(side.page->summaryLabel()->text().contains(QStringLiteral("size 2")),
             qPrintable(side.page->summaryLabel()->text()));
    const QString line = QStringLiteral("Cluster: node %1 is gone; cluster size 2.").arg(m_cluster->address(2));
    QVERIFY2(side.log.lines().contains(line), qPrintable(side.log.lines().join(QLatin1Char('|'))));
    // Written once, not at every read.
    QVERIFY(side.read());
    QCOMPARE(side.log.lines().count(line), 1);
}

void TestCluster::profileReconnectsToSecondNode()
{
    // After the previous test two nodes are left; this one kills the first.
    Side side(*m_cluster, 0);
    side.profile.Hosts = {m_cluster->address(1)};
    QVERIFY(side.connect());
    QCOMPARE(side.module->ConnectedHost(), m_cluster->address(0));
    QSignalSpy lost(side.module.get(), &TDMstd::connectionLost);
    m_cluster->kill(0);
    side.module->RunStatement(QStringLiteral("select 1"));
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 30000);
    settle();
    QVERIFY(side.module->Reconnect());
    QTRY_VERIFY_WITH_TIMEOUT(side.module->ActiveClient()->Connected(), 30000);
    settle();
    QCOMPARE(side.module->ConnectedHost(), m_cluster->address(1));
    QVERIFY(side.log.lines().contains(QStringLiteral("Connected to: ") + m_cluster->address(1)));
    // Alone of two, the node has lost its quorum: the page says so in red.
    QTRY_VERIFY_WITH_TIMEOUT(side.read() && side.page->reader()->state().ClusterStatus != QLatin1String("Primary")
                                 && !side.page->reader()->state().ClusterStatus.isEmpty(),
                             30000);
    const int row = side.row(m_cluster->address(1));
    QVERIFY(row >= 0);
    QVERIFY(side.page->rowMarked(row));
    bool logged = false;
    for (const QString &line : side.log.lines())
        logged = logged || (line.startsWith(QStringLiteral("Cluster: the cluster is")) && line.endsWith(QStringLiteral("not Primary.")));
    QVERIFY2(logged, qPrintable(side.log.lines().join(QLatin1Char('|'))));
}

QTEST_MAIN(TestCluster)
#include "tst_cluster.moc"

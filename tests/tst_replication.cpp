#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/replication.h"
#include "data/tdmstd.h"
#include "data/settingsstore.h"
#include "shell/clusterpage.h"
#include "shell/mainwindow.h"
#include "shell/monitorcontroller.h"
#include "shell/replicationpage.h"
#include "shell/sessioncontroller.h"
#include "tests/modalhelper.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The page "Replication" against a primary and a replica of its own, both
// private servers on loopback ports.
class TestReplication : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void replicaConnections_data();
    void replicaConnections();
    void replicaStatements_data();
    void replicaStatements();
    void primarySide();
    void replicaSide();
    void stoppedSqlThreadShows();
    void stopAndStartAskFirst_data();
    void stopAndStartAskFirst();
    void lagOverLimitShows();
    void windowPagesUseTheOptions();
    void commandsDoNotWaitForReads();

private:
    struct Side;
    std::unique_ptr<Side> connectTo(PrivateServer &server);
    QString replicaValue(const QString &column);

    std::unique_ptr<PrivateServer> m_primary;
    std::unique_ptr<PrivateServer> m_replica;
    int m_lagLimit = 60;
};

// A data module logged in to one server, and the page over it.
struct TestReplication::Side : HeadlessViews
{
    Side(PrivateServer &server, const int *lagLimit)
        : HeadlessViews(server.host(), QString::number(server.port()), PrivateServer::user(), PrivateServer::password())
    {
        module = std::make_unique<TDMstd>(views);
        page = std::make_unique<ReplicationPage>(module.get(), [lagLimit] { return *lagLimit; });
    }

    // Reads the page once and waits for the answer.
    bool read()
    {
        bool arrived = false;
        const auto connection = QObject::connect(page->reader(), &ReplicationReader::stateRead,
                                                 [&arrived](const TReplicationState &) { arrived = true; });
        const bool started = page->reader()->Read();
        const bool done = started && QTest::qWaitFor([&arrived] { return arrived; }, 20000);
        QObject::disconnect(connection);
        return done;
    }
    // The row of the replica connection "src".
    int sourceRow() const
    {
        for (int row = 0; row < page->connectionsGrid()->rowCount(); ++row) {
            if (page->connectionsGrid()->text(row, 0) == QLatin1String("src"))
                return row;
        }
        return -1;
    }
    QString sourceCell(const QString &caption) const
    {
        const GridModel *grid = page->connectionsGrid();
        for (int column = 0; column < grid->columnCount(); ++column) {
            if (grid->columnCaption(column) == caption)
                return grid->text(sourceRow(), column);
        }
        return QStringLiteral("(no column %1)").arg(caption);
    }

    std::unique_ptr<TDMstd> module;
    std::unique_ptr<ReplicationPage> page;
};

std::unique_ptr<TestReplication::Side> TestReplication::connectTo(PrivateServer &server)
{
    auto side = std::make_unique<Side>(server, &m_lagLimit);
    if (!side->module->ConnectProfile())
        return nullptr;
    if (!QTest::qWaitFor([&side] { return side->module->ActiveClient()->Connected(); }, 20000))
        return nullptr;
    settle();
    return side;
}

QString TestReplication::replicaValue(const QString &column)
{
    QString output;
    if (!m_replica->sql(QStringLiteral("SHOW SLAVE 'src' STATUS\\G"), &output))
        return QStringLiteral("(no status)");
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(column + QLatin1Char(':')))
            return trimmed.mid(column.size() + 1).trimmed();
    }
    return QString();
}

void TestReplication::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    m_primary = std::make_unique<PrivateServer>();
    m_primary->setExtraArguments({QStringLiteral("--log-bin=primary-bin"), QStringLiteral("--server-id=1")});
    QVERIFY2(m_primary->start(&error), qPrintable(error));
    m_replica = std::make_unique<PrivateServer>();
    m_replica->setExtraArguments({QStringLiteral("--server-id=2"), QStringLiteral("--report-host=127.0.0.1"),
                                  QStringLiteral("--relay-log=replica-relay")});
    QVERIFY2(m_replica->start(&error), qPrintable(error));

    QVERIFY2(m_primary->sql(QStringLiteral("CREATE USER repl@'%' IDENTIFIED BY 'repl';"
                                           "GRANT REPLICATION SLAVE ON *.* TO repl@'%';"
                                           "CREATE DATABASE shop; CREATE TABLE shop.t (id INT PRIMARY KEY);"),
                            nullptr, &error),
             qPrintable(error));
    // The replica starts where the primary stands now: the accounts and
    // schema above are created on it directly.
    QString status;
    QVERIFY2(m_primary->sql(QStringLiteral("SHOW MASTER STATUS"), &status, &error), qPrintable(error));
    const QStringList fields = status.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(1).split(QLatin1Char('\t'));
    QVERIFY2(fields.size() >= 2, qPrintable(status));
    QVERIFY2(m_replica->sql(QStringLiteral("CREATE DATABASE shop; CREATE TABLE shop.t (id INT PRIMARY KEY);"
                                           "CHANGE MASTER 'src' TO MASTER_HOST='127.0.0.1', MASTER_PORT=%1,"
                                           " MASTER_USER='repl', MASTER_PASSWORD='repl', MASTER_USE_GTID=no,"
                                           " MASTER_LOG_FILE='%2', MASTER_LOG_POS=%3;"
                                           "START SLAVE 'src';")
                                .arg(m_primary->port())
                                .arg(fields.at(0), fields.at(1)),
                            nullptr, &error),
             qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(replicaValue(QStringLiteral("Slave_IO_Running")), QStringLiteral("Yes"), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(replicaValue(QStringLiteral("Slave_SQL_Running")), QStringLiteral("Yes"), 30000);
}

void TestReplication::cleanup()
{
    cancelPendingAnswers();
    m_lagLimit = 60;
}

void TestReplication::replicaConnections_data()
{
    QTest::addColumn<QString>("io");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("behind");
    QTest::addColumn<QString>("sqlError");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("attention");

    QTest::newRow("running, in step") << "Yes" << "Yes" << "0" << "" << 60 << false;
    QTest::newRow("running, lag at the limit") << "Yes" << "Yes" << "60" << "" << 60 << false;
    QTest::newRow("running, lag over the limit") << "Yes" << "Yes" << "61" << "" << 60 << true;
    QTest::newRow("SQL thread stopped") << "Yes" << "No" << "" << "" << 60 << true;
    QTest::newRow("IO thread connecting") << "Connecting" << "Yes" << "" << "" << 60 << true;
    QTest::newRow("error left behind") << "Yes" << "Yes" << "0" << "Duplicate entry" << 60 << true;
}

void TestReplication::replicaConnections()
{
    QFETCH(QString, io);
    QFETCH(QString, sql);
    QFETCH(QString, behind);
    QFETCH(QString, sqlError);
    QFETCH(int, limit);
    QFETCH(bool, attention);
    // Columns in another order and letter case than the server's: read by name.
    const QStringList columns = {QStringLiteral("Last_SQL_Error"), QStringLiteral("connection_name"),
                                 QStringLiteral("Seconds_Behind_Master"), QStringLiteral("Slave_SQL_Running"),
                                 QStringLiteral("Slave_IO_Running"), QStringLiteral("Master_Port")};
    const QList<TReplicaConnection> connections =
        ReplicaConnections(columns, {{sqlError, QStringLiteral("east"), behind, sql, io, QStringLiteral("3307")}});
    QCOMPARE(connections.size(), 1);
    const TReplicaConnection &c = connections.first();
    QCOMPARE(c.Name, QStringLiteral("east"));
    QCOMPARE(c.IoRunning, io);
    QCOMPARE(c.SqlRunning, sql);
    QCOMPARE(c.SecondsBehind, behind);
    QCOMPARE(c.MasterPort, QStringLiteral("3307"));
    QCOMPARE(c.MasterHost, QString()); // not among the columns
    QCOMPARE(c.needsAttention(limit), attention);
}

void TestReplication::replicaStatements_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::newRow("default connection") << "" << "START SLAVE" << "STOP SLAVE";
    QTest::newRow("named") << "east" << "START SLAVE 'east'" << "STOP SLAVE 'east'";
    QTest::newRow("quote in the name") << "o'k" << "START SLAVE 'o''k'" << "STOP SLAVE 'o''k'";
}

void TestReplication::replicaStatements()
{
    QFETCH(QString, name);
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QCOMPARE(StartReplicaStatement(name), start);
    QCOMPARE(StopReplicaStatement(name), stop);
}

void TestReplication::primarySide()
{
    auto side = connectTo(*m_primary);
    QVERIFY(side);
    QVERIFY(side->read());
    QVERIFY2(side->page->binlogLabel()->text().startsWith(QStringLiteral("primary-bin.")),
             qPrintable(side->page->binlogLabel()->text()));
    // The replica registered with its server id and reported host.
    QTRY_VERIFY_WITH_TIMEOUT(side->read() && side->page->replicasGrid()->rowCount() == 1, 20000);
    QCOMPARE(side->page->replicasGrid()->text(0, 0), QStringLiteral("2"));
    QCOMPARE(side->page->replicasGrid()->text(0, 1), QStringLiteral("127.0.0.1"));
    QCOMPARE(side->page->connectionsGrid()->rowCount(), 0);
}

void TestReplication::replicaSide()
{
    auto side = connectTo(*m_replica);
    QVERIFY(side);
    // Shown, the page reads by itself.
    side->page->show();
    QTRY_VERIFY_WITH_TIMEOUT(side->sourceRow() >= 0, 20000);
    QCOMPARE(side->sourceCell(QStringLiteral("IO thread")), QStringLiteral("Yes"));
    QCOMPARE(side->sourceCell(QStringLiteral("SQL thread")), QStringLiteral("Yes"));
    QCOMPARE(side->sourceCell(QStringLiteral("Primary port")), QString::number(m_primary->port()));
    QCOMPARE(side->sourceCell(QStringLiteral("Seconds behind")), QStringLiteral("0"));
    QVERIFY(!side->page->rowMarked(side->sourceRow()));
    QCOMPARE(side->page->binlogLabel()->text(), QStringLiteral("binary logging is off"));
    side->page->hide();
}

void TestReplication::stoppedSqlThreadShows()
{
    auto side = connectTo(*m_replica);
    QVERIFY(side);
    QString error;
    QVERIFY2(m_replica->sql(QStringLiteral("STOP SLAVE 'src' SQL_THREAD"), nullptr, &error), qPrintable(error));
    QVERIFY(side->read());
    QCOMPARE(side->sourceCell(QStringLiteral("SQL thread")), QStringLiteral("No"));
    QCOMPARE(side->sourceCell(QStringLiteral("IO thread")), QStringLiteral("Yes"));
    QVERIFY(side->page->rowMarked(side->sourceRow()));
    QVERIFY2(m_replica->sql(QStringLiteral("START SLAVE 'src'"), nullptr, &error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(side->read() && side->sourceCell(QStringLiteral("SQL thread")) == QLatin1String("Yes"),
                             20000);
    QVERIFY(!side->page->rowMarked(side->sourceRow()));
}

void TestReplication::stopAndStartAskFirst_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("answered No") << false;
    QTest::newRow("answered Yes") << true;
}

void TestReplication::stopAndStartAskFirst()
{
    QFETCH(bool, yes);
    auto side = connectTo(*m_replica);
    QVERIFY(side);
    QVERIFY(side->read());
    QVERIFY(side->sourceRow() >= 0);
    side->page->connectionsView()->selectRow(side->sourceRow());

    QString question;
    answerMessageBox(yes ? QMessageBox::Yes : QMessageBox::No, &question);
    side->page->stopButton()->click();
    QCOMPARE(question, QStringLiteral("Stop the replica connection 'src' ?"));
    settle();
    QCOMPARE(replicaValue(QStringLiteral("Slave_SQL_Running")), yes ? QStringLiteral("No") : QStringLiteral("Yes"));
    QCOMPARE(replicaValue(QStringLiteral("Slave_IO_Running")), yes ? QStringLiteral("No") : QStringLiteral("Yes"));
    // The page shows what the server now says.
    QTRY_COMPARE_WITH_TIMEOUT(side->sourceCell(QStringLiteral("SQL thread")),
                              yes ? QStringLiteral("No") : QStringLiteral("Yes"), 20000);

    answerMessageBox(QMessageBox::Yes, &question);
    side->page->startButton()->click();
    QCOMPARE(question, QStringLiteral("Start the replica connection 'src' ?"));
    settle();
    QTRY_COMPARE_WITH_TIMEOUT(replicaValue(QStringLiteral("Slave_SQL_Running")), QStringLiteral("Yes"), 20000);
}

void TestReplication::lagOverLimitShows()
{
    // The replica is held back: it applies each event 30 seconds late.
    QString error;
    QVERIFY2(m_replica->sql(QStringLiteral("STOP SLAVE 'src'; CHANGE MASTER 'src' TO MASTER_DELAY=30;"
                                           "START SLAVE 'src';"),
                            nullptr, &error),
             qPrintable(error));
    auto side = connectTo(*m_replica);
    QVERIFY(side);
    m_lagLimit = 2;
    QVERIFY2(m_primary->sql(QStringLiteral("INSERT INTO shop.t VALUES (1)"), nullptr, &error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(side->read() && side->sourceCell(QStringLiteral("Seconds behind")).toInt() > 2, 20000);
    QVERIFY(side->page->rowMarked(side->sourceRow()));
    // The same lag under a higher limit is not marked.
    m_lagLimit = 3600;
    QVERIFY(side->read());
    QVERIFY(!side->page->rowMarked(side->sourceRow()));
    QVERIFY2(m_replica->sql(QStringLiteral("STOP SLAVE 'src'; CHANGE MASTER 'src' TO MASTER_DELAY=0;"
                                           "START SLAVE 'src';"),
                            nullptr, &error),
             qPrintable(error));
}

void TestReplication::windowPagesUseTheOptions()
{
    // In the window: both pages behind the others, the replica's lag judged
    // by the limit of the program options.
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("quarnel.conf")));
    TFormMain window(&settings);
    TDMstd data(SessionController::viewsOf(&window));
    MonitorController monitor(&window, &data);
    auto *pages = window.findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    QVERIFY(pages);
    QCOMPARE(pages->tabText(pages->count() - 2), QStringLiteral("Replication"));
    QCOMPARE(pages->tabText(pages->count() - 1), QStringLiteral("Cluster"));
    QCOMPARE(pages->widget(pages->count() - 2), monitor.replicationPage());
    QCOMPARE(pages->widget(pages->count() - 1), monitor.clusterPage());

    TServerProfile &profile = settings.currentProfile();
    profile.Host = m_replica->host();
    profile.Port = QString::number(m_replica->port());
    profile.User = PrivateServer::user();
    profile.Psw = PrivateServer::password();
    QString error;
    QVERIFY2(m_replica->sql(QStringLiteral("STOP SLAVE 'src'; CHANGE MASTER 'src' TO MASTER_DELAY=30;"
                                           "START SLAVE 'src';"),
                            nullptr, &error),
             qPrintable(error));
    QVERIFY(data.ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(data.ActiveClient()->Connected(), 20000);
    settle();
    QVERIFY2(m_primary->sql(QStringLiteral("INSERT INTO shop.t VALUES (2)"), nullptr, &error), qPrintable(error));
    settings.programSettings().ReplicaLagLimit = QStringLiteral("1");
    ReplicationPage *page = monitor.replicationPage();
    const auto lagShown = [page] {
        bool arrived = false;
        const auto connection = QObject::connect(page->reader(), &ReplicationReader::stateRead,
                                                 [&arrived](const TReplicationState &) { arrived = true; });
        const bool read = page->reader()->Read() && QTest::qWaitFor([&arrived] { return arrived; }, 20000);
        QObject::disconnect(connection);
        return read && page->connectionsGrid()->rowCount() == 1
               && page->connectionsGrid()->text(0, 5).toInt() > 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(lagShown(), 20000);
    QVERIFY(page->rowMarked(0));
    settings.programSettings().ReplicaLagLimit = QStringLiteral("3600");
    QVERIFY(page->reader()->Read());
    QTRY_VERIFY_WITH_TIMEOUT(!page->reader()->reading(), 20000);
    QVERIFY(!page->rowMarked(0));
    QVERIFY2(m_replica->sql(QStringLiteral("STOP SLAVE 'src'; CHANGE MASTER 'src' TO MASTER_DELAY=0;"
                                           "START SLAVE 'src';"),
                            nullptr, &error),
             qPrintable(error));
    data.CloseSession();
}

void TestReplication::commandsDoNotWaitForReads()
{
    auto side = connectTo(*m_replica);
    QVERIFY(side);
    // A read of the page is under way (its outcomes not handled yet).
    QVERIFY(side->page->reader()->Read());
    QVERIFY(side->module->statementsRunning());
    // A command of the user is taken all the same, and runs after it.
    QVERIFY(side->module->acceptsCommands());
    bool done = false;
    TmySQLClientOutcome outcome;
    side->module->RunStatement(QStringLiteral("DO 1"), [&](const TmySQLClientOutcome &o) {
        outcome = o;
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
    QVERIFY(!outcome.Failed);
    QVERIFY(!side->log.lines().contains(QStringLiteral("A statement is still running: wait for it or stop it.")));
    settle();

    // A stop drops a read under way: the page reads again afterwards.
    QVERIFY(side->page->reader()->Read());
    side->module->Stop();
    settle();
    QVERIFY(!side->module->statementsRunning());
    QVERIFY(side->read());
    QVERIFY(side->sourceRow() >= 0);
}

QTEST_MAIN(TestReplication)
#include "tst_replication.moc"

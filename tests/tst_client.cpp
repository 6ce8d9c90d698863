#include "client/mySQLClient.h"
#include "tests/support/connectedclient.h"
#include "tests/support/privateserver.h"

#include <QStringListModel>
#include <QTest>
#include <QThread>

#include <memory>

// The client component against a real private MariaDB server.
class TestClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void bindingFailsForMissingLibrary();
    void bindingResolvesEveryExportedEntryPoint();
    void connectFailuresRaiseConnectError_data();
    void connectFailuresRaiseConnectError();
    void connectWhileConnectedDoesNothing();
    void queuedTasksRunInOrderAndReportLater();
    void resultReads();
    void zeroRowSelect();
    void statementWithoutResultReachesErrorHandlerWithEmptyText();
    void failedStatementReportsServerText();
    void listDatabasesInServerOrder();
    void listTablesWithNoMatchIsEmpty();
    void closeThenConnectOrdersEvents();
    void clientFlags();
    void compressedConnectionWorks();
    void megabyteStatementRuns();
    void taskListBoxShowsCutNames();
    void missingEntryPointFailsWithClearError();
    void serverGoneBetweenStatements();
    void destroyingDropsPendingNotifications();
    void destroyingConnectedClientClosesWithoutOnClose();
    void threadedModeRunsOnWorkerAndReportsOnCreator();
    void localhostConnectsOverTcpToThePort();

private:
    std::unique_ptr<TmySQLClient> connectedClient(const QString &database = QString());
    int serverConnections(const QString &user);

    PrivateServer *m_server = nullptr;
};

namespace {

void configure(TmySQLClient &client, const PrivateServer &server)
{
    client.setHostname(server.host());
    client.setPort(server.port());
    client.setUsername(PrivateServer::user());
    client.setPassword(PrivateServer::password());
}

} // namespace

void TestClient::initTestCase()
{
    m_server = &PrivateServer::shared();
    QString error;
    QVERIFY2(m_server->start(&error), qPrintable(error));
    QVERIFY(m_server->sql(QStringLiteral(
        "CREATE DATABASE zeta; CREATE DATABASE alpha; CREATE DATABASE shop;"
        "CREATE TABLE shop.t (Name VARCHAR(20) NULL, note VARCHAR(20) NULL, n INT);"
        "INSERT INTO shop.t VALUES ('x', NULL, 1), ('', 'y', 2), ('z', 'w', 3);"
        "CREATE TABLE shop.gone (id INT);")));
}

void TestClient::bindingFailsForMissingLibrary()
{
    // Runs first: nothing is bound yet.
    const QString saved = ClientLibraryName;
    ClientLibraryName = QStringLiteral("/nonexistent/libmissing.so.3");
    QVERIFY(!LoadClientLibrary());
    QVERIFY(!ClientLibraryBound());
    QVERIFY(mysqlApi.mysql_query == nullptr);

    // Unbound: Connect does nothing and nothing follows.
    TmySQLClient client;
    configure(client, *m_server);
    bool raised = false;
    client.OnConnect = [&](QObject *) { raised = true; };
    client.OnConnectError = [&](QObject *, const QString &) { raised = true; };
    client.Connect();
    // Nothing was queued, so nothing can come later either.
    QCOMPARE(client.TaskHandler()->PendingTasks(), 0);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QVERIFY(!raised);
    QVERIFY(!client.Connected());

    ClientLibraryName = saved;
    QVERIFY(LoadClientLibrary());
}

void TestClient::bindingResolvesEveryExportedEntryPoint()
{
    int count = 0;
    ClientEntryPointNames(&count);
    QCOMPARE(count, 35);
    // Connector/C dropped these three; their slots stay empty and the rest bind.
    QVERIFY(mysqlApi.mysql_connect == nullptr);
    QVERIFY(mysqlApi.mysql_create_db == nullptr);
    QVERIFY(mysqlApi.mysql_drop_db == nullptr);
    QCOMPARE(BoundEntryPointCount(), 32);
    QVERIFY(mysqlApi.mysql_debug && mysqlApi.mysql_use_result && mysqlApi.mysql_fetch_lengths);
    QVERIFY(mysqlApi.mysql_error && mysqlApi.mysql_affected_rows);
}

std::unique_ptr<TmySQLClient> TestClient::connectedClient(const QString &database)
{
    auto client = std::make_unique<TmySQLClient>();
    configure(*client, *m_server);
    client->setDatabase(database);
    return loggedIn(std::move(client), 5000);
}

int TestClient::serverConnections(const QString &user)
{
    QString out;
    m_server->sql(QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE USER = '%1';").arg(user),
                  &out);
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(1).toInt();
}

void TestClient::connectFailuresRaiseConnectError_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("closedPort");
    QTest::addColumn<QString>("expected");
    QTest::newRow("wrong password") << "wrong" << "" << false << "Access denied";
    QTest::newRow("unknown database") << PrivateServer::password() << "nosuchdb" << false << "Unknown database";
    QTest::newRow("closed port") << PrivateServer::password() << "" << true << "Can't connect";
}

void TestClient::connectFailuresRaiseConnectError()
{
    QFETCH(QString, password);
    QFETCH(QString, database);
    QFETCH(bool, closedPort);
    QFETCH(QString, expected);

    TmySQLClient client;
    configure(client, *m_server);
    client.setPassword(password);
    client.setDatabase(database);
    if (closedPort)
        client.setPort(1); // nothing listens there
    QObject *sender = nullptr;
    QString message;
    bool connected = false;
    client.OnConnect = [&](QObject *) { connected = true; };
    client.OnConnectError = [&](QObject *s, const QString &m) {
        sender = s;
        message = m;
    };
    client.Connect();
    QVERIFY(message.isEmpty()); // never inside Connect
    QVERIFY(QTest::qWaitFor([&] { return sender != nullptr; }, 5000));
    QVERIFY2(message.contains(expected), qPrintable(message));
    QCOMPARE(sender, static_cast<QObject *>(client.Utility()));
    QVERIFY(!connected);
    QVERIFY(!client.Connected());
    QVERIFY(client.Query() == nullptr);
    QVERIFY(client.Modify() == nullptr);
}

void TestClient::connectWhileConnectedDoesNothing()
{
    auto client = connectedClient();
    QVERIFY(client);
    int events = 0;
    client->OnConnect = [&](QObject *) { ++events; };
    client->OnConnectError = [&](QObject *, const QString &) { ++events; };
    TmySQLClientQuery *query = client->Query();
    client->Connect();
    QCOMPARE(client->TaskHandler()->PendingTasks(), 0);
    // Outcomes are handled in posting order: once a statement sent now has
    // reported, anything the Connect could have caused has been handled.
    bool marker = false;
    client->Query()->Execute(QStringLiteral("SELECT 1"), QStringLiteral("marker"), nullptr, nullptr,
                             [&](QObject *) { marker = true; });
    client->Query()->Run();
    QVERIFY(QTest::qWaitFor([&] { return marker; }, 5000));
    QCOMPARE(events, 0);
    QCOMPARE(client->Query(), query);
}

void TestClient::queuedTasksRunInOrderAndReportLater()
{
    auto client = connectedClient();
    QVERIFY(client);
    TmySQLClientQuery *query = client->Query();
    QStringList seen;
    bool insideRun = false;
    auto record = [&](QObject *sender) {
        QVERIFY(!insideRun);
        auto *q = qobject_cast<TmySQLClientQuery *>(sender);
        QVERIFY(q);
        seen << QStringLiteral("%1:%2:%3").arg(q->FieldName(0)).arg(q->RowCount()).arg(q->Value(0, 0));
    };
    query->Execute(QStringLiteral("SELECT 'first' AS a"), QStringLiteral("one"), nullptr, nullptr, record);
    query->Execute(QStringLiteral("SELECT 'second' AS b UNION ALL SELECT 'more'"), QStringLiteral("two"), nullptr,
                   nullptr, record);
    insideRun = true;
    query->Run();
    insideRun = false;
    QVERIFY(seen.isEmpty());
    QVERIFY(QTest::qWaitFor([&] { return seen.size() == 2; }, 5000));
    QCOMPARE(seen, (QStringList{QStringLiteral("a:1:first"), QStringLiteral("b:2:second")}));
    // Outside a handler the reads report no result.
    QCOMPARE(query->RowCount(), 0);
    QCOMPARE(query->FieldCount(), -1);
    QCOMPARE(query->FieldIndex(QStringLiteral("a")), -1);
    QCOMPARE(query->Value(0, 0), QString());
}

void TestClient::resultReads()
{
    auto client = connectedClient(QStringLiteral("shop"));
    QVERIFY(client);
    bool done = false;
    client->Query()->Execute(QStringLiteral("SELECT Name, note, n FROM t ORDER BY n"), QStringLiteral("t"), nullptr,
                             nullptr, [&](QObject *sender) {
                                 auto *q = static_cast<TmySQLClientQuery *>(sender);
                                 QCOMPARE(q->RowCount(), 3);
                                 QCOMPARE(q->FieldCount(), 3);
                                 QCOMPARE(q->FieldIndex(QStringLiteral("NAME")), 0);
                                 QCOMPARE(q->FieldIndex(QStringLiteral("nope")), -1);
                                 // NULL and the empty text both read as empty...
                                 QCOMPARE(q->Value(0, 1), QString());
                                 QCOMPARE(q->Value(1, 0), QString());
                                 // ...and the raw read keeps them apart.
                                 QVERIFY(q->RawValue(0, 1) == nullptr);
                                 QVERIFY(q->RawValue(1, 0) != nullptr);
                                 QCOMPARE(q->ValueByName(2, QStringLiteral("NOTE")), QStringLiteral("w"));
                                 QCOMPARE(q->ValueByName(2, QStringLiteral("missing")), QString());
                                 QCOMPARE(q->Value(2, q->FieldCount()), QString());
                                 QCOMPARE(q->Value(3, 0), QString());
                                 QCOMPARE(q->FieldName(3), QString());
                                 done = true;
                             });
    client->Query()->Run();
    QVERIFY(QTest::qWaitFor([&] { return done; }, 5000));
}

void TestClient::zeroRowSelect()
{
    auto client = connectedClient(QStringLiteral("shop"));
    QVERIFY(client);
    bool done = false;
    client->Query()->Execute(QStringLiteral("SELECT Name, n FROM t WHERE n > 100"), QStringLiteral("none"), nullptr,
                             nullptr, [&](QObject *sender) {
                                 auto *q = static_cast<TmySQLClientQuery *>(sender);
                                 QCOMPARE(q->RowCount(), 0);
                                 QCOMPARE(q->FieldCount(), 2);
                                 QCOMPARE(q->FieldName(1), QStringLiteral("n"));
                                 done = true;
                             });
    client->Query()->Run();
    QVERIFY(QTest::qWaitFor([&] { return done; }, 5000));
}

void TestClient::statementWithoutResultReachesErrorHandlerWithEmptyText()
{
    auto client = connectedClient(QStringLiteral("shop"));
    QVERIFY(client);
    bool completed = false;
    bool failed = false;
    QString message = QStringLiteral("unset");
    client->Query()->Execute(
        QStringLiteral("DELETE FROM t WHERE n = 999"), QStringLiteral("delete"), nullptr,
        [&](QObject *sender, const QString &m) {
            failed = true;
            message = m;
            const auto *query = static_cast<TmySQLClientQuery *>(sender);
            QCOMPARE(query->FieldCount(), -1);
            // Not a failure: the library said so when the statement returned.
            QVERIFY(!query->Outcome().Failed);
            QCOMPARE(query->Outcome().AffectedRows, 0);
        },
        [&](QObject *) { completed = true; });
    client->Query()->Run();
    QVERIFY(QTest::qWaitFor([&] { return failed; }, 5000));
    // The reads of the connection answer from the outcome handled last.
    QCOMPARE(client->Utility()->AffectedRows(), 0);
    QCOMPARE(client->Utility()->LastError(), QString());
    QVERIFY(!completed);
    QCOMPARE(message, QString());
}

void TestClient::failedStatementReportsServerText()
{
    auto client = connectedClient(QStringLiteral("shop"));
    QVERIFY(client);
    QString message;
    TmySQLClientOutcome outcome;
    client->Query()->Execute(QStringLiteral("SELECT * FROM shop.nosuchtable"), QStringLiteral("bad"), nullptr,
                             [&](QObject *sender, const QString &m) {
                                 message = m;
                                 outcome = static_cast<TmySQLClientQuery *>(sender)->Outcome();
                             },
                             nullptr);
    client->Query()->Run();
    QVERIFY(QTest::qWaitFor([&] { return !message.isEmpty(); }, 5000));
    QCOMPARE(client->Utility()->AffectedRows(), -1);
    QVERIFY(client->Utility()->LastError().contains(QStringLiteral("nosuchtable")));
    QVERIFY2(message.contains(QStringLiteral("'shop.nosuchtable'")), qPrintable(message));
    QVERIFY(outcome.Failed);
    QCOMPARE(outcome.ErrorNumber, 1146u);
    QCOMPARE(outcome.ErrorText, message);
    QCOMPARE(outcome.AffectedRows, -1);
    QVERIFY(!outcome.LostConnection());
}

void TestClient::listDatabasesInServerOrder()
{
    auto client = connectedClient();
    QVERIFY(client);
    QString out;
    QVERIFY(m_server->sql(QStringLiteral("SHOW DATABASES;"), &out));
    QStringList expected = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    expected.removeFirst(); // the column caption

    QStringList names;
    bool done = false;
    client->UtilityEvents.OnListDatabases = [&](QObject *sender) {
        names = static_cast<TmySQLClientUtility *>(sender)->ResultNames();
        done = true;
    };
    // Handlers are taken over at Connect: reconnect.
    client->Close();
    bool reconnected = false;
    client->OnConnect = [&](QObject *) { reconnected = true; };
    client->Connect();
    QVERIFY(QTest::qWaitFor([&] { return reconnected; }, 5000));
    client->Utility()->ListDbs(QStringLiteral("%"), QStringLiteral("List Databases"));
    client->Utility()->Run();
    QVERIFY(QTest::qWaitFor([&] { return done; }, 5000));
    QCOMPARE(names, expected);
    QVERIFY(names.contains(QStringLiteral("alpha")) && names.contains(QStringLiteral("zeta")));
    QVERIFY(!client->Utility()->HasResultNames());
}

void TestClient::listTablesWithNoMatchIsEmpty()
{
    TmySQLClient client;
    configure(client, *m_server);
    client.setDatabase(QStringLiteral("shop"));
    QStringList names{QStringLiteral("unset")};
    QStringList all;
    int done = 0;
    client.UtilityEvents.OnListTables = [&](QObject *sender) {
        (done == 0 ? names : all) = static_cast<TmySQLClientUtility *>(sender)->ResultNames();
        ++done;
    };
    bool connected = false;
    client.OnConnect = [&](QObject *) { connected = true; };
    client.Connect();
    QVERIFY(QTest::qWaitFor([&] { return connected; }, 5000));
    client.Utility()->ListTables(QStringLiteral("nomatch%"), QStringLiteral("List Tables"));
    client.Utility()->ListTables(QStringLiteral("%"), QStringLiteral("List Tables"));
    client.Utility()->Run();
    QVERIFY(QTest::qWaitFor([&] { return done == 2; }, 5000));
    QVERIFY(names.isEmpty());
    QCOMPARE(all, (QStringList{QStringLiteral("gone"), QStringLiteral("t")}));
}

void TestClient::closeThenConnectOrdersEvents()
{
    auto client = connectedClient();
    QVERIFY(client);
    QStringList events;
    client->OnClose = [&](QObject *sender) {
        QCOMPARE(sender, static_cast<QObject *>(client.get()));
        events << QStringLiteral("close");
    };
    client->OnConnect = [&](QObject *) { events << QStringLiteral("connect"); };
    TmySQLClientQuery *oldQuery = client->Query();
    QPointer<TmySQLClientQuery> oldGuard(oldQuery);
    client->Close();
    QVERIFY(!client->Connected());
    client->Connect();
    QVERIFY(events.isEmpty());
    QVERIFY(QTest::qWaitFor([&] { return events.size() == 2; }, 5000));
    QCOMPARE(events, (QStringList{QStringLiteral("close"), QStringLiteral("connect")}));
    QVERIFY(client->Connected());
    QVERIFY(client->Query() != nullptr);
    QTRY_VERIFY(oldGuard.isNull());
}

void TestClient::clientFlags()
{
    TmySQLClient client;
    QCOMPARE(client.Capabilities(), TSetClientCapabilities(CLIENT_LONG_PASSWORD | CLIENT_CONNECT_WITH_DB));
    QCOMPARE(client.ClientFlags(), 9ul);
    client.setCapabilities(client.Capabilities() | CLIENT_COMPRESS);
    QCOMPARE(client.ClientFlags(), 41ul);
    QCOMPARE(client.Hostname(), QStringLiteral("localhost"));
    QCOMPARE(client.Port(), 3306);
    QVERIFY(!client.Threaded());
    QVERIFY(client.BlockOnClose());
}

void TestClient::compressedConnectionWorks()
{
    TmySQLClient client;
    configure(client, *m_server);
    client.setCapabilities(client.Capabilities() | CLIENT_COMPRESS);
    bool connected = false;
    client.OnConnect = [&](QObject *) { connected = true; };
    client.Connect();
    QVERIFY(QTest::qWaitFor([&] { return connected; }, 5000));
    QString compression;
    client.Query()->Execute(QStringLiteral("SHOW SESSION STATUS LIKE 'Compression'"), QStringLiteral("c"), nullptr,
                            nullptr, [&](QObject *sender) {
                                compression = static_cast<TmySQLClientQuery *>(sender)->Value(0, 1);
                            });
    client.Query()->Run();
    QVERIFY(QTest::qWaitFor([&] { return !compression.isEmpty(); }, 5000));
    QCOMPARE(compression, QStringLiteral("ON"));
}

void TestClient::megabyteStatementRuns()
{
    auto client = connectedClient();
    QVERIFY(client);
    const QString big(1024 * 1024, QLatin1Char('x'));
    QString length;
    client->Query()->Execute(QStringLiteral("SELECT LENGTH('%1')").arg(big), QStringLiteral("big"), nullptr,
                             nullptr, [&](QObject *sender) {
                                 length = static_cast<TmySQLClientQuery *>(sender)->Value(0, 0);
                             });
    client->Query()->Run();
    QVERIFY(QTest::qWaitFor([&] { return !length.isEmpty(); }, 10000));
    QCOMPARE(length, QString::number(1024 * 1024));
}

void TestClient::taskListBoxShowsCutNames()
{
    QStringListModel listBox;
    TmySQLClient client;
    configure(client, *m_server);
    client.setTaskListBox(&listBox);
    bool connected = false;
    client.OnConnect = [&](QObject *) { connected = true; };
    client.Connect();
    QVERIFY(QTest::qWaitFor([&] { return connected; }, 5000));
    QCOMPARE(listBox.rowCount(), 0); // the connect line went when it had run

    const QString name50 = QStringLiteral("0123456789").repeated(5);
    client.Query()->Execute(QStringLiteral("SELECT 1"), name50, nullptr, nullptr, nullptr);
    QCOMPARE(listBox.stringList(), QStringList{name50.left(40)});
    client.Query()->Run();
    QCOMPARE(listBox.rowCount(), 0);
}

void TestClient::missingEntryPointFailsWithClearError()
{
    auto client = connectedClient();
    QVERIFY(client);
    QString message;
    auto task = std::make_unique<TmySQLClientTaskData>();
    task->Kind = ctCreateDb;
    task->Database = "created";
    task->OnTaskComplete = [](TmySQLClientTaskHandler *, TmySQLClientTask) {};
    task->OnTaskError = [&](TmySQLClientTaskHandler *, TmySQLClientTask, const QString &m) { message = m; };
    client->TaskHandler()->EnqueueTask(std::move(task));
    client->TaskHandler()->RunTasks();
    QVERIFY(QTest::qWaitFor([&] { return !message.isEmpty(); }, 5000));
    QVERIFY2(message.contains(QStringLiteral("mysql_create_db")), qPrintable(message));
}

void TestClient::serverGoneBetweenStatements()
{
    auto client = connectedClient();
    QVERIFY(client);
    QString id;
    client->Query()->Execute(QStringLiteral("SELECT CONNECTION_ID()"), QStringLiteral("id"), nullptr, nullptr,
                             [&](QObject *sender) { id = static_cast<TmySQLClientQuery *>(sender)->Value(0, 0); });
    client->Query()->Run();
    QVERIFY(QTest::qWaitFor([&] { return !id.isEmpty(); }, 5000));
    QVERIFY(m_server->sql(QStringLiteral("KILL %1;").arg(id)));

    QString message;
    bool completed = false;
    bool lost = false;
    client->Query()->Execute(QStringLiteral("SELECT 1"), QStringLiteral("after"), nullptr,
                             [&](QObject *sender, const QString &m) {
                                 message = m;
                                 lost = static_cast<TmySQLClientQuery *>(sender)->Outcome().LostConnection();
                             },
                             [&](QObject *) { completed = true; });
    client->Query()->Run();
    QVERIFY(QTest::qWaitFor([&] { return !message.isEmpty(); }, 10000));
    QVERIFY(!completed);
    QVERIFY2(message.contains(QStringLiteral("server has gone away"), Qt::CaseInsensitive)
                 || message.contains(QStringLiteral("Lost connection"), Qt::CaseInsensitive)
                 || message.contains(QStringLiteral("killed"), Qt::CaseInsensitive),
             qPrintable(message));
    QVERIFY(lost);
}

void TestClient::destroyingDropsPendingNotifications()
{
    auto client = connectedClient();
    QVERIFY(client);
    bool called = false;
    client->Query()->Execute(QStringLiteral("SELECT 1"), QStringLiteral("pending"), nullptr,
                             [&](QObject *, const QString &) { called = true; },
                             [&](QObject *) { called = true; });
    client->Query()->Run();
    // The outcome has been posted (the statement ran inside Run): the
    // destruction takes it away, and nothing is left to deliver it later.
    QCOMPARE(client->TaskHandler()->PendingTasks(), 1);
    client.reset();
    QCOMPARE(TmySQLClientTaskHandler::PendingTasksOfAll(), 0);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QVERIFY(!called);
}

void TestClient::destroyingConnectedClientClosesWithoutOnClose()
{
    m_server->sql(QStringLiteral("CREATE USER IF NOT EXISTS 'lonely'@'%' IDENTIFIED BY 'pw';"));
    auto client = std::make_unique<TmySQLClient>();
    configure(*client, *m_server);
    client->setUsername(QStringLiteral("lonely"));
    client->setPassword(QStringLiteral("pw"));
    bool connected = false;
    bool closed = false;
    client->OnConnect = [&](QObject *) { connected = true; };
    client->OnClose = [&](QObject *) { closed = true; };
    client->Connect();
    QVERIFY(QTest::qWaitFor([&] { return connected; }, 5000));
    QCOMPARE(serverConnections(QStringLiteral("lonely")), 1);
    client.reset();
    QCOMPARE(TmySQLClientTaskHandler::PendingTasksOfAll(), 0);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QVERIFY(!closed);
    QTRY_COMPARE(serverConnections(QStringLiteral("lonely")), 0);
}

void TestClient::threadedModeRunsOnWorkerAndReportsOnCreator()
{
    auto client = connectedClient();
    QVERIFY(client);
    client->setThreaded(true);
    QVERIFY(client->Threaded());
    QStringList values;
    QThread *const mainThread = QThread::currentThread();
    bool wrongThread = false;
    // Bursts of submissions, each followed by Run: the worker must not miss a
    // wake-up that arrives while it is about to sleep.
    const int count = 300;
    for (int i = 0; i < count; ++i) {
        client->Query()->Execute(QStringLiteral("SELECT %1").arg(i), QString::number(i), nullptr, nullptr,
                                 [&](QObject *sender) {
                                     wrongThread |= QThread::currentThread() != mainThread;
                                     values << static_cast<TmySQLClientQuery *>(sender)->Value(0, 0);
                                 });
        client->Query()->Run();
        if (i % 37 == 0)
            QThread::usleep(200);
    }
    QVERIFY(QTest::qWaitFor([&] { return values.size() == count; }, 20000));
    QVERIFY(!wrongThread);
    for (int i = 0; i < count; ++i)
        QCOMPARE(values.at(i), QString::number(i));

    // Close blocks: the library's close has happened when it returns.
    bool closed = false;
    client->OnClose = [&](QObject *) { closed = true; };
    client->Close();
    QVERIFY(client->Threaded());
    QVERIFY(QTest::qWaitFor([&] { return closed; }, 5000));
}

void TestClient::localhostConnectsOverTcpToThePort()
{
    // "localhost" would be the library's default local socket, where no
    // server of ours listens: the profile's port must be used.
    TmySQLClient client;
    configure(client, *m_server);
    client.setHostname(QStringLiteral("localhost"));
    bool connected = false;
    QString message;
    client.OnConnect = [&](QObject *) { connected = true; };
    client.OnConnectError = [&](QObject *, const QString &m) { message = m.isEmpty() ? QStringLiteral("?") : m; };
    client.Connect();
    QVERIFY(QTest::qWaitFor([&] { return connected || !message.isEmpty(); }, 10000));
    QVERIFY2(connected, qPrintable(message));
    QVERIFY2(client.Utility()->HostInfo().contains(QStringLiteral("TCP")), qPrintable(client.Utility()->HostInfo()));
    QVERIFY(client.ConnectionId() > 0);
}

QTEST_GUILESS_MAIN(TestClient)
#include "tst_client.moc"

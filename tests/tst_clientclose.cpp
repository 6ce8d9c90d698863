#include "client/mySQLClient.h"
#include "tests/support/connectedclient.h"
#include "tests/support/privateserver.h"
#include "tests/support/watchdog.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTest>

#include <memory>

// How a client ends: a close or destruction that must not wait on the window
// or on a server that does not answer, handlers that destroy their client,
// what the window knows about the connection, and the stop request's own
// connection. Against a private server.
class TestClientClose : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void closeDoesNotWait_data();
    void closeDoesNotWait();
    void handlerMayDestroyItsClient_data();
    void handlerMayDestroyItsClient();
    void connectionReadsComeWithTheOutcomes();
    void stopRequestWithoutEntryPointsFails();

private:
    std::unique_ptr<TmySQLClient> connectedClient(bool threaded);
};

namespace {

void configure(TmySQLClient &client)
{
    const PrivateServer &server = PrivateServer::shared();
    client.setHostname(server.host());
    client.setPort(server.port());
    client.setUsername(PrivateServer::user());
    client.setPassword(PrivateServer::password());
}

// Whether the server runs a statement that starts with this text.
bool serverRuns(const QString &statementStart)
{
    QString out;
    PrivateServer::shared().sql(QStringLiteral("SELECT COUNT(*) FROM information_schema.processlist WHERE info LIKE '")
                                    + statementStart + QStringLiteral("%' AND id <> CONNECTION_ID()"),
                                &out);
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(1).trimmed().toInt() > 0;
}

} // namespace

void TestClientClose::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    QVERIFY2(PrivateServer::shared().start(&error), qPrintable(error));
}

std::unique_ptr<TmySQLClient> TestClientClose::connectedClient(bool threaded)
{
    auto client = std::make_unique<TmySQLClient>();
    configure(*client);
    client->setThreaded(threaded);
    return loggedIn(std::move(client), 10000);
}

void TestClientClose::closeDoesNotWait_data()
{
    QTest::addColumn<bool>("silentServer");
    QTest::addColumn<bool>("destroy");
    // A batch of large results that waits for the window to take them,
    // while the window does not process events.
    QTest::newRow("results waiting, close") << false << false;
    QTest::newRow("results waiting, destroy") << false << true;
    // A statement running on a server that has stopped answering.
    QTest::newRow("silent server, close") << true << false;
    QTest::newRow("silent server, destroy") << true << true;
}

void TestClientClose::closeDoesNotWait()
{
    QFETCH(bool, silentServer);
    QFETCH(bool, destroy);
    auto client = connectedClient(true);
    QVERIFY(client);
    client->setCloseTimeout(1000);
    std::unique_ptr<ServerPause> pause;
    if (silentServer) {
        client->Query()->Execute(QStringLiteral("select sleep(30)"), QStringLiteral("sleep"), nullptr, nullptr,
                                 nullptr);
        client->Query()->Run();
        QTRY_VERIFY_WITH_TIMEOUT(serverRuns(QStringLiteral("select sleep(30)")), 20000);
        pause = std::make_unique<ServerPause>();
    } else {
        const quint64 batch = TmySQLClientQuery::NewBatch();
        for (int i = 0; i < 5; ++i)
            client->Query()->Execute(QStringLiteral("select seq from mysql.seq_1_to_150000"), QStringLiteral("seq"),
                                     nullptr, nullptr, nullptr, batch);
        client->Query()->Run();
        QVERIFY(waitWithoutEvents([&] { return client->TaskHandler()->HeldBack(); }));
    }

    QElapsedTimer clock;
    clock.start();
    {
        Watchdog watchdog(40, destroy ? "destroying the client" : "Close");
        if (destroy)
            client.reset();
        else
            client->Close();
    }
    QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
    pause.reset();
    if (!destroy) {
        QVERIFY(!client->Connected());
        // The outcomes still arrive and end; the client can log in again.
        QTRY_COMPARE_WITH_TIMEOUT(client->TaskHandler()->PendingTasks(), 0, 20000);
        bool connected = false;
        client->OnConnect = [&](QObject *) { connected = true; };
        client->Connect();
        QTRY_VERIFY_WITH_TIMEOUT(connected, 20000);
    }
}

void TestClientClose::handlerMayDestroyItsClient_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("threaded");
    for (const bool threaded : {false, true}) {
        const char *mode = threaded ? " (worker)" : " (window)";
        QTest::newRow(qPrintable(QStringLiteral("result") + QLatin1String(mode))) << "result" << threaded;
        QTest::newRow(qPrintable(QStringLiteral("error") + QLatin1String(mode))) << "error" << threaded;
        QTest::newRow(qPrintable(QStringLiteral("connect") + QLatin1String(mode))) << "connect" << threaded;
        QTest::newRow(qPrintable(QStringLiteral("select database") + QLatin1String(mode)))
            << "select database" << threaded;
    }
}

void TestClientClose::handlerMayDestroyItsClient()
{
    QFETCH(QString, step);
    QFETCH(bool, threaded);
    TmySQLClient *client = nullptr;
    if (step == QLatin1String("connect")) {
        client = new TmySQLClient;
        configure(*client);
        client->setThreaded(threaded);
        client->OnConnect = [&client](QObject *) { delete client; };
        client->Connect();
    } else {
        client = connectedClient(threaded).release();
        QVERIFY(client);
        const auto destroy = [&client](QObject *) { delete client; };
        if (step == QLatin1String("select database")) {
            client->Utility()->SelectDb(QStringLiteral("mysql"), QStringLiteral("use"), destroy,
                                        [&client](QObject *, const QString &) { delete client; });
            client->Utility()->Run();
        } else {
            // A second statement is queued behind: its outcome must go
            // with the client, unreported.
            const QString statement = step == QLatin1String("result") ? QStringLiteral("select 1")
                                                                        : QStringLiteral("select * from nosuchtable");
            bool second = false;
            client->Query()->Execute(statement, QStringLiteral("first"), nullptr,
                                     [&client](QObject *, const QString &) { delete client; }, destroy);
            client->Query()->Execute(QStringLiteral("select 2"), QStringLiteral("second"), nullptr,
                                     [&second](QObject *, const QString &) { second = true; },
                                     [&second](QObject *) { second = true; });
            client->Query()->Run();
            QPointer<TmySQLClient> guard(client);
            QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 20000);
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            QVERIFY(!second);
            return;
        }
    }
    QPointer<TmySQLClient> guard(client);
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 20000);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void TestClientClose::connectionReadsComeWithTheOutcomes()
{
    QString version;
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("SELECT VERSION()"), &version));
    version = version.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(1).trimmed();

    TmySQLClient client;
    configure(client);
    client.setThreaded(true);
    // Before any connection there is nothing to tell.
    QCOMPARE(client.Utility()->ServerInfo(), QString());
    QCOMPARE(client.Utility()->ProtocolInfo(), 0u);
    QString serverInfo, hostInfo;
    unsigned int protocol = 0;
    bool connected = false;
    client.OnConnect = [&](QObject *) {
        serverInfo = client.Utility()->ServerInfo();
        hostInfo = client.Utility()->HostInfo();
        protocol = client.Utility()->ProtocolInfo();
        connected = true;
    };
    client.Connect();
    QTRY_VERIFY_WITH_TIMEOUT(connected, 20000);
    QCOMPARE(serverInfo, version);
    QVERIFY2(hostInfo.contains(QStringLiteral("TCP")), qPrintable(hostInfo));
    QCOMPARE(protocol, 10u);

    // The window asks for the status line while the worker is inside a
    // statement: the connection is not touched, the statement ends as it
    // would have.
    QString value;
    QString error = QStringLiteral("none");
    client.Query()->Execute(
        QStringLiteral("select sleep(1)"), QStringLiteral("sleep"), nullptr,
        [&](QObject *, const QString &message) { error = message.isEmpty() ? QStringLiteral("empty") : message; },
        [&](QObject *sender) { value = static_cast<TmySQLClientQuery *>(sender)->Value(0, 0); });
    client.Query()->Run();
    QTRY_VERIFY_WITH_TIMEOUT(serverRuns(QStringLiteral("select sleep(1)")), 20000);
    QCOMPARE(client.Utility()->ServerStat(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(!value.isEmpty() || error != QLatin1String("none"), 20000);
    QCOMPARE(error, QStringLiteral("none"));
    QCOMPARE(value, QStringLiteral("0"));

    // A status read in turn brings the line along.
    QString line;
    client.Utility()->Stat(QStringLiteral("stat"),
                           [&](QObject *sender) { line = static_cast<TmySQLClientUtility *>(sender)->ResultNames().value(0); },
                           nullptr);
    client.Utility()->Run();
    QTRY_VERIFY_WITH_TIMEOUT(!line.isEmpty(), 20000);
    QVERIFY2(line.contains(QStringLiteral("Uptime")), qPrintable(line));
    QCOMPARE(client.Utility()->ServerStat(), line);

    // After the close the connection's reads are empty again.
    bool closed = false;
    client.OnClose = [&](QObject *) { closed = true; };
    client.Close();
    QTRY_VERIFY_WITH_TIMEOUT(closed, 20000);
    QCOMPARE(client.Utility()->ServerInfo(), QString());
    QCOMPARE(client.Utility()->HostInfo(), QString());
}

void TestClientClose::stopRequestWithoutEntryPointsFails()
{
    // A library that lacks what the stop request needs: the request says
    // so instead of calling an empty entry point.
    auto client = connectedClient(false);
    QVERIFY(client);
    const MySqlApi saved = mysqlApi;
    mysqlApi.mysql_options = nullptr;
    mysqlApi.mysql_real_query = nullptr;
    mysqlApi.mysql_error = nullptr;
    QString error;
    bool done = false;
    client->KillQuery([&](const QString &message) {
        error = message;
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
    mysqlApi = saved;
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestClientClose)
#include "tst_clientclose.moc"

#include "client/mySQLClient.h"
#include "data/hostlist.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Profiles that list several hosts of one cluster: the list as stored, the
// login trying them in order, and the reconnect going to the next one.
class TestMultiHost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void parseHostList_data();
    void parseHostList();
    void hostsKeyRoundTrip_data();
    void hostsKeyRoundTrip();
    void loginTriesHostsInOrder_data();
    void loginTriesHostsInOrder();
    void refusedAccountStopsTrying();
    void connectTimeoutCoversAllHosts();
    void reconnectGoesToNextHost();

private:
    std::unique_ptr<PrivateServer> m_second;
};

namespace {

// A port on 127.0.0.1 that nothing listens on.
int closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return 0;
    const int port = probe.serverPort();
    probe.close();
    return port;
}

int serverPort(TDMstd *module)
{
    QString value;
    bool done = false;
    TmySQLClientQuery *query = module->ActiveClient()->Query();
    if (!query)
        return -1;
    query->Execute(
        QStringLiteral("select @@port"), QStringLiteral("port"), nullptr,
        [&done](QObject *, const QString &) { done = true; },
        [&](QObject *sender) {
            value = static_cast<TmySQLClientQuery *>(sender)->Value(0, 0);
            done = true;
        });
    query->Run();
    if (!QTest::qWaitFor([&done] { return done; }, 20000))
        return -1;
    return value.toInt();
}

int linesContaining(const MessageLog &log, const QString &text)
{
    int count = 0;
    for (const QString &line : log.lines())
        count += line.contains(text) ? 1 : 0;
    return count;
}

QString address(int port)
{
    return QStringLiteral("127.0.0.1:") + QString::number(port);
}

} // namespace

void TestMultiHost::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    QVERIFY2(PrivateServer::shared().start(&error), qPrintable(error));
    m_second = std::make_unique<PrivateServer>();
    QVERIFY2(m_second->start(&error), qPrintable(error));
}

void TestMultiHost::parseHostList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QStringList>("addresses");

    QTest::newRow("host and port") << QStringLiteral("127.0.0.1:3307") << true
                                   << QStringList{QStringLiteral("127.0.0.1:3307")};
    QTest::newRow("several, blank lines and blanks skipped")
        << QStringLiteral("  127.0.0.1:3307 \n\n127.0.0.2:3308\r\n") << true
        << QStringList{QStringLiteral("127.0.0.1:3307"), QStringLiteral("127.0.0.2:3308")};
    QTest::newRow("no port: the profile's") << QStringLiteral("db2") << true
                                            << QStringList{QStringLiteral("db2:3306")};
    QTest::newRow("IPv6 in brackets") << QStringLiteral("[::1]:3310") << true
                                      << QStringList{QStringLiteral("[::1]:3310")};
    QTest::newRow("bare IPv6") << QStringLiteral("::1") << true << QStringList{QStringLiteral("[::1]:3306")};
    QTest::newRow("port not a number") << QStringLiteral("127.0.0.1:33o7") << false << QStringList();
    QTest::newRow("port out of range") << QStringLiteral("127.0.0.1:70000") << false << QStringList();
    QTest::newRow("no host") << QStringLiteral(":3307") << false << QStringList();
    QTest::newRow("unclosed bracket") << QStringLiteral("[::1:3307") << false << QStringList();
}

void TestMultiHost::parseHostList()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QStringList, addresses);
    QList<THostAddress> hosts;
    QString bad;
    QCOMPARE(ParseHostList(HostLines(text), 3306, &hosts, &bad), valid);
    if (!valid) {
        QVERIFY(!bad.isEmpty());
        return;
    }
    QStringList texts;
    for (const THostAddress &host : hosts)
        texts.append(host.text());
    QCOMPARE(texts, addresses);
}

void TestMultiHost::hostsKeyRoundTrip_data()
{
    QTest::addColumn<QStringList>("hosts");
    QTest::newRow("none") << QStringList();
    QTest::newRow("one") << QStringList{QStringLiteral("127.0.0.1:3307")};
    QTest::newRow("three") << QStringList{QStringLiteral("127.0.0.1:3307"), QStringLiteral("127.0.0.2:3308"),
                                          QStringLiteral("[::1]:3309")};
}

void TestMultiHost::hostsKeyRoundTrip()
{
    QFETCH(QStringList, hosts);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quarnel2.conf"));
    {
        SettingsStore store(path);
        store.LoadProgramSettings();
        TServerProfile &profile = store.currentProfile();
        profile.Host = QStringLiteral("node1");
        profile.User = QStringLiteral("u");
        profile.Port = QStringLiteral("3306");
        profile.Hosts = hosts;
        store.SaveServerProfile(profile.Host);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    // One key, one line of the file: the line breaks are stored escaped.
    QCOMPARE(text.contains("Hosts="), !hosts.isEmpty());
    QCOMPARE(text.count("Hosts="), hosts.isEmpty() ? 0 : 1);
    SettingsStore store(path);
    store.LoadProgramSettings();
    store.LoadServerProfile(QStringLiteral("node1"));
    QCOMPARE(store.currentProfile().Hosts, hosts);
    QCOMPARE(store.currentProfile().User, QStringLiteral("u"));
}

void TestMultiHost::loginTriesHostsInOrder_data()
{
    // Hosts by name: "first" and "second" are the two servers, "closed" a
    // port nothing listens on. reached: the index of the host that answers
    // (-1: none).
    QTest::addColumn<QStringList>("hosts");
    QTest::addColumn<int>("reached");

    QTest::newRow("the first answers") << QStringList{QStringLiteral("first"), QStringLiteral("second")} << 0;
    QTest::newRow("the first is down") << QStringList{QStringLiteral("closed"), QStringLiteral("second")} << 1;
    QTest::newRow("two down, then one")
        << QStringList{QStringLiteral("closed"), QStringLiteral("closed"), QStringLiteral("first")} << 2;
    QTest::newRow("none answers") << QStringList{QStringLiteral("closed"), QStringLiteral("closed")} << -1;
}

void TestMultiHost::loginTriesHostsInOrder()
{
    QFETCH(QStringList, hosts);
    QFETCH(int, reached);
    QList<int> ports;
    for (const QString &name : hosts) {
        if (name == QLatin1String("first"))
            ports.append(PrivateServer::shared().port());
        else if (name == QLatin1String("second"))
            ports.append(m_second->port());
        else
            ports.append(closedPort());
    }
    HeadlessViews views(QStringLiteral("127.0.0.1"), QString::number(ports.first()), PrivateServer::user(),
                        PrivateServer::password());
    for (int i = 1; i < ports.size(); ++i)
        views.profile.Hosts.append(address(ports.at(i)));
    TDMstd module(views.views);
    QSignalSpy session(&module, &TDMstd::SetSessionCommands);
    QVERIFY(module.ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(module.ActiveClient()->Connected() || !module.ActiveClient()->Connecting(), 30000);
    settle();
    const QString lines = views.log.lines().join(QLatin1Char('|'));
    if (reached < 0) {
        QVERIFY(!module.ActiveClient()->Connected());
        QCOMPARE(session.count(), 0);
        // Each host's failure, named.
        for (int port : ports)
            QVERIFY2(linesContaining(views.log, address(port) + QStringLiteral(": ")) == 1, qPrintable(lines));
        return;
    }
    QVERIFY2(module.ActiveClient()->Connected(), qPrintable(lines));
    QCOMPARE(serverPort(&module), ports.at(reached));
    QCOMPARE(module.ConnectedHost(), address(ports.at(reached)));
    QVERIFY2(views.log.lines().contains(QStringLiteral("Connected to: ") + address(ports.at(reached))),
             qPrintable(lines));
    // The hosts before it failed, each once; none after it was tried.
    for (int i = 0; i < ports.size(); ++i)
        QVERIFY2(linesContaining(views.log, address(ports.at(i)) + QStringLiteral(": ")) == (i < reached ? 1 : 0),
                 qPrintable(lines));
}

void TestMultiHost::refusedAccountStopsTrying()
{
    // Every node knows the same accounts: a refused password is not tried
    // on the others.
    HeadlessViews views(QStringLiteral("127.0.0.1"), QString::number(PrivateServer::shared().port()),
                        PrivateServer::user(), QStringLiteral("wrong"));
    views.profile.Hosts = {address(m_second->port())};
    TDMstd module(views.views);
    QVERIFY(module.ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(!module.ActiveClient()->Connecting(), 30000);
    settle();
    QVERIFY(!module.ActiveClient()->Connected());
    const QString lines = views.log.lines().join(QLatin1Char('|'));
    QCOMPARE(linesContaining(views.log, address(PrivateServer::shared().port()) + QStringLiteral(": ")), 1);
    QVERIFY2(linesContaining(views.log, address(m_second->port())) == 0, qPrintable(lines));
    QCOMPARE(module.ConnectedHost(), address(PrivateServer::shared().port()));
}

void TestMultiHost::connectTimeoutCoversAllHosts()
{
    // A host that takes the connection and never answers uses up the whole
    // timeout: the login ends there instead of waiting as long again.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    HeadlessViews views(QStringLiteral("127.0.0.1"), QString::number(silent.serverPort()), PrivateServer::user(),
                        PrivateServer::password());
    views.profile.Hosts = {address(m_second->port())};
    views.program.ConnectTimeout = QStringLiteral("2");
    TDMstd module(views.views);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(module.ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(!module.ActiveClient()->Connecting(), 30000);
    settle();
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!module.ActiveClient()->Connected());
    const QString lines = views.log.lines().join(QLatin1Char('|'));
    QVERIFY2(linesContaining(views.log, address(silent.serverPort()) + QStringLiteral(": ")) == 1, qPrintable(lines));
    QVERIFY2(linesContaining(views.log, address(m_second->port())) == 0, qPrintable(lines));
    QVERIFY2(views.log.lines().contains(QStringLiteral("The connect timeout is over: the other hosts were not tried.")),
             qPrintable(lines));

    // With no limit ("0"), a host that refuses at once is followed by the next.
    views.log.clear();
    views.profile.Port = QString::number(closedPort());
    views.program.ConnectTimeout = QStringLiteral("0");
    QVERIFY(module.ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(module.ActiveClient()->Connected(), 30000);
    QCOMPARE(module.ConnectedHost(), address(m_second->port()));
    settle();
}

void TestMultiHost::reconnectGoesToNextHost()
{
    // Last: the shared server is killed.
    PrivateServer &first = PrivateServer::shared();
    HeadlessViews views(first.host(), QString::number(first.port()), PrivateServer::user(),
                        PrivateServer::password());
    views.profile.Hosts = {address(m_second->port())};
    TDMstd module(views.views);
    QVERIFY(module.ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(module.ActiveClient()->Connected(), 30000);
    settle();
    QCOMPARE(module.ConnectedHost(), address(first.port()));

    QSignalSpy lost(&module, &TDMstd::connectionLost);
    first.kill();
    module.RunStatement(QStringLiteral("select 1"));
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 30000);
    settle();
    views.log.clear();
    QVERIFY(module.Reconnect());
    QTRY_VERIFY_WITH_TIMEOUT(module.ActiveClient()->Connected(), 30000);
    settle();
    QCOMPARE(module.ConnectedHost(), address(m_second->port()));
    QCOMPARE(serverPort(&module), m_second->port());
    const QString lines = views.log.lines().join(QLatin1Char('|'));
    QVERIFY2(views.log.lines().contains(QStringLiteral("Connected to: ") + address(m_second->port())),
             qPrintable(lines));
    // The host that went away was not tried first.
    QVERIFY2(linesContaining(views.log, address(first.port()) + QStringLiteral(": ")) == 0, qPrintable(lines));
}

QTEST_GUILESS_MAIN(TestMultiHost)
#include "tst_multihost.moc"

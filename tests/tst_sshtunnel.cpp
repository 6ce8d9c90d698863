#include "client/mySQLClient.h"
#include "client/sshtunnel.h"
#include "data/tdmstd.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"
#include "tests/support/sshserver.h"
#include "tests/support/watchdog.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <QTemporaryDir>
#include <QTest>

// Logins through an SSH tunnel of the profile: an sshd of the test's own in
// front of the private database server, both on 127.0.0.1.
class TestSshTunnel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void hostKeyCheck_data();
    void hostKeyCheck();
    void authentication_data();
    void authentication();
    void refusedAttemptsLeaveNothingOpen();
    void loginThroughTheTunnel();
    void hostKeyAskedOnceAtLogin_data();
    void hostKeyAskedOnceAtLogin();
    void changedHostKeyRefusesTheLogin();
    void tunnelClosesWithTheSession();
    void killedSshdIsALostConnection();
    void unreachableSshServerFailsTheLogin();
    void unreachableDatabaseBehindTheTunnel();
    void closeDoesNotWaitForASilentSshServer();

private:
    struct Result
    {
        QString outcome; // "opened", "unknown", "changed", "failed"
        QString message;
        QString fingerprint;
        quint16 port = 0;
    };
    // Opens a tunnel to the database server and waits for its outcome.
    Result open(TSshTunnel &tunnel, TSshTunnelSettings settings);
    TSshTunnelSettings settings(const QString &key, const QString &passphrase = QString()) const;
    QString knownHosts() const { return m_dir.filePath(QStringLiteral("known_hosts")); }
    void writeKnownHosts(const QByteArray &text);
    QByteArray readKnownHosts() const;
    // A headless data module whose profile goes through the test's sshd.
    std::unique_ptr<HeadlessViews> sshViews() const;

    SshServer m_ssh;
    QTemporaryDir m_dir;
};

void TestSshTunnel::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    QVERIFY2(PrivateServer::shared().start(&error), qPrintable(error));
    QVERIFY2(m_ssh.start(&error), qPrintable(error));
    QVERIFY(m_dir.isValid());
    qputenv("QUARNEL_SSH_KNOWN_HOSTS", QFile::encodeName(knownHosts()));
}

void TestSshTunnel::cleanupTestCase()
{
    m_ssh.kill();
}

void TestSshTunnel::init()
{
    QFile::remove(knownHosts());
    // A test that killed the server and failed before it started it again.
    if (!m_ssh.isRunning()) {
        QString error;
        QVERIFY2(m_ssh.restart(&error), qPrintable(error));
    }
}

TSshTunnelSettings TestSshTunnel::settings(const QString &key, const QString &passphrase) const
{
    TSshTunnelSettings s;
    s.Host = m_ssh.host();
    s.Port = m_ssh.port();
    s.User = SshServer::user();
    if (!key.isEmpty())
        s.KeyFile = m_ssh.keyFile(key);
    s.Passphrase = passphrase;
    s.KnownHostsFile = knownHosts();
    s.TargetHost = PrivateServer::shared().host();
    s.TargetPort = PrivateServer::shared().port();
    s.Timeout = 20;
    return s;
}

void TestSshTunnel::writeKnownHosts(const QByteArray &text)
{
    QFile file(knownHosts());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray TestSshTunnel::readKnownHosts() const
{
    QFile file(knownHosts());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TestSshTunnel::Result TestSshTunnel::open(TSshTunnel &tunnel, TSshTunnelSettings s)
{
    Result result;
    QObject context;
    connect(&tunnel, &TSshTunnel::opened, &context, [&](quint16 port) {
        result.outcome = QStringLiteral("opened");
        result.port = port;
    });
    connect(&tunnel, &TSshTunnel::failed, &context, [&](const QString &message) {
        result.outcome = QStringLiteral("failed");
        result.message = message;
    });
    connect(&tunnel, &TSshTunnel::hostKeyUnknown, &context, [&](const QString &type, const QString &fingerprint) {
        result.outcome = QStringLiteral("unknown");
        result.message = type;
        result.fingerprint = fingerprint;
    });
    connect(&tunnel, &TSshTunnel::hostKeyChanged, &context, [&](const QString &message) {
        result.outcome = QStringLiteral("changed");
        result.message = message;
    });
    tunnel.Open(s);
    [&] { QTRY_VERIFY_WITH_TIMEOUT(!result.outcome.isEmpty(), 30000); }();
    return result;
}

std::unique_ptr<HeadlessViews> TestSshTunnel::sshViews() const
{
    auto views = std::make_unique<HeadlessViews>(PrivateServer::shared().host(),
                                                 QString::number(PrivateServer::shared().port()),
                                                 PrivateServer::user(), PrivateServer::password());
    TServerProfile &profile = views->profile;
    profile.Ssh = true;
    profile.SshHost = m_ssh.host();
    profile.SshPort = QString::number(m_ssh.port());
    profile.SshUser = SshServer::user();
    profile.SshKeyFile = m_ssh.keyFile(QStringLiteral("user"));
    profile.SshPassphrase = SshServer::passphrase();
    return views;
}

void TestSshTunnel::hostKeyCheck_data()
{
    QTest::addColumn<QString>("recorded"); // the key known_hosts holds for the server: "", "host", "other-host"
    QTest::addColumn<QString>("accept");   // the fingerprint accepted: "", "host", "other-host"
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("remembered"); // known_hosts holds the server's key afterwards

    QTest::newRow("unknown key is shown, not let in") << QString() << QString() << "unknown" << false;
    QTest::newRow("accepted key is let in and remembered") << QString() << "host" << "opened" << true;
    QTest::newRow("accepting another key lets none in") << QString() << "other-host" << "unknown" << false;
    QTest::newRow("recorded key is let in") << "host" << QString() << "opened" << true;
    QTest::newRow("changed key is refused") << "other-host" << QString() << "changed" << false;
    QTest::newRow("changed key is refused even when accepted") << "other-host" << "host" << "changed" << false;
}

void TestSshTunnel::hostKeyCheck()
{
    QFETCH(QString, recorded);
    QFETCH(QString, accept);
    QFETCH(QString, outcome);
    QFETCH(bool, remembered);

    if (!recorded.isEmpty())
        writeKnownHosts(m_ssh.knownHostsLine(recorded));
    TSshTunnelSettings s = settings(QStringLiteral("user"), SshServer::passphrase());
    if (!accept.isEmpty())
        s.AcceptFingerprint = m_ssh.fingerprint(accept);
    TSshTunnel tunnel;
    const Result result = open(tunnel, s);
    QCOMPARE(result.outcome, outcome);
    QCOMPARE(tunnel.IsOpen(), outcome == QLatin1String("opened"));
    if (outcome == QLatin1String("unknown")) {
        QCOMPARE(result.message, QStringLiteral("ssh-ed25519"));
        QCOMPARE(result.fingerprint, m_ssh.fingerprint(QStringLiteral("host")));
    }
    if (outcome == QLatin1String("changed")) {
        QVERIFY2(result.message.contains(QLatin1String("has changed")), qPrintable(result.message));
        QVERIFY2(result.message.contains(m_ssh.fingerprint(QStringLiteral("host"))), qPrintable(result.message));
    }
    const QByteArray hostKey = m_ssh.knownHostsLine(QStringLiteral("host")).split(' ').value(2).trimmed();
    QCOMPARE(readKnownHosts().contains(hostKey), remembered);
    // What was accepted once is not asked again.
    if (remembered) {
        TSshTunnel again;
        QCOMPARE(open(again, settings(QStringLiteral("user"), SshServer::passphrase())).outcome,
                 QStringLiteral("opened"));
    }
}

void TestSshTunnel::authentication_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("passphrase");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("refusal"); // part of the failure; empty: opens

    QTest::newRow("key with its passphrase") << "user" << SshServer::passphrase() << QString() << QString();
    QTest::newRow("key without passphrase") << "plain" << QString() << QString() << QString();
    QTest::newRow("wrong passphrase") << "user" << "not-it" << QString() << "could not be read";
    QTest::newRow("passphrase missing") << "user" << QString() << QString() << "could not be read";
    QTest::newRow("key the server does not know") << "stranger" << QString() << QString() << "was refused";
    QTest::newRow("missing key file") << "no-such-key" << QString() << QString() << "could not be read";
    QTest::newRow("password the server does not take") << QString() << QString() << "secret"
                                                        << "password was refused";
}

void TestSshTunnel::authentication()
{
    QFETCH(QString, key);
    QFETCH(QString, passphrase);
    QFETCH(QString, password);
    QFETCH(QString, refusal);

    writeKnownHosts(m_ssh.knownHostsLine(QStringLiteral("host")));
    TSshTunnelSettings s = settings(key, passphrase);
    s.Password = password;
    TSshTunnel tunnel;
    const Result result = open(tunnel, s);
    if (refusal.isEmpty()) {
        QCOMPARE(result.outcome, QStringLiteral("opened"));
        QVERIFY(result.port != 0);
        QCOMPARE(tunnel.LocalPort(), result.port);
    } else {
        QCOMPARE(result.outcome, QStringLiteral("failed"));
        QVERIFY2(result.message.contains(refusal), qPrintable(result.message));
        QVERIFY2(result.message.contains(SshServer::user() + QLatin1Char('@') + m_ssh.host()),
                 qPrintable(result.message));
    }
}

static int openFiles()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                   .size());
}

void TestSshTunnel::refusedAttemptsLeaveNothingOpen()
{
    // More refusals than sshd keeps unauthenticated connections for
    // (MaxStartups 10): each must be closed, or the next login would wait.
    TSshTunnel tunnel;
    QCOMPARE(open(tunnel, settings(QStringLiteral("stranger"))).outcome, QStringLiteral("unknown"));
    tunnel.Close();
    const int before = openFiles();
    writeKnownHosts(m_ssh.knownHostsLine(QStringLiteral("host")));
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(open(tunnel, settings(i % 2 ? QStringLiteral("stranger") : QStringLiteral("no-such-key"))).outcome,
                 QStringLiteral("failed"));
    }
    tunnel.Close();
    QCOMPARE(openFiles(), before);
    QCOMPARE(open(tunnel, settings(QStringLiteral("plain"))).outcome, QStringLiteral("opened"));
}

void TestSshTunnel::loginThroughTheTunnel()
{
    writeKnownHosts(m_ssh.knownHostsLine(QStringLiteral("host")));
    std::unique_ptr<HeadlessViews> views = sshViews();
    TDMstd module(views->views);
    QVERIFY(module.ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(module.ActiveClient()->Connected(), 30000);
    settle();
    const QStringList lines = views->log.lines();
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.first(), QStringLiteral("Connect Success."));
    const QString through = QStringLiteral(" through SSH %1@%2:%3").arg(SshServer::user(), m_ssh.host()).arg(m_ssh.port());
    QVERIFY2(lines.at(3).startsWith(QLatin1String("HostInfo:   ")) && lines.at(3).endsWith(through),
             qPrintable(lines.at(3)));
    // The client talks to the tunnel's port, and the tree shows the server's databases.
    QCOMPARE(module.ActiveClient()->Port(), int(module.SshTunnel()->LocalPort()));
    QTRY_VERIFY_WITH_TIMEOUT(views->tree.rowCount() > 0, 15000);
    QVERIFY(!views->tree.findItems(QStringLiteral("mysql")).isEmpty());

    // A statement of some size goes both ways through the tunnel.
    module.ExecuteScript(QStringLiteral("mysql"), QStringLiteral("SELECT REPEAT('q', 3000000) AS big, 7 AS seven"));
    QTRY_COMPARE_WITH_TIMEOUT(views->query.rowCount(), 1, 30000);
    settle();
    int longest = 0;
    for (int column = 0; column < views->query.columnCount(); ++column)
        longest = std::max(longest, int(views->query.data(views->query.index(0, column)).toString().size()));
    QCOMPARE(longest, 3000000);
}

void TestSshTunnel::hostKeyAskedOnceAtLogin_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("refused") << false;
    QTest::newRow("accepted") << true;
}

void TestSshTunnel::hostKeyAskedOnceAtLogin()
{
    QFETCH(bool, accept);

    std::unique_ptr<HeadlessViews> views = sshViews();
    TDMstd module(views->views);
    QSignalSpy asked(&module, &TDMstd::sshHostKeyUnknown);
    QVERIFY(module.ConnectProfile());
    QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 1, 30000);
    QCOMPARE(asked.at(0).at(0).toString(), m_ssh.host() + QLatin1Char(':') + QString::number(m_ssh.port()));
    QCOMPARE(asked.at(0).at(1).toString(), QStringLiteral("ssh-ed25519"));
    const QString fingerprint = asked.at(0).at(2).toString();
    QCOMPARE(fingerprint, m_ssh.fingerprint(QStringLiteral("host")));
    QVERIFY(!module.ActiveClient()->Connected());

    if (!accept) {
        module.RefuseSshHostKey();
        QVERIFY(views->log.lines().last().contains(QLatin1String("was not accepted; the login was cancelled")));
        settle();
        QVERIFY(!module.ActiveClient()->Connected());
        QVERIFY(!module.SshTunnel()->IsOpen());
        QVERIFY(readKnownHosts().isEmpty());
        // The next login asks again.
        QVERIFY(module.ConnectProfile());
        QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 2, 30000);
        return;
    }
    module.AcceptSshHostKey(fingerprint);
    QTRY_VERIFY_WITH_TIMEOUT(module.ActiveClient()->Connected(), 30000);
    settle();
    module.CloseSession();
    settle();
    // Remembered: the next login goes straight through.
    QVERIFY(module.ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(module.ActiveClient()->Connected(), 30000);
    QCOMPARE(asked.size(), 1);
}

void TestSshTunnel::changedHostKeyRefusesTheLogin()
{
    writeKnownHosts(m_ssh.knownHostsLine(QStringLiteral("other-host")));
    std::unique_ptr<HeadlessViews> views = sshViews();
    TDMstd module(views->views);
    QSignalSpy asked(&module, &TDMstd::sshHostKeyUnknown);
    QSignalSpy warned(&module, &TDMstd::errorRaised);
    QVERIFY(module.ConnectProfile());
    QTRY_COMPARE_WITH_TIMEOUT(warned.size(), 1, 30000);
    QVERIFY2(warned.at(0).at(0).toString().startsWith(QLatin1String("WARNING: the host key of the SSH server")),
             qPrintable(warned.at(0).at(0).toString()));
    QVERIFY(views->log.lines().last().contains(QLatin1String("has changed")));
    settle();
    QCOMPARE(asked.size(), 0);
    QVERIFY(!module.ActiveClient()->Connected());
    // The recorded key stays as it was.
    QCOMPARE(readKnownHosts(), m_ssh.knownHostsLine(QStringLiteral("other-host")));
}

void TestSshTunnel::tunnelClosesWithTheSession()
{
    writeKnownHosts(m_ssh.knownHostsLine(QStringLiteral("host")));
    std::unique_ptr<HeadlessViews> views = sshViews();
    TDMstd module(views->views);
    QVERIFY(module.ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(module.ActiveClient()->Connected(), 30000);
    settle();
    const quint16 port = module.SshTunnel()->LocalPort();
    QVERIFY(port != 0);
    module.CloseSession();
    settle();
    QVERIFY(!module.SshTunnel()->IsOpen());
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), port);
    QVERIFY(!probe.waitForConnected(5000));
    QCOMPARE(probe.error(), QAbstractSocket::ConnectionRefusedError);
}

void TestSshTunnel::killedSshdIsALostConnection()
{
    writeKnownHosts(m_ssh.knownHostsLine(QStringLiteral("host")));
    std::unique_ptr<HeadlessViews> views = sshViews();
    TDMstd module(views->views);
    QSignalSpy lost(&module, &TDMstd::connectionLost);
    QVERIFY(module.ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(module.ActiveClient()->Connected(), 30000);
    settle();

    m_ssh.kill();
    // Nothing was running: the tunnel's end alone tells.
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 30000);
    QVERIFY(!module.ActiveClient()->Connected());
    QVERIFY(!module.SshTunnel()->IsOpen());
    const QStringList lines = views->log.lines();
    QVERIFY(lines.contains(QStringLiteral("The connection to the server was lost.")));
    QVERIFY(std::any_of(lines.begin(), lines.end(),
                        [](const QString &line) { return line.startsWith(QLatin1String("The SSH tunnel through")); }));

    // The reconnect offer opens the tunnel again.
    QString error;
    QVERIFY2(m_ssh.restart(&error), qPrintable(error));
    QVERIFY(module.Reconnect());
    QTRY_VERIFY_WITH_TIMEOUT(module.ActiveClient()->Connected(), 30000);
    QVERIFY(module.SshTunnel()->IsOpen());
    settle();
    QCOMPARE(views->log.lines().count(QStringLiteral("Connect Success.")), 2);
}

void TestSshTunnel::unreachableSshServerFailsTheLogin()
{
    std::unique_ptr<HeadlessViews> views = sshViews();
    // A port where nothing listens: the SSH server is down.
    QTcpServer placeholder;
    QVERIFY(placeholder.listen(QHostAddress::LocalHost));
    views->profile.SshPort = QString::number(placeholder.serverPort());
    placeholder.close();
    TDMstd module(views->views);
    QVERIFY(module.ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(!views->log.lines().isEmpty(), 30000);
    settle();
    QCOMPARE(views->log.lines().size(), 1);
    QVERIFY2(views->log.lines().first().startsWith(QLatin1String("Could not reach the SSH server")),
             qPrintable(views->log.lines().first()));
    QVERIFY(!module.ActiveClient()->Connected());
}

void TestSshTunnel::unreachableDatabaseBehindTheTunnel()
{
    writeKnownHosts(m_ssh.knownHostsLine(QStringLiteral("host")));
    std::unique_ptr<HeadlessViews> views = sshViews();
    // Where the SSH server finds no database server.
    QTcpServer placeholder;
    QVERIFY(placeholder.listen(QHostAddress::LocalHost));
    const QString port = QString::number(placeholder.serverPort());
    views->profile.Port = port;
    placeholder.close();
    TDMstd module(views->views);
    QVERIFY(module.ConnectProfile());
    // The SSH server's refusal, then the client's failed connect.
    QTRY_VERIFY_WITH_TIMEOUT(views->log.lines().size() >= 2, 30000);
    settle();
    const QStringList lines = views->log.lines();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).startsWith(QStringLiteral("The SSH server %1@%2:%3 could not open a connection to 127.0.0.1:%4")
                                        .arg(SshServer::user(), m_ssh.host())
                                        .arg(m_ssh.port())
                                        .arg(port)),
             qPrintable(lines.at(0)));
    QVERIFY(!module.ActiveClient()->Connected());
    // No session: no tunnel either.
    QVERIFY2(!module.SshTunnel()->IsOpen(), qPrintable(lines.join(QLatin1Char('\n'))));
}

void TestSshTunnel::closeDoesNotWaitForASilentSshServer()
{
    writeKnownHosts(m_ssh.knownHostsLine(QStringLiteral("host")));
    TSshTunnelSettings s = settings(QStringLiteral("plain"));
    s.Timeout = 300; // far beyond what the close may take
    m_ssh.pause();
    TSshTunnel tunnel;
    QSignalSpy failed(&tunnel, &TSshTunnel::failed);
    tunnel.Open(s);
    // The kernel took the connection; the server says nothing.
    QTRY_VERIFY_WITH_TIMEOUT(m_ssh.hasConnection(), 15000);
    {
        Watchdog watchdog(20, "Close of a tunnel whose SSH server does not answer");
        tunnel.Close();
    }
    m_ssh.resume();
    QVERIFY(!tunnel.IsOpen());
    // Closed by the owner: no outcome is reported.
    QCoreApplication::processEvents();
    QCOMPARE(failed.size(), 0);
    // The server answers again: a new tunnel opens.
    QCOMPARE(open(tunnel, settings(QStringLiteral("plain"))).outcome, QStringLiteral("opened"));
}

QTEST_GUILESS_MAIN(TestSshTunnel)
#include "tst_sshtunnel.moc"

#include "client/mySQLClient.h"
#include "data/tdmstd.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"
#include "tests/support/tlsfiles.h"

#include <QTest>

#include <memory>

// Connections secured with TLS against a private server that has a
// certificate of a test CA.
class TestTls : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void modes_data();
    void modes();
    void hostNameNotInCertificate_data();
    void hostNameNotInCertificate();
    void serverWithoutTls_data();
    void serverWithoutTls();
    void clientCertificateIsSent_data();
    void clientCertificateIsSent();
    void stopRequestGoesOverTls();
    void storedModeNames_data();
    void storedModeNames();
    void connectReportOfAProfile_data();
    void connectReportOfAProfile();

private:
    struct Attempt
    {
        bool connected = false;
        QString error;
        QString version, cipher;
        QString serverCipher; // the server's Ssl_cipher of the session
    };
    Attempt attempt(const PrivateServer &server, const TmySQLClientTls &tls, const QString &host,
                    const QString &user = PrivateServer::user(), const QString &password = PrivateServer::password());
    TmySQLClientTls tls(int mode, const QString &ca) const;

    PrivateServer m_server;
    TlsFiles m_files;
};

void TestTls::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    QVERIFY2(m_files.make(&error), qPrintable(error));
    QVERIFY(m_files.serveAs(QStringLiteral("server")));
    m_server.setExtraArguments(m_files.serverArguments());
    QVERIFY2(m_server.start(&error), qPrintable(error));
    QVERIFY(m_server.sql(QStringLiteral("CREATE USER 'certified'@'%' IDENTIFIED BY 'pw' REQUIRE X509;"
                                        "CREATE USER 'encrypted'@'%' IDENTIFIED BY 'pw' REQUIRE SSL;")));
}

void TestTls::cleanupTestCase()
{
    m_server.stop();
}

TmySQLClientTls TestTls::tls(int mode, const QString &ca) const
{
    TmySQLClientTls result;
    result.Mode = TTlsMode(mode);
    if (!ca.isEmpty())
        result.CAFile = m_files.cert(ca);
    return result;
}

TestTls::Attempt TestTls::attempt(const PrivateServer &server, const TmySQLClientTls &tls, const QString &host,
                                  const QString &user, const QString &password)
{
    Attempt result;
    TmySQLClient client;
    client.setHostname(host);
    client.setPort(server.port());
    client.setUsername(user);
    client.setPassword(password);
    client.setConnectTimeout(10);
    client.setTls(tls);
    bool done = false;
    client.OnConnect = [&](QObject *) { done = true; };
    client.OnConnectError = [&](QObject *, const QString &message) {
        result.error = message;
        done = true;
    };
    client.Connect();
    if (!QTest::qWaitFor([&] { return done; }, 15000)) {
        result.error = QStringLiteral("no answer");
        return result;
    }
    result.connected = client.Connected();
    if (!result.connected)
        return result;
    result.version = client.TlsVersion();
    result.cipher = client.TlsCipher();
    bool read = false;
    client.Query()->Execute(QStringLiteral("SHOW SESSION STATUS LIKE 'Ssl_cipher'"), QStringLiteral("cipher"), nullptr,
                            [&](QObject *, const QString &) { read = true; },
                            [&](QObject *sender) {
                                auto *q = static_cast<TmySQLClientQuery *>(sender);
                                result.serverCipher = q->RowCount() == 1 ? q->Value(0, 1) : QStringLiteral("?");
                                read = true;
                            });
    client.Query()->Run();
    if (!QTest::qWaitFor([&] { return read; }, 5000))
        result.serverCipher = QStringLiteral("no answer");
    client.Close();
    if (!QTest::qWaitFor([&] { return !client.Connected(); }, 5000))
        result.error = QStringLiteral("did not close");
    return result;
}

void TestTls::modes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("ca");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<QString>("failure"); // empty: connects

    const QString ip = QStringLiteral("127.0.0.1");
    const QString ca = QStringLiteral("ca");
    const QString other = QStringLiteral("other-ca");
    QTest::newRow("off") << int(tmOff) << QString() << ip << false << QString();
    QTest::newRow("preferred") << int(tmPreferred) << QString() << ip << true << QString();
    QTest::newRow("required") << int(tmRequired) << QString() << ip << true << QString();
    QTest::newRow("verify CA") << int(tmVerifyCA) << ca << ip << true << QString();
    QTest::newRow("verify CA, other CA")
        << int(tmVerifyCA) << other << ip << false << QStringLiteral("The server's certificate is not signed by the CA");
    QTest::newRow("verify identity, address") << int(tmVerifyIdentity) << ca << ip << true << QString();
    QTest::newRow("verify identity, localhost")
        << int(tmVerifyIdentity) << ca << QStringLiteral("localhost") << true << QString();
    // Without verification the CA file is not looked at.
    QTest::newRow("preferred, other CA") << int(tmPreferred) << other << ip << true << QString();
    QTest::newRow("required, other CA") << int(tmRequired) << other << ip << true << QString();
    QTest::newRow("verify identity, other CA") << int(tmVerifyIdentity) << other << ip << false
                                               << QStringLiteral("The server's certificate is not signed by the CA");
}

void TestTls::modes()
{
    QFETCH(int, mode);
    QFETCH(QString, ca);
    QFETCH(QString, host);
    QFETCH(bool, encrypted);
    QFETCH(QString, failure);

    const Attempt a = attempt(m_server, tls(mode, ca), host);
    if (!failure.isEmpty()) {
        QVERIFY(!a.connected);
        QVERIFY2(a.error.startsWith(failure), qPrintable(a.error));
        return;
    }
    QVERIFY2(a.connected, qPrintable(a.error));
    if (encrypted) {
        QVERIFY(!a.cipher.isEmpty());
        QVERIFY2(a.version.startsWith(QLatin1String("TLSv1")), qPrintable(a.version));
        QCOMPARE(a.serverCipher, a.cipher);
    } else {
        QCOMPARE(a.cipher, QString());
        QCOMPARE(a.version, QString());
        QCOMPARE(a.serverCipher, QString());
    }
}

void TestTls::hostNameNotInCertificate_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("failure");

    QTest::newRow("verify CA does not look at the name") << int(tmVerifyCA) << QString();
    QTest::newRow("verify identity")
        << int(tmVerifyIdentity) << QStringLiteral("The server's certificate does not name the host 127.0.0.1");
}

void TestTls::hostNameNotInCertificate()
{
    QFETCH(int, mode);
    QFETCH(QString, failure);

    // The server's certificate, from the right CA, names db.example.test only.
    QVERIFY(m_files.serveAs(QStringLiteral("elsewhere")));
    QVERIFY(m_server.sql(QStringLiteral("FLUSH SSL;")));
    const Attempt a = attempt(m_server, tls(mode, QStringLiteral("ca")), m_server.host());
    QVERIFY(m_files.serveAs(QStringLiteral("server")));
    QVERIFY(m_server.sql(QStringLiteral("FLUSH SSL;")));

    if (failure.isEmpty()) {
        QVERIFY2(a.connected, qPrintable(a.error));
        QVERIFY(!a.cipher.isEmpty());
    } else {
        QVERIFY(!a.connected);
        QVERIFY2(a.error.startsWith(failure), qPrintable(a.error));
    }
}

void TestTls::serverWithoutTls_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("failure");

    const QString noTls = QStringLiteral("TLS is required, but the server does not offer it");
    QTest::newRow("off") << int(tmOff) << QString();
    QTest::newRow("preferred falls back to clear") << int(tmPreferred) << QString();
    QTest::newRow("required") << int(tmRequired) << noTls;
    QTest::newRow("verify CA") << int(tmVerifyCA) << noTls;
    QTest::newRow("verify identity") << int(tmVerifyIdentity) << noTls;
}

void TestTls::serverWithoutTls()
{
    QFETCH(int, mode);
    QFETCH(QString, failure);

    static PrivateServer plain; // one for all rows, stopped at exit
    if (!plain.isRunning()) {
        QString error;
        QVERIFY2(plain.start(&error), qPrintable(error));
    }
    const Attempt a = attempt(plain, tls(mode, QStringLiteral("ca")), plain.host());
    if (failure.isEmpty()) {
        QVERIFY2(a.connected, qPrintable(a.error));
        QCOMPARE(a.cipher, QString());
        QCOMPARE(a.serverCipher, QString());
    } else {
        QVERIFY(!a.connected);
        QVERIFY2(a.error.startsWith(failure), qPrintable(a.error));
    }
}

void TestTls::clientCertificateIsSent_data()
{
    QTest::addColumn<bool>("withCertificate");
    QTest::newRow("with") << true;
    QTest::newRow("without") << false;
}

void TestTls::clientCertificateIsSent()
{
    QFETCH(bool, withCertificate);

    TmySQLClientTls settings = tls(tmVerifyIdentity, QStringLiteral("ca"));
    if (withCertificate) {
        settings.CertFile = m_files.cert(QStringLiteral("client"));
        settings.KeyFile = m_files.key(QStringLiteral("client"));
    }
    // The account requires a certificate signed by the server's CA.
    const Attempt a = attempt(m_server, settings, m_server.host(), QStringLiteral("certified"), QStringLiteral("pw"));
    QCOMPARE(a.connected, withCertificate);
    if (!withCertificate)
        QVERIFY2(a.error.contains(QLatin1String("Access denied")), qPrintable(a.error));
}

void TestTls::stopRequestGoesOverTls()
{
    // The stop request's own connection is secured like the session: an
    // account that may only connect with TLS can stop its statement.
    TmySQLClient client;
    client.setHostname(m_server.host());
    client.setPort(m_server.port());
    client.setUsername(QStringLiteral("encrypted"));
    client.setPassword(QStringLiteral("pw"));
    client.setTls(tls(tmRequired, QString()));
    bool opened = false;
    client.OnConnect = [&](QObject *) { opened = true; };
    client.Connect();
    QTRY_VERIFY_WITH_TIMEOUT(opened, 15000);
    client.setThreaded(true);

    bool ended = false;
    QString failure;
    client.Query()->Execute(QStringLiteral("SELECT SLEEP(60)"), QStringLiteral("sleep"), nullptr,
                            [&](QObject *, const QString &message) {
                                failure = message;
                                ended = true;
                            },
                            [&](QObject *) { ended = true; });
    client.Query()->Run();
    QTRY_VERIFY_WITH_TIMEOUT([&] {
        QString out;
        return m_server.sql(QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE INFO LIKE 'SELECT SLEEP(60)%';"),
                            &out)
            && out.contains(QLatin1Char('1'));
    }(), 10000);
    bool answered = false;
    QString killError = QStringLiteral("unanswered");
    client.KillQuery([&](const QString &error) {
        killError = error;
        answered = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(answered, 15000);
    QVERIFY2(killError.isEmpty(), qPrintable(killError));
    QTRY_VERIFY_WITH_TIMEOUT(ended, 15000);
}

void TestTls::storedModeNames_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mode");

    QTest::newRow("empty") << QString() << int(tmOff);
    QTest::newRow("off") << QStringLiteral("Off") << int(tmOff);
    QTest::newRow("preferred") << QStringLiteral("Preferred") << int(tmPreferred);
    QTest::newRow("required") << QStringLiteral("required") << int(tmRequired);
    QTest::newRow("verify CA") << QStringLiteral("VerifyCA") << int(tmVerifyCA);
    QTest::newRow("verify identity") << QStringLiteral(" VerifyIdentity ") << int(tmVerifyIdentity);
    // A mistyped value must not silently connect in clear.
    QTest::newRow("mistyped") << QStringLiteral("Requried") << int(tmVerifyIdentity);
}

void TestTls::storedModeNames()
{
    QFETCH(QString, text);
    QFETCH(int, mode);
    QCOMPARE(int(TlsModeFromText(text)), mode);
    QCOMPARE(int(TlsModeFromText(TlsModeText(TTlsMode(mode)))), mode);
}

void TestTls::connectReportOfAProfile_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("ca");
    QTest::addColumn<QString>("lastLine"); // the report's last line begins so
    QTest::addColumn<int>("lineCount");

    QTest::newRow("off keeps the five lines") << QStringLiteral("Off") << QString() << QStringLiteral("ProtoInfo:  ")
                                              << 5;
    QTest::newRow("required names version and cipher")
        << QStringLiteral("Required") << QString() << QStringLiteral("TLS:        TLSv1") << 6;
    QTest::newRow("verify identity") << QStringLiteral("VerifyIdentity") << QStringLiteral("ca")
                                     << QStringLiteral("TLS:        TLSv1") << 6;
    QTest::newRow("other CA fails with the check's name")
        << QStringLiteral("VerifyCA") << QStringLiteral("other-ca")
        << QStringLiteral("The server's certificate is not signed by the CA") << 1;
}

void TestTls::connectReportOfAProfile()
{
    QFETCH(QString, mode);
    QFETCH(QString, ca);
    QFETCH(QString, lastLine);
    QFETCH(int, lineCount);

    HeadlessViews views(m_server.host(), QString::number(m_server.port()), PrivateServer::user(),
                        PrivateServer::password());
    views.profile.TlsMode = mode;
    if (!ca.isEmpty())
        views.profile.TlsCA = m_files.cert(ca);
    TDMstd module(views.views);
    QVERIFY(module.ConnectProfile());
    QTRY_COMPARE_WITH_TIMEOUT(views.log.lines().size(), lineCount, 15000);
    settle();
    const QStringList lines = views.log.lines();
    QCOMPARE(lines.size(), lineCount);
    QVERIFY2(lines.last().startsWith(lastLine), qPrintable(lines.last()));
}

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"

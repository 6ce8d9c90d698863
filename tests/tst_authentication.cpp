#include "client/mySQLClient.h"
#include "tests/support/privateserver.h"

#include <QTest>

// Accounts with other authentication than the native one, and accounts whose
// password has expired.
class TestAuthentication : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void accountsLogIn_data();
    void accountsLogIn();
    void expiredPasswordIsReplacedAtLogin();

private:
    struct Attempt
    {
        bool connected = false;
        bool expired = false;
        QString error;
    };
    Attempt attempt(TmySQLClient &client);

    PrivateServer *m_server = nullptr;
};

void TestAuthentication::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    m_server = &PrivateServer::shared();
    QString error;
    QVERIFY2(m_server->start(&error), qPrintable(error));
    QVERIFY2(m_server->sql(QStringLiteral(
                               "INSTALL SONAME 'auth_ed25519';"
                               "CREATE USER edwin@'%' IDENTIFIED VIA ed25519 USING PASSWORD('ed-secret');"
                               "CREATE USER native@'%' IDENTIFIED BY 'native-secret';"
                               "CREATE USER stale@'%' IDENTIFIED BY 'old-secret' PASSWORD EXPIRE;"
                               // Clients that cannot change the password are turned away.
                               "SET GLOBAL disconnect_on_expired_password = ON;"),
                           nullptr, &error),
             qPrintable(error));
}

TestAuthentication::Attempt TestAuthentication::attempt(TmySQLClient &client)
{
    Attempt result;
    client.setHostname(m_server->host());
    client.setPort(m_server->port());
    bool done = false;
    client.OnConnect = [&](QObject *) { done = true; };
    client.OnConnectError = [&](QObject *sender, const QString &message) {
        result.error = message;
        result.expired = static_cast<TmySQLClientUtility *>(sender)->Outcome().PasswordExpired();
        done = true;
    };
    client.Connect();
    if (!QTest::qWaitFor([&] { return done; }, 15000))
        result.error = QStringLiteral("no answer");
    result.connected = client.Connected();
    return result;
}

void TestAuthentication::accountsLogIn_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("connects");

    QTest::newRow("ed25519") << QStringLiteral("edwin") << QStringLiteral("ed-secret") << true;
    QTest::newRow("ed25519, wrong password") << QStringLiteral("edwin") << QStringLiteral("nope") << false;
    QTest::newRow("native") << QStringLiteral("native") << QStringLiteral("native-secret") << true;
}

void TestAuthentication::accountsLogIn()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, connects);

    TmySQLClient client;
    client.setUsername(user);
    client.setPassword(password);
    const Attempt a = attempt(client);
    QVERIFY2(a.connected == connects, qPrintable(a.error));
    if (!connects)
        QVERIFY2(a.error.contains(QLatin1String("Access denied")), qPrintable(a.error));
}

void TestAuthentication::expiredPasswordIsReplacedAtLogin()
{
    TmySQLClient client;
    client.setUsername(QStringLiteral("stale"));
    client.setPassword(QStringLiteral("old-secret"));
    Attempt a = attempt(client);
    QVERIFY(!a.connected);
    QVERIFY2(a.expired, qPrintable(a.error));
    QVERIFY2(a.error.contains(QLatin1String("expired")), qPrintable(a.error));

    // A quote in the new password must not end the statement's literal.
    const QString fresh = QStringLiteral("new 'secret'");
    client.setNewPassword(fresh);
    a = attempt(client);
    QVERIFY2(a.connected, qPrintable(a.error));
    QCOMPARE(client.Password(), fresh);
    QCOMPARE(client.NewPassword(), QString());

    // The session is a normal one now.
    bool ran = false;
    QString value;
    client.Query()->Execute(QStringLiteral("SELECT CURRENT_USER()"), QStringLiteral("who"), nullptr, nullptr,
                            [&](QObject *sender) {
                                value = static_cast<TmySQLClientQuery *>(sender)->Value(0, 0);
                                ran = true;
                            });
    client.Query()->Run();
    QTRY_VERIFY_WITH_TIMEOUT(ran, 5000);
    QCOMPARE(value, QStringLiteral("stale@%"));

    // The new password is the account's; the old one is refused.
    TmySQLClient again;
    again.setUsername(QStringLiteral("stale"));
    again.setPassword(fresh);
    QVERIFY2(attempt(again).connected, "the new password does not log in");
    TmySQLClient old;
    old.setUsername(QStringLiteral("stale"));
    old.setPassword(QStringLiteral("old-secret"));
    a = attempt(old);
    QVERIFY(!a.connected);
    QVERIFY(!a.expired);
}

QTEST_GUILESS_MAIN(TestAuthentication)
#include "tst_authentication.moc"

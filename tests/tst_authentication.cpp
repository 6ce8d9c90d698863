#include "client/mySQLClient.h"
#include "data/tdmstd.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"

#include <QSignalSpy>

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
    void moduleAsksForANewPasswordAndLogsIn_data();
    void moduleAsksForANewPasswordAndLogsIn();

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

    // A new password whose attempt failed is not tried again.
    TmySQLClient retry;
    retry.setUsername(QStringLiteral("stale"));
    retry.setPassword(QStringLiteral("wrong"));
    retry.setNewPassword(QStringLiteral("third"));
    QVERIFY(!attempt(retry).connected);
    QCOMPARE(retry.NewPassword(), QString());
    retry.setPassword(fresh);
    QVERIFY(attempt(retry).connected);
    QCOMPARE(retry.Password(), fresh);
}

void TestAuthentication::moduleAsksForANewPasswordAndLogsIn_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<bool>("disconnect"); // the server turns such clients away, or lets them in to change it
    QTest::newRow("turned away") << QStringLiteral("lapsed1") << true;
    QTest::newRow("let in") << QStringLiteral("lapsed2") << false;
}

void TestAuthentication::moduleAsksForANewPasswordAndLogsIn()
{
    QFETCH(QString, account);
    QFETCH(bool, disconnect);
    QVERIFY(m_server->sql(QStringLiteral("CREATE USER %1@'%' IDENTIFIED BY 'was' PASSWORD EXPIRE;"
                                         "GRANT SELECT ON mysql.* TO %1@'%';"
                                         "SET GLOBAL disconnect_on_expired_password = %2;")
                              .arg(account, disconnect ? QStringLiteral("ON") : QStringLiteral("OFF"))));
    HeadlessViews views(m_server->host(), QString::number(m_server->port()), account, QStringLiteral("was"));
    TDMstd module(views.views);
    QSignalSpy expired(&module, &TDMstd::passwordExpired);
    QVERIFY(module.ConnectProfile());
    QTRY_COMPARE_WITH_TIMEOUT(expired.count(), 1, 15000);
    // The server's own words, which differ between the two ways.
    QVERIFY2(expired.at(0).at(0).toString().contains(QLatin1String("password"), Qt::CaseInsensitive),
             qPrintable(expired.at(0).at(0).toString()));
    settle();
    QVERIFY(!module.ActiveClient()->Connected());
    QCOMPARE(views.log.lines().last(), expired.at(0).at(0).toString());

    QVERIFY(!module.ChangeExpiredPassword(QString()));
    QVERIFY(module.ChangeExpiredPassword(QStringLiteral("is-now")));
    QTRY_VERIFY_WITH_TIMEOUT(module.ActiveClient()->Connected(), 15000);
    settle();
    QCOMPARE(expired.count(), 1);
    // The database list arrived this time.
    QVERIFY(views.tree.rowCount() > 0);

    TmySQLClient check;
    check.setUsername(account);
    check.setPassword(QStringLiteral("is-now"));
    QVERIFY(attempt(check).connected);
}

QTEST_GUILESS_MAIN(TestAuthentication)
#include "tst_authentication.moc"

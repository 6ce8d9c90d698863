#include "client/mySQLClient.h"
#include "client/mysqlbinding.h"
#include "client/mysqlclienttask.h"
#include "tests/support/modulesession.h"
#include "tests/support/privateserver.h"

#include <QLibrary>
#include <QTemporaryDir>
#include <QTest>

// The server's RSA key settings of a profile (for MySQL 8 accounts without
// TLS): what reaches the client library, and that ordinary logins go on.
class TestServerKey : public QObject
{
    Q_OBJECT

private:
    static TmySQLClientTls settings(const QString &mode, const QString &keyFile, bool fetch)
    {
        TmySQLClientTls tls;
        tls.Mode = TlsModeFromText(mode);
        tls.ServerPublicKeyFile = keyFile;
        tls.FetchServerPublicKey = fetch;
        return tls;
    }
    static void rows()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("keyFile");
        QTest::addColumn<bool>("fetch");
        QTest::addColumn<bool>("keyOption");
        QTest::addColumn<bool>("restricted");
        QTest::newRow("nothing set, in clear") << QStringLiteral("Off") << QString() << false << false << true;
        QTest::newRow("nothing set, TLS preferred") << QStringLiteral("Preferred") << QString() << false << false
                                                    << true;
        QTest::newRow("nothing set, TLS required") << QStringLiteral("Required") << QString() << false << false
                                                   << false;
        QTest::newRow("fetching allowed") << QStringLiteral("Off") << QString() << true << false << false;
        QTest::newRow("key file") << QStringLiteral("Off") << QStringLiteral("/keys/server key.pem") << false
                                  << true << false;
        QTest::newRow("key file and fetching") << QStringLiteral("Off") << QStringLiteral("/keys/server.pem")
                                               << true << true << false;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(LoadClientLibrary());
    }

    void optionsReachTheLibrary_data() { rows(); }
    void optionsReachTheLibrary()
    {
        QFETCH(QString, mode);
        QFETCH(QString, keyFile);
        QFETCH(bool, fetch);
        QFETCH(bool, keyOption);
        QFETCH(bool, restricted);
        const TmySQLClientTls tls = settings(mode, keyFile, fetch);
        const QList<TmySQLClientOption> options = publicKeyOptions(tls);
        QCOMPARE(options.size(), int(keyOption) + int(restricted));
        for (const TmySQLClientOption &option : options) {
            if (option.Option == MYSQL_SERVER_PUBLIC_KEY) {
                QVERIFY(keyOption);
                QCOMPARE(option.Text, QFile::encodeName(keyFile));
            } else {
                QCOMPARE(option.Option, MARIADB_OPT_RESTRICTED_AUTH);
                QVERIFY(restricted);
                const QList<QByteArray> methods = option.Text.split(',');
                QVERIFY(methods.contains("mysql_native_password"));
                QVERIFY(methods.contains("client_ed25519"));
                QVERIFY(!methods.contains("caching_sha2_password"));
                QVERIFY(!methods.contains("sha256_password"));
            }
        }

        // What the library holds afterwards, read back from it.
        QLibrary library(ClientLibraryName);
        QVERIFY(library.load());
        auto getOption = reinterpret_cast<int (*)(MYSQL *, enum mysql_option, void *, ...)>(
            library.resolve("mysql_get_optionv"));
        QVERIFY(getOption);
        MYSQL *handle = mysqlApi.mysql_init(nullptr);
        QVERIFY(handle);
        applyPublicKeyOptions(handle, tls);
        char *key = nullptr;
        QCOMPARE(getOption(handle, MYSQL_SERVER_PUBLIC_KEY, &key), 0);
        QCOMPARE(QByteArray(key), keyOption ? QFile::encodeName(keyFile) : QByteArray());
        releasePublicKeyOptions(handle, tls);
        key = nullptr;
        QCOMPARE(getOption(handle, MYSQL_SERVER_PUBLIC_KEY, &key), 0);
        QCOMPARE(QByteArray(key), QByteArray());
        mysqlApi.mysql_close(handle);
    }

    void restrictionIsHonoured();

    // In clear: the private server offers no TLS.
    void loginStillWorks_data()
    {
        QTest::addColumn<QString>("keyFile");
        QTest::addColumn<bool>("fetch");
        QTest::newRow("methods restricted") << QString() << false;
        QTest::newRow("fetching allowed") << QString() << true;
        QTest::newRow("key file") << QStringLiteral("/keys/server.pem") << false;
    }
    void loginStillWorks()
    {
        QFETCH(QString, keyFile);
        QFETCH(bool, fetch);
        PrivateServer &server = PrivateServer::shared();
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        static bool accounts = false;
        if (!accounts) {
            QVERIFY2(server.sql(QStringLiteral(
                                    "INSTALL SONAME 'auth_ed25519';"
                                    "CREATE USER edwin@'%' IDENTIFIED VIA ed25519 USING PASSWORD('ed-secret');"),
                                nullptr, &error),
                     qPrintable(error));
            accounts = true;
        }
        // Through a profile, as the login does.
        const QList<QPair<QString, QString>> logins = {{PrivateServer::user(), PrivateServer::password()},
                                                       {QStringLiteral("edwin"), QStringLiteral("ed-secret")}};
        for (const auto &[user, password] : logins) {
            ModuleSession session(user, password);
            session.profile.ServerPublicKey = keyFile;
            session.profile.GetServerPublicKey = fetch;
            QVERIFY(session.module->ConnectProfile());
            TmySQLClient *client = session.module->ActiveClient();
            QCOMPARE(client->Tls().ServerPublicKeyFile, keyFile);
            QCOMPARE(client->Tls().FetchServerPublicKey, fetch);
            QTRY_VERIFY2_WITH_TIMEOUT(client->Connected(), qPrintable(session.log.lines().join(QLatin1Char('|'))),
                                      30000);
        }
    }
};

// The option the restriction rides on is one the library honours: a method
// left out of the list is refused.
void TestServerKey::restrictionIsHonoured()
{
    PrivateServer &server = PrivateServer::shared();
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    for (const bool nativeAllowed : {true, false}) {
        MYSQL *handle = mysqlApi.mysql_init(nullptr);
        QVERIFY(handle);
        const unsigned int protocol = MYSQL_PROTOCOL_TCP;
        mysqlApi.mysql_options(handle, MYSQL_OPT_PROTOCOL, &protocol);
        const QByteArray methods = nativeAllowed ? "mysql_native_password" : "client_ed25519";
        QCOMPARE(mysqlApi.mysql_options(handle, MARIADB_OPT_RESTRICTED_AUTH, methods.constData()), 0);
        const bool connected = mysqlApi.mysql_real_connect(
            handle, server.host().toUtf8().constData(), PrivateServer::user().toUtf8().constData(),
            PrivateServer::password().toUtf8().constData(), nullptr, unsigned(server.port()), nullptr, 0);
        const QString text = QString::fromUtf8(mysqlApi.mysql_error(handle));
        mysqlApi.mysql_close(handle);
        QVERIFY2(connected == nativeAllowed, qPrintable(text));
    }
}

QTEST_GUILESS_MAIN(TestServerKey)
#include "tst_serverkey.moc"

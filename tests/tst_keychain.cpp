#include "client/mySQLClient.h"
#include "client/mysqlbinding.h"
#include "data/secretstore.h"
#include "data/settingsstore.h"
#include "tests/support/connectedclient.h"
#include "tests/support/privatekeyring.h"
#include "tests/support/privateserver.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// Profiles' secrets in a desktop keychain: a private session bus with GNOME
// Keyring's Secret Service on it, never the user's own.
class TestKeychain : public QObject
{
    Q_OBJECT

private:
    QString path() const { return m_dir.filePath(QStringLiteral("quarnel.conf")); }
    QByteArray fileBytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    std::unique_ptr<SecretStore> keychain() const { return OpenDesktopKeychain(m_service, 20000, 20000); }
    std::unique_ptr<SettingsStore> storeWithKeychain() const
    {
        auto store = std::make_unique<SettingsStore>(path());
        auto secrets = keychain();
        if (secrets)
            store->useKeychain(std::move(secrets));
        return store;
    }
    void saveProfile(SettingsStore &store, const QString &host, const QString &password) const
    {
        store.currentProfile() = TServerProfile();
        store.currentProfile().Host = host;
        store.currentProfile().User = QStringLiteral("someone");
        store.currentProfile().Psw = password;
        store.currentProfile().Port = QStringLiteral("3306");
        store.SaveServerProfile(host);
    }
    QString storedSecret(const QString &profile, SecretKind kind = SecretKind::Password) const
    {
        auto secrets = keychain();
        QString value;
        bool found = false;
        if (!secrets || !secrets->read(profile, kind, &value, &found))
            return QStringLiteral("<unreadable>");
        return found ? value : QStringLiteral("<none>");
    }

    PrivateKeyring m_keyring;
    QTemporaryDir m_dir;
    QString m_service = QStringLiteral("Quarnel test");

private Q_SLOTS:
    void initTestCase()
    {
        qunsetenv("QUARNEL_KEYCHAIN");
        QString error;
        QVERIFY2(m_keyring.startBus(&error), qPrintable(error));
    }

    void init()
    {
        QFile::remove(path());
    }

    // Runs first, before the keyring is there: a bus without a keychain
    // service leaves the passwords in the settings file.
    void busWithoutKeychainKeepsPasswordsInFile()
    {
        QVERIFY(!keychain());
        SettingsStore store(path());
        saveProfile(store, QStringLiteral("db.example"), QStringLiteral("file-secret"));
        QVERIFY(!store.keepsSecretsInKeychain());
        QVERIFY(fileBytes().contains("Psw=file-secret"));
        SettingsStore again(path());
        again.LoadServerProfile(QStringLiteral("db.example"));
        QCOMPARE(again.currentProfile().Psw, QStringLiteral("file-secret"));
    }

    void keychainFound()
    {
        QString error;
        QVERIFY2(m_keyring.startKeyring(&error), qPrintable(error));
        QVERIFY(keychain());
        // Turned off on purpose: the file keeps them even with a keychain there.
        qputenv("QUARNEL_KEYCHAIN", "off");
        QVERIFY(!keychain());
        qunsetenv("QUARNEL_KEYCHAIN");
        QVERIFY(keychain());
    }

    void secretsOfEveryKind_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("kind");
        QTest::newRow("password") << QStringLiteral("127.0.0.1") << int(SecretKind::Password);
        QTest::newRow("ssh password") << QStringLiteral("127.0.0.1") << int(SecretKind::SshPassword);
        QTest::newRow("ssh passphrase") << QStringLiteral("127.0.0.1") << int(SecretKind::SshPassphrase);
        QTest::newRow("IPv6 name") << QStringLiteral("::1") << int(SecretKind::Password);
        QTest::newRow("name with @ and /") << QStringLiteral("me@host/x") << int(SecretKind::Password);
    }
    void secretsOfEveryKind()
    {
        QFETCH(QString, profile);
        QFETCH(int, kind);
        const auto secretKind = SecretKind(kind);
        auto secrets = keychain();
        QVERIFY(secrets);
        const QString value = QStringLiteral("sécret %1 of %2").arg(SecretKindName(secretKind), profile);
        QVERIFY2(secrets->write(profile, secretKind, value), qPrintable(secrets->errorString()));
        QCOMPARE(storedSecret(profile, secretKind), value);
        // Kinds and profiles are apart.
        for (SecretKind other : {SecretKind::Password, SecretKind::SshPassword, SecretKind::SshPassphrase}) {
            if (other != secretKind)
                QVERIFY(storedSecret(profile, other) != value);
        }
        QCOMPARE(storedSecret(profile + QStringLiteral("x"), secretKind), QStringLiteral("<none>"));

        QVERIFY(secrets->rename(profile, profile + QStringLiteral(" renamed")));
        QCOMPARE(storedSecret(profile, secretKind), QStringLiteral("<none>"));
        QCOMPARE(storedSecret(profile + QStringLiteral(" renamed"), secretKind), value);

        QVERIFY(secrets->removeAll(profile + QStringLiteral(" renamed")));
        QCOMPARE(storedSecret(profile + QStringLiteral(" renamed"), secretKind), QStringLiteral("<none>"));
        // Removing what is not there is no failure.
        QVERIFY(secrets->remove(profile, secretKind));
    }

    void savedProfileLogsInAfterRestart()
    {
        PrivateServer &server = PrivateServer::shared();
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        {
            auto store = storeWithKeychain();
            QVERIFY(store->keepsSecretsInKeychain());
            saveProfile(*store, server.host(), PrivateServer::password());
            store->currentProfile().Port = QString::number(server.port());
            store->SaveServerProfile(server.host());
            QVERIFY(store->lastSecretError().isEmpty());
        }
        const QByteArray bytes = fileBytes();
        QVERIFY(bytes.contains("User=someone"));
        QVERIFY(!bytes.contains("Psw"));
        QVERIFY(!bytes.contains(PrivateServer::password().toUtf8()));

        // The next run: a new store and a new keychain connection.
        auto store = storeWithKeychain();
        store->LoadProgramSettings();
        QVERIFY(store->ServerSections().contains(server.host()));
        store->LoadServerProfile(server.host());
        const TServerProfile &profile = store->currentProfile();
        QCOMPARE(profile.Psw, PrivateServer::password());

        QVERIFY(LoadClientLibrary());
        auto client = std::make_unique<TmySQLClient>();
        client->setHostname(profile.Host);
        client->setPort(profile.Port.toInt());
        client->setUsername(PrivateServer::user());
        client->setPassword(profile.Psw);
        client = loggedIn(std::move(client), 30000);
        QVERIFY(client);
        QVERIFY(client->Connected());
    }

    void clearTextPasswordsMoveOnFirstSave()
    {
        {
            QSettings old(path(), QSettings::IniFormat);
            old.setValue(QStringLiteral("alpha/User"), QStringLiteral("a"));
            old.setValue(QStringLiteral("alpha/Psw"), QStringLiteral("alpha-secret"));
            old.setValue(QStringLiteral("beta/User"), QStringLiteral("b"));
            old.setValue(QStringLiteral("beta/Psw"), QStringLiteral("beta-secret"));
            old.setValue(QStringLiteral("gamma/User"), QStringLiteral("c"));
            old.setValue(QStringLiteral("gamma/Psw"), QString());
        }
        auto store = storeWithKeychain();
        store->LoadProgramSettings();
        // Read from the file until it is saved.
        store->LoadServerProfile(QStringLiteral("alpha"));
        QCOMPARE(store->currentProfile().Psw, QStringLiteral("alpha-secret"));
        QCOMPARE(storedSecret(QStringLiteral("alpha")), QStringLiteral("<none>"));

        store->SaveProgramSettings();
        const QByteArray bytes = fileBytes();
        QVERIFY(!bytes.contains("Psw"));
        QVERIFY(!bytes.contains("secret"));
        QVERIFY(bytes.contains("User=b"));
        QCOMPARE(storedSecret(QStringLiteral("alpha")), QStringLiteral("alpha-secret"));
        QCOMPARE(storedSecret(QStringLiteral("beta")), QStringLiteral("beta-secret"));
        QCOMPARE(storedSecret(QStringLiteral("gamma")), QStringLiteral("<none>"));

        store->LoadServerProfile(QStringLiteral("beta"));
        QCOMPARE(store->currentProfile().Psw, QStringLiteral("beta-secret"));
        QCOMPARE(store->currentProfile().User, QStringLiteral("b"));
    }

    void emptiedAndDeletedProfilesLoseTheirSecrets()
    {
        auto store = storeWithKeychain();
        saveProfile(*store, QStringLiteral("kept"), QStringLiteral("kept-secret"));
        saveProfile(*store, QStringLiteral("emptied"), QStringLiteral("first"));
        saveProfile(*store, QStringLiteral("deleted"), QStringLiteral("deleted-secret"));
        QCOMPARE(storedSecret(QStringLiteral("emptied")), QStringLiteral("first"));

        saveProfile(*store, QStringLiteral("emptied"), QString());
        QCOMPARE(storedSecret(QStringLiteral("emptied")), QStringLiteral("<none>"));
        store->LoadServerProfile(QStringLiteral("emptied"));
        QCOMPARE(store->currentProfile().Psw, QString());

        store->DeleteServerProfile(QStringLiteral("deleted"));
        QCOMPARE(storedSecret(QStringLiteral("deleted")), QStringLiteral("<none>"));
        QCOMPARE(storedSecret(QStringLiteral("kept")), QStringLiteral("kept-secret"));
        QVERIFY(!fileBytes().contains("Psw"));
    }

    // The SSH tunnel's password and passphrase are kept like the login
    // password; a profile whose tunnel is turned off keeps neither.
    void sshSecretsGoToKeychain()
    {
        const QString host = QStringLiteral("tunnelled");
        {
            auto store = storeWithKeychain();
            saveProfile(*store, host, QStringLiteral("db-secret"));
            TServerProfile &profile = store->currentProfile();
            profile.Ssh = true;
            profile.SshHost = QStringLiteral("127.0.0.1");
            profile.SshUser = QStringLiteral("tunnel");
            profile.SshPassword = QStringLiteral("ssh-secret");
            profile.SshPassphrase = QStringLiteral("key-secret");
            store->SaveServerProfile(host);
            QVERIFY(store->lastSecretError().isEmpty());
        }
        QByteArray bytes = fileBytes();
        QVERIFY(bytes.contains("SSHUser=tunnel"));
        QVERIFY(!bytes.contains("SSHPassword"));
        QVERIFY(!bytes.contains("SSHPassphrase"));
        QVERIFY(!bytes.contains("secret"));
        QCOMPARE(storedSecret(host, SecretKind::SshPassword), QStringLiteral("ssh-secret"));
        QCOMPARE(storedSecret(host, SecretKind::SshPassphrase), QStringLiteral("key-secret"));

        auto store = storeWithKeychain();
        store->LoadProgramSettings();
        store->LoadServerProfile(host);
        QCOMPARE(store->currentProfile().SshPassword, QStringLiteral("ssh-secret"));
        QCOMPARE(store->currentProfile().SshPassphrase, QStringLiteral("key-secret"));
        QCOMPARE(store->currentProfile().Psw, QStringLiteral("db-secret"));

        store->currentProfile().Ssh = false;
        store->SaveServerProfile(host);
        QCOMPARE(storedSecret(host, SecretKind::SshPassword), QStringLiteral("<none>"));
        QCOMPARE(storedSecret(host, SecretKind::SshPassphrase), QStringLiteral("<none>"));
        QCOMPARE(storedSecret(host), QStringLiteral("db-secret"));
        bytes = fileBytes();
        QVERIFY(!bytes.contains("SSH"));
    }

    // A password changed at login is kept where the profile's secrets are.
    void oneSecretSavedAlone()
    {
        auto store = storeWithKeychain();
        saveProfile(*store, QStringLiteral("changed"), QStringLiteral("old-one"));
        store->currentProfile().User = QStringLiteral("typed at login");
        store->SaveServerSecret(QStringLiteral("changed"), SecretKind::Password, QStringLiteral("new-one"));
        QCOMPARE(storedSecret(QStringLiteral("changed")), QStringLiteral("new-one"));
        QVERIFY(!fileBytes().contains("Psw"));
        QVERIFY(fileBytes().contains("User=someone"));
    }

    void cleanupTestCase()
    {
        m_keyring.stop();
    }
};

QTEST_GUILESS_MAIN(TestKeychain)
#include "tst_keychain.moc"

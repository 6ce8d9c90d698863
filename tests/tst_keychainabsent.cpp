#include "data/secretstore.h"
#include "data/settingsstore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Without a desktop keychain the settings file keeps the passwords, and
// finding that out costs no D-Bus timeout.
class TestKeychainAbsent : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noKeychainKeepsPasswordsInFile_data()
    {
        QTest::addColumn<QByteArray>("busAddress");
        QTest::addColumn<QByteArray>("keychainSetting");
        // The rows that never reach a bus come first: Qt keeps the first
        // session bus connection it makes for the whole process.
        QTest::newRow("no session bus") << QByteArray() << QByteArray();
        QTest::newRow("turned off") << QByteArrayLiteral("unix:path=/nonexistent/bus") << QByteArrayLiteral("off");
        QTest::newRow("bus address leading nowhere")
            << QByteArrayLiteral("unix:path=/nonexistent/bus") << QByteArray();
    }
    void noKeychainKeepsPasswordsInFile()
    {
        QFETCH(QByteArray, busAddress);
        QFETCH(QByteArray, keychainSetting);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // No standard session socket either.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
        if (busAddress.isEmpty())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress);
        if (keychainSetting.isEmpty())
            qunsetenv("QUARNEL_KEYCHAIN");
        else
            qputenv("QUARNEL_KEYCHAIN", keychainSetting);

        // Limits far above what an answer takes: a detection that waited
        // for D-Bus would sit them out.
        const int limitMs = 60000;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!OpenDesktopKeychain(QStringLiteral("Quarnel test"), limitMs, limitMs));
        QVERIFY2(clock.elapsed() < limitMs / 4, qPrintable(QString::number(clock.elapsed())));

        const QString path = dir.filePath(QStringLiteral("quarnel.conf"));
        SettingsStore store(path);
        QVERIFY(!store.keepsSecretsInKeychain());
        store.currentProfile().User = QStringLiteral("someone");
        store.currentProfile().Psw = QStringLiteral("in-the-file");
        store.SaveServerProfile(QStringLiteral("db.example"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("Psw=in-the-file"));
        SettingsStore again(path);
        again.LoadServerProfile(QStringLiteral("db.example"));
        QCOMPARE(again.currentProfile().Psw, QStringLiteral("in-the-file"));
    }
};

QTEST_GUILESS_MAIN(TestKeychainAbsent)
#include "tst_keychainabsent.moc"

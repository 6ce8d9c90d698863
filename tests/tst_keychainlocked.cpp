#include "data/secretstore.h"
#include "tests/support/privatekeyring.h"

#include <QElapsedTimer>
#include <QTest>

#include <qt6keychain/keychain.h>

// A Secret Service that answers on the bus but has no keyring to write to
// (GNOME Keyring started without a login keyring, as in a session without a
// desktop): reads answer "not found", writes would first ask the user to make
// a keyring. Passwords must then stay in the settings file, found out once at
// start rather than at every save.
class TestKeychainLocked : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("QUARNEL_KEYCHAIN", "on");
        QString error;
        QVERIFY2(m_keyring.startBus(&error), qPrintable(error));
        QVERIFY2(m_keyring.startKeyring(&error, false), qPrintable(error));
    }

    void keyringThatCannotBeWrittenIsNotUsed()
    {
        const QString service = QStringLiteral("Quarnel locked test");
        // The service answers a read, so a check by reading alone would take it.
        auto *read = new QKeychain::ReadPasswordJob(service);
        read->setAutoDelete(true);
        read->setKey(QStringLiteral("nobody@nowhere"));
        bool done = false;
        QKeychain::Error readError = QKeychain::OtherError;
        connect(read, &QKeychain::Job::finished, this, [&](QKeychain::Job *job) {
            readError = job->error();
            done = true;
        });
        read->start();
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        QCOMPARE(readError, QKeychain::EntryNotFound);

        const int probeMs = 4000;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!OpenDesktopKeychain(service, 20000, probeMs));
        // At most the read, the write and the removal's waits.
        QVERIFY2(clock.elapsed() < 3 * probeMs + 2000, qPrintable(QString::number(clock.elapsed())));
    }

    void cleanupTestCase() { m_keyring.stop(); }

private:
    PrivateKeyring m_keyring;
};

QTEST_GUILESS_MAIN(TestKeychainLocked)
#include "tst_keychainlocked.moc"

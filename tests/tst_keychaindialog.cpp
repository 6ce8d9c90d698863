#include "data/secretstore.h"
#include "data/settingsstore.h"
#include "dialogs/serverdialog.h"
#include "tests/support/privatekeyring.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

// The server dialog with and without a desktop keychain (a private bus and
// keyring of the test's own).
class TestKeychainDialog : public QObject
{
    Q_OBJECT

private:
    QString path() const { return m_dir.filePath(QStringLiteral("quarnel.conf")); }
    QByteArray fileBytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void fill(TFormServer &dialog, const QString &password)
    {
        dialog.prepareForAdd();
        dialog.Editserver->setText(QStringLiteral("db.example"));
        dialog.EditUser->setText(QStringLiteral("someone"));
        dialog.EditPsw->setText(password);
    }

    PrivateKeyring m_keyring;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        qunsetenv("QUARNEL_KEYCHAIN");
        QString error;
        QVERIFY2(m_keyring.startBus(&error), qPrintable(error));
    }

    void withoutKeychainTheFileKeepsThem()
    {
        QVERIFY(!OpenDesktopKeychain(QStringLiteral("Quarnel test")));
        SettingsStore store(path());
        TFormServer dialog(&store);
        fill(dialog, QStringLiteral("file-secret"));
        QCOMPARE(dialog.LabelSecrets->text(), QStringLiteral("Passwords are kept in the settings file."));
        QCOMPARE(dialog.LabelSecrets->accessibleName(), dialog.LabelSecrets->text());
        QVERIFY(dialog.Apply());
        QVERIFY(fileBytes().contains("Psw=file-secret"));
    }

    void withKeychainTheFileHoldsNone()
    {
        QString error;
        QVERIFY2(m_keyring.startKeyring(&error), qPrintable(error));
        {
            SettingsStore store(path());
            auto keychain = OpenDesktopKeychain(QStringLiteral("Quarnel test"));
            QVERIFY(keychain);
            store.useKeychain(std::move(keychain));
            TFormServer dialog(&store);
            fill(dialog, QStringLiteral("keychain-secret"));
            QCOMPARE(dialog.LabelSecrets->text(), QStringLiteral("Passwords are kept in the desktop's keychain."));
            QCOMPARE(dialog.LabelSecrets->accessibleName(), dialog.LabelSecrets->text());
            QVERIFY(dialog.Apply());
        }
        // The clear-text one of the first save is gone as well.
        QVERIFY(!fileBytes().contains("Psw"));
        QVERIFY(!fileBytes().contains("secret"));
        QVERIFY(fileBytes().contains("User=someone"));

        SettingsStore store(path());
        store.useKeychain(OpenDesktopKeychain(QStringLiteral("Quarnel test")));
        store.LoadServerProfile(QStringLiteral("db.example"));
        TFormServer dialog(&store);
        dialog.prepareForModify();
        QCOMPARE(dialog.EditPsw->text(), QStringLiteral("keychain-secret"));
        // Shown in clear only when asked.
        QCOMPARE(dialog.EditPsw->echoMode(), QLineEdit::Password);
        dialog.CheckShowPsw->setChecked(true);
        QCOMPARE(dialog.EditPsw->echoMode(), QLineEdit::Normal);
        dialog.prepareForModify();
        QCOMPARE(dialog.EditPsw->echoMode(), QLineEdit::Password);
    }

    void cleanupTestCase()
    {
        m_keyring.stop();
    }
};

QTEST_MAIN(TestKeychainDialog)
#include "tst_keychaindialog.moc"

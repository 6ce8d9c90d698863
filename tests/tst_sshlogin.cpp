#include "client/mySQLClient.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "dialogs/sshhostkeydialog.h"
#include "shell/mainwindow.h"
#include "shell/sessioncontroller.h"
#include "tests/modalhelper.h"
#include "tests/support/loginanswer.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"
#include "tests/support/sshserver.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

// Logins of a profile with an SSH tunnel from the server list of a real main
// window: the unknown host key's question, and the reconnect offer after the
// SSH server died.
class TestSshLogin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void unknownHostKeyAskedOnce_data();
    void unknownHostKeyAskedOnce();
    void killedSshdOffersReconnect();

private:
    QString knownHosts() const { return m_dir.filePath(QStringLiteral("known_hosts")); }
    int logCount(const QString &start) const;

    SshServer m_ssh;
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<TFormMain> m_window;
    std::unique_ptr<TDMstd> m_data;
    std::unique_ptr<SessionController> m_controller;
};

void TestSshLogin::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    QVERIFY2(PrivateServer::shared().start(&error), qPrintable(error));
    QVERIFY2(m_ssh.start(&error), qPrintable(error));
    QVERIFY(m_dir.isValid());
    qputenv("QUARNEL_SSH_KNOWN_HOSTS", QFile::encodeName(knownHosts()));
}

void TestSshLogin::cleanupTestCase()
{
    m_ssh.kill();
}

void TestSshLogin::init()
{
    QFile::remove(knownHosts());
    if (!m_ssh.isRunning()) {
        QString error;
        QVERIFY2(m_ssh.restart(&error), qPrintable(error));
    }
    QFile::remove(m_dir.filePath(QStringLiteral("quarnel.conf")));
    m_settings = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("quarnel.conf")));
    const PrivateServer &server = PrivateServer::shared();
    TServerProfile &profile = m_settings->currentProfile();
    profile = TServerProfile();
    profile.Host = server.host();
    profile.User = PrivateServer::user();
    profile.Port = QString::number(server.port());
    profile.Database = QStringLiteral("mysql");
    profile.Ssh = true;
    profile.SshHost = m_ssh.host();
    profile.SshPort = QString::number(m_ssh.port());
    profile.SshUser = SshServer::user();
    profile.SshKeyFile = m_ssh.keyFile(QStringLiteral("user"));
    profile.SshPassphrase = SshServer::passphrase();
    m_settings->SaveServerProfile(server.host());
    m_settings->LoadProgramSettings();
    m_window = std::make_unique<TFormMain>(m_settings.get());
    m_data = std::make_unique<TDMstd>(SessionController::viewsOf(m_window.get()));
    m_controller = std::make_unique<SessionController>(m_window.get(), m_data.get());
    m_window->AddServerItem(server.host());
    QListWidget *list = m_window->serverList();
    list->setCurrentRow(list->count() - 1);
    AnswerLoginAsAdministrator(*m_controller);
}

void TestSshLogin::cleanup()
{
    cancelPendingAnswers();
    m_controller.reset();
    m_data.reset();
    m_window.reset();
    m_settings.reset();
}

int TestSshLogin::logCount(const QString &start) const
{
    const QStringList lines = m_window->messageLog()->lines();
    return int(std::count_if(lines.begin(), lines.end(), [&](const QString &line) { return line.startsWith(start); }));
}

void TestSshLogin::unknownHostKeyAskedOnce_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("refused") << false;
    QTest::newRow("accepted") << true;
}

void TestSshLogin::unknownHostKeyAskedOnce()
{
    QFETCH(bool, accept);
    int asked = 0;
    QString message, keyType, fingerprint, caption;
    bool refuseIsDefault = false;
    m_controller->runSshHostKeyDialog = [&](TFormSshHostKey *dialog) {
        ++asked;
        caption = dialog->windowTitle();
        message = dialog->LabelMessage->text();
        keyType = dialog->LabelKeyType->text();
        fingerprint = dialog->LabelFingerprint->text();
        refuseIsDefault = dialog->ButtonRefuse->isDefault() && !dialog->ButtonAccept->isDefault();
        return accept ? int(QDialog::Accepted) : int(QDialog::Rejected);
    };
    m_controller->ListServerDblClick();
    QTRY_COMPARE_WITH_TIMEOUT(asked, 1, 30000);
    QCOMPARE(caption, QStringLiteral("Unknown SSH Host Key"));
    QVERIFY2(message.contains(m_ssh.host() + QLatin1Char(':') + QString::number(m_ssh.port())), qPrintable(message));
    QCOMPARE(keyType, QStringLiteral("ssh-ed25519"));
    QCOMPARE(fingerprint, m_ssh.fingerprint(QStringLiteral("host")));
    QVERIFY(refuseIsDefault);

    if (!accept) {
        settle();
        QCOMPARE(logCount(QStringLiteral("The host key of the SSH server")), 1);
        QVERIFY(!m_data->ActiveClient()->Connected());
        QVERIFY(!QFile::exists(knownHosts()) || QFileInfo(knownHosts()).size() == 0);
        // Nothing is let in, so the next login asks again.
        m_controller->ListServerDblClick();
        QTRY_COMPARE_WITH_TIMEOUT(asked, 2, 30000);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(m_data->ActiveClient()->Connected(), 30000);
    settle();
    QCOMPARE(logCount(QStringLiteral("HostInfo:   ")), 1);
    const QString through = QStringLiteral(" through SSH %1@%2:%3").arg(SshServer::user(), m_ssh.host()).arg(m_ssh.port());
    const QStringList lines = m_window->messageLog()->lines();
    QVERIFY(std::any_of(lines.begin(), lines.end(), [&](const QString &line) {
        return line.startsWith(QLatin1String("HostInfo:   ")) && line.endsWith(through);
    }));
    // Remembered: the next login is not asked.
    m_controller->ListServerDblClick();
    QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("Connect Success.")), 2, 30000);
    QCOMPARE(asked, 1);
}

void TestSshLogin::killedSshdOffersReconnect()
{
    {
        QFile file(knownHosts());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(m_ssh.knownHostsLine(QStringLiteral("host")));
    }
    m_controller->ListServerDblClick();
    QTRY_VERIFY_WITH_TIMEOUT(m_data->ActiveClient()->Connected(), 30000);
    settle();

    // The SSH server dies with the session's connection; a new one is up by
    // the time the user answers the offer.
    m_ssh.kill();
    QString error;
    QVERIFY2(m_ssh.restart(&error), qPrintable(error));
    QString offer;
    answerMessageBox(QMessageBox::Yes, &offer);
    QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("Connect Success.")), 2, 30000);
    QCOMPARE(offer, QStringLiteral("The connection to the server was lost. Connect again with the same profile ?"));
    QCOMPARE(logCount(QStringLiteral("The connection to the server was lost.")), 1);
    QCOMPARE(logCount(QStringLiteral("The SSH tunnel through")), 1);
    QTRY_VERIFY_WITH_TIMEOUT(m_data->ActiveClient()->Connected(), 30000);
    QVERIFY(m_data->SshTunnel()->IsOpen());
}

QTEST_MAIN(TestSshLogin)
#include "tst_sshlogin.moc"

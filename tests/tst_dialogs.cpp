#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "dialogs/messagedialog.h"
#include "dialogs/optionsdialog.h"
#include "dialogs/serverdialog.h"
#include "data/localserver.h"
#include "shell/gridviews.h"
#include "shell/mainwindow.h"
#include "tests/modalhelper.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

class TestDialogs : public QObject
{
    Q_OBJECT

private:
    QString path() const { return m_dir->filePath(QStringLiteral("Quarnel2.conf")); }
    QString raw(const QString &key) const
    {
        QSettings settings(path(), QSettings::IniFormat);
        return settings.value(key).toString();
    }
    void makeWindow()
    {
        m_window.reset();
        m_store = std::make_unique<SettingsStore>(path());
        m_window = std::make_unique<TFormMain>(m_store.get());
    }
    QStringList rows() const
    {
        QStringList out;
        for (int i = 0; i < m_window->serverList()->count(); ++i)
            out << m_window->serverList()->item(i)->text();
        return out;
    }
    // Opens Add Server, lets fill() type into the dialog, then presses the
    // named button; a missing-field message is answered with OK.
    void addServer(const std::function<void(TFormServer *)> &fill, const QString &button,
                   QString *message = nullptr)
    {
        TFormServer *dialog = m_window->formServer();
        whenModal([=](QWidget *modal) {
            if (modal != dialog) {
                qobject_cast<QDialog *>(modal)->reject();
                return;
            }
            fill(dialog);
            answerMessageBox(QMessageBox::Ok, message, nullptr, dialog);
            dialog->findChild<QPushButton *>(button)->click();
            if (dialog->isVisible())
                dialog->findChild<QPushButton *>(QStringLiteral("ButtonCancel"))->click();
        });
        m_window->action(QStringLiteral("server_add"))->trigger();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<TFormMain> m_window;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        makeWindow();
    }
    void cleanup()
    {
        cancelPendingAnswers();
        m_window.reset();
        m_store.reset();
    }

    // Dialogs stand in the middle of the desktop, wherever the main window is.
    void dialogsAreCentredOnTheDesktop_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("server dialog") << "server_add";
        QTest::newRow("confirmation") << "server_remove";
        QTest::newRow("program options") << "tools_optionen";
    }
    void dialogsAreCentredOnTheDesktop()
    {
        QFETCH(QString, action);
        m_window->AddServerItem(QStringLiteral("db1"));
        m_window->SetServerCommands(true);
        m_window->setGeometry(10, 10, 320, 240);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        const QPoint desktopCentre = m_window->screen()->availableGeometry().center();
        QVERIFY((m_window->geometry().center() - desktopCentre).manhattanLength() > 100);
        QRect frame;
        QRect inner;
        QString title;
        whenModal([&](QWidget *modal) {
            frame = modal->frameGeometry();
            inner = modal->geometry();
            title = modal->windowTitle();
            qobject_cast<QDialog *>(modal)->reject();
        });
        m_window->action(action)->trigger();
        // Within the window frame's few pixels.
        const int slack = frame.width() - inner.width() + frame.height() - inner.height() + 2;
        QVERIFY2((frame.center() - desktopCentre).manhattanLength() <= slack,
                 qPrintable(QStringLiteral("%1 at %2,%3").arg(title).arg(frame.center().x()).arg(frame.center().y())));
    }

    // Server dialog

    void serverDialogLayout()
    {
        TFormServer *dialog = m_window->formServer();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Server Configuration"));
        QCOMPARE(dialog->Editdb->text(), QStringLiteral("mysql"));
        QCOMPARE(dialog->Editserver->toolTip(), QStringLiteral("Server to connect"));
        QCOMPARE(dialog->EditUser->toolTip(), QStringLiteral("You must have access to then mysql database."));
        QCOMPARE(dialog->EditPsw->echoMode(), QLineEdit::Password);
        QCOMPARE(QChar(dialog->EditPsw->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                           dialog->EditPsw)),
                 QLatin1Char('*'));
        QVERIFY(dialog->windowFlags() & Qt::WindowContextHelpButtonHint);
        // Keyboard order: server, port, user, password, the check boxes, Ok,
        // Cancel, Apply, database.
        const QList<QWidget *> expected = {dialog->Editserver,    dialog->EditPort,     dialog->EditUser,
                                           dialog->EditPsw,       dialog->CheckGroupSystem,
                                           dialog->CheckAppServer, dialog->ButtonOk,    dialog->ButtonCancel,
                                           dialog->ButtonApply,   dialog->Editdb};
        QList<QWidget *> order;
        QWidget *widget = dialog->Editserver;
        do {
            if (widget->focusPolicy() & Qt::TabFocus && expected.contains(widget))
                order << widget;
            widget = widget->nextInFocusChain();
        } while (widget != dialog->Editserver);
        QCOMPARE(order, expected);
        // Labels name their fields for assistive tools, uniquely.
        QSet<QString> names;
        for (QWidget *field : expected) {
            QVERIFY2(!field->accessibleName().isEmpty() || qobject_cast<QPushButton *>(field),
                     qPrintable(field->objectName()));
            if (!field->accessibleName().isEmpty()) {
                QVERIFY2(!names.contains(field->accessibleName()), qPrintable(field->accessibleName()));
                names.insert(field->accessibleName());
            }
        }
    }

    void anyChangeEnablesApply_data()
    {
        QTest::addColumn<QString>("control");
        for (const char *name : {"Editserver", "Editdb", "EditPort", "EditUser", "EditPsw", "CheckGroupSystem",
                                 "CheckAppServer"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void anyChangeEnablesApply()
    {
        QFETCH(QString, control);
        TFormServer *dialog = m_window->formServer();
        dialog->prepareForAdd();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QVERIFY(!dialog->ButtonApply->isEnabled());
        QWidget *widget = dialog->findChild<QWidget *>(control);
        QVERIFY(widget);
        if (auto *box = qobject_cast<QCheckBox *>(widget))
            box->click();
        else
            QTest::keyClicks(widget, QStringLiteral("x"));
        QVERIFY(dialog->ButtonApply->isEnabled());
        dialog->hide();
        // Filling for a modification does not count as a change.
        dialog->prepareForModify();
        QVERIFY(!dialog->ButtonApply->isEnabled());
    }

    void passwordShownOnlyOnRequest()
    {
        TFormServer *dialog = m_window->formServer();
        m_store->currentProfile().Psw = QStringLiteral("hidden");
        dialog->prepareForModify();
        QCOMPARE(dialog->EditPsw->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog->CheckShowPsw->isChecked(), false);
        dialog->CheckShowPsw->click();
        QCOMPARE(dialog->EditPsw->echoMode(), QLineEdit::Normal);
        // Shown in clear does not count as a change, and ends with the opening.
        QVERIFY(!dialog->ButtonApply->isEnabled());
        dialog->prepareForAdd();
        QCOMPARE(dialog->EditPsw->echoMode(), QLineEdit::Password);
        dialog->CheckShowPsw->click();
        dialog->prepareForModify();
        QCOMPARE(dialog->EditPsw->echoMode(), QLineEdit::Password);
    }

    void securityGroupRoundTrip_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("stored");
        QTest::newRow("off") << 0 << QString();
        QTest::newRow("preferred") << 1 << QStringLiteral("Preferred");
        QTest::newRow("required") << 2 << QStringLiteral("Required");
        QTest::newRow("verify CA") << 3 << QStringLiteral("VerifyCA");
        QTest::newRow("verify identity") << 4 << QStringLiteral("VerifyIdentity");
    }
    void securityGroupRoundTrip()
    {
        QFETCH(int, mode);
        QFETCH(QString, stored);
        TFormServer *dialog = m_window->formServer();
        dialog->prepareForAdd();
        QCOMPARE(dialog->GroupSecurity->title(), QStringLiteral("Security"));
        QCOMPARE(dialog->ComboTls->count(), 5);
        QCOMPARE(dialog->ComboTls->itemText(3), QStringLiteral("Verify CA"));
        QCOMPARE(dialog->ComboTls->currentIndex(), 0);
        // The files only matter, and can only be edited, with TLS on.
        QVERIFY(!dialog->EditTlsCA->isEnabled());
        dialog->Editserver->setText(QStringLiteral("secure-db"));
        dialog->EditUser->setText(QStringLiteral("dba"));
        dialog->ComboTls->setCurrentIndex(mode);
        QCOMPARE(dialog->EditTlsCA->isEnabled(), mode > 0);
        dialog->EditTlsCA->setText(QStringLiteral("/etc/ca.pem"));
        dialog->EditTlsCert->setText(QStringLiteral("/etc/me.pem"));
        dialog->EditTlsKey->setText(QStringLiteral("/etc/me-key.pem"));
        QVERIFY(dialog->Apply());

        QSettings raw(path(), QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("secure-db/TLS")).toString(), stored);
        QCOMPARE(raw.value(QStringLiteral("secure-db/TLSCA")).toString(),
                 stored.isEmpty() ? QString() : QStringLiteral("/etc/ca.pem"));

        // Opened again for a modification, the group shows what was saved.
        dialog->prepareForAdd();
        m_store->LoadServerProfile(QStringLiteral("secure-db"));
        dialog->prepareForModify();
        QCOMPARE(dialog->ComboTls->currentIndex(), mode);
        if (mode > 0) {
            QCOMPARE(dialog->EditTlsCA->text(), QStringLiteral("/etc/ca.pem"));
            QCOMPARE(dialog->EditTlsCert->text(), QStringLiteral("/etc/me.pem"));
            QCOMPARE(dialog->EditTlsKey->text(), QStringLiteral("/etc/me-key.pem"));
        }
        QVERIFY(!dialog->ButtonApply->isEnabled());
        dialog->ComboTls->activated(0);
        QVERIFY(dialog->ButtonApply->isEnabled());
    }

    void sshGroupRoundTrip_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("saved");
        QTest::newRow("off writes no SSH keys") << false << QString() << QStringLiteral("22") << QString() << true;
        QTest::newRow("on") << true << QStringLiteral("bastion") << QStringLiteral("2222") << QStringLiteral("ops")
                            << true;
        QTest::newRow("on without host") << true << QString() << QStringLiteral("22") << QStringLiteral("ops")
                                         << false;
        QTest::newRow("on without user") << true << QStringLiteral("bastion") << QStringLiteral("22") << QString()
                                         << false;
        QTest::newRow("on with a bad port") << true << QStringLiteral("bastion") << QStringLiteral("22x")
                                            << QStringLiteral("ops") << false;
    }
    void sshGroupRoundTrip()
    {
        QFETCH(bool, on);
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, user);
        QFETCH(bool, saved);
        TFormServer *dialog = m_window->formServer();
        dialog->prepareForAdd();
        QCOMPARE(dialog->GroupSsh->title(), QStringLiteral("SSH tunnel"));
        QCOMPARE(dialog->CheckSsh->isChecked(), false);
        QCOMPARE(dialog->EditSshPort->text(), QStringLiteral("22"));
        // The fields only matter, and can only be edited, with the tunnel on.
        QVERIFY(!dialog->EditSshHost->isEnabled());
        QVERIFY(!dialog->EditSshPassword->isEnabled());
        QVERIFY(!dialog->ButtonApply->isEnabled());
        dialog->Editserver->setText(QStringLiteral("tunnelled-db"));
        dialog->EditUser->setText(QStringLiteral("dba"));
        if (on)
            dialog->CheckSsh->click();
        QCOMPARE(dialog->EditSshHost->isEnabled(), on);
        QCOMPARE(dialog->EditSshPassword->isEnabled(), on);
        dialog->EditSshHost->setText(host);
        dialog->EditSshPort->setText(port);
        dialog->EditSshUser->setText(user);
        dialog->EditSshKeyFile->setText(QStringLiteral("/keys/id_ed25519"));
        dialog->EditSshPassphrase->setText(QStringLiteral("phrase"));
        dialog->EditSshPassword->setText(QStringLiteral("pass"));
        QString message;
        answerMessageBox(QMessageBox::Ok, &message);
        QCOMPARE(dialog->Apply(), saved);
        if (!saved) {
            QCOMPARE(message, QStringLiteral("The SSH tunnel needs the SSH host, the SSH user and a port number "
                                             "from 1 to 65535."));
            QCOMPARE(QFileInfo(path()).size(), 0);
            return;
        }
        QVERIFY(message.isEmpty());
        QSettings raw(path(), QSettings::IniFormat);
        raw.beginGroup(QStringLiteral("tunnelled-db"));
        const QStringList keys = raw.childKeys();
        QCOMPARE(keys.contains(QStringLiteral("SSH")), on);
        QCOMPARE(keys.contains(QStringLiteral("SSHPassword")), on);
        QCOMPARE(keys.filter(QStringLiteral("SSH")).isEmpty(), !on);

        // Opened again for a modification, the group shows what was saved,
        // the secrets masked.
        dialog->prepareForAdd();
        m_store->LoadServerProfile(QStringLiteral("tunnelled-db"));
        dialog->prepareForModify();
        QCOMPARE(dialog->CheckSsh->isChecked(), on);
        if (on) {
            QCOMPARE(dialog->EditSshHost->text(), host);
            QCOMPARE(dialog->EditSshPort->text(), port);
            QCOMPARE(dialog->EditSshUser->text(), user);
            QCOMPARE(dialog->EditSshKeyFile->text(), QStringLiteral("/keys/id_ed25519"));
            QCOMPARE(dialog->EditSshPassphrase->text(), QStringLiteral("phrase"));
            QCOMPARE(dialog->EditSshPassword->text(), QStringLiteral("pass"));
        }
        QVERIFY(!dialog->ButtonApply->isEnabled());
        dialog->CheckSsh->click();
        QVERIFY(dialog->ButtonApply->isEnabled());
    }

    void sshSecretsShownOnlyOnRequest_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("toggle");
        QTest::addColumn<QString>("toggleName");
        QTest::newRow("passphrase") << "EditSshPassphrase" << "CheckShowSshPassphrase" << "Show the key passphrase";
        QTest::newRow("password") << "EditSshPassword" << "CheckShowSshPassword" << "Show the SSH password";
    }
    void sshSecretsShownOnlyOnRequest()
    {
        QFETCH(QString, field);
        QFETCH(QString, toggle);
        QFETCH(QString, toggleName);
        TFormServer *dialog = m_window->formServer();
        m_store->currentProfile().Ssh = true;
        m_store->currentProfile().SshPassword = QStringLiteral("hidden");
        m_store->currentProfile().SshPassphrase = QStringLiteral("hidden too");
        dialog->prepareForModify();
        auto *edit = dialog->findChild<QLineEdit *>(field);
        auto *show = dialog->findChild<QCheckBox *>(toggle);
        QVERIFY(edit && show);
        QCOMPARE(show->text(), QStringLiteral("Show"));
        QCOMPARE(show->accessibleName(), toggleName);
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        show->click();
        QCOMPARE(edit->echoMode(), QLineEdit::Normal);
        QVERIFY(!dialog->ButtonApply->isEnabled());
        // Masked again at the next opening.
        dialog->prepareForModify();
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        dialog->prepareForAdd();
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
    }

    void furtherHostsRoundTrip_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("stored");
        QTest::newRow("none") << "" << true << "";
        QTest::newRow("two, blank lines dropped") << "127.0.0.1:3307\n\n 127.0.0.1:3308 \n" << true
                                                  << "127.0.0.1:3307\n127.0.0.1:3308";
        QTest::newRow("bad port") << "127.0.0.1:3307\n127.0.0.1:x" << false << "";
    }
    void furtherHostsRoundTrip()
    {
        QFETCH(QString, typed);
        QFETCH(bool, saved);
        QFETCH(QString, stored);
        TFormServer *dialog = m_window->formServer();
        dialog->prepareForAdd();
        QVERIFY(dialog->EditHosts->toPlainText().isEmpty());
        QCOMPARE(dialog->EditHosts->accessibleName(), QStringLiteral("Further hosts"));
        dialog->Editserver->setText(QStringLiteral("node1"));
        dialog->EditUser->setText(QStringLiteral("dba"));
        dialog->EditHosts->setPlainText(typed);
        QVERIFY(typed.isEmpty() || dialog->ButtonApply->isEnabled());
        QString message;
        if (!saved)
            answerMessageBox(QMessageBox::Ok, &message);
        QCOMPARE(dialog->Apply(), saved);
        QSettings raw(path(), QSettings::IniFormat);
        if (!saved) {
            QCOMPARE(message, QStringLiteral("'127.0.0.1:x' is not a valid host (host:port)."));
            QVERIFY(!raw.childGroups().contains(QStringLiteral("node1")));
            return;
        }
        QCOMPARE(raw.contains(QStringLiteral("node1/Hosts")), !stored.isEmpty());
        QCOMPARE(raw.value(QStringLiteral("node1/Hosts")).toString(), stored);
        dialog->prepareForAdd();
        m_store->LoadServerProfile(QStringLiteral("node1"));
        dialog->prepareForModify();
        QCOMPARE(dialog->EditHosts->toPlainText(), stored);
        QVERIFY(!dialog->ButtonApply->isEnabled());
    }

    void serverKeyRoundTrip_data()
    {
        QTest::addColumn<QString>("keyFile");
        QTest::addColumn<bool>("fetch");
        QTest::newRow("neither") << QString() << false;
        QTest::newRow("key file") << QStringLiteral("/etc/mysql8-key.pem") << false;
        QTest::newRow("fetching allowed") << QString() << true;
        QTest::newRow("both") << QStringLiteral("/etc/mysql8-key.pem") << true;
    }
    void serverKeyRoundTrip()
    {
        QFETCH(QString, keyFile);
        QFETCH(bool, fetch);
        TFormServer *dialog = m_window->formServer();
        dialog->prepareForAdd();
        QCOMPARE(dialog->CheckFetchServerKey->text(), QStringLiteral("Allow the server's RSA key to be fetched"));
        QVERIFY(!dialog->CheckFetchServerKey->isChecked());
        QVERIFY(dialog->EditServerKey->text().isEmpty());
        // Without TLS is when the key matters.
        QVERIFY(dialog->EditServerKey->isEnabled());
        QVERIFY(dialog->CheckFetchServerKey->isEnabled());
        dialog->Editserver->setText(QStringLiteral("mysql8"));
        dialog->EditUser->setText(QStringLiteral("dba"));
        dialog->EditServerKey->setText(keyFile);
        if (fetch)
            dialog->CheckFetchServerKey->click();
        QVERIFY(dialog->ButtonApply->isEnabled());
        QVERIFY(dialog->Apply());

        QSettings raw(path(), QSettings::IniFormat);
        QCOMPARE(raw.contains(QStringLiteral("mysql8/ServerPublicKey")), !keyFile.isEmpty());
        QCOMPARE(raw.value(QStringLiteral("mysql8/ServerPublicKey")).toString(), keyFile);
        QCOMPARE(raw.contains(QStringLiteral("mysql8/GetServerPublicKey")), fetch);
        QCOMPARE(raw.value(QStringLiteral("mysql8/GetServerPublicKey")).toString(),
                 fetch ? QStringLiteral("1") : QString());

        dialog->prepareForAdd();
        m_store->LoadServerProfile(QStringLiteral("mysql8"));
        QCOMPARE(m_store->currentProfile().ServerPublicKey, keyFile);
        QCOMPARE(m_store->currentProfile().GetServerPublicKey, fetch);
        dialog->prepareForModify();
        QCOMPARE(dialog->EditServerKey->text(), keyFile);
        QCOMPARE(dialog->CheckFetchServerKey->isChecked(), fetch);
    }

    void applyNeedsServerUserAndPort_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("saved");
        QTest::newRow("all filled") << "db1" << "3306" << "root" << true;
        QTest::newRow("no server") << "" << "3306" << "root" << false;
        QTest::newRow("no port") << "db1" << "" << "root" << false;
        QTest::newRow("no user") << "db1" << "3306" << "" << false;
        QTest::newRow("blanks count as filled") << " " << " " << " " << true;
        QTest::newRow("port may be any text") << "db1" << "abc" << "root" << true;
    }
    void applyNeedsServerUserAndPort()
    {
        QFETCH(QString, server);
        QFETCH(QString, port);
        QFETCH(QString, user);
        QFETCH(bool, saved);
        TFormServer *dialog = m_window->formServer();
        m_store->currentProfile().Auto = true; // carried along unchanged
        dialog->prepareForAdd();
        dialog->Editserver->setText(server);
        dialog->EditPort->setText(port);
        dialog->EditUser->setText(user);
        dialog->EditPsw->setText(QStringLiteral("secret"));
        dialog->Editdb->setText(QStringLiteral("shop"));
        dialog->CheckAppServer->setChecked(true);
        QString message;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        answerMessageBox(QMessageBox::Ok, &message, &icon);
        dialog->ButtonApply->click();
        QCOMPARE(dialog->applied(), saved);
        if (!saved) {
            QCOMPARE(message, QStringLiteral("Server, User and Port is required."));
            QCOMPARE(icon, QMessageBox::Information);
            QCOMPARE(QFileInfo(path()).size(), 0);
            return;
        }
        QVERIFY(message.isEmpty());
        SettingsStore check(path());
        check.LoadProgramSettings();
        QCOMPARE(check.ServerSections(), QStringList{server});
        check.LoadServerProfile(server);
        QCOMPARE(check.currentProfile().User, user);
        QCOMPARE(check.currentProfile().Psw, QStringLiteral("secret"));
        QCOMPARE(check.currentProfile().Port, port);
        QCOMPARE(check.currentProfile().Database, QStringLiteral("shop"));
        QCOMPARE(check.currentProfile().Check, true);
        QCOMPARE(check.currentProfile().Group, false);
        QCOMPARE(check.currentProfile().Auto, true);
        // The current profile is the one just saved.
        QCOMPARE(m_store->currentProfile().Host, server);
    }

    void addServerFlows_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("buttons"); // pressed in order
        QTest::addColumn<bool>("rowAdded");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("messageShown");
        QTest::newRow("Ok") << "db1" << "root" << QStringList{"ButtonOk"} << true << true << false;
        QTest::newRow("Ok with only the server") << "db1" << "" << QStringList{"ButtonOk"} << false << false << true;
        QTest::newRow("Apply then Cancel") << "db1" << "root" << QStringList{"ButtonApply", "ButtonCancel"} << false
                                           << true << false;
        QTest::newRow("Cancel") << "db1" << "root" << QStringList{"ButtonCancel"} << false << false << false;
        QTest::newRow("Apply then Ok") << "db1" << "root" << QStringList{"ButtonApply", "ButtonOk"} << true << true
                                       << false;
        // Escape and the close box act like "&Cancel".
        QTest::newRow("Apply then Escape") << "db1" << "root" << QStringList{"ButtonApply", "Escape"} << false
                                           << true << false;
        QTest::newRow("Escape") << "db1" << "root" << QStringList{"Escape"} << false << false << false;
        QTest::newRow("Apply then close box") << "db1" << "root" << QStringList{"ButtonApply", "CloseBox"} << false
                                              << true << false;
    }
    void addServerFlows()
    {
        QFETCH(QString, server);
        QFETCH(QString, user);
        QFETCH(QStringList, buttons);
        QFETCH(bool, rowAdded);
        QFETCH(bool, saved);
        QFETCH(bool, messageShown);
        TFormServer *dialog = m_window->formServer();
        QString message;
        whenModal([&](QWidget *modal) {
            QCOMPARE(modal, static_cast<QWidget *>(dialog));
            QVERIFY(!dialog->ButtonApply->isEnabled());
            QCOMPARE(dialog->EditPort->text(), QStringLiteral("3306"));
            QTest::keyClicks(dialog->Editserver, server);
            QTest::keyClicks(dialog->EditUser, user);
            for (const QString &button : buttons) {
                answerMessageBox(QMessageBox::Ok, &message, nullptr, dialog);
                if (button == QLatin1String("Escape"))
                    QTest::keyClick(dialog->Editserver, Qt::Key_Escape);
                else if (button == QLatin1String("CloseBox"))
                    dialog->close();
                else
                    dialog->findChild<QPushButton *>(button)->click();
            }
        });
        m_window->action(QStringLiteral("server_add"))->trigger();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(message.isEmpty(), !messageShown);
        QCOMPARE(rows(), rowAdded ? QStringList{server} : QStringList());
        if (rowAdded)
            QCOMPARE(m_window->serverList()->selectedItems().value(0)->text(), server);
        QCOMPARE(m_window->action(QStringLiteral("server_remove"))->isEnabled(), rowAdded);
        QCOMPARE(m_window->action(QStringLiteral("server_modify"))->isEnabled(), rowAdded);
        QCOMPARE(raw(server + QStringLiteral("/User")), saved ? user : QString());
        // Saved servers are listed from the next start.
        makeWindow();
        QCOMPARE(rows(), saved ? QStringList{server} : QStringList());
    }

    void addingAListedHostOverwritesIt()
    {
        auto fill = [](const QString &user) {
            return [user](TFormServer *d) {
                d->Editserver->setText(QStringLiteral("db1"));
                d->EditUser->setText(user);
            };
        };
        addServer(fill(QStringLiteral("first")), QStringLiteral("ButtonOk"));
        addServer(fill(QStringLiteral("second")), QStringLiteral("ButtonOk"));
        QCOMPARE(rows(), (QStringList{QStringLiteral("db1"), QStringLiteral("db1")}));
        QCOMPARE(raw(QStringLiteral("db1/User")), QStringLiteral("second"));
        makeWindow();
        QCOMPARE(rows(), QStringList{QStringLiteral("db1")});
    }

    void modifyServer()
    {
        {
            QSettings settings(path(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("old/User"), QStringLiteral("admin"));
            settings.setValue(QStringLiteral("old/Psw"), QStringLiteral("pw"));
            settings.setValue(QStringLiteral("old/Port"), QStringLiteral("3310"));
            settings.setValue(QStringLiteral("old/Database"), QStringLiteral("shop"));
            settings.setValue(QStringLiteral("old/Group"), QStringLiteral("1"));
            settings.setValue(QStringLiteral("old/Check"), QStringLiteral("0"));
        }
        makeWindow();
        TFormServer *dialog = m_window->formServer();
        whenModal([&](QWidget *) {
            QCOMPARE(dialog->Editserver->text(), QStringLiteral("old"));
            QCOMPARE(dialog->EditUser->text(), QStringLiteral("admin"));
            QCOMPARE(dialog->EditPsw->text(), QStringLiteral("pw"));
            QCOMPARE(dialog->EditPort->text(), QStringLiteral("3310"));
            QCOMPARE(dialog->Editdb->text(), QStringLiteral("shop"));
            QVERIFY(dialog->CheckGroupSystem->isChecked());
            QVERIFY(!dialog->CheckAppServer->isChecked());
            QVERIFY(!dialog->ButtonApply->isEnabled());
            dialog->Editserver->setText(QStringLiteral("renamed"));
            dialog->ButtonOk->click();
        });
        m_window->action(QStringLiteral("server_modify"))->trigger();
        // The row keeps its caption; the old section stays beside the new one.
        QCOMPARE(rows(), QStringList{QStringLiteral("old")});
        QCOMPARE(raw(QStringLiteral("renamed/User")), QStringLiteral("admin"));
        QCOMPARE(raw(QStringLiteral("renamed/Port")), QStringLiteral("3310"));
        QCOMPARE(raw(QStringLiteral("old/User")), QStringLiteral("admin"));
        makeWindow();
        QCOMPARE(rows(), (QStringList{QStringLiteral("old"), QStringLiteral("renamed")}));
    }

    void removeServer_data()
    {
        QTest::addColumn<QString>("answer"); // button clicked, or "close"
        QTest::newRow("OK") << "ButtonOk";
        QTest::newRow("Cancel") << "ButtonCancel";
        QTest::newRow("close box") << "close";
    }
    void removeServer()
    {
        QFETCH(QString, answer);
        {
            QSettings settings(path(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("only/User"), QStringLiteral("u"));
        }
        makeWindow();
        TFormMessage *message = m_window->formMessage();
        QString caption, text, item;
        whenModal([&](QWidget *modal) {
            QCOMPARE(modal, static_cast<QWidget *>(message));
            caption = message->windowTitle();
            text = message->LabelText->text();
            item = message->LabelItem->text();
            if (answer == QLatin1String("close"))
                message->close();
            else
                message->findChild<QPushButton *>(answer)->click();
        });
        m_window->action(QStringLiteral("server_remove"))->trigger();
        QCOMPARE(caption, QStringLiteral("Delete Server from list"));
        QCOMPARE(text, QStringLiteral("Delete Server from list ?"));
        QCOMPARE(item, QStringLiteral("only"));
        QCOMPARE(message->windowTitle(), QStringLiteral("Message"));
        const bool removed = answer == QLatin1String("ButtonOk");
        QCOMPARE(rows(), removed ? QStringList() : QStringList{QStringLiteral("only")});
        QCOMPARE(raw(QStringLiteral("only/User")), removed ? QString() : QStringLiteral("u"));
        QCOMPARE(m_window->action(QStringLiteral("server_remove"))->isEnabled(), !removed);
        QCOMPARE(m_window->action(QStringLiteral("server_modify"))->isEnabled(), !removed);
    }

    void removeAndModifyNeedASelectedRow()
    {
        m_window->AddServerItem(QStringLiteral("x"));
        m_window->serverList()->clearSelection();
        bool opened = false;
        whenModal([&](QWidget *modal) {
            opened = true;
            qobject_cast<QDialog *>(modal)->reject();
        });
        m_window->action(QStringLiteral("server_remove"))->trigger();
        m_window->action(QStringLiteral("server_modify"))->trigger();
        QTest::qWait(100);
        QVERIFY(!opened);
        QCOMPARE(rows(), QStringList{QStringLiteral("x")});
    }

    // Options dialog

    void optionsDialogLoadsTheSettings()
    {
        TProgramSettings &program = m_store->programSettings();
        program.DBHL = true;
        program.DBL = QStringLiteral("42");
        program.start = QStringLiteral("/opt/db/bin/start --now");
        program.stop = QStringLiteral("/opt/db/bin/stop");
        program.NullText = QStringLiteral("NULL");
        program.ConnectTimeout = QStringLiteral("25");
        program.ResultMemory = QStringLiteral("96");
        program.ReplicaLagLimit = QStringLiteral("90");
        TFormOptionen *dialog = m_window->formOptionen();
        whenModal([&](QWidget *) {
            QCOMPARE(dialog->SpinConnectTimeout->value(), 25);
            QCOMPARE(dialog->SpinResultMemory->value(), 96);
            QCOMPARE(dialog->SpinResultMemory->accessibleName(), QStringLiteral("Result memory budget (MB)"));
            QCOMPARE(dialog->SpinReplicaLag->value(), 90);
            QCOMPARE(dialog->pages->tabText(dialog->pages->currentIndex()), QStringLiteral("&Standart"));
            QVERIFY(dialog->Radiohard->isChecked());
            QVERIFY(!dialog->Radiolight->isChecked());
            QCOMPARE(dialog->EditLimit->text(), QStringLiteral("42"));
            QCOMPARE(dialog->FilenameEditStart->lineEdit()->text(), QStringLiteral("/opt/db/bin/start --now"));
            QCOMPARE(dialog->FilenameEditStop->lineEdit()->text(), QStringLiteral("/opt/db/bin/stop"));
            QCOMPARE(dialog->EditNullText->text(), QStringLiteral("NULL"));
            QVERIFY(!dialog->ButtonApply->isEnabled());
            dialog->ButtonCancel->click();
        });
        m_window->action(QStringLiteral("tools_optionen"))->trigger();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Programm Optionen"));
        // Cancel saves nothing.
        QCOMPARE(QFileInfo(path()).size(), 0);
        program.DBHL = false;
        dialog->load();
        QVERIFY(dialog->Radiolight->isChecked());
    }

    void optionsChangesEnableApply_data()
    {
        QTest::addColumn<QString>("control");
        QTest::newRow("hard limit") << "Radiohard";
        QTest::newRow("normal limit") << "Radiolight";
        QTest::newRow("limit") << "EditLimit";
        QTest::newRow("start") << "FilenameEditStart";
        QTest::newRow("stop") << "FilenameEditStop";
        QTest::newRow("show NULL as") << "EditNullText";
        QTest::newRow("connect timeout") << "SpinConnectTimeout";
        QTest::newRow("result memory budget") << "SpinResultMemory";
        QTest::newRow("replica lag limit") << "SpinReplicaLag";
    }
    void optionsChangesEnableApply()
    {
        QFETCH(QString, control);
        TFormOptionen *dialog = m_window->formOptionen();
        dialog->load();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QVERIFY(!dialog->ButtonApply->isEnabled());
        QWidget *widget = dialog->findChild<QWidget *>(control);
        QVERIFY(widget);
        if (auto *radio = qobject_cast<QRadioButton *>(widget))
            radio->click();
        else if (auto *file = qobject_cast<FilenameEdit *>(widget))
            QTest::keyClicks(file->lineEdit(), QStringLiteral(" -v"));
        else if (auto *spin = qobject_cast<QSpinBox *>(widget))
            QTest::keyClick(spin, Qt::Key_Up);
        else
            QTest::keyClicks(widget, QStringLiteral("0"));
        QVERIFY(dialog->ButtonApply->isEnabled());
        dialog->hide();
    }

    void optionsApplySavesWithTheGeometry()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->resize(777, 555);
        TFormOptionen *dialog = m_window->formOptionen();
        whenModal([&](QWidget *) {
            dialog->Radiohard->click();
            dialog->EditLimit->setText(QStringLiteral("ten"));
            dialog->FilenameEditStop->setChosenFile(m_dir->filePath(QStringLiteral("stop me")));
            dialog->EditNullText->setText(QStringLiteral("NULL"));
            dialog->SpinConnectTimeout->setValue(3);
            dialog->SpinResultMemory->setValue(512);
            dialog->SpinReplicaLag->setValue(45);
            dialog->ButtonOk->click();
        });
        QCOMPARE(m_window->gridSupport()->nullText(), QString());
        m_window->action(QStringLiteral("tools_optionen"))->trigger();
        QCOMPARE(m_store->programSettings().DBHL, true);
        // The grids show the new text for NULL at once.
        QCOMPARE(raw(QStringLiteral("NullText")), QStringLiteral("NULL"));
        QCOMPARE(m_window->gridSupport()->nullText(), QStringLiteral("NULL"));
        // The limit is taken as typed, not validated.
        QCOMPARE(m_store->programSettings().DBL, QStringLiteral("ten"));
        QCOMPARE(raw(QStringLiteral("DBHL")), QStringLiteral("1"));
        QCOMPARE(raw(QStringLiteral("DBL")), QStringLiteral("ten"));
        // The chosen file replaced the whole command line.
        QCOMPARE(raw(QStringLiteral("stop")), QDir::toNativeSeparators(m_dir->filePath(QStringLiteral("stop me"))));
        QCOMPARE(raw(QStringLiteral("ConnectTimeout")), QStringLiteral("3"));
        QCOMPARE(raw(QStringLiteral("ResultMemory")), QStringLiteral("512"));
        QCOMPARE(raw(QStringLiteral("ReplicaLagLimit")), QStringLiteral("45"));
        QCOMPARE(raw(QStringLiteral("Width")), QStringLiteral("777"));
        QCOMPARE(raw(QStringLiteral("Height")), QStringLiteral("555"));
    }

    void browseButtonReplacesTheWholeCommandLine()
    {
        const QString program = m_dir->filePath(QStringLiteral("mysqld-local"));
        {
            QFile file(program);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        TFormOptionen *dialog = m_window->formOptionen();
        dialog->load();
        dialog->FilenameEditStart->lineEdit()->setText(QStringLiteral("old-server --flush --console"));
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        whenModal(
            [&](QWidget *modal) {
                auto *chooser = qobject_cast<QFileDialog *>(modal);
                QVERIFY(chooser);
                // The name is typed into the dialog's name box, the way a
                // user gives it. selectFile() leaves that box alone once it
                // has the focus, which it gets when the dialog is activated;
                // whether that had happened yet made this test flaky. The
                // dialog is active and the box focused first, always.
                auto *nameBox = chooser->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                QVERIFY(nameBox);
                chooser->activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(chooser));
                nameBox->setFocus();
                QTRY_VERIFY(nameBox->hasFocus());
                nameBox->setText(program);
                // Accepted as chosen; the dialog's own check for the file
                // would wait for its folder listing.
                static_cast<QDialog *>(chooser)->done(QDialog::Accepted);
            },
            dialog);
        dialog->FilenameEditStart->browseButton()->click();
        QCOMPARE(dialog->FilenameEditStart->lineEdit()->text(), QDir::toNativeSeparators(program));
        QVERIFY(dialog->ButtonApply->isEnabled());
        dialog->hide();
    }

    void optionsOkWithoutChangeStillSaves()
    {
        TFormOptionen *dialog = m_window->formOptionen();
        whenModal([&](QWidget *) { dialog->ButtonOk->click(); });
        m_window->action(QStringLiteral("tools_optionen"))->trigger();
        QCOMPARE(raw(QStringLiteral("Width")), QStringLiteral("640"));
        QCOMPARE(raw(QStringLiteral("DBL")), QStringLiteral("100"));
        QCOMPARE(raw(QStringLiteral("DBHL")), QStringLiteral("0"));
        QCOMPARE(raw(QStringLiteral("start")), LocalServer::defaultStartCommand());
    }

    // Local server commands

    void defaultCommandsRunTheHelper()
    {
#ifdef Q_OS_WIN
        QCOMPARE(LocalServer::defaultStartCommand(),
                 QStringLiteral("c:\\mysql\\bin\\mysqld-shareware.exe --standalone --flush --console "
                                "--datadir=C:\\mysql\\data"));
        QCOMPARE(LocalServer::defaultStopCommand(), QStringLiteral("c:\\mysql\\bin\\mysqladmin shutdown"));
#else
        const QString script = LocalServer::helperScript();
        QVERIFY2(!script.isEmpty(), "quarnel-local-server not found");
        QVERIFY(QFileInfo(script).isExecutable());
        QStringList start = QProcess::splitCommand(LocalServer::defaultStartCommand());
        QCOMPARE(start, (QStringList{script, QStringLiteral("start")}));
        QStringList stop = QProcess::splitCommand(LocalServer::defaultStopCommand());
        QCOMPARE(stop, (QStringList{script, QStringLiteral("stop")}));
#endif
    }

    void launchMessages_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("launched");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("blanks only") << "   " << false;
        QTest::newRow("unknown program") << "/nonexistent/mysqld --console" << false;
        QTest::newRow("a folder") << "/" << false;
#ifndef Q_OS_WIN
        QTest::newRow("program on the path") << "true" << true;
        QTest::newRow("quoted path with a blank and arguments") << "@SCRIPT@ one \"two words\"" << true;
#endif
    }
    void launchMessages()
    {
        QFETCH(QString, command);
        QFETCH(bool, launched);
#ifndef Q_OS_WIN
        // A program that proves it ran with its arguments split as a shell would.
        const QString marker = m_dir->filePath(QStringLiteral("ran"));
        const QString script = m_dir->filePath(QStringLiteral("my tool.sh"));
        {
            QFile file(script);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\nprintf '%s|' \"$@\" >> \"" + QFile::encodeName(marker) + "\"\n");
        }
        QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        command.replace(QStringLiteral("@SCRIPT@"), QLatin1Char('"') + script + QLatin1Char('"'));
#endif
        for (const bool start : {true, false}) {
            TProgramSettings &program = m_store->programSettings();
            (start ? program.start : program.stop) = command;
            (start ? program.stop : program.start) = QStringLiteral("/nonexistent/other");
            const QString name = start ? QStringLiteral("admin_start_local_db") : QStringLiteral("admin_stop_local_db");
            m_window->action(name)->trigger();
            const QString expected = start ? (launched ? QStringLiteral("Local Mysql-Server started ...")
                                                       : QStringLiteral("Error : Can not start Local Mysql-Server ..."))
                                           : (launched ? QStringLiteral("Stop the Local Mysql-Server ...")
                                                       : QStringLiteral("Error : Can not stop Local Mysql-Server ..."));
            QCOMPARE(m_window->messageLog()->lines().constLast(), expected);
        }
#ifndef Q_OS_WIN
        if (command.contains(script)) {
            // Started once as the start and once as the stop command.
            auto ranWith = [&marker] {
                QFile file(marker);
                return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            };
            QTRY_COMPARE(ranWith(), QByteArray("one|two words|one|two words|"));
        }
#endif
    }

    // Message dialog

    void messageDialogResults_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("result");
        QTest::newRow("OK") << "ButtonOk" << 1;
        QTest::newRow("Cancel") << "ButtonCancel" << 0;
        QTest::newRow("close box") << "close" << 0;
        QTest::newRow("Escape") << "escape" << 0;
    }
    void messageDialogResults()
    {
        QFETCH(QString, answer);
        QFETCH(int, result);
        TFormMessage dialog;
        whenModal([&](QWidget *) {
            if (answer == QLatin1String("close"))
                dialog.close();
            else if (answer == QLatin1String("escape"))
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.findChild<QPushButton *>(answer)->click();
        });
        QCOMPARE(dialog.ask(QStringLiteral("Drop"), QStringLiteral("Really ?"), QStringLiteral("thing")), result);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Message"));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"

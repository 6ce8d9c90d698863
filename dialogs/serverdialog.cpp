#include "dialogs/serverdialog.h"

#include "client/mysqlclienttask.h"
#include "data/hostlist.h"
#include "data/settingsstore.h"
#include "dialogs/errorbox.h"
#include "dialogs/placement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QToolButton>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The password field masks with "*", whatever the platform's bullet is.
class StarPasswordStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

const QColor DarkRed(128, 0, 0);

QLabel *redLabel(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, DarkRed);
    label->setPalette(palette);
    label->setBuddy(buddy);
    return label;
}

QLineEdit *field(const QString &objectName, const QString &accessibleName, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setAccessibleName(accessibleName);
    return edit;
}

QCheckBox *redCheckBox(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(objectName);
    box->setAccessibleName(QString(text).remove(QLatin1Char('&')).remove(QLatin1Char(':')).trimmed());
    QPalette palette = box->palette();
    palette.setColor(QPalette::WindowText, DarkRed);
    box->setPalette(palette);
    return box;
}

QLabel *note(const QStringList &lines, QWidget *parent)
{
    auto *label = new QLabel(lines.join(QLatin1Char('\n')), parent);
    return label;
}

} // namespace

TFormServer::TFormServer(SettingsStore *settings, QWidget *parent)
    : QDialog(parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("FormServer"));
    setWindowTitle(QStringLiteral("Server Configuration"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint);
    setModal(true);
    KeepCentredOnDesktop(this);

    Editserver = field(QStringLiteral("Editserver"), QStringLiteral("MySQL Server"), this);
    Editserver->setToolTip(QStringLiteral("Server to connect"));
    Editdb = field(QStringLiteral("Editdb"), QStringLiteral("Database"), this);
    Editdb->setText(QStringLiteral("mysql"));
    EditPort = field(QStringLiteral("EditPort"), QStringLiteral("Port"), this);
    EditUser = field(QStringLiteral("EditUser"), QStringLiteral("Username"), this);
    EditUser->setToolTip(QStringLiteral("You must have access to then mysql database."));
    EditPsw = field(QStringLiteral("EditPsw"), QStringLiteral("Password"), this);
    EditPsw->setEchoMode(QLineEdit::Password);
    // Owned by the dialog and created after the field, so it outlives it.
    auto *starStyle = new StarPasswordStyle;
    starStyle->setParent(this);
    EditPsw->setStyle(starStyle);

    CheckShowPsw = new QCheckBox(QStringLiteral("Show"), this);
    CheckShowPsw->setObjectName(QStringLiteral("CheckShowPsw"));
    CheckShowPsw->setAccessibleName(QStringLiteral("Show the password"));
    connect(CheckShowPsw, &QCheckBox::toggled, this, [this](bool shown) {
        EditPsw->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });

    LabelSecrets = new QLabel(this);
    LabelSecrets->setObjectName(QStringLiteral("LabelSecrets"));
    showWhereSecretsAre();

    CheckGroupSystem = redCheckBox(QStringLiteral("CheckGroupSystem"),
                                   QStringLiteral("Check &Group-System on this Server:"), this);
    CheckAppServer = redCheckBox(QStringLiteral("CheckAppServer"), QStringLiteral("Check Application Server :"), this);

    GroupSecurity = new QGroupBox(QStringLiteral("Security"), this);
    GroupSecurity->setObjectName(QStringLiteral("GroupSecurity"));
    ComboTls = new QComboBox(GroupSecurity);
    ComboTls->setObjectName(QStringLiteral("ComboTls"));
    ComboTls->setAccessibleName(QStringLiteral("TLS mode"));
    // In the order of TTlsMode.
    ComboTls->addItems({QStringLiteral("Off"), QStringLiteral("Preferred"), QStringLiteral("Required"),
                        QStringLiteral("Verify CA"), QStringLiteral("Verify identity")});
    EditTlsCA = field(QStringLiteral("EditTlsCA"), QStringLiteral("CA file"), GroupSecurity);
    EditTlsCert = field(QStringLiteral("EditTlsCert"), QStringLiteral("Client certificate"), GroupSecurity);
    EditTlsKey = field(QStringLiteral("EditTlsKey"), QStringLiteral("Client key"), GroupSecurity);
    auto *security = new QFormLayout(GroupSecurity);
    security->addRow(QStringLiteral("&TLS:"), ComboTls);
    security->addRow(QStringLiteral("CA file:"), fileRow(EditTlsCA, QStringLiteral("CA file")));
    security->addRow(QStringLiteral("Client certificate:"),
                     fileRow(EditTlsCert, QStringLiteral("Client certificate")));
    security->addRow(QStringLiteral("Client key:"), fileRow(EditTlsKey, QStringLiteral("Client key")));
    EditServerKey = field(QStringLiteral("EditServerKey"), QStringLiteral("Server's RSA public key file"),
                          GroupSecurity);
    EditServerKey->setToolTip(QStringLiteral("Without TLS, MySQL 8 accounts send their password encrypted with it"));
    security->addRow(QStringLiteral("Server's RSA key:"),
                     fileRow(EditServerKey, QStringLiteral("Server's RSA public key file")));
    CheckFetchServerKey = new QCheckBox(QStringLiteral("Allow the server's RSA key to be fetched"), GroupSecurity);
    CheckFetchServerKey->setObjectName(QStringLiteral("CheckFetchServerKey"));
    CheckFetchServerKey->setAccessibleName(CheckFetchServerKey->text());
    security->addRow(CheckFetchServerKey);
    enableTlsFiles();

    GroupSsh = new QGroupBox(QStringLiteral("SSH tunnel"), this);
    GroupSsh->setObjectName(QStringLiteral("GroupSsh"));
    CheckSsh = new QCheckBox(QStringLiteral("Connect through an SSH &tunnel"), GroupSsh);
    CheckSsh->setObjectName(QStringLiteral("CheckSsh"));
    CheckSsh->setAccessibleName(QStringLiteral("Connect through an SSH tunnel"));
    EditSshHost = field(QStringLiteral("EditSshHost"), QStringLiteral("SSH host"), GroupSsh);
    EditSshHost->setToolTip(QStringLiteral("The SSH server; the database server is reached from there"));
    EditSshPort = field(QStringLiteral("EditSshPort"), QStringLiteral("SSH port"), GroupSsh);
    EditSshUser = field(QStringLiteral("EditSshUser"), QStringLiteral("SSH user"), GroupSsh);
    EditSshKeyFile = field(QStringLiteral("EditSshKeyFile"), QStringLiteral("SSH key file"), GroupSsh);
    EditSshPassphrase = field(QStringLiteral("EditSshPassphrase"), QStringLiteral("Key passphrase"), GroupSsh);
    EditSshPassword = field(QStringLiteral("EditSshPassword"), QStringLiteral("SSH password"), GroupSsh);
    for (QLineEdit *secret : {EditSshPassphrase, EditSshPassword}) {
        secret->setEchoMode(QLineEdit::Password);
        secret->setStyle(starStyle);
    }
    CheckShowSshPassphrase = showToggle(EditSshPassphrase, QStringLiteral("CheckShowSshPassphrase"),
                                        QStringLiteral("Show the key passphrase"));
    CheckShowSshPassword = showToggle(EditSshPassword, QStringLiteral("CheckShowSshPassword"),
                                      QStringLiteral("Show the SSH password"));
    auto *ssh = new QFormLayout(GroupSsh);
    ssh->addRow(CheckSsh);
    ssh->addRow(QStringLiteral("SSH host:"), EditSshHost);
    ssh->addRow(QStringLiteral("SSH port:"), EditSshPort);
    ssh->addRow(QStringLiteral("SSH user:"), EditSshUser);
    ssh->addRow(QStringLiteral("Key file:"), fileRow(EditSshKeyFile, QStringLiteral("SSH key file")));
    const auto secretRow = [this](QLineEdit *edit, QCheckBox *show) {
        auto *row = new QWidget(GroupSsh);
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        edit->setParent(row);
        show->setParent(row);
        layout->addWidget(edit);
        layout->addWidget(show);
        return row;
    };
    ssh->addRow(QStringLiteral("Passphrase:"), secretRow(EditSshPassphrase, CheckShowSshPassphrase));
    ssh->addRow(QStringLiteral("SSH password:"), secretRow(EditSshPassword, CheckShowSshPassword));
    enableSshFields();

    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonOk = new QPushButton(QStringLiteral("&Ok"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonApply = new QPushButton(QStringLiteral("&Apply"), this);
    ButtonApply->setObjectName(QStringLiteral("ButtonApply"));
    ButtonApply->setEnabled(false);
    // Enter in a field must not run Ok behind the user's back.
    for (QPushButton *button : {ButtonCancel, ButtonOk, ButtonApply})
        button->setAutoDefault(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(note({QStringLiteral("Server Configuration. "),
                            QStringLiteral("Quarnel generally require that you specify connection parameters "),
                            QStringLiteral("when you want to access a MySQL server: The host you want to connect "),
                            QStringLiteral("to, your user name, password and port.")},
                           this));
    auto *fields = new QGridLayout;
    const QList<QPair<QString, QLineEdit *>> rows = {
        {QStringLiteral("MySQL &Server:"), Editserver}, {QStringLiteral("Database:"), Editdb},
        {QStringLiteral("&Port:"), EditPort},           {QStringLiteral("&Username:"), EditUser},
        {QStringLiteral("Pass&word:"), EditPsw},
    };
    for (int i = 0; i < rows.size(); ++i) {
        fields->addWidget(redLabel(rows[i].first, rows[i].second, this), i, 0);
        fields->addWidget(rows[i].second, i, 1);
    }
    fields->addWidget(CheckShowPsw, int(rows.size()) - 1, 2);
    fields->addWidget(LabelSecrets, int(rows.size()), 1, 1, 2);
    layout->addLayout(fields);
    layout->addSpacing(8);
    layout->addWidget(note({QStringLiteral("Check Group-System on login. The Group-System "),
                            QStringLiteral("is a special fuction from Quarnel and not suported from Mysql.")},
                           this));
    layout->addWidget(CheckGroupSystem);
    layout->addSpacing(8);
    layout->addWidget(note({QStringLiteral("Check Application Server on login."),
                            QStringLiteral("Application Server is aditional Service on Mysql-Server"),
                            QStringLiteral("on Linux. This service is not suported from Mysql.")},
                           this));
    layout->addWidget(CheckAppServer);
    layout->addSpacing(8);
    auto *connection = new QHBoxLayout;
    connection->addWidget(GroupSecurity, 0, Qt::AlignTop);
    connection->addWidget(GroupSsh, 0, Qt::AlignTop);
    layout->addLayout(connection);
    layout->addSpacing(8);
    EditHosts = new QPlainTextEdit(this);
    EditHosts->setObjectName(QStringLiteral("EditHosts"));
    EditHosts->setAccessibleName(QStringLiteral("Further hosts"));
    EditHosts->setToolTip(QStringLiteral("Other servers of the same cluster, one host:port a line, tried in order "
                                         "when the server above does not answer"));
    EditHosts->setTabChangesFocus(true);
    EditHosts->setFixedHeight(EditHosts->fontMetrics().lineSpacing() * 4 + 12);
    layout->addWidget(redLabel(QStringLiteral("&Further hosts (host:port, one a line):"), EditHosts, this));
    layout->addWidget(EditHosts);
    layout->addSpacing(8);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonCancel);
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonApply);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(Editserver, EditPort);
    setTabOrder(EditPort, EditUser);
    setTabOrder(EditUser, EditPsw);
    setTabOrder(EditPsw, CheckGroupSystem);
    setTabOrder(CheckGroupSystem, CheckAppServer);
    setTabOrder(CheckAppServer, ButtonOk);
    setTabOrder(ButtonOk, ButtonCancel);
    setTabOrder(ButtonCancel, ButtonApply);
    setTabOrder(ButtonApply, Editdb);
    setTabOrder(Editdb, ComboTls);
    setTabOrder(ComboTls, EditTlsCA);
    setTabOrder(EditTlsCA, EditTlsCert);
    setTabOrder(EditTlsCert, EditTlsKey);
    setTabOrder(EditTlsKey, EditServerKey);
    setTabOrder(EditServerKey, CheckFetchServerKey);
    setTabOrder(CheckFetchServerKey, CheckSsh);
    setTabOrder(CheckSsh, EditSshHost);
    setTabOrder(EditSshHost, EditSshPort);
    setTabOrder(EditSshPort, EditSshUser);
    setTabOrder(EditSshUser, EditSshKeyFile);
    setTabOrder(EditSshKeyFile, EditSshPassphrase);
    setTabOrder(EditSshPassphrase, CheckShowSshPassphrase);
    setTabOrder(CheckShowSshPassphrase, EditSshPassword);
    setTabOrder(EditSshPassword, CheckShowSshPassword);
    setTabOrder(CheckShowSshPassword, EditHosts);

    for (QLineEdit *edit : {Editserver, Editdb, EditPort, EditUser, EditPsw, EditTlsCA, EditTlsCert, EditTlsKey, EditServerKey,
                            EditSshHost, EditSshPort, EditSshUser, EditSshKeyFile, EditSshPassphrase, EditSshPassword})
        connect(edit, &QLineEdit::textChanged, this, &TFormServer::enableApply);
    connect(CheckSsh, &QCheckBox::clicked, this, &TFormServer::enableApply);
    connect(CheckSsh, &QCheckBox::toggled, this, &TFormServer::enableSshFields);
    connect(ComboTls, &QComboBox::activated, this, &TFormServer::enableApply);
    connect(EditHosts, &QPlainTextEdit::textChanged, this, &TFormServer::enableApply);
    connect(ComboTls, &QComboBox::currentIndexChanged, this, &TFormServer::enableTlsFiles);
    connect(CheckGroupSystem, &QCheckBox::clicked, this, &TFormServer::enableApply);
    connect(CheckAppServer, &QCheckBox::clicked, this, &TFormServer::enableApply);
    connect(CheckFetchServerKey, &QCheckBox::clicked, this, &TFormServer::enableApply);

    connect(ButtonApply, &QPushButton::clicked, this, &TFormServer::Apply);
    connect(ButtonOk, &QPushButton::clicked, this, [this] {
        Apply();
        accept();
    });
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormServer::reject);
}

void TFormServer::reject()
{
    // "&Cancel", Escape and the close box alike: an emptied server field
    // tells Add Server to add no row, whatever Apply saved.
    Editserver->clear();
    QDialog::reject();
}

void TFormServer::enableApply()
{
    ButtonApply->setEnabled(true);
}

void TFormServer::enableTlsFiles()
{
    const bool secured = ComboTls->currentIndex() > int(tmOff);
    for (QLineEdit *edit : {EditTlsCA, EditTlsCert, EditTlsKey})
        edit->parentWidget()->setEnabled(secured);
}

void TFormServer::enableSshFields()
{
    const bool on = CheckSsh->isChecked();
    for (QLineEdit *edit : {EditSshHost, EditSshPort, EditSshUser})
        edit->setEnabled(on);
    // The key file, passphrase and password rows hold their buttons too.
    for (QLineEdit *edit : {EditSshKeyFile, EditSshPassphrase, EditSshPassword})
        edit->parentWidget()->setEnabled(on);
}

QCheckBox *TFormServer::showToggle(QLineEdit *edit, const QString &objectName, const QString &accessibleName)
{
    auto *show = new QCheckBox(QStringLiteral("Show"), edit->parentWidget());
    show->setObjectName(objectName);
    show->setAccessibleName(accessibleName);
    connect(show, &QCheckBox::toggled, this, [edit](bool shown) {
        edit->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });
    return show;
}

QWidget *TFormServer::fileRow(QLineEdit *edit, const QString &pickerTitle)
{
    auto *row = new QWidget(edit->parentWidget());
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    edit->setParent(row);
    layout->addWidget(edit);
    auto *pick = new QToolButton(row);
    pick->setObjectName(edit->objectName() + QStringLiteral("Pick"));
    pick->setText(QStringLiteral("..."));
    pick->setAccessibleName(pickerTitle);
    layout->addWidget(pick);
    connect(pick, &QToolButton::clicked, this, [this, edit, pickerTitle] {
        const QString path = QFileDialog::getOpenFileName(this, pickerTitle, edit->text());
        if (!path.isEmpty())
            edit->setText(path);
    });
    return row;
}

void TFormServer::showWhereSecretsAre()
{
    const QString text = m_settings && m_settings->keepsSecretsInKeychain()
        ? QStringLiteral("Passwords are kept in the desktop's keychain.")
        : QStringLiteral("Passwords are kept in the settings file.");
    LabelSecrets->setText(text);
    LabelSecrets->setAccessibleName(text);
}

void TFormServer::prepareForAdd()
{
    showWhereSecretsAre();
    CheckShowPsw->setChecked(false);
    Editserver->clear();
    EditPort->setText(QStringLiteral("3306"));
    EditUser->clear();
    EditPsw->clear();
    CheckGroupSystem->setChecked(false);
    CheckAppServer->setChecked(false);
    ComboTls->setCurrentIndex(int(tmOff));
    for (QLineEdit *edit : {EditTlsCA, EditTlsCert, EditTlsKey, EditServerKey})
        edit->clear();
    CheckShowSshPassphrase->setChecked(false);
    CheckShowSshPassword->setChecked(false);
    CheckSsh->setChecked(false);
    for (QLineEdit *edit : {EditSshHost, EditSshUser, EditSshKeyFile, EditSshPassphrase, EditSshPassword})
        edit->clear();
    EditSshPort->setText(QStringLiteral("22"));
    EditHosts->clear();
    CheckFetchServerKey->setChecked(false);
    ButtonApply->setEnabled(false);
    m_applied = false;
    Editserver->setFocus();
}

void TFormServer::prepareForModify()
{
    showWhereSecretsAre();
    CheckShowPsw->setChecked(false);
    const TServerProfile &profile = m_settings->currentProfile();
    EditUser->setText(profile.User);
    EditPsw->setText(profile.Psw);
    Editserver->setText(profile.Host);
    EditPort->setText(profile.Port);
    Editdb->setText(profile.Database);
    CheckGroupSystem->setChecked(profile.Group);
    CheckAppServer->setChecked(profile.Check);
    ComboTls->setCurrentIndex(int(TlsModeFromText(profile.TlsMode)));
    EditTlsCA->setText(profile.TlsCA);
    EditTlsCert->setText(profile.TlsCert);
    EditTlsKey->setText(profile.TlsKey);
    CheckShowSshPassphrase->setChecked(false);
    CheckShowSshPassword->setChecked(false);
    CheckSsh->setChecked(profile.Ssh);
    EditSshHost->setText(profile.SshHost);
    EditSshPort->setText(profile.SshPort);
    EditSshUser->setText(profile.SshUser);
    EditSshKeyFile->setText(profile.SshKeyFile);
    EditSshPassphrase->setText(profile.SshPassphrase);
    EditSshPassword->setText(profile.SshPassword);
    EditHosts->setPlainText(profile.Hosts.join(QLatin1Char('\n')));
    EditServerKey->setText(profile.ServerPublicKey);
    CheckFetchServerKey->setChecked(profile.GetServerPublicKey);
    ButtonApply->setEnabled(false);
    m_applied = false;
    Editserver->setFocus();
}

bool TFormServer::Apply()
{
    if (Editserver->text().isEmpty() || EditPort->text().isEmpty() || EditUser->text().isEmpty()) {
        QMessageBox::information(this, windowTitle(), QStringLiteral("Server, User and Port is required."));
        m_applied = false;
        return false;
    }
    if (CheckSsh->isChecked()) {
        bool portOk = false;
        const int sshPort = EditSshPort->text().trimmed().toInt(&portOk);
        if (EditSshHost->text().trimmed().isEmpty() || EditSshUser->text().trimmed().isEmpty() || !portOk
            || sshPort <= 0 || sshPort > 65535) {
            QMessageBox::information(this, windowTitle(),
                                     QStringLiteral("The SSH tunnel needs the SSH host, the SSH user and a port "
                                                    "number from 1 to 65535."));
            m_applied = false;
            return false;
        }
    }
    const QStringList hosts = HostLines(EditHosts->toPlainText());
    QString badHost;
    if (!ParseHostList(hosts, 3306, nullptr, &badHost)) {
        QMessageBox::information(this, windowTitle(),
                                 QStringLiteral("'%1' is not a valid host (host:port).").arg(badHost));
        m_applied = false;
        return false;
    }
    TServerProfile &profile = m_settings->currentProfile();
    profile.Hosts = hosts;
    profile.User = EditUser->text();
    profile.Psw = EditPsw->text();
    profile.Host = Editserver->text();
    profile.Database = Editdb->text();
    profile.Port = EditPort->text();
    profile.Group = CheckGroupSystem->isChecked();
    profile.Check = CheckAppServer->isChecked();
    profile.TlsMode = TlsModeText(TTlsMode(ComboTls->currentIndex()));
    profile.TlsCA = EditTlsCA->text();
    profile.TlsCert = EditTlsCert->text();
    profile.TlsKey = EditTlsKey->text();
    profile.Ssh = CheckSsh->isChecked();
    profile.SshHost = EditSshHost->text().trimmed();
    profile.SshPort = EditSshPort->text().trimmed();
    profile.SshUser = EditSshUser->text().trimmed();
    profile.SshKeyFile = EditSshKeyFile->text();
    profile.SshPassphrase = EditSshPassphrase->text();
    profile.SshPassword = EditSshPassword->text();
    profile.ServerPublicKey = EditServerKey->text();
    profile.GetServerPublicKey = CheckFetchServerKey->isChecked();
    try {
        m_settings->SaveServerProfile(profile.Host);
    } catch (const SettingsWriteError &error) {
        m_applied = false;
        ShowErrorBox(this, QString::fromStdString(error.what()));
        return false;
    }
    // Saved all the same: what the keychain refused stayed in the file.
    if (!m_settings->lastSecretError().isEmpty())
        QMessageBox::warning(this, windowTitle(), m_settings->lastSecretError() + QLatin1Char('.'));
    m_applied = true;
    return true;
}

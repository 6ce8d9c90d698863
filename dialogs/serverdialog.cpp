#include "dialogs/serverdialog.h"

#include "client/mysqlclienttask.h"
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
    enableTlsFiles();

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
    layout->addWidget(GroupSecurity);
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

    for (QLineEdit *edit : {Editserver, Editdb, EditPort, EditUser, EditPsw, EditTlsCA, EditTlsCert, EditTlsKey})
        connect(edit, &QLineEdit::textChanged, this, &TFormServer::enableApply);
    connect(ComboTls, &QComboBox::activated, this, &TFormServer::enableApply);
    connect(ComboTls, &QComboBox::currentIndexChanged, this, &TFormServer::enableTlsFiles);
    connect(CheckGroupSystem, &QCheckBox::clicked, this, &TFormServer::enableApply);
    connect(CheckAppServer, &QCheckBox::clicked, this, &TFormServer::enableApply);

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

void TFormServer::prepareForAdd()
{
    CheckShowPsw->setChecked(false);
    Editserver->clear();
    EditPort->setText(QStringLiteral("3306"));
    EditUser->clear();
    EditPsw->clear();
    CheckGroupSystem->setChecked(false);
    CheckAppServer->setChecked(false);
    ComboTls->setCurrentIndex(int(tmOff));
    for (QLineEdit *edit : {EditTlsCA, EditTlsCert, EditTlsKey})
        edit->clear();
    ButtonApply->setEnabled(false);
    m_applied = false;
    Editserver->setFocus();
}

void TFormServer::prepareForModify()
{
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
    TServerProfile &profile = m_settings->currentProfile();
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
    try {
        m_settings->SaveServerProfile(profile.Host);
    } catch (const SettingsWriteError &error) {
        m_applied = false;
        ShowErrorBox(this, QString::fromStdString(error.what()));
        return false;
    }
    m_applied = true;
    return true;
}

#include "dialogs/logindialog.h"

#include "dialogs/placement.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFormLogin::TFormLogin(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormLogin"));
    setWindowTitle(QStringLiteral("Login"));
    KeepCentredOnDesktop(this);

    auto *layout = new QVBoxLayout(this);
    const char *const explanation[] = {
        "Enter password and username for MySQL Server.",
        "For full functionality Quarnel, you mast have",
        "an administrator acount on this database.",
    };
    for (const char *line : explanation) {
        auto *label = new QLabel(QString::fromLatin1(line), this);
        label->setStyleSheet(QStringLiteral("color: #800000;")); // dark red
        layout->addWidget(label);
    }

    auto *fields = new QGridLayout;
    auto addField = [this, fields](const QString &caption, const QString &name) {
        auto *label = new QLabel(caption, this);
        auto *edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setAccessibleName(caption);
        label->setBuddy(edit);
        const int row = fields->rowCount();
        fields->addWidget(label, row, 0);
        fields->addWidget(edit, row, 1);
        return edit;
    };
    EditServer = addField(QStringLiteral("Server:"), QStringLiteral("EditServer"));
    EditServer->setReadOnly(true);
    EditServer->setFocusPolicy(Qt::NoFocus);
    EditUser = addField(QStringLiteral("User:"), QStringLiteral("EditUser"));
    EditPassword = addField(QStringLiteral("Password:"), QStringLiteral("EditPassword"));
    EditPassword->setEchoMode(QLineEdit::Password);
    // Every character shows as "*".
    EditPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    layout->addLayout(fields);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonLogin = new QPushButton(QStringLiteral("&Login"), this);
    ButtonLogin->setObjectName(QStringLiteral("ButtonLogin"));
    // Enter is handled by the two fields themselves, not by a default button.
    ButtonCancel->setAutoDefault(false);
    ButtonLogin->setAutoDefault(false);
    buttons->addWidget(ButtonCancel);
    buttons->addWidget(ButtonLogin);
    layout->addLayout(buttons);

    connect(ButtonLogin, &QPushButton::clicked, this, [this] { finish(Login); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { finish(Cancel); });
    connect(EditUser, &QLineEdit::returnPressed, this, [this] { finish(Login); });
    connect(EditPassword, &QLineEdit::returnPressed, this, [this] { finish(Login); });

    setTabOrder(EditUser, EditPassword);
    setTabOrder(EditPassword, ButtonCancel);
    setTabOrder(ButtonCancel, ButtonLogin);

    layout->setSizeConstraint(QLayout::SetFixedSize); // fixed dialog border
}

void TFormLogin::setServer(const QString &host)
{
    EditServer->setText(host);
}

void TFormLogin::setUser(const QString &user)
{
    EditUser->setText(user);
}

void TFormLogin::setPassword(const QString &password)
{
    EditPassword->setText(password);
}

QString TFormLogin::user() const
{
    return EditUser->text();
}

QString TFormLogin::password() const
{
    return EditPassword->text();
}

void TFormLogin::finish(Outcome outcome)
{
    m_outcome = outcome;
    if (outcome == Login)
        accept();
    else
        reject();
}

TFormLogin::Outcome TFormLogin::ask()
{
    m_outcome = Closed;
    EditUser->setFocus();
    adjustSize();
    exec();
    return m_outcome;
}

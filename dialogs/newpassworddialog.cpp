#include "dialogs/newpassworddialog.h"

#include "dialogs/placement.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFormNewPassword::TFormNewPassword(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormNewPassword"));
    setWindowTitle(QStringLiteral("New Password"));
    KeepCentredOnDesktop(this);

    auto *layout = new QVBoxLayout(this);
    LabelMessage = new QLabel(this);
    LabelMessage->setObjectName(QStringLiteral("LabelMessage"));
    LabelMessage->setWordWrap(true);
    layout->addWidget(LabelMessage);

    auto *fields = new QFormLayout;
    auto masked = [this](const QString &name, const QString &caption) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setAccessibleName(caption);
        edit->setEchoMode(QLineEdit::Password);
        return edit;
    };
    EditPassword = masked(QStringLiteral("EditPassword"), QStringLiteral("New password"));
    EditConfirm = masked(QStringLiteral("EditConfirm"), QStringLiteral("Repeat the new password"));
    fields->addRow(QStringLiteral("&New password:"), EditPassword);
    fields->addRow(QStringLiteral("&Repeat:"), EditConfirm);
    layout->addLayout(fields);
    CheckShow = new QCheckBox(QStringLiteral("&Show"), this);
    CheckShow->setObjectName(QStringLiteral("CheckShow"));
    layout->addWidget(CheckShow);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonOk = new QPushButton(QStringLiteral("&OK"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonOk->setDefault(true);
    buttons->addWidget(ButtonCancel);
    buttons->addWidget(ButtonOk);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(EditPassword, &QLineEdit::textChanged, this, &TFormNewPassword::updateOk);
    connect(EditConfirm, &QLineEdit::textChanged, this, &TFormNewPassword::updateOk);
    connect(CheckShow, &QCheckBox::toggled, this, [this](bool shown) {
        for (QLineEdit *edit : {EditPassword, EditConfirm})
            edit->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    updateOk();
}

void TFormNewPassword::setMessage(const QString &serverMessage)
{
    LabelMessage->setText(serverMessage);
}

QString TFormNewPassword::password() const
{
    return EditPassword->text();
}

void TFormNewPassword::updateOk()
{
    ButtonOk->setEnabled(!EditPassword->text().isEmpty() && EditPassword->text() == EditConfirm->text());
}

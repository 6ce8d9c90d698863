#include "dialogs/sshhostkeydialog.h"

#include "dialogs/placement.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFormSshHostKey::TFormSshHostKey(const QString &server, const QString &keyType, const QString &fingerprint,
                                 const QString &knownHostsFile, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormSshHostKey"));
    setWindowTitle(QStringLiteral("Unknown SSH Host Key"));
    setModal(true);
    KeepCentredOnDesktop(this);

    LabelMessage = new QLabel(
        QStringLiteral("The SSH server %1 is not known yet. Compare its host key with the fingerprint its "
                       "administrator gives you before you accept it.")
            .arg(server),
        this);
    LabelMessage->setObjectName(QStringLiteral("LabelMessage"));
    LabelMessage->setWordWrap(true);
    LabelKeyType = new QLabel(keyType, this);
    LabelKeyType->setObjectName(QStringLiteral("LabelKeyType"));
    LabelKeyType->setAccessibleName(QStringLiteral("Key type"));
    LabelKeyType->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    LabelFingerprint = new QLabel(fingerprint, this);
    LabelFingerprint->setObjectName(QStringLiteral("LabelFingerprint"));
    LabelFingerprint->setAccessibleName(QStringLiteral("SHA256 fingerprint"));
    LabelFingerprint->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto *question = new QLabel(
        QStringLiteral("Accept the key? It is added to %1 and not asked for again.").arg(knownHostsFile), this);
    question->setWordWrap(true);

    ButtonRefuse = new QPushButton(QStringLiteral("&Refuse"), this);
    ButtonRefuse->setObjectName(QStringLiteral("ButtonRefuse"));
    ButtonAccept = new QPushButton(QStringLiteral("&Accept"), this);
    ButtonAccept->setObjectName(QStringLiteral("ButtonAccept"));
    ButtonAccept->setAutoDefault(false);
    ButtonRefuse->setDefault(true);
    connect(ButtonAccept, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonRefuse, &QPushButton::clicked, this, &QDialog::reject);

    auto *key = new QFormLayout;
    key->addRow(QStringLiteral("Key type:"), LabelKeyType);
    key->addRow(QStringLiteral("Fingerprint:"), LabelFingerprint);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonAccept);
    buttons->addWidget(ButtonRefuse);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LabelMessage);
    layout->addLayout(key);
    layout->addWidget(question);
    layout->addLayout(buttons);
    ButtonRefuse->setFocus();
}

#include "dialogs/tablelockdialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

TFormTblLock::TFormTblLock(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormTblLock"));
    setWindowTitle(QStringLiteral("Table Lock"));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setStyleSheet(QStringLiteral("color: #800000;")); // dark red
    Label1->setText(QStringLiteral(
        "LOCK TABLES locks tables for the current thread.\n"
        "UNLOCK TABLES releases any locks held by the current thread.\n"
        "All tables locked by the current thread are released automatically\n"
        "when the thread issues another LOCK TABLES or when the connection ends.\n"
        "A READ lock lets this thread and all others only read the table.\n"
        "A WRITE lock lets only this thread read and write the table;\n"
        "all others wait until the lock is released.\n"
        "A thread waits, without a time-out, until it has all its locks."));

    auto *label2 = new QLabel(QStringLiteral("Table :"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setReadOnly(true);
    label2->setBuddy(Edit1);

    RadioRead = new QRadioButton(QStringLiteral("&READ"), this);
    RadioRead->setObjectName(QStringLiteral("RadioRead"));
    RadioWrite = new QRadioButton(QStringLiteral("&WRITE"), this);
    RadioWrite->setObjectName(QStringLiteral("RadioWrite"));
    CheckLowPriority = new QCheckBox(QStringLiteral("LOW &PRIORITY"), this);
    CheckLowPriority->setObjectName(QStringLiteral("CheckLowPriority"));

    ButtonLock = new QPushButton(QStringLiteral("&Lock Table"), this);
    ButtonLock->setObjectName(QStringLiteral("ButtonLock"));
    ButtonLock->setDefault(true);
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setAutoDefault(false);

    auto *table = new QHBoxLayout;
    table->addWidget(label2);
    table->addWidget(Edit1, 1);
    auto *kind = new QHBoxLayout;
    kind->addWidget(RadioRead);
    kind->addWidget(RadioWrite);
    kind->addSpacing(16);
    kind->addWidget(CheckLowPriority);
    kind->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonLock);
    buttons->addWidget(ButtonCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(table);
    layout->addLayout(kind);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize); // fixed dialog border

    connect(ButtonLock, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, [this] {
        Edit1->clear();
        reject();
    });
}

void TFormTblLock::keyPressEvent(QKeyEvent *event)
{
    // Escape cancels; only the close box locks as "&Lock Table" does.
    if (event->key() == Qt::Key_Escape) {
        ButtonCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

QString TFormTblLock::ask(const QString &table)
{
    Edit1->setText(table);
    RadioRead->setChecked(true);
    CheckLowPriority->setChecked(false);
    RadioRead->setFocus();
    adjustSize();
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    exec();
    return Edit1->text();
}

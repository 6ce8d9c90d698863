#include "dialogs/createdbdialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

TFormCreateDb::TFormCreateDb(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormCreateDb"));
    setWindowTitle(QStringLiteral("Create Database"));

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("Image1"));
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setStyleSheet(QStringLiteral("color: #800000;")); // dark red
    Label1->setFixedWidth(340);
    Label1->setMinimumHeight(Label1->fontMetrics().height() * 4);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(60);
    Label2->setBuddy(Edit1);

    ButtonOk = new QPushButton(QStringLiteral("&Ok"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonOk->setDefault(true);
    ButtonCancel = new QPushButton(QStringLiteral("&Canel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setAutoDefault(false);

    auto *top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(Label1, 1);
    auto *field = new QHBoxLayout;
    field->addWidget(Label2);
    field->addWidget(Edit1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(field);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize); // fixed dialog border

    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, [this] {
        Edit1->clear();
        reject();
    });
}

void TFormCreateDb::keyPressEvent(QKeyEvent *event)
{
    // Escape cancels like "&Canel"; only the close box keeps the text.
    if (event->key() == Qt::Key_Escape) {
        ButtonCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

QString TFormCreateDb::ask(const QString &caption, const QString &help, const QString &prompt)
{
    setWindowTitle(caption);
    Label1->setText(help);
    Label2->setText(prompt);
    // The last text stays, selected so that typing replaces it.
    Edit1->selectAll();
    Edit1->setFocus();
    adjustSize();
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    exec();
    return Edit1->text();
}

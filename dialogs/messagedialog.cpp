#include "dialogs/messagedialog.h"

#include "dialogs/placement.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

TFormMessage::TFormMessage(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormMessage"));
    setWindowTitle(QStringLiteral("Message"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setModal(true);
    KeepCentredOnDesktop(this);

    auto *icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    LabelText = new QLabel(this);
    LabelText->setObjectName(QStringLiteral("LabelText"));
    LabelItem = new QLabel(this);
    LabelItem->setObjectName(QStringLiteral("LabelItem"));
    QFont bold = LabelItem->font();
    bold.setBold(true);
    LabelItem->setFont(bold);
    ButtonOk = new QPushButton(QStringLiteral("&OK"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setDefault(true); // Enter must not confirm a removal by accident

    auto *layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(LabelText, 0, 1);
    layout->addWidget(LabelItem, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonCancel);
    layout->addLayout(buttons, 2, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ButtonOk, &QPushButton::clicked, this, [this] { done(1); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { done(0); });
}

int TFormMessage::ask(const QString &caption, const QString &text, const QString &item)
{
    setWindowTitle(caption);
    LabelText->setText(text);
    LabelItem->setText(item);
    setResult(0);
    const int answer = exec() == 1 ? 1 : 0;
    setWindowTitle(QStringLiteral("Message"));
    return answer;
}

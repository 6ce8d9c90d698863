#include "dialogs/aboutdialog.h"

#include "dialogs/splash.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFormAbout::TFormAbout(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormAbout"));
    setWindowTitle(QStringLiteral("About Quarnel - MySQL"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setModal(true);

    auto *tool = new QLabel(QStringLiteral("MySQL Administrations Tool"), this);
    QFont bold = tool->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    tool->setFont(bold);
    auto *product = new QLabel(QStringLiteral("Quarnel"), this);
    QFont big = product->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.8);
    product->setFont(big);
    QPalette red = product->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    product->setPalette(red);
    LabelVersion = new QLabel(this);
    LabelVersion->setObjectName(QStringLiteral("LabelVersion"));
    auto *ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tool);
    auto *productRow = new QHBoxLayout;
    productRow->addWidget(product);
    productRow->addSpacing(16);
    productRow->addWidget(LabelVersion, 0, Qt::AlignBottom);
    productRow->addStretch();
    layout->addLayout(productRow);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(10);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TFormAbout::showEvent(QShowEvent *event)
{
    LabelVersion->setText(VersionText(this));
    QDialog::showEvent(event);
}

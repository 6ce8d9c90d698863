#include "dialogs/tablecreatedialog.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

TFormTableCreate::TFormTableCreate(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormTableCreate"));
    setWindowTitle(QStringLiteral("Create Table"));
    auto *pages = new QTabWidget(this);
    for (const char *caption : {"Table", "Option", "SQL"})
        pages->addTab(new QWidget, QString::fromLatin1(caption));
    auto *create = new QPushButton(QStringLiteral("C&reate"), this);
    auto *save = new QPushButton(QStringLiteral("&Save"), this);
    auto *cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(create);
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

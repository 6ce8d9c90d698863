#include "editor/gotolinedialog.h"
#include "editor/editorprompts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TGotoLineDialog::TGotoLineDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TGotoLineDialog"));
    setWindowTitle(tr("Go to line number"));
    setModal(true);

    LineNumberBox = new QLineEdit(this);
    LineNumberBox->setObjectName(QStringLiteral("LineNumberBox"));
    auto *label = new QLabel(tr("&Enter new line number"), this);
    label->setBuddy(LineNumberBox);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("&OK"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("&Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TGotoLineDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(LineNumberBox);
    layout->addWidget(buttons);
}

void TGotoLineDialog::setRange(int lowest, int highest)
{
    m_lowest = lowest;
    m_highest = highest;
}

void TGotoLineDialog::showEvent(QShowEvent *event)
{
    LineNumberBox->setText(QString::number(m_value));
    LineNumberBox->setFocus();
    LineNumberBox->selectAll();
    QDialog::showEvent(event);
}

void TGotoLineDialog::accept()
{
    bool ok = false;
    const int number = LineNumberBox->text().trimmed().toInt(&ok);
    if (!ok || number < m_lowest || number > m_highest) {
        const QString text = QString::asprintf("Value must be between %d and %d", m_lowest, m_highest);
        const EditorPrompts prompts = m_prompts && m_prompts->message ? *m_prompts : EditorPrompts::standard();
        prompts.message(this, QMessageBox::Warning, text, QMessageBox::Ok);
        LineNumberBox->setFocus();
        LineNumberBox->selectAll();
        return;
    }
    m_value = number;
    QDialog::accept();
}

#include "dialogs/errorbox.h"

#include <QApplication>
#include <QMessageBox>

void ShowErrorBox(QWidget *parent, const QString &text)
{
    QString message = text;
    if (!message.endsWith(QLatin1Char('.')))
        message += QLatin1Char('.');
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), message, QMessageBox::Ok,
                    parent);
    box.exec();
}

#include "dialogs/errorbox.h"

#include "dialogs/applicationtitle.h"

#include <QMessageBox>

void ShowErrorBox(QWidget *parent, const QString &text)
{
    QString message = text;
    if (!message.endsWith(QLatin1Char('.')))
        message += QLatin1Char('.');
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), message, QMessageBox::Ok, parent);
    box.exec();
}

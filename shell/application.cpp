#include "shell/application.h"

#include "dialogs/errorbox.h"

#include <exception>

QuarnelApplication::QuarnelApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool QuarnelApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        ShowErrorBox(activeWindow(), QString::fromUtf8(error.what()));
    } catch (...) {
        ShowErrorBox(activeWindow(), QStringLiteral("Unknown error"));
    }
    return false;
}

#include "shell/startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Quarnel"));
    app.setOrganizationName(QStringLiteral("Quarnel"));
    // QUARNEL_SETTINGS points the program at another settings file (demos, tests).
    return RunQuarnel(app, qEnvironmentVariable("QUARNEL_SETTINGS"));
}

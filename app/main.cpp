#include "shell/application.h"
#include "shell/startup.h"

int main(int argc, char *argv[])
{
    QuarnelApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Quarnel"));
    app.setOrganizationName(QStringLiteral("Quarnel"));
    // QUARNEL_SETTINGS points the program at another settings file (demos, tests).
    return RunQuarnel(app, qEnvironmentVariable("QUARNEL_SETTINGS"));
}

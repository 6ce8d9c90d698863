#include "data/datafolder.h"
#include "shell/application.h"
#include "shell/startup.h"

int main(int argc, char *argv[])
{
    QuarnelApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Quarnel"));
    app.setOrganizationName(QStringLiteral("Quarnel"));
    // QUARNEL_SETTINGS points the program at another settings file (demos,
    // tests), QUARNEL_DATA_DIR at another folder for its own data.
    return RunQuarnel(app, qEnvironmentVariable("QUARNEL_SETTINGS"), DataFolder());
}

#include "shell/startup.h"

#include "client/mySQLClient.h"
#include "client/mysqlbinding.h"
#include "data/secretstore.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "dialogs/applicationtitle.h"
#include "shell/appservercontroller.h"
#include "shell/exportcontroller.h"
#include "shell/mainwindow.h"
#include "shell/monitorcontroller.h"
#include "shell/operationscontroller.h"
#include "shell/printcontroller.h"
#include "shell/privilegecontroller.h"
#include "shell/sessioncontroller.h"
#include "shell/scriptfilecontroller.h"
#include "dialogs/splash.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <memory>

int RunQuarnel(QApplication &app, const QString &settingsPath, const QString &dataFolder)
{
    auto splash = std::make_unique<TFormLogo>();
    splash->show();
    splash->repaint();
    app.processEvents();

    // The title of the program's message boxes; Qt's display name stays
    // unset, or Qt would append it to every window title.
    SetApplicationTitle(QStringLiteral("Quarnel-Share"));
    app.setWindowIcon(ApplicationIcon());
    // Hidden in the notification area, the program must not end when its
    // last visible dialog closes; it ends when the close is confirmed.
    app.setQuitOnLastWindowClosed(false);

    if (!LoadClientLibrary()) {
        splash.reset();
        QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(),
                        QStringLiteral("Failed to Initialize mySQL Library (") + ClientLibraryName
                            + QStringLiteral(")"),
                        QMessageBox::Ok);
        box.exec();
        // Nothing was loaded or changed yet, so nothing is saved either.
        return 1;
    }

    int code = 0;
    {
        SettingsStore settings(settingsPath);
        // Passwords go to the desktop's keychain where one answers. Another
        // settings file has entries of its own, so that removing a profile
        // there leaves the everyday one's password alone.
        const QString service = settingsPath.isEmpty()
            ? QStringLiteral("Quarnel")
            : QStringLiteral("Quarnel (%1)").arg(QFileInfo(settingsPath).absoluteFilePath());
        if (std::unique_ptr<SecretStore> keychain = OpenDesktopKeychain(service))
            settings.useKeychain(std::move(keychain));
        std::unique_ptr<TFormMain> window;
        try {
            window = std::make_unique<TFormMain>(&settings);
        } catch (...) {
            splash.reset();
            UnloadClientLibrary();
            throw;
        }
        // The data module and the session's handlers come after the window;
        // both live as long as it does.
        auto *data = new TDMstd(SessionController::viewsOf(window.get()), window.get());
        data->setNodeIcons(ApplicationIcon(), TableIcon());
        new SessionController(window.get(), data, window.get());
        new ScriptFileController(window.get(), data, window.get());
        new ExportController(window.get(), window.get());
        new PrintController(window.get(), window.get());
        new OperationsController(window.get(), data, window.get());
        new AppServerController(window.get(), data, window.get());
        new PrivilegeController(window.get(), data, window.get());
        new MonitorController(window.get(), data, window.get());
        window->openDataFolder(dataFolder);
        splash.reset();
        // A statement still running is stopped first, then the session closes.
        QObject::connect(window.get(), &TFormMain::aboutToClose, data, [data] { data->CloseSession(); });
        QObject::connect(window.get(), &TFormMain::aboutToClose, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        window->show();
        code = app.exec();
    }
    UnloadClientLibrary();
    return code;
}

// quarnel-bench responsiveness: how long the window's thread is kept from
// its events while statements run on the client's worker. A timer ticks
// every 10 ms on that thread; the longest gap between two ticks is printed
// for a SLEEP, a million-row fetch into the query grid and a script of
// 100,000 statements, all through the real main window (offscreen when there
// is no display). stop_ms: from Stop to the stopped statement's outcome.
#include "bench/benchcommon.h"
#include "bench/stallmeter.h"
#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "shell/mainwindow.h"
#include "shell/sessioncontroller.h"
#include "tests/support/privateserver.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Window
{
    explicit Window(SettingsStore *settings)
        : window(settings)
        , data(SessionController::viewsOf(&window), &window)
        , session(&window, &data, &window)
    {
    }
    TFormMain window;
    TDMstd data;
    SessionController session;
};

// Runs one script in the window's session while the meter runs.
bool runScript(Window &w, StallMeter &meter, const QString &script, double *stallMs, double *seconds)
{
    bool finished = false;
    const auto connection = QObject::connect(&w.data, &TDMstd::scriptFinished, [&finished] { finished = true; });
    QElapsedTimer clock;
    clock.start();
    meter.start();
    w.data.ExecuteScript(QStringLiteral("bench"), script);
    const bool ran = waitFor([&] { return finished && !w.data.statementsRunning(); });
    // What the window does with the last outcome (painting a large grid) counts too.
    waitFor([] { return false; }, 300);
    *stallMs = meter.stop();
    *seconds = double(clock.elapsed()) / 1000.0;
    QObject::disconnect(connection);
    return ran;
}

int responsiveness(const QStringList &)
{
    PrivateServer server;
    if (!startServerWith(server, millionRowTable() + QStringLiteral("CREATE TABLE bench.s (id INT, name VARCHAR(40));")))
        return 1;
    if (!LoadClientLibrary())
        return 1;
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("quarnel.conf")));
    settings.LoadProgramSettings();
    TServerProfile &profile = settings.currentProfile();
    profile.Host = server.host();
    profile.Port = QString::number(server.port());
    profile.User = PrivateServer::user();
    profile.Psw = PrivateServer::password();
    profile.Database = QStringLiteral("bench");
    Window w(&settings);
    w.window.resize(1100, 750);
    w.window.show();
    if (!w.data.ConnectProfile()
        || !waitFor([&] { return w.data.ActiveClient()->Connected() && !w.data.statementsRunning(); }, 60000)) {
        std::fprintf(stderr, "no connection: %s\n", qPrintable(w.window.messageLog()->lines().join(QLatin1Char('|'))));
        return 1;
    }

    StallMeter meter;
    double stall = 0;
    double seconds = 0;
    if (!runScript(w, meter, QStringLiteral("SELECT SLEEP(2)"), &stall, &seconds))
        return 1;
    printFigure("sleep_seconds", seconds);
    printFigure("sleep_max_stall_ms", stall);

    if (!runScript(w, meter, QStringLiteral("select * from t"), &stall, &seconds))
        return 1;
    GridModel *query = w.window.grid(QStringLiteral("AdvListView5"));
    if (query->rowCount() != 1000000) {
        std::fprintf(stderr, "query grid: %d rows\n", query->rowCount());
        return 1;
    }
    printFigure("fetch_seconds", seconds);
    printFigure("fetch_max_stall_ms", stall);

    QString script;
    constexpr int Statements = 100000;
    for (int i = 1; i <= Statements; ++i)
        script += QStringLiteral("INSERT INTO s VALUES (%1, 'name %1');\n").arg(i);
    if (!runScript(w, meter, script, &stall, &seconds))
        return 1;
    printFigure("script_statements", QString::number(Statements));
    printFigure("script_seconds", seconds);
    printFigure("script_max_stall_ms", stall);

    // Stop: from the command to the stopped statement's outcome handled.
    std::vector<double> stops;
    for (int i = 0; i < 3; ++i) {
        bool finished = false;
        const auto connection = QObject::connect(&w.data, &TDMstd::scriptFinished, [&finished] { finished = true; });
        w.data.ExecuteScript(QStringLiteral("bench"), QStringLiteral("SELECT SLEEP(60)"));
        waitFor([] { return false; }, 700); // running on the server by now
        QElapsedTimer clock;
        clock.start();
        w.data.Stop();
        if (!waitFor([&finished] { return finished; }, 30000))
            return 1;
        stops.push_back(double(clock.nsecsElapsed()) / 1e6);
        QObject::disconnect(connection);
        waitFor([&] { return !w.data.statementsRunning(); }, 30000);
    }
    std::sort(stops.begin(), stops.end());
    printFigure("stop_ms", stops[1]);
    printFigure("stop_ms_worst", stops.back());
    return 0;
}

} // namespace

QUARNEL_BENCH(responsiveness, "responsiveness",
              "longest stall of the window's thread during a sleep, a 1,000,000-row fetch and a 100,000-statement "
              "script; time from Stop to the stopped statement's outcome",
              responsiveness);

// quarnel-bench open-table, tables and script: the data module's table view,
// tree listing and script runner on a private server, beside the
// command-line client where there is one to compare with.
#include "bench/benchcommon.h"
#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/history.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

// What a window hands the data module, without a window; statements run
// from the editor are recorded in a history file, as the program does.
struct Module : HeadlessViews
{
    Module(const QString &host, const QString &port, const QString &user, const QString &password)
        : HeadlessViews(host, port, user, password)
    {
        if (historyDir.isValid())
            history.open(historyDir.filePath(QStringLiteral("history.sqlite")));
        views.history = &history;
        module = std::make_unique<TDMstd>(views);
    }

    // Runs the event loop until done() holds (false after 10 minutes). It
    // sleeps while nothing happens, as a window's event loop does: a
    // spinning loop would take the processor from the worker and the server.
    static bool until(const std::function<bool()> &done)
    {
        QDeadlineTimer deadline(600 * 1000);
        QTimer wake; // a timeout is noticed without events
        wake.start(100);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        return true;
    }

    bool connect()
    {
        if (!module->ConnectProfile())
            return false;
        if (!until([this] { return module->ActiveClient()->Connected() || !log.lines().isEmpty(); })
            || !module->ActiveClient()->Connected()) {
            std::fprintf(stderr, "%s\n", qPrintable(log.lines().join(QLatin1Char('|'))));
            return false;
        }
        return until([this] { return tree.rowCount() > 0; });
    }

    QStandardItem *databaseNode(const QString &name)
    {
        const QList<QStandardItem *> found = tree.findItems(name);
        return found.isEmpty() ? nullptr : found.first();
    }

    QTemporaryDir historyDir;
    QueryHistory history;
    std::unique_ptr<TDMstd> module;
};

QStringList connection(const PrivateServer &server)
{
    return {server.host(), QString::number(server.port()), PrivateServer::user(), PrivateServer::password()};
}

// --- open-table ---------------------------------------------------------------

int openTableChild(const QStringList &args)
{
    // host port user password database table DBL DBHL expectedRows
    if (args.size() < 9 || !LoadClientLibrary())
        return 2;
    Module m(args.at(0), args.at(1), args.at(2), args.at(3));
    m.program.DBL = args.at(6);
    m.program.DBHL = args.at(7) == QLatin1String("1");
    if (!m.connect())
        return 3;
    GridModel &data = m.data;
    GridModel &index = m.index;
    // What the open costs above what the connected program holds.
    const long beforeKb = processStatusKb("VmRSS");
    const bool peakReset = resetPeakMemory();
    QElapsedTimer timer;
    timer.start();
    m.module->OpenTable(args.at(5), args.at(4));
    // The chain ends with the index grid.
    if (!Module::until([&] { return index.rowCount() > 0 || m.log.lines().size() > 5; }))
        return 4;
    const double seconds = timer.nsecsElapsed() / 1e9;
    const long peakKb = processStatusKb("VmHWM");
    const int expected = args.at(8).toInt();
    if (data.rowCount() != expected || data.caption(0) != QLatin1String("1")) {
        std::fprintf(stderr, "grid: %d rows, first %s; log: %s\n", data.rowCount(), qPrintable(data.caption(0)),
                     qPrintable(m.log.lines().join(QLatin1Char('|'))));
        return 5;
    }
    std::printf("open_seconds: %.3f\nopen_extra_mb: %.1f\n", seconds,
                peakReset ? std::max(0L, peakKb - beforeKb) / 1024.0 : -1.0);
    return 0;
}

int openTable(const QStringList &args)
{
    const qint64 count = args.value(0, QStringLiteral("1000000")).toLongLong();
    if (count < 100) {
        std::fprintf(stderr, "open-table [rows]: at least 100 rows\n");
        return 2;
    }
    PrivateServer server;
    if (!startServerWith(server, rowTable(count)))
        return 1;
    printFigure("rows", QString::number(count));
    QTemporaryDir dir;
    const QString childOutput = dir.filePath(QStringLiteral("child.txt"));
    const QString nodeText = QStringLiteral("t  ( %1 )").arg(count);
    auto ours = [&](const QString &limit, const QString &rows) {
        return QStringList{QStringLiteral("open-table-child")} + connection(server)
            + QStringList{QStringLiteral("bench"), nodeText, limit, QStringLiteral("0"), rows};
    };
    // The open at the default row limit, in the normal mode: the chain's
    // time and the memory it takes above the connected program's, as the
    // child measures them; best time and highest memory of three.
    double openSeconds = -1;
    double openExtraMb = -1;
    Measurement limited;
    for (int run = 0; run < 3; ++run) {
        const Measurement m = measureProgram(QCoreApplication::applicationFilePath(),
                                             ours(QStringLiteral("100"), QStringLiteral("100")), QString(),
                                             childOutput);
        if (m.exitCode != 0) {
            std::fprintf(stderr, "the DBL 100 run failed (%d)\n", m.exitCode);
            return 1;
        }
        QFile out(childOutput);
        if (!out.open(QIODevice::ReadOnly))
            return 1;
        for (const QByteArray &line : out.readAll().split('\n')) {
            const double value = line.mid(line.indexOf(':') + 1).trimmed().toDouble();
            if (line.startsWith("open_seconds:") && (openSeconds < 0 || value < openSeconds))
                openSeconds = value;
            if (line.startsWith("open_extra_mb:"))
                openExtraMb = std::max(openExtraMb, value);
        }
        if (run == 0 || m.seconds < limited.seconds)
            limited.seconds = m.seconds;
        limited.peakKb = std::max(limited.peakKb, m.peakKb);
    }
    printFigure("dbl100_open_seconds", openSeconds);
    printFigure("dbl100_open_extra_mb", openExtraMb);
    printFigure("dbl100_process_seconds", limited.seconds);
    printFigure("dbl100_peak_mb", limited.peakKb / 1024.0);
    if (count > 1000000)
        return 0; // the whole table beside the client only where it fits in memory
    const QString mariadb = PrivateServer::findProgram(QStringLiteral("mariadb"));
    const QStringList cli = cliArguments(server.host(), server.port(), PrivateServer::user(),
                                         PrivateServer::password(), QStringLiteral("bench"))
                            + QStringList{QStringLiteral("--batch"), QStringLiteral("-e"),
                                          QStringLiteral("select * from t")};
    measureProgram(mariadb, cli, QString(), QStringLiteral("/dev/null")); // warm the caches
    const Measurement reference =
        bestRun([&] { return measureProgram(mariadb, cli, QString(), QStringLiteral("/dev/null")); }, 3);
    const QString all = QString::number(count);
    const Measurement whole = bestRun([&] { return measureSelf(ours(all, all)); }, 3);
    if (reference.exitCode != 0 || whole.exitCode != 0) {
        std::fprintf(stderr, "a run failed (mariadb %d, DBL %s %d)\n", reference.exitCode, qPrintable(all),
                     whole.exitCode);
        return 1;
    }
    printFigure("dbl100_time_ratio", limited.seconds / reference.seconds);
    printComparison("quarnel", whole, "mariadb", reference);
    return 0;
}

// --- tables -------------------------------------------------------------------

int tables(const QStringList &args)
{
    constexpr int Count = 10000;
    // The engine decides what the server reads for the row counts.
    const QString engine = args.value(0, QStringLiteral("MyISAM"));
    PrivateServer server;
    QString create = QStringLiteral("CREATE DATABASE many; USE many;");
    for (int i = 0; i < Count; ++i)
        create += QStringLiteral("CREATE TABLE t%1 (id INT) ENGINE=%2;").arg(i, 5, 10, QLatin1Char('0')).arg(engine);
    if (!startServerWith(server, create) || !LoadClientLibrary())
        return 1;
    const QStringList c = connection(server);
    Module m(c.at(0), c.at(1), c.at(2), c.at(3));
    if (!m.connect())
        return 1;
    QStandardItem *node = m.databaseNode(QStringLiteral("many"));
    if (!node)
        return 1;
    m.selection.setCurrentIndex(node->index(), QItemSelectionModel::ClearAndSelect);
    // The server's own share: the same statement on a plain connection of
    // its own, where it runs inside Run (the module's runs on its worker,
    // so the time until its call returns says nothing about the server).
    TmySQLClient plain;
    plain.setHostname(c.at(0));
    plain.setPort(c.at(1).toInt());
    plain.setUsername(c.at(2));
    plain.setPassword(c.at(3));
    plain.setDatabase(QStringLiteral("many"));
    plain.Connect();
    if (!Module::until([&plain] { return plain.Connected() || plain.TaskHandler()->PendingTasks() == 0; })
        || !plain.Connected())
        return 1;
    const QString listing = TDMstd::TableListStatement(QStringLiteral("many"));
    // Once each to warm the server's table cache, then measured.
    double seconds = 0;
    double statement = 0;
    for (int round = 0; round < 2; ++round) {
        int rows = -1;
        plain.Query()->Execute(listing, QStringLiteral("listing"), nullptr, nullptr, [&rows](QObject *sender) {
            rows = static_cast<TmySQLClientQuery *>(sender)->RowCount();
        });
        QElapsedTimer serverTimer;
        serverTimer.start();
        plain.Query()->Run();
        statement = serverTimer.nsecsElapsed() / 1e9;
        if (!Module::until([&rows] { return rows >= 0; }) || rows != Count)
            return 1;

        QElapsedTimer timer;
        timer.start();
        m.module->ListTablesWithStatus(QStringLiteral("many"));
        if (!Module::until([&] { return node->rowCount() == Count; }))
            return 1;
        seconds = timer.nsecsElapsed() / 1e9;
        node->removeRows(0, node->rowCount());
    }
    printFigure("tables", QString::number(Count));
    printFigure("engine", engine);
    // statement_seconds: the server's statement with its result stored, on
    // the plain connection; seconds: from the command until the tree shows
    // every table; tree_seconds: the difference, what the program adds.
    printFigure("statement_seconds", statement);
    printFigure("tree_seconds", seconds - statement);
    printFigure("seconds", seconds);
    return 0;
}

// --- script -------------------------------------------------------------------

int scriptChild(const QStringList &args)
{
    // host port user password database file statements
    if (args.size() < 7 || !LoadClientLibrary())
        return 2;
    QFile file(args.at(5));
    if (!file.open(QIODevice::ReadOnly))
        return 2;
    QString script = QString::fromUtf8(file.readAll());
    file.close();
    Module m(args.at(0), args.at(1), args.at(2), args.at(3));
    if (!m.connect())
        return 3;
    m.log.clear();
    bool finished = false;
    QObject::connect(m.module.get(), &TDMstd::scriptFinished, [&finished] { finished = true; });
    m.module->ExecuteScript(args.at(4), script);
    // The outcomes of every statement, handled from the event loop while
    // the worker runs the next.
    if (!Module::until([&finished] { return finished; }))
        return 4;
    const int statements = args.at(6).toInt();
    const QStringList &lines = m.log.lines();
    if (m.log.appendedCount() != 2 * statements || !lines.last().startsWith(QLatin1String("Affected rows:1   ")) || m.module->busy()) {
        std::fprintf(stderr, "%lld log lines, last %s\n", m.log.appendedCount(), qPrintable(lines.value(lines.size() - 1)));
        return 4;
    }
    return 0;
}

int script(const QStringList &)
{
    constexpr int Count = 100000;
    PrivateServer server;
    if (!startServerWith(server,
                         QStringLiteral("CREATE DATABASE bench; CREATE TABLE bench.s (id INT, name VARCHAR(40));")))
        return 1;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("script.sql"));
    QFile file(path);
    if (!dir.isValid() || !file.open(QIODevice::WriteOnly))
        return 1;
    for (int i = 1; i <= Count; ++i)
        file.write(QStringLiteral("INSERT INTO s VALUES (%1, 'name %1');\n").arg(i).toUtf8());
    file.close();
    const QString mariadb = PrivateServer::findProgram(QStringLiteral("mariadb"));
    const QStringList cli = cliArguments(server.host(), server.port(), PrivateServer::user(),
                                         PrivateServer::password(), QStringLiteral("bench"));
    const QStringList ours = QStringList{QStringLiteral("script-child")} + connection(server)
        + QStringList{QStringLiteral("bench"), path, QString::number(Count)};
    auto truncate = [&] { return server.sql(QStringLiteral("TRUNCATE TABLE bench.s")); };
    Measurement a, b;
    const bool ran = bestOf(
        3, [&] { return truncate(), measureSelf(ours); },
        [&] { return truncate(), measureProgram(mariadb, cli, path); }, &a, &b);
    if (!ran)
        return 1;
    printFigure("statements", QString::number(Count));
    printComparison("quarnel", a, "mariadb", b);
    return 0;
}

} // namespace

QUARNEL_BENCH(openTable, "open-table",
              "OpenTable at DBL 100 (time, memory above the connected program) and of the whole table beside the "
              "command-line client [rows, default 1000000; the whole table only up to that]",
              openTable);
QUARNEL_BENCH(openTableChild, "open-table-child", "", openTableChild);
QUARNEL_BENCH(tables, "tables", "10,000 tables listed with row counts in the tree [engine, default MyISAM]",
              tables);
QUARNEL_BENCH(script, "script", "100,000 INSERTs through ExecuteScript beside the command-line client", script);
QUARNEL_BENCH(scriptChild, "script-child", "", scriptChild);

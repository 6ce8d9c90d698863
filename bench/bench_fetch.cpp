// quarnel-bench fetch [rows]: a SELECT of a million rows (or `rows`) through
// Query.Execute + Run beside the command-line client. The rows stream into a
// row store as the query grid takes them (a grid model following the store
// while they arrive), and every cell is read through the store at the end.
// The child tells on its error output how long the first row took and the
// longest time its event loop went without a turn.
#include "bench/benchcommon.h"
#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/resultstream.h"
#include "tests/support/privateserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

void printFigureTo(FILE *out, const char *name, double value)
{
    std::fprintf(out, "%s: %.1f\n", name, value);
}

int fetchChild(const QStringList &args)
{
    // host port user password database statement
    return runQueryChild(args, [](TmySQLClientQuery *query) {
        qint64 characters = 0;
        const int rows = query->RowCount();
        const int fields = query->FieldCount();
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < fields; ++c)
                characters += query->Value(r, c).size();
        }
        // The count keeps the reads from being optimised away.
        return rows > 0 && characters > 0 ? 0 : 1;
    });
}

int fetchStreamChild(const QStringList &args)
{
    // host port user password database statement budget-megabytes [sort]
    if (args.size() < 7 || !LoadClientLibrary())
        return 2;
    const bool sortToo = args.size() > 7 && args.at(7) == QLatin1String("sort");
    TmySQLClient client;
    client.setThreaded(true);
    client.setHostname(args.at(0));
    client.setPort(args.at(1).toInt());
    client.setUsername(args.at(2));
    client.setPassword(args.at(3));
    client.setDatabase(args.at(4));
    QEventLoop loop;
    int exitCode = 1;
    GridModel grid;
    auto rows = std::make_shared<StreamedRows>(ResultMemoryBudget(args.at(6)));
    QElapsedTimer sinceStart;
    qint64 firstRowMs = -1;
    // The longest time between two turns of the event loop while rows come.
    QElapsedTimer sinceTurn;
    qint64 longestStallMs = 0;
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout, [&] {
        longestStallMs = std::max(longestStallMs, sinceTurn.restart());
    });
    client.OnConnectError = [&](QObject *, const QString &message) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        loop.quit();
    };
    client.OnConnect = [&](QObject *) {
        sinceStart.start();
        sinceTurn.start();
        turns.start(10);
        client.Query()->Execute(
            args.at(5), QStringLiteral("bench"),
            [&](QObject *, const QString &, int current, int) {
                const std::shared_ptr<RowStore> store = rows->store();
                if (current == 0 && store) {
                    QStringList captions;
                    for (const TmySQLField &field : rows->fields())
                        captions.append(field.name);
                    grid.setColumns(captions);
                    grid.adoptGrowingRows(store);
                }
                else
                    grid.showSourceRows(current);
                if (current > 0 && firstRowMs < 0)
                    firstRowMs = sinceStart.elapsed();
            },
            [&](QObject *, const QString &message) {
                std::fprintf(stderr, "%s\n", qPrintable(message));
                loop.quit();
            },
            [&](QObject *) {
                turns.stop();
                const std::shared_ptr<RowStore> store = rows->store();
                if (!store) {
                    loop.quit();
                    return;
                }
                grid.showSourceRows(store->rowCount());
                // Every cell once through the grid's rows, as a copy, an
                // export or a print reads them; the store keeps only a
                // window of its file resident.
                const int count = store->rowCount();
                const double rssBeforeMb = double(processStatusKb("VmRSS")) / 1024.0;
                auto readAll = [&grid, count](qint64 *characters) {
                    const GridSnapshot shot = grid.snapshot();
                    long mostKb = processStatusKb("VmRSS");
                    for (int r = 0; r < count; ++r) {
                        for (int c = 0; c < shot.columnCount(); ++c)
                            *characters += shot.cell(r, c).size();
                        if (r % (1 << 16) == 0)
                            mostKb = std::max(mostKb, processStatusKb("VmRSS"));
                    }
                    return double(mostKb) / 1024.0;
                };
                qint64 characters = 0;
                QElapsedTimer reading;
                reading.start();
                const double readPeakMb = readAll(&characters);
                printFigureTo(stderr, "rss_before_read_mb", rssBeforeMb);
                printFigureTo(stderr, "read_seconds", double(reading.elapsed()) / 1000.0);
                printFigureTo(stderr, "read_peak_rss_mb", readPeakMb);
                if (sortToo) {
                    // A header click on the second column (text): the sort runs
                    // on a worker while the event loop goes on turning.
                    QEventLoop sortLoop;
                    QElapsedTimer sinceSortTurn;
                    qint64 sortStallMs = 0;
                    QTimer sortTurns;
                    QObject::connect(&sortTurns, &QTimer::timeout, [&] {
                        sortStallMs = std::max(sortStallMs, sinceSortTurn.restart());
                    });
                    QObject::connect(&grid, &GridModel::sortFinished, &sortLoop, &QEventLoop::quit);
                    resetPeakMemory();
                    QElapsedTimer sorting;
                    sorting.start();
                    sinceSortTurn.start();
                    sortTurns.start(10);
                    grid.sort(std::min(1, store->columnCount() - 1), Qt::DescendingOrder);
                    sortStallMs = std::max(sortStallMs, sinceSortTurn.elapsed());
                    if (grid.sortRunning())
                        sortLoop.exec();
                    sortTurns.stop();
                    sortStallMs = std::max(sortStallMs, sinceSortTurn.elapsed());
                    printFigureTo(stderr, "header_sort_ms", double(sorting.elapsed()));
                    printFigureTo(stderr, "sort_longest_stall_ms", double(sortStallMs));
                    printFigureTo(stderr, "sort_runs", double(grid.lastSortRuns()));
                    printFigureTo(stderr, "sort_peak_rss_mb", double(processStatusKb("VmHWM")) / 1024.0);
                    if (!grid.sortError().isEmpty())
                        std::fprintf(stderr, "%s\n", qPrintable(grid.sortError()));
                    // The sorted rows once more, now in the sorted order.
                    reading.restart();
                    qint64 sortedCharacters = 0;
                    const double sortedPeakMb = readAll(&sortedCharacters);
                    printFigureTo(stderr, "sorted_read_seconds", double(reading.elapsed()) / 1000.0);
                    printFigureTo(stderr, "sorted_read_peak_rss_mb", sortedPeakMb);
                    if (sortedCharacters != characters || grid.sortColumn() < 0)
                        characters = 0;
                }
                std::fprintf(stderr, "first_row_ms: %lld\nlongest_stall_ms: %lld\nspilled_mb: %.1f\n",
                             (long long)firstRowMs, (long long)longestStallMs,
                             double(store->fileBytes()) / (1024.0 * 1024.0));
                exitCode = count > 0 && characters > 0 && grid.rowCount() == count ? 0 : 1;
                loop.quit();
            },
            0, rows);
        client.Query()->Run();
    };
    client.Connect();
    loop.exec();
    return exitCode;
}

int fetch(const QStringList &arguments)
{
    bool ok = false;
    const qint64 rows = arguments.isEmpty() ? 1000000 : arguments.first().toLongLong(&ok);
    if (!arguments.isEmpty() && (!ok || rows <= 0)) {
        std::fprintf(stderr, "usage: quarnel-bench fetch [rows]\n");
        return 2;
    }
    const QString budget = arguments.size() > 1 ? arguments.at(1) : QStringLiteral("256");
    PrivateServer server;
    if (!startServerWith(server, rowTable(rows)))
        return 1;
    printFigure("rows", QString::number(rows));
    printFigure("budget_mb", budget);
    const QString statement = QStringLiteral("select * from t");
    const QStringList cli = cliArguments(server.host(), server.port(), PrivateServer::user(),
                                         PrivateServer::password(), QStringLiteral("bench"))
                            + QStringList{QStringLiteral("--batch"), QStringLiteral("-e"), statement};
    const QString mariadb = PrivateServer::findProgram(QStringLiteral("mariadb"));
    const QStringList ours{QStringLiteral("fetch-stream-child"), server.host(), QString::number(server.port()),
                           PrivateServer::user(), PrivateServer::password(), QStringLiteral("bench"), statement,
                           budget};
    // Warm the server's caches once, then take the best of three runs each
    // (of one run past a few million rows).
    measureProgram(mariadb, cli);
    Measurement best, bestCli;
    const int runs = rows > 2000000 ? 1 : 3;
    if (!bestOf(runs, [&] { return measureSelf(ours); }, [&] { return measureProgram(mariadb, cli); }, &best,
                &bestCli))
        return 1;
    printComparison("quarnel", best, "mariadb", bestCli);
    // Once more with a header click on the text column after the rows are in.
    const Measurement sorted = measureSelf(ours + QStringList{QStringLiteral("sort")});
    if (sorted.exitCode != 0)
        return 1;
    printFigure("with_sort_seconds", sorted.seconds);
    printFigure("with_sort_peak_mb", double(sorted.peakKb) / 1024.0);
    return 0;
}

} // namespace

QUARNEL_BENCH(fetch, "fetch",
              "[rows [budget MB]] 1,000,000 rows (or rows) streamed into a row store beside the command-line client",
              fetch);
QUARNEL_BENCH(fetchChild, "fetch-child", "", fetchChild);
QUARNEL_BENCH(fetchStreamChild, "fetch-stream-child", "", fetchStreamChild);

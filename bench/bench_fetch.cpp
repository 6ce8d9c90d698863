// quarnel-bench fetch: a million-row SELECT through Query.Execute + Run with
// every Value read in the completion handler, beside the command-line client.
#include "bench/benchcommon.h"
#include "client/mySQLClient.h"
#include "tests/support/privateserver.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

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

int fetch(const QStringList &)
{
    PrivateServer server;
    if (!startServerWith(server, millionRowTable()))
        return 1;
    printFigure("rows", QStringLiteral("1000000"));
    const QString statement = QStringLiteral("select * from t");
    const QStringList cli = cliArguments(server.host(), server.port(), PrivateServer::user(),
                                         PrivateServer::password(), QStringLiteral("bench"))
                            + QStringList{QStringLiteral("--batch"), QStringLiteral("-e"), statement};
    const QString mariadb = PrivateServer::findProgram(QStringLiteral("mariadb"));
    const QStringList ours{QStringLiteral("fetch-child"), server.host(), QString::number(server.port()),
                           PrivateServer::user(), PrivateServer::password(), QStringLiteral("bench"), statement};
    // Warm the server's caches once, then take the best of three runs each.
    measureProgram(mariadb, cli);
    Measurement best, bestCli;
    if (!bestOf(3, [&] { return measureSelf(ours); }, [&] { return measureProgram(mariadb, cli); }, &best, &bestCli))
        return 1;
    printComparison("quarnel", best, "mariadb", bestCli);
    return 0;
}

} // namespace

QUARNEL_BENCH(fetch, "fetch", "1,000,000 rows through Query.Execute + Run beside the command-line client", fetch);
QUARNEL_BENCH(fetchChild, "fetch-child", "", fetchChild);

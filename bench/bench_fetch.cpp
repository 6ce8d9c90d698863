// quarnel-bench fetch: a million-row SELECT through Query.Execute + Run with
// every Value read in the completion handler, beside the command-line client.
#include "bench/benchcommon.h"
#include "client/mySQLClient.h"
#include "tests/support/privateserver.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstdio>

namespace {

int fetchChild(const QStringList &args)
{
    // host port user password database statement
    if (args.size() < 6 || !LoadClientLibrary())
        return 2;
    TmySQLClient client;
    client.setHostname(args.at(0));
    client.setPort(args.at(1).toInt());
    client.setUsername(args.at(2));
    client.setPassword(args.at(3));
    client.setDatabase(args.at(4));
    QEventLoop loop;
    int exitCode = 1;
    qint64 characters = 0;
    client.OnConnectError = [&](QObject *, const QString &message) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        loop.quit();
    };
    client.OnConnect = [&](QObject *) {
        client.Query()->Execute(
            args.at(5), QStringLiteral("fetch"), nullptr,
            [&](QObject *, const QString &message) {
                std::fprintf(stderr, "%s\n", qPrintable(message));
                loop.quit();
            },
            [&](QObject *sender) {
                auto *query = static_cast<TmySQLClientQuery *>(sender);
                const int rows = query->RowCount();
                const int fields = query->FieldCount();
                for (int r = 0; r < rows; ++r) {
                    for (int c = 0; c < fields; ++c)
                        characters += query->Value(r, c).size();
                }
                exitCode = rows > 0 ? 0 : 1;
                loop.quit();
            });
        client.Query()->Run();
    };
    client.Connect();
    loop.exec();
    // The count keeps the reads from being optimised away.
    return characters > 0 ? exitCode : 1;
}

int fetch(const QStringList &)
{
    PrivateServer server;
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    if (!server.sql(QStringLiteral(
            "CREATE DATABASE bench; USE bench;"
            "CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(40), note VARCHAR(100), val DOUBLE);"
            "INSERT INTO t SELECT seq, CONCAT('name ', seq), REPEAT(CHAR(97 + seq % 26), 10 + seq % 90),"
            " seq * 1.25 FROM seq_1_to_1000000;"),
                    nullptr, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
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

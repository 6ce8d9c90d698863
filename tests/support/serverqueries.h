#pragma once

#include "client/mySQLClient.h"
#include "tests/support/privateserver.h"

#include <QStringList>

// The rows root reads from the private server, each as its tab-separated
// cells (the command-line client's batch output without the captions).
inline QStringList serverRows(const PrivateServer &server, const QString &select)
{
    QString out;
    server.sql(select, &out);
    QStringList rows = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!rows.isEmpty())
        rows.removeFirst();
    return rows;
}

// Starts connecting a second client of the test account to the private
// server; the caller waits for Connected().
inline void connectSecondClient(TmySQLClient &client, const PrivateServer &server,
                                const QString &database = QString())
{
    client.setHostname(server.host());
    client.setPort(server.port());
    client.setUsername(PrivateServer::user());
    client.setPassword(PrivateServer::password());
    client.setDatabase(database);
    client.Connect();
}

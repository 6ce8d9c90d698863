#pragma once

// Checks of what the private server holds after a change, made apart from
// the code under test: the command-line client as root, and a login of its
// own. Also the application server's two tables as the sample data has them.

#include "client/mySQLClient.h"
#include "tests/support/privateserver.h"

#include <QTest>

// What the command-line client prints for the statements (caption lines
// included), or "<error> " and its message.
inline QString ServerOutput(const QString &statements)
{
    QString output;
    QString error;
    if (!PrivateServer::shared().sql(statements, &output, &error))
        return QStringLiteral("<error> ") + error;
    return output;
}

// Whether the account logs in over TCP with this password.
inline bool CanLogIn(const QString &user, const QString &password)
{
    const PrivateServer &server = PrivateServer::shared();
    TmySQLClient client;
    client.setHostname(server.host());
    client.setPort(server.port());
    client.setUsername(user);
    client.setPassword(password);
    bool answered = false;
    client.OnConnect = [&](QObject *) { answered = true; };
    client.OnConnectError = [&](QObject *, const QString &) { answered = true; };
    client.Connect();
    if (!QTest::qWaitFor([&] { return answered; }, 10000))
        return false;
    const bool connected = client.Connected();
    client.Close();
    return connected;
}

// A fresh "appserver" database with the tables `action` and `error`.
inline QString AppServerTables()
{
    return QStringLiteral(
        "DROP DATABASE IF EXISTS appserver; CREATE DATABASE appserver; USE appserver;"
        "CREATE TABLE action (id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,"
        " art CHAR(1) NOT NULL DEFAULT 'F', action VARCHAR(250) NOT NULL DEFAULT '',"
        " variable TEXT NULL, status CHAR(1) NOT NULL DEFAULT 'W', idate DATETIME NULL,"
        " interv VARCHAR(10) NULL, isinterv CHAR(1) NOT NULL DEFAULT 'N',"
        " mailst CHAR(1) NOT NULL DEFAULT 'E', address VARCHAR(250) NULL,"
        " storno CHAR(1) NOT NULL DEFAULT 'N');"
        "CREATE TABLE error (id INT NOT NULL AUTO_INCREMENT PRIMARY KEY, action INT NOT NULL,"
        " error TEXT NOT NULL, level INT NOT NULL DEFAULT 0, user VARCHAR(40) NULL);");
}

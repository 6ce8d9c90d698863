#pragma once

#include "client/mySQLClient.h"

#include <QTest>

#include <memory>

// Logs a configured client in and waits for the outcome: the client when it
// is connected, null when the login failed or took longer than timeoutMs.
inline std::unique_ptr<TmySQLClient> loggedIn(std::unique_ptr<TmySQLClient> client, int timeoutMs)
{
    bool done = false;
    client->OnConnect = [&](QObject *) { done = true; };
    client->OnConnectError = [&](QObject *, const QString &message) {
        qWarning("connect failed: %s", qPrintable(message));
        done = true;
    };
    client->Connect();
    if (!QTest::qWaitFor([&] { return done; }, timeoutMs) || !client->Connected())
        return nullptr;
    client->OnConnect = nullptr;
    client->OnConnectError = nullptr;
    return client;
}

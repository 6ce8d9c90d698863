#pragma once

#include "client/mysqlclienttask.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

// Lets the outcomes of every statement under way arrive: runs the event loop
// until no client has a task left whose outcome has not been handled (the
// statements run on the clients' worker threads), then a little longer for
// what those outcomes posted in turn.
inline void settle(int timeoutMs = 30000)
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    } while (TmySQLClientTaskHandler::PendingTasksOfAll() > 0 && !deadline.hasExpired());
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

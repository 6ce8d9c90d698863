#pragma once

#include "tests/support/privateserver.h"

#include <QDeadlineTimer>
#include <QThread>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

// Ends the test program when a call under test has not returned in time: a
// call that hangs fails the test instead of holding the whole run. The
// private server is let go on first, should the test have halted it.
class Watchdog
{
public:
    Watchdog(int seconds, const char *what)
        : m_thread([this, seconds, what] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_cv.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_done; }))
                return;
            PrivateServer::shared().resume();
            std::fprintf(stderr, "FAIL: %s has not returned after %d s\n", what, seconds);
            std::fflush(stderr);
            std::_Exit(1);
        })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
    std::thread m_thread;
};

// Waits for a condition without letting the event loop run: outcomes stay
// where the worker put them, as while the window is busy.
template<typename Condition>
bool waitWithoutEvents(Condition condition, int timeoutMs = 20000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

// Halts the private server for the lifetime of the object.
class ServerPause
{
public:
    ServerPause() { PrivateServer::shared().pause(); }
    ~ServerPause() { PrivateServer::shared().resume(); }
    ServerPause(const ServerPause &) = delete;
    ServerPause &operator=(const ServerPause &) = delete;
};

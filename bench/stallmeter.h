#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

// The longest gap between ticks of a 10 ms timer on this thread: how long the
// event loop (a window's, in the benchmarks that drive one) did not answer.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    // The longest stall in ms: the gap beyond the timer's own interval.
    double stop()
    {
        m_timer.stop();
        const qint64 tail = m_clock.nsecsElapsed() - m_last;
        return std::max(0.0, double(std::max(m_longest, tail)) / 1e6 - 10.0);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

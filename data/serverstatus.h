#pragma once

#include <QList>
#include <QString>

#include <optional>

// The server's one-line status ("Uptime: 12  Threads: 1  Questions: 40 ...")
// as numbers, and the counters of the automatic log over time.
struct ServerStatusSample
{
    double uptime = 0;
    double threads = 0;
    double questions = 0;
    double slowQueries = 0;
    double opens = 0;
    double openTables = 0;
    double queriesPerSecondAverage = 0;
};

// Nothing when the line is not a status line (an empty line of a failed read).
std::optional<ServerStatusSample> ParseServerStatus(const QString &line);

// One point of the automatic log's chart.
struct ServerStatusPoint
{
    qint64 msecs = 0; // when the line arrived, milliseconds since the epoch
    double threads = 0;
    // Questions between this line and the one before over the time between
    // them; hasRate false (and 0) for a first line and the first after a
    // restart: the server's lifetime average is no rate of the moment.
    bool hasRate = false;
    double questionsPerSecond = 0;
    double slowQueries = 0;
    double openTables = 0;
};

// The points of the status lines, the oldest dropped beyond a limit.
// Questions per second are the questions between two lines over the time
// between them; the first line (and one after a server restart) has none.
class ServerStatusSeries
{
public:
    explicit ServerStatusSeries(int limit = 360);

    // False (and no point) for a line that is not a status line.
    bool add(const QString &line, qint64 msecs);
    void clear();
    const QList<ServerStatusPoint> &points() const { return m_points; }
    int limit() const { return m_limit; }

private:
    int m_limit;
    QList<ServerStatusPoint> m_points;
    std::optional<ServerStatusSample> m_last;
    qint64 m_lastMsecs = 0;
};

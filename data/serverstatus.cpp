#include "data/serverstatus.h"

#include <QRegularExpression>

std::optional<ServerStatusSample> ParseServerStatus(const QString &line)
{
    // "Name: value" pairs; names may hold blanks ("Slow queries").
    static const QRegularExpression pair(QStringLiteral("([A-Za-z][A-Za-z ]*?):\\s+(-?[0-9]+(?:\\.[0-9]+)?)"));
    ServerStatusSample sample;
    bool threads = false;
    bool questions = false;
    for (auto it = pair.globalMatch(line); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString name = match.captured(1).trimmed().toLower();
        const double value = match.captured(2).toDouble();
        if (name == QLatin1String("uptime")) {
            sample.uptime = value;
        } else if (name == QLatin1String("threads")) {
            sample.threads = value;
            threads = true;
        } else if (name == QLatin1String("questions")) {
            sample.questions = value;
            questions = true;
        } else if (name == QLatin1String("slow queries")) {
            sample.slowQueries = value;
        } else if (name == QLatin1String("opens")) {
            sample.opens = value;
        } else if (name == QLatin1String("open tables")) {
            sample.openTables = value;
        } else if (name == QLatin1String("queries per second avg")) {
            sample.queriesPerSecondAverage = value;
        }
    }
    if (!threads || !questions)
        return std::nullopt;
    return sample;
}

ServerStatusSeries::ServerStatusSeries(int limit)
    : m_limit(limit > 0 ? limit : 1)
{
}

bool ServerStatusSeries::add(const QString &line, qint64 msecs)
{
    const std::optional<ServerStatusSample> sample = ParseServerStatus(line);
    if (!sample)
        return false;
    ServerStatusPoint point;
    point.msecs = msecs;
    point.threads = sample->threads;
    point.slowQueries = sample->slowQueries;
    point.openTables = sample->openTables;
    // Questions only grow while the server runs: fewer, or an uptime that
    // went back, means it was restarted in between.
    if (m_last && msecs > m_lastMsecs && sample->questions >= m_last->questions && sample->uptime >= m_last->uptime) {
        point.hasRate = true;
        point.questionsPerSecond = (sample->questions - m_last->questions) * 1000.0 / double(msecs - m_lastMsecs);
    }
    m_last = sample;
    m_lastMsecs = msecs;
    m_points.append(point);
    while (m_points.size() > m_limit)
        m_points.removeFirst();
    return true;
}

void ServerStatusSeries::clear()
{
    m_points.clear();
    m_last.reset();
    m_lastMsecs = 0;
}

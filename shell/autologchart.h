#pragma once

#include "data/serverstatus.h"

#include <QChartView>

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

// The counters of the automatic log's status lines over time: threads,
// questions per second, slow queries and open tables, so load shows at a
// glance above the text.
class AutoLogChart : public QChartView
{
    Q_OBJECT

public:
    explicit AutoLogChart(QWidget *parent = nullptr);

    // A status line as it arrived; other lines (an empty one after a failed
    // read) add no point.
    void addLine(const QString &line);
    void addLine(const QString &line, qint64 msecs);
    void clear();

    const ServerStatusSeries &series() const { return m_data; }
    // The drawn series: "Threads", "Questions/s", "Slow queries", "Open tables".
    QList<QLineSeries *> lines() const;

private:
    void redraw();

    ServerStatusSeries m_data;
    QLineSeries *m_threads;
    QLineSeries *m_questions;
    QLineSeries *m_slow;
    QLineSeries *m_openTables;
    QDateTimeAxis *m_time;
    QValueAxis *m_counts;
    QValueAxis *m_rate;
};

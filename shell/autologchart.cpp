#include "shell/autologchart.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

QLineSeries *newSeries(const QString &name, QChart *chart)
{
    auto *series = new QLineSeries(chart);
    series->setName(name);
    series->setPointsVisible(true);
    chart->addSeries(series);
    return series;
}

// An axis from 0 to a little above the largest value, at least 1.
void fitAxis(QValueAxis *axis, double largest)
{
    axis->setRange(0, std::max(1.0, largest * 1.1));
    axis->applyNiceNumbers();
}

// An axis of whole counts: ticks only at whole numbers (1, 2 or 5 times a
// power of ten apart, at most MaxSteps of them), so that no two labels read
// the same.
void fitCountAxis(QValueAxis *axis, double largest)
{
    constexpr int MaxSteps = 5;
    const double top = std::max(1.0, std::ceil(largest * 1.1));
    double step = 1;
    for (double power = 1;; power *= 10) {
        const double candidates[] = {power, 2 * power, 5 * power};
        const double *fit = std::find_if(std::begin(candidates), std::end(candidates),
                                         [top](double c) { return std::ceil(top / c) <= MaxSteps; });
        if (fit != std::end(candidates)) {
            step = *fit;
            break;
        }
    }
    const int steps = int(std::ceil(top / step));
    axis->setRange(0, steps * step);
    axis->setTickCount(steps + 1);
}

} // namespace

// The chart is handed over at construction: setChart() would leave the
// view's own first chart behind undeleted.
AutoLogChart::AutoLogChart(QWidget *parent)
    : QChartView(new QChart, parent)
{
    setObjectName(QStringLiteral("ChartAutoLog"));
    setAccessibleName(QStringLiteral("Auto Database Log Chart"));
    setRenderHint(QPainter::Antialiasing);
    QChart *chart = this->chart();
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignTop);
    m_threads = newSeries(QStringLiteral("Threads"), chart);
    m_questions = newSeries(QStringLiteral("Questions/s"), chart);
    m_slow = newSeries(QStringLiteral("Slow queries"), chart);
    m_openTables = newSeries(QStringLiteral("Open tables"), chart);

    m_time = new QDateTimeAxis(chart);
    m_time->setFormat(QStringLiteral("HH:mm:ss"));
    m_time->setTickCount(5);
    m_counts = new QValueAxis(chart);
    m_counts->setTitleText(QStringLiteral("count"));
    m_counts->setLabelFormat(QStringLiteral("%d"));
    m_rate = new QValueAxis(chart);
    m_rate->setTitleText(QStringLiteral("per second"));
    chart->addAxis(m_time, Qt::AlignBottom);
    chart->addAxis(m_counts, Qt::AlignLeft);
    chart->addAxis(m_rate, Qt::AlignRight);
    // Counts on the left, the rate on its own scale on the right.
    for (QLineSeries *series : {m_threads, m_slow, m_openTables}) {
        series->attachAxis(m_time);
        series->attachAxis(m_counts);
    }
    m_questions->attachAxis(m_time);
    m_questions->attachAxis(m_rate);
    redraw();
}

QList<QLineSeries *> AutoLogChart::lines() const
{
    return {m_threads, m_questions, m_slow, m_openTables};
}

void AutoLogChart::addLine(const QString &line)
{
    addLine(line, QDateTime::currentMSecsSinceEpoch());
}

void AutoLogChart::addLine(const QString &line, qint64 msecs)
{
    if (m_data.add(line, msecs))
        redraw();
}

void AutoLogChart::clear()
{
    m_data.clear();
    redraw();
}

void AutoLogChart::redraw()
{
    QList<QPointF> threads, questions, slow, openTables;
    double counts = 0;
    double rate = 0;
    for (const ServerStatusPoint &point : m_data.points()) {
        const double x = double(point.msecs);
        threads.append({x, point.threads});
        if (point.hasRate)
            questions.append({x, point.questionsPerSecond});
        slow.append({x, point.slowQueries});
        openTables.append({x, point.openTables});
        counts = std::max({counts, point.threads, point.slowQueries, point.openTables});
        rate = std::max(rate, point.questionsPerSecond);
    }
    m_threads->replace(threads);
    m_questions->replace(questions);
    m_slow->replace(slow);
    m_openTables->replace(openTables);
    const QList<ServerStatusPoint> &points = m_data.points();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    qint64 first = points.isEmpty() ? now - 60000 : points.first().msecs;
    qint64 last = points.isEmpty() ? now : points.last().msecs;
    if (last - first < 10000) {
        // One point, or a few close together: a span of time around them.
        const qint64 middle = (first + last) / 2;
        first = middle - 5000;
        last = middle + 5000;
    }
    m_time->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(last));
    fitCountAxis(m_counts, counts);
    fitAxis(m_rate, rate);
}

// quarnel-bench grid-filter: the quick filter over a large grid in a real
// table view (offscreen when there is no display): how long the whole grid
// takes to be looked through, and the longest the window waits meanwhile.

#include "bench/benchcommon.h"
#include "data/gridmodel.h"
#include "shell/gridfilter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <string>

namespace {

// Filters for text, and reports the seconds until done, the longest gap
// between two ticks of a 5 ms timer, and the rows left shown.
void measure(GridFilter *filter, QTableView *view, const QString &text, const char *name)
{
    QElapsedTimer clock;
    QElapsedTimer gap;
    qint64 longest = 0;
    QTimer ticks;
    ticks.setInterval(5);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longest = std::max(longest, gap.restart());
    });
    QEventLoop loop;
    QObject::connect(filter, &GridFilter::filterFinished, &loop, &QEventLoop::quit);
    clock.start();
    gap.start();
    ticks.start();
    filter->setText(text);
    if (filter->filtering())
        loop.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    ticks.stop();
    const int shown = view->model()->rowCount();
    printFigure((std::string(name) + "_seconds").c_str(), seconds);
    printFigure((std::string(name) + "_longest_stall_ms").c_str(), double(longest));
    printFigure((std::string(name) + "_rows_shown").c_str(), shown);
}

int gridFilter(const QStringList &arguments)
{
    const int rows = arguments.isEmpty() ? 1000000 : arguments.first().toInt();
    GridModel model;
    model.setColumns({QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("city")});
    QElapsedTimer fill;
    fill.start();
    model.beginBulkAppend();
    static const char *const Cities[] = {"Berlin", "Lisbon", "Oslo", "Turin", "Quito"};
    for (int row = 0; row < rows; ++row) {
        const QByteArray id = QByteArray::number(row + 1);
        const QByteArray name = "customer " + QByteArray::number(row * 7919 % 1000003);
        const char *cells[3] = {id.constData(), name.constData(), Cities[row % 5]};
        model.appendRow(cells, 3);
    }
    model.endBulkAppend();
    printFigure("rows", rows);
    printFigure("fill_seconds", double(fill.nsecsElapsed()) / 1e9);
    QTableView view;
    view.setModel(&model);
    GridFilter filter(&view);
    view.resize(800, 600);
    view.show();
    QApplication::processEvents();
    measure(&filter, &view, QStringLiteral("oslo"), "filter_common");
    measure(&filter, &view, QStringLiteral("customer 77"), "filter_rare");
    measure(&filter, &view, QString(), "filter_cleared");
    return 0;
}

} // namespace

QUARNEL_BENCH(gridFilter, "grid-filter",
              "the quick filter over a large grid in a table view: time and longest stall [rows, default "
              "1000000]",
              gridFilter);

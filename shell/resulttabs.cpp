#include "shell/resulttabs.h"

#include "client/mysqlresultrows.h"
#include "data/gridmodel.h"
#include "data/tdmstd.h"

#include <QSet>

namespace {

// The tabs follow a run's results at most this often.
constexpr int RebuildMilliseconds = 250;

QString caption(const TQueryRunResult &result)
{
    return QStringLiteral("Result %1 \u2013 %2").arg(result.number).arg(TDMstd::RowsCaption(result.rows));
}

} // namespace

ResultTabs::ResultTabs(QWidget *lastResult, GridMaker makeGrid, QWidget *parent)
    : QTabWidget(parent)
    , m_last(lastResult)
    , m_makeGrid(std::move(makeGrid))
{
    setObjectName(QStringLiteral("ResultTabs"));
    setAccessibleName(QStringLiteral("Results"));
    setTabBarAutoHide(true);
    setDocumentMode(true);
    addTab(m_last, QStringLiteral("Result"));
    m_rebuild.setSingleShot(true);
    connect(&m_rebuild, &QTimer::timeout, this, &ResultTabs::rebuild);
}

void ResultTabs::setDataModule(TDMstd *data)
{
    m_data = data;
    connect(data, &TDMstd::runResultsChanged, this, &ResultTabs::schedule);
}

void ResultTabs::schedule()
{
    if (m_rebuild.isActive())
        return;
    const qint64 since = m_sinceRebuild.isValid() ? m_sinceRebuild.elapsed() : RebuildMilliseconds;
    m_rebuild.start(int(std::max<qint64>(0, RebuildMilliseconds - since)));
}

void ResultTabs::rebuild()
{
    if (!m_data)
        return;
    m_sinceRebuild.start();
    const QList<TQueryRunResult> &results = m_data->RunResults();
    QSet<const GridRowSource *> wanted;
    for (int i = 0; i + 1 < results.size(); ++i)
        wanted.insert(results.at(i).source.get());
    setUpdatesEnabled(false);
    // Tabs of results no longer kept go; those still kept stay as they are.
    for (int i = int(m_shown.size()) - 1; i >= 0; --i) {
        if (wanted.contains(m_shown.at(i).get()))
            continue;
        QWidget *page = widget(i);
        removeTab(i);
        page->deleteLater();
        m_shown.removeAt(i);
    }
    QSet<const GridRowSource *> shown;
    for (const auto &result : std::as_const(m_shown))
        shown.insert(result.get());
    for (int i = 0; i + 1 < results.size(); ++i) {
        const TQueryRunResult &result = results.at(i);
        if (shown.contains(result.source.get()))
            continue;
        // New results come after the ones shown, in order.
        auto *model = new GridModel;
        QWidget *page = m_makeGrid(model, caption(result));
        model->setParent(page);
        m_data->FillRunResultGrid(i, model);
        const int at = count() - 1;
        insertTab(at, page, caption(result));
        m_shown.append(result.source);
    }
    for (int i = 0; i + 1 < results.size() && i < count() - 1; ++i) {
        setTabText(i, caption(results.at(i)));
        setTabToolTip(i, results.at(i).statement);
    }
    const int last = count() - 1;
    if (results.isEmpty()) {
        setTabText(last, QStringLiteral("Result"));
        setTabToolTip(last, QString());
    } else {
        setTabText(last, caption(results.last()));
        setTabToolTip(last, results.last().statement);
    }
    setCurrentIndex(last);
    setUpdatesEnabled(true);
}

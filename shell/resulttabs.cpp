#include "shell/resulttabs.h"

#include "data/gridmodel.h"
#include "data/tdmstd.h"

#include <QTableView>

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
}

void ResultTabs::setDataModule(TDMstd *data)
{
    m_data = data;
    connect(data, &TDMstd::runResultsChanged, this, &ResultTabs::rebuild);
}

void ResultTabs::rebuild()
{
    const QList<TQueryRunResult> &results = m_data->RunResults();
    // The earlier results' grids are made anew; the last one stays.
    setUpdatesEnabled(false);
    while (count() > 1) {
        QWidget *page = widget(0);
        removeTab(0);
        page->deleteLater();
    }
    for (int i = 0; i + 1 < results.size(); ++i) {
        const TQueryRunResult &result = results.at(i);
        const QString caption =
            QStringLiteral("Result %1 \u2013 %2").arg(result.number).arg(TDMstd::RowsCaption(result.rows));
        auto *model = new GridModel;
        QWidget *page = m_makeGrid(model, caption);
        model->setParent(page);
        m_data->FillRunResultGrid(i, model);
        insertTab(i, page, caption);
        setTabToolTip(i, result.statement);
    }
    const int last = count() - 1;
    if (results.isEmpty()) {
        setTabText(last, QStringLiteral("Result"));
        setTabToolTip(last, QString());
    } else {
        const TQueryRunResult &result = results.last();
        setTabText(last, QStringLiteral("Result %1 \u2013 %2").arg(result.number).arg(TDMstd::RowsCaption(result.rows)));
        setTabToolTip(last, result.statement);
    }
    setCurrentIndex(last);
    setUpdatesEnabled(true);
}

#include "shell/monitorgrid.h"

#include "data/gridmodel.h"

#include <QBrush>
#include <QHeaderView>
#include <QTableView>

void AttentionRows::setMarkedRows(const QSet<int> &rows)
{
    if (rows == m_rows)
        return;
    m_rows = rows;
    if (rowCount() > 0 && columnCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::ForegroundRole});
}

QVariant AttentionRows::data(const QModelIndex &index, int role) const
{
    if (role == Qt::ForegroundRole && index.isValid() && m_rows.contains(index.row()))
        return QBrush(Qt::red);
    // A screen reader learns the same as the colour says.
    if (role == Qt::AccessibleDescriptionRole && index.isValid() && m_rows.contains(index.row()))
        return QStringLiteral("needs attention");
    return QIdentityProxyModel::data(index, role);
}

QTableView *newMonitorGrid(GridModel *model, const QString &objectName, const QString &accessibleName,
                           QWidget *parent)
{
    auto *view = new QTableView(parent);
    view->setObjectName(objectName);
    view->setAccessibleName(accessibleName);
    auto *marks = new AttentionRows(view);
    marks->setSourceModel(model);
    view->setModel(marks);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setShowGrid(true);
    view->setWordWrap(false);
    view->verticalHeader()->setVisible(false);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

AttentionRows *attentionRowsOf(QTableView *view)
{
    return qobject_cast<AttentionRows *>(view->model());
}

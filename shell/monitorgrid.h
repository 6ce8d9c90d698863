#pragma once

#include <QIdentityProxyModel>
#include <QSet>

class GridModel;
class QTableView;
class QWidget;

// A grid whose marked rows show in red: the pages that watch replication
// and cluster nodes mark what needs the administrator's attention.
class AttentionRows : public QIdentityProxyModel
{
    Q_OBJECT

public:
    using QIdentityProxyModel::QIdentityProxyModel;
    void setMarkedRows(const QSet<int> &rows);
    bool isMarked(int row) const { return m_rows.contains(row); }
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QSet<int> m_rows;
};

// A read-only report grid over model, rows marked through the returned
// view's model (an AttentionRows).
QTableView *newMonitorGrid(GridModel *model, const QString &objectName, const QString &accessibleName,
                           QWidget *parent);
AttentionRows *attentionRowsOf(QTableView *view);

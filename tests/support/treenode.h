#pragma once

#include "data/tdmstd.h"

#include <QStandardItemModel>

// The node of a database in the window's tree, or of one of its tables
// (found by the table's name, not by the node's text with its row count);
// invalid when the tree does not show it.
inline QModelIndex TreeNode(const QStandardItemModel *tree, const QString &database, const QString &table = QString())
{
    for (int row = 0; row < tree->rowCount(); ++row) {
        const QStandardItem *db = tree->item(row);
        if (db->text() != database)
            continue;
        if (table.isEmpty())
            return db->index();
        for (int child = 0; child < db->rowCount(); ++child) {
            if (db->child(child)->data(TDMstd::TableNameRole).toString() == table)
                return db->child(child)->index();
        }
    }
    return {};
}

// The query grid and the data grid after "Show all" follow the rows while the
// server sends them: the rows go to a row store on the client's worker, the
// grid shows the rows published so far.

#include "data/tdmstd.h"

#include "client/mysqlresultrows.h"
#include "data/gridmodel.h"
#include "data/resultstream.h"
#include "data/settingsstore.h"

std::shared_ptr<StreamedRows> TDMstd::newStreamedRows() const
{
    const TProgramSettings defaults;
    const TProgramSettings &program = m_views.program ? *m_views.program : defaults;
    return std::make_shared<StreamedRows>(ResultMemoryBudget(program.ResultMemory));
}

void TDMstd::streamedRowsArrived(GridModel *grid, const std::shared_ptr<StreamedRows> &rows, int current,
                                 bool setCaptions)
{
    if (!grid || !rows)
        return;
    const std::shared_ptr<RowStore> store = rows->store();
    if (!store)
        return;
    if (current > 0) {
        // Only the grid still showing this store follows it.
        if (grid->rowSource() == store)
            grid->showSourceRows(current);
        return;
    }
    const std::vector<TmySQLField> fields = rows->fields();
    if (setCaptions) {
        grid->clear();
        QStringList captions;
        QList<int> widths;
        for (const TmySQLField &field : fields) {
            captions.append(field.name);
            widths.append(GridModel::AutoWidth);
        }
        grid->setColumns(captions, widths);
    }
    grid->adoptGrowingRows(store, store->rowCount());
    describeColumns(grid, std::make_shared<TmySQLResultRows>(fields));
}

bool TDMstd::showAllStreamedRows(GridModel *grid, const std::shared_ptr<StreamedRows> &rows)
{
    const std::shared_ptr<RowStore> store = rows ? rows->store() : nullptr;
    if (!grid || !store || grid->rowSource() != store)
        return false;
    grid->showSourceRows(store->rowCount());
    return true;
}

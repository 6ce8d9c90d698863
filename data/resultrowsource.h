#pragma once

#include "client/mySQLClient.h"
#include "data/gridmodel.h"

#include <algorithm>
#include <memory>

// A query's stored rows as grid rows: the grid shows them where the client
// keeps them instead of copying every cell.
class ResultRowSource : public GridRowSource
{
public:
    ResultRowSource(std::shared_ptr<const TmySQLResultRows> rows, int columns)
        : m_rows(std::move(rows))
        , m_columns(std::max(0, std::min(columns, m_rows ? m_rows->fieldCount() : 0)))
    {
    }

    int rowCount() const override { return m_rows ? m_rows->rowCount() : 0; }
    int columnCount() const override { return m_columns; }
    const char *cell(int row, int column) const override { return m_rows->cell(row, column); }
    int cellLength(int row, int column) const override { return m_rows->cellLength(row, column); }

private:
    std::shared_ptr<const TmySQLResultRows> m_rows;
    int m_columns;
};

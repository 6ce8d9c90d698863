#pragma once

#include <QtGlobal>

// What the data grid shows of its table, for the line above the grid.
struct TDataGridRows
{
    int shown = 0;         // rows the grid holds
    qint64 total = -1;     // rows the table holds; -1: not known
    bool estimate = false; // total is the server's estimate (InnoDB keeps no exact count)
    int limit = 0;         // the row limit the grid was read with
    bool more = false;     // the table may hold rows the grid does not show
};

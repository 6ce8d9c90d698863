#pragma once

#include <QString>

#include <atomic>
#include <vector>

class GridRowSource;

// One column of a grid's rows sorted within a memory bound, for a worker
// thread: every cell is read once, in the order the source keeps its rows
// (a row store's file is read front to back); the keys go into runs of at
// most runBytes, each run is sorted, runs past the first go to a temporary
// file and are merged.
//
// The order is the grid's: by the cell's UTF-8 bytes (character-code order)
// or, byLocale, by the locale's collation (texts of the digits 0-9 alone by
// their bytes, which is the same order); NULL sorts as the empty text; equal
// cells keep their shown order; descending is the exact reverse of ascending.
struct GridSortRequest
{
    const GridRowSource *source = nullptr;
    // Shown row -> source row for the first `rows` shown rows; null: the
    // source's own order.
    const std::vector<quint32> *shown = nullptr;
    int rows = 0;
    int column = 0;
    bool descending = false;
    bool byLocale = false;
    qint64 runBytes = 64LL * 1024 * 1024;
    QString temporaryFolder;
};

struct GridSortResult
{
    std::vector<quint32> order; // shown row -> source row
    int runs = 0;               // sorted runs merged (1: the keys fitted at once)
    bool cancelled = false;
    QString error;              // the temporary file could not be made or read
};

// cancel is polled every few thousand rows.
GridSortResult SortGridRows(const GridSortRequest &request, const std::atomic<bool> &cancel);

// The bytes one run of keys may take for a source whose sort may use
// `budget` bytes (-1: no limit).
qint64 GridSortRunBytes(qint64 budget);

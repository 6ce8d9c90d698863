#pragma once

#include "client/mysqlresultrows.h"
#include "data/rowstore.h"

#include <QString>

#include <memory>
#include <mutex>
#include <vector>

// The rows of a query, kept in a row store while they arrive from the server.
// The client's worker writes (begin, append, publish); the window reads the
// store once the columns are known, and shows the rows published so far.
// Binary columns are kept as "0x" and the hex digits of their bytes, as the
// grids show them.
//
// A statement returning several result sets (a CALL) gets a store for each;
// the finished ones are kept beside the one arriving, all within the one
// memory budget of the row stores, the newest MaxEarlierResults of them
// holding at most MaxEarlierRows rows together.
class StreamedRows : public TmySQLRowSink
{
public:
    static constexpr int MaxEarlierResults = 49;
    static constexpr qint64 MaxEarlierRows = 1000000;

    // One result set: its rows and its columns.
    struct Result
    {
        std::shared_ptr<RowStore> store;
        std::vector<TmySQLField> fields;
    };

    // memoryBudget: bytes the pages of all stores may hold in memory before
    // the rows go to a temporary file in tempFolder (empty: the system's).
    explicit StreamedRows(qint64 memoryBudget = RowStore::DefaultBudget, const QString &tempFolder = QString());

    void begin(const std::vector<TmySQLField> &fields) override;
    bool append(const char *const *cells, const unsigned long *lengths) override;
    void publish() override;
    QString errorString() const override;

    // Null until the columns are known (and for a statement without rows).
    std::shared_ptr<RowStore> store() const;
    std::vector<TmySQLField> fields() const;
    // Every result set kept, in the server's order: the finished ones, then
    // the current one (the one store() holds).
    std::vector<Result> results() const;
    // Earlier result sets let go to keep within the limits above.
    int droppedResults() const;

private:
    const qint64 m_budget;
    const QString m_tempFolder;
    mutable std::mutex m_mutex;
    std::shared_ptr<RowStore> m_store;
    std::vector<TmySQLField> m_fields;
    std::vector<Result> m_earlier;
    qint64 m_earlierRows = 0;
    int m_dropped = 0;
    // The writer's own
    RowStore *m_writer = nullptr;
    std::vector<bool> m_binary;
    bool m_anyBinary = false;
    std::vector<QByteArray> m_hex;
    std::vector<const char *> m_cells;
    std::vector<unsigned long> m_lengths;
};

// The result memory budget setting (megabytes, as text) in bytes: the
// default for anything that is not a positive number.
qint64 ResultMemoryBudget(const QString &megabytes);

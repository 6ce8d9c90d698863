#pragma once

#include "client/mysqlbinding.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// What a result says about one of its columns.
struct TmySQLField
{
    QString name;
    enum_field_types type = MYSQL_TYPE_STRING;
    unsigned int charsetnr = 0;
    unsigned int flags = 0;
    unsigned long length = 0; // the column's display width

    // Bytes rather than text (BLOB, BINARY, VARBINARY, BIT, geometry): shown as hex.
    bool isBinary() const;
    bool isNumeric() const;
    // The column's type as a user reads it ("INT", "VARCHAR(20)", "BLOB").
    QString typeName() const;
};

// Where the rows of a streamed result go, on the thread that reads them from
// the server, as they come.
class TmySQLRowSink
{
public:
    virtual ~TmySQLRowSink() = default;
    // The result's columns, before its first row.
    virtual void begin(const std::vector<TmySQLField> &fields) = 0;
    // One row of as many cells as there are columns; cells[i] == nullptr is
    // NULL. False: the row could not be kept (errorString() says why); the
    // transfer is then read to its end without keeping more, and the
    // statement fails with that text.
    virtual bool append(const char *const *cells, const unsigned long *lengths) = 0;
    // The rows appended so far may be read.
    virtual void publish() = 0;
    virtual QString errorString() const = 0;
};

// A stored result set with its rows, read once. It may outlive the handler
// that received it when a caller takes it over (a grid showing the rows
// without copying them); the library's memory is freed with the last owner.
class TmySQLResultRows
{
public:
    explicit TmySQLResultRows(MYSQL_RES *result);
    // Columns without rows: what a handler reads of a streamed result, whose
    // rows went to a sink.
    explicit TmySQLResultRows(std::vector<TmySQLField> fields);
    // What a result says about its columns.
    static std::vector<TmySQLField> readFields(MYSQL_RES *result);
    ~TmySQLResultRows();
    TmySQLResultRows(const TmySQLResultRows &) = delete;
    TmySQLResultRows &operator=(const TmySQLResultRows &) = delete;

    int rowCount() const { return int(m_rows.size()); }
    int fieldCount() const { return m_fieldCount; }
    // The cell's bytes, nullptr for NULL and for indexes out of range.
    const char *cell(int row, int column) const
    {
        if (row < 0 || size_t(row) >= m_rows.size() || column < 0 || column >= m_fieldCount)
            return nullptr;
        return m_rows[size_t(row)][column];
    }
    // The cell's length in bytes; a value may hold zero bytes (binary data).
    int cellLength(int row, int column) const;
    const QStringList &fieldNames() const;
    const std::vector<TmySQLField> &fields() const { return m_fields; }

private:
    MYSQL_RES *m_result;
    int m_fieldCount = 0;
    std::vector<MYSQL_ROW> m_rows;
    std::vector<TmySQLField> m_fields;
    QStringList m_fieldNames;
    // Cells whose length is not up to their first zero byte, by row * fields
    // + column, in that order: rare outside binary columns, so kept apart.
    std::vector<std::pair<quint64, quint32>> m_lengths;
};

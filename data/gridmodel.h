#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>
#include <vector>

// Rows that live elsewhere (for example a client result set) and that a grid
// may show without copying them. Cells are UTF-8; nullptr marks NULL.
class GridRowSource
{
public:
    virtual ~GridRowSource() = default;
    virtual int rowCount() const = 0;
    virtual int columnCount() const = 0;
    virtual const char *cell(int row, int column) const = 0;
    // Bytes of the cell: a binary value may hold zero bytes.
    virtual int cellLength(int row, int column) const;
};

// A read-only report grid: captioned columns, and rows whose first cell is the
// row caption. Rows are kept compactly as UTF-8 in one arena; NULL is kept
// apart from the empty text and reported through IsNullRole. The model returns
// meaning only: views and delegates decide how it looks.
class GridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Role {
        IsNullRole = Qt::UserRole + 1,
        // headerData(): the width the grid asks for, in pixels, or one of the
        // width constants below.
        ColumnWidthRole
    };
    enum Width { DefaultWidth = -1, AutoWidth = -2, FillWidth = -3 };

    // What a result said about a column.
    struct ColumnInfo
    {
        QString typeName;     // as a user reads it, e.g. "INT" or "varchar(20)"
        bool binary = false;  // bytes, not text: shown as 0x-hex
        bool numeric = false;
    };

    explicit GridModel(QObject *parent = nullptr);
    ~GridModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // Removes shown rows; the others keep their order.
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

    // Columns
    void addColumn(const QString &caption, int width = DefaultWidth);
    void setColumns(const QStringList &captions, const QList<int> &widths = {});
    QString columnCaption(int column) const;
    int columnWidth(int column) const;
    void setColumnInfo(int column, const ColumnInfo &info);
    ColumnInfo columnInfo(int column) const;

    // Rows. A row shorter than the column count is padded with empty cells.
    void appendRow(const QStringList &cells);
    // cells[i] == nullptr is NULL; texts are UTF-8 up to their first zero byte.
    void appendRow(const char *const *cells, int count);
    // The same with each cell's length in bytes (binary values hold zero bytes).
    void appendRow(const char *const *cells, const int *lengths, int count);
    // Shows the first rowLimit rows of source (all with -1) without copying them.
    void adoptRows(std::shared_ptr<const GridRowSource> source, int rowLimit = -1);

    // Appending many rows: one reset instead of a signal per row.
    void beginBulkAppend();
    void endBulkAppend();

    void clearRows();
    void clear(); // rows and columns

    // The cell as shown: UTF-8 text, or "0x" and hex digits in a binary column.
    QString text(int row, int column) const;
    // The cell's bytes as stored.
    QByteArray bytes(int row, int column) const;
    QString caption(int row) const { return text(row, 0); }
    bool isNull(int row, int column) const;

    // Sorts the rows by one column's text in the locale's order (the order a
    // user reads), or by character code as sort() does for header clicks.
    void sortByLocale(int column = 0, Qt::SortOrder order = Qt::AscendingOrder);
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

private:
    struct CellRef {
        const char *data;
        int size; // -1: NULL
    };
    CellRef cellRef(int row, int column) const;
    int storedRow(int row) const { return m_order.empty() ? row : int(m_order[size_t(row)]); }
    void materializeSource();
    void appendCell(const char *data, qsizetype size, bool null);
    void finishRowInsert();

    QStringList m_captions;
    QList<int> m_widths;
    QList<ColumnInfo> m_info;

    // Arena rows: cell i of stored row r is cell r * m_stride + i; m_cellEnd
    // holds end offsets into m_bytes with the top bit marking NULL.
    int m_stride = 0;
    std::vector<char> m_bytes;
    std::vector<quint32> m_cellEnd;
    int m_arenaRows = 0;

    std::shared_ptr<const GridRowSource> m_source;
    int m_sourceRows = 0;

    std::vector<quint32> m_order; // display row -> stored row, empty when unsorted
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    int m_bulkDepth = 0;
};

#pragma once

#include <QAbstractTableModel>
#include <QByteArrayView>
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
    // Both at once (a source may keep cells without a zero byte after them).
    virtual const char *cellBytes(int row, int column, int *length) const;
    // Memory that work over all rows (a sort) may take before it goes to
    // temporary files in temporaryFolder(); -1: no limit (the rows are all
    // in memory anyway).
    virtual qint64 memoryBudget() const { return -1; }
    virtual QString temporaryFolder() const { return QString(); }
    // Some rows lie in a temporary file (reading them all takes a while).
    virtual bool rowsInFile() const { return false; }
};

struct GridArena;

// A grid's columns and rows as they stood at one moment, unchanged by later
// refills, sorts or appends of the grid: export writers read it, also on
// another thread, while the grid itself goes on. Copying one is cheap (the
// rows are shared, never copied).
class GridSnapshot
{
public:
    GridSnapshot();
    ~GridSnapshot();
    GridSnapshot(const GridSnapshot &);
    GridSnapshot &operator=(const GridSnapshot &);

    int rowCount() const { return m_rows; }
    int columnCount() const { return int(m_captions.size()); }
    QString columnCaption(int column) const;
    // The cells the row was given, its caption included: a row may hold
    // fewer or more cells than the grid has columns.
    int cellCount(int row) const;
    // The cell's UTF-8 bytes (display order); empty for NULL and for cells
    // the row does not hold.
    QByteArrayView cell(int row, int column) const;
    bool isNull(int row, int column) const;

private:
    friend class GridModel;
    QStringList m_captions;
    int m_rows = 0;
    std::shared_ptr<const GridArena> m_arena;
    std::shared_ptr<const GridRowSource> m_source;
    std::shared_ptr<const std::vector<quint32>> m_order;
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
        QString typeName;     // as a user reads it, e.g. "INT" or "VARBINARY"
        bool binary = false;  // its cells hold "0x" and the hex digits of the bytes
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

    // The text the views draw in NULL cells, given to screen readers as the
    // cells' Qt::AccessibleTextRole (so NULL is not read as an empty text).
    void setNullText(const QString &text) { m_nullText = text; }

    // Rows. A row shorter than the column count is padded with empty cells.
    void appendRow(const QStringList &cells);
    // cells[i] == nullptr is NULL; texts are UTF-8 up to their first zero byte.
    void appendRow(const char *const *cells, int count);
    // The same with each cell's length in bytes (a text may hold zero bytes).
    void appendRow(const char *const *cells, const int *lengths, int count);
    // Shows the first rowLimit rows of source (all with -1) without copying them.
    void adoptRows(std::shared_ptr<const GridRowSource> source, int rowLimit = -1);
    // Shows a source that grows while it is shown (rows arriving from the
    // server): the first `rows` of its rows now, more with showSourceRows().
    void adoptGrowingRows(std::shared_ptr<const GridRowSource> source, int rows = 0);
    // The adopted source's first `rows` rows are shown (never fewer than
    // now); rows past a sort order are added after the sorted ones.
    void showSourceRows(int rows);
    // The source adopted last (null when the rows are the grid's own).
    std::shared_ptr<const GridRowSource> rowSource() const { return m_source; }

    // Appending many rows: one reset instead of a signal per row.
    void beginBulkAppend();
    void endBulkAppend();

    void clearRows();
    void clear(); // rows and columns

    QString text(int row, int column) const;
    // The value's bytes: the stored UTF-8 text, and for a binary column the
    // bytes its "0x" text stands for.
    QByteArray bytes(int row, int column) const;
    QString caption(int row) const { return text(row, 0); }
    bool isNull(int row, int column) const;
    // The cells the row was given, its caption included. The view shows
    // columnCount() cells of every row (missing ones empty); writers that
    // keep a row's own length read this.
    int cellCount(int row) const;

    // The rows as they stand now, for readers that must not see later changes.
    GridSnapshot snapshot() const;

    // Sorts the rows by one column's text in the locale's order (the order a
    // user reads), or by character code as sort() does for header clicks.
    void sortByLocale(int column = 0, Qt::SortOrder order = Qt::AscendingOrder);
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // Rows kept by a source with a memory budget (a result streamed into a
    // row store), when some lie in its file or there are more than
    // BackgroundSortRows, are sorted on a worker thread within that budget:
    // the grid
    // shows its present order until the sort is done, then the sorted order
    // at once (sortFinished). A new sort or new rows end a running sort.
    static constexpr int BackgroundSortRows = 50000;
    bool sortRunning() const { return m_sortJob != nullptr; }
    // Why the last sort left the order as it was; empty when it did not.
    QString sortError() const { return m_sortError; }
    // Sorted runs the last sort merged (1: its keys fitted in memory at once).
    int lastSortRuns() const { return m_sortRuns; }

Q_SIGNALS:
    // The rows stand in the order of the last sort asked for, or that sort
    // failed (sortError()).
    void sortFinished();

private:
    struct SortJob;
    struct CellRef {
        const char *data;
        int size; // -1: NULL
    };
    CellRef cellRef(int row, int column) const;
    int storedRow(int row) const { return m_order ? int((*m_order)[size_t(row)]) : row; }
    GridArena &writableArena();
    void materializeSource();
    GridArena &beginRow(int count);
    void finishRowInsert();
    bool sortsInBackground() const;
    void startBackgroundSort(int column, Qt::SortOrder order, bool byLocale);
    void finishBackgroundSort(const std::shared_ptr<SortJob> &job);
    void cancelSort();

    QStringList m_captions;
    QList<int> m_widths;
    QList<ColumnInfo> m_info;

    // Rows are either the arena's (appended) or the source's (adopted). Both,
    // and the sort order, are shared with snapshots: a change made while a
    // snapshot holds them works on a copy.
    std::shared_ptr<GridArena> m_arena;
    std::shared_ptr<const GridRowSource> m_source;
    int m_sourceRows = 0;

    std::shared_ptr<std::vector<quint32>> m_order; // display row -> stored row; null when unsorted
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    int m_bulkDepth = 0;
    QString m_nullText;

    std::shared_ptr<SortJob> m_sortJob;                  // the sort whose order will be shown
    std::vector<std::shared_ptr<SortJob>> m_sortWorkers; // running or ended, not yet joined
    QString m_sortError;
    int m_sortRuns = 0;
};

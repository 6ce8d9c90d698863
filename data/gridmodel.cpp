#include "data/gridmodel.h"

#include "data/gridsort.h"

#include <QCollator>
#include <QMetaObject>

#include <algorithm>
#include <functional>
#include <cstring>
#include <numeric>
#include <thread>

namespace {
constexpr quint32 NullBit = 0x80000000u;
constexpr quint32 OffsetMask = 0x7fffffffu;
} // namespace

// Appended rows: cell i of stored row r is cell r * stride + i; cellEnd holds
// end offsets into bytes with the top bit marking NULL. A row keeps the
// number of cells it was given, apart from the padding up to the stride.
struct GridArena
{
    int stride = 0;
    int rows = 0;
    std::vector<char> bytes;
    std::vector<quint32> cellEnd;
    // Cells per row; empty while every row holds uniformCells (the usual
    // grid, which then pays nothing for it).
    int uniformCells = 0;
    std::vector<quint32> rowCells;

    int cellCount(int stored) const { return rowCells.empty() ? uniformCells : int(rowCells[size_t(stored)]); }

    void setCellCount(int count)
    {
        // Called before the row is counted in rows.
        if (rows == 0) {
            uniformCells = count;
            return;
        }
        if (rowCells.empty() && count == uniformCells)
            return;
        if (rowCells.empty())
            rowCells.assign(size_t(rows), quint32(uniformCells));
        rowCells.push_back(quint32(count));
    }

    // Room for longer rows: every stored row gets empty cells at its end.
    void widen(int newStride)
    {
        if (newStride <= stride)
            return;
        std::vector<quint32> ends;
        ends.reserve(size_t(rows + 1) * size_t(newStride));
        for (int r = 0; r < rows; ++r) {
            const auto first = cellEnd.begin() + std::ptrdiff_t(size_t(r) * size_t(stride));
            ends.insert(ends.end(), first, first + stride);
            const quint32 end = ends.empty() ? 0u : (ends.back() & OffsetMask);
            ends.insert(ends.end(), size_t(newStride - stride), end);
        }
        cellEnd = std::move(ends);
        stride = newStride;
    }

    void append(const char *data, qsizetype size, bool null)
    {
        if (!null && size > 0) {
            // The arena addresses 2 GiB; a grid that large is cut rather than corrupted.
            if (bytes.size() + size_t(size) > OffsetMask)
                size = 0;
            bytes.insert(bytes.end(), data, data + size);
        }
        cellEnd.push_back(quint32(bytes.size()) | (null ? NullBit : 0u));
    }

    void removeRow(int stored)
    {
        const size_t first = size_t(stored) * size_t(stride);
        if (stride > 0) {
            const quint32 begin = first == 0 ? 0 : (cellEnd[first - 1] & OffsetMask);
            const quint32 end = cellEnd[first + size_t(stride) - 1] & OffsetMask;
            bytes.erase(bytes.begin() + std::ptrdiff_t(begin), bytes.begin() + std::ptrdiff_t(end));
            cellEnd.erase(cellEnd.begin() + std::ptrdiff_t(first), cellEnd.begin() + std::ptrdiff_t(first + size_t(stride)));
            for (size_t i = first; i < cellEnd.size(); ++i)
                cellEnd[i] = ((cellEnd[i] & OffsetMask) - (end - begin)) | (cellEnd[i] & NullBit);
        }
        if (!rowCells.empty())
            rowCells.erase(rowCells.begin() + stored);
        --rows;
    }

    // data == nullptr: NULL.
    const char *cell(int stored, int column, int *size) const
    {
        if (column >= stride) {
            *size = 0;
            return "";
        }
        const size_t index = size_t(stored) * size_t(stride) + size_t(column);
        const quint32 end = cellEnd[index];
        if (end & NullBit) {
            *size = 0;
            return nullptr;
        }
        const quint32 begin = index == 0 ? 0 : (cellEnd[index - 1] & OffsetMask);
        *size = int((end & OffsetMask) - begin);
        return bytes.data() + begin;
    }
};

namespace {

// One cell of stored row `stored` from whichever holds the rows; nullptr: NULL.
const char *storedCell(const GridArena *arena, const GridRowSource *source, int stored, int column, int *size)
{
    if (column < 0) {
        *size = 0;
        return "";
    }
    if (source) {
        if (column >= source->columnCount()) {
            *size = 0;
            return "";
        }
        return source->cellBytes(stored, column, size);
    }
    if (!arena) {
        *size = 0;
        return "";
    }
    return arena->cell(stored, column, size);
}

int storedCellCount(const GridArena *arena, const GridRowSource *source, int stored)
{
    if (source)
        return source->columnCount();
    return arena ? arena->cellCount(stored) : 0;
}

} // namespace

GridSnapshot::GridSnapshot() = default;
GridSnapshot::~GridSnapshot() = default;
GridSnapshot::GridSnapshot(const GridSnapshot &) = default;
GridSnapshot &GridSnapshot::operator=(const GridSnapshot &) = default;

QString GridSnapshot::columnCaption(int column) const
{
    return column >= 0 && column < m_captions.size() ? m_captions.at(column) : QString();
}

int GridSnapshot::cellCount(int row) const
{
    if (row < 0 || row >= m_rows)
        return 0;
    const int stored = m_order ? int((*m_order)[size_t(row)]) : row;
    return storedCellCount(m_arena.get(), m_source.get(), stored);
}

QByteArrayView GridSnapshot::cell(int row, int column) const
{
    if (row < 0 || row >= m_rows)
        return {};
    const int stored = m_order ? int((*m_order)[size_t(row)]) : row;
    int size = 0;
    const char *data = storedCell(m_arena.get(), m_source.get(), stored, column, &size);
    return data ? QByteArrayView(data, size) : QByteArrayView();
}

bool GridSnapshot::isNull(int row, int column) const
{
    if (row < 0 || row >= m_rows)
        return false;
    const int stored = m_order ? int((*m_order)[size_t(row)]) : row;
    int size = 0;
    return storedCell(m_arena.get(), m_source.get(), stored, column, &size) == nullptr;
}

int GridRowSource::cellLength(int row, int column) const
{
    const char *value = cell(row, column);
    return value ? int(std::strlen(value)) : 0;
}

const char *GridRowSource::cellBytes(int row, int column, int *length) const
{
    const char *value = cell(row, column);
    *length = value ? cellLength(row, column) : 0;
    return value;
}

GridModel::GridModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

// A sort on a worker thread; the model joins its thread (in the destructor,
// or once it has ended), so the worker may post its end to the model.
struct GridModel::SortJob
{
    std::atomic<bool> cancel{false};
    std::atomic<bool> ended{false};
    std::thread thread;
    int column = 0;
    Qt::SortOrder order = Qt::AscendingOrder;
    int rows = 0;
    GridSortResult result;
};

GridModel::~GridModel()
{
    for (const auto &job : m_sortWorkers)
        job->cancel = true;
    for (const auto &job : m_sortWorkers) {
        if (job->thread.joinable())
            job->thread.join();
    }
}

bool GridModel::sortsInBackground() const
{
    return m_source && m_source->memoryBudget() >= 0
           && (m_sourceRows > BackgroundSortRows || m_source->rowsInFile());
}

void GridModel::cancelSort()
{
    if (m_sortJob) {
        m_sortJob->cancel = true;
        m_sortJob.reset();
    }
    // Workers that have ended are joined at once; the others end soon
    // after they see their cancel.
    auto ended = std::stable_partition(m_sortWorkers.begin(), m_sortWorkers.end(),
                                       [](const std::shared_ptr<SortJob> &job) { return !job->ended.load(); });
    for (auto it = ended; it != m_sortWorkers.end(); ++it) {
        if ((*it)->thread.joinable())
            (*it)->thread.join();
    }
    m_sortWorkers.erase(ended, m_sortWorkers.end());
}

void GridModel::startBackgroundSort(int column, Qt::SortOrder order, bool byLocale)
{
    cancelSort();
    m_sortError.clear();
    auto job = std::make_shared<SortJob>();
    job->column = column;
    job->order = order;
    job->rows = m_sourceRows;
    GridSortRequest request;
    request.rows = m_sourceRows;
    request.column = column;
    request.descending = order == Qt::DescendingOrder;
    request.byLocale = byLocale;
    request.runBytes = GridSortRunBytes(m_source->memoryBudget());
    request.temporaryFolder = m_source->temporaryFolder();
    // The worker keeps the rows and the order it sorts alive; the model
    // changes neither in place while the worker shares them.
    std::shared_ptr<const GridRowSource> source = m_source;
    std::shared_ptr<const std::vector<quint32>> shown = m_order;
    m_sortJob = job;
    m_sortWorkers.push_back(job);
    job->thread = std::thread([this, job, source, shown, request]() mutable {
        request.source = source.get();
        request.shown = shown.get();
        job->result = SortGridRows(request, job->cancel);
        const bool cancelled = job->cancel.load();
        if (!cancelled) {
            QMetaObject::invokeMethod(
                this, [this, job] { finishBackgroundSort(job); }, Qt::QueuedConnection);
        }
        job->ended = true;
    });
}

void GridModel::finishBackgroundSort(const std::shared_ptr<SortJob> &job)
{
    if (job != m_sortJob)
        return; // a later sort or other rows took its place
    m_sortJob.reset();
    cancelSort(); // joins the ended worker
    if (job->result.cancelled)
        return;
    if (!job->result.error.isEmpty()) {
        m_sortError = job->result.error;
        Q_EMIT sortFinished();
        return;
    }
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    auto order = std::make_shared<std::vector<quint32>>(std::move(job->result.order));
    // Rows shown since the sort began follow the sorted ones.
    order->reserve(size_t(m_sourceRows));
    for (int row = job->rows; row < m_sourceRows; ++row)
        order->push_back(quint32(row));
    m_order = std::move(order);
    m_sortColumn = job->column;
    m_sortOrder = job->order;
    m_sortRuns = job->result.runs;
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    Q_EMIT sortFinished();
}

int GridModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_source ? m_sourceRows : (m_arena ? m_arena->rows : 0);
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_captions.size());
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return text(index.row(), index.column());
    case IsNullRole:
        return isNull(index.row(), index.column());
    case Qt::AccessibleTextRole:
        return isNull(index.row(), index.column()) ? m_nullText : text(index.row(), index.column());
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_captions.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_captions.at(section);
    if (role == ColumnWidthRole)
        return m_widths.at(section);
    if (role == Qt::ToolTipRole && !m_info.at(section).typeName.isEmpty())
        return m_info.at(section).typeName; // the column's type, where a result named it
    return {};
}

void GridModel::addColumn(const QString &caption, int width)
{
    const int column = int(m_captions.size());
    beginInsertColumns(QModelIndex(), column, column);
    m_captions.append(caption);
    m_widths.append(width);
    m_info.append(ColumnInfo());
    endInsertColumns();
}

void GridModel::setColumns(const QStringList &captions, const QList<int> &widths)
{
    beginResetModel();
    m_captions = captions;
    m_widths.clear();
    for (int i = 0; i < captions.size(); ++i)
        m_widths.append(i < widths.size() ? widths.at(i) : int(DefaultWidth));
    m_info = QList<ColumnInfo>(captions.size());
    endResetModel();
}

void GridModel::setColumnInfo(int column, const ColumnInfo &info)
{
    if (column < 0 || column >= m_info.size())
        return;
    m_info[column] = info;
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
}

GridModel::ColumnInfo GridModel::columnInfo(int column) const
{
    return column >= 0 && column < m_info.size() ? m_info.at(column) : ColumnInfo();
}

QString GridModel::columnCaption(int column) const
{
    return column >= 0 && column < m_captions.size() ? m_captions.at(column) : QString();
}

int GridModel::columnWidth(int column) const
{
    return column >= 0 && column < m_widths.size() ? m_widths.at(column) : int(DefaultWidth);
}

GridArena &GridModel::writableArena()
{
    if (!m_arena)
        m_arena = std::make_shared<GridArena>();
    else if (m_arena.use_count() > 1)
        m_arena = std::make_shared<GridArena>(*m_arena); // a snapshot keeps the old rows
    return *m_arena;
}

GridArena &GridModel::beginRow(int count)
{
    materializeSource();
    GridArena &arena = writableArena();
    if (arena.rows == 0)
        arena.stride = std::max<int>(int(m_captions.size()), count);
    else if (count > arena.stride)
        arena.widen(count);
    arena.setCellCount(count);
    if (m_order) {
        if (m_order.use_count() > 1)
            m_order = std::make_shared<std::vector<quint32>>(*m_order);
        m_order->push_back(quint32(arena.rows));
    }
    return arena;
}

void GridModel::finishRowInsert()
{
    const int row = m_arena->rows;
    if (m_bulkDepth > 0) {
        ++m_arena->rows;
        return;
    }
    beginInsertRows(QModelIndex(), row, row);
    ++m_arena->rows;
    endInsertRows();
}

void GridModel::appendRow(const QStringList &cells)
{
    const int count = int(cells.size());
    GridArena &arena = beginRow(count);
    for (int i = 0; i < arena.stride; ++i) {
        if (i < count) {
            const QByteArray utf8 = cells.at(i).toUtf8();
            arena.append(utf8.constData(), utf8.size(), false);
        } else {
            arena.append(nullptr, 0, false);
        }
    }
    finishRowInsert();
}

void GridModel::appendRow(const char *const *cells, int count)
{
    appendRow(cells, nullptr, count);
}

void GridModel::appendRow(const char *const *cells, const int *lengths, int count)
{
    count = std::max(count, 0);
    GridArena &arena = beginRow(count);
    for (int i = 0; i < arena.stride; ++i) {
        const char *cell = i < count ? cells[i] : "";
        const qsizetype size = !cell ? 0 : lengths && i < count ? lengths[i] : qsizetype(std::strlen(cell));
        arena.append(cell, size, cell == nullptr);
    }
    finishRowInsert();
}

void GridModel::adoptRows(std::shared_ptr<const GridRowSource> source, int rowLimit)
{
    cancelSort();
    beginResetModel();
    m_arena.reset();
    m_order.reset();
    m_sortColumn = -1;
    m_source = std::move(source);
    m_sourceRows = m_source ? m_source->rowCount() : 0;
    if (rowLimit >= 0)
        m_sourceRows = std::min(m_sourceRows, rowLimit);
    if (m_sourceRows == 0)
        m_source.reset();
    endResetModel();
}

void GridModel::adoptGrowingRows(std::shared_ptr<const GridRowSource> source, int rows)
{
    cancelSort();
    beginResetModel();
    m_arena.reset();
    m_order.reset();
    m_sortColumn = -1;
    m_source = std::move(source);
    m_sourceRows = m_source ? std::max(0, std::min(rows, m_source->rowCount())) : 0;
    endResetModel();
}

void GridModel::showSourceRows(int rows)
{
    if (!m_source)
        return;
    rows = std::min(rows, m_source->rowCount());
    if (rows <= m_sourceRows)
        return;
    beginInsertRows(QModelIndex(), m_sourceRows, rows - 1);
    if (m_order) {
        if (m_order.use_count() > 1)
            m_order = std::make_shared<std::vector<quint32>>(*m_order);
        m_order->reserve(size_t(rows));
        for (int row = m_sourceRows; row < rows; ++row)
            m_order->push_back(quint32(row));
    }
    m_sourceRows = rows;
    endInsertRows();
}

void GridModel::materializeSource()
{
    if (!m_source)
        return;
    cancelSort();
    // Rows appended after adopted ones: bring the adopted rows into the arena.
    auto source = std::move(m_source);
    const int rows = m_sourceRows;
    auto order = std::move(m_order);
    m_source.reset();
    m_sourceRows = 0;
    m_order.reset();
    m_arena = std::make_shared<GridArena>();
    const int count = source->columnCount();
    std::vector<const char *> cells(size_t(std::max(count, 1)));
    std::vector<int> lengths(cells.size());
    ++m_bulkDepth;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < count; ++c) {
            cells[size_t(c)] = source->cellBytes(r, c, &lengths[size_t(c)]);
        }
        appendRow(cells.data(), lengths.data(), count);
    }
    --m_bulkDepth;
    m_order = std::move(order);
}

bool GridModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > rowCount())
        return false;
    materializeSource();
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    // Stored rows of the removed display rows, last first, so that the
    // offsets of those still to remove stay valid.
    std::vector<quint32> stored;
    stored.reserve(size_t(count));
    for (int i = row; i < row + count; ++i)
        stored.push_back(quint32(storedRow(i)));
    std::sort(stored.begin(), stored.end(), std::greater<quint32>());
    GridArena &arena = writableArena();
    for (const quint32 r : stored)
        arena.removeRow(int(r));
    if (m_order) {
        if (m_order.use_count() > 1)
            m_order = std::make_shared<std::vector<quint32>>(*m_order);
        m_order->erase(m_order->begin() + row, m_order->begin() + row + count);
        // Stored rows after a removed one moved up.
        for (quint32 &o : *m_order)
            o -= quint32(std::count_if(stored.begin(), stored.end(), [o](quint32 r) { return r < o; }));
    }
    endRemoveRows();
    return true;
}

void GridModel::beginBulkAppend()
{
    if (m_bulkDepth++ == 0)
        beginResetModel();
}

void GridModel::endBulkAppend()
{
    if (m_bulkDepth > 0 && --m_bulkDepth == 0)
        endResetModel();
}

void GridModel::clearRows()
{
    cancelSort();
    beginResetModel();
    m_arena.reset();
    m_source.reset();
    m_sourceRows = 0;
    m_order.reset();
    m_sortColumn = -1;
    endResetModel();
}

void GridModel::clear()
{
    beginResetModel();
    clearRows();
    m_captions.clear();
    m_widths.clear();
    m_info.clear();
    endResetModel();
}

GridModel::CellRef GridModel::cellRef(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        return {"", 0};
    int size = 0;
    const char *data = storedCell(m_arena.get(), m_source.get(), storedRow(row), column, &size);
    return data ? CellRef{data, size} : CellRef{"", -1};
}

int GridModel::cellCount(int row) const
{
    if (row < 0 || row >= rowCount())
        return 0;
    return storedCellCount(m_arena.get(), m_source.get(), storedRow(row));
}

GridSnapshot GridModel::snapshot() const
{
    GridSnapshot shot;
    shot.m_captions = m_captions;
    shot.m_rows = rowCount();
    shot.m_arena = m_arena;
    shot.m_source = m_source;
    shot.m_order = m_order;
    return shot;
}

QString GridModel::text(int row, int column) const
{
    const CellRef ref = cellRef(row, column);
    return ref.size > 0 ? QString::fromUtf8(ref.data, ref.size) : QString();
}

QByteArray GridModel::bytes(int row, int column) const
{
    const CellRef ref = cellRef(row, column);
    if (ref.size <= 0)
        return QByteArray();
    const QByteArray stored(ref.data, ref.size);
    if (column >= 0 && column < m_info.size() && m_info.at(column).binary && stored.startsWith("0x"))
        return QByteArray::fromHex(stored.mid(2));
    return stored;
}

bool GridModel::isNull(int row, int column) const
{
    return cellRef(row, column).size < 0;
}

void GridModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount())
        return;
    if (sortsInBackground()) {
        startBackgroundSort(column, order, false);
        return;
    }
    cancelSort();
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Each row's first eight bytes, packed big-endian, decide most
    // comparisons: the cells (which may lie in a row store's file) are read
    // once each, and again only where two rows begin alike.
    struct Keyed {
        quint64 prefix;
        quint32 row;
    };
    std::vector<Keyed> keyed(static_cast<size_t>(rowCount()));
    for (size_t i = 0; i < keyed.size(); ++i) {
        const quint32 stored = quint32(storedRow(int(i)));
        const CellRef cell = cellRef(int(i), column);
        quint64 prefix = 0;
        for (int k = 0; k < 8; ++k)
            prefix = (prefix << 8) | (k < cell.size ? quint8(cell.data[k]) : 0u);
        keyed[i] = {prefix, stored};
    }
    m_order.reset(); // the comparison below reads stored rows
    // UTF-8 byte order is code point order: the plain character-code sort.
    auto less = [this, column](const Keyed &a, const Keyed &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const CellRef x = cellRef(int(a.row), column);
        const CellRef y = cellRef(int(b.row), column);
        const int n = std::min(std::max(x.size, 0), std::max(y.size, 0));
        const int c = std::memcmp(x.data, y.data, size_t(n));
        return c != 0 ? c < 0 : std::max(x.size, 0) < std::max(y.size, 0);
    };
    std::stable_sort(keyed.begin(), keyed.end(), less);
    std::vector<quint32> rows(keyed.size());
    for (size_t i = 0; i < keyed.size(); ++i)
        rows[i] = keyed[i].row;
    std::vector<Keyed>().swap(keyed);
    if (order == Qt::DescendingOrder)
        std::reverse(rows.begin(), rows.end());
    m_order = std::make_shared<std::vector<quint32>>(std::move(rows));
    m_sortColumn = column;
    m_sortOrder = order;
    m_sortRuns = 1;
    m_sortError.clear();
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    Q_EMIT sortFinished();
}

void GridModel::sortByLocale(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount() || rowCount() < 2)
        return;
    if (sortsInBackground()) {
        startBackgroundSort(column, order, true);
        return;
    }
    cancelSort();
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const int rows = rowCount();
    auto keyCell = [this, column](int row) {
        const CellRef cell = cellRef(row, column);
        return cell.size < 0 ? CellRef{"", 0} : cell; // NULL sorts as the empty text
    };
    bool digitsOnly = true;
    for (int i = 0; i < rows && digitsOnly; ++i) {
        const CellRef cell = keyCell(i);
        for (int k = 0; digitsOnly && k < cell.size; ++k)
            digitsOnly = cell.data[k] >= '0' && cell.data[k] <= '9';
    }
    // perm[i]: the display row that goes to place i.
    std::vector<quint32> perm(static_cast<size_t>(rows));
    if (digitsOnly) {
        // Texts of the digits 0-9 alone collate digit by digit, a shorter
        // prefix first: exactly their byte order ("10" < "100" < "9"), so
        // the collator is not needed for the common key column. The first
        // eight bytes, packed big-endian, decide most comparisons without
        // touching the cells again.
        struct Keyed {
            quint64 prefix;
            quint32 row;
        };
        std::vector<Keyed> keyed(static_cast<size_t>(rows));
        for (int i = 0; i < rows; ++i) {
            const CellRef cell = keyCell(i);
            quint64 prefix = 0;
            for (int k = 0; k < 8; ++k)
                prefix = (prefix << 8) | (k < cell.size ? quint8(cell.data[k]) : 0u);
            keyed[size_t(i)] = {prefix, quint32(i)};
        }
        std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed &a, const Keyed &b) {
            if (a.prefix != b.prefix)
                return a.prefix < b.prefix;
            const CellRef x = keyCell(int(a.row));
            const CellRef y = keyCell(int(b.row));
            if (x.size <= 8 && y.size <= 8)
                return false; // no zero bytes in digits: same prefix, same text
            const int c = std::memcmp(x.data, y.data, size_t(std::min(x.size, y.size)));
            return c != 0 ? c < 0 : x.size < y.size;
        });
        for (int i = 0; i < rows; ++i)
            perm[size_t(i)] = keyed[size_t(i)].row;
    } else {
        // One sort key per row instead of a collator comparison per pair.
        QCollator collator;
        std::vector<QCollatorSortKey> keys;
        keys.reserve(size_t(rows));
        for (int i = 0; i < rows; ++i) {
            const CellRef cell = keyCell(i);
            keys.push_back(collator.sortKey(QString::fromUtf8(cell.data, cell.size)));
        }
        std::iota(perm.begin(), perm.end(), 0u);
        std::stable_sort(perm.begin(), perm.end(),
                         [&](quint32 a, quint32 b) { return keys[a].compare(keys[b]) < 0; });
    }
    if (order == Qt::DescendingOrder)
        std::reverse(perm.begin(), perm.end());
    for (auto &p : perm)
        p = quint32(storedRow(int(p)));
    m_order = std::make_shared<std::vector<quint32>>(std::move(perm));
    m_sortColumn = column;
    m_sortOrder = order;
    m_sortRuns = 1;
    m_sortError.clear();
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    Q_EMIT sortFinished();
}

#include "data/gridmodel.h"

#include <QCollator>

#include <algorithm>
#include <functional>
#include <cstring>
#include <numeric>

namespace {
constexpr quint32 NullBit = 0x80000000u;
constexpr quint32 OffsetMask = 0x7fffffffu;
}

int GridRowSource::cellLength(int row, int column) const
{
    const char *value = cell(row, column);
    return value ? int(std::strlen(value)) : 0;
}

GridModel::GridModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

GridModel::~GridModel() = default;

int GridModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_source ? m_sourceRows : m_arenaRows;
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
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, column), index(rowCount() - 1, column));
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

void GridModel::appendCell(const char *data, qsizetype size, bool null)
{
    if (!null && size > 0) {
        // The arena addresses 2 GiB; a grid that large is cut rather than corrupted.
        if (m_bytes.size() + size_t(size) > OffsetMask)
            size = 0;
        m_bytes.insert(m_bytes.end(), data, data + size);
    }
    m_cellEnd.push_back(quint32(m_bytes.size()) | (null ? NullBit : 0u));
}

void GridModel::finishRowInsert()
{
    if (m_bulkDepth > 0) {
        ++m_arenaRows;
        return;
    }
    beginInsertRows(QModelIndex(), m_arenaRows, m_arenaRows);
    ++m_arenaRows;
    endInsertRows();
}

void GridModel::appendRow(const QStringList &cells)
{
    materializeSource();
    if (m_arenaRows == 0)
        m_stride = std::max<int>(int(m_captions.size()), int(cells.size()));
    if (!m_order.empty())
        m_order.push_back(quint32(m_arenaRows));
    for (int i = 0; i < m_stride; ++i) {
        if (i < cells.size()) {
            const QByteArray utf8 = cells.at(i).toUtf8();
            appendCell(utf8.constData(), utf8.size(), false);
        } else {
            appendCell(nullptr, 0, false);
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
    materializeSource();
    if (m_arenaRows == 0)
        m_stride = std::max<int>(int(m_captions.size()), count);
    if (!m_order.empty())
        m_order.push_back(quint32(m_arenaRows));
    for (int i = 0; i < m_stride; ++i) {
        const char *cell = i < count ? cells[i] : "";
        const qsizetype size = !cell ? 0 : lengths && i < count ? lengths[i] : qsizetype(std::strlen(cell));
        appendCell(cell, size, cell == nullptr);
    }
    finishRowInsert();
}

void GridModel::adoptRows(std::shared_ptr<const GridRowSource> source, int rowLimit)
{
    beginResetModel();
    m_bytes.clear();
    m_bytes.shrink_to_fit();
    m_cellEnd.clear();
    m_cellEnd.shrink_to_fit();
    m_arenaRows = 0;
    m_order.clear();
    m_sortColumn = -1;
    m_source = std::move(source);
    m_sourceRows = m_source ? m_source->rowCount() : 0;
    if (rowLimit >= 0)
        m_sourceRows = std::min(m_sourceRows, rowLimit);
    if (m_sourceRows == 0)
        m_source.reset();
    endResetModel();
}

void GridModel::materializeSource()
{
    if (!m_source)
        return;
    // Rows appended after adopted ones: bring the adopted rows into the arena.
    auto source = std::move(m_source);
    const int rows = m_sourceRows;
    auto order = std::move(m_order);
    m_source.reset();
    m_sourceRows = 0;
    m_order.clear();
    const int count = source->columnCount();
    m_stride = std::max<int>(int(m_captions.size()), count);
    std::vector<const char *> cells(size_t(std::max(count, 1)));
    std::vector<int> lengths(cells.size());
    ++m_bulkDepth;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < count; ++c) {
            cells[size_t(c)] = source->cell(r, c);
            lengths[size_t(c)] = source->cellLength(r, c);
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
    const size_t stride = size_t(m_stride);
    for (const quint32 r : stored) {
        const size_t first = size_t(r) * stride;
        if (stride > 0) {
            const quint32 begin = first == 0 ? 0 : (m_cellEnd[first - 1] & OffsetMask);
            const quint32 end = m_cellEnd[first + stride - 1] & OffsetMask;
            m_bytes.erase(m_bytes.begin() + begin, m_bytes.begin() + end);
            m_cellEnd.erase(m_cellEnd.begin() + qsizetype(first), m_cellEnd.begin() + qsizetype(first + stride));
            for (size_t i = first; i < m_cellEnd.size(); ++i)
                m_cellEnd[i] = ((m_cellEnd[i] & OffsetMask) - (end - begin)) | (m_cellEnd[i] & NullBit);
        }
        --m_arenaRows;
    }
    if (!m_order.empty()) {
        m_order.erase(m_order.begin() + row, m_order.begin() + row + count);
        // Stored rows after a removed one moved up.
        for (quint32 &o : m_order)
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
    beginResetModel();
    m_bytes.clear();
    m_bytes.shrink_to_fit();
    m_cellEnd.clear();
    m_cellEnd.shrink_to_fit();
    m_arenaRows = 0;
    m_stride = 0;
    m_source.reset();
    m_sourceRows = 0;
    m_order.clear();
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
    if (row < 0 || row >= rowCount() || column < 0)
        return {"", 0};
    const int stored = storedRow(row);
    if (m_source) {
        if (column >= m_source->columnCount())
            return {"", 0};
        const char *cell = m_source->cell(stored, column);
        return cell ? CellRef{cell, m_source->cellLength(stored, column)} : CellRef{"", -1};
    }
    if (column >= m_stride)
        return {"", 0};
    const size_t index = size_t(stored) * size_t(m_stride) + size_t(column);
    const quint32 end = m_cellEnd[index];
    if (end & NullBit)
        return {"", -1};
    const quint32 begin = index == 0 ? 0 : (m_cellEnd[index - 1] & OffsetMask);
    return {m_bytes.data() + begin, int((end & OffsetMask) - begin)};
}

QString GridModel::text(int row, int column) const
{
    const CellRef ref = cellRef(row, column);
    if (ref.size <= 0)
        return QString();
    if (column < m_info.size() && m_info.at(column).binary)
        return QLatin1String("0x") + QString::fromLatin1(QByteArray::fromRawData(ref.data, ref.size).toHex().toUpper());
    return QString::fromUtf8(ref.data, ref.size);
}

QByteArray GridModel::bytes(int row, int column) const
{
    const CellRef ref = cellRef(row, column);
    return ref.size > 0 ? QByteArray(ref.data, ref.size) : QByteArray();
}

bool GridModel::isNull(int row, int column) const
{
    return cellRef(row, column).size < 0;
}

void GridModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount())
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<quint32> rows(static_cast<size_t>(rowCount()));
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = quint32(storedRow(int(i)));
    m_order.clear();
    // UTF-8 byte order is code point order: the plain character-code sort.
    auto less = [this, column](quint32 a, quint32 b) {
        const CellRef x = cellRef(int(a), column);
        const CellRef y = cellRef(int(b), column);
        const int n = std::min(std::max(x.size, 0), std::max(y.size, 0));
        const int c = std::memcmp(x.data, y.data, size_t(n));
        return c != 0 ? c < 0 : std::max(x.size, 0) < std::max(y.size, 0);
    };
    std::stable_sort(rows.begin(), rows.end(), less);
    if (order == Qt::DescendingOrder)
        std::reverse(rows.begin(), rows.end());
    m_order = std::move(rows);
    m_sortColumn = column;
    m_sortOrder = order;
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void GridModel::sortByLocale(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount() || rowCount() < 2)
        return;
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
    m_order = std::move(perm);
    m_sortColumn = column;
    m_sortOrder = order;
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

#include "data/rowstore.h"

#include <QDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// Pages in memory start small (most results are) and grow to MaxPage; pages
// in the file are MaxPage (or one large row). The file is mapped in
// segments; a page never crosses a segment's edge unless it is larger.
constexpr quint32 FirstPage = 16 * 1024;
constexpr quint32 MaxPage = 4 * 1024 * 1024;
constexpr qint64 Segment = 64LL * 1024 * 1024;
constexpr quint64 MaxRowBytes = 1024ULL * 1024 * 1024;

std::atomic<qint64> memoryOfAllStores{0};

int varintSize(quint64 value)
{
    int size = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++size;
    }
    return size;
}

char *putVarint(char *out, quint64 value)
{
    while (value >= 0x80) {
        *out++ = char(quint8(value) | 0x80);
        value >>= 7;
    }
    *out++ = char(value);
    return out;
}

const char *getVarint(const char *in, quint64 *value)
{
    quint64 result = 0;
    int shift = 0;
    for (;;) {
        const quint8 byte = quint8(*in++);
        result |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            break;
        shift += 7;
    }
    *value = result;
    return in;
}

qint64 roundUp(qint64 value, qint64 unit)
{
    return (value + unit - 1) / unit * unit;
}

} // namespace

RowStore::RowStore(int columns, qint64 memoryBudget, const QString &tempFolder)
    : m_columns(std::max(columns, 0))
    , m_budget(memoryBudget)
    , m_tempFolder(tempFolder.isEmpty() ? QDir::tempPath() : tempFolder)
    , m_nextPageBytes(FirstPage)
{
}

RowStore::~RowStore()
{
    {
        std::lock_guard<std::mutex> lock(m_fileMutex);
        if (m_file) {
            for (const char *segment : m_segments) {
                if (segment)
                    m_file->unmap(reinterpret_cast<uchar *>(const_cast<char *>(segment)));
            }
            for (const auto &mapping : m_ownMappings)
                m_file->unmap(reinterpret_cast<uchar *>(const_cast<char *>(mapping.first)));
            m_file->close();
        }
    }
    for (Page &page : m_pages)
        delete[] page.memory;
    memoryOfAllStores -= m_memoryBytes;
}

qint64 RowStore::memoryInUse()
{
    return memoryOfAllStores.load();
}

bool RowStore::fail(const QString &message)
{
    m_failed = true;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_error.isEmpty())
        m_error = message;
    return false;
}

QString RowStore::errorString() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

bool RowStore::spilled() const
{
    std::lock_guard<std::mutex> lock(m_fileMutex);
    return m_fileEnd > 0;
}

qint64 RowStore::memoryBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_memoryBytes;
}

qint64 RowStore::fileBytes() const
{
    std::lock_guard<std::mutex> lock(m_fileMutex);
    return m_fileEnd;
}

bool RowStore::appendRow(const char *const *cells, const unsigned long *lengths)
{
    if (m_failed)
        return false;
    quint64 bytes = 0;
    for (int c = 0; c < m_columns; ++c) {
        const quint64 length = cells[c] ? quint64(lengths[c]) : 0;
        bytes += quint64(varintSize(cells[c] ? length + 1 : 0)) + length;
    }
    if (bytes + 4 > MaxRowBytes)
        return fail(QStringLiteral("A row of %1 bytes is too large to keep").arg(bytes));
    if (!m_open || quint64(m_openUsed) + bytes + 4 * (quint64(m_openRows) + 1) > m_openCapacity) {
        if (!finishOpenPage() || !startPage(bytes + 4))
            return false;
    }
    char *out = m_open + m_openUsed;
    for (int c = 0; c < m_columns; ++c) {
        if (!cells[c]) {
            *out++ = 0;
            continue;
        }
        const quint64 length = lengths[c];
        out = putVarint(out, length + 1);
        if (length > 0)
            std::memcpy(out, cells[c], size_t(length));
        out += length;
    }
    const quint32 offset = m_openUsed;
    std::memcpy(m_open + m_openCapacity - 4 * (quint64(m_openRows) + 1), &offset, 4);
    m_openUsed += quint32(bytes);
    ++m_openRows;
    ++m_appended;
    return true;
}

bool RowStore::finishOpenPage()
{
    if (!m_open || m_openRows == 0)
        return true;
    if (!m_openInMemory)
        return writeSpillPage();
    // A full page in memory is readable at once.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pages.back().rows = m_openRows;
    m_published.store(m_openFirstRow + m_openRows, std::memory_order_release);
    return true;
}

bool RowStore::startPage(quint64 rowBytes)
{
    if (!m_spilling) {
        const quint64 capacity = std::max<quint64>(m_nextPageBytes, quint64(roundUp(qint64(rowBytes), 4096)));
        qint64 inUse = memoryOfAllStores.load();
        bool reserved = false;
        while (inUse + qint64(capacity) <= m_budget) {
            if (memoryOfAllStores.compare_exchange_weak(inUse, inUse + qint64(capacity))) {
                reserved = true;
                break;
            }
        }
        if (reserved) {
            char *memory = new (std::nothrow) char[capacity];
            if (!memory) {
                memoryOfAllStores -= qint64(capacity);
            } else {
                m_open = memory;
                m_openCapacity = quint32(capacity);
                m_openInMemory = true;
                m_openUsed = 0;
                m_openRows = 0;
                m_openFirstRow = m_appended;
                m_nextPageBytes = std::min<quint32>(m_nextPageBytes * 2, MaxPage);
                Page page;
                page.firstRow = m_appended;
                page.memory = memory;
                page.capacity = quint32(capacity);
                std::lock_guard<std::mutex> lock(m_mutex);
                m_pages.push_back(page);
                m_memoryBytes += qint64(capacity);
                return true;
            }
        }
        // Past the budget every further page goes to the file, so the first
        // rows, the ones looked at most, stay in memory.
        m_spilling = true;
    }
    if (!ensureFile())
        return false;
    const quint64 capacity = std::max<quint64>(MaxPage, quint64(roundUp(qint64(rowBytes), 4096)));
    if (m_spillBuffer.size() < capacity)
        m_spillBuffer.resize(size_t(capacity));
    m_open = m_spillBuffer.data();
    m_openCapacity = quint32(m_spillBuffer.size());
    m_openInMemory = false;
    m_openUsed = 0;
    m_openRows = 0;
    m_openFirstRow = m_appended;
    return true;
}

bool RowStore::ensureFile()
{
    QString error;
    {
        std::lock_guard<std::mutex> lock(m_fileMutex);
        if (m_file)
            return true;
        auto file = std::make_unique<QTemporaryFile>(QDir(m_tempFolder).filePath(QStringLiteral("quarnel-rows-XXXXXX")));
        // Created for its owner only. Where the system can, the file never
        // gets a name in the folder; otherwise the name is removed at once,
        // so the file goes with the process whichever way it ends.
        if (file->open()) {
#ifdef Q_OS_UNIX
            if (file->exists())
                ::unlink(QFile::encodeName(file->fileName()).constData());
#endif
            m_file = std::move(file);
            return true;
        }
        error = file->errorString();
    }
    return fail(QStringLiteral("Cannot create a temporary file in %1: %2")
                    .arg(QDir::toNativeSeparators(m_tempFolder), error));
}

bool RowStore::writeSpillPage()
{
    // The offsets follow the rows directly in the file.
    const quint32 slotBytes = quint32(4 * m_openRows);
    std::memmove(m_open + m_openUsed, m_open + m_openCapacity - slotBytes, slotBytes);
    const quint32 total = m_openUsed + slotBytes;
    qint64 offset = 0;
    QString error;
    {
        std::lock_guard<std::mutex> lock(m_fileMutex);
        offset = m_fileEnd;
        if (total <= Segment && offset / Segment != (offset + total - 1) / Segment)
            offset = roundUp(offset, Segment);
        const qint64 size = roundUp(offset + total, Segment);
        if (size > m_fileSize) {
            if (!m_file->resize(size))
                error = m_file->errorString();
            else
                m_fileSize = size;
        }
        if (error.isEmpty()
            && (!m_file->seek(offset) || m_file->write(m_open, total) != qint64(total) || !m_file->flush()))
            error = m_file->errorString();
        if (error.isEmpty())
            m_fileEnd = offset + total;
    }
    if (!error.isEmpty())
        return fail(QStringLiteral("Cannot write the temporary file of a result: %1").arg(error));
    Page page;
    page.firstRow = m_openFirstRow;
    page.rows = m_openRows;
    page.fileOffset = offset;
    page.dataBytes = m_openUsed;
    page.fileBytes = total;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pages.push_back(page);
        m_published.store(m_openFirstRow + m_openRows, std::memory_order_release);
    }
    m_openUsed = 0;
    m_openRows = 0;
    m_openFirstRow = m_appended;
    return true;
}

void RowStore::publish()
{
    if (!m_open || m_openRows == 0 || m_failed)
        return;
    if (!m_openInMemory) {
        writeSpillPage();
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pages.back().rows = m_openRows;
    m_published.store(m_openFirstRow + m_openRows, std::memory_order_release);
}

int RowStore::rowCount() const
{
    return m_published.load(std::memory_order_acquire);
}

const char *RowStore::mapSegment(qint64 index) const
{
    std::lock_guard<std::mutex> lock(m_fileMutex);
    if (m_segments.size() <= size_t(index))
        m_segments.resize(size_t(index) + 1, nullptr);
    const char *&segment = m_segments[size_t(index)];
    if (!segment)
        segment = reinterpret_cast<const char *>(m_file->map(index * Segment, Segment));
    return segment;
}

bool RowStore::locate(int row, Located *where) const
{
    if (row < 0 || row >= rowCount())
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = std::upper_bound(m_pages.begin(), m_pages.end(), row,
                               [](int r, const Page &page) { return r < page.firstRow; });
    if (it == m_pages.begin())
        return false;
    const Page &page = *(it - 1);
    where->firstRow = page.firstRow;
    if (page.memory) {
        where->base = page.memory;
        where->slotEnd = page.memory + page.capacity;
        return true;
    }
    const char *base = nullptr;
    if (page.fileBytes > Segment) {
        if (!page.mapped) {
            std::lock_guard<std::mutex> fileLock(m_fileMutex);
            auto *self = const_cast<RowStore *>(this);
            const char *mapping = reinterpret_cast<const char *>(self->m_file->map(page.fileOffset, page.fileBytes));
            if (mapping)
                self->m_ownMappings.emplace_back(mapping, qint64(page.fileBytes));
            const_cast<Page &>(page).mapped = mapping;
        }
        base = page.mapped;
    } else {
        const qint64 index = page.fileOffset / Segment;
        const char *segment = mapSegment(index);
        base = segment ? segment + (page.fileOffset - index * Segment) : nullptr;
    }
    if (!base)
        return false;
    // Each file page read since the last release may be resident whole (the
    // system maps large runs of the file around a read); past the window
    // those pages go back to the system.
    const qint64 index = qint64(it - 1 - m_pages.begin());
    if (index != m_lastFilePage) {
        m_lastFilePage = index;
        const auto known = std::find_if(m_readPages.begin(), m_readPages.end(),
                                        [base](const std::pair<const char *, qint64> &read) { return read.first == base; });
        if (known == m_readPages.end()) {
            m_readPages.emplace_back(base, qint64(page.fileBytes));
            m_readSinceRelease += qint64(page.fileBytes);
            if (m_readSinceRelease > m_fileWindow.load(std::memory_order_relaxed)) {
                // The addresses stay: a row is read in again when needed.
                for (const auto &read : m_readPages)
                    releaseRange(read.first, read.second);
                m_readPages.clear();
                m_readPages.emplace_back(base, qint64(page.fileBytes));
                m_readSinceRelease = qint64(page.fileBytes);
            }
        }
    }
    where->base = base;
    where->slotEnd = base + page.dataBytes + 4 * quint64(page.rows);
    return true;
}

const char *RowStore::cellBytes(int row, int column, int *length) const
{
    *length = 0;
    Located where;
    if (column < 0 || column >= m_columns || !locate(row, &where))
        return nullptr;
    quint32 offset = 0;
    std::memcpy(&offset, where.slotEnd - 4 * (quint64(row - where.firstRow) + 1), 4);
    const char *p = where.base + offset;
    quint64 value = 0;
    for (int c = 0; c < column; ++c) {
        p = getVarint(p, &value);
        if (value > 0)
            p += value - 1;
    }
    p = getVarint(p, &value);
    if (value == 0)
        return nullptr;
    *length = int(value - 1);
    return p;
}

const char *RowStore::cell(int row, int column) const
{
    int length = 0;
    return cellBytes(row, column, &length);
}

int RowStore::cellLength(int row, int column) const
{
    int length = 0;
    cellBytes(row, column, &length);
    return length;
}

void RowStore::releaseRange(const char *start, qint64 size)
{
#ifdef Q_OS_LINUX
    static const qint64 pageSize = ::sysconf(_SC_PAGESIZE);
    const quintptr from = quintptr(start) / quintptr(pageSize) * quintptr(pageSize);
    const quintptr to = quintptr(start) + quintptr(size);
    // The file keeps the bytes: a later read maps them in again.
    ::madvise(reinterpret_cast<void *>(from), size_t(to - from), MADV_DONTNEED);
#else
    Q_UNUSED(start);
    Q_UNUSED(size);
#endif
}

void RowStore::releaseFilePages() const
{
    std::lock_guard<std::mutex> lock(m_fileMutex);
    for (const char *segment : m_segments) {
        if (segment)
            releaseRange(segment, Segment);
    }
    for (const auto &mapping : m_ownMappings)
        releaseRange(mapping.first, mapping.second);
}

#include "data/resultstream.h"

StreamedRows::StreamedRows(qint64 memoryBudget, const QString &tempFolder)
    : m_budget(memoryBudget)
    , m_tempFolder(tempFolder)
{
}

void StreamedRows::begin(const std::vector<TmySQLField> &fields)
{
    auto store = std::make_shared<RowStore>(int(fields.size()), m_budget, m_tempFolder);
    m_writer = store.get();
    m_binary.assign(fields.size(), false);
    m_anyBinary = false;
    for (size_t c = 0; c < fields.size(); ++c) {
        m_binary[c] = fields[c].isBinary();
        m_anyBinary = m_anyBinary || m_binary[c];
    }
    m_hex.assign(fields.size(), QByteArray());
    m_cells.assign(fields.size(), nullptr);
    m_lengths.assign(fields.size(), 0);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_store) {
        // The result set before this one is complete: kept, the oldest let
        // go past the limits.
        m_earlierRows += m_store->rowCount();
        m_earlier.push_back(Result{std::move(m_store), std::move(m_fields)});
        while (!m_earlier.empty()
               && (int(m_earlier.size()) > MaxEarlierResults || m_earlierRows > MaxEarlierRows)) {
            m_earlierRows -= m_earlier.front().store->rowCount();
            m_earlier.erase(m_earlier.begin());
            ++m_dropped;
        }
    }
    m_store = std::move(store);
    m_fields = fields;
}

bool StreamedRows::append(const char *const *cells, const unsigned long *lengths)
{
    if (!m_writer)
        return false;
    if (!m_anyBinary)
        return m_writer->appendRow(cells, lengths);
    for (size_t c = 0; c < m_binary.size(); ++c) {
        const char *value = cells[c];
        unsigned long length = lengths[c];
        if (value && m_binary[c]) {
            QByteArray &hex = m_hex[c];
            hex = "0x" + QByteArray::fromRawData(value, qsizetype(length)).toHex().toUpper();
            value = hex.constData();
            length = (unsigned long)hex.size();
        }
        m_cells[c] = value;
        m_lengths[c] = length;
    }
    return m_writer->appendRow(m_cells.data(), m_lengths.data());
}

void StreamedRows::publish()
{
    if (m_writer)
        m_writer->publish();
}

QString StreamedRows::errorString() const
{
    return m_writer ? m_writer->errorString() : QString();
}

std::shared_ptr<RowStore> StreamedRows::store() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_store;
}

std::vector<TmySQLField> StreamedRows::fields() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fields;
}

std::vector<StreamedRows::Result> StreamedRows::results() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Result> all = m_earlier;
    if (m_store)
        all.push_back(Result{m_store, m_fields});
    return all;
}

int StreamedRows::droppedResults() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

qint64 ResultMemoryBudget(const QString &megabytes)
{
    bool ok = false;
    const qint64 value = megabytes.trimmed().toLongLong(&ok);
    if (!ok || value <= 0 || value > (qint64(1) << 40))
        return RowStore::DefaultBudget;
    return value * 1024 * 1024;
}

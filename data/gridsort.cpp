#include "data/gridsort.h"

#include "data/gridmodel.h"

#include <QCollator>
#include <QDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <optional>
#include <queue>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr int CancelEvery = 4096;
constexpr qint64 EntryBytes = 16;      // a key's place in a run besides its bytes
constexpr qint64 RecordHead = 12;      // length, shown row, source row
constexpr qint64 MinReadBuffer = 64 * 1024;

int compareBytes(const char *a, quint32 na, const char *b, quint32 nb)
{
    const int c = std::memcmp(a, b, size_t(std::min(na, nb)));
    if (c != 0)
        return c;
    return na < nb ? -1 : na > nb ? 1 : 0;
}

bool digitsOnly(const char *data, quint32 size)
{
    for (quint32 k = 0; k < size; ++k) {
        if (data[k] < '0' || data[k] > '9')
            return false;
    }
    return true;
}

struct Key
{
    quint32 offset;
    quint32 length;
    quint32 shown;
    quint32 stored;
};

// The keys of one run: their bytes one after another.
struct Run
{
    std::vector<char> bytes;
    std::vector<Key> keys;
    bool allDigits = true;

    qint64 size() const { return qint64(bytes.size()) + qint64(keys.size()) * EntryBytes; }
    void clear()
    {
        bytes.clear();
        keys.clear();
        allDigits = true;
    }
};

// Sorts a run's keys in place: by bytes, or by collation unless all are
// digits. False when cancelled while making the collation keys.
bool sortRun(Run &run, bool byLocale, QCollator &collator, const std::atomic<bool> &cancel)
{
    const char *base = run.bytes.data();
    if (!byLocale || run.allDigits) {
        std::sort(run.keys.begin(), run.keys.end(), [base](const Key &a, const Key &b) {
            const int c = compareBytes(base + a.offset, a.length, base + b.offset, b.length);
            return c != 0 ? c < 0 : a.shown < b.shown;
        });
        return true;
    }
    std::vector<QCollatorSortKey> sortKeys;
    sortKeys.reserve(run.keys.size());
    for (const Key &key : run.keys) {
        if (sortKeys.size() % CancelEvery == 0 && cancel.load(std::memory_order_relaxed))
            return false;
        sortKeys.push_back(collator.sortKey(QString::fromUtf8(base + key.offset, qsizetype(key.length))));
    }
    std::vector<quint32> index(run.keys.size());
    std::iota(index.begin(), index.end(), 0u);
    std::sort(index.begin(), index.end(), [&](quint32 a, quint32 b) {
        const int c = sortKeys[a].compare(sortKeys[b]);
        return c != 0 ? c < 0 : run.keys[a].shown < run.keys[b].shown;
    });
    std::vector<Key> sorted(run.keys.size());
    for (size_t i = 0; i < index.size(); ++i)
        sorted[i] = run.keys[index[i]];
    run.keys.swap(sorted);
    return true;
}

// A run written to the temporary file, read back front to back.
struct RunReader
{
    qint64 position = 0; // next byte of the file to read
    qint64 end = 0;
    std::vector<char> buffer;
    size_t at = 0;
    size_t have = 0;
    // The current key
    const char *data = nullptr;
    quint32 length = 0;
    quint32 shown = 0;
    quint32 stored = 0;
    bool digits = false;
    std::optional<QCollatorSortKey> sortKey; // by locale: as the runs were sorted

    bool fill(QFile &file, size_t need)
    {
        if (at > 0) {
            std::memmove(buffer.data(), buffer.data() + at, have - at);
            have -= at;
            at = 0;
        }
        if (buffer.size() < need)
            buffer.resize(need);
        const qint64 room = qint64(buffer.size() - have);
        const qint64 want = std::min(room, end - position);
        if (want > 0) {
            if (!file.seek(position) || file.read(buffer.data() + have, want) != want)
                return false;
            position += want;
            have += size_t(want);
        }
        return have >= need;
    }

    // False at the run's end or on a read error (error set).
    bool next(QFile &file, const QCollator *collator, bool *error)
    {
        if (have - at < size_t(RecordHead) && !fill(file, size_t(RecordHead))) {
            *error = have != at;
            return false;
        }
        std::memcpy(&length, buffer.data() + at, 4);
        std::memcpy(&shown, buffer.data() + at + 4, 4);
        std::memcpy(&stored, buffer.data() + at + 8, 4);
        const size_t record = size_t(RecordHead) + length;
        if (have - at < record && !fill(file, record)) {
            *error = true;
            return false;
        }
        data = buffer.data() + at + size_t(RecordHead);
        at += record;
        if (collator) {
            digits = digitsOnly(data, length);
            sortKey.emplace(collator->sortKey(QString::fromUtf8(data, qsizetype(length))));
        }
        return true;
    }
};

} // namespace

qint64 GridSortRunBytes(qint64 budget)
{
    if (budget < 0)
        return 256LL * 1024 * 1024;
    // A quarter of the budget: the rows' own pages take the rest.
    return std::clamp<qint64>(budget / 4, 64 * 1024, 64LL * 1024 * 1024);
}

GridSortResult SortGridRows(const GridSortRequest &request, const std::atomic<bool> &cancel)
{
    GridSortResult result;
    const GridRowSource *source = request.source;
    const int rows = source ? std::max(0, std::min(request.rows, source->rowCount())) : 0;
    const bool byLocale = request.byLocale;
    QCollator collator;

    // Where each source row is shown now: equal keys keep that order.
    std::vector<quint32> shownAt;
    if (request.shown) {
        shownAt.assign(size_t(rows), 0);
        for (int i = 0; i < rows && size_t(i) < request.shown->size(); ++i) {
            const quint32 stored = (*request.shown)[size_t(i)];
            if (stored < quint32(rows))
                shownAt[stored] = quint32(i);
        }
    }

    result.order.resize(size_t(rows));
    auto place = [&](quint64 rank, quint32 stored) {
        const size_t at = request.descending ? size_t(rows) - 1 - size_t(rank) : size_t(rank);
        result.order[at] = stored;
    };

    const qint64 runBytes = std::max<qint64>(request.runBytes, 1);
    const bool columnKnown = request.column >= 0 && request.column < (source ? source->columnCount() : 0);
    Run run;
    std::unique_ptr<QTemporaryFile> spill;
    std::vector<std::pair<qint64, qint64>> runs; // [start, end) in the file
    qint64 spillEnd = 0;

    auto writeRun = [&]() -> bool {
        if (!spill) {
            const QString folder = request.temporaryFolder.isEmpty() ? QDir::tempPath() : request.temporaryFolder;
            spill = std::make_unique<QTemporaryFile>(QDir(folder).filePath(QStringLiteral("quarnel-sort-XXXXXX")));
            if (!spill->open()) {
                result.error = QStringLiteral("Cannot create a temporary file in %1: %2")
                                   .arg(QDir::toNativeSeparators(folder), spill->errorString());
                return false;
            }
#ifdef Q_OS_UNIX
            // Nothing but the open file leads to the keys.
            ::unlink(QFile::encodeName(spill->fileName()).constData());
#endif
        }
        if (!sortRun(run, byLocale, collator, cancel)) {
            result.cancelled = true;
            return false;
        }
        std::vector<char> out;
        out.reserve(size_t(std::min<qint64>(run.size(), 4 * 1024 * 1024)));
        const qint64 start = spillEnd;
        auto flush = [&]() {
            if (out.empty())
                return true;
            if (spill->write(out.data(), qint64(out.size())) != qint64(out.size()))
                return false;
            spillEnd += qint64(out.size());
            out.clear();
            return true;
        };
        for (const Key &key : run.keys) {
            const size_t at = out.size();
            out.resize(at + size_t(RecordHead) + key.length);
            std::memcpy(out.data() + at, &key.length, 4);
            std::memcpy(out.data() + at + 4, &key.shown, 4);
            std::memcpy(out.data() + at + 8, &key.stored, 4);
            if (key.length > 0)
                std::memcpy(out.data() + at + size_t(RecordHead), run.bytes.data() + key.offset, key.length);
            if (out.size() >= 4 * 1024 * 1024 && !flush())
                break;
        }
        if (!flush() || !spill->flush()) {
            result.error = QStringLiteral("Cannot write the temporary file of a sort: %1").arg(spill->errorString());
            return false;
        }
        runs.emplace_back(start, spillEnd);
        run.clear();
        return true;
    };

    // Every cell once, in the source's own order.
    for (int stored = 0; stored < rows; ++stored) {
        if (stored % CancelEvery == 0 && cancel.load(std::memory_order_relaxed)) {
            result.cancelled = true;
            return result;
        }
        int length = 0;
        const char *data = columnKnown ? source->cellBytes(stored, request.column, &length) : nullptr;
        if (!data)
            length = 0; // NULL sorts as the empty text
        if (run.size() + length + EntryBytes > runBytes && !run.keys.empty() && !writeRun())
            return result;
        Key key;
        key.offset = quint32(run.bytes.size());
        key.length = quint32(length);
        key.shown = request.shown ? shownAt[size_t(stored)] : quint32(stored);
        key.stored = quint32(stored);
        if (length > 0)
            run.bytes.insert(run.bytes.end(), data, data + length);
        if (byLocale && run.allDigits)
            run.allDigits = digitsOnly(data, quint32(length));
        run.keys.push_back(key);
    }

    if (runs.empty()) {
        // One run: sorted in memory.
        if (!sortRun(run, byLocale, collator, cancel)) {
            result.cancelled = true;
            return result;
        }
        for (size_t i = 0; i < run.keys.size(); ++i)
            place(i, run.keys[i].stored);
        result.runs = rows > 0 ? 1 : 0;
        return result;
    }
    if (!run.keys.empty() && !writeRun())
        return result;
    std::vector<char>().swap(run.bytes);
    std::vector<Key>().swap(run.keys);
    result.runs = int(runs.size());

    // Merge: the runs' current keys in a heap; each run read through a
    // buffer, all buffers together about one run's bytes.
    const qint64 perRun = std::max<qint64>(MinReadBuffer, runBytes / qint64(runs.size()));
    std::vector<RunReader> readers(runs.size());
    bool error = false;
    auto less = [&](size_t a, size_t b) {
        const RunReader &x = readers[a];
        const RunReader &y = readers[b];
        int c = 0;
        if (!byLocale || (x.digits && y.digits))
            c = compareBytes(x.data, x.length, y.data, y.length);
        else
            c = x.sortKey->compare(*y.sortKey);
        return c != 0 ? c < 0 : x.shown < y.shown;
    };
    // std::priority_queue keeps the greatest on top: reverse the order.
    auto greater = [&](size_t a, size_t b) { return less(b, a); };
    std::priority_queue<size_t, std::vector<size_t>, decltype(greater)> heap(greater);
    for (size_t r = 0; r < runs.size(); ++r) {
        RunReader &reader = readers[r];
        reader.position = runs[r].first;
        reader.end = runs[r].second;
        reader.buffer.resize(size_t(perRun));
        if (reader.next(*spill, byLocale ? &collator : nullptr, &error))
            heap.push(r);
        if (error)
            break;
    }
    quint64 rank = 0;
    while (!heap.empty() && !error) {
        if (rank % CancelEvery == 0 && cancel.load(std::memory_order_relaxed)) {
            result.cancelled = true;
            return result;
        }
        const size_t r = heap.top();
        heap.pop();
        place(rank++, readers[r].stored);
        if (readers[r].next(*spill, byLocale ? &collator : nullptr, &error))
            heap.push(r);
    }
    if (error || rank != quint64(rows))
        result.error = QStringLiteral("Cannot read the temporary file of a sort: %1").arg(spill->errorString());
    return result;
}

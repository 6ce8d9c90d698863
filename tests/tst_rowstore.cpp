#include "data/rowstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

// The row store: rows read back byte for byte wherever their pages went,
// the shared memory budget, the temporary file, and readers beside the writer.
class TestRowStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsBackRowForRow_data();
    void readsBackRowForRow();
    void budgetIsSharedByAllStores();
    void spillFileIsPrivateAndGoesWithTheStore();
    void readersSeePublishedRowsWhileWriting();
    void unwritableFolderKeepsEarlierRows();
    void releasedPagesReadAgain();
    void passOverTheFileKeepsAWindowResident_data();
    void passOverTheFileKeepsAWindowResident();
};

namespace {

// Row r, column c: NULL, empty, a binary value with zero bytes, or text of
// a length that varies (sometimes larger than a page).
std::string cellValue(int row, int column, bool *null)
{
    *null = false;
    switch ((row + column) % 7) {
    case 0:
        *null = true;
        return {};
    case 1:
        return {};
    case 2:
        return std::string("a\0b\0", 4) + std::to_string(row);
    case 3:
        if (row % 997 == 3)
            return std::string(5 * 1024 * 1024 + row, char('A' + column)); // larger than a page
        return std::string(size_t(row % 300), char('a' + (row % 26)));
    default:
        return "r" + std::to_string(row) + "c" + std::to_string(column);
    }
}

bool appendRows(RowStore &store, int first, int count)
{
    const int columns = store.columnCount();
    std::vector<std::string> values(static_cast<size_t>(columns));
    std::vector<const char *> cells(static_cast<size_t>(columns));
    std::vector<unsigned long> lengths(static_cast<size_t>(columns));
    for (int r = first; r < first + count; ++r) {
        for (int c = 0; c < columns; ++c) {
            bool null = false;
            values[size_t(c)] = cellValue(r, c, &null);
            cells[size_t(c)] = null ? nullptr : values[size_t(c)].data();
            lengths[size_t(c)] = (unsigned long)values[size_t(c)].size();
        }
        if (!store.appendRow(cells.data(), lengths.data()))
            return false;
    }
    return true;
}

bool rowMatches(const RowStore &store, int row)
{
    for (int c = 0; c < store.columnCount(); ++c) {
        bool null = false;
        const std::string expected = cellValue(row, c, &null);
        int length = -1;
        const char *data = store.cellBytes(row, c, &length);
        if (null != (data == nullptr))
            return false;
        if (!null && (length != int(expected.size()) || std::memcmp(data, expected.data(), expected.size()) != 0))
            return false;
        if (store.cellLength(row, c) != length)
            return false;
    }
    return true;
}

// Open descriptors of this process whose file lies in folder.
QStringList descriptorsIn(const QString &folder)
{
    QStringList found;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &entry : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        const QString target = QFileInfo(fds.filePath(entry)).symLinkTarget();
        if (target.startsWith(folder + QLatin1Char('/')))
            found.append(fds.filePath(entry));
    }
    return found;
}

// Bytes of files in folder (a row store's file, named or not) resident in
// this process's memory.
qint64 residentFileBytes(const QString &folder)
{
    const QByteArray where = QFile::encodeName(folder + QLatin1Char('/'));
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly))
        return -1;
    qint64 bytes = 0;
    bool inRowFile = false;
    const QList<QByteArray> lines = smaps.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (!line.isEmpty() && !line.endsWith(" kB") && !line.startsWith("VmFlags")) {
            inRowFile = line.contains(where);
        } else if (inRowFile && line.startsWith("Rss:")) {
            bytes += line.mid(4, line.size() - 7).trimmed().toLongLong() * 1024;
        }
    }
    return bytes;
}

} // namespace

void TestRowStore::readsBackRowForRow_data()
{
    QTest::addColumn<qint64>("budget");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("spills");
    QTest::newRow("all in memory") << qint64(512) * 1024 * 1024 << 5000 << false;
    QTest::newRow("partly in the file") << qint64(200) * 1024 << 5000 << true;
    QTest::newRow("all in the file") << qint64(0) << 5000 << true;
    QTest::newRow("no rows") << qint64(0) << 0 << false;
}

void TestRowStore::readsBackRowForRow()
{
    QFETCH(qint64, budget);
    QFETCH(int, rows);
    QFETCH(bool, spills);
    RowStore store(5, budget);
    // Published in uneven steps, as a stream publishes a few times a second.
    int appended = 0;
    for (int step = 1; appended < rows; step *= 3) {
        const int count = std::min(step, rows - appended);
        QVERIFY(appendRows(store, appended, count));
        appended += count;
        store.publish();
        QCOMPARE(store.rowCount(), appended);
    }
    QCOMPARE(store.rowCount(), rows);
    QCOMPARE(store.spilled(), spills);
    QVERIFY(store.memoryBytes() <= std::max<qint64>(budget, 0));
    // Backwards too: pages are found in any order.
    for (int r = rows - 1; r >= 0; --r)
        QVERIFY2(rowMatches(store, r), qPrintable(QStringLiteral("row %1").arg(r)));
    int length = 0;
    QVERIFY(!store.cellBytes(rows, 0, &length));
    QVERIFY(!store.cellBytes(0, 5, &length));
}

void TestRowStore::budgetIsSharedByAllStores()
{
    const qint64 before = RowStore::memoryInUse();
    const qint64 budget = before + 1024 * 1024;
    {
        RowStore first(5, budget);
        QVERIFY(appendRows(first, 0, 6000));
        first.publish();
        QVERIFY(first.spilled());
        QVERIFY(RowStore::memoryInUse() <= budget);
        // The first store has taken the memory: the second gets at most
        // what is left and goes to its file, and still reads back.
        RowStore second(5, budget);
        QVERIFY(appendRows(second, 0, 50));
        second.publish();
        QVERIFY(second.spilled());
        QVERIFY(RowStore::memoryInUse() <= budget);
        for (int r = 0; r < 50; ++r)
            QVERIFY(rowMatches(second, r));
    }
    QCOMPARE(RowStore::memoryInUse(), before);
}

void TestRowStore::spillFileIsPrivateAndGoesWithTheStore()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = QFileInfo(folder.path()).canonicalFilePath();
    {
        RowStore store(5, 0, path);
        QVERIFY(appendRows(store, 0, 2000));
        store.publish();
        QVERIFY(store.spilled());
        QVERIFY(store.fileBytes() > 0);
        // No name in the folder for another process to open ...
        QCOMPARE(QDir(path).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System),
                 QStringList());
        // ... one open file, its owner's alone.
        const QStringList open = descriptorsIn(path);
        QCOMPARE(open.size(), 1);
        struct stat info{};
        QCOMPARE(::stat(QFile::encodeName(open.first()).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0600);
        QCOMPARE(qint64(info.st_size) >= store.fileBytes(), true);
    }
    QCOMPARE(descriptorsIn(path), QStringList());
}

void TestRowStore::readersSeePublishedRowsWhileWriting()
{
    RowStore store(5, 256 * 1024);
    constexpr int Rows = 20000;
    std::atomic<bool> done{false};
    std::atomic<bool> written{true};
    std::thread writer([&] {
        for (int r = 0; r < Rows && written; r += 100) {
            written = appendRows(store, r, 100);
            store.publish();
        }
        done = true;
    });
    int checked = 0;
    bool allMatch = true;
    while (!done || checked < store.rowCount()) {
        const int available = store.rowCount();
        for (; checked < available; ++checked)
            allMatch = allMatch && rowMatches(store, checked);
        // Rows read before stay as they were while more arrive.
        allMatch = allMatch && (checked == 0 || rowMatches(store, checked / 2));
    }
    writer.join();
    QVERIFY(written);
    QVERIFY(allMatch);
    QCOMPARE(checked, Rows);
    QVERIFY(store.spilled());
}

void TestRowStore::unwritableFolderKeepsEarlierRows()
{
    QTemporaryDir folder;
    const QString missing = folder.filePath(QStringLiteral("missing"));
    RowStore store(5, RowStore::memoryInUse() + 64 * 1024, missing);
    std::vector<std::string> values(5, std::string(100, 'x'));
    std::vector<const char *> cells(5);
    std::vector<unsigned long> lengths(5, 100);
    for (size_t c = 0; c < 5; ++c)
        cells[c] = values[c].data();
    int kept = 0;
    while (store.appendRow(cells.data(), lengths.data()))
        ++kept;
    QVERIFY(kept > 0);
    QVERIFY(!store.appendRow(cells.data(), lengths.data())); // no row after a failure
    QVERIFY2(store.errorString().contains(QDir::toNativeSeparators(missing)), qPrintable(store.errorString()));
    store.publish();
    QCOMPARE(store.rowCount(), kept);
    int length = 0;
    const char *last = store.cellBytes(kept - 1, 4, &length);
    QCOMPARE(QByteArray(last, length), QByteArray(100, 'x'));
}

void TestRowStore::releasedPagesReadAgain()
{
    RowStore store(5, 0);
    QVERIFY(appendRows(store, 0, 3000));
    store.publish();
    for (int r = 0; r < 3000; ++r)
        QVERIFY(rowMatches(store, r));
    store.releaseFilePages();
    for (int r = 0; r < 3000; r += 7)
        QVERIFY(rowMatches(store, r));
}

void TestRowStore::passOverTheFileKeepsAWindowResident_data()
{
    QTest::addColumn<int>("step"); // rows from one read to the next (a prime: every row once)
    QTest::newRow("front to back") << 1;
    QTest::newRow("scattered") << 7919;
}

void TestRowStore::passOverTheFileKeepsAWindowResident()
{
    QFETCH(int, step);
    constexpr int Rows = 10000;
    constexpr qint64 Window = 1024 * 1024;
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    RowStore store(1, 0, folder.path());
    store.setFileWindow(Window);
    const std::string value(4000, 'v');
    const char *cells[] = {value.data()};
    const unsigned long lengths[] = {(unsigned long)value.size()};
    for (int r = 0; r < Rows; ++r)
        QVERIFY(store.appendRow(cells, lengths));
    store.publish();
    QVERIFY(store.fileBytes() > 36 * 1024 * 1024);
    QVERIFY(residentFileBytes(folder.path()) >= 0);
    // Every row once, as a copy or an export reads them: what stays
    // resident follows the rows read now, not all read so far.
    qint64 mostResident = 0;
    qint64 read = 0;
    for (int i = 0; i < Rows; ++i) {
        const int row = int((qint64(i) * step) % Rows);
        int length = 0;
        const char *data = store.cellBytes(row, 0, &length);
        QVERIFY(data);
        QCOMPARE(length, int(value.size()));
        read += data[0] == 'v' && data[length - 1] == 'v' ? length : 0;
        if (i % 100 == 0)
            mostResident = std::max(mostResident, residentFileBytes(folder.path()));
    }
    QCOMPARE(read, qint64(Rows) * qint64(value.size()));
    // A window, the page read now and the one before it (pages are 4 MiB).
    QVERIFY2(mostResident < Window + 10 * 1024 * 1024, qPrintable(QString::number(mostResident)));
}

QTEST_GUILESS_MAIN(TestRowStore)
#include "tst_rowstore.moc"

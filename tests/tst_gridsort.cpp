#include "data/gridmodel.h"
#include "data/gridsort.h"
#include "data/rowstore.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

// Sorting rows that a row store keeps: on a worker thread, in runs merged
// through a temporary file when the keys exceed the store's budget, and in
// exactly the order the grid's own sort gives the same rows in memory.
class TestGridSort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void storeSortMatchesMemorySort_data();
    void storeSortMatchesMemorySort();
    void newSortOrNewRowsEndARunningSort();
    void rowsArrivingDuringASortFollowIt();
    void unwritableFolderKeepsTheOrder();

private:
    std::unique_ptr<QTemporaryDir> m_temp;
};

namespace {

constexpr int Rows = 10000;

// Row r: key (column 0) with many ties, NULLs, empty texts, long common
// beginnings, zero bytes and non-ASCII letters (or digits alone), and the
// row's number (column 1).
std::string keyOf(int row, bool digits, bool *null)
{
    *null = false;
    if (digits)
        return std::to_string((row * 7919) % 1000);
    switch (row % 9) {
    case 0:
        *null = true;
        return {};
    case 1:
        return {};
    case 2:
        return "same key";
    case 3:
        return std::string("ab\0", 3) + std::to_string(row % 13);
    case 4:
        return "common beginning, then " + std::to_string((row * 31) % 97);
    case 5:
        return "\xc3\xa4pfel " + std::to_string(row % 5); // äpfel
    case 6:
        return "Apfel " + std::to_string(row % 11);
    default:
        return std::to_string((row * 7919) % 500);
    }
}

// The same rows in a store (budget small enough that they spill) and in the
// grid's own memory.
struct Pair
{
    std::shared_ptr<RowStore> store;
    GridModel stored;
    GridModel memory;
};

void fill(Pair &pair, bool digits, qint64 budget, const QString &folder)
{
    pair.store = std::make_shared<RowStore>(2, budget, folder);
    pair.stored.setColumns({QStringLiteral("key"), QStringLiteral("row")});
    pair.memory.setColumns({QStringLiteral("key"), QStringLiteral("row")});
    pair.memory.beginBulkAppend();
    for (int row = 0; row < Rows; ++row) {
        bool null = false;
        const std::string key = keyOf(row, digits, &null);
        const std::string number = std::to_string(row);
        const char *cells[] = {null ? nullptr : key.data(), number.data()};
        const unsigned long lengths[] = {(unsigned long)key.size(), (unsigned long)number.size()};
        pair.store->appendRow(cells, lengths);
        const int intLengths[] = {int(key.size()), int(number.size())};
        pair.memory.appendRow(cells, intLengths, 2);
    }
    pair.memory.endBulkAppend();
    pair.store->publish();
    pair.stored.adoptRows(pair.store);
}

QList<int> rowNumbers(const GridModel &grid)
{
    QList<int> rows;
    for (int row = 0; row < grid.rowCount(); ++row)
        rows.append(grid.text(row, 1).toInt());
    return rows;
}

} // namespace

void TestGridSort::initTestCase()
{
    m_temp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_temp->isValid());
}

void TestGridSort::storeSortMatchesMemorySort_data()
{
    QTest::addColumn<bool>("byLocale");
    QTest::addColumn<bool>("digits");
    QTest::addColumn<int>("order");
    QTest::addColumn<bool>("sortedBefore"); // ties keep the order shown before
    QTest::addColumn<qint64>("budget");
    QTest::addColumn<bool>("merged");
    const qint64 tiny = 64 * 1024;
    const qint64 large = 64LL * 1024 * 1024;
    QTest::newRow("header, ascending, runs merged") << false << false << int(Qt::AscendingOrder) << false << tiny << true;
    QTest::newRow("header, descending, runs merged") << false << false << int(Qt::DescendingOrder) << false << tiny << true;
    QTest::newRow("header, after another sort, merged") << false << false << int(Qt::AscendingOrder) << true << tiny << true;
    QTest::newRow("header, one run") << false << false << int(Qt::DescendingOrder) << true << large << false;
    QTest::newRow("locale, runs merged") << true << false << int(Qt::AscendingOrder) << false << tiny << true;
    QTest::newRow("locale, descending, after another sort") << true << false << int(Qt::DescendingOrder) << true << tiny << true;
    QTest::newRow("locale, digits, merged") << true << true << int(Qt::AscendingOrder) << true << tiny << true;
    QTest::newRow("locale, one run") << true << false << int(Qt::AscendingOrder) << false << large << false;
}

void TestGridSort::storeSortMatchesMemorySort()
{
    QFETCH(bool, byLocale);
    QFETCH(bool, digits);
    QFETCH(int, order);
    QFETCH(bool, sortedBefore);
    QFETCH(qint64, budget);
    QFETCH(bool, merged);
    Pair pair;
    fill(pair, digits, budget, m_temp->path());
    QCOMPARE(pair.store->spilled(), budget < 1024 * 1024);
    if (sortedBefore) {
        // By the row number's text: ties of the key then stand in that order.
        pair.memory.sort(1, Qt::DescendingOrder);
        pair.stored.sort(1, Qt::DescendingOrder);
        QTRY_VERIFY(!pair.stored.sortRunning());
        QCOMPARE(rowNumbers(pair.stored), rowNumbers(pair.memory));
    }
    const QList<int> before = rowNumbers(pair.stored);
    QSignalSpy finished(&pair.stored, &GridModel::sortFinished);
    if (byLocale) {
        pair.memory.sortByLocale(0, Qt::SortOrder(order));
        pair.stored.sortByLocale(0, Qt::SortOrder(order));
    } else {
        pair.memory.sort(0, Qt::SortOrder(order));
        pair.stored.sort(0, Qt::SortOrder(order));
    }
    // Rows in the store's file are sorted on a worker: until it is done the
    // grid shows the order it had. Rows all in memory, and fewer than
    // BackgroundSortRows, are sorted at once.
    QCOMPARE(pair.stored.sortRunning(), pair.store->spilled());
    if (pair.stored.sortRunning())
        QCOMPARE(rowNumbers(pair.stored), before);
    QTRY_VERIFY(!pair.stored.sortRunning());
    QCOMPARE(finished.size(), 1);
    QVERIFY(pair.stored.sortError().isEmpty());
    QCOMPARE(pair.stored.lastSortRuns() > 1, merged);
    QCOMPARE(pair.stored.sortColumn(), 0);
    QCOMPARE(pair.stored.sortOrder(), Qt::SortOrder(order));
    QCOMPARE(rowNumbers(pair.stored), rowNumbers(pair.memory));
    // Cells travel with their rows, NULL apart from the empty text.
    for (int row = 0; row < Rows; row += 37) {
        QCOMPARE(pair.stored.isNull(row, 0), pair.memory.isNull(row, 0));
        QCOMPARE(pair.stored.bytes(row, 0), pair.memory.bytes(row, 0));
    }
    // The sort's file is gone with it.
    QVERIFY(QDir(m_temp->path()).isEmpty());
}

void TestGridSort::newSortOrNewRowsEndARunningSort()
{
    Pair pair;
    fill(pair, false, 64 * 1024, m_temp->path());
    QSignalSpy finished(&pair.stored, &GridModel::sortFinished);
    // A second sort takes the first one's place: only its order shows.
    pair.stored.sort(0, Qt::AscendingOrder);
    pair.stored.sort(1, Qt::DescendingOrder);
    QTRY_VERIFY(!pair.stored.sortRunning());
    QCOMPARE(finished.size(), 1);
    pair.memory.sort(1, Qt::DescendingOrder);
    QCOMPARE(pair.stored.sortColumn(), 1);
    QCOMPARE(rowNumbers(pair.stored), rowNumbers(pair.memory));
    // New rows end a running sort: its order never shows over them.
    pair.stored.sort(0, Qt::AscendingOrder);
    QVERIFY(pair.stored.sortRunning());
    auto other = std::make_shared<RowStore>(2, 64 * 1024, m_temp->path());
    const char *cells[] = {"z", "0"};
    const unsigned long lengths[] = {1, 1};
    other->appendRow(cells, lengths);
    other->publish();
    pair.stored.adoptRows(other);
    QVERIFY(!pair.stored.sortRunning());
    QCOMPARE(pair.stored.sortColumn(), -1);
    // Whatever the ended worker had done is dropped: the next sort's order
    // is the one shown.
    pair.stored.sort(1, Qt::AscendingOrder);
    QTRY_VERIFY(!pair.stored.sortRunning());
    QCOMPARE(finished.size(), 2);
    QCOMPARE(pair.stored.rowCount(), 1);
    QCOMPARE(pair.stored.text(0, 0), QStringLiteral("z"));
    // The model ends with a sort still running, and waits for its worker.
    pair.stored.adoptRows(pair.store);
    pair.stored.sort(0, Qt::DescendingOrder);
}

void TestGridSort::rowsArrivingDuringASortFollowIt()
{
    auto store = std::make_shared<RowStore>(2, 64 * 1024, m_temp->path());
    GridModel grid;
    grid.setColumns({QStringLiteral("key"), QStringLiteral("row")});
    auto append = [&store](int first, int count) {
        for (int row = first; row < first + count; ++row) {
            const std::string key = std::to_string((row * 7919) % Rows);
            const std::string number = std::to_string(row);
            const char *cells[] = {key.data(), number.data()};
            const unsigned long lengths[] = {(unsigned long)key.size(), (unsigned long)number.size()};
            store->appendRow(cells, lengths);
        }
        store->publish();
    };
    append(0, Rows);
    grid.adoptGrowingRows(store, Rows);
    grid.sort(0, Qt::AscendingOrder);
    // Rows shown while the sort runs come after the sorted ones.
    append(Rows, 3);
    grid.showSourceRows(Rows + 3);
    QTRY_VERIFY(!grid.sortRunning());
    QCOMPARE(grid.rowCount(), Rows + 3);
    for (int row = 1; row < Rows; ++row)
        QVERIFY(grid.text(row - 1, 0).toUtf8() <= grid.text(row, 0).toUtf8());
    QCOMPARE(grid.text(Rows, 1), QString::number(Rows));
    QCOMPARE(grid.text(Rows + 2, 1), QString::number(Rows + 2));
}

void TestGridSort::unwritableFolderKeepsTheOrder()
{
    // The rows went to their file; then the folder went away, and the
    // sort's runs have nowhere to go.
    auto folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    const QString path = folder->path();
    Pair pair;
    fill(pair, false, 64 * 1024, path);
    QVERIFY(pair.store->spilled());
    QVERIFY(QDir().rmdir(path));
    folder->setAutoRemove(false);
    const QList<int> before = rowNumbers(pair.stored);
    QSignalSpy finished(&pair.stored, &GridModel::sortFinished);
    pair.stored.sort(0, Qt::AscendingOrder);
    QTRY_VERIFY(!pair.stored.sortRunning());
    QCOMPARE(finished.size(), 1);
    QVERIFY2(pair.stored.sortError().contains(QDir::toNativeSeparators(path)),
             qPrintable(pair.stored.sortError()));
    QCOMPARE(pair.stored.sortColumn(), -1);
    QCOMPARE(rowNumbers(pair.stored), before);
}

QTEST_GUILESS_MAIN(TestGridSort)
#include "tst_gridsort.moc"

#include "data/gridmodel.h"

#include <QCollator>
#include <QSignalSpy>
#include <QTest>

#include <numeric>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

// The grid model's rows, NULL cells, adopted rows and its two sorts.
class TestGridModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sortByLocale_data();
    void sortByLocale();
    void digitKeysMatchCollator_data();
    void digitKeysMatchCollator();
    void sortKeepsRowsTogetherAndNulls();
    void adoptedRowsWithLimit();
    void headerSortByCharacterCode();
    void headerSortComparesPastTheFirstBytes_data();
    void headerSortComparesPastTheFirstBytes();
    void growingSourceShowsItsRows();
    void rowsKeepTheirLength();
    void snapshotOutlivesChanges_data();
    void snapshotOutlivesChanges();
    void removeRows_data();
    void removeRows();
};

namespace {

class Rows : public GridRowSource
{
public:
    explicit Rows(std::vector<std::vector<const char *>> rows)
        : m_rows(std::move(rows))
    {
    }
    int rowCount() const override { return int(m_rows.size()); }
    int columnCount() const override { return m_rows.empty() ? 0 : int(m_rows.front().size()); }
    const char *cell(int row, int column) const override { return m_rows[size_t(row)][size_t(column)]; }

private:
    std::vector<std::vector<const char *>> m_rows;
};

QStringList captions(const GridModel &grid)
{
    QStringList texts;
    for (int row = 0; row < grid.rowCount(); ++row)
        texts.append(grid.caption(row));
    return texts;
}

GridModel *gridOf(const QStringList &keys, QObject *parent)
{
    auto *grid = new GridModel(parent);
    grid->setColumns({QStringLiteral("key"), QStringLiteral("position")});
    grid->beginBulkAppend();
    for (int i = 0; i < keys.size(); ++i)
        grid->appendRow(QStringList{keys.at(i), QString::number(i)});
    grid->endBulkAppend();
    return grid;
}

// What a per-pair collator comparison, stable, gives.
QStringList collatorOrder(QStringList keys)
{
    QCollator collator;
    std::stable_sort(keys.begin(), keys.end(), [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
    return keys;
}

} // namespace

void TestGridModel::sortByLocale_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("text order of numbers") << QStringList{"10", "9", "100"} << QStringList{"10", "100", "9"};
    QTest::newRow("empty first") << QStringList{"5", "", "05"} << QStringList{"", "05", "5"};
    QTest::newRow("long digit keys")
        << QStringList{"1234567890123", "12345678", "123456789012", "12345679", "1234567890124", "123456789"}
        << QStringList{"12345678", "123456789", "123456789012", "1234567890123", "1234567890124", "12345679"};
    QTest::newRow("equal keys keep their order") << QStringList{"7", "7", "7"} << QStringList{"7", "7", "7"};
}

void TestGridModel::sortByLocale()
{
    QFETCH(QStringList, keys);
    QFETCH(QStringList, expected);
    QObject owner;
    GridModel *grid = gridOf(keys, &owner);
    grid->sortByLocale(0);
    QCOMPARE(captions(*grid), expected);
    QCOMPARE(captions(*grid), collatorOrder(keys));
    // Stable: equal keys stay in their filling order.
    for (int row = 1; row < grid->rowCount(); ++row) {
        if (grid->caption(row) == grid->caption(row - 1))
            QVERIFY(grid->text(row, 1).toInt() > grid->text(row - 1, 1).toInt());
    }
    grid->sortByLocale(0, Qt::DescendingOrder);
    std::reverse(expected.begin(), expected.end());
    QCOMPARE(captions(*grid), expected);
}

void TestGridModel::digitKeysMatchCollator_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("digits") << "digits";
    QTest::newRow("digits and letters") << "mixed";
    QTest::newRow("accented text") << "accented";
}

void TestGridModel::digitKeysMatchCollator()
{
    QFETCH(QString, kind);
    std::mt19937 random(42);
    QStringList keys;
    const QStringList words = {"apple", "Apple", "Äpfel", "zebra", "éclair", "eclair", "Zoo", "a-b", "a b"};
    for (int i = 0; i < 3000; ++i) {
        const unsigned int n = random();
        // Short keys, and keys longer than eight digits sharing prefixes.
        QString key = QString::number(n % 100000u);
        if (i % 3 == 0)
            key += QString::number(random() % 1000000u);
        if (kind == QLatin1String("mixed") && i % 7 == 0)
            key += QLatin1Char('x');
        if (kind == QLatin1String("accented"))
            key = words.at(int(n % words.size())) + key;
        keys.append(key);
    }
    QObject owner;
    GridModel *grid = gridOf(keys, &owner);
    grid->sortByLocale(0);
    QCOMPARE(captions(*grid), collatorOrder(keys));
}

void TestGridModel::sortKeepsRowsTogetherAndNulls()
{
    GridModel grid;
    grid.setColumns({QStringLiteral("k"), QStringLiteral("v")});
    const char *rows[][2] = {{"b", "2"}, {nullptr, "null key"}, {"a", nullptr}, {"", "empty key"}};
    for (auto &row : rows)
        grid.appendRow(row, 2);
    grid.sortByLocale(0);
    QCOMPARE(captions(grid), (QStringList{"", "", "a", "b"}));
    // NULL and empty sort alike and keep their order; cells follow their row.
    QVERIFY(grid.isNull(0, 0));
    QCOMPARE(grid.text(0, 1), QStringLiteral("null key"));
    QVERIFY(!grid.isNull(1, 0));
    QCOMPARE(grid.text(1, 1), QStringLiteral("empty key"));
    QVERIFY(grid.isNull(2, 1));
    QCOMPARE(grid.text(3, 1), QStringLiteral("2"));
}

void TestGridModel::adoptedRowsWithLimit()
{
    GridModel grid;
    grid.setColumns({QStringLiteral("k"), QStringLiteral("v"), QStringLiteral("past the result")});
    grid.adoptRows(std::make_shared<Rows>(std::vector<std::vector<const char *>>{
                       {"30", "x"}, {"4", nullptr}, {"200", "z"}, {"1", "not shown"}}),
                   3);
    QCOMPARE(grid.rowCount(), 3);
    grid.sortByLocale(0);
    QCOMPARE(captions(grid), (QStringList{"200", "30", "4"}));
    QVERIFY(grid.isNull(2, 1));
    QCOMPARE(grid.text(0, 2), QString());
    QVERIFY(!grid.isNull(0, 2)); // a column past the result is empty, not NULL
    // Rows appended after adopted ones join them.
    grid.appendRow(QStringList{QStringLiteral("5"), QStringLiteral("y")});
    QCOMPARE(grid.rowCount(), 4);
    QCOMPARE(grid.caption(3), QStringLiteral("5"));
    grid.sortByLocale(0);
    QCOMPARE(captions(grid), (QStringList{"200", "30", "4", "5"}));
}

void TestGridModel::headerSortByCharacterCode()
{
    QObject owner;
    GridModel *grid = gridOf({"b", "B", "a", "ä", "10", "9"}, &owner);
    grid->sort(0, Qt::AscendingOrder);
    QCOMPARE(captions(*grid), (QStringList{"10", "9", "B", "a", "b", "ä"}));
    QCOMPARE(grid->sortColumn(), 0);
    grid->sort(0, Qt::DescendingOrder);
    QCOMPARE(captions(*grid), (QStringList{"ä", "b", "a", "B", "9", "10"}));
    QCOMPARE(grid->sortOrder(), Qt::DescendingOrder);
}

void TestGridModel::headerSortComparesPastTheFirstBytes_data()
{
    // Cells as bytes; "~" stands for NULL.
    QTest::addColumn<QList<QByteArray>>("cells");
    QTest::newRow("long common beginning")
        << QList<QByteArray>{"abcdefgh-2", "abcdefgh-10", "abcdefgh", "abcdefgh-1", "abcdefghZ"};
    QTest::newRow("zero bytes and shorter texts")
        << QList<QByteArray>{QByteArray("ab\0\0\0\0\0\0x", 9), "ab", QByteArray("ab\0", 3), "", "~", "a"};
    QTest::newRow("equal cells keep their order")
        << QList<QByteArray>{"same-prefix-1", "same-prefix-1", "same-prefix-0", "~", ""};
}

void TestGridModel::headerSortComparesPastTheFirstBytes()
{
    QFETCH(QList<QByteArray>, cells);
    for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        GridModel grid;
        grid.setColumns({QStringLiteral("value"), QStringLiteral("row")});
        for (int i = 0; i < cells.size(); ++i) {
            const QByteArray number = QByteArray::number(i);
            const char *row[] = {cells.at(i) == "~" ? nullptr : cells.at(i).constData(), number.constData()};
            const int lengths[] = {int(cells.at(i).size()), int(number.size())};
            grid.appendRow(row, lengths, 2);
        }
        // The byte order, NULL as the empty text, equal cells as they came.
        QList<int> expected(cells.size());
        std::iota(expected.begin(), expected.end(), 0);
        auto bytes = [&cells](int i) { return cells.at(i) == "~" ? QByteArray() : cells.at(i); };
        std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) { return bytes(a) < bytes(b); });
        if (order == Qt::DescendingOrder)
            std::reverse(expected.begin(), expected.end());
        grid.sort(0, order);
        QList<int> sorted;
        for (int row = 0; row < grid.rowCount(); ++row)
            sorted.append(grid.text(row, 1).toInt());
        QCOMPARE(sorted, expected);
    }
}

void TestGridModel::growingSourceShowsItsRows()
{
    // A source whose rows arrive while it is shown.
    std::vector<std::vector<const char *>> all{{"c", "1"}, {"a", "2"}, {"b", "3"}, {"0", "4"}, {"z", "5"}};
    auto rows = std::make_shared<Rows>(std::vector<std::vector<const char *>>(all.begin(), all.begin() + 3));
    GridModel grid;
    grid.setColumns({QStringLiteral("k"), QStringLiteral("v")});
    grid.adoptGrowingRows(rows);
    QCOMPARE(grid.rowCount(), 0);
    QVERIFY(grid.rowSource() == rows);
    QSignalSpy inserted(&grid, &QAbstractItemModel::rowsInserted);
    grid.showSourceRows(2);
    QCOMPARE(grid.rowCount(), 2);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.first().at(1).toInt(), 0);
    QCOMPARE(inserted.first().at(2).toInt(), 1);
    // Never more than the source holds, never fewer than shown.
    grid.showSourceRows(10);
    QCOMPARE(grid.rowCount(), 3);
    grid.showSourceRows(1);
    QCOMPARE(grid.rowCount(), 3);
    // Sorted rows stay sorted; later rows come after them.
    grid.sort(0, Qt::AscendingOrder);
    QCOMPARE(captions(grid), (QStringList{"a", "b", "c"}));
    const GridSnapshot before = grid.snapshot();
    rows = std::make_shared<Rows>(all);
    grid.adoptGrowingRows(rows, 3);
    grid.sort(0, Qt::AscendingOrder);
    grid.showSourceRows(5);
    QCOMPARE(captions(grid), (QStringList{"a", "b", "c", "0", "z"}));
    QCOMPARE(grid.text(3, 1), QStringLiteral("4"));
    QCOMPARE(before.rowCount(), 3);
}

void TestGridModel::rowsKeepTheirLength()
{
    GridModel grid;
    grid.setColumns({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    grid.appendRow(QStringList{QStringLiteral("full"), QStringLiteral("1"), QStringLiteral("2")});
    const char *shortRow[] = {"short", nullptr};
    grid.appendRow(shortRow, 2);
    // Longer than every row before it: the earlier rows keep their cells.
    grid.appendRow(QStringList{QStringLiteral("long"), QStringLiteral("x"), QStringLiteral("y"),
                               QStringLiteral("z"), QStringLiteral("past")});
    grid.appendRow(QStringList{QStringLiteral("after")});
    QCOMPARE(grid.columnCount(), 3);
    QCOMPARE(grid.rowCount(), 4);
    QCOMPARE(grid.cellCount(0), 3);
    QCOMPARE(grid.cellCount(1), 2);
    QCOMPARE(grid.cellCount(2), 5);
    QCOMPARE(grid.cellCount(3), 1);
    QCOMPARE(grid.text(0, 2), QStringLiteral("2"));
    QVERIFY(grid.isNull(1, 1));
    QCOMPARE(grid.text(1, 2), QString()); // padding is empty, not NULL
    QVERIFY(!grid.isNull(1, 2));
    QCOMPARE(grid.text(2, 2), QStringLiteral("y"));
    const GridSnapshot shot = grid.snapshot();
    QCOMPARE(shot.cell(2, 4), QByteArrayView("past"));
    QCOMPARE(shot.cell(0, 3), QByteArrayView());
    QCOMPARE(shot.cell(3, 0), QByteArrayView("after"));
    // The lengths follow their rows through a sort.
    grid.sort(0, Qt::AscendingOrder); // after, full, long, short
    QCOMPARE(grid.cellCount(0), 1);
    QCOMPARE(grid.cellCount(2), 5);
    QCOMPARE(grid.cellCount(3), 2);
    QCOMPARE(grid.snapshot().cell(2, 3), QByteArrayView("z"));
    // Adopted rows are as long as their source's columns.
    grid.adoptRows(std::make_shared<Rows>(std::vector<std::vector<const char *>>{{"k", "v"}}));
    QCOMPARE(grid.cellCount(0), 2);
}

void TestGridModel::snapshotOutlivesChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("append") << "append";
    QTest::newRow("append to sorted") << "append sorted";
    QTest::newRow("sort") << "sort";
    QTest::newRow("clear rows") << "clear";
    QTest::newRow("clear all") << "clear all";
    QTest::newRow("adopt") << "adopt";
    QTest::newRow("adopted rows, then append") << "adopted append";
}

void TestGridModel::snapshotOutlivesChanges()
{
    QFETCH(QString, change);
    auto grid = std::make_unique<GridModel>();
    grid->setColumns({QStringLiteral("k"), QStringLiteral("v")});
    if (change == QLatin1String("adopted append")) {
        grid->adoptRows(std::make_shared<Rows>(
            std::vector<std::vector<const char *>>{{"b", "2"}, {"a", nullptr}, {"c", "3"}}));
    } else {
        const char *rows[][2] = {{"b", "2"}, {"a", nullptr}, {"c", "3"}};
        for (auto &row : rows)
            grid->appendRow(row, 2);
    }
    if (change == QLatin1String("append sorted"))
        grid->sort(0, Qt::DescendingOrder);
    const GridSnapshot shot = grid->snapshot();
    auto rowsOf = [](const GridSnapshot &s) {
        QStringList rows;
        for (int r = 0; r < s.rowCount(); ++r)
            rows.append(QString::fromUtf8(s.cell(r, 0)) + QLatin1Char('=')
                        + (s.isNull(r, 1) ? QStringLiteral("NULL") : QString::fromUtf8(s.cell(r, 1))));
        return rows;
    };
    const QStringList before = rowsOf(shot);

    if (change.contains(QLatin1String("append"))) {
        grid->appendRow(QStringList{QStringLiteral("d"), QStringLiteral("4")});
        QCOMPARE(grid->rowCount(), 4);
    } else if (change == QLatin1String("sort")) {
        grid->sortByLocale(0);
        QCOMPARE(grid->caption(0), QStringLiteral("a"));
    } else if (change == QLatin1String("clear")) {
        grid->clearRows();
    } else if (change == QLatin1String("clear all")) {
        grid->clear();
    } else if (change == QLatin1String("adopt")) {
        grid->adoptRows(std::make_shared<Rows>(std::vector<std::vector<const char *>>{{"x", "y"}}));
    }
    QCOMPARE(rowsOf(shot), before);
    QCOMPARE(shot.rowCount(), 3);
    QCOMPARE(shot.columnCaption(1), QStringLiteral("v"));
    // The snapshot outlives the grid, too.
    grid.reset();
    QCOMPARE(rowsOf(shot), before);
}

void TestGridModel::removeRows_data()
{
    QTest::addColumn<bool>("adopted");
    QTest::addColumn<bool>("sorted");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("remaining");
    // Rows c, a, NULL-valued b, d; sorted they stand a, b, c, d.
    QTest::newRow("first") << false << false << 0 << 1 << QStringList{"a", "b", "d"};
    QTest::newRow("middle two") << false << false << 1 << 2 << QStringList{"c", "d"};
    QTest::newRow("last") << false << false << 3 << 1 << QStringList{"c", "a", "b"};
    QTest::newRow("sorted, shown row") << false << true << 1 << 1 << QStringList{"a", "c", "d"};
    QTest::newRow("sorted, all") << false << true << 0 << 4 << QStringList();
    QTest::newRow("adopted") << true << false << 1 << 1 << QStringList{"c", "b", "d"};
    QTest::newRow("adopted and sorted") << true << true << 2 << 1 << QStringList{"a", "b", "d"};
}

void TestGridModel::removeRows()
{
    QFETCH(bool, adopted);
    QFETCH(bool, sorted);
    QFETCH(int, row);
    QFETCH(int, count);
    QFETCH(QStringList, remaining);
    GridModel grid;
    grid.setColumns({QStringLiteral("k"), QStringLiteral("v")});
    const std::vector<std::vector<const char *>> rows = {{"c", "cc"}, {"a", "aaa"}, {"b", nullptr}, {"d", ""}};
    if (adopted) {
        grid.adoptRows(std::make_shared<Rows>(rows));
    } else {
        for (const auto &r : rows)
            grid.appendRow(r.data(), 2);
    }
    if (sorted)
        grid.sortByLocale(0);
    int removedSignals = 0;
    connect(&grid, &QAbstractItemModel::rowsRemoved, this, [&](const QModelIndex &, int first, int last) {
        QCOMPARE(first, row);
        QCOMPARE(last, row + count - 1);
        ++removedSignals;
    });
    QVERIFY(grid.removeRows(row, count));
    QCOMPARE(removedSignals, 1);
    QCOMPARE(captions(grid), remaining);
    // Each remaining row keeps its own cells, NULL and empty apart.
    for (int r = 0; r < grid.rowCount(); ++r) {
        const QString key = grid.caption(r);
        if (key == QLatin1String("b")) {
            QVERIFY(grid.isNull(r, 1));
        } else {
            QVERIFY(!grid.isNull(r, 1));
            QCOMPARE(grid.text(r, 1), key == QLatin1String("d") ? QString() : QString(key == QLatin1String("a") ? 3 : 2, key.at(0)));
        }
    }
    // Out of range: nothing happens.
    QVERIFY(!grid.removeRows(grid.rowCount(), 1));
    QVERIFY(!grid.removeRows(0, grid.rowCount() + 1));
    // Rows appended afterwards land after the others.
    grid.appendRow(QStringList{QStringLiteral("e"), QStringLiteral("ee")});
    QCOMPARE(grid.caption(grid.rowCount() - 1), QStringLiteral("e"));
    QCOMPARE(grid.text(grid.rowCount() - 1, 1), QStringLiteral("ee"));
    QCOMPARE(captions(grid).mid(0, remaining.size()), remaining);
}

QTEST_GUILESS_MAIN(TestGridModel)
#include "tst_gridmodel.moc"

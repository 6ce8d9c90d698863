// quarnel-bench grid-sort: the data grid's one locale-aware sort after
// filling, for digit keys (byte order) and for text keys (sort keys), beside
// a plain collator comparison per pair.
#include "bench/benchcommon.h"
#include "data/gridmodel.h"

#include <QCollator>
#include <QElapsedTimer>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Rows whose first cell is the key.
class KeyRows : public GridRowSource
{
public:
    explicit KeyRows(std::vector<std::string> keys)
        : m_keys(std::move(keys))
    {
    }
    int rowCount() const override { return int(m_keys.size()); }
    int columnCount() const override { return 1; }
    const char *cell(int row, int) const override { return m_keys[size_t(row)].c_str(); }

private:
    std::vector<std::string> m_keys;
};

double timeSort(const std::vector<std::string> &keys)
{
    GridModel grid;
    grid.setColumns({QStringLiteral("key")});
    grid.adoptRows(std::make_shared<KeyRows>(keys));
    QElapsedTimer timer;
    timer.start();
    grid.sortByLocale(0);
    return timer.nsecsElapsed() / 1e9;
}

double timePairwise(const std::vector<std::string> &keys)
{
    std::vector<QString> texts;
    texts.reserve(keys.size());
    for (const std::string &key : keys)
        texts.push_back(QString::fromStdString(key));
    QCollator collator;
    QElapsedTimer timer;
    timer.start();
    std::stable_sort(texts.begin(), texts.end(),
                     [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
    return timer.nsecsElapsed() / 1e9;
}

int gridSort(const QStringList &)
{
    constexpr int Count = 1000000;
    std::vector<std::string> digits;
    std::vector<std::string> words;
    digits.reserve(Count);
    words.reserve(Count);
    unsigned int seed = 12345;
    for (int i = 0; i < Count; ++i) {
        seed = seed * 1103515245u + 12345u;
        digits.push_back(std::to_string(seed % 10000000u));
        words.push_back("Name " + std::to_string(seed % 100000u) + (seed % 3 ? "a" : "B"));
    }
    printFigure("rows", QString::number(Count));
    printFigure("digits_seconds", timeSort(digits));
    printFigure("text_seconds", timeSort(words));
    printFigure("pairwise_collator_digits_seconds", timePairwise(digits));
    printFigure("pairwise_collator_text_seconds", timePairwise(words));
    return 0;
}

} // namespace

QUARNEL_BENCH(gridSort, "grid-sort", "The data grid's locale sort of 1,000,000 keys, digits and text", gridSort);

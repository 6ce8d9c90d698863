#include "output/pagepicture.h"
#include "output/sqltextlayout.h"

#include <QTest>

// The SQL text's pages, read back from a recording canvas whose font
// measures 20 high and 10 wide per character. The text rectangle runs from
// (100, 100) to (1100, 1500): the text column starts at 200, a row holds
// (1100 - 200) / 10 - 1 = 89 characters, rows start at 160 and must start
// above 1500 - 4 * 20 = 1420, so a page holds 63 rows.
class TestSqlTextLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyTextIsOnePageWithHeaderAndFooter();
    void lineNumbersAndTextColumn();
    void wrapping_data();
    void wrapping();
    void wrappedLineIsNumberedOnce();
    void tabsExpandToTabStops();
    void pageBreaks_data();
    void pageBreaks();
    void tinyRectStillEnds();
    void coloursAndMono();
    void titleGivesWayToDate();
};

namespace {

using Item = PagePicture::Item;

QSizeF fixedMeasure(const QString &text, const QFont &font)
{
    const int size = font.pixelSize();
    return QSizeF(text.size() * size / 2, size);
}

QFont font20()
{
    QFont font;
    font.setPixelSize(20);
    return font;
}

const QRectF Rect(QPointF(100, 100), QPointF(1100, 1500));
constexpr int RowChars = 89;
constexpr int RowsPerPage = 63;

SqlPrintText textOf(const QStringList &lines, const QString &title = QString())
{
    SqlPrintText text;
    text.lines = lines;
    text.title = title;
    text.tabWidth = 4;
    return text;
}

struct Laid
{
    Laid(const SqlPrintText &text, const SqlPrintOptions &options = SqlPrintOptions(), const QRectF &rect = Rect)
        : canvas(QSizeF(1200, 1600), fixedMeasure)
        , layout(text, options)
    {
        layout.setDateText(QStringLiteral("05.03.24 - 14:07:09"));
        layout.layout(canvas, font20(), rect);
    }
    const PagePicture &draw(int page)
    {
        if (page > 1)
            canvas.newPage();
        layout.drawPage(canvas, page);
        return canvas.pages().back();
    }
    RecordingCanvas canvas;
    SqlTextLayout layout;
};

std::vector<Item> texts(const PagePicture &page)
{
    std::vector<Item> items;
    for (const Item &item : page.items) {
        if (item.kind != Item::Line)
            items.push_back(item);
    }
    return items;
}

std::vector<Item> lines(const PagePicture &page)
{
    std::vector<Item> items;
    for (const Item &item : page.items) {
        if (item.kind == Item::Line)
            items.push_back(item);
    }
    return items;
}

const Item *findText(const PagePicture &page, const QString &text)
{
    for (const Item &item : page.items) {
        if (item.kind != Item::Line && item.text == text)
            return &item;
    }
    return nullptr;
}

QStringList rowTexts(const SqlTextLayout &layout, int page)
{
    QStringList rows;
    for (const SqlTextLayout::Row &row : layout.rowsOfPage(page))
        rows.append(layout.expandedLine(row.line).mid(row.start, row.length));
    return rows;
}

} // namespace

void TestSqlTextLayout::emptyTextIsOnePageWithHeaderAndFooter()
{
    Laid laid(textOf({}));
    QCOMPARE(laid.layout.pageCount(), 1);
    const PagePicture &page = laid.draw(1);

    const Item *date = findText(page, QStringLiteral("05.03.24 - 14:07:09"));
    QVERIFY(date);
    QCOMPARE(date->from, QPointF(1100 - 19 * 10, 100)); // right-aligned in the first line
    const Item *number = findText(page, QStringLiteral("- 1 -"));
    QVERIFY(number);
    QCOMPARE(number->from, QPointF(100 + (1000 - 50) / 2, 1500 - 50)); // centred, top at B - 5h/2
    QCOMPARE(int(texts(page).size()), 2);
    const auto rules = lines(page);
    QCOMPARE(int(rules.size()), 2);
    QCOMPARE(rules[0].from, QPointF(100, 140)); // T + 2h
    QCOMPARE(rules[0].to, QPointF(1100, 140));
    QCOMPARE(rules[1].from, QPointF(100, 1440)); // B - 3h
    QCOMPARE(rules[1].to, QPointF(1100, 1440));
}

void TestSqlTextLayout::lineNumbersAndTextColumn()
{
    Laid laid(textOf({QStringLiteral("SELECT 1;"), QString(), QStringLiteral("SELECT 2;")}, QStringLiteral("/tmp/a.sql")));
    QCOMPARE(laid.layout.charsPerRow(), RowChars);
    const PagePicture &page = laid.draw(1);
    const Item *first = findText(page, QStringLiteral("     1:"));
    QVERIFY(first);
    QCOMPARE(first->from, QPointF(100, 160)); // text starts at T + 3h
    const Item *text = findText(page, QStringLiteral("SELECT 1;"));
    QVERIFY(text);
    QCOMPARE(text->from, QPointF(200, 160)); // L + 10c
    // An empty line keeps its number and its row.
    QVERIFY(findText(page, QStringLiteral("     2:")));
    QCOMPARE(findText(page, QStringLiteral("     3:"))->from.y(), qreal(200));
    QCOMPARE(findText(page, QStringLiteral("/tmp/a.sql"))->from, QPointF(100, 100));
}

void TestSqlTextLayout::wrapping_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("rows");

    const QString word(RowChars + 5, QLatin1Char('x'));
    QTest::newRow("no blank: cut after w") << word << QStringList{word.left(RowChars), word.mid(RowChars)};
    const QString fits(RowChars, QLatin1Char('y'));
    QTest::newRow("exactly w: one row") << fits << QStringList{fits};
    const QString words = QString(50, QLatin1Char('a')) + QLatin1Char(' ') + QString(50, QLatin1Char('b'));
    QTest::newRow("cut after the blank") << words
                                         << QStringList{QString(50, QLatin1Char('a')) + QLatin1Char(' '),
                                                        QString(50, QLatin1Char('b'))};
    const QString blanks = QString(60, QLatin1Char('a')) + QStringLiteral("   ") + QString(40, QLatin1Char('b'));
    QTest::newRow("the row takes the blanks") << blanks
                                              << QStringList{QString(60, QLatin1Char('a')) + QStringLiteral("   "),
                                                             QString(40, QLatin1Char('b'))};
    const QString atWidth = QString(RowChars, QLatin1Char('a')) + QLatin1Char(' ') + QStringLiteral("end");
    QTest::newRow("blank right at the width") << atWidth
                                              << QStringList{QString(RowChars, QLatin1Char('a')) + QLatin1Char(' '),
                                                             QStringLiteral("end")};
    const QString indented = QStringLiteral("    ") + QString(RowChars + 1, QLatin1Char('z'));
    QTest::newRow("leading blanks are no place to cut")
        << indented << QStringList{indented.left(RowChars), indented.mid(RowChars)};
}

void TestSqlTextLayout::wrapping()
{
    QFETCH(QString, line);
    QFETCH(QStringList, rows);
    Laid laid(textOf({line}));
    QCOMPARE(rowTexts(laid.layout, 1), rows);
}

void TestSqlTextLayout::wrappedLineIsNumberedOnce()
{
    const QString longLine = QString(2 * RowChars + 10, QLatin1Char('q'));
    Laid laid(textOf({longLine, QStringLiteral("next")}));
    const PagePicture &page = laid.draw(1);
    QStringList numbers;
    for (const Item &item : texts(page)) {
        if (item.text.endsWith(QLatin1Char(':')))
            numbers.append(item.text);
    }
    QCOMPARE(numbers, (QStringList{QStringLiteral("     1:"), QStringLiteral("     2:")}));
    // Three rows for the first line; the second line's number is on the fourth.
    QCOMPARE(findText(page, QStringLiteral("     2:"))->from.y(), qreal(160 + 3 * 20));
    QCOMPARE(findText(page, QString(10, QLatin1Char('q')))->from, QPointF(200, 160 + 2 * 20));
}

void TestSqlTextLayout::tabsExpandToTabStops()
{
    Laid laid(textOf({QStringLiteral("\tx"), QStringLiteral("ab\tc")}));
    QCOMPARE(laid.layout.expandedLine(0), QStringLiteral("    x"));
    QCOMPARE(laid.layout.expandedLine(1), QStringLiteral("ab  c"));
    const PagePicture &page = laid.draw(1);
    QCOMPARE(findText(page, QStringLiteral("    x"))->from.x(), qreal(200));
}

void TestSqlTextLayout::pageBreaks_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("pages");

    QTest::newRow("last row ends at the limit") << RowsPerPage << 1;
    QTest::newRow("one row more") << RowsPerPage + 1 << 2;
    QTest::newRow("500 lines") << 500 << (500 + RowsPerPage - 1) / RowsPerPage;
}

void TestSqlTextLayout::pageBreaks()
{
    QFETCH(int, lines);
    QFETCH(int, pages);
    QStringList text;
    for (int i = 0; i < lines; ++i)
        text.append(QStringLiteral("SELECT %1;").arg(i + 1));
    Laid laid(textOf(text));
    QCOMPARE(laid.layout.pageCount(), pages);
    const PagePicture &last = laid.draw(pages);
    QVERIFY(findText(last, QStringLiteral("- %1 -").arg(pages)));
    QVERIFY(findText(last, QStringLiteral("SELECT %1;").arg(lines)));
    // Every page is full but the last, whose rows continue the count.
    QCOMPARE(int(laid.layout.rowsOfPage(1).size()), qMin(lines, RowsPerPage));
    QCOMPARE(laid.layout.rowsOfPage(pages).front().line, (pages - 1) * RowsPerPage);
}

void TestSqlTextLayout::tinyRectStillEnds()
{
    // Header and footer leave no room for text: each page still takes a row.
    Laid laid(textOf({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}), SqlPrintOptions(),
              QRectF(0, 0, 300, 100));
    QCOMPARE(laid.layout.pageCount(), 3);
    // A font without width cannot make endless rows either.
    RecordingCanvas canvas(QSizeF(100, 100), [](const QString &, const QFont &) { return QSizeF(0, 0); });
    SqlTextLayout layout(textOf({QString(50, QLatin1Char('x'))}), SqlPrintOptions());
    layout.layout(canvas, font20(), Rect);
    QCOMPARE(layout.charsPerRow(), 1);
    QCOMPARE(int(layout.rowsOfPage(1).size()), 50);
}

void TestSqlTextLayout::coloursAndMono()
{
    SqlPrintText text = textOf({QStringLiteral("SELECT x")});
    text.colours = {{{6, Qt::blue}, {1, Qt::black}, {1, Qt::red}}};
    Laid coloured(text);
    const PagePicture &page = coloured.draw(1);
    const Item *keyword = findText(page, QStringLiteral("SELECT"));
    QVERIFY(keyword);
    QCOMPARE(keyword->colour, QColor(Qt::blue));
    const Item *name = findText(page, QStringLiteral("x"));
    QVERIFY(name);
    QCOMPARE(name->colour, QColor(Qt::red));
    QCOMPARE(name->from.x(), qreal(200 + 7 * 10)); // at its own column

    SqlPrintOptions mono;
    mono.mono = true;
    Laid plain(text, mono);
    const PagePicture &black = plain.draw(1);
    const Item *whole = findText(black, QStringLiteral("SELECT x"));
    QVERIFY(whole);
    QCOMPARE(whole->colour, QColor(Qt::black));
}

void TestSqlTextLayout::titleGivesWayToDate()
{
    Laid laid(textOf({}, QString(200, QLatin1Char('t'))));
    const PagePicture &page = laid.draw(1);
    const Item *title = findText(page, QString(200, QLatin1Char('t')));
    QVERIFY(title);
    QCOMPARE(title->kind, Item::ClippedText);
    QCOMPARE(title->clip.right(), qreal(1100 - 190 - 10));
}

QTEST_GUILESS_MAIN(TestSqlTextLayout)
#include "tst_sqltextlayout.moc"

#include "data/gridmodel.h"
#include "output/gridexport.h"
#include "output/gridpagelayout.h"
#include "output/pagepicture.h"

#include <QTest>

#include <memory>

// The grid page layout, read back as geometry from a recording canvas whose
// text measures are fixed: a line is as high as the font's pixel size (28
// for 8 points) and every character half as wide (14).
class TestGridPageLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startValuesPrintBareColumns();
    void rowsBreakIntoPages();
    void rowTallerThanPageStillMovesOn();
    void gridWithoutRowsPrintsCaptionsAndPageTexts();
    void pageTextSlots();
    void pageTextPlacement();
    void bandsRunPageNumbersOn();
    void fitToPage_data();
    void fitToPage();
    void bordersDrawLines_data();
    void bordersDrawLines();
    void centeredBand();
    void storedOnlyFieldsChangeNothing();
    void columnWiderThanPageGetsOwnBand();
    void manyColumnsNoLimit();
    void noColumnsNoPages();
    void zeroMeasuresAreGuarded();
    void pageCountKnownBeforeDrawing_data();
    void pageCountKnownBeforeDrawing();
    void cancelStopsLayoutAndDrawing();
    void layoutKeepsTheRowsItWasGiven();
};

namespace {

// Text measures that do not depend on installed fonts.
QSizeF fixedMeasure(const QString &text, const QFont &font)
{
    const int size = font.pixelSize();
    return QSizeF(text.size() * size / 2, size);
}

QSizeF zeroMeasure(const QString &, const QFont &)
{
    return QSizeF(0, 0);
}

using Item = PagePicture::Item;

std::vector<Item> itemsOf(const PagePicture &page, Item::Kind kind)
{
    std::vector<Item> items;
    for (const Item &item : page.items) {
        if (item.kind == kind)
            items.push_back(item);
    }
    return items;
}

QStringList cellTexts(const PagePicture &page)
{
    QStringList texts;
    for (const Item &item : itemsOf(page, Item::ClippedText))
        texts.append(item.text);
    return texts;
}

const Item *findText(const PagePicture &page, const QString &text)
{
    for (const Item &item : page.items) {
        if (item.kind != Item::Line && item.text == text)
            return &item;
    }
    return nullptr;
}

std::unique_ptr<GridModel> makeGrid(const QStringList &captions, int rows, const QString &cellPrefix = QStringLiteral("r"))
{
    auto grid = std::make_unique<GridModel>();
    grid->setColumns(captions);
    for (int r = 0; r < rows; ++r) {
        QStringList cells;
        for (int c = 0; c < captions.size(); ++c)
            cells.append(cellPrefix + QString::number(r));
        grid->appendRow(cells);
    }
    return grid;
}

// Measures with the start font: row pad 3, row pitch 28 + 3 + 2 * 3 = 37,
// letter width 14.
constexpr int Pad = 3;
constexpr int Pitch = 37;
constexpr int Letter = 14;

} // namespace

void TestGridPageLayout::startValuesPrintBareColumns()
{
    GridModel grid;
    grid.setColumns({QStringLiteral("id"), QStringLiteral("name")});
    grid.appendRow({QStringLiteral("1"), QStringLiteral("alpha")});
    grid.appendRow({QStringLiteral("22"), QStringLiteral("b")});
    const TPrintsettings settings;
    RecordingCanvas canvas(QSizeF(2100, 2970), fixedMeasure);
    GridPageLayout layout(grid, settings);
    layout.DrawPages(canvas);

    QCOMPARE(int(canvas.pages().size()), 1);
    QCOMPARE(layout.pagesFinished(), 1);
    const PagePicture &page = canvas.pages().front();
    // Widest text plus an "a"; each column 2 mm more, from the corner.
    QCOMPARE(layout.columnWidths(), (std::vector<int>{28 + Letter, 70 + Letter}));
    QCOMPARE(layout.columnPositions(), (std::vector<int>{0, 42 + 20, 62 + 84 + 20}));
    QVERIFY(itemsOf(page, Item::Line).empty());
    QVERIFY(itemsOf(page, Item::Text).empty());
    QCOMPARE(cellTexts(page), (QStringList{QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("1"),
                                           QStringLiteral("alpha"), QStringLiteral("22"), QStringLiteral("b")}));
    const Item *caption = findText(page, QStringLiteral("name"));
    QVERIFY(caption);
    QCOMPARE(caption->from, QPointF(62 + Letter, Pad));
    QCOMPARE(caption->clip, QRectF(QPointF(62, 0), QPointF(166, Pitch)));
    const Item *last = findText(page, QStringLiteral("b"));
    QVERIFY(last);
    QCOMPARE(last->from, QPointF(62 + Letter, 2 * Pitch + Pad));
    QCOMPARE(last->font.pixelSize(), 28);
}

void TestGridPageLayout::rowsBreakIntoPages()
{
    // Bottom reserve 0 + 1 * (3 + 28) = 31: a row starts on a page while
    // its top plus 28 stays within 200 - 31 = 169.
    const auto grid = makeGrid({QStringLiteral("c")}, 10);
    const TPrintsettings settings;
    RecordingCanvas canvas(QSizeF(500, 200), fixedMeasure);
    GridPageLayout layout(*grid, settings);
    layout.DrawPages(canvas);

    QCOMPARE(int(canvas.pages().size()), 3);
    QCOMPARE(layout.pagesFinished(), 3);
    QCOMPARE(cellTexts(canvas.pages()[0]),
             (QStringList{QStringLiteral("c"), QStringLiteral("r0"), QStringLiteral("r1"), QStringLiteral("r2")}));
    // The caption prints once; later pages start with rows at the top.
    QCOMPARE(cellTexts(canvas.pages()[1]), (QStringList{QStringLiteral("r3"), QStringLiteral("r4"),
                                                        QStringLiteral("r5"), QStringLiteral("r6")}));
    QCOMPARE(findText(canvas.pages()[1], QStringLiteral("r3"))->from.y(), qreal(Pad));
    QCOMPARE(findText(canvas.pages()[1], QStringLiteral("r6"))->from.y(), qreal(3 * Pitch + Pad));
    QCOMPARE(cellTexts(canvas.pages()[2]),
             (QStringList{QStringLiteral("r7"), QStringLiteral("r8"), QStringLiteral("r9")}));
}

void TestGridPageLayout::rowTallerThanPageStillMovesOn()
{
    const auto grid = makeGrid({QStringLiteral("c")}, 3);
    const TPrintsettings settings;
    // Lower than a single row: every page takes one row and the job ends.
    RecordingCanvas canvas(QSizeF(500, 30), fixedMeasure);
    GridPageLayout layout(*grid, settings);
    layout.DrawPages(canvas);
    QCOMPARE(int(canvas.pages().size()), 4);
    for (const PagePicture &page : canvas.pages())
        QCOMPARE(int(itemsOf(page, Item::ClippedText).size()), 1);
}

void TestGridPageLayout::gridWithoutRowsPrintsCaptionsAndPageTexts()
{
    const auto grid = makeGrid({QStringLiteral("a"), QStringLiteral("b")}, 0);
    TPrintsettings settings;
    settings.PageNr = ppBottomRight;
    RecordingCanvas canvas(QSizeF(2100, 2970), fixedMeasure);
    GridPageLayout layout(*grid, settings);
    layout.DrawPages(canvas);
    QCOMPARE(int(canvas.pages().size()), 1);
    QCOMPARE(cellTexts(canvas.pages()[0]), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    QVERIFY(findText(canvas.pages()[0], QStringLiteral("  1 ")));
}

void TestGridPageLayout::pageTextSlots()
{
    const auto grid = makeGrid({QStringLiteral("c")}, 1);
    TPrintsettings settings;
    settings.Time = ppBottomLeft;
    settings.Date = ppBottomCenter;
    settings.PageNr = ppTopRight;
    settings.Title = ppTopCenter;
    settings.TitleText = QStringLiteral("orders");
    GridPageLayout layout(*grid, settings);
    layout.setPrintTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7)));
    layout.setLocale(QLocale(QLocale::German, QLocale::Germany));

    const auto texts = layout.pageTexts(1);
    QCOMPARE(texts[0], QString());                       // top left
    QCOMPARE(texts[1], QStringLiteral("  1 "));          // top right: blank, blank, number, blank
    QCOMPARE(texts[2], QStringLiteral(" orders"));       // top centre
    QCOMPARE(texts[3], QStringLiteral("14:07 "));        // bottom left
    QCOMPARE(texts[4], QString());                       // bottom right
    QCOMPARE(texts[5], QStringLiteral(" 05.03.2024"));   // bottom centre, the locale's separator

    // Several items share a slot: left slots grow to the left, others to the right.
    settings.Date = ppTopLeft;
    settings.Time = ppTopLeft;
    settings.Title = ppTopRight;
    settings.PagePrefix = QStringLiteral("Page");
    settings.PageSuffix = QStringLiteral("of many");
    layout.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    const auto shared = layout.pageTexts(12);
    QCOMPARE(shared[0], QStringLiteral("05/03/2024 14:07 "));
    QCOMPARE(shared[1], QStringLiteral(" Page 12 of many orders"));
}

void TestGridPageLayout::pageTextPlacement()
{
    const auto grid = makeGrid({QStringLiteral("c")}, 1);
    TPrintsettings settings;
    settings.Time = ppBottomLeft;
    settings.PageNr = ppTopRight;
    settings.Title = ppTopCenter;
    settings.TitleText = QStringLiteral("orders");
    settings.HeaderSize = 15;
    settings.FooterSize = 10;
    settings.LeftSize = 10;
    settings.RightSize = 20;
    RecordingCanvas canvas(QSizeF(2100, 2970), fixedMeasure);
    GridPageLayout layout(*grid, settings);
    layout.setPrintTime(QDateTime(QDate(2024, 3, 5), QTime(9, 30)));
    layout.setLocale(QLocale::c());
    layout.DrawPages(canvas);
    const PagePicture &page = canvas.pages().front();

    const Item *number = findText(page, QStringLiteral("  1 "));
    QVERIFY(number);
    QCOMPARE(number->from, QPointF(2100 - 4 * 14 - 20 - 20, 15)); // W - tw - 20 - right, at the header size
    const Item *title = findText(page, QStringLiteral(" orders"));
    QVERIFY(title);
    QCOMPARE(title->from, QPointF((2100 - 7 * 14) / 2, 15)); // over the whole width
    const Item *time = findText(page, QStringLiteral("09:30 "));
    QVERIFY(time);
    QCOMPARE(time->from, QPointF(10, 2970 - 28 - Pad - 10)); // H - footer height - pad - footer size
    // The table starts below the top texts: header size + pad + header height.
    const Item *caption = findText(page, QStringLiteral("c"));
    QVERIFY(caption);
    QCOMPARE(caption->from.y(), qreal(15 + Pad + 28 + Pad));
}

void TestGridPageLayout::bandsRunPageNumbersOn()
{
    // Ten columns of 154 + 20: three fit across 600, so the bands hold
    // 3, 3, 3 and 1 columns; 8 rows make each band two pages long.
    QStringList captions;
    for (int c = 0; c < 10; ++c)
        captions.append(QStringLiteral("column%1xxx").arg(c));
    const auto grid = makeGrid(captions, 8);
    TPrintsettings settings;
    settings.PageNr = ppTopRight;
    RecordingCanvas canvas(QSizeF(600, 250), fixedMeasure);
    GridPageLayout layout(*grid, settings);
    layout.DrawPages(canvas);

    QCOMPARE(int(canvas.pages().size()), 8);
    QCOMPARE(layout.pagesFinished(), 8);
    for (int p = 0; p < 8; ++p) {
        const PagePicture &page = canvas.pages()[size_t(p)];
        QVERIFY2(findText(page, QStringLiteral("  %1 ").arg(p + 1)), qPrintable(QString::number(p)));
        // The caption row heads the first page of each band only.
        const bool firstOfBand = p % 2 == 0;
        const int band = p / 2;
        QCOMPARE(bool(findText(page, captions.at(band * 3))), firstOfBand);
        const int columnsInBand = band < 3 ? 3 : 1;
        QCOMPARE(int(itemsOf(page, Item::ClippedText).size()) % columnsInBand, 0);
    }
    // The last band's single column starts at the left again.
    QCOMPARE(findText(canvas.pages()[6], captions.at(9))->clip.left(), qreal(0));
}

void TestGridPageLayout::fitToPage_data()
{
    QTest::addColumn<int>("fit");
    QTest::addColumn<int>("pageWidth");
    QTest::addColumn<int>("expectedWidth");
    QTest::addColumn<int>("expectedBands");

    // Two columns of 10 letters: 154 wide each, 40 of spacing.
    QTest::newRow("always halves") << int(fpAlways) << 194 << 77 << 1;
    QTest::newRow("custom as always") << int(fpCustom) << 194 << 77 << 1;
    // 1041: a factor of 1001 / 308 = 3.25, so 154 grows to 500.5, cut to 500.
    QTest::newRow("always grows") << int(fpAlways) << 1041 << 500 << 1;
    QTest::newRow("shrink keeps narrow columns") << int(fpShrink) << 1041 << 154 << 1;
    QTest::newRow("shrink narrows wide ones") << int(fpShrink) << 194 << 77 << 1;
    QTest::newRow("grow keeps wide columns, in bands") << int(fpGrow) << 194 << 154 << 2;
    QTest::newRow("grow widens narrow ones") << int(fpGrow) << 1041 << 500 << 1;
    QTest::newRow("never") << int(fpNever) << 194 << 154 << 2;
}

void TestGridPageLayout::fitToPage()
{
    QFETCH(int, fit);
    QFETCH(int, pageWidth);
    QFETCH(int, expectedWidth);
    QFETCH(int, expectedBands);

    const auto grid = makeGrid({QStringLiteral("aaaaaaaaaa"), QStringLiteral("bbbbbbbbbb")}, 1, QStringLiteral("x"));
    TPrintsettings settings;
    settings.FitToPage = TFitToPage(fit);
    RecordingCanvas canvas(QSizeF(pageWidth, 2970), fixedMeasure);
    GridPageLayout layout(*grid, settings);
    layout.DrawPages(canvas);
    QCOMPARE(layout.columnWidths(), (std::vector<int>{expectedWidth, expectedWidth}));
    QCOMPARE(int(canvas.pages().size()), expectedBands);
    // Only the widths change: the text keeps its size.
    QCOMPARE(findText(canvas.pages()[0], QStringLiteral("aaaaaaaaaa"))->font.pixelSize(), 28);
}

void TestGridPageLayout::bordersDrawLines_data()
{
    QTest::addColumn<int>("borders");
    QTest::addColumn<bool>("horizontal");
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("width");

    QTest::newRow("none") << int(pbNoborder) << false << false << 0;
    QTest::newRow("single") << int(pbSingle) << true << true << 2;
    QTest::newRow("double") << int(pbDouble) << true << true << 10;
    QTest::newRow("vertical") << int(pbVertical) << false << true << 2;
    QTest::newRow("horizontal") << int(pbHorizontal) << true << false << 2;
}

void TestGridPageLayout::bordersDrawLines()
{
    QFETCH(int, borders);
    QFETCH(bool, horizontal);
    QFETCH(bool, vertical);
    QFETCH(int, width);

    GridModel grid;
    grid.setColumns({QStringLiteral("id"), QStringLiteral("name")});
    grid.appendRow({QStringLiteral("1"), QStringLiteral("alpha")});
    TPrintsettings settings;
    settings.Borders = TPrintBorders(borders);
    settings.BorderStyle = psDot;
    RecordingCanvas canvas(QSizeF(2100, 2970), fixedMeasure);
    GridPageLayout layout(grid, settings);
    layout.DrawPages(canvas);

    const std::vector<Item> lines = itemsOf(canvas.pages().front(), Item::Line);
    std::vector<Item> across;
    std::vector<Item> down;
    for (const Item &line : lines) {
        QCOMPARE(line.width, qreal(width));
        QCOMPARE(line.style, psDot);
        (line.from.y() == line.to.y() ? across : down).push_back(line);
    }
    const int right = 166; // x[2]: 42 + 20 + 84 + 20
    const int bottom = 2 * Pitch - Pad / 2;
    if (horizontal) {
        // Above each of the two rows, and under the last at d - pad / 2.
        QCOMPARE(int(across.size()), 3);
        QCOMPARE(across[0].from, QPointF(0, 0));
        QCOMPARE(across[0].to, QPointF(right, 0));
        QCOMPARE(across[1].from, QPointF(0, Pitch));
        QCOMPARE(across[2].from, QPointF(0, bottom));
        QCOMPARE(across[2].to, QPointF(right, bottom));
    } else {
        QVERIFY(across.empty());
    }
    if (vertical) {
        // One at every column boundary, from the top reserve to the bottom line.
        QCOMPARE(int(down.size()), 3);
        QCOMPARE(down[0].from, QPointF(0, 0));
        QCOMPARE(down[1].from, QPointF(62, 0));
        QCOMPARE(down[2].from, QPointF(right, 0));
        QCOMPARE(down[2].to, QPointF(right, bottom));
    } else {
        QVERIFY(down.empty());
    }
}

void TestGridPageLayout::centeredBand()
{
    // One column of 40 letters: 574 wide, plus spacing 606 + 20: a band of 1200.
    const auto grid = makeGrid({QString(40, QLatin1Char('w'))}, 1, QStringLiteral("x"));
    TPrintsettings settings;
    settings.Centered = true;
    settings.ColumnSpacing = 606;
    settings.LeftSize = 100; // centring ignores the left margin
    RecordingCanvas canvas(QSizeF(1900, 2970), fixedMeasure);
    GridPageLayout layout(*grid, settings);
    layout.DrawPages(canvas);
    QCOMPARE(layout.columnPositions(), (std::vector<int>{350, 1550}));

    settings.Centered = false;
    RecordingCanvas plain(QSizeF(1900, 2970), fixedMeasure);
    GridPageLayout left(*grid, settings);
    left.DrawPages(plain);
    QCOMPARE(left.columnPositions(), (std::vector<int>{100, 1300}));
}

void TestGridPageLayout::storedOnlyFieldsChangeNothing()
{
    // Row spacing, the fixed sizes and the page number separator are kept
    // but never reach the page.
    const auto grid = makeGrid({QStringLiteral("a"), QStringLiteral("b")}, 60);
    TPrintsettings plain;
    plain.Borders = pbSingle;
    plain.PageNr = ppTopRight;
    TPrintsettings stored = plain;
    stored.RowSpacing = 50;
    stored.FixedHeight = 100;
    stored.FixedWidth = 300;
    stored.PageNumSep = QStringLiteral("of");
    auto record = [&grid](const TPrintsettings &settings) {
        RecordingCanvas canvas(QSizeF(1000, 1000), fixedMeasure);
        GridPageLayout layout(*grid, settings);
        layout.DrawPages(canvas);
        QStringList items;
        for (const PagePicture &page : canvas.pages()) {
            for (const Item &item : page.items)
                items.append(QStringLiteral("%1 %2,%3 %4,%5 %6").arg(item.text).arg(item.from.x()).arg(item.from.y())
                                 .arg(item.to.x()).arg(item.to.y()).arg(item.clip.height()));
            items.append(QStringLiteral("--"));
        }
        return items;
    };
    const QStringList expected = record(plain);
    QVERIFY(expected.count(QStringLiteral("--")) > 1);
    QCOMPARE(record(stored), expected);
}

void TestGridPageLayout::columnWiderThanPageGetsOwnBand()
{
    // The middle column is 1414 wide on a page 500 wide.
    GridModel grid;
    grid.setColumns({QStringLiteral("a"), QString(100, QLatin1Char('w')), QStringLiteral("c")});
    grid.appendRow({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    const TPrintsettings settings;
    RecordingCanvas canvas(QSizeF(500, 2970), fixedMeasure);
    GridPageLayout layout(grid, settings);
    layout.DrawPages(canvas);

    // The narrow first column alone (the wide one does not fit beside it),
    // the wide column in a band of its own, clipped by the page, and the
    // last column.
    QCOMPARE(int(canvas.pages().size()), 3);
    QStringList texts;
    for (const PagePicture &page : canvas.pages())
        texts.append(cellTexts(page).join(QLatin1Char(',')));
    QCOMPARE(texts, (QStringList{QStringLiteral("a,1"), QString(100, QLatin1Char('w')) + QStringLiteral(",2"),
                                 QStringLiteral("c,3")}));
    const Item *wide = findText(canvas.pages()[1], QStringLiteral("2"));
    QVERIFY(wide);
    QCOMPARE(wide->clip.width(), qreal(1400 + Letter + 20));
}

void TestGridPageLayout::manyColumnsNoLimit()
{
    QStringList captions;
    for (int c = 0; c < 300; ++c)
        captions.append(QStringLiteral("c%1").arg(c, 3, 10, QLatin1Char('0')));
    const auto grid = makeGrid(captions, 2);
    const TPrintsettings settings;
    // Each column 56 + 14 + 20 = 90 wide: 23 fit in 2100, so 13 full bands
    // and a 14th holding the last column alone.
    RecordingCanvas canvas(QSizeF(2100, 2970), fixedMeasure);
    GridPageLayout layout(*grid, settings);
    layout.DrawPages(canvas);
    QCOMPARE(int(canvas.pages().size()), 14);
    QCOMPARE(cellTexts(canvas.pages()[13]), (QStringList{QStringLiteral("c299"), QStringLiteral("r0"), QStringLiteral("r1")}));
    QCOMPARE(findText(canvas.pages()[13], QStringLiteral("c299"))->clip.right(), qreal(90));
    int cells = 0;
    for (const PagePicture &page : canvas.pages())
        cells += int(itemsOf(page, Item::ClippedText).size());
    QCOMPARE(cells, 300 * 3);

    // Fitting so many columns leaves no room for text: widths go to 0,
    // never below.
    TPrintsettings fit;
    fit.FitToPage = fpAlways;
    RecordingCanvas fitted(QSizeF(2100, 2970), fixedMeasure);
    GridPageLayout fitLayout(*grid, fit);
    fitLayout.DrawPages(fitted);
    QCOMPARE(fitLayout.scale(), 0.0);
    for (const int width : fitLayout.columnWidths())
        QCOMPARE(width, 0);
    QCOMPARE(int(fitted.pages().size()), 3); // 105 columns of 20 per band
}

void TestGridPageLayout::noColumnsNoPages()
{
    GridModel grid;
    TPrintsettings settings;
    settings.FitToPage = fpAlways;
    settings.PageNr = ppTopRight;
    RecordingCanvas canvas(QSizeF(2100, 2970), fixedMeasure);
    GridPageLayout layout(grid, settings);
    layout.DrawPages(canvas);
    QCOMPARE(layout.pagesFinished(), 0);
    QCOMPARE(int(canvas.pages().size()), 1); // the page the canvas began with, left blank
    QVERIFY(canvas.pages().front().items.empty());
}

void TestGridPageLayout::zeroMeasuresAreGuarded()
{
    // A font that measures nothing: no pad, no height, no width. Fitting
    // divides by the sum of the widths, and rows have no height.
    const auto grid = makeGrid({QStringLiteral("a"), QStringLiteral("b")}, 5);
    TPrintsettings settings;
    settings.FitToPage = fpAlways;
    settings.Borders = pbSingle;
    RecordingCanvas canvas(QSizeF(2100, 2970), zeroMeasure);
    GridPageLayout layout(*grid, settings);
    layout.DrawPages(canvas);
    QCOMPARE(int(canvas.pages().size()), 1);
    QCOMPARE(layout.scale(), 1.0);
    QCOMPARE(int(itemsOf(canvas.pages().front(), Item::ClippedText).size()), 12);

    // A page of no size at all still ends.
    RecordingCanvas empty(QSizeF(0, 0), fixedMeasure);
    GridPageLayout tiny(*grid, settings);
    tiny.DrawPages(empty);
    QCOMPARE(int(empty.pages().size()), 2 * 6); // each column its own band, each row its own page
}

void TestGridPageLayout::pageCountKnownBeforeDrawing_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pageHeight");

    QTest::newRow("one page") << 1 << 2 << 2970;
    QTest::newRow("rows over pages") << 1 << 10 << 200;
    QTest::newRow("bands and pages") << 10 << 8 << 250;
    QTest::newRow("no rows") << 3 << 0 << 200;
    QTest::newRow("no columns") << 0 << 5 << 200;
    QTest::newRow("a row per page") << 2 << 6 << 0;
}

void TestGridPageLayout::pageCountKnownBeforeDrawing()
{
    // The count a print asks about is the number of pages then drawn, and
    // progress ends at it.
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(int, pageHeight);
    QStringList captions;
    for (int c = 0; c < columns; ++c)
        captions.append(QStringLiteral("column%1xxx").arg(c));
    const auto grid = makeGrid(captions, rows);
    TPrintsettings settings;
    settings.PageNr = ppTopRight;
    settings.Borders = pbSingle;

    RecordingCanvas counting(QSizeF(600, pageHeight), fixedMeasure);
    GridPageLayout layout(*grid, settings);
    ExportProgress progress;
    const qint64 pages = layout.paginate(counting, &progress);
    QCOMPARE(counting.pages().size(), size_t(1)); // measuring draws nothing
    QVERIFY(counting.pages().front().items.empty());
    QCOMPARE(progress.done(), progress.total());

    RecordingCanvas drawn(QSizeF(600, pageHeight), fixedMeasure);
    QVERIFY(layout.drawPaginated(drawn, &progress));
    RecordingCanvas reference(QSizeF(600, pageHeight), fixedMeasure);
    GridPageLayout whole(*grid, settings);
    whole.DrawPages(reference);
    QCOMPARE(pages, qint64(columns == 0 ? 0 : reference.pages().size()));
    QCOMPARE(qint64(layout.pagesFinished()), pages);
    QCOMPARE(progress.done(), pages);
    QCOMPARE(progress.total(), pages);
    QCOMPARE(drawn.pages().size(), reference.pages().size());
    for (size_t p = 0; p < drawn.pages().size() && columns > 0; ++p)
        QCOMPARE(cellTexts(drawn.pages()[p]), cellTexts(reference.pages()[p]));
}

void TestGridPageLayout::cancelStopsLayoutAndDrawing()
{
    const auto grid = makeGrid({QStringLiteral("c")}, 5000);
    const TPrintsettings settings;
    RecordingCanvas canvas(QSizeF(500, 200), fixedMeasure);
    GridPageLayout layout(*grid, settings);
    ExportProgress cancelled;
    cancelled.cancel();
    QCOMPARE(layout.paginate(canvas, &cancelled), qint64(-1));
    QVERIFY(cancelled.done() < 5000);

    ExportProgress progress;
    QVERIFY(layout.paginate(canvas, &progress) > 1000);
    progress.cancel();
    RecordingCanvas drawn(QSizeF(500, 200), fixedMeasure);
    QVERIFY(!layout.drawPaginated(drawn, &progress));
    QCOMPARE(drawn.pages().size(), size_t(1)); // stopped at the first page's end
}

void TestGridPageLayout::layoutKeepsTheRowsItWasGiven()
{
    // A print laid out from the grid goes on with those rows while the
    // grid is refilled.
    const auto grid = makeGrid({QStringLiteral("c")}, 3);
    const TPrintsettings settings;
    GridPageLayout layout(*grid, settings);
    grid->clearRows();
    grid->appendRow(QStringList{QStringLiteral("other")});
    RecordingCanvas canvas(QSizeF(500, 2970), fixedMeasure);
    layout.DrawPages(canvas);
    QCOMPARE(cellTexts(canvas.pages()[0]),
             (QStringList{QStringLiteral("c"), QStringLiteral("r0"), QStringLiteral("r1"), QStringLiteral("r2")}));
}

QTEST_GUILESS_MAIN(TestGridPageLayout)
#include "tst_gridpagelayout.moc"

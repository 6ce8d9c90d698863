#include "dialogs/previewform.h"
#include "dialogs/previewprinter.h"
#include "tests/modalhelper.h"
#include "tests/support/pdffile.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <stdexcept>

// The preview engine: recording pages against the printer or the screen,
// its assertions, the preview window's navigation and zoom, and printing a
// range of recorded pages.
class TestPreviewPrinter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void screenSheetWithoutPrinter();
    void misuseRaisesAssertions();
    void emptyTextGivesOnePage();
    void marginsFromPaperEdge();
    void recordsAtPrinterResolution();
    void navigation();
    void goToPage();
    void zoomTool();
    void fitToPageAndWidth();
    void handToolPans();
    void printRangeAndCopies();

private:
    // Text that fills exactly three pages in printer (or screen) dots.
    SqlPrintText threePages(TPreviewPrinter &printer);
};

namespace {

QFont editorFont()
{
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setPointSize(10);
    return font;
}

SqlPrintText linesText(int count)
{
    SqlPrintText text;
    for (int i = 0; i < count; ++i)
        text.lines.append(QStringLiteral("SELECT %1 FROM t;").arg(i + 1));
    return text;
}

const PagePicture::Item *findText(const PagePicture &page, const QString &text)
{
    for (const PagePicture::Item &item : page.items) {
        if (item.kind != PagePicture::Item::Line && item.text == text)
            return &item;
    }
    return nullptr;
}

int numberedRows(const PagePicture &page)
{
    int rows = 0;
    for (const PagePicture::Item &item : page.items) {
        if (item.kind == PagePicture::Item::Text && item.text.endsWith(QLatin1Char(':')))
            ++rows;
    }
    return rows;
}

void sendMouse(QWidget *widget, QEvent::Type type, const QPoint &at, Qt::MouseButton button)
{
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button), Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

void TestPreviewPrinter::cleanup()
{
    cancelPendingAnswers();
}

SqlPrintText TestPreviewPrinter::threePages(TPreviewPrinter &printer)
{
    printer.PrintSyntaxMemo(linesText(1000), editorFont());
    const int perPage = numberedRows(printer.Page(0));
    return linesText(2 * perPage + 1);
}

void TestPreviewPrinter::screenSheetWithoutPrinter()
{
    TPreviewPrinter printer;
    QSignalSpy status(&printer, &TPreviewPrinter::OnStatus);
    printer.BeginDoc();
    const qreal dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchX();
    const TDeviceMetrics &m = printer.metrics();
    QCOMPARE(m.dpiX, dpi);
    QCOMPARE(m.paperWidth, std::nearbyint(8.5 * dpi));
    QCOMPARE(m.paperHeight, std::nearbyint(11 * m.dpiY));
    QCOMPARE(printer.PageCount(), 1);
    // A page whose canvas was never asked for is dropped at the end.
    printer.EndDoc();
    QCOMPARE(printer.PageCount(), 0);
    QCOMPARE(status.count(), 2);
    QCOMPARE(status.at(0), (QVariantList{QStringLiteral("Paginating page 1"), 1, int(stPaginating)}));
    QCOMPARE(status.at(1), (QVariantList{QStringLiteral("Pagination Complete"), -1, int(stPaginationComplete)}));

    printer.BeginDoc();
    printer.Canvas();
    printer.NewPage();
    printer.Canvas();
    printer.EndDoc();
    QCOMPARE(printer.PageCount(), 2);
    QCOMPARE(printer.Page(1).sheet, QSizeF(m.paperWidth, m.paperHeight));
}

void TestPreviewPrinter::misuseRaisesAssertions()
{
    TPreviewPrinter printer;
    auto message = [](const std::function<void()> &call) {
        try {
            call();
        } catch (const std::logic_error &error) {
            return QString::fromUtf8(error.what());
        }
        return QString();
    };
    QVERIFY(message([&] { printer.NewPage(); }).startsWith(QStringLiteral("Assertion failure")));
    QVERIFY(message([&] { printer.Canvas(); }).startsWith(QStringLiteral("Canvas is not available before BeginDoc")));
    printer.BeginDoc();
    QVERIFY(message([&] { printer.Preview(); }).startsWith(QStringLiteral("Assertion failure")));
    QVERIFY(message([&] { printer.PrintSyntaxMemo(linesText(1), editorFont()); })
                .startsWith(QStringLiteral("Assertion failure")));
    printer.EndDoc();
    QVERIFY(!printer.printing());
}

void TestPreviewPrinter::emptyTextGivesOnePage()
{
    TPreviewPrinter printer;
    printer.PrintSyntaxMemo(SqlPrintText(), editorFont());
    QCOMPARE(printer.PageCount(), 1);
    const PagePicture &page = printer.Page(0);
    QVERIFY(findText(page, QStringLiteral("- 1 -")));
    int rules = 0;
    for (const PagePicture::Item &item : page.items)
        rules += item.kind == PagePicture::Item::Line ? 1 : 0;
    QCOMPARE(rules, 2);
    QCOMPARE(numberedRows(page), 0);
    QVERIFY(!QApplication::overrideCursor());
}

void TestPreviewPrinter::marginsFromPaperEdge()
{
    TPreviewPrinter printer;
    printer.TextOptions.MarginLeft = 0;
    printer.TextOptions.MarginTop = 0;
    printer.PrintSyntaxMemo(linesText(1), editorFont());
    // All margins 0: the text starts at the paper's corner.
    QCOMPARE(findText(printer.Page(0), QStringLiteral("     1:"))->from.x(), qreal(0));

    printer.TextOptions.MarginLeft = 1.0;
    printer.TextOptions.MarginTop = 0.5;
    printer.Units = unCentimeters; // the SQL text works in inches whatever the units
    printer.PrintSyntaxMemo(linesText(1), editorFont());
    QCOMPARE(printer.Units, unCentimeters);
    const TDeviceMetrics &m = printer.metrics();
    const PagePicture &page = printer.Page(0);
    QCOMPARE(findText(page, QStringLiteral("     1:"))->from.x(), std::nearbyint(m.dpiX));
    // The header's date is the first text, at the top margin.
    QCOMPARE(page.items.front().from.y(), std::nearbyint(m.dpiY * 0.5));
}

void TestPreviewPrinter::recordsAtPrinterResolution()
{
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setPageMargins(QMarginsF());
    TPreviewPrinter printer;
    printer.setPrinter(&pdf);
    printer.Orientation = QPageLayout::Landscape;
    printer.PrintSyntaxMemo(linesText(3), editorFont());
    const TDeviceMetrics &m = printer.metrics();
    QCOMPARE(m.dpiY, qreal(pdf.resolution()));
    const QRect full = pdf.pageLayout().fullRectPixels(pdf.resolution());
    QCOMPARE(QSizeF(m.paperWidth, m.paperHeight), QSizeF(full.size()));
    QVERIFY(m.paperWidth > m.paperHeight);
    QCOMPARE(printer.Page(0).unitsPerInchX, qreal(pdf.resolution()));
}

void TestPreviewPrinter::navigation()
{
    TPreviewPrinter printer;
    printer.PrintSyntaxMemo(threePages(printer), editorFont());
    QCOMPARE(printer.PageCount(), 3);
    TPreviewForm form(&printer);
    form.show();
    QCOMPARE(form.windowTitle(), QStringLiteral("Preview Form"));
    QCOMPARE(form.CurPageLabel->text(), QStringLiteral("Page 1 of 3"));
    QVERIFY(!form.PrevPageBut->isEnabled());
    QVERIFY(!form.FirstPageSpeed->isEnabled());
    QVERIFY(form.NextPageBut->isEnabled());
    QVERIFY(form.LastPageSpeed->isEnabled());
    QVERIFY(form.PageNumSpeed->isEnabled());

    form.NextPageBut->click();
    QCOMPARE(form.CurPageLabel->text(), QStringLiteral("Page 2 of 3"));
    QVERIFY(form.PrevPageSpeed->isEnabled());
    form.LastPageSpeed->click();
    QCOMPARE(form.CurPageLabel->text(), QStringLiteral("Page 3 of 3"));
    QVERIFY(!form.NextPageBut->isEnabled());
    QVERIFY(!form.NextPageSpeed->isEnabled());
    QVERIFY(!form.LastPageSpeed->isEnabled());
    QVERIFY(form.FirstPageSpeed->isEnabled());

    // Two pages on the last page: the second box has no page to show.
    form.TwoPageBut->click();
    QVERIFY(form.PagePanel2->isVisible());
    QCOMPARE(form.ZoomBox->currentText(), QStringLiteral("Fit To Page"));
    QCOMPARE(form.PagePanel2->x(), form.PagePanel->x() + form.PagePanel->width() + 20);
    const QImage first = form.PB1->grab().toImage();
    const QImage second = form.PB2->grab().toImage();
    QCOMPARE(second.size(), first.size());
    const QPoint middle(first.width() / 2, first.height() / 2);
    QCOMPARE(first.pixelColor(middle).name(), QColor(Qt::white).name());
    QVERIFY(second.pixelColor(middle).name() != QColor(Qt::white).name());
    // Any zoom but "Fit To Page" goes back to one page.
    form.selectZoom(QStringLiteral("50%"));
    QVERIFY(!form.PagePanel2->isVisible());
    QVERIFY(form.OnePageBut->isChecked());

    form.FirstPageSpeed->click();
    QCOMPARE(form.pageIndex(), 0);
    QVERIFY(!form.PrevPageBut->isEnabled());
}

void TestPreviewPrinter::goToPage()
{
    TPreviewPrinter printer;
    printer.PrintSyntaxMemo(threePages(printer), editorFont());
    TPreviewForm form(&printer);
    form.show();
    int maximum = 0;
    int preset = 0;
    whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<TGoPageForm *>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Go to Page Number"));
        maximum = dialog->PageNum->maximum();
        preset = dialog->PageNum->value();
        dialog->PageNum->setValue(3);
        dialog->accept();
    });
    form.PageNumSpeed->click();
    QCOMPARE(maximum, 3);
    QCOMPARE(preset, 1);
    QCOMPARE(form.pageIndex(), 2);

    // Cancel changes nothing.
    whenModal([](QWidget *modal) { qobject_cast<QDialog *>(modal)->reject(); });
    form.PageNumSpeed->click();
    QCOMPARE(form.pageIndex(), 2);
}

void TestPreviewPrinter::zoomTool()
{
    TPreviewPrinter printer;
    printer.PrintSyntaxMemo(linesText(5), editorFont());
    TPreviewForm form(&printer);
    form.show();
    QVERIFY(form.ZoomCursorBut->isChecked());
    form.selectZoom(QStringLiteral("100%"));
    QCOMPARE(form.ZoomLabel->text(), QStringLiteral("100%"));

    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(form.PB1, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QCOMPARE(form.zoomFactor(), 3.375);
    QCOMPARE(form.ZoomLabel->text(), QStringLiteral("338%"));
    QCOMPARE(form.ZoomBox->currentText(), QStringLiteral("Custom"));
    const TDeviceMetrics &m = printer.metrics();
    const double s = form.logicalDpiY();
    QCOMPARE(form.PagePanel->height(), int(s * 3.375 * m.paperHeight / m.dpiY));
    QCOMPARE(form.PagePanel->width(), int(s * 3.375 * m.paperWidth / m.dpiX));

    QTest::mouseClick(form.PB1, Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
    QCOMPARE(form.zoomFactor(), 2.25);
    QCOMPARE(form.ZoomLabel->text(), QStringLiteral("225%"));
}

void TestPreviewPrinter::fitToPageAndWidth()
{
    TPreviewPrinter printer;
    printer.PrintSyntaxMemo(linesText(5), editorFont());
    TPreviewForm form(&printer);
    form.resize(900, 700);
    form.showNormal();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.selectZoom(QStringLiteral("Fit To Page"));
    const QSize client = form.ScrollBox1->viewport()->size();
    const TDeviceMetrics &m = printer.metrics();
    const double s = form.logicalDpiY();
    QCOMPARE(form.zoomFactor(), (client.height() - 20) / s / (m.paperHeight / m.dpiY));
    QVERIFY(form.FitPageBut->isChecked());
    QVERIFY(!form.FitWidthBut->isChecked());
    // The page fits: centred, no scrolling.
    QVERIFY(form.PagePanel->height() <= client.height() - 20);
    QCOMPARE(form.PagePanel->x(), form.ContainPanel->width() / 2 - form.PagePanel->width() / 2);

    form.FitWidthBut->click();
    QCOMPARE(form.ZoomBox->currentText(), QStringLiteral("Fit To Width"));
    QVERIFY(form.FitWidthBut->isChecked());
    const QSize wide = form.ScrollBox1->viewport()->size();
    QCOMPARE(form.PagePanel->width(), int(s * form.zoomFactor() * m.paperWidth / m.dpiX));
    QVERIFY(qAbs(form.PagePanel->width() - (wide.width() - 20)) <= 1);
}

void TestPreviewPrinter::handToolPans()
{
    TPreviewPrinter printer;
    printer.PrintSyntaxMemo(linesText(5), editorFont());
    TPreviewForm form(&printer);
    form.resize(800, 600);
    form.showNormal();
    form.selectZoom(QStringLiteral("400%"));
    form.HandCursorBut->click();
    QVERIFY(!form.ZoomCursorBut->isChecked());
    QCOMPARE(form.PB1->cursor().shape(), Qt::PointingHandCursor);
    QScrollBar *h = form.ScrollBox1->horizontalScrollBar();
    QScrollBar *v = form.ScrollBox1->verticalScrollBar();
    h->setValue(100);
    v->setValue(100);
    sendMouse(form.PB1, QEvent::MouseButtonPress, QPoint(300, 300), Qt::LeftButton);
    sendMouse(form.PB1, QEvent::MouseMove, QPoint(250, 260), Qt::LeftButton);
    QCOMPARE(h->value(), 150);
    QCOMPARE(v->value(), 140);
    sendMouse(form.PB1, QEvent::MouseButtonRelease, QPoint(250, 260), Qt::LeftButton);
    sendMouse(form.PB1, QEvent::MouseMove, QPoint(100, 100), Qt::NoButton);
    QCOMPARE(h->value(), 150);
}

void TestPreviewPrinter::printRangeAndCopies()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setPageMargins(QMarginsF());
    TPreviewPrinter printer;
    printer.setPrinter(&pdf);
    printer.PrintSyntaxMemo(threePages(printer), editorFont());
    QCOMPARE(printer.PageCount(), 3);

    const QString file = dir.filePath(QStringLiteral("range.pdf"));
    int offeredPages = 0;
    printer.runPrintDialog = [&](QWidget *, QPrinter *target, int pageCount) {
        offeredPages = pageCount;
        target->setOutputFileName(file);
        TPrintRequest request;
        request.accepted = true;
        request.all = false;
        request.fromPage = 2;
        request.toPage = 3;
        request.copies = 2;
        return request;
    };
    QSignalSpy status(&printer, &TPreviewPrinter::OnStatus);
    QVERIFY(printer.Print());
    QCOMPARE(offeredPages, 3);
    QStringList messages;
    for (const QVariantList &report : std::as_const(status))
        messages.append(report.at(0).toString());
    // Two copies: two separate jobs, each of the second and third pages.
    QCOMPARE(messages, (QStringList{QStringLiteral("Printing page 2"), QStringLiteral("Printing page 3"),
                                    QStringLiteral("Print Job Complete"), QStringLiteral("Printing page 2"),
                                    QStringLiteral("Printing page 3"), QStringLiteral("Print Job Complete")}));
    QCOMPARE(pdfPageCount(file), 2);
    const QString text = pdfText(file);
    QVERIFY2(!text.isNull(), "pdftotext (poppler-utils) is needed to read the printed pages");
    QVERIFY(text.contains(QStringLiteral("- 2 -")));
    QVERIFY(text.contains(QStringLiteral("- 3 -")));
    QVERIFY(!text.contains(QStringLiteral("- 1 -")));
    QVERIFY(!QApplication::overrideCursor());

    // Cancel prints nothing.
    status.clear();
    printer.runPrintDialog = [](QWidget *, QPrinter *, int) { return TPrintRequest(); };
    QVERIFY(!printer.Print());
    QCOMPARE(status.count(), 0);
}

QTEST_MAIN(TestPreviewPrinter)
#include "tst_previewprinter.moc"

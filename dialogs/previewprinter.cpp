#include "dialogs/previewprinter.h"

#include "dialogs/previewform.h"
#include "dialogs/printjob.h"

#include <QApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>

#include <cmath>
#include <stdexcept>

namespace {

// Source named in the assertion texts.
const char *const AssertSource = " (Global\\Print\\PrevPrinter)";

std::logic_error assertion(const char *text)
{
    return std::logic_error(std::string(text) + AssertSource);
}

int roundDots(double value)
{
    return roundHalfEven(value);
}

} // namespace

TPreviewPrinter::TPreviewPrinter(QObject *parent)
    : QObject(parent)
{
    runPrintDialog = [](QWidget *parent, QPrinter *printer, int pageCount) {
        TPrintRequest request;
        QPrintDialog dialog(printer, parent);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
        dialog.setMinMax(1, pageCount);
        dialog.setFromTo(1, pageCount);
        if (dialog.exec() != QDialog::Accepted)
            return request;
        request.accepted = true;
        request.all = dialog.printRange() == QAbstractPrintDialog::AllPages;
        request.fromPage = dialog.fromPage();
        request.toPage = dialog.toPage();
        request.copies = qMax(1, printer->copyCount());
        // Each copy is a job of its own.
        printer->setCopyCount(1);
        return request;
    };
}

TPreviewPrinter::~TPreviewPrinter() = default;

void TPreviewPrinter::readMetrics()
{
    if (m_printer && m_printer->isValid()) {
        m_printer->setPageOrientation(Orientation);
        const int dpi = m_printer->resolution();
        const QPageLayout layout = m_printer->pageLayout();
        const QRect full = layout.fullRectPixels(dpi);
        const QRect paint = layout.paintRectPixels(dpi);
        if (dpi > 0 && !full.isEmpty()) {
            m_metrics.dpiX = m_printer->logicalDpiX();
            m_metrics.dpiY = m_printer->logicalDpiY();
            m_metrics.paperWidth = full.width();
            m_metrics.paperHeight = full.height();
            m_metrics.offsetX = paint.left();
            m_metrics.offsetY = paint.top();
            return;
        }
    }
    // No usable printer: the screen, on a letter-sized sheet.
    const QScreen *screen = QGuiApplication::primaryScreen();
    m_metrics.dpiX = screen ? screen->logicalDotsPerInchX() : 96;
    m_metrics.dpiY = screen ? screen->logicalDotsPerInchY() : 96;
    m_metrics.paperWidth = roundDots(8.5 * m_metrics.dpiX);
    m_metrics.paperHeight = roundDots(11 * m_metrics.dpiY);
    m_metrics.offsetX = 0;
    m_metrics.offsetY = 0;
}

void TPreviewPrinter::BeginDoc()
{
    m_printing = true;
    m_canvas.reset();
    NewPage();
}

void TPreviewPrinter::NewPage()
{
    if (!m_printing)
        throw assertion("Assertion failure");
    readMetrics();
    const QSizeF sheet(m_metrics.paperWidth, m_metrics.paperHeight);
    // The pictures cover the whole sheet, origin at the paper's corner.
    if (!m_canvas)
        m_canvas = std::make_unique<RecordingCanvas>(sheet);
    else
        m_canvas->newPage();
    m_canvas->setPageSize(sheet);
    m_canvas->setSheet(sheet, QPointF(), m_metrics.dpiX, m_metrics.dpiY);
    m_canvasUsed = false;
    Q_EMIT OnStatus(QStringLiteral("Paginating page %1").arg(PageCount()), PageCount(), stPaginating);
}

PrintCanvas *TPreviewPrinter::Canvas()
{
    if (!m_printing)
        throw assertion("Canvas is not available before BeginDoc");
    m_canvasUsed = true;
    return m_canvas.get();
}

void TPreviewPrinter::EndDoc()
{
    if (!m_printing)
        throw assertion("Assertion failure");
    m_printing = false;
    if (!m_canvasUsed && m_canvas)
        m_canvas->removeLastPage();
    Q_EMIT OnStatus(QStringLiteral("Pagination Complete"), -1, stPaginationComplete);
}

int TPreviewPrinter::PageCount() const
{
    return m_canvas ? int(m_canvas->pages().size()) : 0;
}

const PagePicture &TPreviewPrinter::Page(int index) const
{
    if (index < 0 || index >= PageCount())
        throw std::out_of_range("page index out of range");
    return m_canvas->pages()[size_t(index)];
}

void TPreviewPrinter::PrintSyntaxMemo(const SqlPrintText &text, const QFont &font)
{
    if (m_printing)
        throw assertion("Assertion failure");
    BusyCursor busy;
    const TUnits savedUnits = Units;
    Units = unInches;
    try {
        SqlTextLayout layout(text, SqlPrintOptions());
        int pages = 1;
        for (int n = 1; n <= pages; ++n) {
            if (n == 1)
                BeginDoc();
            else
                NewPage();
            const double factor = unitFactor(Units);
            const QRectF rect(QPointF(roundDots(m_metrics.dpiX * TextOptions.MarginLeft / factor),
                                      roundDots(m_metrics.dpiY * TextOptions.MarginTop / factor)),
                              QPointF(m_metrics.paperWidth - roundDots(m_metrics.dpiX * TextOptions.MarginRight / factor),
                                      m_metrics.paperHeight
                                          - roundDots(m_metrics.dpiY * TextOptions.MarginBottom / factor)));
            PrintCanvas *canvas = Canvas();
            if (n == 1) {
                layout.layout(*canvas, fontInUnits(font, m_metrics.dpiY), rect);
                pages = layout.pageCount();
            }
            layout.drawPage(*canvas, n);
        }
        EndDoc();
    } catch (...) {
        m_printing = false;
        Units = savedUnits;
        throw;
    }
    Units = savedUnits;
}

void TPreviewPrinter::Preview()
{
    if (m_printing)
        throw assertion("Assertion failure");
    TPreviewForm form(this, m_window);
    form.setGridShown(ShowGrid);
    switch (ZoomOption) {
    case zoFitToPage:
    case zoCustom:
        form.selectZoom(QStringLiteral("Fit To Page"));
        break;
    case zoFitToWidth:
        form.selectZoom(QStringLiteral("Fit To Width"));
        break;
    case zoTwoPages:
        form.setTwoPages(true);
        break;
    }
    form.exec();
}

bool TPreviewPrinter::Print()
{
    const int count = PageCount();
    if (count == 0 || !m_printer)
        return false;
    const TPrintRequest request = runPrintDialog(m_window, m_printer, count);
    if (!request.accepted)
        return false;
    int first = 0;
    int last = count - 1;
    if (!request.all) {
        first = qBound(0, request.fromPage - 1, count - 1);
        last = qBound(first, request.toPage - 1, count - 1);
    }
    for (int copy = 0; copy < qMax(1, request.copies); ++copy)
        PrintPages(first, last);
    return true;
}

void TPreviewPrinter::PrintPages(int first, int last)
{
    if (!m_printer || first < 0 || last >= PageCount() || first > last)
        return;
    BusyCursor busy;
    m_printer->setPageOrientation(Orientation);
    m_printer->setDocName(Title);
    runPrintJob(m_printer, [&](QPainter &painter) {
        const int dpi = m_printer->resolution();
        const QRect paint = m_printer->pageLayout().paintRectPixels(dpi);
        const qreal dpiX = m_printer->logicalDpiX();
        const qreal dpiY = m_printer->logicalDpiY();
        for (int index = first; index <= last; ++index) {
            Q_EMIT OnStatus(QStringLiteral("Printing page %1").arg(index + 1), index + 1, stPrinting);
            const PagePicture &page = Page(index);
            painter.save();
            // The picture's paper corner meets the paper's corner.
            painter.translate(-paint.left(), -paint.top());
            painter.scale(dpiX / page.unitsPerInchX, dpiY / page.unitsPerInchY);
            page.play(&painter);
            painter.restore();
            if (index < last && !m_printer->newPage())
                throw std::runtime_error("The printer could not start a new page");
        }
    });
    Q_EMIT OnStatus(QStringLiteral("Print Job Complete"), -1, stPrintComplete);
}

#pragma once

#include "output/pagepicture.h"
#include "output/sqltextlayout.h"

#include <QFont>
#include <QObject>
#include <QPageLayout>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class QPrinter;
class QWidget;

enum TUnits { unInches, unCentimeters };
enum TZoomOption { zoFitToPage, zoFitToWidth, zoTwoPages, zoCustom };
// Kinds of OnStatus reports.
enum TStatusType { stPaginating = 0, stPrinting = 1, stPaginationComplete = 2, stPrintComplete = 3 };

// Margins and page texts of the recorded pages. The SQL text uses the four
// margins (in the printer's Units) and the body font; the others keep their
// start values.
struct TTextOptions
{
    enum DrawStyle { dsStandard };
    enum PageNumberPlace { pnNone, pnTop, pnBottom };

    double MarginLeft = 1.0;
    double MarginTop = 1.0;
    double MarginRight = 1.0;
    double MarginBottom = 1.0;
    double HeaderMargin = 0.5;
    double FooterMargin = 0.75;
    DrawStyle Style = dsStandard;
    Qt::Alignment HeaderAlign = Qt::AlignHCenter;
    Qt::Alignment FooterAlign = Qt::AlignHCenter;
    PageNumberPlace PrintPageNumber = pnBottom;
    Qt::Alignment PageNumAlign = Qt::AlignRight;
    QString PageNumText = QStringLiteral("Page %d");
    QFont BodyFont = QFont(QStringLiteral("Arial"), 10);
    QFont HeaderFont = QFont(QStringLiteral("Times New Roman"), 18, QFont::Bold);
    QFont FooterFont = QFont(QStringLiteral("Times New Roman"), 10, QFont::Normal, true);
    QFont PageNumFont = FooterFont;
    QStringList Header;
    QStringList Footer;
};

// The sheet of the reference device, in its dots.
struct TDeviceMetrics
{
    qreal dpiX = 96;
    qreal dpiY = 96;
    qreal paperWidth = 0;
    qreal paperHeight = 0;
    qreal offsetX = 0; // the unprintable edge
    qreal offsetY = 0;
};

// What the print dialog answered.
struct TPrintRequest
{
    bool accepted = false;
    bool all = true;
    int fromPage = 1; // from 1
    int toPage = 1;
    int copies = 1;
};

// Records pages as pictures at the current printer's resolution (the
// screen's, on a sheet of 8.5 x 11 inches, when there is no usable printer),
// shows them in the preview window, and prints them.
class TPreviewPrinter : public QObject
{
    Q_OBJECT

public:
    explicit TPreviewPrinter(QObject *parent = nullptr);
    ~TPreviewPrinter() override;

    // The current printer, or none.
    void setPrinter(QPrinter *printer) { m_printer = printer; }
    QPrinter *printer() const { return m_printer; }
    // The window the preview and the print dialog belong to.
    void setWindow(QWidget *window) { m_window = window; }

    QPageLayout::Orientation Orientation = QPageLayout::Portrait;
    QString Title;
    TTextOptions TextOptions;
    TUnits Units = unInches;
    bool ShowGrid = false;
    TZoomOption ZoomOption = zoFitToPage;
    int ZoomVal = 100;

    void BeginDoc();
    void NewPage();
    void EndDoc();
    // The recording surface of the current page; only while printing.
    PrintCanvas *Canvas();
    int PageCount() const;
    const PagePicture &Page(int index) const;
    bool printing() const { return m_printing; }
    const TDeviceMetrics &metrics() const { return m_metrics; }

    // Records the SQL text as pages, laid out in the text options' margins.
    void PrintSyntaxMemo(const SqlPrintText &text, const QFont &font);
    // Shows the recorded pages in the modal preview window.
    void Preview();
    // Asks for the pages and copies and prints them; false when cancelled.
    bool Print();
    // Prints the pages first..last (indices from 0) as one job.
    void PrintPages(int first, int last);

    // The print dialog; tests answer it without a window.
    std::function<TPrintRequest(QWidget *parent, QPrinter *printer, int pageCount)> runPrintDialog;

Q_SIGNALS:
    void OnStatus(const QString &message, int pageNum, int statusType);

private:
    void readMetrics();
    static double unitFactor(TUnits units) { return units == unCentimeters ? 2.54 : 1.0; }

    QPrinter *m_printer = nullptr;
    QPointer<QWidget> m_window;
    bool m_printing = false;
    bool m_canvasUsed = false;
    std::unique_ptr<RecordingCanvas> m_canvas; // holds the recorded pages
    TDeviceMetrics m_metrics;
};

#pragma once

#include "data/gridmodel.h"
#include "output/printsettings.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <array>
#include <vector>

class ExportProgress;
class PrintCanvas;

// Lays a grid's captions and rows out on printed pages and draws them:
// measures the columns, optionally scales them to the page width, splits the
// columns into bands that fit across a page, breaks the rows into pages, and
// draws cells, lines and the page texts in the margins. All lengths are
// tenths of a millimetre; the canvas must use the same unit.
//
// The layout reads a snapshot of the grid, so a big print may be laid out
// and drawn on another thread while the grid goes on (the settings must then
// be a copy of the job's own): first paginate() measures and counts the pages (on any canvas of the
// same page size and unit), then drawPaginated() draws them.
class GridPageLayout
{
public:
    GridPageLayout(const GridModel &grid, const TPrintsettings &settings);
    GridPageLayout(const GridSnapshot &grid, const TPrintsettings &settings);

    // Draws every page. The caller has begun the document; between pages the
    // canvas is asked for a new page, and the last page is left open. A grid
    // without columns draws nothing.
    void DrawPages(PrintCanvas &canvas);

    // Measures the columns and rows and breaks them into bands and pages;
    // returns the number of pages (0 without columns), or -1 when progress
    // was cancelled meanwhile. progress counts rows, twice.
    qint64 paginate(PrintCanvas &canvas, ExportProgress *progress = nullptr);
    // Draws the pages of the last paginate(); false when progress was
    // cancelled (the pages drawn so far are left as they are). progress
    // counts pages.
    bool drawPaginated(PrintCanvas &canvas, ExportProgress *progress = nullptr);
    qint64 pageCount() const { return qint64(m_bands.size()) * qint64(m_pageStarts.size()); }

    // The time and date the page texts show (the current ones unless set),
    // and the locale whose separators they use.
    void setPrintTime(const QDateTime &when) { m_when = when; }
    void setLocale(const QLocale &locale) { m_locale = locale; }

    // Layout state of the last DrawPages: column widths, the left edges of
    // the last band's columns and its right edge (x[last + 1]), the pages
    // finished, and the width scale factor.
    const std::vector<int> &columnWidths() const { return m_w; }
    const std::vector<int> &columnPositions() const { return m_x; }
    int pagesFinished() const { return m_pagesFinished; }
    double scale() const { return m_scale; }

    // The page texts of page pageNumber, slot by slot: top left, top right,
    // top centre, bottom left, bottom right, bottom centre.
    std::array<QString, 6> pageTexts(int pageNumber) const;

private:
    struct Measures
    {
        int rowPad = 0;
        int headerHeight = 0;
        int footerHeight = 0;
        int letterWidth = 0;
        int spacing = 0;
        int topReserve = 0;
        int bottomReserve = 0;
    };

    struct Band
    {
        int first = 0;
        int last = 0;
        long long width = 0;
    };

    QString cellText(int row, int column) const;
    void placeBand(const Band &band);
    int textWidth(PrintCanvas &canvas, const QString &text, const QFont &font) const;
    int textHeight(PrintCanvas &canvas, const QString &text, const QFont &font) const;
    int rowTextHeight(PrintCanvas &canvas, int row) const;
    bool printBand(PrintCanvas &canvas, int first, int last, ExportProgress *progress);
    // Draws row (-1: the captions) whose text is ch high; returns its pitch.
    int drawRow(PrintCanvas &canvas, int row, int ch, int d, int first, int last);
    void drawPageBorders(PrintCanvas &canvas, int d, int first, int last);
    void drawPageTexts(PrintCanvas &canvas);
    int lineWidth() const;

    GridSnapshot m_grid;
    const TPrintsettings &m_settings; // must outlive the layout
    QDateTime m_when;
    QDateTime m_jobTime;
    QLocale m_locale;

    // Fonts with their pixel size in tenths of a millimetre.
    QFont m_font;
    QFont m_headerFont;
    QFont m_footerFont;
    Measures m_m;
    int m_pageWidth = 0;
    int m_pageHeight = 0;

    std::vector<int> m_w;
    std::vector<int> m_x;
    int m_pagesFinished = 0;
    double m_scale = 1.0;
    std::vector<Band> m_bands;
    // Text height of the caption row (first) and of every row.
    std::vector<int> m_heights;
    // The first row of each page of a band (-1: the caption row); every
    // band breaks its rows alike.
    std::vector<int> m_pageStarts;
};

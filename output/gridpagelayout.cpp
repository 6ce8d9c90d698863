#include "output/gridpagelayout.h"

#include "data/gridmodel.h"
#include "output/datetimepicture.h"
#include "output/gridexport.h"
#include "output/printcanvas.h"

#include <algorithm>

namespace {

// Lengths are tenths of a millimetre: 254 to the inch.
constexpr qreal UnitsPerInch = 254.0;

enum Slot { TopLeft, TopRight, TopCenter, BottomLeft, BottomRight, BottomCenter, SlotCount };

int slotOf(TPrintPosition position)
{
    switch (position) {
    case ppTopLeft:
        return TopLeft;
    case ppTopRight:
        return TopRight;
    case ppTopCenter:
        return TopCenter;
    case ppBottomLeft:
        return BottomLeft;
    case ppBottomRight:
        return BottomRight;
    case ppBottomCenter:
        return BottomCenter;
    case ppNone:
        break;
    }
    return -1;
}

} // namespace

GridPageLayout::GridPageLayout(const GridModel &grid, const TPrintsettings &settings)
    : GridPageLayout(grid.snapshot(), settings)
{
}

GridPageLayout::GridPageLayout(const GridSnapshot &grid, const TPrintsettings &settings)
    : m_grid(grid)
    , m_settings(settings)
{
}

QString GridPageLayout::cellText(int row, int column) const
{
    if (row < 0)
        return m_grid.columnCaption(column);
    // Column 0 is the row's caption, the others its further cells.
    return QString::fromUtf8(m_grid.cell(row, column));
}

int GridPageLayout::textWidth(PrintCanvas &canvas, const QString &text, const QFont &font) const
{
    return roundHalfEven(canvas.textSize(singleLine(text), font).width());
}

int GridPageLayout::textHeight(PrintCanvas &canvas, const QString &text, const QFont &font) const
{
    return roundHalfEven(canvas.textSize(singleLine(text), font).height());
}

int GridPageLayout::rowTextHeight(PrintCanvas &canvas, int row) const
{
    // The tallest cell of the row across all columns, not just the band's.
    int height = 0;
    const int columns = m_grid.columnCount();
    for (int c = 0; c < columns; ++c)
        height = std::max(height, textHeight(canvas, cellText(row, c), m_font));
    return height;
}

int GridPageLayout::lineWidth() const
{
    return m_settings.Borders == pbDouble ? 10 : 2;
}

std::array<QString, 6> GridPageLayout::pageTexts(int pageNumber) const
{
    std::array<QString, 6> texts;
    const QDateTime when = m_when.isValid() ? m_when : m_jobTime.isValid() ? m_jobTime : QDateTime::currentDateTime();
    auto put = [&texts](TPrintPosition position, const QString &item) {
        const int slot = slotOf(position);
        if (slot < 0)
            return;
        // Left texts grow to the left, the others to the right.
        if (slot == TopLeft || slot == BottomLeft)
            texts[size_t(slot)] = item + QLatin1Char(' ') + texts[size_t(slot)];
        else
            texts[size_t(slot)] = texts[size_t(slot)] + QLatin1Char(' ') + item;
    };
    put(m_settings.Time, FormatDateTimePicture(QStringLiteral("hh:nn"), when, m_locale));
    put(m_settings.Date, FormatDateTimePicture(m_settings.DateFormat, when, m_locale));
    put(m_settings.PageNr, m_settings.PagePrefix + QLatin1Char(' ') + QString::number(pageNumber) + QLatin1Char(' ')
                               + m_settings.PageSuffix);
    put(m_settings.Title, m_settings.TitleText);
    return texts;
}

void GridPageLayout::DrawPages(PrintCanvas &canvas)
{
    paginate(canvas);
    drawPaginated(canvas);
}

namespace {

// Rows between two looks at the progress: often enough for Cancel to answer
// at once, rarely enough to cost nothing.
constexpr int RowsPerCheck = 256;

bool rowStep(ExportProgress *progress, qint64 &done)
{
    ++done;
    if (!progress || (done % RowsPerCheck) != 0)
        return true;
    progress->setDone(done);
    return !progress->cancelled();
}

} // namespace

qint64 GridPageLayout::paginate(PrintCanvas &canvas, ExportProgress *progress)
{
    m_w.clear();
    m_x.clear();
    m_bands.clear();
    m_heights.clear();
    m_pageStarts.clear();
    m_pagesFinished = 0;
    m_scale = 1.0;
    // Every page of a job shows the time the job began.
    m_jobTime = QDateTime::currentDateTime();
    const int n = m_grid.columnCount();
    // Without columns there is no band and nothing to print.
    if (n <= 0)
        return 0;
    const int rows = m_grid.rowCount();
    qint64 done = 0;
    if (progress) {
        progress->setTotal(qint64(rows) * 2);
        progress->setDone(0);
    }

    m_font = fontInUnits(m_settings.Font, UnitsPerInch);
    m_headerFont = fontInUnits(m_settings.HeaderFont, UnitsPerInch);
    m_footerFont = fontInUnits(m_settings.FooterFont, UnitsPerInch);
    const QSizeF page = canvas.pageSize();
    m_pageWidth = int(page.width());
    m_pageHeight = int(page.height());

    const QString sample = QStringLiteral("gh");
    m_m.rowPad = textHeight(canvas, sample, m_font) / 8;
    m_m.headerHeight = textHeight(canvas, sample, m_headerFont);
    m_m.footerHeight = textHeight(canvas, sample, m_footerFont);
    m_m.letterWidth = textWidth(canvas, QStringLiteral("a"), m_font);
    m_m.spacing = m_settings.ColumnSpacing + 20;
    const TPrintPosition positions[] = {m_settings.Time, m_settings.Date, m_settings.PageNr, m_settings.Title};
    const bool anyTop = std::any_of(std::begin(positions), std::end(positions), isTopPosition);
    const bool anyBottom = std::any_of(std::begin(positions), std::end(positions), isBottomPosition);
    m_m.topReserve = m_settings.HeaderSize + (anyTop ? m_m.rowPad + m_m.headerHeight : 0);
    m_m.bottomReserve = m_settings.FooterSize + (anyBottom ? 2 : 1) * (m_m.rowPad + m_m.footerHeight);

    // Column widths: the widest caption or cell plus the width of an "a".
    m_w.assign(size_t(n), 0);
    for (int c = 0; c < n; ++c)
        m_w[size_t(c)] = textWidth(canvas, cellText(-1, c), m_font);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < n; ++c)
            m_w[size_t(c)] = std::max(m_w[size_t(c)], textWidth(canvas, cellText(r, c), m_font));
        if (!rowStep(progress, done))
            return -1;
    }
    for (int &width : m_w)
        width += m_m.letterWidth;

    if (m_settings.FitToPage != fpNever) {
        long long total = 0;
        for (const int width : m_w)
            total += width;
        // All columns empty and zero wide: nothing to scale.
        if (total > 0) {
            double f = double(m_pageWidth - m_settings.RightSize - m_settings.LeftSize - qint64(n) * m_m.spacing)
                / double(total);
            if (m_settings.FitToPage == fpGrow && f < 1)
                f = 1;
            if (m_settings.FitToPage == fpShrink && f > 1)
                f = 1;
            // More spacing than page: the columns shrink to nothing, never
            // to a negative width.
            if (f < 0)
                f = 0;
            m_scale = f;
            if (f != 1) {
                for (int &width : m_w)
                    width = int(width * f);
            }
        }
    }

    // Bands: as many columns as fit across the page.
    const int limit = m_pageWidth - m_settings.RightSize;
    int s = 0;
    while (s < n) {
        Band band;
        band.first = s;
        band.last = s - 1;
        for (int c = s; c < n; ++c) {
            const long long next = band.width + m_w[size_t(c)] + m_m.spacing;
            if (next > limit)
                break;
            band.width = next;
            band.last = c;
        }
        // A column wider than the page gets a band of its own and prints
        // clipped at the page edge.
        if (band.last < s) {
            band.last = s;
            band.width = m_w[size_t(s)] + m_m.spacing;
        }
        m_bands.push_back(band);
        s = band.last + 1;
    }

    // Row heights (the tallest cell across all columns, not just a band's)
    // and the page breaks, alike in every band.
    m_heights.reserve(size_t(rows) + 1);
    m_heights.push_back(rowTextHeight(canvas, -1));
    int d = 0;
    for (int r = -1; r < rows; ++r) {
        if (r >= 0) {
            m_heights.push_back(rowTextHeight(canvas, r));
            // The next row must start above the bottom reserve; a page
            // always takes at least one row, so a row taller than a page
            // still moves on.
            if (d + m_heights.back() > m_pageHeight - m_m.bottomReserve)
                m_pageStarts.push_back(r);
            if (!rowStep(progress, done))
                return -1;
        } else {
            m_pageStarts.push_back(r);
        }
        if (m_pageStarts.back() == r)
            d = m_m.topReserve;
        const int ch = m_heights.back();
        d += ch + ch / 8 + 2 * m_m.rowPad;
    }
    if (progress)
        progress->setDone(done);
    return pageCount();
}

void GridPageLayout::placeBand(const Band &band)
{
    const int n = m_grid.columnCount();
    m_x.assign(size_t(n) + 1, 0);
    m_x[size_t(band.first)] = m_settings.Centered ? 0 : m_settings.LeftSize;
    for (int c = band.first; c <= band.last; ++c)
        m_x[size_t(c) + 1] = m_x[size_t(c)] + m_w[size_t(c)] + m_m.spacing;
    if (m_settings.Centered && band.width < m_pageWidth) {
        const int shift = int((m_pageWidth - band.width) / 2);
        for (int c = band.first; c <= band.last + 1; ++c)
            m_x[size_t(c)] += shift;
    }
}

bool GridPageLayout::drawPaginated(PrintCanvas &canvas, ExportProgress *progress)
{
    m_pagesFinished = 0;
    if (progress) {
        progress->setTotal(pageCount());
        progress->setDone(0);
    }
    for (size_t b = 0; b < m_bands.size(); ++b) {
        if (b > 0)
            canvas.newPage();
        placeBand(m_bands[b]);
        if (!printBand(canvas, m_bands[b].first, m_bands[b].last, progress))
            return false;
    }
    if (progress)
        progress->setDone(m_pagesFinished);
    return true;
}

bool GridPageLayout::printBand(PrintCanvas &canvas, int first, int last, ExportProgress *progress)
{
    const int rows = int(m_heights.size()) - 1;
    size_t page = 0;
    int d = 0;
    for (int r = -1; r < rows; ++r) {
        if (page < m_pageStarts.size() && m_pageStarts[page] == r) {
            if (page > 0) {
                drawPageBorders(canvas, d, first, last);
                ++m_pagesFinished;
                if (progress) {
                    progress->setDone(m_pagesFinished);
                    if (progress->cancelled())
                        return false;
                }
                canvas.newPage();
            }
            d = m_m.topReserve;
            drawPageTexts(canvas);
            ++page;
        }
        d += drawRow(canvas, r, m_heights[size_t(r + 1)], d, first, last);
    }
    drawPageBorders(canvas, d, first, last);
    ++m_pagesFinished;
    return true;
}

int GridPageLayout::drawRow(PrintCanvas &canvas, int row, int ch, int d, int first, int last)
{
    const int h = ch + ch / 8;
    const int pitch = h + 2 * m_m.rowPad;
    for (int c = first; c <= last; ++c) {
        const QRectF cell(QPointF(m_x[size_t(c)], d), QPointF(m_x[size_t(c) + 1], d + pitch));
        canvas.drawTextClipped(cell, QPointF(m_x[size_t(c)] + m_m.letterWidth, d + m_m.rowPad), cellText(row, c),
                               m_font, m_settings.FontColor);
    }
    const TPrintBorders borders = m_settings.Borders;
    if (borders == pbSingle || borders == pbDouble || borders == pbHorizontal)
        canvas.drawLine(QPointF(m_x[size_t(first)], d), QPointF(m_x[size_t(last) + 1], d), lineWidth(),
                        m_settings.BorderStyle);
    return pitch;
}

void GridPageLayout::drawPageBorders(PrintCanvas &canvas, int d, int first, int last)
{
    const TPrintBorders borders = m_settings.Borders;
    const int p = m_m.rowPad / 2;
    if (borders == pbSingle || borders == pbDouble || borders == pbHorizontal)
        canvas.drawLine(QPointF(m_x[size_t(first)], d - p), QPointF(m_x[size_t(last) + 1], d - p), lineWidth(),
                        m_settings.BorderStyle);
    if (borders == pbSingle || borders == pbDouble || borders == pbVertical) {
        for (int c = first; c <= last + 1; ++c)
            canvas.drawLine(QPointF(m_x[size_t(c)], m_m.topReserve), QPointF(m_x[size_t(c)], d - p), lineWidth(),
                            m_settings.BorderStyle);
    }
}

void GridPageLayout::drawPageTexts(PrintCanvas &canvas)
{
    const std::array<QString, 6> texts = pageTexts(m_pagesFinished + 1);
    for (int slot = 0; slot < SlotCount; ++slot) {
        const QString &text = texts[size_t(slot)];
        if (text.isEmpty())
            continue;
        const bool top = slot == TopLeft || slot == TopRight || slot == TopCenter;
        const QFont &font = top ? m_headerFont : m_footerFont;
        const int d = top ? m_settings.HeaderSize
                          : m_pageHeight - m_m.footerHeight - m_m.rowPad - m_settings.FooterSize;
        const int tw = textWidth(canvas, text, font);
        int x = 0;
        if (slot == TopLeft || slot == BottomLeft)
            x = m_settings.LeftSize;
        else if (slot == TopRight || slot == BottomRight)
            x = m_pageWidth - tw - 20 - m_settings.RightSize;
        else
            x = (m_pageWidth - tw) / 2;
        canvas.drawText(QPointF(x, d), text, font, m_settings.FontColor);
    }
}

#pragma once

#include "output/printcanvas.h"

#include <functional>
#include <memory>
#include <vector>

class QPainter;

// One recorded page: what was drawn on it, in the units it was recorded in,
// and the sheet those units cover. A preview shows it scaled; printing plays
// it back at the printer's resolution.
struct PagePicture
{
    struct Item
    {
        enum Kind { Text, ClippedText, Line };
        Kind kind = Text;
        QPointF from;  // text: top-left corner; line: start
        QPointF to;    // line: end
        QRectF clip;   // clipped text: the filled and clipping rectangle
        QString text;
        QFont font;
        QColor colour;
        qreal width = 0; // line width
        TPenStyle style = psSolid;
    };

    QSizeF sheet;        // the whole sheet in recorded units
    QPointF origin;      // where the canvas's origin lies on the sheet
    qreal unitsPerInchX = 254;
    qreal unitsPerInchY = 254;
    std::vector<Item> items;

    // Draws the page in recorded units, sheet corner at (0, 0); the caller
    // sets the painter's transform.
    void play(QPainter *painter) const;
};

// Records pages instead of drawing them: the page layouts' output for the
// preview, and the geometry that tests check. Text is measured by a function
// of the owner's choice: real font metrics, or a fixed model in tests.
class RecordingCanvas : public PrintCanvas
{
public:
    using Measure = std::function<QSizeF(const QString &text, const QFont &font)>;

    // The printable area is pageSize; the sheet starts as the same size with
    // the origin at its corner. Without a measure, real font metrics.
    explicit RecordingCanvas(const QSizeF &pageSize, Measure measure = Measure());

    QSizeF pageSize() const override { return m_pageSize; }
    QSizeF textSize(const QString &text, const QFont &font) const override;
    void drawText(const QPointF &topLeft, const QString &text, const QFont &font, const QColor &colour) override;
    void drawTextClipped(const QRectF &clip, const QPointF &topLeft, const QString &text, const QFont &font,
                         const QColor &colour) override;
    void drawLine(const QPointF &from, const QPointF &to, qreal width, TPenStyle style,
                  const QColor &colour) override;
    void newPage() override;

    // Describes the sheet of the pages recorded from now on.
    void setSheet(const QSizeF &sheet, const QPointF &origin, qreal unitsPerInchX, qreal unitsPerInchY);
    void setPageSize(const QSizeF &pageSize) { m_pageSize = pageSize; }

    const std::vector<PagePicture> &pages() const { return m_pages; }
    void removeLastPage();

private:
    PagePicture &current();
    PagePicture blankPage() const;

    QSizeF m_pageSize;
    Measure m_measure;
    std::unique_ptr<TextMeasurer> m_measurer; // when no measure is given
    PagePicture m_template;
    std::vector<PagePicture> m_pages;
};

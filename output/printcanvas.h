#pragma once

#include "output/printsettings.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

class QPagedPaintDevice;
class QPainter;
class QPen;

// The drawing surface of a printed page, in units that the surface sets up
// (tenths of a millimetre for grids, device dots for the SQL text). The page
// layouts draw through it only, so a printer, a PDF file and a recording
// surface in tests all receive the same geometry.
//
// Fonts handed to a canvas carry a pixel size in the canvas's units (see
// fontInUnits()).
class PrintCanvas
{
public:
    virtual ~PrintCanvas() = default;

    // The printable area of the page.
    virtual QSizeF pageSize() const = 0;
    // Width and height of one line of text.
    virtual QSizeF textSize(const QString &text, const QFont &font) const = 0;
    // Text with its top-left corner at topLeft.
    virtual void drawText(const QPointF &topLeft, const QString &text, const QFont &font,
                          const QColor &colour = Qt::black) = 0;
    // Fills clip with white, then draws the text clipped to it.
    virtual void drawTextClipped(const QRectF &clip, const QPointF &topLeft, const QString &text,
                                 const QFont &font, const QColor &colour = Qt::black) = 0;
    virtual void drawLine(const QPointF &from, const QPointF &to, qreal width, TPenStyle style,
                          const QColor &colour = Qt::black) = 0;
    // Ends the current page and starts the next one.
    virtual void newPage() = 0;
};

// A copy of font whose pixel size is its point size in units of
// unitsPerInch, rounded to the nearest whole number (a half to the even one).
QFont fontInUnits(const QFont &font, qreal unitsPerInch);

// Round half to even, as the page measures are taken.
int roundHalfEven(qreal value);

// A black (or coloured) pen of the given width and dash style.
QPen printPen(qreal width, TPenStyle style, const QColor &colour);

// Measures text in fonts whose pixel size is in the caller's units. Page
// layouts measure thousands of texts in the same few fonts: the font is
// looked up once, not once per text, for as long as the measurer lives.
class TextMeasurer
{
public:
    TextMeasurer();
    ~TextMeasurer();
    TextMeasurer(const TextMeasurer &) = delete;
    TextMeasurer &operator=(const TextMeasurer &) = delete;

    // Width and height of one line of text.
    QSizeF size(const QString &text, const QFont &font);
    // Distance from the top of a line of text to its baseline.
    qreal ascent(const QFont &font);

private:
    const QFontMetricsF &metrics(const QFont &font);

    QFont m_font;
    std::optional<QFontMetricsF> m_metrics;
};

// Draws on a QPainter that is active on a printer or a PDF writer. The
// painter's world transform is set so that one unit is 1/unitsPerInch inch,
// with the origin at the corner of the printable area; it is set again on
// every new page.
class PainterCanvas : public PrintCanvas
{
public:
    PainterCanvas(QPainter *painter, QPagedPaintDevice *device, qreal unitsPerInch);

    QSizeF pageSize() const override;
    QSizeF textSize(const QString &text, const QFont &font) const override;
    void drawText(const QPointF &topLeft, const QString &text, const QFont &font, const QColor &colour) override;
    void drawTextClipped(const QRectF &clip, const QPointF &topLeft, const QString &text, const QFont &font,
                         const QColor &colour) override;
    void drawLine(const QPointF &from, const QPointF &to, qreal width, TPenStyle style,
                  const QColor &colour) override;
    void newPage() override;

private:
    void applyUnits();

    QPainter *m_painter;
    QPagedPaintDevice *m_device;
    mutable TextMeasurer m_measurer; // a cache: measuring changes nothing visible
    qreal m_scaleX;
    qreal m_scaleY;
};

// Measures as a PainterCanvas on the same device does, and draws nothing:
// a page layout counts its pages on it before the job begins.
class MeasuringCanvas : public PrintCanvas
{
public:
    // The printable area of device in units of unitsPerInch, as a
    // PainterCanvas sees it once the job has begun.
    MeasuringCanvas(QPagedPaintDevice *device, qreal unitsPerInch);
    explicit MeasuringCanvas(const QSizeF &pageSize)
        : m_pageSize(pageSize)
    {
    }

    QSizeF pageSize() const override { return m_pageSize; }
    QSizeF textSize(const QString &text, const QFont &font) const override { return m_measurer.size(text, font); }
    void drawText(const QPointF &, const QString &, const QFont &, const QColor &) override {}
    void drawTextClipped(const QRectF &, const QPointF &, const QString &, const QFont &, const QColor &) override {}
    void drawLine(const QPointF &, const QPointF &, qreal, TPenStyle, const QColor &) override {}
    void newPage() override {}

private:
    QSizeF m_pageSize;
    mutable TextMeasurer m_measurer;
};

// One-off measures, for callers that measure a text or two.
QSizeF measureText(const QString &text, const QFont &font);
// Line breaks and tabs print as blanks: a cell is one line on paper.
QString singleLine(const QString &text);

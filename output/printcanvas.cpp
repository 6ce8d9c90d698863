#include "output/printcanvas.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPen>

#include <cmath>
#include <stdexcept>

int roundHalfEven(qreal value)
{
    // nearbyint rounds by the current mode, which is to nearest, ties to even.
    return int(std::nearbyint(value));
}

QFont fontInUnits(const QFont &font, qreal unitsPerInch)
{
    QFont scaled(font);
    const qreal points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / 96.0;
    scaled.setPixelSize(qMax(1, roundHalfEven(points * unitsPerInch / 72.0)));
    // Linear metrics: measured widths must hold at any device resolution.
    scaled.setHintingPreference(QFont::PreferNoHinting);
    return scaled;
}

QPen printPen(qreal width, TPenStyle style, const QColor &colour)
{
    Qt::PenStyle qtStyle = Qt::SolidLine;
    switch (style) {
    case psSolid:
    case psInsideFrame:
        qtStyle = Qt::SolidLine;
        break;
    case psDash:
        qtStyle = Qt::DashLine;
        break;
    case psDot:
        qtStyle = Qt::DotLine;
        break;
    case psDashDot:
        qtStyle = Qt::DashDotLine;
        break;
    case psDashDotDot:
        qtStyle = Qt::DashDotDotLine;
        break;
    case psClear:
        qtStyle = Qt::NoPen;
        break;
    }
    QPen pen(QBrush(colour), width, qtStyle, Qt::FlatCap, Qt::MiterJoin);
    pen.setCosmetic(false);
    return pen;
}

TextMeasurer::TextMeasurer() = default;
TextMeasurer::~TextMeasurer() = default;

const QFontMetricsF &TextMeasurer::metrics(const QFont &font)
{
    if (!m_metrics || !(m_font == font)) {
        m_font = font;
        m_metrics.emplace(font);
    }
    return *m_metrics;
}

QSizeF TextMeasurer::size(const QString &text, const QFont &font)
{
    const QFontMetricsF &fontMetrics = metrics(font);
    return QSizeF(fontMetrics.horizontalAdvance(text), fontMetrics.height());
}

qreal TextMeasurer::ascent(const QFont &font)
{
    return metrics(font).ascent();
}

QSizeF measureText(const QString &text, const QFont &font)
{
    const QFontMetricsF metrics(font);
    return QSizeF(metrics.horizontalAdvance(text), metrics.height());
}

QString singleLine(const QString &text)
{
    QString line = text;
    for (QChar &ch : line) {
        if (ch == QLatin1Char('\n') || ch == QLatin1Char('\r') || ch == QLatin1Char('\t'))
            ch = QLatin1Char(' ');
    }
    return line;
}

PainterCanvas::PainterCanvas(QPainter *painter, QPagedPaintDevice *device, qreal unitsPerInch)
    : m_painter(painter)
    , m_device(device)
    , m_scaleX(device->logicalDpiX() / unitsPerInch)
    , m_scaleY(device->logicalDpiY() / unitsPerInch)
{
    applyUnits();
}

MeasuringCanvas::MeasuringCanvas(QPagedPaintDevice *device, qreal unitsPerInch)
    : m_pageSize(device->width() / (device->logicalDpiX() / unitsPerInch),
                 device->height() / (device->logicalDpiY() / unitsPerInch))
{
}

void PainterCanvas::applyUnits()
{
    m_painter->resetTransform();
    m_painter->scale(m_scaleX, m_scaleY);
    m_painter->setBackgroundMode(Qt::TransparentMode);
}

QSizeF PainterCanvas::pageSize() const
{
    // width()/height() of a paged device are the printable area in dots.
    return QSizeF(m_device->width() / m_scaleX, m_device->height() / m_scaleY);
}

QSizeF PainterCanvas::textSize(const QString &text, const QFont &font) const
{
    return m_measurer.size(text, font);
}

void PainterCanvas::drawText(const QPointF &topLeft, const QString &text, const QFont &font, const QColor &colour)
{
    m_painter->setFont(font);
    m_painter->setPen(colour);
    m_painter->drawText(QPointF(topLeft.x(), topLeft.y() + m_measurer.ascent(font)), singleLine(text));
}

void PainterCanvas::drawTextClipped(const QRectF &clip, const QPointF &topLeft, const QString &text,
                                    const QFont &font, const QColor &colour)
{
    m_painter->save();
    m_painter->fillRect(clip, Qt::white);
    m_painter->setClipRect(clip, Qt::IntersectClip);
    m_painter->setFont(font);
    m_painter->setPen(colour);
    m_painter->drawText(QPointF(topLeft.x(), topLeft.y() + m_measurer.ascent(font)), singleLine(text));
    m_painter->restore();
}

void PainterCanvas::drawLine(const QPointF &from, const QPointF &to, qreal width, TPenStyle style,
                             const QColor &colour)
{
    if (style == psClear)
        return;
    m_painter->setPen(printPen(width, style, colour));
    m_painter->drawLine(from, to);
}

void PainterCanvas::newPage()
{
    if (!m_device->newPage())
        throw std::runtime_error("The printer could not start a new page");
    applyUnits();
}

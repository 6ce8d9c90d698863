#include "output/pagepicture.h"

#include <QPainter>
#include <QPen>

void PagePicture::play(QPainter *painter) const
{
    TextMeasurer measurer;
    painter->save();
    painter->translate(origin);
    for (const Item &item : items) {
        switch (item.kind) {
        case Item::Text:
            painter->setFont(item.font);
            painter->setPen(item.colour);
            painter->drawText(QPointF(item.from.x(), item.from.y() + measurer.ascent(item.font)), singleLine(item.text));
            break;
        case Item::ClippedText:
            painter->save();
            painter->fillRect(item.clip, Qt::white);
            painter->setClipRect(item.clip, Qt::IntersectClip);
            painter->setFont(item.font);
            painter->setPen(item.colour);
            painter->drawText(QPointF(item.from.x(), item.from.y() + measurer.ascent(item.font)), singleLine(item.text));
            painter->restore();
            break;
        case Item::Line:
            if (item.style != psClear) {
                painter->setPen(printPen(item.width, item.style, item.colour));
                painter->drawLine(item.from, item.to);
            }
            break;
        }
    }
    painter->restore();
}

RecordingCanvas::RecordingCanvas(const QSizeF &pageSize, Measure measure)
    : m_pageSize(pageSize)
    , m_measure(std::move(measure))
{
    if (!m_measure)
        m_measurer = std::make_unique<TextMeasurer>();
    m_template.sheet = pageSize;
    m_pages.push_back(blankPage());
}

PagePicture RecordingCanvas::blankPage() const
{
    PagePicture page;
    page.sheet = m_template.sheet;
    page.origin = m_template.origin;
    page.unitsPerInchX = m_template.unitsPerInchX;
    page.unitsPerInchY = m_template.unitsPerInchY;
    return page;
}

void RecordingCanvas::setSheet(const QSizeF &sheet, const QPointF &origin, qreal unitsPerInchX, qreal unitsPerInchY)
{
    m_template.sheet = sheet;
    m_template.origin = origin;
    m_template.unitsPerInchX = unitsPerInchX;
    m_template.unitsPerInchY = unitsPerInchY;
    // The page being recorded takes the sheet while it is still blank.
    if (current().items.empty())
        current() = blankPage();
}

PagePicture &RecordingCanvas::current()
{
    if (m_pages.empty())
        m_pages.push_back(blankPage());
    return m_pages.back();
}

QSizeF RecordingCanvas::textSize(const QString &text, const QFont &font) const
{
    return m_measure ? m_measure(text, font) : m_measurer->size(text, font);
}

void RecordingCanvas::drawText(const QPointF &topLeft, const QString &text, const QFont &font, const QColor &colour)
{
    PagePicture::Item item;
    item.kind = PagePicture::Item::Text;
    item.from = topLeft;
    item.text = text;
    item.font = font;
    item.colour = colour;
    current().items.push_back(std::move(item));
}

void RecordingCanvas::drawTextClipped(const QRectF &clip, const QPointF &topLeft, const QString &text,
                                      const QFont &font, const QColor &colour)
{
    PagePicture::Item item;
    item.kind = PagePicture::Item::ClippedText;
    item.from = topLeft;
    item.clip = clip;
    item.text = text;
    item.font = font;
    item.colour = colour;
    current().items.push_back(std::move(item));
}

void RecordingCanvas::drawLine(const QPointF &from, const QPointF &to, qreal width, TPenStyle style,
                               const QColor &colour)
{
    PagePicture::Item item;
    item.kind = PagePicture::Item::Line;
    item.from = from;
    item.to = to;
    item.width = width;
    item.style = style;
    item.colour = colour;
    current().items.push_back(std::move(item));
}

void RecordingCanvas::newPage()
{
    m_pages.push_back(blankPage());
}

void RecordingCanvas::removeLastPage()
{
    if (!m_pages.empty())
        m_pages.pop_back();
}

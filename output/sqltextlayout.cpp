#include "output/sqltextlayout.h"

#include "output/printcanvas.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

SqlTextLayout::SqlTextLayout(const SqlPrintText &text, const SqlPrintOptions &options)
    : m_text(text)
    , m_options(options)
    , m_dateText(currentDateText())
{
    expandTabs();
}

QString SqlTextLayout::currentDateText()
{
    const QLocale locale;
    const QDateTime now = QDateTime::currentDateTime();
    return locale.toString(now.date(), QLocale::ShortFormat) + QStringLiteral(" - ")
        + locale.toString(now.time(), QLocale::LongFormat);
}

void SqlTextLayout::expandTabs()
{
    const int tab = qMax(1, m_text.tabWidth);
    m_expanded.clear();
    m_expandedColours.clear();
    m_expanded.reserve(m_text.lines.size());
    const bool coloured = !m_text.colours.empty();
    for (int i = 0; i < m_text.lines.size(); ++i) {
        const QString &source = m_text.lines.at(i);
        const std::vector<SqlColourRun> *runs =
            coloured && size_t(i) < m_text.colours.size() ? &m_text.colours[size_t(i)] : nullptr;
        QString line;
        line.reserve(source.size());
        std::vector<SqlColourRun> expandedRuns;
        size_t run = 0;
        int leftInRun = runs && !runs->empty() ? (*runs)[0].length : 0;
        for (const QChar ch : source) {
            while (runs && run < runs->size() && leftInRun <= 0) {
                ++run;
                leftInRun = run < runs->size() ? (*runs)[run].length : 0;
            }
            const QColor colour = runs && run < runs->size() ? (*runs)[run].colour : QColor(Qt::black);
            const int before = int(line.size());
            if (ch == QLatin1Char('\t'))
                line += QString(tab - before % tab, QLatin1Char(' '));
            else
                line += ch;
            const int added = int(line.size()) - before;
            if (coloured) {
                if (!expandedRuns.empty() && expandedRuns.back().colour == colour)
                    expandedRuns.back().length += added;
                else
                    expandedRuns.push_back({added, colour});
            }
            --leftInRun;
        }
        m_expanded.append(line);
        if (coloured)
            m_expandedColours.push_back(std::move(expandedRuns));
    }
}

void SqlTextLayout::layout(const PrintCanvas &canvas, const QFont &font, const QRectF &rect)
{
    m_font = font;
    m_rect = rect;
    m_h = roundHalfEven(canvas.textSize(QStringLiteral("gh"), font).height());
    m_c = canvas.textSize(QStringLiteral("0"), font).width();
    const bool header = m_options.fileName || m_options.date;
    m_textTop = rect.top() + (header ? 3 * m_h : 0);
    m_textLimit = m_options.pageNumbers ? rect.bottom() - 4 * m_h : rect.bottom();
    m_textLeft = rect.left() + (m_options.lineNumbers ? 10 * m_c : 0);
    // A font without width would give endless rows; a row holds at least
    // one character.
    m_w = m_c > 0 ? int(std::floor((rect.right() - m_textLeft) / m_c)) - 1 : 1;
    m_w = qMax(1, m_w);

    m_rows.clear();
    for (int line = 0; line < m_expanded.size(); ++line)
        wrapLine(line);

    m_pageFirstRow.clear();
    m_pageFirstRow.push_back(0);
    qreal y = m_textTop;
    int rowsOnPage = 0;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        // A row starts on this page while its top lies above the limit; a
        // page always takes at least one row, so a tiny page cannot loop.
        if (rowsOnPage > 0 && y >= m_textLimit) {
            m_pageFirstRow.push_back(int(r));
            y = m_textTop;
            rowsOnPage = 0;
        }
        y += m_h;
        ++rowsOnPage;
    }
}

void SqlTextLayout::wrapLine(int line)
{
    const QString &text = m_expanded.at(line);
    const int size = int(text.size());
    if (size == 0 || !m_options.wrap) {
        m_rows.push_back({line, 0, size, true});
        return;
    }
    const QChar blank = QLatin1Char(' ');
    int pos = 0;
    bool first = true;
    while (pos < size) {
        if (size - pos <= m_w) {
            m_rows.push_back({line, pos, size - pos, first});
            return;
        }
        int firstText = pos;
        while (firstText < size && text.at(firstText) == blank)
            ++firstText;
        // Cut after the last blank within reach that follows some text.
        int cut = -1;
        for (int i = pos + m_w; i > firstText; --i) {
            if (text.at(i) == blank) {
                cut = i;
                break;
            }
        }
        int next = pos + m_w;
        if (cut >= 0) {
            next = cut;
            while (next < size && text.at(next) == blank)
                ++next;
        }
        m_rows.push_back({line, pos, next - pos, first});
        first = false;
        pos = next;
    }
}

std::vector<SqlTextLayout::Row> SqlTextLayout::rowsOfPage(int page) const
{
    if (page < 1 || page > pageCount())
        return {};
    const size_t first = size_t(m_pageFirstRow[size_t(page - 1)]);
    const size_t end = size_t(page) < m_pageFirstRow.size() ? size_t(m_pageFirstRow[size_t(page)]) : m_rows.size();
    return std::vector<Row>(m_rows.begin() + qsizetype(first), m_rows.begin() + qsizetype(end));
}

void SqlTextLayout::drawRow(PrintCanvas &canvas, const Row &row, qreal y) const
{
    const qreal left = m_rect.left();
    if (m_options.lineNumbers && row.numbered)
        canvas.drawText(QPointF(left, y), QString::asprintf("%6d:", row.line + 1), m_font);
    const QString &text = m_expanded.at(row.line);
    const QRectF clip(QPointF(m_textLeft, y), QPointF(m_rect.right(), y + m_h));
    auto put = [&](int start, int length, const QColor &colour) {
        const QString piece = text.mid(start, length);
        if (piece.trimmed().isEmpty())
            return;
        const QPointF at(m_textLeft + (start - row.start) * m_c, y);
        if (m_options.wrap)
            canvas.drawText(at, piece, m_font, colour);
        else
            canvas.drawTextClipped(clip, at, piece, m_font, colour);
    };
    if (m_options.mono || m_expandedColours.empty() || size_t(row.line) >= m_expandedColours.size()) {
        put(row.start, row.length, Qt::black);
        return;
    }
    // Each colour run of the row is drawn at its character column.
    int runStart = 0;
    const int rowEnd = row.start + row.length;
    for (const SqlColourRun &run : m_expandedColours[size_t(row.line)]) {
        const int runEnd = runStart + run.length;
        const int from = qMax(runStart, row.start);
        const int to = qMin(runEnd, rowEnd);
        if (from < to)
            put(from, to - from, run.colour);
        runStart = runEnd;
        if (runStart >= rowEnd)
            break;
    }
    if (runStart < rowEnd)
        put(qMax(runStart, row.start), rowEnd - qMax(runStart, row.start), Qt::black);
}

void SqlTextLayout::drawPage(PrintCanvas &canvas, int page) const
{
    const qreal left = m_rect.left();
    const qreal right = m_rect.right();
    const qreal top = m_rect.top();
    const qreal bottom = m_rect.bottom();
    const qreal rule = qMax(1, m_h / 16);
    if (m_options.fileName || m_options.date) {
        qreal titleRight = right;
        if (m_options.date) {
            const qreal width = canvas.textSize(m_dateText, m_font).width();
            canvas.drawText(QPointF(right - width, top), m_dateText, m_font);
            titleRight = right - width - m_c;
        }
        if (m_options.fileName && !m_text.title.isEmpty()) {
            // The title gives way to the date where both would meet.
            const QRectF clip(QPointF(left, top), QPointF(qMax(left, titleRight), top + m_h));
            canvas.drawTextClipped(clip, QPointF(left, top), m_text.title, m_font, Qt::black);
        }
        canvas.drawLine(QPointF(left, top + 2 * m_h), QPointF(right, top + 2 * m_h), rule, psSolid);
    }
    if (m_options.pageNumbers) {
        const QString number = QStringLiteral("- %1 -").arg(page);
        const qreal width = canvas.textSize(number, m_font).width();
        canvas.drawText(QPointF(left + (right - left - width) / 2, bottom - (5 * m_h) / 2), number, m_font);
        canvas.drawLine(QPointF(left, bottom - 3 * m_h), QPointF(right, bottom - 3 * m_h), rule, psSolid);
    }
    qreal y = m_textTop;
    for (const Row &row : rowsOfPage(page)) {
        drawRow(canvas, row, y);
        y += m_h;
    }
}

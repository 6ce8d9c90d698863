#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <vector>

class PrintCanvas;

// A run of characters of one colour within a line of the SQL text.
struct SqlColourRun
{
    int length = 0;
    QColor colour;
};

// What is printed of the SQL editor: a snapshot of its text, taken once, so
// that nothing can change between pages.
struct SqlPrintText
{
    QString title;     // the file last loaded or saved, empty before that
    QStringList lines; // without line ends; a final line break adds no line
    // Optional syntax colours: per line, runs covering its characters.
    std::vector<std::vector<SqlColourRun>> colours;
    int tabWidth = 8;
};

// The page parts of the SQL text, all on in this program.
struct SqlPrintOptions
{
    bool wrap = true;        // long lines continue on the next row
    bool lineNumbers = true; // "%6d:" before the first row of each line
    bool fileName = true;    // the title in the header
    bool date = true;        // date and time in the header
    bool pageNumbers = true; // "- n -" in the footer
    bool mono = false;       // black on white instead of the syntax colours
};

// Lays the SQL text out on pages: header with title, date and rule, rows of
// text with line numbers and word wrapping, footer with rule and page number.
// Lengths are in the canvas's units (device dots of the target).
class SqlTextLayout
{
public:
    struct Row
    {
        int line = 0;   // from 0
        int start = 0;  // in the line with tabs expanded
        int length = 0;
        bool numbered = false; // the line's first row
    };

    SqlTextLayout(const SqlPrintText &text, const SqlPrintOptions &options);

    // Measures font on the canvas (line height h, character width c) and
    // breaks the text into rows and pages that fit rect.
    void layout(const PrintCanvas &canvas, const QFont &font, const QRectF &rect);

    int pageCount() const { return int(m_pageFirstRow.size()); }
    // Rows of page (from 1).
    std::vector<Row> rowsOfPage(int page) const;
    // Draws page (from 1) onto the canvas.
    void drawPage(PrintCanvas &canvas, int page) const;

    // The header's date text: the short date, " - " and the long time.
    void setDateText(const QString &text) { m_dateText = text; }
    static QString currentDateText();

    // Characters a row holds, and a line with its tabs expanded.
    int charsPerRow() const { return m_w; }
    QString expandedLine(int line) const { return m_expanded.at(line); }

private:
    void expandTabs();
    void wrapLine(int line);
    void drawRow(PrintCanvas &canvas, const Row &row, qreal y) const;

    SqlPrintText m_text;
    SqlPrintOptions m_options;
    QStringList m_expanded;
    std::vector<std::vector<SqlColourRun>> m_expandedColours;
    QFont m_font;
    QRectF m_rect;
    QString m_dateText;
    int m_h = 0;
    qreal m_c = 0;
    int m_w = 1;
    qreal m_textLeft = 0;
    qreal m_textTop = 0;
    qreal m_textLimit = 0;
    std::vector<Row> m_rows;
    std::vector<int> m_pageFirstRow; // first row of each page; the end is m_rows.size()
};

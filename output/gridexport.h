#pragma once

// Writers that save one grid to a file: spreadsheet, comma-separated text,
// word-processor document, space-aligned text and an HTML table. They read a
// snapshot of the grid, so they may run on another thread while the grid is
// refilled. A file is created next to its target and takes the target's name
// only when it is complete: a failed or cancelled export leaves an existing
// file as it was.

#include "data/gridmodel.h"

#include <QRgb>
#include <QString>

#include <atomic>
#include <vector>

// The formats, numbered as the save dialog's filters are.
enum class ExportFormat { Xls = 1, Csv = 2, Doc = 3, Ascii = 4, Html = 5 };

// The HTML table settings of one grid.
struct THTMLSettings
{
    int BorderSize = 1;
    int CellSpacing = 0;
    int Width = 100;  // percent
    bool SaveColor = true;
    QString PrefixTag;  // a line before the table when not empty
    QString SuffixTag;  // a line after the table when not empty
    QString HeaderFile; // lines copied to the start of the output
    QString FooterFile; // lines copied to the end of the output
    // The header cells' background: the colour of an active window's border.
    QRgb HeaderColor = qRgb(0xB4, 0xB4, 0xB4);
};

// Shared by a running export and whoever watches it, possibly from another
// thread: how far it is, and a request to stop.
class ExportProgress
{
public:
    void cancel() { m_cancelled.store(true); }
    bool cancelled() const { return m_cancelled.load(); }
    // Steps done and to do (rows, once per pass over them).
    qint64 done() const { return m_done.load(); }
    qint64 total() const { return m_total.load(); }

    void setTotal(qint64 steps) { m_total.store(steps); }
    void setDone(qint64 steps) { m_done.store(steps); }

private:
    std::atomic<bool> m_cancelled{false};
    std::atomic<qint64> m_done{0};
    std::atomic<qint64> m_total{0};
};

// What the user chose in the save dialog beyond name and format. The
// defaults write what the program has always written.
struct ExportOptions
{
    enum Delimiter : char { Comma = ',', Semicolon = ';', Tab = '\t' };

    bool header = false;               // the captions as the first line (csv, asc, xls, doc)
    char delimiter = Comma;            // comma-separated text only
    QString nullText;                  // written in place of NULL cells
    bool byteOrderMark = false;        // UTF-8 text files start with EF BB BF (csv, asc, htm)
    bool selectedOnly = false;         // only `rows` are written
    std::vector<int> rows;             // display rows of the grid, in order
    bool openAfterSaving = false;      // the window opens the file when it is written
};

// The rows a writer reads: the grid's, or the chosen ones, with the captions
// as a first row when asked for and NULL cells holding the chosen text.
class ExportRows
{
public:
    ExportRows(const GridSnapshot &grid, const ExportOptions &options = ExportOptions(), bool captionRow = false);

    // True when there is nothing to write: no columns or no data rows.
    bool isEmpty() const { return columnCount() == 0 || m_dataRows == 0; }
    int rowCount() const { return m_dataRows + (m_captionRow ? 1 : 0); }
    int columnCount() const { return m_grid.columnCount(); }
    QString columnCaption(int column) const { return m_grid.columnCaption(column); }
    int cellCount(int row) const;
    QByteArrayView cell(int row, int column) const;

private:
    int gridRow(int row) const;

    GridSnapshot m_grid;
    std::vector<int> m_rows;
    bool m_selected = false;
    int m_dataRows = 0;
    bool m_captionRow = false;
    std::vector<QByteArray> m_captions;
    QByteArray m_nullText;
};

struct ExportResult
{
    enum Status {
        Written,
        NothingWritten, // an empty grid that the format leaves without a file
        Cancelled,      // no file, an existing one unchanged
        Failed,         // error holds the message
    };
    Status status = Written;
    QString error;

    bool failed() const { return status == Failed; }
};

ExportResult ExportXls(const GridSnapshot &grid, const QString &fileName, ExportProgress *progress = nullptr,
                        const ExportOptions &options = ExportOptions());
ExportResult ExportCsv(const GridSnapshot &grid, const QString &fileName, ExportProgress *progress = nullptr,
                        const ExportOptions &options = ExportOptions());
ExportResult ExportDoc(const GridSnapshot &grid, const QString &fileName, ExportProgress *progress = nullptr,
                        const ExportOptions &options = ExportOptions());
ExportResult ExportAscii(const GridSnapshot &grid, const QString &fileName, ExportProgress *progress = nullptr,
                        const ExportOptions &options = ExportOptions());
ExportResult ExportHtml(const GridSnapshot &grid, const QString &fileName, const THTMLSettings &settings,
                        ExportProgress *progress = nullptr, const ExportOptions &options = ExportOptions());

// The writer of a format.
ExportResult ExportGrid(ExportFormat format, const GridSnapshot &grid, const QString &fileName,
                        const THTMLSettings &settings = THTMLSettings(), ExportProgress *progress = nullptr,
                        const ExportOptions &options = ExportOptions());

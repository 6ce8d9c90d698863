#include "output/gridexport.h"

#include "output/exportfile.h"

ExportRows::ExportRows(const GridSnapshot &grid, const ExportOptions &options, bool captionRow)
    : m_grid(grid)
    , m_selected(options.selectedOnly)
    , m_captionRow(captionRow)
    , m_nullText(options.nullText.toUtf8())
{
    if (m_selected) {
        // Rows the grid no longer has are left out.
        for (const int row : options.rows) {
            if (row >= 0 && row < grid.rowCount())
                m_rows.push_back(row);
        }
    }
    m_dataRows = m_selected ? int(m_rows.size()) : grid.rowCount();
    if (m_captionRow) {
        for (int c = 0; c < grid.columnCount(); ++c)
            m_captions.push_back(grid.columnCaption(c).toUtf8());
    }
}

int ExportRows::gridRow(int row) const
{
    if (m_captionRow)
        --row;
    return m_selected && row >= 0 ? m_rows[size_t(row)] : row;
}

int ExportRows::cellCount(int row) const
{
    if (m_captionRow && row == 0)
        return columnCount();
    return m_grid.cellCount(gridRow(row));
}

QByteArrayView ExportRows::cell(int row, int column) const
{
    if (m_captionRow && row == 0)
        return column >= 0 && column < int(m_captions.size()) ? QByteArrayView(m_captions[size_t(column)])
                                                              : QByteArrayView();
    const int stored = gridRow(row);
    if (!m_nullText.isEmpty() && column < m_grid.cellCount(stored) && m_grid.isNull(stored, column))
        return m_nullText;
    return m_grid.cell(stored, column);
}

ExportResult ExportGrid(ExportFormat format, const GridSnapshot &grid, const QString &fileName,
                        const THTMLSettings &settings, ExportProgress *progress, const ExportOptions &options)
{
    switch (format) {
    case ExportFormat::Xls:
        return ExportXls(grid, fileName, progress, options);
    case ExportFormat::Csv:
        return ExportCsv(grid, fileName, progress, options);
    case ExportFormat::Doc:
        return ExportDoc(grid, fileName, progress, options);
    case ExportFormat::Ascii:
        return ExportAscii(grid, fileName, progress, options);
    case ExportFormat::Html:
        return ExportHtml(grid, fileName, settings, progress, options);
    }
    return ExportFailed(QStringLiteral("Unknown export format"));
}

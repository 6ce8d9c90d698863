#include "output/gridexport.h"

#include "output/exportfile.h"

ExportResult ExportGrid(ExportFormat format, const GridSnapshot &grid, const QString &fileName,
                        const THTMLSettings &settings, ExportProgress *progress)
{
    switch (format) {
    case ExportFormat::Xls:
        return ExportXls(grid, fileName, progress);
    case ExportFormat::Csv:
        return ExportCsv(grid, fileName, progress);
    case ExportFormat::Doc:
        return ExportDoc(grid, fileName, progress);
    case ExportFormat::Ascii:
        return ExportAscii(grid, fileName, progress);
    case ExportFormat::Html:
        return ExportHtml(grid, fileName, settings, progress);
    }
    return ExportFailed(QStringLiteral("Unknown export format"));
}

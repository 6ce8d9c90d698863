// Comma-separated text and plain text in space-padded columns. Lines end in
// CR LF; cells go out as their UTF-8. A caption line and a byte-order mark
// only when asked for.

#include "output/exportfile.h"
#include "output/gridexport.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Fields holding the separator, a quote or a line break are quoted, quotes
// doubled, so that every file reads back into the same cells; all others are
// written as they stand.
void writeCsvField(ExportFile &file, QByteArrayView cell, char delimiter)
{
    const char *data = cell.data();
    const qsizetype size = cell.size();
    bool special = false;
    for (qsizetype i = 0; i < size && !special; ++i) {
        const char c = data[i];
        special = c == delimiter || c == '"' || c == '\r' || c == '\n';
    }
    if (!special) {
        file.write(cell);
        return;
    }
    file.write('"');
    qsizetype start = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (data[i] == '"') {
            file.write(cell.sliced(start, i + 1 - start));
            file.write('"');
            start = i + 1;
        }
    }
    file.write(cell.sliced(start));
    file.write('"');
}

// The cell of column c as the fixed-column text sees it: missing cells of a
// short row are empty.
QByteArrayView columnCell(const ExportRows &grid, int row, int column, int cells)
{
    return column < cells ? grid.cell(row, column) : QByteArrayView();
}

struct Continuation
{
    std::string text;
    qsizetype characters = 0;
};

} // namespace

ExportResult ExportCsv(const GridSnapshot &snapshot, const QString &fileName, ExportProgress *progress,
                       const ExportOptions &options)
{
    const ExportRows grid(snapshot, options, options.header);
    const int columns = grid.columnCount();
    const int rows = grid.rowCount();
    if (grid.isEmpty())
        return {ExportResult::NothingWritten, {}};
    ExportFile file(fileName);
    if (!file.open())
        return ExportFailed(CreateFileError(fileName, file.reason()));
    if (options.byteOrderMark)
        file.write(QByteArrayView(ByteOrderMark));
    const char delimiter = options.delimiter;
    ExportSteps steps(progress, rows);
    for (int row = 0; row < rows; ++row) {
        // The caption, then every further cell the row holds up to one per
        // column: a row with one cell more than the columns ends in it.
        const int cells = grid.cellCount(row);
        writeCsvField(file, grid.cell(row, 0), delimiter);
        const int last = std::min(cells, columns + 1);
        for (int cell = 1; cell < last; ++cell) {
            file.write(delimiter);
            writeCsvField(file, grid.cell(row, cell), delimiter);
        }
        file.endLine();
        if (!steps.step())
            return {ExportResult::Cancelled, {}};
    }
    return FinishExport(file, steps);
}

ExportResult ExportAscii(const GridSnapshot &snapshot, const QString &fileName, ExportProgress *progress,
                         const ExportOptions &options)
{
    const ExportRows grid(snapshot, options, options.header);
    const int columns = grid.columnCount();
    const int rows = grid.rowCount();
    ExportFile file(fileName);
    if (!file.open())
        return ExportFailed(CreateFileError(fileName, file.reason()));
    if (options.byteOrderMark)
        file.write(QByteArrayView(ByteOrderMark));
    ExportSteps steps(progress, qint64(rows) * 2);

    // Each column as wide as its longest cell, a multi-line cell counted
    // whole with its line breaks; the captions do not count.
    std::vector<qsizetype> widths(size_t(columns), 0);
    for (int row = 0; row < rows; ++row) {
        const int cells = grid.cellCount(row);
        for (int c = 0; c < std::min(columns, cells); ++c)
            widths[size_t(c)] = std::max(widths[size_t(c)], CharacterCount(grid.cell(row, c)));
        if (!steps.step())
            return {ExportResult::Cancelled, {}};
    }
    std::vector<qsizetype> offsets(size_t(columns), 0);
    for (int c = 1; c < columns; ++c)
        offsets[size_t(c)] = offsets[size_t(c - 1)] + widths[size_t(c - 1)] + 1;

    std::vector<Continuation> continuations;
    for (int row = 0; row < rows; ++row) {
        const int cells = grid.cellCount(row);
        size_t used = 0;
        for (int c = 0; c < columns; ++c) {
            QByteArrayView text = columnCell(grid, row, c, cells);
            // Only the pair CR LF splits a cell: its further lines go to the
            // continuation lines, each starting at the column's offset.
            const qsizetype split = text.indexOf(QByteArrayView("\r\n", 2));
            if (split >= 0) {
                QByteArrayView rest = text.sliced(split + 2);
                text = text.first(split);
                for (size_t line = 0;; ++line) {
                    const qsizetype end = rest.indexOf(QByteArrayView("\r\n", 2));
                    const QByteArrayView part = end >= 0 ? rest.first(end) : rest;
                    if (line >= continuations.size())
                        continuations.emplace_back();
                    if (line >= used) {
                        continuations[line].text.clear();
                        continuations[line].characters = 0;
                        used = line + 1;
                    }
                    Continuation &target = continuations[line];
                    if (target.characters < offsets[size_t(c)]) {
                        target.text.append(size_t(offsets[size_t(c)] - target.characters), ' ');
                        target.characters = offsets[size_t(c)];
                    }
                    target.text.append(part.data(), size_t(part.size()));
                    target.characters += CharacterCount(part);
                    if (end < 0)
                        break;
                    rest = rest.sliced(end + 2);
                }
            }
            file.write(text);
            file.writeBlanks(widths[size_t(c)] - CharacterCount(text) + 1);
        }
        file.endLine();
        for (size_t line = 0; line < used; ++line) {
            file.write(QByteArrayView(continuations[line].text.data(), qsizetype(continuations[line].text.size())));
            file.endLine();
        }
        if (!steps.step())
            return {ExportResult::Cancelled, {}};
    }
    return FinishExport(file, steps);
}

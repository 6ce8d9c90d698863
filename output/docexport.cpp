// The word-processor document: one table of rows x columns, no caption row,
// written as RTF (which word processors open under any name and which is
// written row by row, with no limit on the grid's size).

#include "output/exportfile.h"
#include "output/gridexport.h"

#include <QByteArray>

#include <algorithm>
#include <cstdio>

namespace {

// A4 with 2 cm margins; the table spans the text width in equal columns.
constexpr int PageWidth = 11906;
constexpr int PageHeight = 16838;
constexpr int Margin = 1134;
constexpr int TextWidth = PageWidth - 2 * Margin;

void writeUnicode(ExportFile &file, char32_t code)
{
    char buffer[24];
    auto unit = [&](char16_t u) {
        // \uN takes a signed 16-bit number; '?' stands in for readers
        // without Unicode.
        const int n = std::snprintf(buffer, sizeof buffer, "\\u%d?", int(qint16(u)));
        file.write(QByteArrayView(buffer, n));
    };
    if (code > 0xffff) {
        code -= 0x10000;
        unit(char16_t(0xd800 + (code >> 10)));
        unit(char16_t(0xdc00 + (code & 0x3ff)));
    } else {
        unit(char16_t(code));
    }
}

// UTF-8 cell text as RTF text: the three special characters escaped, line
// breaks as line breaks within the cell, everything beyond ASCII by number.
void writeText(ExportFile &file, QByteArrayView text)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        const unsigned char c = bytes[i];
        if (c >= 0x20 && c < 0x80) {
            if (c == '\\' || c == '{' || c == '}')
                file.write('\\');
            file.write(char(c));
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            // CR LF, a lone CR and a lone LF each break the line once.
            i += (c == '\r' && i + 1 < size && bytes[i + 1] == '\n') ? 2 : 1;
            file.write(QByteArrayView("\\line "));
            continue;
        }
        if (c == '\t') {
            file.write(QByteArrayView("\\tab "));
            ++i;
            continue;
        }
        if (c < 0x20) {
            char buffer[8];
            const int n = std::snprintf(buffer, sizeof buffer, "\\'%02x", c);
            file.write(QByteArrayView(buffer, n));
            ++i;
            continue;
        }
        // A UTF-8 sequence; a broken one stands for U+FFFD.
        int length = c >= 0xf0 && c < 0xf5 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
        if (c >= 0xf5)
            length = 0;
        char32_t code = length == 4 ? (c & 0x07) : length == 3 ? (c & 0x0f) : (c & 0x1f);
        bool valid = length > 0 && i + length <= size;
        for (int k = 1; valid && k < length; ++k) {
            valid = (bytes[i + k] & 0xc0) == 0x80;
            code = (code << 6) | (bytes[i + k] & 0x3f);
        }
        if (valid) {
            valid = !(length == 3 && (code < 0x800 || (code >= 0xd800 && code < 0xe000)))
                && !(length == 4 && (code < 0x10000 || code > 0x10ffff));
        }
        if (!valid) {
            writeUnicode(file, 0xfffd);
            ++i;
            continue;
        }
        writeUnicode(file, code);
        i += length;
    }
}

} // namespace

ExportResult ExportDoc(const GridSnapshot &grid, const QString &fileName, ExportProgress *progress)
{
    const int columns = grid.columnCount();
    const int rows = grid.rowCount();
    // An empty grid gives no empty document to be taken for a saved one.
    if (columns == 0 || rows == 0)
        return {ExportResult::NothingWritten, {}};
    ExportFile file(fileName);
    if (!file.open())
        return ExportFailed(CreateFileError(fileName, file.reason()));
    ExportSteps steps(progress, rows);
    file.write(QByteArrayView("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1"
                              "{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}"));
    file.endLine();
    file.write(QByteArray("\\paperw" + QByteArray::number(PageWidth) + "\\paperh" + QByteArray::number(PageHeight)
                          + "\\margl" + QByteArray::number(Margin) + "\\margr" + QByteArray::number(Margin)
                          + "\\margt" + QByteArray::number(Margin) + "\\margb" + QByteArray::number(Margin)));
    file.endLine();

    if (columns > 0 && rows > 0) {
        // The row definition is the same for every row.
        QByteArray definition("\\trowd\\trgaph70\\trleft0");
        const int width = std::max(TextWidth / columns, 1);
        for (int c = 0; c < columns; ++c) {
            definition += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10"
                          "\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10\\cellx";
            definition += QByteArray::number(c == columns - 1 ? std::max(TextWidth, columns) : (c + 1) * width);
        }
        for (int row = 0; row < rows; ++row) {
            file.write(definition);
            file.endLine();
            file.write(QByteArrayView("\\pard\\plain\\intbl\\f0\\fs20 "));
            const int cells = grid.cellCount(row);
            for (int c = 0; c < columns; ++c) {
                if (c < cells)
                    writeText(file, grid.cell(row, c));
                file.write(QByteArrayView("\\cell "));
            }
            file.write(QByteArrayView("\\row"));
            file.endLine();
            if (!steps.step())
                return {ExportResult::Cancelled, {}};
        }
    }
    // A document ends in a paragraph of its own after the table.
    file.write(QByteArrayView("\\pard\\plain\\f0\\fs20\\par}"));
    file.endLine();
    return FinishExport(file, steps);
}

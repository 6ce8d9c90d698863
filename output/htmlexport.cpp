// The HTML table: a table fragment, lines ending in CR LF, between the lines
// of the optional header and footer files.

#include "output/exportfile.h"
#include "output/gridexport.h"
#include "output/richtext.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace {

// Cell texts and captions are data, never markup.
void writeEscaped(ExportFile &file, QByteArrayView text)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char *entity = nullptr;
        switch (text.at(i)) {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '"':
            entity = "&quot;";
            break;
        case '\'':
            entity = "&#39;";
            break;
        default:
            continue;
        }
        file.write(text.sliced(start, i - start));
        file.write(QByteArrayView(entity));
        start = i + 1;
    }
    file.write(text.sliced(start));
}

// A cell as text: rich text becomes its plain text.
void writeCell(ExportFile &file, QByteArrayView cell, const char *empty)
{
    file.write(QByteArrayView("<td nowrap>"));
    if (cell.startsWith(QByteArrayView("{\\rtf"))) {
        const QByteArray plain = RichTextToPlain(QString::fromUtf8(cell)).toUtf8();
        cell = plain;
        if (cell.isEmpty())
            file.write(QByteArrayView(empty));
        else
            writeEscaped(file, cell);
    } else if (cell.isEmpty()) {
        file.write(QByteArrayView(empty));
    } else {
        writeEscaped(file, cell);
    }
    file.write(QByteArrayView("</td>"));
    file.endLine();
}

// Copies the lines of a header or footer file, each ending in CR LF; a file
// that cannot be read is skipped.
void copyLines(ExportFile &file, const QString &name)
{
    if (name.isEmpty())
        return;
    QFile source(name);
    if (!source.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = source.readAll();
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        if (end > start && bytes.at(end - 1) == '\r')
            --end;
        file.write(QByteArrayView(bytes).sliced(start, end - start));
        file.endLine();
        start = next;
    }
}

void writeLine(ExportFile &file, const QString &text)
{
    file.write(text.toUtf8());
    file.endLine();
}

} // namespace

ExportResult ExportHtml(const GridSnapshot &grid, const QString &fileName, const THTMLSettings &settings,
                        ExportProgress *progress)
{
    const int columns = grid.columnCount();
    const int rows = grid.rowCount();
    if (columns == 0 || rows == 0)
        return {ExportResult::NothingWritten, {}};
    ExportFile file(fileName);
    if (!file.open()) {
        return ExportFailed(QStringLiteral("File ") + QDir::toNativeSeparators(fileName)
                            + QStringLiteral(" not found: ") + file.reason());
    }
    ExportSteps steps(progress, rows);
    copyLines(file, settings.HeaderFile);
    if (!settings.PrefixTag.isEmpty())
        writeLine(file, settings.PrefixTag);
    writeLine(file, QStringLiteral("<table border=\"%1\" cellspacing=\"%2\" width=\"%3%\">")
                        .arg(settings.BorderSize)
                        .arg(settings.CellSpacing)
                        .arg(settings.Width));
    writeLine(file, QStringLiteral("<tr>"));
    const QByteArray colour =
        settings.SaveColor ? QByteArray(" BGCOLOR=\"#")
                + QByteArray::number(settings.HeaderColor & 0xffffff, 16).rightJustified(6, '0').toUpper()
                + QByteArray("\"")
                           : QByteArray();
    for (int c = 0; c < columns; ++c) {
        file.write(QByteArrayView("<td nowrap"));
        file.write(colour);
        file.write(QByteArrayView("><B>"));
        const QByteArray caption = grid.columnCaption(c).toUtf8();
        if (caption.isEmpty())
            file.write(QByteArrayView("<BR>"));
        else
            writeEscaped(file, caption);
        file.write(QByteArrayView("</B></td>"));
        file.endLine();
    }
    writeLine(file, QStringLiteral("</tr>"));
    for (int row = 0; row < rows; ++row) {
        file.write(QByteArrayView("<tr>"));
        file.endLine();
        const int cells = grid.cellCount(row);
        writeCell(file, grid.cell(row, 0), "<br>");
        // Further cells only when the row has one: then one per column,
        // empty where the row is short.
        if (cells > 1) {
            for (int c = 1; c < columns; ++c)
                writeCell(file, c < cells ? grid.cell(row, c) : QByteArrayView(), "<BR>");
        }
        file.write(QByteArrayView("</tr>"));
        file.endLine();
        if (!steps.step())
            return {ExportResult::Cancelled, {}};
    }
    writeLine(file, QStringLiteral("</table><p>"));
    if (!settings.SuffixTag.isEmpty())
        writeLine(file, settings.SuffixTag);
    copyLines(file, settings.FooterFile);
    return FinishExport(file, steps);
}

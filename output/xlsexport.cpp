// The spreadsheet: every cell as text from A1 on, one sheet, no caption row.

#include "output/exportfile.h"
#include "output/gridexport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int SheetRows = 1048576;
constexpr int SheetColumns = 16384;
constexpr qsizetype CellCharacters = 32767;

struct WorkbookCloser
{
    void operator()(lxw_workbook *workbook) const { lxw_workbook_free(workbook); }
};

// The text as the sheet's XML may hold it: valid UTF-8 without the control
// characters that XML forbids or (CR) reads as something else; they are
// written the way spreadsheets escape them, _xHHHH_, and a literal text of
// that form is escaped so that it is not read as one. nullptr: the cell may
// go as it is.
bool isEscapeLike(QByteArrayView text, qsizetype at)
{
    if (at + 7 > text.size() || text.at(at) != '_' || text.at(at + 1) != 'x' || text.at(at + 6) != '_')
        return false;
    for (qsizetype k = at + 2; k < at + 6; ++k) {
        if (!std::isxdigit(quint8(text.at(k))))
            return false;
    }
    return true;
}

const char *sheetText(QByteArrayView cell, std::string *buffer)
{
    bool plain = true;
    for (qsizetype i = 0; i < cell.size() && plain; ++i) {
        const auto c = quint8(cell.at(i));
        plain = c >= 0x20 ? c < 0x80 && !isEscapeLike(cell, i) : c == '\t' || c == '\n';
    }
    if (plain)
        return nullptr;
    QByteArray valid;
    QByteArrayView text = cell;
    if (!plain && !cell.isValidUtf8()) {
        valid = QString::fromUtf8(cell).toUtf8(); // broken sequences become U+FFFD
        text = valid;
    }
    buffer->clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = quint8(text.at(i));
        if (c < 0x20 && c != '\t' && c != '\n') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "_x%04X_", unsigned(c));
            buffer->append(escaped);
        } else if (isEscapeLike(text, i)) {
            buffer->append("_x005F_");
        } else {
            buffer->push_back(char(c));
        }
    }
    return buffer->c_str();
}

QString columnLetters(int column)
{
    QString letters;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters;
}

} // namespace

ExportResult ExportXls(const GridSnapshot &grid, const QString &fileName, ExportProgress *progress)
{
    const int columns = grid.columnCount();
    const int rows = grid.rowCount();
    // An empty grid gives no empty document to be taken for a saved one.
    if (columns == 0 || rows == 0)
        return {ExportResult::NothingWritten, {}};
    if (rows > SheetRows) {
        return ExportFailed(QStringLiteral("The grid has %1 rows; a spreadsheet holds at most %2")
                                .arg(rows)
                                .arg(SheetRows));
    }
    if (columns > SheetColumns) {
        return ExportFailed(QStringLiteral("The grid has %1 columns; a spreadsheet holds at most %2")
                                .arg(columns)
                                .arg(SheetColumns));
    }
    // The target first, so that a folder that cannot be written is told
    // before any work is done.
    ExportFile file(fileName);
    if (!file.open())
        return ExportFailed(CreateFileError(fileName, file.reason()));

    // The library writes to a file name of its own choosing; it then goes
    // into the target whole.
    QTemporaryFile workbookFile(QDir::tempPath() + QStringLiteral("/quarnel-export-XXXXXX.xlsx"));
    if (!workbookFile.open())
        return ExportFailed(CreateFileError(workbookFile.fileTemplate(), workbookFile.errorString()));
    workbookFile.close();
    const QByteArray workbookPath = QFile::encodeName(workbookFile.fileName());
    const QByteArray tempDir = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE; // rows go to disk as they are written
    options.tmpdir = const_cast<char *>(tempDir.constData());
    std::unique_ptr<lxw_workbook, WorkbookCloser> workbook(workbook_new_opt(workbookPath.constData(), &options));
    lxw_worksheet *sheet = workbook ? workbook_add_worksheet(workbook.get(), nullptr) : nullptr;
    if (!sheet)
        return ExportFailed(QStringLiteral("Cannot start the spreadsheet"));

    ExportSteps steps(progress, rows);
    std::string buffer;
    for (int row = 0; row < rows; ++row) {
        const int cells = std::min(grid.cellCount(row), columns);
        for (int c = 0; c < cells; ++c) {
            const QByteArrayView cell = grid.cell(row, c);
            if (cell.isEmpty())
                continue; // an empty text leaves the cell empty
            if (cell.size() > CellCharacters && CharacterCount(cell) > CellCharacters) {
                return ExportFailed(QStringLiteral("Cell %1%2 holds more than %3 characters, more than a "
                                                   "spreadsheet cell can hold")
                                        .arg(columnLetters(c))
                                        .arg(row + 1)
                                        .arg(CellCharacters));
            }
            const char *text = sheetText(cell, &buffer);
            if (!text) {
                buffer.assign(cell.data(), size_t(cell.size()));
                text = buffer.c_str();
            }
            const lxw_error error = worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(c), text, nullptr);
            if (error != LXW_NO_ERROR)
                return ExportFailed(QString::fromUtf8(lxw_strerror(error)));
        }
        if (!steps.step())
            return {ExportResult::Cancelled, {}};
    }
    if (steps.cancelled())
        return {ExportResult::Cancelled, {}};
    const lxw_error closed = workbook_close(workbook.release());
    if (closed != LXW_NO_ERROR)
        return ExportFailed(WriteFileError(fileName, QString::fromUtf8(lxw_strerror(closed))));

    QFile written(workbookFile.fileName());
    if (!written.open(QIODevice::ReadOnly))
        return ExportFailed(WriteFileError(fileName, written.errorString()));
    for (;;) {
        const QByteArray chunk = written.read(1 << 20);
        if (chunk.isEmpty())
            break;
        file.write(chunk);
    }
    return FinishExport(file, steps);
}

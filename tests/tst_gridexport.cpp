#include "data/gridmodel.h"
#include "output/gridexport.h"
#include "output/richtext.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>

#include <memory>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

// The five writers on small grids, byte for byte where the format is text,
// through LibreOffice where it is a document; their failures, and what they
// leave behind when they fail or are cancelled.
class TestGridExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textFormats_data();
    void textFormats();
    void htmlSettings_data();
    void htmlSettings();
    void richTextToPlain_data();
    void richTextToPlain();
    void textLikeRichTextStaysAsItIs_data();
    void textLikeRichTextStaysAsItIs();
    void emptyGrid_data();
    void emptyGrid();
    void formatDecidesNotTheName();
    void fileCannotBeCreated_data();
    void fileCannotBeCreated();
    void existingFileReplacedOnlyWhole_data();
    void existingFileReplacedOnlyWhole();
    void cancelAfterTheLastRowKeepsTheFile_data();
    void cancelAfterTheLastRowKeepsTheFile();
    void snapshotKeepsWhatWasShown();
    void progressReachesTheEnd_data();
    void progressReachesTheEnd();
    void spreadsheetLimits();
    void libreOfficeReadsTheSameCells_data();
    void libreOfficeReadsTheSameCells();

private:
    QTemporaryDir m_dir;
};

Q_DECLARE_METATYPE(ExportFormat)

namespace {

const char *const Unicode = "\xc3\x9cn\xc3\xaf" "c\xc3\xb6" "d\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xf0\x9f\x98\x80";

void addRow(GridModel &grid, std::initializer_list<const char *> cells)
{
    const std::vector<const char *> row(cells);
    grid.appendRow(row.data(), int(row.size()));
}

// A comma, a quote, CR LF, a lone LF, markup, an empty cell, a NULL, a short
// row, a long row, UTF-8 text and a row of only an empty caption.
std::unique_ptr<GridModel> mixedGrid()
{
    auto grid = std::make_unique<GridModel>();
    grid->setColumns({QStringLiteral("Name"), QStringLiteral("Value"), QStringLiteral("Note")});
    addRow(*grid, {"plain", "a,b", "say \"hi\""});
    addRow(*grid, {"multi", "a\r\nbc", "x\ny"});
    addRow(*grid, {"<tag>", "", nullptr});
    addRow(*grid, {"short", "s"});
    addRow(*grid, {"long", "l1", "l2", "extra"});
    addRow(*grid, {Unicode, "\xc3\xbc", "end"});
    addRow(*grid, {""});
    return grid;
}

// The definition of a table: a caption and six further cells for five
// further columns.
std::unique_ptr<GridModel> definitionGrid()
{
    auto grid = std::make_unique<GridModel>();
    grid->setColumns({QStringLiteral("ID"), QStringLiteral("Type"), QStringLiteral("Null"), QStringLiteral("Key"),
                      QStringLiteral("Default"), QStringLiteral("Extra")});
    addRow(*grid, {"id", "int(11)", "", "PRI", "0", "auto_increment", ""});
    return grid;
}

std::unique_ptr<GridModel> gridOf(const QString &name)
{
    if (name == QLatin1String("mixed"))
        return mixedGrid();
    if (name == QLatin1String("definition"))
        return definitionGrid();
    auto grid = std::make_unique<GridModel>();
    if (name == QLatin1String("two columns")) {
        grid->setColumns({QStringLiteral("A"), QStringLiteral("B")});
        addRow(*grid, {"abc", "a\r\nbc"});
    } else if (name == QLatin1String("filled")) {
        grid->setColumns({QStringLiteral("A"), QString()});
        addRow(*grid, {"x", "y"});
        addRow(*grid, {"", "z"});
    }
    return grid;
}

QByteArray blanks(int count)
{
    return QByteArray(count, ' ');
}

QByteArray readAll(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

const char *const Extensions[] = {"", "xls", "csv", "doc", "asc", "htm"};

QString nameFor(ExportFormat format)
{
    return QLatin1String(Extensions[int(format)]);
}

// The cells of the first table of a flat OpenDocument file (as LibreOffice
// converts to), row by row: paragraphs and line breaks as LF. Cells that are
// not text are marked.
QList<QStringList> flatDocumentCells(const QString &fileName, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QList<QStringList> rows;
    QXmlStreamReader xml(&file);
    int tables = 0;
    int rowRepeat = 1;
    QStringList row;
    QString cell;
    int cellRepeat = 1;
    int paragraphs = 0;
    bool inParagraph = false;
    while (!xml.atEnd()) {
        xml.readNext();
        const QStringView name = xml.qualifiedName();
        if (xml.isStartElement()) {
            const QXmlStreamAttributes attributes = xml.attributes();
            if (name == QLatin1String("table:table")) {
                ++tables;
            } else if (tables != 1) {
                continue;
            } else if (name == QLatin1String("table:table-row")) {
                row.clear();
                rowRepeat = qMax(1, attributes.value(QLatin1String("table:number-rows-repeated")).toInt());
            } else if (name == QLatin1String("table:table-cell") || name == QLatin1String("table:covered-table-cell")) {
                cell.clear();
                paragraphs = 0;
                cellRepeat = qMax(1, attributes.value(QLatin1String("table:number-columns-repeated")).toInt());
                const QStringView type = attributes.value(QLatin1String("office:value-type"));
                if (!type.isEmpty() && type != QLatin1String("string"))
                    cell = QStringLiteral("<not text: %1>").arg(type);
            } else if (name == QLatin1String("text:p")) {
                if (paragraphs++ > 0)
                    cell += QLatin1Char('\n');
                inParagraph = true;
            } else if (name == QLatin1String("text:line-break")) {
                cell += QLatin1Char('\n');
            } else if (name == QLatin1String("text:tab")) {
                cell += QLatin1Char('\t');
            } else if (name == QLatin1String("text:s")) {
                cell += QString(qMax(1, attributes.value(QLatin1String("text:c")).toInt()), QLatin1Char(' '));
            }
        } else if (xml.isEndElement() && tables == 1) {
            if (name == QLatin1String("text:p")) {
                inParagraph = false;
            } else if (name == QLatin1String("table:table-cell") || name == QLatin1String("table:covered-table-cell")) {
                // Runs of empty cells up to the sheet's edge are left out.
                if (cellRepeat < 1000) {
                    for (int i = 0; i < cellRepeat; ++i)
                        row.append(cell);
                }
            } else if (name == QLatin1String("table:table-row")) {
                if (rowRepeat < 1000) {
                    for (int i = 0; i < rowRepeat; ++i)
                        rows.append(row);
                }
            }
        } else if (xml.isCharacters() && inParagraph && tables == 1) {
            // LibreOffice writes runs of blanks as text:s, so the text in a
            // paragraph is taken as it stands.
            cell += xml.text();
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return rows;
}

} // namespace

void TestGridExport::textFormats_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("csv: mixed cells")
        << "mixed" << ExportFormat::Csv
        << QByteArray("plain,\"a,b\",\"say \"\"hi\"\"\"\r\n"
                      "multi,\"a\r\nbc\",\"x\ny\"\r\n"
                      "<tag>,,\r\n"
                      "short,s\r\n"
                      "long,l1,l2,extra\r\n")
            + Unicode + ",\xc3\xbc,end\r\n"
                        "\r\n";
    QTest::newRow("csv: definition row ends in a comma")
        << "definition" << ExportFormat::Csv << QByteArray("id,int(11),,PRI,0,auto_increment,\r\n");

    // Widths 13, 5 and 8 characters (not bytes); the long row's fourth cell
    // has no column, the short row is padded.
    QTest::newRow("asc: mixed cells")
        << "mixed" << ExportFormat::Ascii
        << "plain" + blanks(9) + "a,b" + blanks(3) + "say \"hi\"" + blanks(1) + "\r\n"
            + "multi" + blanks(9) + "a" + blanks(5) + "x\ny" + blanks(6) + "\r\n"
            + blanks(14) + "bc\r\n"
            + "<tag>" + blanks(9) + blanks(6) + blanks(9) + "\r\n"
            + "short" + blanks(9) + "s" + blanks(5) + blanks(9) + "\r\n"
            + "long" + blanks(10) + "l1" + blanks(4) + "l2" + blanks(7) + "\r\n"
            + Unicode + blanks(1) + "\xc3\xbc" + blanks(5) + "end" + blanks(6) + "\r\n"
            + blanks(29) + "\r\n";
    QTest::newRow("asc: definition row")
        << "definition" << ExportFormat::Ascii << QByteArray("id int(11)  PRI 0 auto_increment \r\n");
    QTest::newRow("asc: second line of a cell under its column")
        << "two columns" << ExportFormat::Ascii << "abc" + blanks(1) + "a" + blanks(5) + "\r\n" + blanks(4) + "bc\r\n";
    QTest::newRow("asc: wider than 256")
        << "wide" << ExportFormat::Ascii << QByteArray(300, 'w') + " x \r\n";

    QTest::newRow("htm: mixed cells, escaped")
        << "mixed" << ExportFormat::Html
        << QByteArray("<table border=\"1\" cellspacing=\"0\" width=\"100%\">\r\n"
                      "<tr>\r\n"
                      "<td nowrap BGCOLOR=\"#B4B4B4\"><B>Name</B></td>\r\n"
                      "<td nowrap BGCOLOR=\"#B4B4B4\"><B>Value</B></td>\r\n"
                      "<td nowrap BGCOLOR=\"#B4B4B4\"><B>Note</B></td>\r\n"
                      "</tr>\r\n"
                      "<tr>\r\n<td nowrap>plain</td>\r\n<td nowrap>a,b</td>\r\n"
                      "<td nowrap>say &quot;hi&quot;</td>\r\n</tr>\r\n"
                      "<tr>\r\n<td nowrap>multi</td>\r\n<td nowrap>a\r\nbc</td>\r\n<td nowrap>x\ny</td>\r\n</tr>\r\n"
                      "<tr>\r\n<td nowrap>&lt;tag&gt;</td>\r\n<td nowrap><BR></td>\r\n<td nowrap><BR></td>\r\n</tr>\r\n"
                      "<tr>\r\n<td nowrap>short</td>\r\n<td nowrap>s</td>\r\n<td nowrap><BR></td>\r\n</tr>\r\n"
                      "<tr>\r\n<td nowrap>long</td>\r\n<td nowrap>l1</td>\r\n<td nowrap>l2</td>\r\n</tr>\r\n"
                      "<tr>\r\n<td nowrap>")
            + Unicode
            + "</td>\r\n<td nowrap>\xc3\xbc</td>\r\n<td nowrap>end</td>\r\n</tr>\r\n"
              "<tr>\r\n<td nowrap><br></td>\r\n</tr>\r\n"
              "</table><p>\r\n";
    QTest::newRow("htm: every cell filled, empty caption")
        << "filled" << ExportFormat::Html
        << QByteArray("<table border=\"1\" cellspacing=\"0\" width=\"100%\">\r\n"
                      "<tr>\r\n"
                      "<td nowrap BGCOLOR=\"#B4B4B4\"><B>A</B></td>\r\n"
                      "<td nowrap BGCOLOR=\"#B4B4B4\"><B><BR></B></td>\r\n"
                      "</tr>\r\n"
                      "<tr>\r\n<td nowrap>x</td>\r\n<td nowrap>y</td>\r\n</tr>\r\n"
                      "<tr>\r\n<td nowrap><br></td>\r\n<td nowrap>z</td>\r\n</tr>\r\n"
                      "</table><p>\r\n");
}

void TestGridExport::textFormats()
{
    QFETCH(QString, grid);
    QFETCH(ExportFormat, format);
    QFETCH(QByteArray, expected);
    std::unique_ptr<GridModel> model = gridOf(grid);
    if (grid == QLatin1String("wide")) {
        model->setColumns({QStringLiteral("A"), QStringLiteral("B")});
        model->appendRow(QStringList{QString(300, QLatin1Char('w')), QStringLiteral("x")});
    }
    const QString fileName = m_dir.filePath(QStringLiteral("out.") + nameFor(format));
    // Created anew: nothing of a longer earlier file remains.
    QVERIFY(writeFile(fileName, QByteArray(4096, '#')));
    const ExportResult result = ExportGrid(format, model->snapshot(), fileName);
    QVERIFY2(!result.failed(), qPrintable(result.error));
    QCOMPARE(result.status, ExportResult::Written);
    QCOMPARE(readAll(fileName), expected);
}

void TestGridExport::htmlSettings_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("header"); // file contents; "<none>": no such file
    QTest::addColumn<QByteArray>("footer");
    QTest::addColumn<bool>("colour");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray table = "<table border=\"2\" cellspacing=\"3\" width=\"50%\">\r\n<tr>\r\n";
    const QByteArray body = "</tr>\r\n<tr>\r\n<td nowrap>a &amp; b</td>\r\n</tr>\r\n</table><p>\r\n";
    QTest::newRow("header and footer lines, tags")
        << "<div class=\"x\">" << "</div>" << QByteArray("<html>\r\n<body>\n\nlast") << QByteArray("</body></html>\n")
        << true
        << "<html>\r\n<body>\r\n\r\nlast\r\n<div class=\"x\">\r\n" + table
            + "<td nowrap BGCOLOR=\"#0A0B0C\"><B>K &lt;1&gt;</B></td>\r\n" + body
            + "</div>\r\n</body></html>\r\n";
    QTest::newRow("files that cannot be read are skipped, no colour")
        << "" << "" << QByteArray("<none>") << QByteArray("<none>") << false
        << table + "<td nowrap><B>K &lt;1&gt;</B></td>\r\n" + body;
    QTest::newRow("empty header file")
        << "" << "" << QByteArray("") << QByteArray("<none>") << false
        << table + "<td nowrap><B>K &lt;1&gt;</B></td>\r\n" + body;
}

void TestGridExport::htmlSettings()
{
    QFETCH(QString, prefix);
    QFETCH(QString, suffix);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, footer);
    QFETCH(bool, colour);
    QFETCH(QByteArray, expected);
    GridModel grid;
    grid.setColumns({QStringLiteral("K <1>")});
    grid.appendRow(QStringList{QStringLiteral("a & b")});
    THTMLSettings settings;
    settings.BorderSize = 2;
    settings.CellSpacing = 3;
    settings.Width = 50;
    settings.SaveColor = colour;
    settings.HeaderColor = qRgb(10, 11, 12);
    settings.PrefixTag = prefix;
    settings.SuffixTag = suffix;
    settings.HeaderFile = m_dir.filePath(QStringLiteral("header.txt"));
    settings.FooterFile = m_dir.filePath(QStringLiteral("footer.txt"));
    QFile::remove(settings.HeaderFile);
    QFile::remove(settings.FooterFile);
    if (header != "<none>")
        QVERIFY(writeFile(settings.HeaderFile, header));
    if (footer != "<none>")
        QVERIFY(writeFile(settings.FooterFile, footer));
    const QString fileName = m_dir.filePath(QStringLiteral("settings.htm"));
    const ExportResult result = ExportHtml(grid.snapshot(), fileName, settings);
    QVERIFY2(!result.failed(), qPrintable(result.error));
    QCOMPARE(readAll(fileName), expected);
}

void TestGridExport::richTextToPlain_data()
{
    QTest::addColumn<QString>("rtf");
    QTest::addColumn<QString>("plain");
    QTest::newRow("paragraphs, tables of fonts and colours")
        << "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
           "\\pard\\f0\\fs20 First <b>\\par\n\\cf1 second\\par\n}"
        << "First <b>\r\nsecond";
    QTest::newRow("escapes and code page")
        << "{\\rtf1\\ansi {\\*\\generator Writer;}Caf\\'e9 \\{x\\} \\\\ \\'80\\tab end}"
        << QString::fromUtf8("Caf\xc3\xa9 {x} \\ \xe2\x82\xac\tend");
    QTest::newRow("unicode with fallback characters")
        << "{\\rtf1\\uc1 \\u26085?\\u-10179?\\u-8704? {\\uc2\\u252 ue}!}"
        << QString::fromUtf8("\xe6\x97\xa5\xf0\x9f\x98\x80 \xc3\xbc!");
    QTest::newRow("pictures and fields' instructions skipped")
        << "{\\rtf1 a{\\pict\\pngblip 89504e47}b{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt c}}}"
        << "ab";
}

void TestGridExport::richTextToPlain()
{
    QFETCH(QString, rtf);
    QFETCH(QString, plain);
    QVERIFY(IsRichTextCell(rtf));
    QCOMPARE(RichTextToPlain(rtf), plain);

    // In the HTML table the plain text stands for the cell, escaped.
    GridModel grid;
    grid.setColumns({QStringLiteral("A"), QStringLiteral("B")});
    grid.appendRow(QStringList{QStringLiteral("row"), rtf});
    const QString fileName = m_dir.filePath(QStringLiteral("rich.htm"));
    THTMLSettings settings;
    settings.SaveColor = false;
    QVERIFY(!ExportHtml(grid.snapshot(), fileName, settings).failed());
    QByteArray escaped = plain.toUtf8();
    escaped.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;");
    QVERIFY2(readAll(fileName).contains("<td nowrap>" + escaped + "</td>\r\n</tr>"), readAll(fileName).constData());
}

void TestGridExport::textLikeRichTextStaysAsItIs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("escaped JSON") << QStringLiteral("{\\\"a\\\":1}") << QByteArray("{\\&quot;a\\&quot;:1}");
    QTest::newRow("a control word without rtf") << QStringLiteral("{\\b bold}") << QByteArray("{\\b bold}");
    QTest::newRow("upper-case RTF") << QStringLiteral("{\\RTF1 x}") << QByteArray("{\\RTF1 x}");
}

void TestGridExport::textLikeRichTextStaysAsItIs()
{
    // Only "{\rtf" starts a rich-text document; other cells are data.
    QFETCH(QString, text);
    QFETCH(QByteArray, written);
    QVERIFY(!IsRichTextCell(text));
    GridModel grid;
    grid.setColumns({QStringLiteral("A"), QStringLiteral("B")});
    grid.appendRow(QStringList{QStringLiteral("row"), text});
    const QString fileName = m_dir.filePath(QStringLiteral("notrich.htm"));
    THTMLSettings settings;
    settings.SaveColor = false;
    QVERIFY(!ExportHtml(grid.snapshot(), fileName, settings).failed());
    QVERIFY2(readAll(fileName).contains("<td nowrap>" + written + "</td>\r\n</tr>"), readAll(fileName).constData());
}

void TestGridExport::emptyGrid_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<bool>("withColumns");
    QTest::addColumn<bool>("fileWritten");
    QTest::newRow("csv, no rows") << ExportFormat::Csv << true << false;
    QTest::newRow("csv, no columns") << ExportFormat::Csv << false << false;
    QTest::newRow("htm, no rows") << ExportFormat::Html << true << false;
    QTest::newRow("asc, no rows") << ExportFormat::Ascii << true << true;
    QTest::newRow("xls, no rows") << ExportFormat::Xls << true << false;
    QTest::newRow("xls, no columns") << ExportFormat::Xls << false << false;
    QTest::newRow("doc, no rows") << ExportFormat::Doc << true << false;
}

void TestGridExport::emptyGrid()
{
    QFETCH(ExportFormat, format);
    QFETCH(bool, withColumns);
    QFETCH(bool, fileWritten);
    GridModel grid;
    if (withColumns)
        grid.setColumns({QStringLiteral("a"), QStringLiteral("b")});
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("empty.") + nameFor(format));
    const ExportResult result = ExportGrid(format, grid.snapshot(), fileName);
    QVERIFY2(!result.failed(), qPrintable(result.error));
    QCOMPARE(result.status, fileWritten ? ExportResult::Written : ExportResult::NothingWritten);
    QCOMPARE(QFile::exists(fileName), fileWritten);
    if (format == ExportFormat::Ascii)
        QCOMPARE(readAll(fileName), QByteArray());
    if (!fileWritten) {
        // Nor is an existing file touched.
        QVERIFY(writeFile(fileName, "kept"));
        QCOMPARE(ExportGrid(format, grid.snapshot(), fileName).status, ExportResult::NothingWritten);
        QCOMPARE(readAll(fileName), QByteArray("kept"));
    }
}

void TestGridExport::formatDecidesNotTheName()
{
    std::unique_ptr<GridModel> grid = definitionGrid();
    const QString fileName = m_dir.filePath(QStringLiteral("x.htm"));
    QVERIFY(!ExportGrid(ExportFormat::Csv, grid->snapshot(), fileName).failed());
    QCOMPARE(readAll(fileName), QByteArray("id,int(11),,PRI,0,auto_increment,\r\n"));
    const QString text = m_dir.filePath(QStringLiteral("result.txt"));
    QVERIFY(!ExportGrid(ExportFormat::Html, grid->snapshot(), text).failed());
    QVERIFY(readAll(text).startsWith("<table border="));
}

void TestGridExport::fileCannotBeCreated_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("where");
    for (ExportFormat format :
         {ExportFormat::Xls, ExportFormat::Csv, ExportFormat::Doc, ExportFormat::Ascii, ExportFormat::Html}) {
        for (const char *where :
             {"missing folder", "folder is a file", "name of a folder", "read-only folder", "read-only file"}) {
            QTest::newRow(qPrintable(nameFor(format) + QStringLiteral(", ") + QLatin1String(where)))
                << format << QString::fromLatin1(where);
        }
    }
}

void TestGridExport::fileCannotBeCreated()
{
    QFETCH(ExportFormat, format);
    QFETCH(QString, where);
    QTemporaryDir dir;
    QString fileName;
    if (where == QLatin1String("missing folder")) {
        fileName = dir.filePath(QStringLiteral("no/such/folder/out.") + nameFor(format));
    } else if (where == QLatin1String("folder is a file")) {
        QVERIFY(writeFile(dir.filePath(QStringLiteral("plain")), "x"));
        fileName = dir.filePath(QStringLiteral("plain/out.") + nameFor(format));
    } else if (where == QLatin1String("name of a folder")) {
        fileName = dir.filePath(QStringLiteral("sub"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    } else {
#ifdef Q_OS_UNIX
        if (::geteuid() == 0)
            QSKIP("the super-user writes into read-only folders and files");
#endif
    }
    if (where == QLatin1String("read-only file")) {
        // Its folder is writable: the file must not be replaced all the same.
        fileName = dir.filePath(QStringLiteral("protected.") + nameFor(format));
        QVERIFY(writeFile(fileName, "protected"));
        QVERIFY(QFile::setPermissions(fileName, QFileDevice::ReadOwner));
    } else if (where == QLatin1String("read-only folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("locked")));
        QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("locked")),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        fileName = dir.filePath(QStringLiteral("locked/out.") + nameFor(format));
    }
    const QStringList before = entries(QFileInfo(fileName).absolutePath());
    std::unique_ptr<GridModel> grid = mixedGrid();
    const ExportResult result = ExportGrid(format, grid->snapshot(), fileName);
    QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                       | QFileDevice::ExeOwner);
    QCOMPARE(result.status, ExportResult::Failed);
    // The message names the file and ends in the system's reason.
    const QString lead = format == ExportFormat::Html
        ? QStringLiteral("File ") + QDir::toNativeSeparators(fileName) + QStringLiteral(" not found: ")
        : QStringLiteral("Cannot create file ") + QDir::toNativeSeparators(fileName) + QStringLiteral(": ");
    QVERIFY2(result.error.startsWith(lead), qPrintable(result.error));
    QVERIFY2(result.error.size() > lead.size() + 3, qPrintable(result.error));
    QCOMPARE(entries(QFileInfo(fileName).absolutePath()), before);
    if (where == QLatin1String("read-only file"))
        QCOMPARE(readAll(fileName), QByteArray("protected"));
}

void TestGridExport::existingFileReplacedOnlyWhole_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("outcome");
    for (ExportFormat format :
         {ExportFormat::Xls, ExportFormat::Csv, ExportFormat::Doc, ExportFormat::Ascii, ExportFormat::Html}) {
        QTest::newRow(qPrintable(nameFor(format) + QStringLiteral(", cancelled"))) << format << "cancelled";
        QTest::newRow(qPrintable(nameFor(format) + QStringLiteral(", written"))) << format << "written";
    }
    QTest::newRow("xls, failed") << ExportFormat::Xls << "failed";
}

void TestGridExport::existingFileReplacedOnlyWhole()
{
    QFETCH(ExportFormat, format);
    QFETCH(QString, outcome);
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("kept.") + nameFor(format));
    QVERIFY(writeFile(fileName, "the earlier file"));
    QVERIFY(QFile::setPermissions(fileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                | QFileDevice::ReadGroup));
    // Enough rows that a cancel is seen before the end.
    GridModel grid;
    grid.setColumns({QStringLiteral("a"), QStringLiteral("b")});
    grid.beginBulkAppend();
    for (int i = 0; i < 2000; ++i)
        grid.appendRow(QStringList{QString::number(i), QStringLiteral("text")});
    if (outcome == QLatin1String("failed"))
        grid.appendRow(QStringList{QStringLiteral("too long"), QString(40000, QLatin1Char('x'))});
    grid.endBulkAppend();
    ExportProgress progress;
    if (outcome == QLatin1String("cancelled"))
        progress.cancel();
    const ExportResult result = ExportGrid(format, grid.snapshot(), fileName, THTMLSettings(), &progress);
    if (outcome == QLatin1String("written")) {
        QVERIFY2(!result.failed(), qPrintable(result.error));
        QVERIFY(readAll(fileName).size() > 2000 * 5);
        // The new file keeps the permissions of the one it replaced.
        QCOMPARE(QFile::permissions(fileName) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::ReadGroup);
    } else {
        QCOMPARE(result.status, outcome == QLatin1String("failed") ? ExportResult::Failed : ExportResult::Cancelled);
        QCOMPARE(readAll(fileName), QByteArray("the earlier file"));
    }
    if (outcome == QLatin1String("failed"))
        QVERIFY2(result.error.contains(QLatin1String("B2001")), qPrintable(result.error));
    // No temporary file is left next to it.
    QCOMPARE(entries(dir.path()), QStringList{QFileInfo(fileName).fileName()});
}

void TestGridExport::cancelAfterTheLastRowKeepsTheFile_data()
{
    QTest::addColumn<ExportFormat>("format");
    for (ExportFormat format :
         {ExportFormat::Xls, ExportFormat::Csv, ExportFormat::Doc, ExportFormat::Ascii, ExportFormat::Html})
        QTest::newRow(qPrintable(nameFor(format))) << format;
}

void TestGridExport::cancelAfterTheLastRowKeepsTheFile()
{
    // Fewer rows than the writers count between two looks at Cancel: a
    // cancel that came before the end still keeps the earlier file.
    QFETCH(ExportFormat, format);
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("kept.") + nameFor(format));
    QVERIFY(writeFile(fileName, "the earlier file"));
    GridModel grid;
    grid.setColumns({QStringLiteral("a"), QStringLiteral("b")});
    for (int i = 0; i < 10; ++i)
        grid.appendRow(QStringList{QString::number(i), QStringLiteral("text")});
    ExportProgress progress;
    progress.cancel();
    const ExportResult result = ExportGrid(format, grid.snapshot(), fileName, THTMLSettings(), &progress);
    QCOMPARE(result.status, ExportResult::Cancelled);
    QCOMPARE(readAll(fileName), QByteArray("the earlier file"));
    QCOMPARE(entries(dir.path()), QStringList{QFileInfo(fileName).fileName()});
}

void TestGridExport::snapshotKeepsWhatWasShown()
{
    std::unique_ptr<GridModel> grid = definitionGrid();
    const GridSnapshot shown = grid->snapshot();
    grid->clearRows();
    addRow(*grid, {"other"});
    grid->sort(0);
    const QString fileName = m_dir.filePath(QStringLiteral("snapshot.csv"));
    QVERIFY(!ExportCsv(shown, fileName).failed());
    QCOMPARE(readAll(fileName), QByteArray("id,int(11),,PRI,0,auto_increment,\r\n"));
}

void TestGridExport::progressReachesTheEnd_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<int>("passes");
    QTest::newRow("xls") << ExportFormat::Xls << 1;
    QTest::newRow("csv") << ExportFormat::Csv << 1;
    QTest::newRow("doc") << ExportFormat::Doc << 1;
    QTest::newRow("asc, two passes") << ExportFormat::Ascii << 2;
    QTest::newRow("htm") << ExportFormat::Html << 1;
}

void TestGridExport::progressReachesTheEnd()
{
    QFETCH(ExportFormat, format);
    QFETCH(int, passes);
    GridModel grid;
    grid.setColumns({QStringLiteral("n")});
    grid.beginBulkAppend();
    for (int i = 0; i < 1000; ++i)
        grid.appendRow(QStringList{QString::number(i)});
    grid.endBulkAppend();
    ExportProgress progress;
    QVERIFY(!ExportGrid(format, grid.snapshot(), m_dir.filePath(QStringLiteral("progress")), THTMLSettings(),
                        &progress)
                 .failed());
    QCOMPARE(progress.total(), qint64(1000 * passes));
    QCOMPARE(progress.done(), progress.total());
}

void TestGridExport::spreadsheetLimits()
{
    GridModel grid;
    grid.setColumns({QStringLiteral("a"), QStringLiteral("b")});
    grid.appendRow(QStringList{QStringLiteral("fits"), QString(32767, QChar(0x00fc))}); // 65,534 bytes
    const QString fileName = m_dir.filePath(QStringLiteral("limits.xls"));
    ExportResult result = ExportXls(grid.snapshot(), fileName);
    QVERIFY2(!result.failed(), qPrintable(result.error));
    grid.appendRow(QStringList{QStringLiteral("too long"), QString(32768, QLatin1Char('x'))});
    result = ExportXls(grid.snapshot(), fileName);
    QCOMPARE(result.status, ExportResult::Failed);
    QVERIFY2(result.error.startsWith(QLatin1String("Cell B2 ")), qPrintable(result.error));
}

void TestGridExport::libreOfficeReadsTheSameCells_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("converted");
    QTest::newRow("xls") << ExportFormat::Xls << "fods";
    QTest::newRow("doc") << ExportFormat::Doc << "fodt";
}

void TestGridExport::libreOfficeReadsTheSameCells()
{
    QFETCH(ExportFormat, format);
    QFETCH(QString, converted);
    QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (office.isEmpty())
        office = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    if (office.isEmpty())
        QSKIP("LibreOffice is not installed");

    std::unique_ptr<GridModel> grid = mixedGrid();
    // Texts a spreadsheet might take for something else, and characters
    // that its XML holds only escaped.
    addRow(*grid, {"0123", "=1+1", "1.5"});
    addRow(*grid, {"  lead", "trail  ", "tab\there"});
    addRow(*grid, {"ctl\x01x", "_x0041_ literal", "a\rb"});
    addRow(*grid, {"{\\rtf1 x}", "\xc3\xa9", "last"});
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("cells.") + nameFor(format));
    const ExportResult result = ExportGrid(format, grid->snapshot(), fileName);
    QVERIFY2(!result.failed(), qPrintable(result.error));

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString profile = QUrl::fromLocalFile(dir.filePath(QStringLiteral("profile"))).toString();
    process.start(office, {QStringLiteral("-env:UserInstallation=") + profile, QStringLiteral("--headless"),
                           QStringLiteral("--convert-to"), converted, QStringLiteral("--outdir"),
                           dir.filePath(QStringLiteral("out")), fileName});
    QVERIFY(process.waitForFinished(300 * 1000));
    const QString output = dir.filePath(QStringLiteral("out/cells.") + converted);
    QVERIFY2(QFile::exists(output), process.readAll().constData());
    QString error;
    const QList<QStringList> cells = flatDocumentCells(output, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    // Every row from the first line on, one value per column, no captions.
    // Line breaks of any kind read back as one, and a cell holds no control
    // characters in LibreOffice.
    auto comparable = [](QString text) {
        text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        text.remove(QChar(1));
        return text;
    };
    QList<QStringList> expected;
    const GridSnapshot shot = grid->snapshot();
    for (int row = 0; row < shot.rowCount(); ++row) {
        QStringList line;
        for (int c = 0; c < shot.columnCount(); ++c)
            line.append(comparable(c < shot.cellCount(row) ? QString::fromUtf8(shot.cell(row, c)) : QString()));
        expected.append(line);
    }
    QList<QStringList> actual;
    for (QStringList line : cells) {
        while (line.size() > shot.columnCount() && line.constLast().isEmpty())
            line.removeLast();
        while (line.size() < shot.columnCount())
            line.append(QString());
        for (QString &text : line)
            text = comparable(text);
        actual.append(line);
    }
    // The empty rows of the sheet below the last one are no cells of it.
    while (!actual.isEmpty() && actual.constLast().join(QString()).isEmpty())
        actual.removeLast();
    if (format == ExportFormat::Doc) {
        // A word processor's paragraph drops blanks at its ends on reading.
        for (QList<QStringList> *rows : {&expected, &actual}) {
            for (QStringList &line : *rows) {
                for (QString &text : line)
                    text = text.trimmed();
            }
        }
    }
    QCOMPARE(actual.size(), expected.size());
    for (int row = 0; row < expected.size(); ++row)
        QCOMPARE(actual.at(row), expected.at(row));
}

QTEST_GUILESS_MAIN(TestGridExport)
#include "tst_gridexport.moc"

#include "data/gridmodel.h"
#include "output/gridexport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

// The choices of the save dialog (caption line, delimiter, the text of NULL,
// byte-order mark, chosen rows) as the writers apply them. Comma-separated
// files are read back by Python's csv module, a reader that owes nothing to
// the writer.
class TestExportOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void csvReadsBack_data();
    void csvReadsBack();
    void defaultsWriteWhatWasAlwaysWritten();
    void otherFormats_data();
    void otherFormats();
    void noChosenRowsWritesNothing();

private:
    QTemporaryDir m_dir;
    QString m_python;
};

namespace {

using Table = QList<QStringList>;

} // namespace

Q_DECLARE_METATYPE(ExportFormat)

namespace {

void addRow(GridModel &grid, std::initializer_list<const char *> cells)
{
    const std::vector<const char *> row(cells);
    grid.appendRow(row.data(), int(row.size()));
}

// Every character that needs quoting in one delimiter or another, a NULL
// beside an empty text, and text outside ASCII.
std::unique_ptr<GridModel> sampleGrid()
{
    auto grid = std::make_unique<GridModel>();
    grid->setColumns({QStringLiteral("Name"), QStringLiteral("Value, quoted"), QStringLiteral("Note")});
    addRow(*grid, {"plain", "a,b", "say \"hi\""});
    addRow(*grid, {"semi;colon", "tab\there", "multi\r\nline"});
    addRow(*grid, {"nul", nullptr, ""});
    addRow(*grid, {"lf", "x\ny", "\xc3\xbc" "n\xc3\xaf"});
    return grid;
}

const QStringList Captions = {QStringLiteral("Name"), QStringLiteral("Value, quoted"), QStringLiteral("Note")};

QStringList sampleRow(int row, const QString &nullText)
{
    switch (row) {
    case 0:
        return {QStringLiteral("plain"), QStringLiteral("a,b"), QStringLiteral("say \"hi\"")};
    case 1:
        return {QStringLiteral("semi;colon"), QStringLiteral("tab\there"), QStringLiteral("multi\r\nline")};
    case 2:
        return {QStringLiteral("nul"), nullText, QString()};
    default:
        return {QStringLiteral("lf"), QStringLiteral("x\ny"), QString::fromUtf8("\xc3\xbc" "n\xc3\xaf")};
    }
}

QByteArray readAll(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestExportOptions::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QVERIFY2(!m_python.isEmpty(), "python3 reads the files back");
}

void TestExportOptions::csvReadsBack_data()
{
    QTest::addColumn<bool>("header");
    QTest::addColumn<char>("delimiter");
    QTest::addColumn<QString>("nullText");
    QTest::addColumn<bool>("bom");
    QTest::addColumn<QList<int>>("rows"); // empty: all
    QTest::addColumn<QString>("pythonDelimiter");

    QTest::newRow("comma, defaults") << false << ',' << QString() << false << QList<int>() << QStringLiteral(",");
    QTest::newRow("comma, captions, NULL text, BOM")
        << true << ',' << QStringLiteral("(NULL)") << true << QList<int>() << QStringLiteral(",");
    QTest::newRow("semicolon") << false << ';' << QString() << false << QList<int>() << QStringLiteral(";");
    QTest::newRow("semicolon, captions, NULL text")
        << true << ';' << QStringLiteral("NULL") << false << QList<int>() << QStringLiteral(";");
    QTest::newRow("tab, captions, BOM") << true << '\t' << QStringLiteral("\\N") << true << QList<int>()
                                        << QStringLiteral("\t");
    QTest::newRow("chosen rows, in the order given")
        << true << ';' << QStringLiteral("-") << false << QList<int>{3, 2, 0} << QStringLiteral(";");
    QTest::newRow("one chosen row with a quoted line break")
        << false << '\t' << QString() << true << QList<int>{1} << QStringLiteral("\t");
}

void TestExportOptions::csvReadsBack()
{
    QFETCH(bool, header);
    QFETCH(char, delimiter);
    QFETCH(QString, nullText);
    QFETCH(bool, bom);
    QFETCH(QList<int>, rows);
    QFETCH(QString, pythonDelimiter);

    const auto grid = sampleGrid();
    ExportOptions options;
    options.header = header;
    options.delimiter = delimiter;
    options.nullText = nullText;
    options.byteOrderMark = bom;
    options.selectedOnly = !rows.isEmpty();
    options.rows.assign(rows.begin(), rows.end());
    const QString fileName = m_dir.filePath(QStringLiteral("options.csv"));
    QCOMPARE(ExportCsv(grid->snapshot(), fileName, nullptr, options).status, ExportResult::Written);

    const QByteArray bytes = readAll(fileName);
    QCOMPARE(bytes.startsWith("\xEF\xBB\xBF"), bom);

    // utf-8-sig drops a byte-order mark; one left over would show in the
    // first field.
    QProcess python;
    python.start(m_python, {QStringLiteral("-c"),
                            QStringLiteral("import csv, json, sys\n"
                                           "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                                           "    rows = list(csv.reader(f, delimiter=sys.argv[2], strict=True))\n"
                                           "sys.stdout.write(json.dumps(rows))\n"),
                            fileName, pythonDelimiter});
    QVERIFY(python.waitForFinished(30000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    const QJsonArray read = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    Table actual;
    for (const QJsonValue &row : read)
        actual.append(row.toVariant().toStringList());

    Table expected;
    if (header)
        expected.append(Captions);
    const QList<int> written = rows.isEmpty() ? QList<int>{0, 1, 2, 3} : rows;
    for (const int row : written)
        expected.append(sampleRow(row, nullText));
    QCOMPARE(actual, expected);
}

void TestExportOptions::defaultsWriteWhatWasAlwaysWritten()
{
    // The options left as they come write the same bytes as no options.
    const auto grid = sampleGrid();
    for (const ExportFormat format :
         {ExportFormat::Csv, ExportFormat::Ascii, ExportFormat::Html, ExportFormat::Doc}) {
        const QString plain = m_dir.filePath(QStringLiteral("plain"));
        const QString withOptions = m_dir.filePath(QStringLiteral("options"));
        QVERIFY(!ExportGrid(format, grid->snapshot(), plain).failed());
        QVERIFY(!ExportGrid(format, grid->snapshot(), withOptions, THTMLSettings(), nullptr, ExportOptions()).failed());
        QCOMPARE(readAll(withOptions), readAll(plain));
    }
    const QString csv = m_dir.filePath(QStringLiteral("default.csv"));
    QVERIFY(!ExportCsv(grid->snapshot(), csv).failed());
    QVERIFY(readAll(csv).startsWith("plain,\"a,b\",\"say \"\"hi\"\"\"\r\nsemi;colon,"));
}

void TestExportOptions::otherFormats_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<bool>("header");
    QTest::addColumn<QString>("nullText");
    QTest::addColumn<bool>("bom");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("asc, captions count in the widths")
        << ExportFormat::Ascii << true << QStringLiteral("NULL") << false << QList<int>{2}
        << QByteArray("Name Value, quoted Note \r\nnul  NULL               \r\n");
    QTest::newRow("asc, BOM, chosen rows")
        << ExportFormat::Ascii << false << QString() << true << QList<int>{0}
        << QByteArray("\xEF\xBB\xBFplain a,b say \"hi\" \r\n");
    QTest::newRow("htm, NULL text, BOM, its own caption row")
        << ExportFormat::Html << true << QStringLiteral("NULL") << true << QList<int>{2}
        << QByteArray("\xEF\xBB\xBF<table border=\"1\" cellspacing=\"0\" width=\"100%\">\r\n<tr>\r\n"
                      "<td nowrap BGCOLOR=\"#B4B4B4\"><B>Name</B></td>\r\n"
                      "<td nowrap BGCOLOR=\"#B4B4B4\"><B>Value, quoted</B></td>\r\n"
                      "<td nowrap BGCOLOR=\"#B4B4B4\"><B>Note</B></td>\r\n</tr>\r\n"
                      "<tr>\r\n<td nowrap>nul</td>\r\n<td nowrap>NULL</td>\r\n<td nowrap><BR></td>\r\n</tr>\r\n"
                      "</table><p>\r\n");
}

void TestExportOptions::otherFormats()
{
    QFETCH(ExportFormat, format);
    QFETCH(bool, header);
    QFETCH(QString, nullText);
    QFETCH(bool, bom);
    QFETCH(QList<int>, rows);
    QFETCH(QByteArray, expected);

    const auto grid = sampleGrid();
    ExportOptions options;
    options.header = header;
    options.nullText = nullText;
    options.byteOrderMark = bom;
    options.selectedOnly = true;
    options.rows.assign(rows.begin(), rows.end());
    const QString fileName = m_dir.filePath(QStringLiteral("other"));
    QCOMPARE(ExportGrid(format, grid->snapshot(), fileName, THTMLSettings(), nullptr, options).status,
             ExportResult::Written);
    QCOMPARE(readAll(fileName), expected);
}

void TestExportOptions::noChosenRowsWritesNothing()
{
    // "Selected rows only" with no row selected: no file rather than an
    // empty one taken for the grid.
    const auto grid = sampleGrid();
    ExportOptions options;
    options.selectedOnly = true;
    options.header = true;
    const QString fileName = m_dir.filePath(QStringLiteral("none.csv"));
    QCOMPARE(ExportCsv(grid->snapshot(), fileName, nullptr, options).status, ExportResult::NothingWritten);
    QVERIFY(!QFile::exists(fileName));
}

QTEST_GUILESS_MAIN(TestExportOptions)
#include "tst_exportoptions.moc"

#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/sqlnames.h"
#include "data/tdmstd.h"
#include "tests/support/modulesession.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

#include <memory>

// The four grids of a table (data, definition, status, index), the row limit
// and the names that need quoting, against a private server.
class TestTableViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void statements_data();
    void statements();
    void nodeTextToTableName_data();
    void nodeTextToTableName();
    void rowLimit_data();
    void rowLimit();
    void hardLimitNotANumberLeavesGridHidden();
    void dataGridSortsCaptionsAsText();
    void nullAndEmptyCells();
    void oddNamesOpen_data();
    void oddNamesOpen();
    void statusGridReadsColumnsByName();
    void indexGridReadsColumnsByName();
    void plainListingSkipsStatus();
    void singleViews();
    void droppedDatabaseChangesNothing();
    void invisibleColumnsStayUnderTheirCaptions();
    void statusMatchesExactlyInEverySqlMode_data();
    void statusMatchesExactlyInEverySqlMode();

private:
    using Session = ModuleSession;
    std::unique_ptr<Session> m_s;
};

namespace {

QStringList column(const GridModel &grid, int column)
{
    QStringList texts;
    for (int row = 0; row < grid.rowCount(); ++row)
        texts.append(grid.text(row, column));
    return texts;
}

// The value cell of a status grid row by its caption.
QString statusValue(const GridModel &grid, const QString &caption)
{
    for (int row = 0; row < grid.rowCount(); ++row) {
        if (grid.caption(row) == caption)
            return grid.text(row, 1);
    }
    return QStringLiteral("<missing>");
}

QStringList errorLines(const MessageLog &log)
{
    QStringList lines = log.lines();
    lines.removeAll(QString());
    return lines;
}

} // namespace

void TestTableViews::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral(
                 "CREATE DATABASE tv; USE tv;"
                 "CREATE TABLE t250 (id INT PRIMARY KEY, name VARCHAR(20)) ENGINE=MyISAM COMMENT='two fifty';"
                 "INSERT INTO t250 SELECT seq, CONCAT('n', seq) FROM seq_1_to_250;"
                 "CREATE TABLE t40 (id INT PRIMARY KEY, name VARCHAR(20)) ENGINE=MyISAM;"
                 "INSERT INTO t40 SELECT seq, CONCAT('n', seq) FROM seq_1_to_40;"
                 "CREATE TABLE textkeys (k VARCHAR(10), v VARCHAR(10) NULL, w INT) ENGINE=MyISAM;"
                 "INSERT INTO textkeys VALUES ('10', 'ten', 1), ('9', NULL, 2), ('100', '', NULL);"
                 "CREATE TABLE `order` (id INT) ENGINE=MyISAM; INSERT INTO `order` VALUES (1);"
                 "CREATE TABLE `my table` (id INT) ENGINE=MyISAM; INSERT INTO `my table` VALUES (2);"
                 "CREATE TABLE `dash-name` (id INT) ENGINE=MyISAM; INSERT INTO `dash-name` VALUES (3);"
                 "CREATE TABLE `tick``name` (id INT) ENGINE=MyISAM; INSERT INTO `tick``name` VALUES (4);"
                 "CREATE TABLE under_score (id INT) ENGINE=MyISAM; INSERT INTO under_score VALUES (5);"
                 "CREATE TABLE underXscore (id INT) ENGINE=MyISAM; INSERT INTO underXscore VALUES (6);"
                 "CREATE TABLE `per%cent` (id INT) ENGINE=MyISAM; INSERT INTO `per%cent` VALUES (7);"
                 "CREATE TABLE perXXcent (id INT) ENGINE=MyISAM; INSERT INTO perXXcent VALUES (8);"
                 "CREATE TABLE `quote\"d` (id INT) ENGINE=MyISAM; INSERT INTO `quote\"d` VALUES (9);"
                 "CREATE TABLE `back\\slash` (id INT) ENGINE=MyISAM; INSERT INTO `back\\slash` VALUES (10);"
                 "CREATE TABLE `%` (id INT) ENGINE=MyISAM; INSERT INTO `%` VALUES (11);"
                 "CREATE TABLE `\\` (id INT) ENGINE=MyISAM; INSERT INTO `\\` VALUES (12);"
                 "CREATE TABLE `q'uote` (id INT) ENGINE=MyISAM; INSERT INTO `q'uote` VALUES (13);"
                 "CREATE TABLE inv (a INT, h INT INVISIBLE, b INT) ENGINE=MyISAM;"
                 "INSERT INTO inv (a, h, b) VALUES (1, 2, 3);"
                 "CREATE TABLE idx (a INT NOT NULL, b INT NULL, PRIMARY KEY (a), KEY kb (b) COMMENT 'on b')"
                 "  ENGINE=MyISAM;"
                 "INSERT INTO idx VALUES (1, 1), (2, NULL);"),
                        nullptr, &error),
             qPrintable(error));
}

void TestTableViews::init()
{
    m_s = std::make_unique<Session>();
    QVERIFY(m_s->module->ConnectProfile());
    settle();
    QVERIFY2(m_s->module->ActiveClient()->Connected(), qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
    m_s->log.clear();
}

void TestTableViews::cleanup()
{
    m_s.reset();
}

void TestTableViews::statements_data()
{
    QTest::addColumn<QString>("composed");
    QTest::addColumn<QString>("expected");
    TProgramSettings soft;
    TProgramSettings hard;
    hard.DBHL = true;
    hard.DBL = QStringLiteral("100");
    QTest::newRow("describe") << TDMstd::DescribeStatement(QStringLiteral("orders")) << "DESCRIBE orders";
    const QStringList columns = {QStringLiteral("id"), QStringLiteral("order"), QStringLiteral("hidden")};
    QTest::newRow("data normal") << TDMstd::DataStatement(QStringLiteral("orders"), columns, soft)
                                 << "select id,`order`,hidden from orders LIMIT 101";
    TProgramSettings softZero;
    softZero.DBL = QStringLiteral(" 0 ");
    QTest::newRow("data normal 0") << TDMstd::DataStatement(QStringLiteral("orders"), columns, softZero)
                                   << "select id,`order`,hidden from orders LIMIT 1";
    TProgramSettings softText;
    softText.DBL = QStringLiteral("abc");
    QTest::newRow("data normal not a number")
        << TDMstd::DataStatement(QStringLiteral("orders"), columns, softText)
        << "select id,`order`,hidden from orders LIMIT 1";
    TProgramSettings softMax;
    softMax.DBL = QStringLiteral("2147483647");
    QTest::newRow("data normal largest") << TDMstd::DataStatement(QStringLiteral("orders"), columns, softMax)
                                         << "select id,`order`,hidden from orders LIMIT 2147483648";
    QTest::newRow("data hard") << TDMstd::DataStatement(QStringLiteral("orders"), columns, hard)
                               << "select id,`order`,hidden from orders LIMIT 100";
    QTest::newRow("status") << TDMstd::StatusStatement(QStringLiteral("shop"), QStringLiteral("orders"))
                            << "show table status from shop where Name = 'orders'";
    QTest::newRow("status quotes") << TDMstd::StatusStatement(QStringLiteral("my-db"), QStringLiteral("a_b%c\"d'e"))
                                   << "show table status from `my-db` where Name = 'a_b%c\"d''e'";
    QTest::newRow("status backslash") << TDMstd::StatusStatement(QStringLiteral("db"), QStringLiteral("a\\b"))
                                      << "show table status from db where Name = "
                                         "CONCAT('a',CHAR(92 USING utf8mb4),'b')";
    QTest::newRow("index") << TDMstd::IndexStatement(QStringLiteral("orders")) << "show index from orders";
    QTest::newRow("reserved word") << TDMstd::IndexStatement(QStringLiteral("order")) << "show index from `order`";
    QTest::newRow("blank") << TDMstd::DescribeStatement(QStringLiteral("my table")) << "DESCRIBE `my table`";
    QTest::newRow("backtick") << TDMstd::DescribeStatement(QStringLiteral("a`b")) << "DESCRIBE `a``b`";
    QTest::newRow("digit first") << TDMstd::DescribeStatement(QStringLiteral("1e5")) << "DESCRIBE `1e5`";
    QTest::newRow("table list") << TDMstd::TableListStatement(QStringLiteral("shop")) << "show table status from shop";
}

void TestTableViews::statements()
{
    QFETCH(QString, composed);
    QFETCH(QString, expected);
    QCOMPARE(composed, expected);
}

void TestTableViews::nodeTextToTableName_data()
{
    QTest::addColumn<QString>("nodeText");
    QTest::addColumn<QString>("table");
    QTest::newRow("with rows") << "orders  ( 12 )" << "orders";
    QTest::newRow("bare") << "orders" << "orders";
    QTest::newRow("blank in name") << "my table  ( 3 )" << "my table";
    QTest::newRow("blank in bare name") << "my table" << "my table";
    QTest::newRow("no row count (view)") << "v  (  )" << "v";
    QTest::newRow("parenthesis in name") << "a ( b )" << "a ( b )";
}

void TestTableViews::nodeTextToTableName()
{
    QFETCH(QString, nodeText);
    QFETCH(QString, table);
    QCOMPARE(TableNameFromNodeText(nodeText), table);
}

void TestTableViews::rowLimit_data()
{
    QTest::addColumn<bool>("hard");
    QTest::addColumn<QString>("limit");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("rows");
    QTest::newRow("hard 100 of 250") << true << "100" << "t250" << 100;
    QTest::newRow("normal 100 of 250") << false << "100" << "t250" << 100;
    QTest::newRow("normal 100 of 40") << false << "100" << "t40" << 40;
    QTest::newRow("hard 100 of 40") << true << "100" << "t40" << 40;
    QTest::newRow("normal 200 of 250") << false << "200" << "t250" << 200;
    QTest::newRow("hard 0") << true << "0" << "t250" << 0;
    QTest::newRow("normal 0") << false << "0" << "t250" << 0;
    QTest::newRow("normal not a number") << false << "abc" << "t40" << 0;
}

void TestTableViews::rowLimit()
{
    QFETCH(bool, hard);
    QFETCH(QString, limit);
    QFETCH(QString, table);
    QFETCH(int, rows);
    m_s->program.DBHL = hard;
    m_s->program.DBL = limit;
    QSignalSpy visible(m_s->module.get(), &TDMstd::dataGridVisibleChanged);
    m_s->module->OpenTable(TableNodeText(table, QStringLiteral("1")), QStringLiteral("tv"));
    settle();
    QCOMPARE(errorLines(m_s->log), QStringList());
    QCOMPARE(m_s->data.columnCount(), 2);
    QCOMPARE(m_s->data.columnCaption(0), QStringLiteral("id"));
    QCOMPARE(m_s->data.columnCaption(1), QStringLiteral("name"));
    QCOMPARE(m_s->data.rowCount(), rows);
    QCOMPARE(m_s->module->ColumnCount(), 2);
    QCOMPARE(m_s->module->CurrentTable(), table);
    QCOMPARE(m_s->module->CurrentDatabase(), QStringLiteral("tv"));

    // The server's first rows (ids 1..rows), standing in text order.
    QStringList ids = column(m_s->data, 0);
    QStringList expected;
    for (int id = 1; id <= rows; ++id)
        expected.append(QString::number(id));
    std::sort(expected.begin(), expected.end());
    QCOMPARE(ids, expected);
    for (int row = 0; row < m_s->data.rowCount(); ++row)
        QCOMPARE(m_s->data.text(row, 1), QStringLiteral("n") + m_s->data.text(row, 0));

    QCOMPARE(visible.count(), 2); // hidden while filled, shown after
    QCOMPARE(visible.at(0).at(0).toBool(), false);
    QCOMPARE(visible.at(1).at(0).toBool(), true);
    QVERIFY(!m_s->module->busy());
}

void TestTableViews::hardLimitNotANumberLeavesGridHidden()
{
    m_s->program.DBHL = true;
    m_s->program.DBL = QStringLiteral("abc");
    m_s->definition.appendRow(QStringList{QStringLiteral("stale")});
    m_s->status.appendRow(QStringList{QStringLiteral("old status")});
    QSignalSpy visible(m_s->module.get(), &TDMstd::dataGridVisibleChanged);
    m_s->module->OpenTable(QStringLiteral("t40  ( 40 )"), QStringLiteral("tv"));
    settle();
    QCOMPARE(m_s->log.lines().size(), 1);
    QVERIFY2(m_s->log.lines().at(0).contains(QStringLiteral("abc")), qPrintable(m_s->log.lines().at(0)));
    QCOMPARE(visible.count(), 1);
    QCOMPARE(visible.at(0).at(0).toBool(), false);
    QCOMPARE(m_s->data.rowCount(), 0);
    // The definition already shows the new table; the later grids are untouched.
    QCOMPARE(column(m_s->definition, 0), (QStringList{QStringLiteral("id"), QStringLiteral("name")}));
    QCOMPARE(column(m_s->status, 0), QStringList{QStringLiteral("old status")});
    QVERIFY(!m_s->module->busy());
}

void TestTableViews::dataGridSortsCaptionsAsText()
{
    m_s->module->OpenTable(QStringLiteral("textkeys  ( 3 )"), QStringLiteral("tv"));
    settle();
    QCOMPARE(errorLines(m_s->log), QStringList());
    QCOMPARE(column(m_s->data, 0), (QStringList{QStringLiteral("10"), QStringLiteral("100"), QStringLiteral("9")}));
    QCOMPARE(m_s->data.sortColumn(), 0);
}

void TestTableViews::nullAndEmptyCells()
{
    m_s->module->OpenTable(QStringLiteral("textkeys"), QStringLiteral("tv"));
    settle();
    QCOMPARE(m_s->data.rowCount(), 3);
    // Rows in text order: 10, 100, 9.
    QCOMPARE(m_s->data.text(0, 1), QStringLiteral("ten"));
    QCOMPARE(m_s->data.text(1, 1), QString());
    QVERIFY(!m_s->data.isNull(1, 1)); // empty text
    QVERIFY(m_s->data.isNull(1, 2));  // NULL
    QCOMPARE(m_s->data.text(2, 1), QString());
    QVERIFY(m_s->data.isNull(2, 1));
    QCOMPARE(m_s->data.data(m_s->data.index(2, 1)).toString(), QString());
    // The definition grid: a NULL default stays apart from text.
    QCOMPARE(m_s->definition.rowCount(), 3);
    QCOMPARE(m_s->definition.text(1, 1), QStringLiteral("varchar(10)"));
    QCOMPARE(m_s->definition.text(1, 2), QStringLiteral("YES"));
    QVERIFY(m_s->definition.isNull(1, 4));
    // Each row holds the caption and result columns 1 to 6, the last one
    // past DESCRIBE's columns: one cell more than the window's grid shows.
    for (int row = 0; row < m_s->definition.rowCount(); ++row)
        QCOMPARE(m_s->definition.cellCount(row), 7);
    const GridSnapshot definition = m_s->definition.snapshot();
    QCOMPARE(definition.cell(1, 5), QByteArrayView(""));
    QVERIFY(!definition.isNull(1, 6));
}

void TestTableViews::oddNamesOpen_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("id");
    QTest::newRow("reserved word") << "order" << "1";
    QTest::newRow("blank") << "my table" << "2";
    QTest::newRow("dash") << "dash-name" << "3";
    QTest::newRow("backtick") << "tick`name" << "4";
    QTest::newRow("underscore") << "under_score" << "5";
    QTest::newRow("percent") << "per%cent" << "7";
    QTest::newRow("double quote") << "quote\"d" << "9";
}

void TestTableViews::oddNamesOpen()
{
    QFETCH(QString, table);
    QFETCH(QString, id);
    m_s->module->OpenTable(TableNodeText(table, QStringLiteral("1")), QStringLiteral("tv"));
    settle();
    QCOMPARE(errorLines(m_s->log), QStringList());
    QCOMPARE(column(m_s->data, 0), QStringList{id});
    QCOMPARE(column(m_s->definition, 0), QStringList{QStringLiteral("id")});
    // The status grid shows the opened table, not a LIKE-alike (underXscore, perXXcent).
    QCOMPARE(statusValue(m_s->status, QStringLiteral("Name")), table);
    QCOMPARE(m_s->index.rowCount(), 0);
}

void TestTableViews::statusGridReadsColumnsByName()
{
    m_s->module->OpenTable(QStringLiteral("t250  ( 250 )"), QStringLiteral("tv"));
    settle();
    QCOMPARE(errorLines(m_s->log), QStringList());
    const QStringList captions = {
        "Name", "Type", "Row format", "Rows", "Agv row length", "Data lenght", "Max data lenght",
        "Index lenght", "Data free", "Auto increment", "Create time", "Update time", "Check time",
        "Create options", "Comment",
    };
    QCOMPARE(column(m_s->status, 0), captions);
    QCOMPARE(statusValue(m_s->status, QStringLiteral("Name")), QStringLiteral("t250"));
    QCOMPARE(statusValue(m_s->status, QStringLiteral("Type")), QStringLiteral("MyISAM"));
    QCOMPARE(statusValue(m_s->status, QStringLiteral("Row format")), QStringLiteral("Dynamic"));
    QCOMPARE(statusValue(m_s->status, QStringLiteral("Rows")), QStringLiteral("250"));
    QCOMPARE(statusValue(m_s->status, QStringLiteral("Data free")), QStringLiteral("0"));
    QVERIFY(m_s->status.isNull(9, 1)); // no auto increment column
    QVERIFY(QDateTime::fromString(statusValue(m_s->status, QStringLiteral("Create time")),
                                  QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                .isValid());
    QCOMPARE(statusValue(m_s->status, QStringLiteral("Comment")), QStringLiteral("two fifty"));
}

void TestTableViews::indexGridReadsColumnsByName()
{
    m_s->module->OpenTable(QStringLiteral("idx  ( 2 )"), QStringLiteral("tv"));
    settle();
    QCOMPARE(errorLines(m_s->log), QStringList());
    QCOMPARE(m_s->index.rowCount(), 2);
    QCOMPARE(m_s->index.columnCount(), 0); // the window sets its captions
    const QStringList primary = {"idx", "0", "PRIMARY", "1", "a", "A", "2", "", "", ""};
    const QStringList kb = {"idx", "1", "kb", "1", "b", "A", "2", "", "", ""};
    for (int c = 0; c < 10; ++c) {
        if (c == 6)
            continue; // cardinality: the engine's estimate
        QCOMPARE(m_s->index.text(0, c), primary.at(c));
        QCOMPARE(m_s->index.text(1, c), kb.at(c));
    }
    // Sub part and Packed are NULL; the last column is Comment, not Null ("YES").
    QVERIFY(m_s->index.isNull(1, 7));
    QVERIFY(!m_s->index.isNull(1, 9));
}

void TestTableViews::plainListingSkipsStatus()
{
    const QList<QStandardItem *> found = m_s->tree.findItems(QStringLiteral("tv"));
    QCOMPARE(found.size(), 1); // listed at login
    QStandardItem *node = found.first();
    m_s->selection.setCurrentIndex(node->index(), QItemSelectionModel::ClearAndSelect);
    m_s->module->ListTablesWithStatus(QStringLiteral("tv"));
    settle();
    QCOMPARE(node->rowCount(), 18);
    bool sawOrder = false;
    for (int row = 0; row < node->rowCount(); ++row) {
        if (node->child(row)->text() == QStringLiteral("order  ( 1 )"))
            sawOrder = true;
        QCOMPARE(TableNameFromNodeText(node->child(row)->text()), node->child(row)->data(TDMstd::TableNameRole).toString());
    }
    QVERIFY(sawOrder);

    m_s->module->ListTablesPlain();
    settle();
    QVERIFY(m_s->module->NoTableStatus());
    QCOMPARE(node->rowCount(), 18);
    for (int row = 0; row < node->rowCount(); ++row) // bare names now
        QCOMPARE(node->child(row)->text(), node->child(row)->data(TDMstd::TableNameRole).toString());
    QCOMPARE(node->child(0)->text(), QStringLiteral("%"));

    m_s->status.appendRow(QStringList{QStringLiteral("kept"), QStringLiteral("x")});
    m_s->module->OpenTable(QStringLiteral("idx"), QStringLiteral("tv"));
    settle();
    QCOMPARE(errorLines(m_s->log), QStringList());
    QCOMPARE(m_s->data.rowCount(), 2);
    QCOMPARE(column(m_s->status, 0), QStringList{QStringLiteral("kept")});
    QCOMPARE(m_s->index.rowCount(), 2);
}

void TestTableViews::singleViews()
{
    m_s->data.setColumns({QStringLiteral("keep")});
    m_s->data.appendRow(QStringList{QStringLiteral("row")});
    m_s->module->ShowTableDefinition(QStringLiteral("idx"), QStringLiteral("tv"));
    settle();
    QCOMPARE(column(m_s->definition, 0), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    QCOMPARE(m_s->definition.text(0, 3), QStringLiteral("PRI"));
    QCOMPARE(m_s->data.rowCount(), 1); // the data grid is the command's business
    QCOMPARE(m_s->module->ColumnCount(), 0);

    m_s->module->ShowTableStatus(QStringLiteral("under_score"), QStringLiteral("tv"));
    settle();
    QCOMPARE(statusValue(m_s->status, QStringLiteral("Name")), QStringLiteral("under_score"));

    m_s->module->ShowTableIndex(QStringLiteral("idx"), QStringLiteral("tv"));
    settle();
    QCOMPARE(column(m_s->index, 2), (QStringList{QStringLiteral("PRIMARY"), QStringLiteral("kb")}));

    // A table the server does not have: one error line, the grids keep their rows.
    m_s->module->ShowTableIndex(QStringLiteral("nosuch"), QStringLiteral("tv"));
    settle();
    QCOMPARE(errorLines(m_s->log).size(), 1);
    QVERIFY2(errorLines(m_s->log).at(0).contains(QStringLiteral("nosuch")), qPrintable(m_s->log.lines().at(0)));
    QCOMPARE(m_s->index.rowCount(), 2);
    QCOMPARE(m_s->module->CurrentTable(), QString());
    QVERIFY(!m_s->module->busy());
}

void TestTableViews::droppedDatabaseChangesNothing()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE DATABASE gone; CREATE TABLE gone.t (v INT);")));
    m_s->module->RefreshDatabaseList();
    settle();
    m_s->module->OpenTable(QStringLiteral("t40  ( 40 )"), QStringLiteral("tv"));
    settle();
    QCOMPARE(m_s->data.rowCount(), 40);
    // Another session drops the database the tree still shows.
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("DROP DATABASE gone;")));
    const QList<QStandardItem *> found = m_s->tree.findItems(QStringLiteral("gone"));
    QCOMPARE(found.size(), 1);
    QStandardItem *gone = found.first();
    m_s->selection.setCurrentIndex(gone->index(), QItemSelectionModel::ClearAndSelect);
    m_s->log.clear();
    m_s->module->ListTablesWithStatus(QStringLiteral("gone"));
    settle();
    QCOMPARE(gone->rowCount(), 0); // not the tables of the database current before
    QCOMPARE(errorLines(m_s->log).size(), 1);
    QVERIFY2(errorLines(m_s->log).at(0).contains(QStringLiteral("gone")), qPrintable(m_s->log.lines().join('|')));

    m_s->log.clear();
    m_s->module->OpenTable(QStringLiteral("t"), QStringLiteral("gone"));
    settle();
    QCOMPARE(errorLines(m_s->log).size(), 1);
    QVERIFY2(errorLines(m_s->log).at(0).contains(QStringLiteral("gone")), qPrintable(m_s->log.lines().join('|')));
    // No grid shows another table under the dropped one's name.
    QCOMPARE(m_s->data.rowCount(), 40);
    QCOMPARE(column(m_s->definition, 0), (QStringList{QStringLiteral("id"), QStringLiteral("name")}));
    QVERIFY(!m_s->module->busy());
}

void TestTableViews::invisibleColumnsStayUnderTheirCaptions()
{
    m_s->module->OpenTable(QStringLiteral("inv  ( 1 )"), QStringLiteral("tv"));
    settle();
    QCOMPARE(errorLines(m_s->log), QStringList());
    QCOMPARE(m_s->data.columnCount(), 3);
    QCOMPARE(m_s->data.columnCaption(1), QStringLiteral("h"));
    QCOMPARE(m_s->data.text(0, 0), QStringLiteral("1"));
    QCOMPARE(m_s->data.text(0, 1), QStringLiteral("2"));
    QCOMPARE(m_s->data.text(0, 2), QStringLiteral("3"));
}

void TestTableViews::statusMatchesExactlyInEverySqlMode_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("id");
    const QStringList modes = {QStringLiteral(""), QStringLiteral("ANSI_QUOTES"),
                               QStringLiteral("NO_BACKSLASH_ESCAPES"),
                               QStringLiteral("ANSI_QUOTES,NO_BACKSLASH_ESCAPES")};
    const QList<QPair<QString, QString>> tables = {
        {QStringLiteral("under_score"), QStringLiteral("5")}, {QStringLiteral("%"), QStringLiteral("11")},
        {QStringLiteral("quote\"d"), QStringLiteral("9")},   {QStringLiteral("back\\slash"), QStringLiteral("10")},
        {QStringLiteral("\\"), QStringLiteral("12")},       {QStringLiteral("q'uote"), QStringLiteral("13")},
    };
    for (const QString &mode : modes) {
        for (const auto &table : tables) {
            QTest::addRow("%s %s", qPrintable(mode.isEmpty() ? QStringLiteral("default") : mode), qPrintable(table.first))
                << mode << table.first << table.second;
        }
    }
}

void TestTableViews::statusMatchesExactlyInEverySqlMode()
{
    QFETCH(QString, mode);
    QFETCH(QString, table);
    QFETCH(QString, id);
    m_s->module->RunStatement(QStringLiteral("set session sql_mode = '") + mode + QLatin1Char('\''));
    settle();
    m_s->log.clear();
    m_s->module->OpenTableNamed(table, QStringLiteral("tv"));
    settle();
    QCOMPARE(errorLines(m_s->log), QStringList());
    QCOMPARE(column(m_s->data, 0), QStringList{id});
    QCOMPARE(statusValue(m_s->status, QStringLiteral("Name")), table);
    m_s->module->ShowTableStatus(table, QStringLiteral("tv"));
    settle();
    QCOMPARE(errorLines(m_s->log), QStringList());
    QCOMPARE(statusValue(m_s->status, QStringLiteral("Name")), table);
}

QTEST_GUILESS_MAIN(TestTableViews)
#include "tst_tableviews.moc"

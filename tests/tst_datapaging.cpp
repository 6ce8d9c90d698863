#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "tests/support/generallog.h"
#include "tests/support/modulesession.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"

#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// Rows past the row limit: what the data grid tells of its table, and
// "Show all" / "Next" in both limit modes, against a private server.
class TestDataPaging : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void normalModeReadsOnlyWhatItShows_data();
    void normalModeReadsOnlyWhatItShows();
    void hardModeReadsFurtherRows_data();
    void hardModeReadsFurtherRows();
    void hardModeShowAllReadsTheWholeTable();
    void limitWorthOfRowsIsAll_data();
    void limitWorthOfRowsIsAll();
    void afterADeletedRowFurtherRowsComeFromTheServer();
    void emptiedGridHasNothingToPage();
    void appendedBinaryRowsShowAsHex();

private:
    using Session = ModuleSession;
    void open(const QString &table, bool hard, const QString &limit = QStringLiteral("100"));
    QStringList statements() const;
    std::unique_ptr<Session> m_s;
};

namespace {

QSet<QString> ids(const GridModel &grid)
{
    QSet<QString> texts;
    for (int row = 0; row < grid.rowCount(); ++row)
        texts.insert(grid.text(row, 0));
    return texts;
}

QSet<QString> range(int from, int to)
{
    QSet<QString> texts;
    for (int i = from; i <= to; ++i)
        texts.insert(QString::number(i));
    return texts;
}

} // namespace

void TestDataPaging::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral(
                            "CREATE DATABASE pg; USE pg;"
                            "CREATE TABLE m250 (id INT PRIMARY KEY, name VARCHAR(20)) ENGINE=MyISAM;"
                            "INSERT INTO m250 SELECT seq, CONCAT('n', seq) FROM seq_1_to_250;"
                            "CREATE TABLE a250 (id INT PRIMARY KEY, name VARCHAR(20)) ENGINE=Aria;"
                            "INSERT INTO a250 SELECT seq, CONCAT('n', seq) FROM seq_1_to_250;"
                            "CREATE TABLE i250 (id INT PRIMARY KEY, name VARCHAR(20)) ENGINE=InnoDB;"
                            "INSERT INTO i250 SELECT seq, CONCAT('n', seq) FROM seq_1_to_250;"
                            "CREATE TABLE m100 (id INT PRIMARY KEY) ENGINE=MyISAM;"
                            "INSERT INTO m100 SELECT seq FROM seq_1_to_100;"
                            "CREATE TABLE bin (id INT PRIMARY KEY, b VARBINARY(8)) ENGINE=MyISAM;"
                            "INSERT INTO bin SELECT seq, CONCAT(CHAR(seq), X'00', 'z') FROM seq_1_to_150;"),
                        nullptr, &error),
             qPrintable(error));
    QVERIFY2(enableGeneralLog(server, &error), qPrintable(error));
}

void TestDataPaging::init()
{
    m_s = std::make_unique<Session>();
    QVERIFY(m_s->module->ConnectProfile());
    settle();
    QVERIFY2(m_s->module->ActiveClient()->Connected(), qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
    m_s->log.clear();
}

void TestDataPaging::cleanup()
{
    m_s.reset();
}

void TestDataPaging::open(const QString &table, bool hard, const QString &limit)
{
    m_s->program.DBHL = hard;
    m_s->program.DBL = limit;
    m_s->module->OpenTableNamed(table, QStringLiteral("pg"));
    settle();
}

QStringList TestDataPaging::statements() const
{
    return generalLog(PrivateServer::shared(), m_s->module->ActiveClient()->ConnectionId());
}

void TestDataPaging::normalModeReadsOnlyWhatItShows_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<bool>("exact");
    QTest::newRow("MyISAM") << "m250" << true;
    QTest::newRow("InnoDB") << "i250" << false;
}

void TestDataPaging::normalModeReadsOnlyWhatItShows()
{
    QFETCH(QString, table);
    QFETCH(bool, exact);
    clearGeneralLog(PrivateServer::shared());
    QSignalSpy changed(m_s->module.get(), &TDMstd::dataGridRowsChanged);
    open(table, false);
    // The server sends the limit and one row more, which tells that the
    // table holds more; the rest of the table is not read.
    const QString select = QStringLiteral("select id,name from %1").arg(table);
    QVERIFY2(statements().contains(select + QStringLiteral(" LIMIT 101")),
             qPrintable(statements().join(QLatin1Char('\n'))));
    QVERIFY(!statements().contains(select));
    TDataGridRows rows = m_s->module->DataGridRows();
    QVERIFY(!changed.isEmpty());
    QCOMPARE(rows.shown, 100);
    QCOMPARE(rows.limit, 100);
    QVERIFY(rows.more);
    if (exact) {
        QCOMPARE(rows.total, 250);
        QVERIFY(!rows.estimate);
    } else if (rows.total >= 0) {
        QVERIFY(rows.estimate && rows.total > 100);
    }
    // The first rows the server sends, sorted by their captions as text.
    QCOMPARE(m_s->data.rowCount(), 100);
    QCOMPARE(ids(m_s->data), range(1, 100));
    QCOMPARE(m_s->data.text(0, 0), QStringLiteral("1"));
    QCOMPARE(m_s->data.text(1, 0), QStringLiteral("10"));
    QCOMPARE(m_s->data.text(1, 1), QStringLiteral("n10"));

    m_s->module->ShowNextRows();
    settle();
    QVERIFY(statements().contains(select + QStringLiteral(" LIMIT 100 OFFSET 100")));
    rows = m_s->module->DataGridRows();
    QCOMPARE(rows.shown, 200);
    QVERIFY(rows.more);
    QCOMPARE(ids(m_s->data), range(1, 200));

    m_s->module->ShowAllRows();
    settle();
    QVERIFY(statements().contains(select));
    rows = m_s->module->DataGridRows();
    QCOMPARE(rows.shown, 250);
    QCOMPARE(rows.total, 250);
    QVERIFY(!rows.more);
    QCOMPARE(ids(m_s->data), range(1, 250));
    QCOMPARE(m_s->data.text(249, 1), QStringLiteral("n99"));
    // Nothing more to show: the commands do nothing.
    const qsizetype sent = statements().size();
    m_s->module->ShowNextRows();
    settle();
    QCOMPARE(m_s->data.rowCount(), 250);
    QCOMPARE(statements().size(), sent);
}

void TestDataPaging::hardModeReadsFurtherRows_data()
{
    QTest::addColumn<QString>("table");
    QTest::newRow("MyISAM") << "m250";
    QTest::newRow("Aria") << "a250";
}

void TestDataPaging::hardModeReadsFurtherRows()
{
    // Engines that count their rows: the total is exact.
    QFETCH(QString, table);
    clearGeneralLog(PrivateServer::shared());
    open(table, true);
    TDataGridRows rows = m_s->module->DataGridRows();
    QCOMPARE(rows.shown, 100);
    QCOMPARE(rows.total, 250);
    QVERIFY(!rows.estimate);
    QVERIFY(rows.more);

    m_s->module->ShowNextRows();
    settle();
    const QString select = QStringLiteral("select id,name from %1").arg(table);
    QVERIFY2(statements().contains(select + QStringLiteral(" LIMIT 100 OFFSET 100")),
             qPrintable(statements().join(QLatin1Char('\n'))));
    rows = m_s->module->DataGridRows();
    QCOMPARE(rows.shown, 200);
    QVERIFY(rows.more);
    QCOMPARE(ids(m_s->data), range(1, 200));

    // The last page holds fewer rows than asked for: that is all.
    m_s->module->ShowNextRows();
    settle();
    QVERIFY(statements().contains(select + QStringLiteral(" LIMIT 100 OFFSET 200")));
    rows = m_s->module->DataGridRows();
    QCOMPARE(rows.shown, 250);
    QCOMPARE(rows.total, 250);
    QVERIFY(!rows.more);
    QCOMPARE(ids(m_s->data), range(1, 250));
    QCOMPARE(m_s->data.rowCount(), 250);
}

void TestDataPaging::hardModeShowAllReadsTheWholeTable()
{
    clearGeneralLog(PrivateServer::shared());
    open(QStringLiteral("i250"), true);
    TDataGridRows rows = m_s->module->DataGridRows();
    QCOMPARE(rows.shown, 100);
    QVERIFY(rows.more);
    // InnoDB's count is an estimate; one below what is shown says nothing.
    if (rows.total >= 0)
        QVERIFY(rows.estimate && rows.total > 100);

    m_s->module->ShowAllRows();
    settle();
    QVERIFY(statements().contains(QStringLiteral("select id,name from i250")));
    rows = m_s->module->DataGridRows();
    QCOMPARE(rows.shown, 250);
    QCOMPARE(rows.total, 250);
    QVERIFY(!rows.estimate);
    QVERIFY(!rows.more);
    QCOMPARE(ids(m_s->data), range(1, 250));
}

void TestDataPaging::limitWorthOfRowsIsAll_data()
{
    QTest::addColumn<bool>("hard");
    QTest::newRow("hard") << true;
    QTest::newRow("normal") << false;
}

void TestDataPaging::limitWorthOfRowsIsAll()
{
    QFETCH(bool, hard);
    open(QStringLiteral("m100"), hard);
    const TDataGridRows rows = m_s->module->DataGridRows();
    QCOMPARE(rows.shown, 100);
    QCOMPARE(rows.total, 100);
    QVERIFY(!rows.more);
    open(QStringLiteral("m250"), hard, QStringLiteral("400"));
    QCOMPARE(m_s->module->DataGridRows().shown, 250);
    QVERIFY(!m_s->module->DataGridRows().more);
}

void TestDataPaging::afterADeletedRowFurtherRowsComeFromTheServer()
{
    QString error;
    QVERIFY2(PrivateServer::shared().sql(
                 QStringLiteral("DROP TABLE IF EXISTS pg.del;"
                                "CREATE TABLE pg.del (id INT PRIMARY KEY, name VARCHAR(20)) ENGINE=MyISAM;"
                                "USE pg; INSERT INTO pg.del SELECT seq, CONCAT('n', seq) FROM seq_1_to_250;"),
                 nullptr, &error),
             qPrintable(error));
    open(QStringLiteral("del"), false);
    int row = -1;
    for (int r = 0; r < m_s->data.rowCount() && row < 0; ++r) {
        if (m_s->data.text(r, 0) == QLatin1String("5"))
            row = r;
    }
    QVERIFY(row >= 0);
    QVERIFY(m_s->module->DeleteRow(row, QStringLiteral("del"), QStringLiteral("pg")));
    settle();
    QCOMPARE(m_s->data.rowCount(), 99);
    TDataGridRows rows = m_s->module->DataGridRows();
    QCOMPARE(rows.shown, 99);
    QCOMPARE(rows.total, 249);
    QVERIFY(rows.more);
    // The server's offset no longer counts the deleted row.
    clearGeneralLog(PrivateServer::shared());
    m_s->module->ShowNextRows();
    settle();
    QVERIFY(statements().contains(QStringLiteral("select id,name from del LIMIT 100 OFFSET 99")));
    QSet<QString> expected = range(1, 200);
    expected.remove(QStringLiteral("5"));
    QCOMPARE(ids(m_s->data), expected);
    QCOMPARE(m_s->data.rowCount(), 199);
}

void TestDataPaging::emptiedGridHasNothingToPage()
{
    open(QStringLiteral("m250"), true);
    QVERIFY(m_s->module->DataGridRows().more);
    QSignalSpy changed(m_s->module.get(), &TDMstd::dataGridRowsChanged);
    // A table command empties the grid (the window does it).
    m_s->data.clear();
    QCOMPARE(changed.size(), 1);
    QVERIFY(!m_s->module->DataGridRows().more);
    QCOMPARE(m_s->module->DataGridRows().shown, 0);
    clearGeneralLog(PrivateServer::shared());
    m_s->module->ShowNextRows();
    m_s->module->ShowAllRows();
    settle();
    QCOMPARE(m_s->data.rowCount(), 0);
    QCOMPARE(statements(), QStringList());
}

void TestDataPaging::appendedBinaryRowsShowAsHex()
{
    open(QStringLiteral("bin"), true);
    QCOMPARE(m_s->data.rowCount(), 100);
    m_s->module->ShowNextRows();
    settle();
    QCOMPARE(m_s->data.rowCount(), 150);
    for (int row = 0; row < m_s->data.rowCount(); ++row) {
        if (m_s->data.text(row, 0) != QLatin1String("120"))
            continue;
        QCOMPARE(m_s->data.text(row, 1), QStringLiteral("0x78007A"));
        QCOMPARE(m_s->data.bytes(row, 1), QByteArray("x\0z", 3));
        return;
    }
    QFAIL("row 120 is missing");
}

QTEST_GUILESS_MAIN(TestDataPaging)
#include "tst_datapaging.moc"

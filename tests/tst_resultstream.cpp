#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/rowstore.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "tests/support/modulesession.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

#include <unistd.h>

// Results that stream from the server into a row store: the query grid and
// the data grid after "Show all" against a private server, with budgets small
// enough that ten thousand rows go to a temporary file.
class TestResultStream : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void queryGridReadsAndSortsEveryRow_data();
    void queryGridReadsAndSortsEveryRow();
    void showAllStreamsIntoTheDataGrid_data();
    void showAllStreamsIntoTheDataGrid();
    void stopDuringAStreamLeavesTheConnectionUsable();
    void manyResultSetsKeepTheNewest();
    void temporaryFileGoesWithTheRows();

private:
    void run(const QString &script);
    std::unique_ptr<ModuleSession> m_s;
    // The process's temporary folder, its own: the row files are the only
    // files opened there.
    std::unique_ptr<QTemporaryDir> m_temp;
};

namespace {

constexpr int Rows = 10000;

// The text of row `seq` in the column `wide` of table t.
QString wideText(int seq)
{
    return QStringLiteral("w%1-").arg((seq * 7919) % Rows, 5, 10, QLatin1Char('0')) + QString(150, QLatin1Char('x'));
}

const RowStore *storeOf(const GridModel &grid)
{
    return dynamic_cast<const RowStore *>(grid.rowSource().get());
}

// Descriptors of this process that lead to a row store's temporary file.
QStringList openFiles()
{
    QStringList targets;
    const QStringList fds = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : fds) {
        char target[4096];
        const QByteArray path = QFile::encodeName(QStringLiteral("/proc/self/fd/") + fd);
        const ssize_t length = ::readlink(path.constData(), target, sizeof target);
        if (length > 0)
            targets.append(QString::fromLocal8Bit(target, int(length)));
    }
    return targets;
}

// The files of this process in the temporary folder; a file without a name
// there shows as the folder, "#" and a number, and " (deleted)".
QStringList openTemporaryFiles()
{
    QStringList found;
    const QString folder = QDir(QDir::tempPath()).canonicalPath() + QLatin1Char('/');
    for (const QString &target : openFiles()) {
        if (target.startsWith(folder))
            found.append(target);
    }
    return found;
}

int openRowFiles()
{
    return int(openTemporaryFiles().size());
}

} // namespace

void TestResultStream::initTestCase()
{
    m_temp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_temp->isValid());
    qputenv("TMPDIR", QFile::encodeName(m_temp->path()));
    QCOMPARE(QDir::tempPath(), m_temp->path());
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    // wide: a permutation of the row numbers, and 150 bytes more, so that
    // the rows take well over a megabyte; b: bytes shown as hex, NULL in
    // every seventh row.
    QVERIFY2(server.sql(QStringLiteral("CREATE DATABASE rs; USE rs;"
                                       "CREATE TABLE t (id INT PRIMARY KEY, wide VARCHAR(200), b VARBINARY(4))"
                                       " ENGINE=MyISAM;"
                                       "INSERT INTO t SELECT seq, CONCAT('w', LPAD((seq * 7919) MOD %1, 5, '0'), '-',"
                                       " REPEAT('x', 150)), IF(seq MOD 7 = 0, NULL, CONCAT(X'00', CHAR(seq MOD 200)))"
                                       " FROM seq_1_to_%1;")
                                    .arg(Rows),
                        nullptr, &error),
             qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral("DELIMITER //\n"
                                       "CREATE PROCEDURE rs.many() BEGIN DECLARE i INT DEFAULT 1;"
                                       " WHILE i <= 60 DO SELECT i AS n; SET i = i + 1; END WHILE; END//\n"
                                       "DELIMITER ;\n"),
                        nullptr, &error),
             qPrintable(error));
}

void TestResultStream::init()
{
    m_s = std::make_unique<ModuleSession>();
    QVERIFY(m_s->module->ConnectProfile());
    settle();
    QVERIFY2(m_s->module->ActiveClient()->Connected(), qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
    m_s->log.clear();
}

void TestResultStream::cleanup()
{
    m_s.reset();
}

void TestResultStream::run(const QString &script)
{
    m_s->module->ExecuteScript(QStringLiteral("rs"), script);
    settle();
}

void TestResultStream::queryGridReadsAndSortsEveryRow_data()
{
    QTest::addColumn<QString>("budget"); // megabytes
    QTest::addColumn<bool>("spills");
    QTest::newRow("in memory") << "256" << false;
    QTest::newRow("spilled") << "1" << true;
}

void TestResultStream::queryGridReadsAndSortsEveryRow()
{
    QFETCH(QString, budget);
    QFETCH(bool, spills);
    m_s->program.ResultMemory = budget;
    run(QStringLiteral("SELECT id, wide, b FROM t ORDER BY id"));
    GridModel &grid = m_s->query;
    QCOMPARE(grid.rowCount(), Rows);
    QCOMPARE(grid.columnCount(), 3);
    QCOMPARE(grid.columnCaption(1), QStringLiteral("wide"));
    const RowStore *store = storeOf(grid);
    QVERIFY(store);
    QCOMPARE(store->spilled(), spills);
    // Row for row as the server sent them.
    for (int row = 0; row < Rows; ++row) {
        const int seq = row + 1;
        QCOMPARE(grid.text(row, 0), QString::number(seq));
        QCOMPARE(grid.text(row, 1), wideText(seq));
        if (seq % 7 == 0) {
            QVERIFY(grid.isNull(row, 2));
        } else {
            QVERIFY(!grid.isNull(row, 2));
            QCOMPARE(grid.bytes(row, 2), QByteArray("\0", 1) + char(seq % 200));
        }
    }
    // A header click sorts by the text of all rows, those in the file too,
    // on a worker; with a small budget the keys go through the file as well.
    grid.sort(1, Qt::DescendingOrder);
    QTRY_VERIFY_WITH_TIMEOUT(!grid.sortRunning(), 30000);
    QVERIFY2(grid.sortError().isEmpty(), qPrintable(grid.sortError()));
    QCOMPARE(grid.lastSortRuns() > 1, spills);
    QStringList expected;
    for (int seq = 1; seq <= Rows; ++seq)
        expected.append(wideText(seq));
    std::sort(expected.begin(), expected.end(), std::greater<QString>());
    for (int row = 0; row < Rows; ++row) {
        QCOMPARE(grid.text(row, 1), expected.at(row));
        // The row's other cells travel with it.
        QCOMPARE(wideText(grid.text(row, 0).toInt()), expected.at(row));
    }
    // A copy for a writer reads the same rows.
    const GridSnapshot shot = grid.snapshot();
    QCOMPARE(shot.rowCount(), Rows);
    QCOMPARE(QString::fromUtf8(shot.cell(Rows - 1, 1).toByteArray()), expected.last());
}

void TestResultStream::showAllStreamsIntoTheDataGrid_data()
{
    queryGridReadsAndSortsEveryRow_data();
}

void TestResultStream::showAllStreamsIntoTheDataGrid()
{
    QFETCH(QString, budget);
    QFETCH(bool, spills);
    m_s->program.ResultMemory = budget;
    m_s->program.DBHL = false;
    m_s->program.DBL = QStringLiteral("100");
    m_s->module->OpenTableNamed(QStringLiteral("t"), QStringLiteral("rs"));
    settle();
    QCOMPARE(m_s->data.rowCount(), 100);
    QVERIFY(m_s->module->DataGridRows().more);
    m_s->module->ShowAllRows();
    settle();
    GridModel &grid = m_s->data;
    QCOMPARE(grid.rowCount(), Rows);
    const RowStore *store = storeOf(grid);
    QVERIFY(store);
    QCOMPARE(store->spilled(), spills);
    const TDataGridRows rows = m_s->module->DataGridRows();
    QCOMPARE(rows.shown, Rows);
    QVERIFY(!rows.more);
    // Sorted by the first column's text, as the grid shows a table (once
    // the sort's worker is done).
    QTRY_VERIFY_WITH_TIMEOUT(!grid.sortRunning(), 30000);
    QCOMPARE(grid.sortColumn(), 0);
    QStringList ids;
    for (int seq = 1; seq <= Rows; ++seq)
        ids.append(QString::number(seq));
    std::sort(ids.begin(), ids.end());
    for (int row = 0; row < Rows; ++row) {
        QCOMPARE(grid.text(row, 0), ids.at(row));
        QCOMPARE(grid.text(row, 1), wideText(ids.at(row).toInt()));
    }
    // Binary cells show as hex, as in the first rows.
    QCOMPARE(grid.text(0, 2), QStringLiteral("0x0001"));
}

void TestResultStream::stopDuringAStreamLeavesTheConnectionUsable()
{
    m_s->program.ResultMemory = QStringLiteral("1");
    // Far more rows than are read before the stop.
    m_s->module->ExecuteScript(QStringLiteral("rs"),
                               QStringLiteral("SELECT a.seq, REPEAT('y', 100) FROM seq_1_to_100000 a, seq_1_to_1000 b"));
    // The first rows show while the server is still sending.
    QTRY_VERIFY_WITH_TIMEOUT(m_s->query.rowCount() > 0, 30000);
    QVERIFY(m_s->module->statementsRunning());
    QCOMPARE(m_s->query.columnCount(), 2);
    m_s->module->Stop();
    QTRY_VERIFY_WITH_TIMEOUT(!m_s->module->statementsRunning(), 60000);
    settle();
    const int kept = m_s->query.rowCount();
    QVERIFY(kept > 0 && kept < 100000000);
    QVERIFY2(m_s->log.lines().join(QLatin1Char('|')).contains(QLatin1String("interrupted")),
             qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
    // The rows read before the stop stay readable, and are the run's result.
    QCOMPARE(m_s->query.text(kept - 1, 1), QString(100, QLatin1Char('y')));
    QCOMPARE(m_s->module->RunResults().size(), 1);
    QCOMPARE(m_s->module->RunResults().last().rows, kept);
    // What runs next finds the connection in step.
    m_s->log.clear();
    QTRY_VERIFY_WITH_TIMEOUT(m_s->module->acceptsCommands(), 10000);
    run(QStringLiteral("SELECT 42, 'next'"));
    QVERIFY2(m_s->module->ActiveClient()->Connected(), qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
    QCOMPARE(m_s->query.rowCount(), 1);
    QCOMPARE(m_s->query.text(0, 0), QStringLiteral("42"));
    QCOMPARE(m_s->query.text(0, 1), QStringLiteral("next"));
}

void TestResultStream::manyResultSetsKeepTheNewest()
{
    // A CALL of 60 result sets: the newest 50 are kept, numbered as the
    // server sent them, each with its own rows.
    run(QStringLiteral("call many()"));
    const QList<TQueryRunResult> &results = m_s->module->RunResults();
    QCOMPARE(results.size(), int(TDMstd::MaxRunResults));
    for (int i = 0; i < results.size(); ++i) {
        const int number = i + 11;
        QCOMPARE(results.at(i).number, number);
        QCOMPARE(results.at(i).rows, 1);
        GridModel grid;
        m_s->module->FillRunResultGrid(i, &grid);
        QCOMPARE(grid.columnCaption(0), QStringLiteral("n"));
        QCOMPARE(grid.rowCount(), 1);
        QCOMPARE(grid.text(0, 0), QString::number(number));
    }
    QCOMPARE(m_s->query.text(0, 0), QStringLiteral("60"));
    const QString log = m_s->log.lines().join(QLatin1Char('|'));
    QVERIFY2(log.contains(QStringLiteral("Result 59 \u2013 1 row, Result 60 \u2013 1 row)")), qPrintable(log));
}

void TestResultStream::temporaryFileGoesWithTheRows()
{
    m_s->program.ResultMemory = QStringLiteral("1");
    QCOMPARE(openRowFiles(), 0);
    run(QStringLiteral("SELECT id, wide FROM t"));
    QCOMPARE(m_s->query.rowCount(), Rows);
    QVERIFY(storeOf(m_s->query) && storeOf(m_s->query)->spilled());
    // The file has no name in any folder: only the open descriptor leads to it.
    QVERIFY2(openRowFiles() == 1, qPrintable(openFiles().join(QLatin1Char('|'))));
    for (const QString &target : openTemporaryFiles())
        QVERIFY2(target.endsWith(QLatin1String(" (deleted)")), qPrintable(target));
    QVERIFY(QDir(m_temp->path()).isEmpty());
    // The next result replaces the rows, and their file goes with them.
    run(QStringLiteral("SELECT 1"));
    QCOMPARE(m_s->query.rowCount(), 1);
    QTRY_COMPARE(openRowFiles(), 0);
    run(QStringLiteral("SELECT id, wide FROM t"));
    QCOMPARE(openRowFiles(), 1);
    // Closing the session closes the file too.
    m_s.reset();
    QTRY_COMPARE(openRowFiles(), 0);
    QVERIFY(QDir(m_temp->path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestResultStream)
#include "tst_resultstream.moc"

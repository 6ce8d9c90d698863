#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/sqlnames.h"
#include "data/tdmstd.h"
#include "data/settingsstore.h"
#include "tests/support/generallog.h"
#include "tests/support/modulesession.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"
#include "tests/support/serverqueries.h"

#include <QStandardItemModel>
#include <QTest>

#include <memory>

// Database and table operations of the data module against a private
// server: the statements the server saw, names that need quoting, the tree
// changing only after the server accepted, and deleting exactly the row shown.
class TestOperations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void createAndDropDatabase_data();
    void createAndDropDatabase();
    void createExistingDatabaseAddsNoNode();
    void dropTable_data();
    void dropTable();
    void dropTableRefusedKeepsNode();
    void optimize_data();
    void optimize();
    void lockAndUnlock_data();
    void lockAndUnlock();
    void commentKeptExactly_data();
    void commentKeptExactly();
    void deleteRow_data();
    void deleteRow();
    void deleteRowUsesThePrimaryKey();
    void deleteRowByTextKeyUsesTheIndex_data();
    void deleteRowByTextKeyUsesTheIndex();
    void deleteRowChangedMeanwhileKeepsGridRow();
    void deleteRowRefusedForAnotherTable();
    void deleteRowAfterFlushStaysInItsDatabase();
    void deleteRowFindsTheRowAfterASort();

private:
    using Session = ModuleSession;
    // Waits until the log holds a line after the one that starts with
    // `line` (the outcome of the statement logged there).
    bool waitForOutcomeAfter(const QString &line, int timeout = 20000);
    bool waitForLines(int count, int timeout = 20000);
    // Opens the table in the data grid and waits for its rows.
    bool openTable(const QString &table, const QString &database, int rows);
    bool listTables(const QString &database);
    QStandardItem *databaseNode(const QString &database) const;
    QStandardItem *tableNode(const QString &database, const QString &table) const;
    int gridRow(const QStringList &texts) const;
    QStringList serverRows(const QString &select) const;
    QStringList statements() const;

    std::unique_ptr<Session> m_s;
};

void TestOperations::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(enableGeneralLog(server, &error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral("CREATE DATABASE ops;"), nullptr, &error), qPrintable(error));
}

void TestOperations::init()
{
    m_s = std::make_unique<Session>();
    QVERIFY(m_s->module->ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(m_s->tree.rowCount() > 0, 20000);
    QVERIFY(m_s->module->ActiveClient()->Connected());
    m_s->log.clear();
    clearGeneralLog(PrivateServer::shared());
}

void TestOperations::cleanup()
{
    m_s.reset();
}

bool TestOperations::waitForLines(int count, int timeout)
{
    return QTest::qWaitFor([this, count] { return m_s->log.lines().size() >= count; }, timeout);
}

bool TestOperations::waitForOutcomeAfter(const QString &line, int timeout)
{
    const auto reported = [this, &line] {
        const QStringList lines = m_s->log.lines();
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            if (lines.at(i).startsWith(line))
                return true;
        }
        return false;
    };
    return QTest::qWaitFor(reported, timeout);
}

bool TestOperations::openTable(const QString &table, const QString &database, int rows)
{
    m_s->module->OpenTableNamed(table, database);
    const bool filled = QTest::qWaitFor(
        [&] { return m_s->module->DataGridTable() == table && m_s->data.rowCount() == rows; }, 20000);
    // The status and index statements follow the rows; wait for the last,
    // and for its outcome: a command of the user waits until all are in.
    const bool indexed =
        filled && QTest::qWaitFor([&] { return statements().contains(TDMstd::IndexStatement(table)); }, 20000);
    settle();
    return indexed;
}

bool TestOperations::listTables(const QString &database)
{
    m_s->module->ListTablesWithStatus(database);
    const bool listed =
        QTest::qWaitFor([&] { return databaseNode(database) && databaseNode(database)->rowCount() > 0; }, 20000);
    settle();
    return listed;
}

QStandardItem *TestOperations::databaseNode(const QString &database) const
{
    for (int row = 0; row < m_s->tree.rowCount(); ++row) {
        if (m_s->tree.item(row)->text() == database)
            return m_s->tree.item(row);
    }
    return nullptr;
}

QStandardItem *TestOperations::tableNode(const QString &database, const QString &table) const
{
    QStandardItem *db = databaseNode(database);
    for (int row = 0; db && row < db->rowCount(); ++row) {
        if (db->child(row)->data(TDMstd::TableNameRole).toString() == table)
            return db->child(row);
    }
    return nullptr;
}

int TestOperations::gridRow(const QStringList &texts) const
{
    for (int row = 0; row < m_s->data.rowCount(); ++row) {
        QStringList shown;
        for (int c = 0; c < m_s->data.columnCount(); ++c)
            shown.append(m_s->data.isNull(row, c) ? QStringLiteral("<NULL>") : m_s->data.text(row, c));
        if (shown == texts)
            return row;
    }
    return -1;
}

QStringList TestOperations::serverRows(const QString &select) const
{
    return ::serverRows(PrivateServer::shared(), select);
}

QStringList TestOperations::statements() const
{
    return generalLog(PrivateServer::shared(), m_s->module->ActiveClient()->ConnectionId());
}

// --- Databases ------------------------------------------------------------------

void TestOperations::createAndDropDatabase_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "plain_db" << "plain_db";
    QTest::newRow("reserved word") << "order" << "`order`";
    QTest::newRow("blank") << "my db" << "`my db`";
    QTest::newRow("double quote") << "q\"d" << "`q\"d`";
    QTest::newRow("backtick") << "tick`d" << "`tick``d`";
}

void TestOperations::createAndDropDatabase()
{
    QFETCH(QString, name);
    QFETCH(QString, quoted);
    const int nodes = m_s->tree.rowCount();
    m_s->module->CreateDatabase(name);
    QTRY_COMPARE_WITH_TIMEOUT(m_s->tree.rowCount(), nodes + 1, 20000);
    // At the end of the first level, with nothing logged but the outcome.
    QCOMPARE(m_s->tree.item(nodes)->text(), name);
    QCOMPARE(m_s->log.lines(), QStringList{QString()});
    QCOMPARE(statements(), QStringList{QStringLiteral("CREATE DATABASE ") + quoted});
    QCOMPARE(serverRows(QStringLiteral("SELECT SCHEMA_NAME FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = ")
                        + SqlStringLiteral(name)),
             QStringList{name});

    m_s->log.clear();
    clearGeneralLog(PrivateServer::shared());
    m_s->module->PrepareDatabaseDrop();
    m_s->module->DropDatabase(name);
    QTRY_COMPARE_WITH_TIMEOUT(m_s->tree.rowCount(), nodes, 20000);
    QVERIFY(!databaseNode(name));
    QCOMPARE(m_s->log.lines(),
             (QStringList{QStringLiteral("Prepare for Database drop"), QStringLiteral("Database is droped"), QString()}));
    // No database is made current first.
    QCOMPARE(statements(), QStringList{QStringLiteral("DROP DATABASE ") + quoted});
    QCOMPARE(serverRows(QStringLiteral("SELECT SCHEMA_NAME FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = ")
                        + SqlStringLiteral(name)),
             QStringList());
}

void TestOperations::createExistingDatabaseAddsNoNode()
{
    const int nodes = m_s->tree.rowCount();
    m_s->module->CreateDatabase(QStringLiteral("ops"));
    QVERIFY(waitForLines(1));
    QVERIFY2(m_s->log.lines().first().contains(QLatin1String("database exists")), qPrintable(m_s->log.lines().first()));
    // A later statement's outcome has come back too: no node was added meanwhile.
    m_s->module->RunStatement(QStringLiteral("DO 1"));
    QVERIFY(waitForLines(2));
    QCOMPARE(m_s->tree.rowCount(), nodes);

    // Dropping a database someone else dropped keeps nothing wrong either:
    // the node goes only when the server accepted.
    PrivateServer::shared().sql(QStringLiteral("CREATE DATABASE gone_db;"));
    m_s->module->RefreshDatabaseList();
    QTRY_VERIFY_WITH_TIMEOUT(databaseNode(QStringLiteral("gone_db")), 20000);
    PrivateServer::shared().sql(QStringLiteral("DROP DATABASE gone_db;"));
    m_s->log.clear();
    m_s->module->DropDatabase(QStringLiteral("gone_db"));
    QVERIFY(waitForLines(2));
    QVERIFY2(m_s->log.lines().at(1).contains(QLatin1String("database doesn't exist")), qPrintable(m_s->log.lines().at(1)));
    QVERIFY(databaseNode(QStringLiteral("gone_db")));
}

// --- Tables ---------------------------------------------------------------------

void TestOperations::dropTable_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "plain_t" << "plain_t";
    QTest::newRow("reserved word") << "order" << "`order`";
    QTest::newRow("blank") << "my table" << "`my table`";
    QTest::newRow("double quote") << "q\"t" << "`q\"t`";
    QTest::newRow("backtick") << "tick`t" << "`tick``t`";
}

void TestOperations::dropTable()
{
    QFETCH(QString, table);
    QFETCH(QString, quoted);
    QString error;
    QVERIFY2(PrivateServer::shared().sql(QStringLiteral("CREATE TABLE ops.") + QuoteIdentifier(table)
                                             + QStringLiteral(" (id INT); CREATE TABLE IF NOT EXISTS ops.keep (id INT);"),
                                         nullptr, &error),
             qPrintable(error));
    QVERIFY(listTables(QStringLiteral("ops")));
    QVERIFY(tableNode(QStringLiteral("ops"), table));
    m_s->data.setColumns({QStringLiteral("x")});
    m_s->data.appendRow(QStringList{QStringLiteral("1")});
    m_s->log.clear();
    clearGeneralLog(PrivateServer::shared());

    m_s->module->PrepareTableDrop();
    QCOMPARE(m_s->data.columnCount(), 0); // emptied before the question
    QCOMPARE(m_s->data.rowCount(), 0);
    m_s->module->DropTable(table, QStringLiteral("ops"));
    QTRY_VERIFY_WITH_TIMEOUT(!tableNode(QStringLiteral("ops"), table), 20000);
    QVERIFY(tableNode(QStringLiteral("ops"), QStringLiteral("keep")));
    QCOMPARE(m_s->log.lines(), (QStringList{QStringLiteral("Prepare for Table drop..."),
                                            QStringLiteral("   Table is droped"), QString()}));
    QCOMPARE(statements(), (QStringList{QStringLiteral("USE ops"), QStringLiteral("DROP TABLE ") + quoted}));
    QCOMPARE(serverRows(QStringLiteral("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'ops' "
                                       "AND TABLE_NAME = ")
                        + SqlStringLiteral(table)),
             QStringList());
}

void TestOperations::dropTableRefusedKeepsNode()
{
    PrivateServer::shared().sql(QStringLiteral("CREATE TABLE ops.dropped_elsewhere (id INT);"));
    QVERIFY(listTables(QStringLiteral("ops")));
    QVERIFY(tableNode(QStringLiteral("ops"), QStringLiteral("dropped_elsewhere")));
    PrivateServer::shared().sql(QStringLiteral("DROP TABLE ops.dropped_elsewhere;"));
    m_s->log.clear();
    m_s->module->DropTable(QStringLiteral("dropped_elsewhere"), QStringLiteral("ops"));
    QVERIFY(waitForOutcomeAfter(QStringLiteral("   Table is droped")));
    QVERIFY2(m_s->log.lines().last().contains(QLatin1String("Unknown table")), qPrintable(m_s->log.lines().last()));
    QVERIFY(tableNode(QStringLiteral("ops"), QStringLiteral("dropped_elsewhere")));
}

void TestOperations::optimize_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("reserved word") << "select" << true << "`select`";
    QTest::newRow("double quote") << "o\"pt" << true << "`o\"pt`";
    // The server answers with rows, not an error: their error is logged.
    QTest::newRow("missing") << "no_such_table" << false << "no_such_table";
}

void TestOperations::optimize()
{
    QFETCH(QString, table);
    QFETCH(bool, exists);
    QFETCH(QString, quoted);
    if (exists)
        QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE TABLE IF NOT EXISTS ops.") + QuoteIdentifier(table)
                                            + QStringLiteral(" (id INT) ENGINE=MyISAM;")));
    m_s->module->OptimizeTable(table, QStringLiteral("ops"));
    QVERIFY(waitForLines(3));
    // A later statement came back: nothing more from the optimize follows.
    m_s->module->RunStatement(QStringLiteral("DO 1"));
    QTRY_VERIFY_WITH_TIMEOUT(statements().contains(QStringLiteral("DO 1")), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(m_s->log.lines().size() >= (exists ? 4 : 5), 20000);
    QStringList expected{QStringLiteral("Prepare for Table Optimize..."), QStringLiteral("   Optimize OK"), QString()};
    if (!exists)
        expected.append(QStringLiteral("Table 'ops.no_such_table' doesn't exist"));
    expected.append(QString());
    QCOMPARE(m_s->log.lines(), expected);
    QCOMPARE(statements().mid(0, 2), (QStringList{QStringLiteral("USE ops"), QStringLiteral("OPTIMIZE TABLE ") + quoted}));
}

void TestOperations::lockAndUnlock_data()
{
    QTest::addColumn<int>("lock");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("statement");
    QTest::newRow("read") << int(TDMstd::LockRead) << "Lock Table as read..." << "LOCK TABLES `lock me` READ";
    QTest::newRow("write") << int(TDMstd::LockWrite) << "Lock Table as write..." << "LOCK TABLES `lock me` WRITE";
    QTest::newRow("low priority write") << int(TDMstd::LockLowPriorityWrite) << "Lock Table as low priority write..."
                                        << "LOCK TABLES `lock me` LOW_PRIORITY WRITE";
}

void TestOperations::lockAndUnlock()
{
    QFETCH(int, lock);
    QFETCH(QString, line);
    QFETCH(QString, statement);
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE TABLE IF NOT EXISTS ops.`lock me` (id INT);")));
    const auto locked = [] {
        QString out;
        PrivateServer::shared().sql(QStringLiteral("SHOW OPEN TABLES FROM ops WHERE In_use > 0;"), &out);
        return out.contains(QLatin1String("lock me"));
    };
    m_s->module->LockTable(QStringLiteral("lock me"), QStringLiteral("ops"), TDMstd::TableLock(lock));
    QVERIFY(waitForLines(2));
    QCOMPARE(m_s->log.lines(), (QStringList{line, QString()}));
    QCOMPARE(statements(), (QStringList{QStringLiteral("USE ops"), statement}));
    QVERIFY(locked());

    m_s->log.clear();
    clearGeneralLog(PrivateServer::shared());
    m_s->module->UnlockTables(QStringLiteral("ops"));
    QVERIFY(waitForLines(2));
    QCOMPARE(m_s->log.lines(), (QStringList{QStringLiteral("Unlock all Tables..."), QString()}));
    QCOMPARE(statements(), (QStringList{QStringLiteral("USE ops"), QStringLiteral("UNLOCK TABLES")}));
    QVERIFY(!locked());
}

void TestOperations::commentKeptExactly_data()
{
    QTest::addColumn<QString>("comment");
    QTest::addColumn<bool>("noBackslashEscapes");
    QTest::newRow("single quote") << "it's" << false;
    QTest::newRow("double quote") << "say \"hi\"" << false;
    QTest::newRow("backslash") << "C:\\temp\\new" << false;
    QTest::newRow("backslash, no escapes") << "C:\\temp\\new" << true;
    QTest::newRow("mixed, no escapes") << "a'b\"c\\d" << true;
    QTest::newRow("non-ASCII") << QStringLiteral("Größe ✓") << false;
}

void TestOperations::commentKeptExactly()
{
    QFETCH(QString, comment);
    QFETCH(bool, noBackslashEscapes);
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE TABLE IF NOT EXISTS ops.`q\"t` (id INT);")));
    if (noBackslashEscapes) {
        m_s->module->RunStatement(QStringLiteral("SET SESSION sql_mode = 'NO_BACKSLASH_ESCAPES,ANSI_QUOTES'"));
        QVERIFY(waitForLines(1));
        m_s->log.clear();
    }
    m_s->module->CommentTable(QStringLiteral("q\"t"), QStringLiteral("ops"), comment);
    QVERIFY(waitForLines(1));
    QCOMPARE(m_s->log.lines(), QStringList{QString()});
    QString out;
    PrivateServer::shared().sql(QStringLiteral("SELECT HEX(TABLE_COMMENT) FROM information_schema.TABLES "
                                               "WHERE TABLE_SCHEMA = 'ops' AND TABLE_NAME = 'q\"t';"),
                                &out);
    QCOMPARE(QString::fromUtf8(QByteArray::fromHex(out.section(QLatin1Char('\n'), 1, 1).toLatin1())), comment);
    QVERIFY(statements().last().startsWith(QLatin1String("alter table `q\"t` COMMENT='")));
}

// --- Delete selected row --------------------------------------------------------

void TestOperations::deleteRow_data()
{
    // A table without a key, its rows, the row to delete as the grid shows
    // it, and the rows the server holds afterwards.
    QTest::addColumn<QString>("create");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QStringList>("target");
    QTest::addColumn<QStringList>("remaining");
    QTest::newRow("null and empty cells")
        << "CREATE TABLE ops.d1 (a INT, b VARCHAR(10) NULL, c VARCHAR(10))"
        << "(1, NULL, ''), (1, '', ''), (1, NULL, 'x')" << QStringList{"1", "<NULL>", ""}
        << QStringList{"1\t\t", "1\tNULL\tx"};
    QTest::newRow("empty first cell")
        << "CREATE TABLE ops.d2 (a VARCHAR(5), b INT)" << "('', 1), ('', 2)" << QStringList{"", "2"}
        << QStringList{"\t1"};
    QTest::newRow("quote in a value")
        << "CREATE TABLE ops.d3 (a VARCHAR(10), b INT)" << "('a\"b', 1), ('a', 1), ('a''b', 1)"
        << QStringList{"a\"b", "1"} << QStringList{"a\t1", "a'b\t1"};
    QTest::newRow("duplicate rows")
        << "CREATE TABLE ops.d4 (a INT, b VARCHAR(5))" << "(5, 'x'), (5, 'x'), (6, 'y')" << QStringList{"5", "x"}
        << QStringList{"5\tx", "6\ty"};
    QTest::newRow("case and trailing blanks")
        << "CREATE TABLE ops.d5 (a VARCHAR(10) CHARACTER SET latin1)" << "('abc'), ('ABC'), ('abc ')"
        << QStringList{"ABC"} << QStringList{"abc", "abc "};
    QTest::newRow("backslash")
        << "CREATE TABLE ops.d6 (a VARCHAR(10))" << "('a\\\\b'), ('ab')" << QStringList{"a\\b"}
        << QStringList{"ab"};
    QTest::newRow("float shown rounded")
        << "CREATE TABLE ops.d7 (f FLOAT, n INT)" << "(1.1, 1), (2.2, 1)" << QStringList{"1.1", "1"}
        << QStringList{"2.2\t1"};
    QTest::newRow("large unsigned")
        << "CREATE TABLE ops.d8 (u BIGINT UNSIGNED)" << "(18446744073709551615), (18446744073709551614)"
        << QStringList{"18446744073709551614"} << QStringList{"18446744073709551615"};
    QTest::newRow("binary with zero byte")
        << "CREATE TABLE ops.d9 (b VARBINARY(8), n INT)" << "(X'610062', 1), (X'61', 1)"
        << QStringList{"0x610062", "1"} << QStringList{"a\t1"};
    QTest::newRow("bit")
        << "CREATE TABLE ops.d10 (b BIT(3), n INT)" << "(b'101', 1), (b'001', 1)" << QStringList{"0x05", "1"}
        << QStringList{"1\t1"};
}

void TestOperations::deleteRow()
{
    QFETCH(QString, create);
    QFETCH(QString, rows);
    QFETCH(QStringList, target);
    QFETCH(QStringList, remaining);
    const QString table = create.section(QLatin1Char(' '), 2, 2).section(QLatin1Char('.'), 1);
    QString error;
    QVERIFY2(PrivateServer::shared().sql(create + QStringLiteral("; INSERT INTO ops.") + table + QStringLiteral(" VALUES ")
                                             + rows + QLatin1Char(';'),
                                         nullptr, &error),
             qPrintable(error));
    QVERIFY(openTable(table, QStringLiteral("ops"), int(remaining.size()) + 1));
    const int row = gridRow(target);
    QVERIFY2(row >= 0, qPrintable(target.join(QLatin1Char('|'))));
    const int shownBefore = m_s->data.rowCount();
    m_s->log.clear();

    QVERIFY(m_s->module->DeleteRow(row, table, QStringLiteral("ops")));
    QVERIFY(waitForOutcomeAfter(QStringLiteral("delete from ")));
    QVERIFY2(m_s->log.lines().last().isEmpty(), qPrintable(m_s->log.lines().join(QLatin1Char('\n'))));
    QVERIFY(m_s->log.lines().first().endsWith(QLatin1String(" LIMIT 1")));
    QCOMPARE(m_s->data.rowCount(), shownBefore - 1);

    // HEX for the binary column, numbers for BIT: as the fixture expects them.
    QString select = QStringLiteral("SELECT * FROM ops.") + table + QStringLiteral(" ORDER BY 1;");
    if (table == QLatin1String("d10"))
        select = QStringLiteral("SELECT b + 0, n FROM ops.d10 ORDER BY 1;");
    QStringList after = serverRows(select);
    after.sort();
    QStringList expected = remaining;
    expected.sort();
    QCOMPARE(after, expected);
    // The grid lost exactly the row the server lost.
    QCOMPARE(m_s->data.rowCount(), int(remaining.size()));
}

void TestOperations::deleteRowUsesThePrimaryKey()
{
    QVERIFY(PrivateServer::shared().sql(
        QStringLiteral("CREATE TABLE ops.`my keyed` (id INT PRIMARY KEY, f FLOAT, note TEXT);"
                       "INSERT INTO ops.`my keyed` VALUES (1, 0.1, 'a'), (2, 0.2, NULL), (3, 0.3, 'c');")));
    QVERIFY(openTable(QStringLiteral("my keyed"), QStringLiteral("ops"), 3));
    const int row = gridRow({QStringLiteral("2"), QStringLiteral("0.2"), QStringLiteral("<NULL>")});
    QVERIFY(row >= 0);
    m_s->log.clear();
    QVERIFY(m_s->module->DeleteRow(row, QStringLiteral("my keyed"), QStringLiteral("ops")));
    QVERIFY(waitForOutcomeAfter(QStringLiteral("delete from ")));
    QCOMPARE(m_s->log.lines(),
             (QStringList{QStringLiteral("delete from ops.`my keyed` where id = 2 LIMIT 1"), QString()}));
    QCOMPARE(serverRows(QStringLiteral("SELECT id FROM ops.`my keyed` ORDER BY id;")),
             (QStringList{QStringLiteral("1"), QStringLiteral("3")}));
    QCOMPARE(gridRow({QStringLiteral("2"), QStringLiteral("0.2"), QStringLiteral("<NULL>")}), -1);
    QCOMPARE(m_s->data.rowCount(), 2);
}

void TestOperations::deleteRowByTextKeyUsesTheIndex_data()
{
    // A table with a text key, the row to delete as the grid shows it, the
    // statement that puts it back, and the keys left.
    QTest::addColumn<QString>("create");
    QTest::addColumn<QStringList>("target");
    QTest::addColumn<QString>("reinsert");
    QTest::addColumn<QStringList>("remaining");
    QTest::newRow("case-insensitive primary key")
        << "CREATE TABLE ops.k1 (k VARCHAR(20) CHARACTER SET latin1 PRIMARY KEY, n INT) ENGINE=InnoDB;"
           "INSERT INTO ops.k1 VALUES ('abc', 1), ('ABD', 2), ('x''y', 3), ('zz', 4);"
        << QStringList{"ABD", "2"} << "INSERT INTO ops.k1 VALUES ('ABD', 2);" << QStringList{"abc", "x'y", "zz"};
    QTest::newRow("binary collation, quote and backslash")
        << "CREATE TABLE ops.k2 (k VARCHAR(20) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin PRIMARY KEY, n INT) "
           "ENGINE=InnoDB;"
           "INSERT INTO ops.k2 VALUES ('a\\\\b''c', 1), ('A\\\\B''C', 2), (_utf8mb4 X'C3A9', 3);"
        << QStringList{"a\\b'c", "1"} << "INSERT INTO ops.k2 VALUES ('a\\\\b''c', 1);"
        << QStringList{"A\\\\B'C", QString::fromUtf8("\xc3\xa9")};
    QTest::newRow("unique key, no primary key")
        << "CREATE TABLE ops.k3 (k VARCHAR(20) NOT NULL UNIQUE, note TEXT) ENGINE=InnoDB;"
           "INSERT INTO ops.k3 VALUES ('one', 'a'), ('two', NULL), ('three', 'c');"
        << QStringList{"two", "<NULL>"} << "INSERT INTO ops.k3 VALUES ('two', NULL);"
        << QStringList{"one", "three"};
    QTest::newRow("text and number in the key")
        << "CREATE TABLE ops.k4 (k CHAR(5), i INT, v TEXT, PRIMARY KEY (k, i)) ENGINE=InnoDB;"
           "INSERT INTO ops.k4 VALUES ('a', 1, 'x'), ('a', 2, 'y'), ('b', 1, 'z');"
        << QStringList{"a", "2", "y"} << "INSERT INTO ops.k4 VALUES ('a', 2, 'y');" << QStringList{"a", "b"};
}

void TestOperations::deleteRowByTextKeyUsesTheIndex()
{
    QFETCH(QString, create);
    QFETCH(QStringList, target);
    QFETCH(QString, reinsert);
    QFETCH(QStringList, remaining);
    const QString table = create.section(QLatin1Char(' '), 2, 2).section(QLatin1Char('.'), 1);
    QString error;
    QVERIFY2(PrivateServer::shared().sql(create, nullptr, &error), qPrintable(error));
    QVERIFY(openTable(table, QStringLiteral("ops"), int(remaining.size()) + 1));
    const int row = gridRow(target);
    QVERIFY2(row >= 0, qPrintable(target.join(QLatin1Char('|'))));
    m_s->log.clear();
    QVERIFY(m_s->module->DeleteRow(row, table, QStringLiteral("ops")));
    QVERIFY(waitForOutcomeAfter(QStringLiteral("delete from ")));
    const QStringList lines = m_s->log.lines();
    QVERIFY2(lines.last().isEmpty(), qPrintable(lines.join(QLatin1Char('\n'))));
    const QString statement = lines.first();
    QCOMPARE(serverRows(QStringLiteral("SELECT 1 FROM ops.") + table + QStringLiteral(" ORDER BY 1;")).size(),
             remaining.size());
    QStringList keys = serverRows(QStringLiteral("SELECT DISTINCT k FROM ops.") + table + QStringLiteral(";"));
    keys.sort();
    QCOMPARE(keys, remaining);

    // With the row back, the statement finds it through the key, not by
    // reading the table.
    QVERIFY2(PrivateServer::shared().sql(reinsert, nullptr, &error), qPrintable(error));
    const QStringList plan = serverRows(QStringLiteral("EXPLAIN ") + statement + QLatin1Char(';'));
    QCOMPARE(plan.size(), 1);
    const QString type = plan.first().section(QLatin1Char('\t'), 3, 3);
    QVERIFY2(type == QLatin1String("const") || type == QLatin1String("range") || type == QLatin1String("ref"),
             qPrintable(statement + QLatin1Char('\n') + plan.first()));
}

void TestOperations::deleteRowChangedMeanwhileKeepsGridRow()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE TABLE ops.changed (a INT, b VARCHAR(5));"
                                                       "INSERT INTO ops.changed VALUES (1, 'x'), (2, 'y');")));
    QVERIFY(openTable(QStringLiteral("changed"), QStringLiteral("ops"), 2));
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("UPDATE ops.changed SET b = 'z' WHERE a = 1;")));
    const int row = gridRow({QStringLiteral("1"), QStringLiteral("x")});
    m_s->log.clear();
    QVERIFY(m_s->module->DeleteRow(row, QStringLiteral("changed"), QStringLiteral("ops")));
    QVERIFY(waitForOutcomeAfter(QStringLiteral("delete from ")));
    QVERIFY(waitForLines(3));
    QCOMPARE(m_s->log.lines().mid(1),
             (QStringList{QString(), QStringLiteral("No row was deleted: the table no longer holds the row as shown")}));
    QCOMPARE(m_s->data.rowCount(), 2);
    QCOMPARE(serverRows(QStringLiteral("SELECT COUNT(*) FROM ops.changed;")), QStringList{QStringLiteral("2")});
}

void TestOperations::deleteRowRefusedForAnotherTable()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE TABLE ops.shown (a INT); INSERT INTO ops.shown VALUES (1);"
                                                       "CREATE TABLE ops.other (a INT); INSERT INTO ops.other VALUES (1);")));
    QVERIFY(openTable(QStringLiteral("shown"), QStringLiteral("ops"), 1));
    m_s->log.clear();
    clearGeneralLog(PrivateServer::shared());
    QVERIFY(!m_s->module->DeleteRow(0, QStringLiteral("other"), QStringLiteral("ops")));
    QCOMPARE(m_s->log.lines(),
             QStringList{QStringLiteral("The Data View shows the table shown of ops, not other of ops: no row deleted")});
    QVERIFY(!m_s->module->DeleteRow(0, QStringLiteral("shown"), QStringLiteral("mysql")));
    QCOMPARE(m_s->log.lines().size(), 2);
    QCOMPARE(statements(), QStringList());
    QCOMPARE(serverRows(QStringLiteral("SELECT COUNT(*) FROM ops.other;")), QStringList{QStringLiteral("1")});
    QCOMPARE(m_s->data.rowCount(), 1);
}

void TestOperations::deleteRowAfterFlushStaysInItsDatabase()
{
    // Flushes leave "mysql" current; the row still goes from its own table.
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE TABLE ops.db (a INT); INSERT INTO ops.db VALUES (7), (8);")));
    QVERIFY(openTable(QStringLiteral("db"), QStringLiteral("ops"), 2));
    m_s->log.clear();
    m_s->module->Flush(QStringLiteral("FLUSH TABLES"));
    QVERIFY(waitForLines(2));
    const int row = gridRow({QStringLiteral("7")});
    QVERIFY(m_s->module->DeleteRow(row, QStringLiteral("db"), QStringLiteral("ops")));
    QVERIFY(waitForOutcomeAfter(QStringLiteral("delete from ")));
    QCOMPARE(m_s->log.lines().last(), QString());
    QCOMPARE(serverRows(QStringLiteral("SELECT a FROM ops.db;")), QStringList{QStringLiteral("8")});
    QCOMPARE(m_s->data.rowCount(), 1);
    QCOMPARE(m_s->data.text(0, 0), QStringLiteral("8"));
}

void TestOperations::deleteRowFindsTheRowAfterASort()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE TABLE ops.sorted (a INT, b VARCHAR(5));"
                                                       "INSERT INTO ops.sorted VALUES (1, 'c'), (2, 'b'), (3, 'a');")));
    QVERIFY(openTable(QStringLiteral("sorted"), QStringLiteral("ops"), 3));
    const int row = gridRow({QStringLiteral("1"), QStringLiteral("c")});
    QCOMPARE(row, 0);
    m_s->log.clear();
    QVERIFY(m_s->module->DeleteRow(row, QStringLiteral("sorted"), QStringLiteral("ops")));
    // A header click reorders the grid before the outcome arrives.
    m_s->data.sort(1, Qt::AscendingOrder);
    QVERIFY(waitForOutcomeAfter(QStringLiteral("delete from ")));
    QCOMPARE(m_s->data.rowCount(), 2);
    QCOMPARE(gridRow({QStringLiteral("1"), QStringLiteral("c")}), -1);
    QCOMPARE(gridRow({QStringLiteral("3"), QStringLiteral("a")}), 0);
    QCOMPARE(gridRow({QStringLiteral("2"), QStringLiteral("b")}), 1);
}

QTEST_GUILESS_MAIN(TestOperations)
#include "tst_operations.moc"

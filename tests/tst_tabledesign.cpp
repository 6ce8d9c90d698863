#include "client/mySQLClient.h"
#include "data/messagelog.h"
#include "data/sqlnames.h"
#include "data/tabledesign.h"
#include "data/tdmstd.h"
#include "data/settingsstore.h"
#include "dialogs/tablecreatedialog.h"
#include "tests/support/generallog.h"
#include "tests/support/modulesession.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"
#include "tests/support/serverqueries.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTest>

#include <memory>

// The table designer's statements: CREATE TABLE from a column list and one
// ALTER TABLE of exactly the changes, composed and run against a private
// server, and a table's definition read back without spurious changes.
class TestTableDesign : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void createStatement();
    void columnDefinitions_data();
    void columnDefinitions();
    void refusedDesigns_data();
    void refusedDesigns();
    void valueLists_data();
    void valueLists();
    void splitColumnType_data();
    void splitColumnType();
    void createRunsAndListsTheTable();
    void loadedTableHasNoChanges_data();
    void loadedTableHasNoChanges();
    void designerKeepsBlankEdgedNames_data();
    void designerKeepsBlankEdgedNames();
    void alterChangesExactlyWhatChanged();
    void alterReordersColumns_data();
    void alterReordersColumns();
    void alterPrimaryKeyAndOptions();
    void refusedStatementKeepsDesign();

private:
    using Session = ModuleSession;
    bool load(const QString &table, TableDesign *design);
    bool run(const QString &statement, TmySQLClientOutcome *outcome);
    QStringList columns(const QString &table) const;

    std::unique_ptr<Session> m_s;
};

namespace {

TableColumnDesign column(const QString &name, const QString &type, const QString &length = QString(),
                         bool nullable = true, const QString &defaultValue = QString())
{
    TableColumnDesign c;
    c.name = name;
    c.type = type;
    c.length = length;
    c.nullable = nullable;
    c.defaultValue = defaultValue;
    return c;
}

const SqlSyntax Escaping;

} // namespace

void TestTableDesign::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(enableGeneralLog(server, &error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral("CREATE DATABASE design;"), nullptr, &error), qPrintable(error));
}

void TestTableDesign::init()
{
    m_s = std::make_unique<Session>();
    QVERIFY(m_s->module->ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(m_s->tree.rowCount() > 0, 20000);
    m_s->log.clear();
}

void TestTableDesign::cleanup()
{
    m_s.reset();
}

bool TestTableDesign::load(const QString &table, TableDesign *design)
{
    bool loaded = false;
    m_s->module->LoadTableDesign(table, QStringLiteral("design"), [&](const TableDesign &d) {
        *design = d;
        loaded = true;
    });
    const bool ok = QTest::qWaitFor([&] { return loaded; }, 20000);
    settle(); // what follows the outcome, before the next command
    return ok;
}

bool TestTableDesign::run(const QString &statement, TmySQLClientOutcome *outcome)
{
    bool done = false;
    m_s->module->RunTableDesign(statement, QStringLiteral("design"), [&](const TmySQLClientOutcome &o) {
        *outcome = o;
        done = true;
    });
    const bool ok = QTest::qWaitFor([&] { return done; }, 20000);
    settle(); // the tree's new listing follows a success
    return ok;
}

QStringList TestTableDesign::columns(const QString &table) const
{
    return serverRows(PrivateServer::shared(),
                      QStringLiteral("SELECT COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, COLUMN_DEFAULT, EXTRA, "
                                     "COLLATION_NAME, COLUMN_COMMENT, COLUMN_KEY FROM information_schema.COLUMNS "
                                     "WHERE TABLE_SCHEMA = 'design' AND TABLE_NAME = %1 ORDER BY ORDINAL_POSITION;")
                          .arg(SqlStringLiteral(table)));
}

// --- Composition ----------------------------------------------------------------

void TestTableDesign::createStatement()
{
    TableDesign design;
    design.name = QStringLiteral("order");
    TableColumnDesign id = column(QStringLiteral("id"), QStringLiteral("int unsigned"), QStringLiteral("10"), false);
    id.autoIncrement = true;
    id.primaryKey = true;
    design.columns = {id, column(QStringLiteral("my name"), QStringLiteral("VARCHAR"), QStringLiteral("20"), true,
                                 QStringLiteral("it's")),
                      column(QStringLiteral("price"), QStringLiteral("DECIMAL"), QStringLiteral("10, 2"), false,
                             QStringLiteral("0"))};
    design.engine = QStringLiteral("InnoDB");
    design.charset = QStringLiteral("utf8mb4");
    design.collation = QStringLiteral("utf8mb4_unicode_ci");
    design.comment = QStringLiteral("a \"quoted\" comment");
    QString error;
    QCOMPARE(CreateTableStatement(design, Escaping, &error),
             QStringLiteral("CREATE TABLE `order` (\n"
                            "  id INT(10) UNSIGNED NOT NULL AUTO_INCREMENT,\n"
                            "  `my name` VARCHAR(20) NULL DEFAULT 'it''s',\n"
                            "  price DECIMAL(10,2) NOT NULL DEFAULT '0',\n"
                            "  PRIMARY KEY (id)\n"
                            ") ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci "
                            "COMMENT='a \"quoted\" comment'"));
    QCOMPARE(error, QString());
}

void TestTableDesign::columnDefinitions_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("length");
    QTest::addColumn<bool>("nullable");
    QTest::addColumn<QString>("defaultValue");
    QTest::addColumn<bool>("noBackslashEscapes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no default") << "INT" << "" << true << "" << false << "c INT NULL";
    QTest::newRow("default NULL") << "INT" << "" << true << "null" << false << "c INT NULL DEFAULT NULL";
    QTest::newRow("text default") << "VARCHAR" << "5" << false << "NULL value" << false
                                  << "c VARCHAR(5) NOT NULL DEFAULT 'NULL value'";
    QTest::newRow("quoted default") << "VARCHAR" << "5" << true << "'a''b'" << false
                                    << "c VARCHAR(5) NULL DEFAULT 'a''b'";
    QTest::newRow("empty text default") << "VARCHAR" << "5" << false << "''" << false
                                        << "c VARCHAR(5) NOT NULL DEFAULT ''";
    QTest::newRow("backslash") << "VARCHAR" << "5" << true << "a\\b" << false << "c VARCHAR(5) NULL DEFAULT 'a\\\\b'";
    QTest::newRow("backslash, no escapes") << "VARCHAR" << "5" << true << "a\\b" << true
                                           << "c VARCHAR(5) NULL DEFAULT 'a\\b'";
    QTest::newRow("current timestamp") << "timestamp" << "" << false << "current_timestamp()" << false
                                       << "c TIMESTAMP NOT NULL DEFAULT current_timestamp()";
    QTest::newRow("expression") << "INT" << "" << true << "(1 + 2)" << false << "c INT NULL DEFAULT (1 + 2)";
    QTest::newRow("enum") << "enum" << "'x','it''s', 'a\\\\b'" << true << "x" << false
                          << "c ENUM('x','it''s','a\\\\b') NULL DEFAULT 'x'";
    QTest::newRow("set of plain words") << "SET" << "red, green" << true << "" << false
                                        << "c SET('red','green') NULL";
}

void TestTableDesign::columnDefinitions()
{
    QFETCH(QString, type);
    QFETCH(QString, length);
    QFETCH(bool, nullable);
    QFETCH(QString, defaultValue);
    QFETCH(bool, noBackslashEscapes);
    QFETCH(QString, expected);
    SqlSyntax syntax;
    syntax.noBackslashEscapes = noBackslashEscapes;
    QString error;
    QCOMPARE(ColumnDefinition(column(QStringLiteral("c"), type, length, nullable, defaultValue), syntax, &error),
             expected);
    QCOMPARE(error, QString());
}

void TestTableDesign::refusedDesigns_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("message");
    QTest::newRow("no name") << "" << "INT" << "" << "A column has no name";
    QTest::newRow("no type") << "c" << "" << "" << "Column c has no type";
    QTest::newRow("statement in the type") << "c" << "INT; DROP TABLE x" << "" << "Column c: \"INT; DROP TABLE x\" is not a type";
    QTest::newRow("length not a number") << "c" << "VARCHAR" << "10a" << "Column c: \"10a\" is not a length";
    QTest::newRow("length closes early") << "c" << "VARCHAR" << "10) , x INT (" << "Column c: \"10) , x INT (\" is not a length";
    QTest::newRow("enum without values") << "c" << "ENUM" << "" << "Column c needs its values, for example 'a','b'";
    QTest::newRow("enum unclosed") << "c" << "ENUM" << "'a','b" << "Column c needs its values, for example 'a','b'";
}

void TestTableDesign::refusedDesigns()
{
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(QString, length);
    QFETCH(QString, message);
    TableDesign design;
    design.name = QStringLiteral("t");
    design.columns = {column(name, type, length)};
    QString error;
    QCOMPARE(CreateTableStatement(design, Escaping, &error), QString());
    QCOMPARE(error, message);

    // The same for the whole table.
    design.columns = {column(QStringLiteral("a"), QStringLiteral("INT")), column(QStringLiteral("A"), QStringLiteral("INT"))};
    QCOMPARE(CreateTableStatement(design, Escaping, &error), QString());
    QCOMPARE(error, QStringLiteral("Column A is there twice"));
    design.columns = {column(QStringLiteral("a"), QStringLiteral("INT"))};
    design.engine = QStringLiteral("InnoDB COMMENT='x'");
    QCOMPARE(CreateTableStatement(design, Escaping, &error), QString());
    QCOMPARE(error, QStringLiteral("\"InnoDB COMMENT='x'\" is not a valid table option"));
    design.engine.clear();
    design.name.clear();
    QCOMPARE(CreateTableStatement(design, Escaping, &error), QString());
    QCOMPARE(error, QStringLiteral("The table needs a name"));
}

void TestTableDesign::valueLists_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("quoted") << "'a','b'" << true << QStringList{"a", "b"};
    QTest::newRow("doubled quote and comma") << "'it''s','c,d'" << true << QStringList{"it's", "c,d"};
    QTest::newRow("backslash escapes") << "'a\\\\b','\\''" << true << QStringList{"a\\b", "'"};
    QTest::newRow("plain words") << " x , y " << true << QStringList{"x", "y"};
    QTest::newRow("unclosed") << "'a" << false << QStringList();
    QTest::newRow("junk after a value") << "'a' b" << false << QStringList{"a"};
}

void TestTableDesign::valueLists()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QStringList, values);
    bool parsed = false;
    QCOMPARE(DesignValueList(text, &parsed), values);
    QCOMPARE(parsed, ok);
}

void TestTableDesign::splitColumnType_data()
{
    QTest::addColumn<QString>("columnType");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("length");
    QTest::newRow("int") << "int(11)" << "int" << "11";
    QTest::newRow("unsigned zerofill") << "int(10) unsigned zerofill" << "int unsigned zerofill" << "10";
    QTest::newRow("decimal") << "decimal(10,2)" << "decimal" << "10,2";
    QTest::newRow("enum with parenthesis") << "enum('a)','b')" << "enum" << "'a)','b'";
    QTest::newRow("no length") << "longtext" << "longtext" << "";
}

void TestTableDesign::splitColumnType()
{
    QFETCH(QString, columnType);
    QFETCH(QString, type);
    QFETCH(QString, length);
    QString gotType;
    QString gotLength;
    SplitColumnType(columnType, &gotType, &gotLength);
    QCOMPARE(gotType, type);
    QCOMPARE(gotLength, length);
}

// --- Against the server ---------------------------------------------------------

void TestTableDesign::createRunsAndListsTheTable()
{
    TableDesign design;
    design.name = QStringLiteral("new table");
    TableColumnDesign id = column(QStringLiteral("id"), QStringLiteral("INT"), QString(), false);
    id.autoIncrement = true;
    id.primaryKey = true;
    design.columns = {id, column(QStringLiteral("note"), QStringLiteral("VARCHAR"), QStringLiteral("30"), true,
                                 QStringLiteral("C:\\it's"))};
    design.engine = QStringLiteral("MyISAM");
    design.comment = QStringLiteral("made by the designer");
    const QString statement = CreateTableStatement(design, Escaping);
    TmySQLClientOutcome outcome;
    QVERIFY(run(statement, &outcome));
    QVERIFY2(!outcome.Failed, qPrintable(outcome.ErrorText));
    QStringList expected = {
        QStringLiteral("id\tint(11)\tNO\tNULL\tauto_increment\tNULL\t\tPRI"),
        QStringLiteral("note\tvarchar(30)\tYES\t'C:\\\\\\\\it''s'\t\tlatin1_swedish_ci\t\t"),
    };
    QCOMPARE(columns(QStringLiteral("new table")), expected);
    QString out;
    PrivateServer::shared().sql(QStringLiteral("SELECT ENGINE, TABLE_COMMENT FROM information_schema.TABLES "
                                               "WHERE TABLE_NAME = 'new table';"),
                                &out);
    QCOMPARE(out.section(QLatin1Char('\n'), 1, 1), QStringLiteral("MyISAM\tmade by the designer"));
    // The database's table list is read again, so the tree shows the table.
    QTRY_VERIFY_WITH_TIMEOUT(
        [this] {
            for (int row = 0; row < m_s->tree.rowCount(); ++row) {
                QStandardItem *db = m_s->tree.item(row);
                for (int child = 0; db->text() == QLatin1String("design") && child < db->rowCount(); ++child) {
                    if (db->child(child)->data(TDMstd::TableNameRole).toString() == QLatin1String("new table"))
                        return true;
                }
            }
            return false;
        }(),
        20000);
    QVERIFY(generalLog(PrivateServer::shared(), m_s->module->ActiveClient()->ConnectionId()).contains(statement));
}

void TestTableDesign::loadedTableHasNoChanges_data()
{
    QTest::addColumn<QString>("create");
    QTest::newRow("everything at once")
        << "CREATE TABLE design.rich ("
           " id INT UNSIGNED NOT NULL AUTO_INCREMENT COMMENT 'the key',"
           " `order` VARCHAR(20) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL DEFAULT 'it''s \\\\ here',"
           " e ENUM('x','it''s','a\\\\b') DEFAULT 'x',"
           " ts TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,"
           " g INT AS (id + 1) VIRTUAL,"
           " hidden INT INVISIBLE,"
           " b BIT(3) DEFAULT b'101',"
           " d DECIMAL(8,3) DEFAULT 1.5,"
           " PRIMARY KEY (id)) ENGINE=InnoDB COMMENT='rich \"one\"'";
    QTest::newRow("key in another order")
        << "CREATE TABLE design.keyed (a INT NOT NULL, b INT NOT NULL, c TEXT, PRIMARY KEY (b, a)) ENGINE=MyISAM";
    QTest::newRow("no key") << "CREATE TABLE design.plain (n INT, t TEXT DEFAULT NULL) ENGINE=Aria";
}

void TestTableDesign::loadedTableHasNoChanges()
{
    QFETCH(QString, create);
    QString error;
    QVERIFY2(PrivateServer::shared().sql(create + QLatin1Char(';'), nullptr, &error), qPrintable(error));
    const QString table = create.section(QLatin1Char('.'), 1).section(QLatin1Char(' '), 0, 0);
    TableDesign design;
    QVERIFY(load(table, &design));
    QCOMPARE(AlterTableStatement(design, design, Escaping, &error), QString());
    QCOMPARE(error, QString());
    // Every column written anew gives the same table: what the grid does not
    // show is kept.
    const QStringList before = columns(table);
    TableDesign copy = design;
    copy.name = table + QStringLiteral("_copy");
    const QString statement = CreateTableStatement(copy, Escaping, &error);
    QVERIFY2(!statement.isEmpty(), qPrintable(error));
    TmySQLClientOutcome outcome;
    QVERIFY(run(statement, &outcome));
    QVERIFY2(!outcome.Failed, qPrintable(outcome.ErrorText + QLatin1Char('\n') + statement));
    QCOMPARE(columns(copy.name), before);
    TableDesign reloaded;
    QVERIFY(load(copy.name, &reloaded));
    QCOMPARE(reloaded.engine, design.engine);
    QCOMPARE(reloaded.comment, design.comment);
}

void TestTableDesign::designerKeepsBlankEdgedNames_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("columnNames");
    QTest::newRow("leading blanks") << QStringLiteral(" lead") << QStringList{QStringLiteral(" c")};
    QTest::newRow("blanks inside and in front")
        << QStringLiteral("  two words") << QStringList{QStringLiteral("  a b"), QStringLiteral("plain")};
}

void TestTableDesign::designerKeepsBlankEdgedNames()
{
    // Names are the server's, blanks included: the designer opened on such
    // a table and left alone has nothing to change.
    QFETCH(QString, table);
    QFETCH(QStringList, columnNames);
    QStringList definitions;
    for (const QString &name : columnNames)
        definitions.append(QuoteIdentifier(name) + QStringLiteral(" INT"));
    QString error;
    QVERIFY2(PrivateServer::shared().sql(QStringLiteral("CREATE TABLE design.%1 (%2);")
                                             .arg(QuoteIdentifier(table), definitions.join(QStringLiteral(", "))),
                                         nullptr, &error),
             qPrintable(error));
    TableDesign design;
    QVERIFY(load(table, &design));
    QCOMPARE(design.name, table);
    TFormTableCreate designer;
    designer.startModify(QStringLiteral("design"), design, TableDesignChoices());
    QCOMPARE(designer.EditTableName->text(), table);
    QCOMPARE(designer.design().name, table);
    for (int row = 0; row < columnNames.size(); ++row)
        QCOMPARE(designer.design().columns.at(row).name, columnNames.at(row));
    QCOMPARE(designer.statement(), QString());
    QCOMPARE(designer.MemoSQL->toPlainText(), QStringLiteral("-- no changes"));
    QVERIFY(!designer.ButtonCreate->isEnabled());

    // A change is made to the very names the table has.
    designer.GridColumns->item(0, TFormTableCreate::ColLength)->setText(QStringLiteral("5"));
    const QString statement = designer.statement();
    QVERIFY2(statement.startsWith(QStringLiteral("ALTER TABLE ") + QuoteIdentifier(table)), qPrintable(statement));
    QVERIFY2(!statement.contains(QLatin1String("RENAME")), qPrintable(statement));
    QVERIFY2(!statement.contains(QLatin1String("CHANGE COLUMN")), qPrintable(statement));
    TmySQLClientOutcome outcome;
    QVERIFY(run(statement, &outcome));
    QVERIFY2(!outcome.Failed, qPrintable(outcome.ErrorText + QLatin1Char('\n') + statement));
    const QStringList after = columns(table);
    QCOMPARE(after.size(), columnNames.size());
    QVERIFY2(after.first().startsWith(columnNames.first() + QStringLiteral("\tint(5)")), qPrintable(after.first()));
}

void TestTableDesign::alterChangesExactlyWhatChanged()
{
    QVERIFY(PrivateServer::shared().sql(
        QStringLiteral("CREATE TABLE design.change_me ("
                       " id INT NOT NULL PRIMARY KEY,"
                       " keep_me VARCHAR(10) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin COMMENT 'kept' DEFAULT 'k',"
                       " rename_me VARCHAR(10) COLLATE latin1_bin COMMENT 'follows the rename',"
                       " widen_me VARCHAR(5),"
                       " drop_me INT,"
                       " stamp TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP);")));
    TableDesign before;
    QVERIFY(load(QStringLiteral("change_me"), &before));
    const QStringList old = columns(QStringLiteral("change_me"));

    TableDesign after = before;
    after.columns[2].name = QStringLiteral("renamed");
    after.columns[3].length = QStringLiteral("50");
    after.columns[5].nullable = true; // the ON UPDATE stays with it
    after.columns.removeAt(4);
    TableColumnDesign added = column(QStringLiteral("added"), QStringLiteral("INT"), QString(), false,
                                     QStringLiteral("7"));
    after.columns.insert(2, added);
    const QString statement = AlterTableStatement(before, after, Escaping);
    QCOMPARE(statement, QStringLiteral("ALTER TABLE change_me\n"
                                       "  DROP COLUMN drop_me,\n"
                                       "  ADD COLUMN added INT NOT NULL DEFAULT '7' AFTER keep_me,\n"
                                       "  CHANGE COLUMN rename_me renamed VARCHAR(10) COLLATE latin1_bin NULL DEFAULT NULL "
                                       "COMMENT 'follows the rename',\n"
                                       "  MODIFY COLUMN widen_me VARCHAR(50) COLLATE latin1_swedish_ci NULL DEFAULT NULL,\n"
                                       "  MODIFY COLUMN stamp TIMESTAMP NULL DEFAULT current_timestamp() "
                                       "on update current_timestamp()"));
    TmySQLClientOutcome outcome;
    QVERIFY(run(statement, &outcome));
    QVERIFY2(!outcome.Failed, qPrintable(outcome.ErrorText));
    const QStringList now = columns(QStringLiteral("change_me"));
    QCOMPARE(now.size(), 6);
    QCOMPARE(now.at(0), old.at(0));
    QCOMPARE(now.at(1), old.at(1)); // untouched, collation and comment and all
    QCOMPARE(now.at(2), QStringLiteral("added\tint(11)\tNO\t7\t\tNULL\t\t"));
    QCOMPARE(now.at(3), QString(old.at(2)).replace(QLatin1String("rename_me"), QLatin1String("renamed")));
    QCOMPARE(now.at(4), QStringLiteral("widen_me\tvarchar(50)\tYES\tNULL\t\tlatin1_swedish_ci\t\t"));
    QCOMPARE(now.at(5), QString(old.at(5)).replace(QLatin1String("\tNO\t"), QLatin1String("\tYES\t")));

    // Read back, the table holds no further changes.
    TableDesign reloaded;
    QVERIFY(load(QStringLiteral("change_me"), &reloaded));
    QCOMPARE(AlterTableStatement(reloaded, reloaded, Escaping), QString());
}

void TestTableDesign::alterReordersColumns_data()
{
    QTest::addColumn<QStringList>("order"); // the new order; "+x" is a new column x
    QTest::addColumn<int>("clauses");
    QTest::newRow("last to first") << QStringList{"e", "a", "b", "c", "d"} << 1;
    QTest::newRow("first to last") << QStringList{"b", "c", "d", "e", "a"} << 1;
    QTest::newRow("swap two") << QStringList{"a", "c", "b", "d", "e"} << 1;
    QTest::newRow("reversed") << QStringList{"e", "d", "c", "b", "a"} << 4;
    QTest::newRow("new ones around moved ones") << QStringList{"+x", "c", "a", "+y", "b", "e", "d", "+z"} << 5;
    QTest::newRow("only new at the end") << QStringList{"a", "b", "c", "d", "e", "+x", "+y"} << 2;
}

void TestTableDesign::alterReordersColumns()
{
    QFETCH(QStringList, order);
    QFETCH(int, clauses);
    const QString table = QStringLiteral("order_%1").arg(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE TABLE design.%1 (a INT, b INT, c INT, d INT, e INT);").arg(table)));
    TableDesign before;
    QVERIFY(load(table, &before));
    TableDesign after = before;
    after.columns.clear();
    QStringList expected;
    for (const QString &name : order) {
        if (name.startsWith(QLatin1Char('+'))) {
            after.columns.append(column(name.mid(1), QStringLiteral("INT")));
            expected.append(name.mid(1));
            continue;
        }
        for (const TableColumnDesign &c : before.columns) {
            if (c.name == name)
                after.columns.append(c);
        }
        expected.append(name);
    }
    const QString statement = AlterTableStatement(before, after, Escaping);
    QCOMPARE(int(statement.count(QLatin1String(",\n"))) + 1, clauses);
    TmySQLClientOutcome outcome;
    QVERIFY(run(statement, &outcome));
    QVERIFY2(!outcome.Failed, qPrintable(outcome.ErrorText + QLatin1Char('\n') + statement));
    QStringList names;
    for (const QString &row : columns(table))
        names.append(row.section(QLatin1Char('\t'), 0, 0));
    QCOMPARE(names, expected);
}

void TestTableDesign::alterPrimaryKeyAndOptions()
{
    QVERIFY(PrivateServer::shared().sql(
        QStringLiteral("CREATE TABLE design.keys (a INT NOT NULL, b INT NOT NULL, c INT NOT NULL, PRIMARY KEY (b, a)) "
                       "ENGINE=MyISAM COMMENT='old';")));
    TableDesign before;
    QVERIFY(load(QStringLiteral("keys"), &before));
    QCOMPARE(before.primaryKeyOrder, (QStringList{QStringLiteral("b"), QStringLiteral("a")}));
    QVERIFY(before.columns[0].primaryKey && before.columns[1].primaryKey && !before.columns[2].primaryKey);

    TableDesign after = before;
    after.columns[0].primaryKey = false;
    after.columns[2].primaryKey = true;
    after.engine = QStringLiteral("InnoDB");
    after.comment = QStringLiteral("new 'one'");
    after.name = QStringLiteral("keys renamed");
    const QString statement = AlterTableStatement(before, after, Escaping);
    QCOMPARE(statement, QStringLiteral("ALTER TABLE `keys`\n"
                                       "  DROP PRIMARY KEY,\n"
                                       "  ADD PRIMARY KEY (b, c),\n"
                                       "  ENGINE=InnoDB,\n"
                                       "  COMMENT='new ''one''',\n"
                                       "  RENAME TO `keys renamed`"));
    TmySQLClientOutcome outcome;
    QVERIFY(run(statement, &outcome));
    QVERIFY2(!outcome.Failed, qPrintable(outcome.ErrorText));
    TableDesign reloaded;
    QVERIFY(load(QStringLiteral("keys renamed"), &reloaded));
    QCOMPARE(reloaded.primaryKeyOrder, (QStringList{QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(reloaded.engine, QStringLiteral("InnoDB"));
    QCOMPARE(reloaded.comment, QStringLiteral("new 'one'"));

    // Removing the key altogether.
    after = reloaded;
    for (TableColumnDesign &c : after.columns)
        c.primaryKey = false;
    QCOMPARE(AlterTableStatement(reloaded, after, Escaping), QStringLiteral("ALTER TABLE `keys renamed`\n  DROP PRIMARY KEY"));
}

void TestTableDesign::refusedStatementKeepsDesign()
{
    // The server's refusal comes back with its text; nothing is listed.
    TableDesign design;
    design.name = QStringLiteral("bad");
    TableColumnDesign c = column(QStringLiteral("a"), QStringLiteral("INT"));
    c.autoIncrement = true; // without a key: the server refuses
    design.columns = {c};
    TmySQLClientOutcome outcome;
    QVERIFY(run(CreateTableStatement(design, Escaping), &outcome));
    QVERIFY(outcome.Failed);
    QVERIFY2(outcome.ErrorText.contains(QLatin1String("auto column")), qPrintable(outcome.ErrorText));
    QCOMPARE(columns(QStringLiteral("bad")), QStringList());
    QCOMPARE(m_s->log.lines().last(), outcome.ErrorText);
}

QTEST_MAIN(TestTableDesign)
#include "tst_tabledesign.moc"

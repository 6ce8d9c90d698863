#include "data/sqlnames.h"

#include <QTest>

// Reading the database out of a USE statement (the script runner follows it).
class TestSqlNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void usedDatabase_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<bool>("isUse");
        QTest::addColumn<QString>("database");
        QTest::newRow("plain") << "USE shop" << true << "shop";
        QTest::newRow("any case, blanks") << "  \n\tuse\n  Shop_2  " << true << "Shop_2";
        QTest::newRow("final semicolon") << "use shop ;" << true << "shop";
        QTest::newRow("quoted with blank") << "use `my db`" << true << "my db";
        QTest::newRow("quoted, no blank before") << "use`x`" << true << "x";
        QTest::newRow("doubled backtick") << "use `a``b`" << true << "a`b";
        QTest::newRow("comments around") << "/* go */ use -- there\n shop # now" << true << "shop";
        QTest::newRow("comment right after the name") << "use shop/* c */" << true << "shop";
        QTest::newRow("other statement") << "select 1" << false << "";
        QTest::newRow("word starting with use") << "user_list" << false << "";
        QTest::newRow("use without a name") << "use" << false << "";
        QTest::newRow("use with more after the name") << "use shop; select 1" << false << "";
        QTest::newRow("two names") << "use shop mysql" << false << "";
        QTest::newRow("open quote") << "use `shop" << false << "";
        QTest::newRow("open comment") << "use shop /* no end" << false << "";
        QTest::newRow("in a comment only") << "-- use shop" << false << "";
        QTest::newRow("empty") << "" << false << "";
    }
    void usedDatabase()
    {
        QFETCH(QString, statement);
        QFETCH(bool, isUse);
        QFETCH(QString, database);
        QString found = QStringLiteral("unchanged");
        QCOMPARE(UsedDatabase(statement, &found), isUse);
        QCOMPARE(found, isUse ? database : QStringLiteral("unchanged"));
    }
};

QTEST_GUILESS_MAIN(TestSqlNames)
#include "tst_sqlnames.moc"

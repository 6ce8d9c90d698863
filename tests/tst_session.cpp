#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

#include <memory>

// Login, connection lines, the database tree and the application-server
// check of the data module, against a private server.
class TestSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void loginWritesFiveLinesThenFillsTree();
    void failedLoginLogsOneLine_data();
    void failedLoginLogsOneLine();
    void portMustBeWholeNumber_data();
    void portMustBeWholeNumber();
    void appServerCheck_data();
    void appServerCheck();
    void selectDatabaseLogsAroundTheSelection();
    void tablesOfOpenedDatabase();
    void reconnectReplacesTree();
};

namespace {

// What a window would hand the data module.
struct Session : HeadlessViews
{
    Session()
        : HeadlessViews(PrivateServer::shared().host(), QString::number(PrivateServer::shared().port()),
                        PrivateServer::user(), PrivateServer::password())
    {
        module = std::make_unique<TDMstd>(views);
    }

    std::unique_ptr<TDMstd> module;
};

// Lets the queued outcomes, and the statements they start, run to their end.
QStringList topLevelTexts(const QStandardItemModel &tree)
{
    QStringList texts;
    for (int row = 0; row < tree.rowCount(); ++row)
        texts.append(tree.item(row)->text());
    return texts;
}

QStringList childTexts(const QStandardItem *node)
{
    QStringList texts;
    for (int row = 0; node && row < node->rowCount(); ++row)
        texts.append(node->child(row)->text());
    return texts;
}

} // namespace

void TestSession::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    QVERIFY2(PrivateServer::shared().start(&error), qPrintable(error));
    QVERIFY2(PrivateServer::shared().sql(QStringLiteral(
        "CREATE DATABASE a; CREATE DATABASE b; CREATE DATABASE appserver; CREATE DATABASE shop;"
        "CREATE TABLE shop.orders (id INT PRIMARY KEY) ENGINE=MyISAM;"
        "INSERT INTO shop.orders SELECT seq FROM shop.seq_1_to_12;"
        "CREATE TABLE shop.items (id INT) ENGINE=MyISAM;"
        "CREATE USER chk@'%' IDENTIFIED BY 'chk';"
        "GRANT SELECT ON a.* TO chk@'%'; GRANT SELECT ON appserver.* TO chk@'%'; GRANT SELECT ON b.* TO chk@'%';"
        "CREATE USER nochk@'%' IDENTIFIED BY 'nochk';"
        "GRANT SELECT ON a.* TO nochk@'%'; GRANT SELECT ON b.* TO nochk@'%';"),
                                         nullptr, &error),
             qPrintable(error));
}

void TestSession::loginWritesFiveLinesThenFillsTree()
{
    Session s;
    QSignalSpy session(s.module.get(), &TDMstd::SetSessionCommands);
    QSignalSpy focus(s.module.get(), &TDMstd::treeFocusRequested);
    QVERIFY(s.module->ConnectProfile());
    QVERIFY(s.log.lines().isEmpty()); // the outcome arrives later
    settle();

    QCOMPARE(session.count(), 1);
    QCOMPARE(session.at(0).at(0).toBool(), true);
    const QStringList lines = s.log.lines();
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.at(0), QStringLiteral("Connect Success."));
    QVERIFY2(lines.at(1).startsWith(QStringLiteral("Host:       ")) && lines.at(1).contains(QStringLiteral("MariaDB")),
             qPrintable(lines.at(1)));
    QVERIFY(lines.at(2).startsWith(QStringLiteral("ClientInfo: ")) && lines.at(2).size() > 12);
    QVERIFY2(lines.at(3).startsWith(QStringLiteral("HostInfo:   ")) && lines.at(3).contains(QStringLiteral("127.0.0.1")),
             qPrintable(lines.at(3)));
    QCOMPARE(lines.at(4), QStringLiteral("ProtoInfo:  10"));

    // The databases in the server's order, the first one selected.
    const QStringList names = topLevelTexts(s.tree);
    for (const char *name : {"a", "appserver", "b", "mysql", "shop"})
        QVERIFY2(names.contains(QLatin1String(name)), name);
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(names, sorted);
    QCOMPARE(s.selection.currentIndex(), s.tree.index(0, 0));
    QCOMPARE(focus.count(), 1);
    QVERIFY(!s.module->busy());
}

void TestSession::failedLoginLogsOneLine_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("expected");
    QTest::newRow("wrong password") << PrivateServer::user() << "wrong" << "" << "Access denied";
    QTest::newRow("unknown user") << "nobody" << "x" << "" << "Access denied";
    QTest::newRow("unknown database") << PrivateServer::user() << PrivateServer::password() << "nosuchdb"
                                      << "Unknown database 'nosuchdb'";
}

void TestSession::failedLoginLogsOneLine()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, database);
    QFETCH(QString, expected);
    Session s;
    s.tree.appendRow(new QStandardItem(QStringLiteral("before")));
    s.profile.User = user;
    s.profile.Psw = password;
    s.profile.Database = database;
    QSignalSpy session(s.module.get(), &TDMstd::SetSessionCommands);
    QVERIFY(s.module->ConnectProfile());
    settle();
    QCOMPARE(s.log.lines().size(), 1);
    QVERIFY2(s.log.lines().at(0).contains(expected), qPrintable(s.log.lines().at(0)));
    QCOMPARE(session.count(), 0);
    QVERIFY(!s.module->ActiveClient()->Connected());
    QCOMPARE(topLevelTexts(s.tree), QStringList{QStringLiteral("before")}); // the tree keeps what it showed
    QVERIFY(!s.module->busy());
}

void TestSession::portMustBeWholeNumber_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("letters") << "abc";
    QTest::newRow("empty") << "";
    QTest::newRow("letter inside") << "33o6";
    QTest::newRow("fraction") << "3306.5";
    QTest::newRow("out of range") << "70000";
}

void TestSession::portMustBeWholeNumber()
{
    QFETCH(QString, port);
    Session s;
    s.profile.Port = port;
    QSignalSpy errors(s.module.get(), &TDMstd::errorRaised);
    QSignalSpy session(s.module.get(), &TDMstd::SetSessionCommands);
    QVERIFY(!s.module->ConnectProfile());
    settle();
    QCOMPARE(errors.count(), 1);
    QVERIFY2(errors.at(0).at(0).toString().contains(QLatin1Char('\'') + port + QLatin1Char('\'')),
             qPrintable(errors.at(0).at(0).toString()));
    QVERIFY(s.log.lines().isEmpty());
    QCOMPARE(session.count(), 0);
    QVERIFY(!s.module->ActiveClient()->Connected());
}

void TestSession::appServerCheck_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("check");
    QTest::addColumn<QString>("switches"); // what each database turned the commands to

    // chk sees a, appserver, b, information_schema
    QTest::newRow("a appserver b") << "chk" << true << "off on";
    // nochk sees a, b, information_schema
    QTest::newRow("no appserver") << "nochk" << true << "off off off";
    QTest::newRow("check off") << "chk" << false << "";
}

void TestSession::appServerCheck()
{
    QFETCH(QString, user);
    QFETCH(bool, check);
    QFETCH(QString, switches);
    Session s;
    s.profile.User = user;
    s.profile.Psw = user;
    s.profile.Check = check;
    QSignalSpy appServer(s.module.get(), &TDMstd::SetAppServerCommands);
    QVERIFY(s.module->ConnectProfile());
    settle();
    QVERIFY2(s.module->ActiveClient()->Connected(), qPrintable(s.log.lines().join(QLatin1Char('|'))));
    QStringList seen;
    for (const QList<QVariant> &call : appServer)
        seen.append(call.at(0).toBool() ? QStringLiteral("on") : QStringLiteral("off"));
    QCOMPARE(seen.join(QLatin1Char(' ')), switches);
}

void TestSession::selectDatabaseLogsAroundTheSelection()
{
    Session s;
    QVERIFY(s.module->ConnectProfile());
    settle();
    s.log.clear();
    s.module->SelectDatabase(QStringLiteral("nosuchdb"));
    settle();
    QCOMPARE(s.log.lines().size(), 3);
    QCOMPARE(s.log.lines().at(0), QStringLiteral("Make Database select"));
    QCOMPARE(s.log.lines().at(1), QStringLiteral("New Database is : nosuchdb"));
    QVERIFY2(s.log.lines().at(2).contains(QStringLiteral("Unknown database 'nosuchdb'")),
             qPrintable(s.log.lines().at(2)));

    s.log.clear();
    s.module->SelectDatabase(QStringLiteral("shop"));
    settle();
    QCOMPARE(s.log.lines(), (QStringList{QStringLiteral("Make Database select"),
                                         QStringLiteral("New Database is : shop")}));
    QCOMPARE(s.module->ActiveClient()->Database(), QStringLiteral("shop"));
}

void TestSession::tablesOfOpenedDatabase()
{
    Session s;
    QVERIFY(s.module->ConnectProfile());
    settle();
    const QList<QStandardItem *> found = s.tree.findItems(QStringLiteral("shop"));
    QCOMPARE(found.size(), 1);
    QStandardItem *shop = found.first();
    s.selection.setCurrentIndex(shop->index(), QItemSelectionModel::ClearAndSelect);
    QSignalSpy expand(s.module.get(), &TDMstd::treeNodeExpandRequested);

    // With row counts
    s.module->ListTablesWithStatus(QStringLiteral("shop"));
    settle();
    QCOMPARE(childTexts(shop), (QStringList{QStringLiteral("items  ( 0 )"), QStringLiteral("orders  ( 12 )")}));
    QVERIFY(!s.module->NoTableStatus());
    QCOMPARE(s.module->CurrentDatabase(), QStringLiteral("shop"));
    QCOMPARE(expand.count(), 1);
    QCOMPARE(expand.at(0).at(0).value<QModelIndex>(), shop->index());

    // The fallback listing: bare names replace the children.
    s.module->ListTablesPlain();
    settle();
    QCOMPARE(childTexts(shop), (QStringList{QStringLiteral("items"), QStringLiteral("orders")}));
    QVERIFY(s.module->NoTableStatus());

    // A database the server does not have: the status listing fails, the
    // fallback runs, and no node but that database's own would be filled.
    s.module->ListTablesWithStatus(QStringLiteral("nosuchdb"));
    settle();
    QVERIFY(s.module->NoTableStatus());
    QCOMPARE(childTexts(shop), (QStringList{QStringLiteral("items"), QStringLiteral("orders")}));
    QVERIFY(s.tree.findItems(QStringLiteral("nosuchdb")).isEmpty());
    QVERIFY(!s.module->busy());
}

void TestSession::reconnectReplacesTree()
{
    Session s;
    QVERIFY(s.module->ConnectProfile());
    settle();
    const int databases = s.tree.rowCount();
    QVERIFY(databases > 0);
    s.module->ActiveClient()->Close();
    s.profile.User = QStringLiteral("nochk");
    s.profile.Psw = QStringLiteral("nochk");
    QVERIFY(s.module->ConnectProfile());
    settle();
    QVERIFY(s.module->ActiveClient()->Connected());
    QCOMPARE(topLevelTexts(s.tree),
             (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("information_schema")}));
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"

#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/privilegestatements.h"
#include "data/tdmstd.h"
#include "tests/support/headlessviews.h"
#include "tests/support/accountchecks.h"
#include "tests/support/privateserver.h"

#include <QCollator>
#include <QTest>

#include <memory>

// The privilege tables against a private server: the grids read by column
// name, and every change composed as account statements, checked with SHOW
// GRANTS and by logging in. The positional statements of the old layout run
// against tables of that layout in a scratch database.
class TestPrivileges : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void userGridReadsColumnsByName();
    void newUserHasExactlyTheTickedPrivileges_data();
    void newUserHasExactlyTheTickedPrivileges();
    void secondInsertIsRefusedAndChangesNothing();
    void changeOfPrivilegesAndPassword_data();
    void changeOfPrivilegesAndPassword();
    void changeOfAnAccountThatIsNotThereCreatesNone();
    void deleteUser();
    void dbRowsForOneOfTwoUsers_data();
    void dbRowsForOneOfTwoUsers();
    void hostTableMissing();
    void statementsSeenByTheServer();
    void layoutFromColumns_data();
    void layoutFromColumns();
    void oldLayoutStatements_data();
    void oldLayoutStatements();
    void gridRowReadsByColumn_data();
    void gridRowReadsByColumn();

private:
    struct Session;
    void setSqlMode(const QString &mode);
    std::unique_ptr<Session> m_s;
};

struct TestPrivileges::Session : HeadlessViews
{
    Session()
        : HeadlessViews(PrivateServer::shared().host(), QString::number(PrivateServer::shared().port()),
                        PrivateServer::user(), PrivateServer::password())
    {
        // The window's grids have their captions; sorting needs the columns.
        users.setColumns(QStringList(17, QStringLiteral("c")));
        hosts.setColumns(QStringList(12, QStringLiteral("c")));
        dbs.setColumns(QStringList(13, QStringLiteral("c")));
        module = std::make_unique<TDMstd>(views);
    }

    std::unique_ptr<TDMstd> module;
};

namespace {

using Privileges = QList<int>;

const QString LoginHost = QStringLiteral("127.0.0.1");

// A literal for the command-line client (default SQL mode).
QString lit(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

QString account(const QString &user, const QString &host)
{
    return lit(user) + QLatin1Char('@') + lit(host);
}


// What SHOW GRANTS says for one level ("*.*", "`shopdb`.*"): the privileges
// and whether the grant option is held; empty when nothing is granted there.
struct Grant
{
    QStringList privileges;
    bool grantOption = false;
};

Grant grantAt(const QString &user, const QString &host, const QString &level)
{
    Grant grant;
    const QStringList lines = ServerOutput(QStringLiteral("SHOW GRANTS FOR ") + account(user, host)).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString on = QStringLiteral(" ON ") + level + QStringLiteral(" TO ");
        if (!line.startsWith(QLatin1String("GRANT ")) || !line.contains(on))
            continue;
        grant.privileges = line.mid(6, line.indexOf(on) - 6).split(QStringLiteral(", "));
        grant.privileges.sort();
        grant.grantOption = line.endsWith(QLatin1String("WITH GRANT OPTION"));
    }
    return grant;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

bool accountExists(const QString &user, const QString &host)
{
    return ServerOutput(QStringLiteral("SELECT COUNT(*) FROM mysql.global_priv WHERE User=") + lit(user)
                     + QStringLiteral(" AND Host=") + lit(host))
        .contains(QLatin1String("\n1"));
}


TPrivilegeRow rowOf(const QString &host, const QString &user, const QString &password, const Privileges &ticked,
                    const QString &database = QString())
{
    TPrivilegeRow row;
    row.host = host;
    row.user = user;
    row.password = password;
    row.database = database;
    for (int privilege : ticked)
        row.privileges[size_t(privilege)] = true;
    return row;
}

int findRow(const GridModel &grid, const QString &host, int keyColumn, const QString &key)
{
    for (int row = 0; row < grid.rowCount(); ++row) {
        if (grid.text(row, 0) == host && grid.text(row, keyColumn) == key)
            return row;
    }
    return -1;
}

QStringList nonEmpty(const MessageLog &log)
{
    QStringList lines = log.lines();
    lines.removeAll(QString());
    return lines;
}

} // namespace

// Waits until a change has run to its end: its last step refills the grid.
#define WAIT_FOR_RELOAD(grid) QTRY_VERIFY_WITH_TIMEOUT((grid).rowCount() > 0, 15000)

void TestPrivileges::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    QVERIFY2(PrivateServer::shared().start(&error), qPrintable(error));
    // A db row that always exists, so a reload of the db grid is never empty.
    QVERIFY2(PrivateServer::shared().sql(QStringLiteral("CREATE USER 'keeper'@'192.0.2.1';"
                                                         "GRANT SELECT ON keepdb.* TO 'keeper'@'192.0.2.1';"),
                                         nullptr, &error),
             qPrintable(error));
}

void TestPrivileges::init()
{
    m_s = std::make_unique<Session>();
    QVERIFY(m_s->module->ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(m_s->module->ActiveClient()->Connected(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_s->tree.rowCount() > 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_s->module->statementsRunning(), 10000);
    m_s->log.clear();
}

void TestPrivileges::cleanup()
{
    m_s.reset();
    QVERIFY(PrivateServer::shared().sql(QStringLiteral(
        "DROP USER IF EXISTS 'grid_user'@'10.1.%', 'plain'@'127.0.0.1', 'o''b\\\\r'@'127.0.0.1', "
        "'chg'@'127.0.0.1', 'gone'@'127.0.0.1', 'alice'@'10.0.0.%', 'bob'@'10.0.0.%', 'glog'@'127.0.0.1', "
        "'twice'@'127.0.0.1', 'ghost'@'127.0.0.1';"
        "DROP DATABASE IF EXISTS legacy;")));
}

void TestPrivileges::setSqlMode(const QString &mode)
{
    bool done = false;
    m_s->module->RunStatement(QStringLiteral("SET SESSION sql_mode=") + lit(mode),
                              [&](const TmySQLClientOutcome &outcome) {
                                  QVERIFY2(!outcome.Failed, qPrintable(outcome.ErrorText));
                                  done = true;
                              });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    m_s->log.clear();
}

void TestPrivileges::userGridReadsColumnsByName()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE USER 'grid_user'@'10.1.%' IDENTIFIED BY 'x';"
                                                       "GRANT SELECT, FILE, ALTER ON *.* TO 'grid_user'@'10.1.%';")));
    m_s->module->LoadUserTable();
    WAIT_FOR_RELOAD(m_s->users);
    const GridModel &grid = m_s->users;
    QCOMPARE(grid.rowCount(), ServerOutput(QStringLiteral("SELECT COUNT(*) FROM mysql.user")).split(QLatin1Char('\n')).value(1).toInt());
    const int row = findRow(grid, QStringLiteral("10.1.%"), 1, QStringLiteral("grid_user"));
    QVERIFY(row >= 0);
    const QString hash = ServerOutput(QStringLiteral("SELECT Password FROM mysql.user WHERE User='grid_user'"))
                             .split(QLatin1Char('\n'))
                             .value(1);
    QVERIFY(hash.startsWith(QLatin1Char('*')));
    QCOMPARE(grid.text(row, 2), hash);
    // Cells under the captions "Select" ... "Alter", read by column name.
    const QStringList expected = {QStringLiteral("Y"), QStringLiteral("N"), QStringLiteral("N"), QStringLiteral("N"),
                                  QStringLiteral("N"), QStringLiteral("N"), QStringLiteral("N"), QStringLiteral("N"),
                                  QStringLiteral("N"), QStringLiteral("Y"), QStringLiteral("N"), QStringLiteral("N"),
                                  QStringLiteral("N"), QStringLiteral("Y")};
    for (int c = 0; c < expected.size(); ++c)
        QCOMPARE(grid.text(row, 3 + c), expected.at(c));
    // Sorted by host as a user reads them.
    QCollator collator;
    for (int r = 1; r < grid.rowCount(); ++r)
        QVERIFY2(collator.compare(grid.text(r - 1, 0), grid.text(r, 0)) <= 0, qPrintable(grid.text(r, 0)));
    QVERIFY(nonEmpty(m_s->log).isEmpty());
}

void TestPrivileges::newUserHasExactlyTheTickedPrivileges_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("sqlMode");
    QTest::addColumn<Privileges>("ticked");
    QTest::addColumn<QStringList>("granted");
    QTest::addColumn<bool>("grantOption");

    const QString odd = QStringLiteral("it's \"quoted\" \\ back\\slash\\");
    QTest::newRow("create only") << "plain" << "secret" << "" << Privileges{PrivCreate} << QStringList{"CREATE"}
                                 << false;
    QTest::newRow("delete only") << "plain" << "secret" << "" << Privileges{PrivDelete} << QStringList{"DELETE"}
                                 << false;
    QTest::newRow("select, file and grant option")
        << "plain" << "secret" << "" << Privileges{PrivSelect, PrivFile, PrivGrant} << QStringList{"FILE", "SELECT"}
        << true;
    QTest::newRow("grant option alone") << "plain" << "secret" << "" << Privileges{PrivGrant}
                                        << QStringList{"USAGE"} << true;
    QTest::newRow("nothing ticked") << "plain" << "" << "" << Privileges{} << QStringList{"USAGE"} << false;
    Privileges all;
    for (int p = 0; p < PrivilegeCount; ++p)
        all << p;
    QTest::newRow("all fourteen")
        << "plain" << "secret" << "" << all
        << sorted({"SELECT", "INSERT", "UPDATE", "DELETE", "CREATE", "DROP", "RELOAD", "SHUTDOWN", "PROCESS", "FILE",
                   "REFERENCES", "INDEX", "ALTER"})
        << true;
    QTest::newRow("odd password") << "plain" << odd << "" << Privileges{PrivSelect} << QStringList{"SELECT"} << false;
    QTest::newRow("odd password, NO_BACKSLASH_ESCAPES")
        << "plain" << odd << "NO_BACKSLASH_ESCAPES" << Privileges{PrivSelect} << QStringList{"SELECT"} << false;
    QTest::newRow("odd password, ANSI_QUOTES")
        << "plain" << odd << "ANSI_QUOTES" << Privileges{PrivSelect} << QStringList{"SELECT"} << false;
    QTest::newRow("odd name, NO_BACKSLASH_ESCAPES")
        << "o'b\\r" << odd << "NO_BACKSLASH_ESCAPES" << Privileges{PrivProcess} << QStringList{"PROCESS"} << false;
    QTest::newRow("odd name") << "o'b\\r" << odd << "" << Privileges{PrivProcess} << QStringList{"PROCESS"} << false;
}

void TestPrivileges::newUserHasExactlyTheTickedPrivileges()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, sqlMode);
    QFETCH(Privileges, ticked);
    QFETCH(QStringList, granted);
    QFETCH(bool, grantOption);

    if (!sqlMode.isEmpty())
        setSqlMode(sqlMode);
    m_s->users.clearRows();
    m_s->module->InsertUserRow(rowOf(LoginHost, user, password, ticked));
    WAIT_FOR_RELOAD(m_s->users);

    QVERIFY2(nonEmpty(m_s->log).isEmpty(), qPrintable(nonEmpty(m_s->log).join(QLatin1Char('|'))));
    const Grant grant = grantAt(user, LoginHost, QStringLiteral("*.*"));
    QCOMPARE(grant.privileges, granted);
    QCOMPARE(grant.grantOption, grantOption);
    QVERIFY(findRow(m_s->users, LoginHost, 1, user) >= 0);
    QVERIFY(CanLogIn(user, password));
    QVERIFY(!CanLogIn(user, password + QLatin1Char('x')));
}

void TestPrivileges::secondInsertIsRefusedAndChangesNothing()
{
    // Apply pressed twice in new mode: the second CREATE USER is refused and
    // its GRANT is not sent, so the account keeps what the first gave it.
    m_s->users.clearRows();
    m_s->module->InsertUserRow(rowOf(LoginHost, QStringLiteral("twice"), QStringLiteral("one"), {PrivSelect}));
    WAIT_FOR_RELOAD(m_s->users);
    QVERIFY(nonEmpty(m_s->log).isEmpty());
    m_s->users.clearRows();
    m_s->module->InsertUserRow(rowOf(LoginHost, QStringLiteral("twice"), QStringLiteral("two"), {PrivDrop}));
    WAIT_FOR_RELOAD(m_s->users); // refused, yet flushed and read again
    // The server's message, then the refused statement by name.
    const QStringList errors = nonEmpty(m_s->log);
    QCOMPARE(errors.size(), 2);
    QVERIFY2(errors.constFirst().contains(QLatin1String("CREATE USER")), qPrintable(errors.constFirst()));
    QVERIFY2(errors.constLast().contains(QLatin1String("CREATE USER 'twice'@'127.0.0.1'")), qPrintable(errors.constLast()));
    QVERIFY2(!errors.constLast().contains(QLatin1String("two")), qPrintable(errors.constLast())); // no password
    QCOMPARE(grantAt(QStringLiteral("twice"), LoginHost, QStringLiteral("*.*")).privileges, QStringList{"SELECT"});
    QVERIFY(CanLogIn(QStringLiteral("twice"), QStringLiteral("one")));
}

void TestPrivileges::changeOfPrivilegesAndPassword_data()
{
    QTest::addColumn<QString>("newPassword"); // empty: the field keeps the stored password
    QTest::addColumn<QString>("sqlMode");
    QTest::newRow("privileges only") << "" << "";
    QTest::newRow("privileges and password") << "n'e\\w \"pw\"" << "";
    QTest::newRow("privileges and password, NO_BACKSLASH_ESCAPES") << "n'e\\w \"pw\"" << "NO_BACKSLASH_ESCAPES";
}

void TestPrivileges::changeOfPrivilegesAndPassword()
{
    QFETCH(QString, newPassword);
    QFETCH(QString, sqlMode);
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE USER 'chg'@'127.0.0.1' IDENTIFIED BY 'old';"
                                                       "GRANT SELECT, INSERT, RELOAD ON *.* TO 'chg'@'127.0.0.1' "
                                                       "WITH GRANT OPTION;")));
    if (!sqlMode.isEmpty())
        setSqlMode(sqlMode);
    m_s->module->LoadUserTable();
    WAIT_FOR_RELOAD(m_s->users);
    const int gridRow = findRow(m_s->users, LoginHost, 1, QStringLiteral("chg"));
    QVERIFY(gridRow >= 0);

    // What the dialog hands over after the boxes were changed in change mode.
    TPrivilegeRow row = PrivilegeRowFromGrid(PrivilegeTable::User, m_s->users, gridRow);
    QVERIFY(row.privileges[PrivInsert] && row.privileges[PrivGrant] && !row.privileges[PrivDelete]);
    row.privileges[PrivInsert] = false;
    row.privileges[PrivGrant] = false;
    row.privileges[PrivDelete] = true;
    row.privileges[PrivAlter] = true;
    if (!newPassword.isEmpty()) {
        row.password = newPassword;
        row.newPassword = true;
    }
    m_s->users.clearRows();
    m_s->module->UpdateUserRow(row);
    WAIT_FOR_RELOAD(m_s->users);

    QVERIFY2(nonEmpty(m_s->log).isEmpty(), qPrintable(nonEmpty(m_s->log).join(QLatin1Char('|'))));
    const Grant grant = grantAt(QStringLiteral("chg"), LoginHost, QStringLiteral("*.*"));
    QCOMPARE(grant.privileges, sorted({"SELECT", "DELETE", "RELOAD", "ALTER"}));
    QVERIFY(!grant.grantOption);
    const int shown = findRow(m_s->users, LoginHost, 1, QStringLiteral("chg"));
    QCOMPARE(m_s->users.text(shown, 4), QStringLiteral("N")); // Insert
    QCOMPARE(m_s->users.text(shown, 6), QStringLiteral("Y")); // Delete
    if (newPassword.isEmpty()) {
        QVERIFY(CanLogIn(QStringLiteral("chg"), QStringLiteral("old")));
    } else {
        QVERIFY(CanLogIn(QStringLiteral("chg"), newPassword));
        QVERIFY(!CanLogIn(QStringLiteral("chg"), QStringLiteral("old")));
    }
}

void TestPrivileges::changeOfAnAccountThatIsNotThereCreatesNone()
{
    // The User field edited in change mode names an account that does not
    // exist. Without NO_AUTO_CREATE_USER a GRANT would create it without a
    // password; the check before it stops the change.
    setSqlMode(QString());
    TPrivilegeRow row = rowOf(LoginHost, QStringLiteral("ghost"), QStringLiteral("*0000"), {PrivSelect});
    m_s->users.clearRows();
    m_s->module->UpdateUserRow(row);
    WAIT_FOR_RELOAD(m_s->users);
    const QStringList errors = nonEmpty(m_s->log);
    QCOMPARE(errors.size(), 2);
    QVERIFY2(errors.constFirst().contains(QLatin1String("ghost")), qPrintable(errors.constFirst()));
    QVERIFY2(errors.constLast().contains(QLatin1String("SHOW GRANTS FOR 'ghost'")), qPrintable(errors.constLast()));
    QVERIFY(!accountExists(QStringLiteral("ghost"), LoginHost));
    QVERIFY(!CanLogIn(QStringLiteral("ghost"), QString()));
}

void TestPrivileges::deleteUser()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE USER 'gone'@'127.0.0.1' IDENTIFIED BY 'pw';")));
    m_s->module->LoadUserTable();
    WAIT_FOR_RELOAD(m_s->users);
    const int gridRow = findRow(m_s->users, LoginHost, 1, QStringLiteral("gone"));
    QVERIFY(gridRow >= 0);
    const int before = m_s->users.rowCount();
    const TPrivilegeRow row = PrivilegeRowFromGrid(PrivilegeTable::User, m_s->users, gridRow);
    m_s->users.clearRows();
    m_s->module->DeleteUserRow(row);
    WAIT_FOR_RELOAD(m_s->users);
    QVERIFY(nonEmpty(m_s->log).isEmpty());
    QCOMPARE(m_s->users.rowCount(), before - 1);
    QCOMPARE(findRow(m_s->users, LoginHost, 1, QStringLiteral("gone")), -1);
    QVERIFY(!accountExists(QStringLiteral("gone"), LoginHost));
    QVERIFY(!CanLogIn(QStringLiteral("gone"), QStringLiteral("pw")));
}

void TestPrivileges::dbRowsForOneOfTwoUsers_data()
{
    QTest::addColumn<bool>("grantOption");
    QTest::newRow("row without grant option") << false;
    QTest::newRow("row with grant option") << true;
}

void TestPrivileges::dbRowsForOneOfTwoUsers()
{
    QFETCH(bool, grantOption);
    const QString host = QStringLiteral("10.0.0.%");
    const QString level = QStringLiteral("`shopdb`.*");
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE USER 'alice'@'10.0.0.%', 'bob'@'10.0.0.%';"
                                                       "GRANT SELECT, DROP ON shopdb.* TO 'bob'@'10.0.0.%';")));

    // New db row for alice, same host and database as bob's.
    Privileges ticked = {PrivSelect, PrivInsert};
    if (grantOption)
        ticked << PrivGrant;
    m_s->dbs.clearRows();
    m_s->module->InsertDbRow(rowOf(host, QStringLiteral("alice"), QString(), ticked, QStringLiteral("shopdb")));
    WAIT_FOR_RELOAD(m_s->dbs);
    // No database of that name: the name is sent as the pattern it is.
    QCOMPARE(nonEmpty(m_s->log), QStringList{QStringLiteral("Granting on the pattern shopdb")});
    m_s->log.clear();
    Grant alice = grantAt(QStringLiteral("alice"), host, level);
    QCOMPARE(alice.privileges, sorted({"SELECT", "INSERT"}));
    QCOMPARE(alice.grantOption, grantOption);
    int gridRow = findRow(m_s->dbs, host, 2, QStringLiteral("alice"));
    QVERIFY(gridRow >= 0);
    QCOMPARE(m_s->dbs.text(gridRow, 1), QStringLiteral("shopdb"));
    QVERIFY(findRow(m_s->dbs, host, 2, QStringLiteral("bob")) >= 0);

    // Change: Insert off, Update and Alter on.
    TPrivilegeRow row = PrivilegeRowFromGrid(PrivilegeTable::Db, m_s->dbs, gridRow);
    row.privileges[PrivInsert] = false;
    row.privileges[PrivUpdate] = true;
    row.privileges[PrivAlter] = true;
    m_s->dbs.clearRows();
    m_s->module->UpdateDbRow(row);
    WAIT_FOR_RELOAD(m_s->dbs);
    QVERIFY2(nonEmpty(m_s->log).isEmpty(), qPrintable(nonEmpty(m_s->log).join(QLatin1Char('|'))));
    alice = grantAt(QStringLiteral("alice"), host, level);
    QCOMPARE(alice.privileges, sorted({"SELECT", "UPDATE", "ALTER"}));
    QCOMPARE(alice.grantOption, grantOption);

    // Delete alice's row: bob's row of the same host and database stays.
    gridRow = findRow(m_s->dbs, host, 2, QStringLiteral("alice"));
    QVERIFY(gridRow >= 0);
    row = PrivilegeRowFromGrid(PrivilegeTable::Db, m_s->dbs, gridRow);
    QCOMPARE(row.privileges[PrivGrant], grantOption);
    m_s->dbs.clearRows();
    m_s->module->DeleteDbRow(row);
    WAIT_FOR_RELOAD(m_s->dbs);
    QVERIFY2(nonEmpty(m_s->log).isEmpty(), qPrintable(nonEmpty(m_s->log).join(QLatin1Char('|'))));
    QVERIFY(grantAt(QStringLiteral("alice"), host, level).privileges.isEmpty());
    QCOMPARE(findRow(m_s->dbs, host, 2, QStringLiteral("alice")), -1);
    QCOMPARE(grantAt(QStringLiteral("bob"), host, level).privileges, sorted({"SELECT", "DROP"}));
    QVERIFY(findRow(m_s->dbs, host, 2, QStringLiteral("bob")) >= 0);
    QVERIFY(accountExists(QStringLiteral("alice"), host)); // the account itself stays
}

void TestPrivileges::hostTableMissing()
{
    // Current servers have no host table: the load says so and the grid
    // stays empty; a change stops before any statement that would change.
    m_s->module->LoadHostTable();
    QTRY_COMPARE_WITH_TIMEOUT(nonEmpty(m_s->log).size(), 1, 15000);
    QVERIFY2(nonEmpty(m_s->log).constFirst().contains(QLatin1String("mysql.host")),
             qPrintable(nonEmpty(m_s->log).constFirst()));
    QCOMPARE(m_s->hosts.rowCount(), 0);

    m_s->log.clear();
    m_s->module->InsertHostRow(rowOf(QStringLiteral("%"), QString(), QString(), {PrivSelect}, QStringLiteral("x")));
    QTRY_COMPARE_WITH_TIMEOUT(nonEmpty(m_s->log).size(), 1, 15000);
    QVERIFY(nonEmpty(m_s->log).constFirst().contains(QLatin1String("mysql.host")));
    // The probe failed, so nothing else was sent: a status read comes back
    // next, with the log unchanged.
    bool done = false;
    m_s->module->RunStatement(QStringLiteral("DO 1"), [&](const TmySQLClientOutcome &) { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    QCOMPARE(nonEmpty(m_s->log).size(), 1);
    QCOMPARE(m_s->hosts.rowCount(), 0);
}

void TestPrivileges::statementsSeenByTheServer()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("SET GLOBAL log_output='TABLE'; SET GLOBAL general_log=1;")));
    m_s->users.clearRows();
    m_s->module->InsertUserRow(rowOf(LoginHost, QStringLiteral("glog"), QStringLiteral("pw"), {PrivSelect, PrivGrant}));
    WAIT_FOR_RELOAD(m_s->users);
    const QString id = QString::number(m_s->module->ActiveClient()->ConnectionId());
    const QString seen = ServerOutput(QStringLiteral("SET GLOBAL general_log=0;"
                                                  "SELECT argument FROM mysql.general_log WHERE thread_id=")
                                   + id + QStringLiteral(" AND command_type IN ('Query','Init DB');"
                                                         "TRUNCATE mysql.general_log;"));
    QStringList statements = seen.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    statements.removeFirst(); // the caption
    // From the change on: the mode, the table's columns, the account
    // statements, the flush and the fresh read.
    const int from = int(statements.indexOf(QStringLiteral("select @@SESSION.sql_mode")));
    QVERIFY2(from >= 0, qPrintable(seen));
    statements = statements.mid(from);
    statements.removeAll(QStringLiteral("mysql")); // the database made current before each step
    QCOMPARE(statements.size(), 6);
    QCOMPARE(statements.at(1), QStringLiteral("select * from user limit 0"));
    QVERIFY2(statements.at(2).startsWith(QLatin1String("CREATE USER 'glog'@'127.0.0.1' IDENTIFIED BY ")),
             qPrintable(statements.at(2)));
    QCOMPARE(statements.at(3), QStringLiteral("GRANT SELECT ON *.* TO 'glog'@'127.0.0.1' WITH GRANT OPTION"));
    QCOMPARE(statements.at(4), QStringLiteral("FLUSH PRIVILEGES"));
    QCOMPARE(statements.at(5), QStringLiteral("select * from user"));
}

void TestPrivileges::layoutFromColumns_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<bool>("old");

    const QStringList privileges = {"Select_priv", "Insert_priv", "Update_priv", "Delete_priv", "Create_priv",
                                    "Drop_priv", "Reload_priv", "Shutdown_priv", "Process_priv", "File_priv",
                                    "Grant_priv", "References_priv", "Index_priv", "Alter_priv"};
    const QStringList oldUser = QStringList{"Host", "User", "Password"} + privileges;
    QTest::newRow("old user table") << int(PrivilegeTable::User) << oldUser << true;
    QTest::newRow("old user table, lower case") << int(PrivilegeTable::User)
                                                << QStringList(oldUser).replaceInStrings("_priv", "_PRIV") << true;
    QTest::newRow("one more column") << int(PrivilegeTable::User) << oldUser + QStringList{"Show_db_priv"} << false;
    QStringList mysql8 = oldUser;
    mysql8.removeAt(2);
    mysql8 << "authentication_string" << "plugin";
    QTest::newRow("MySQL 8 user") << int(PrivilegeTable::User) << mysql8 << false;
    const QStringList tablePrivileges = {"Select_priv", "Insert_priv", "Update_priv", "Delete_priv", "Create_priv",
                                         "Drop_priv", "Grant_priv", "References_priv", "Index_priv", "Alter_priv"};
    QTest::newRow("old db table") << int(PrivilegeTable::Db) << QStringList{"Host", "Db", "User"} + tablePrivileges
                                  << true;
    QTest::newRow("old host table") << int(PrivilegeTable::Host) << QStringList{"Host", "Db"} + tablePrivileges << true;
    QTest::newRow("db table as user table") << int(PrivilegeTable::User) << QStringList{"Host", "Db", "User"} + tablePrivileges
                                            << false;
    QTest::newRow("nothing reported") << int(PrivilegeTable::Db) << QStringList{} << false;
}

void TestPrivileges::layoutFromColumns()
{
    QFETCH(int, table);
    QFETCH(QStringList, columns);
    QFETCH(bool, old);
    QCOMPARE(PrivilegeLayoutOf(PrivilegeTable(table), columns) == PrivilegeLayout::Old, old);
}

void TestPrivileges::oldLayoutStatements_data()
{
    QTest::addColumn<QString>("sqlMode");
    QTest::newRow("default mode") << "";
    QTest::newRow("NO_BACKSLASH_ESCAPES") << "NO_BACKSLASH_ESCAPES";
}

void TestPrivileges::oldLayoutStatements()
{
    QFETCH(QString, sqlMode);
    const bool escapes = sqlMode.isEmpty();
    // The three tables in the layout the positional statements are made for.
    QString privileges;
    for (const char *name : {"Select", "Insert", "Update", "Delete", "Create", "Drop", "Reload", "Shutdown", "Process",
                             "File", "Grant", "References", "Index", "Alter"})
        privileges += QStringLiteral(", %1_priv enum('N','Y') NOT NULL DEFAULT 'N'").arg(QLatin1String(name));
    QString tablePrivileges;
    for (const char *name : {"Select", "Insert", "Update", "Delete", "Create", "Drop", "Grant", "References", "Index",
                             "Alter"})
        tablePrivileges += QStringLiteral(", %1_priv enum('N','Y') NOT NULL DEFAULT 'N'").arg(QLatin1String(name));
    QVERIFY(PrivateServer::shared().sql(
        QStringLiteral("CREATE DATABASE legacy; USE legacy;"
                       "CREATE TABLE user (Host char(60) NOT NULL, User char(16) NOT NULL, Password char(41) NOT NULL")
        + privileges + QStringLiteral(", PRIMARY KEY (Host, User));"
                                      "CREATE TABLE host (Host char(60) NOT NULL, Db char(64) NOT NULL")
        + tablePrivileges + QStringLiteral(", PRIMARY KEY (Host, Db));"
                                           "CREATE TABLE db (Host char(60) NOT NULL, Db char(64) NOT NULL, "
                                           "User char(16) NOT NULL")
        + tablePrivileges + QStringLiteral(", PRIMARY KEY (Host, Db, User));")));
    auto run = [&](PrivilegeTable table, PrivilegeChange change, const TPrivilegeRow &row) {
        const QStringList statements = PrivilegeStatements(table, change, row, PrivilegeLayout::Old, escapes);
        QString error;
        const bool ok = PrivateServer::shared().sql(QStringLiteral("SET SESSION sql_mode=") + lit(sqlMode)
                                                        + QStringLiteral("; USE legacy; ") + statements.join(QLatin1Char(';')),
                                                    nullptr, &error);
        if (!ok)
            qWarning("%s: %s", qPrintable(statements.join(QLatin1Char(';'))), qPrintable(error));
        return ok && statements.size() == 1;
    };
    const QString odd = QStringLiteral("a'b\\c\"d");

    // Only Create ticked: create_priv Y, delete_priv N, in a 17-value insert.
    QVERIFY(run(PrivilegeTable::User, PrivilegeChange::Insert, rowOf(odd, odd, odd, {PrivCreate})));
    QCOMPARE(ServerOutput(QStringLiteral("SELECT Create_priv, Delete_priv, Password = PASSWORD(") + lit(odd)
                       + QStringLiteral(") AS same FROM legacy.user WHERE Host=") + lit(odd) + QStringLiteral(" AND User=")
                       + lit(odd)),
             QStringLiteral("Create_priv\tDelete_priv\tsame\nY\tN\t1\n"));
    // The update leaves the password alone and sets the boxes as ticked.
    TPrivilegeRow changed = rowOf(odd, odd, QStringLiteral("other"), {PrivDelete, PrivAlter});
    changed.newPassword = true;
    QVERIFY(run(PrivilegeTable::User, PrivilegeChange::Update, changed));
    QCOMPARE(ServerOutput(QStringLiteral("SELECT Create_priv, Delete_priv, Alter_priv, Password = PASSWORD(") + lit(odd)
                       + QStringLiteral(") AS same FROM legacy.user")),
             QStringLiteral("Create_priv\tDelete_priv\tAlter_priv\tsame\nN\tY\tY\t1\n"));

    // Host rows: 12 values, Create and Delete in the table's own order.
    QVERIFY(run(PrivilegeTable::Host, PrivilegeChange::Insert, rowOf(odd, QString(), QString(), {PrivCreate}, odd)));
    QCOMPARE(ServerOutput(QStringLiteral("SELECT Create_priv, Delete_priv FROM legacy.host WHERE Db=") + lit(odd)),
             QStringLiteral("Create_priv\tDelete_priv\nY\tN\n"));

    // Db rows of two users of one host and database: the delete takes one.
    QVERIFY(run(PrivilegeTable::Db, PrivilegeChange::Insert, rowOf(QStringLiteral("%"), odd, QString(), {PrivSelect}, odd)));
    QVERIFY(run(PrivilegeTable::Db, PrivilegeChange::Insert,
                rowOf(QStringLiteral("%"), QStringLiteral("other"), QString(), {PrivDrop}, odd)));
    QVERIFY(run(PrivilegeTable::Db, PrivilegeChange::Delete, rowOf(QStringLiteral("%"), odd, QString(), {}, odd)));
    QCOMPARE(ServerOutput(QStringLiteral("SELECT User, Drop_priv FROM legacy.db")), QStringLiteral("User\tDrop_priv\nother\tY\n"));
}

void TestPrivileges::gridRowReadsByColumn_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<Privileges>("expected");
    // The host grid shows Create before Delete: its Create cell sets Create.
    QTest::newRow("host grid, Create cell") << int(PrivilegeTable::Host)
                                            << QStringList{"h", "d", "N", "N", "N", "Y", "N", "N", "N", "N", "N", "N"}
                                            << Privileges{PrivCreate};
    QTest::newRow("db grid, Delete cell") << int(PrivilegeTable::Db)
                                          << QStringList{"h", "d", "u", "N", "N", "N", "Y", "N", "N", "Y", "N", "N", "N"}
                                          << Privileges{PrivDelete, PrivGrant};
    QTest::newRow("lower case and empty cells stay clear")
        << int(PrivilegeTable::User)
        << QStringList{"h", "u", "*pw", "y", "", "Y", "N", "N", "N", "N", "N", "N", "Y", "N", "N", "N", "Y"}
        << Privileges{PrivUpdate, PrivFile, PrivAlter};
}

void TestPrivileges::gridRowReadsByColumn()
{
    QFETCH(int, table);
    QFETCH(QStringList, cells);
    QFETCH(Privileges, expected);
    GridModel grid;
    grid.setColumns(QStringList(cells.size(), QStringLiteral("c")));
    grid.appendRow(cells);
    const TPrivilegeRow row = PrivilegeRowFromGrid(PrivilegeTable(table), grid, 0);
    QCOMPARE(row.host, QStringLiteral("h"));
    for (int p = 0; p < PrivilegeCount; ++p)
        QVERIFY2(row.privileges[size_t(p)] == expected.contains(p), qPrintable(QString::number(p)));
}

QTEST_GUILESS_MAIN(TestPrivileges)
#include "tst_privileges.moc"

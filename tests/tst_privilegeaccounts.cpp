#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/privilegestatements.h"
#include "data/tdmstd.h"
#include "dialogs/privilegedialogs.h"
#include "tests/support/accountchecks.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"

#include <QLineEdit>
#include <QTest>

#include <memory>

// Account changes made by a login that may create accounts and grant, but
// lacks FILE: roles addressed as roles, refusals that leave no broader
// rights, database names with wildcards, and rows that exist already. What
// the server holds is read with SHOW GRANTS after each step.
class TestPrivilegeAccounts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void roleRowTouchesOnlyTheRole_data();
    void roleRowTouchesOnlyTheRole();
    void refusedGrantOfNewUserDropsTheAccount();
    void refusedRevokeLeavesNoMoreRights();
    void databaseNameExactOrPattern_data();
    void databaseNameExactOrPattern();
    void existingGrantRowIsNotMerged();
    void passwordFieldIsMasked();

private:
    struct Session;
    std::unique_ptr<Session> m_s;
};

namespace {

const QString Admin = QStringLiteral("padmin");
const QString AdminPassword = QStringLiteral("padmin-pw");

QString grantsFor(const QString &grantee)
{
    return ServerOutput(QStringLiteral("SHOW GRANTS FOR ") + grantee);
}

TPrivilegeRow rowOf(const QString &host, const QString &user, const QList<int> &ticked,
                    const QString &database = QString())
{
    TPrivilegeRow row;
    row.host = host;
    row.user = user;
    row.password = QStringLiteral("pw");
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

bool logHas(const MessageLog &log, const QString &text)
{
    for (const QString &line : log.lines()) {
        if (line.contains(text))
            return true;
    }
    return false;
}

} // namespace

struct TestPrivilegeAccounts::Session : HeadlessViews
{
    Session(const QString &user, const QString &password)
        : HeadlessViews(PrivateServer::shared().host(), QString::number(PrivateServer::shared().port()), user,
                        password)
    {
        users.setColumns(QStringList(17, QStringLiteral("c")));
        hosts.setColumns(QStringList(12, QStringLiteral("c")));
        dbs.setColumns(QStringList(13, QStringLiteral("c")));
        module = std::make_unique<TDMstd>(views);
    }

    // Runs a change and waits until its grid has been read again.
    void change(PrivilegeTable table, PrivilegeChange kind, const TPrivilegeRow &row)
    {
        GridModel &grid = table == PrivilegeTable::User ? users : dbs;
        grid.clearRows();
        module->ChangePrivilegeTable(table, kind, row);
        QTRY_VERIFY_WITH_TIMEOUT(grid.rowCount() > 0, 15000);
    }

    std::unique_ptr<TDMstd> module;
};

#define CHANGE(table, kind, row)                                                                                   \
    do {                                                                                                           \
        m_s->change(table, kind, row);                                                                             \
        if (QTest::currentTestFailed())                                                                            \
            return;                                                                                                \
    } while (false)

void TestPrivilegeAccounts::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    QVERIFY2(PrivateServer::shared().start(&error), qPrintable(error));
    // Everything but FILE, with the right to grant it on.
    QVERIFY2(PrivateServer::shared().sql(
                 QStringLiteral("DROP USER IF EXISTS 'padmin'@'%';"
                                "CREATE USER 'padmin'@'%' IDENTIFIED BY 'padmin-pw';"
                                "GRANT ALL PRIVILEGES ON *.* TO 'padmin'@'%' WITH GRANT OPTION;"
                                "REVOKE FILE ON *.* FROM 'padmin'@'%';"
                                "CREATE USER IF NOT EXISTS 'keeper'@'192.0.2.1';"
                                "GRANT SELECT ON keepdb.* TO 'keeper'@'192.0.2.1';"),
                 nullptr, &error),
             qPrintable(error));
}

void TestPrivilegeAccounts::init()
{
    // The role test changes every privilege of the role, FILE among them,
    // which only a login holding FILE may revoke.
    if (QByteArray(QTest::currentTestFunction()) == "roleRowTouchesOnlyTheRole")
        m_s = std::make_unique<Session>(PrivateServer::user(), PrivateServer::password());
    else
        m_s = std::make_unique<Session>(Admin, AdminPassword);
    QVERIFY(m_s->module->ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(m_s->module->ActiveClient()->Connected(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_s->module->statementsRunning(), 10000);
    m_s->log.clear();
}

void TestPrivilegeAccounts::cleanup()
{
    m_s.reset();
    QVERIFY(PrivateServer::shared().sql(QStringLiteral(
        "DROP ROLE IF EXISTS r1; DROP USER IF EXISTS 'r1'@'%', 'newbie'@'127.0.0.1', 'carol'@'127.0.0.1', "
        "'dbu'@'127.0.0.1';"
        "DROP DATABASE IF EXISTS my_db; DROP DATABASE IF EXISTS myXdb;")));
}

void TestPrivilegeAccounts::cleanupTestCase()
{
    PrivateServer::shared().sql(QStringLiteral("DROP USER IF EXISTS 'padmin'@'%';"));
}

void TestPrivilegeAccounts::roleRowTouchesOnlyTheRole_data()
{
    QTest::addColumn<bool>("remove");
    QTest::newRow("change") << false;
    QTest::newRow("delete") << true;
}

void TestPrivilegeAccounts::roleRowTouchesOnlyTheRole()
{
    QFETCH(bool, remove);
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE ROLE r1; GRANT SELECT ON *.* TO r1;"
                                                        "CREATE USER 'r1'@'%' IDENTIFIED BY 'pw';"
                                                        "GRANT INSERT ON *.* TO 'r1'@'%';")));
    const QString userBefore = grantsFor(QStringLiteral("'r1'@'%'"));
    QVERIFY2(userBefore.contains(QLatin1String("GRANT INSERT ON *.*")), qPrintable(userBefore));

    m_s->users.clearRows();
    m_s->module->LoadUserTable();
    QTRY_VERIFY_WITH_TIMEOUT(m_s->users.rowCount() > 0, 15000);
    // The role is marked where its host would stand, readable as text.
    const int gridRow = findRow(m_s->users, RoleMarker, 1, QStringLiteral("r1"));
    QVERIFY(gridRow >= 0);
    QVERIFY(findRow(m_s->users, QStringLiteral("%"), 1, QStringLiteral("r1")) >= 0);
    // A table view's accessible cell text is the shown text.
    QCOMPARE(m_s->users.data(m_s->users.index(gridRow, 0), Qt::DisplayRole).toString(), RoleMarker);
    TPrivilegeRow row = PrivilegeRowFromGrid(PrivilegeTable::User, m_s->users, gridRow);
    QVERIFY(row.role);

    if (remove) {
        CHANGE(PrivilegeTable::User, PrivilegeChange::Delete, row);
        QVERIFY(ServerOutput(QStringLiteral("SELECT COUNT(*) FROM mysql.user WHERE User='r1' AND is_role='Y'"))
                    .contains(QLatin1String("\n0")));
        QCOMPARE(findRow(m_s->users, RoleMarker, 1, QStringLiteral("r1")), -1);
    } else {
        row.privileges = {};
        row.privileges[PrivUpdate] = true;
        CHANGE(PrivilegeTable::User, PrivilegeChange::Update, row);
        const QString role = grantsFor(QStringLiteral("r1"));
        QVERIFY2(role.contains(QLatin1String("GRANT UPDATE ON *.* TO `r1`")), qPrintable(role));
        QVERIFY2(!role.contains(QLatin1String("SELECT")), qPrintable(role));
    }
    QCOMPARE(grantsFor(QStringLiteral("'r1'@'%'")), userBefore);
    QVERIFY2(!logHas(m_s->log, QStringLiteral("'%'")), qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
}

void TestPrivilegeAccounts::refusedGrantOfNewUserDropsTheAccount()
{
    // FILE is not the login's to give: the GRANT is refused after CREATE USER.
    CHANGE(PrivilegeTable::User, PrivilegeChange::Insert,
           rowOf(QStringLiteral("127.0.0.1"), QStringLiteral("newbie"), {PrivSelect, PrivFile}));
    QTRY_VERIFY_WITH_TIMEOUT(!m_s->module->statementsRunning(), 15000);
    const QString grants = grantsFor(QStringLiteral("'newbie'@'127.0.0.1'"));
    QVERIFY2(grants.startsWith(QLatin1String("<error>")), qPrintable(grants));
    QVERIFY(!CanLogIn(QStringLiteral("newbie"), QStringLiteral("pw")));
    QVERIFY2(logHas(m_s->log, QStringLiteral("GRANT SELECT, FILE ON *.*")),
             qPrintable(m_s->log.lines().join(QLatin1Char('|'))));

    // A second try is not blocked by a left-over account.
    CHANGE(PrivilegeTable::User, PrivilegeChange::Insert,
           rowOf(QStringLiteral("127.0.0.1"), QStringLiteral("newbie"), {PrivSelect}));
    QVERIFY(grantsFor(QStringLiteral("'newbie'@'127.0.0.1'")).contains(QLatin1String("GRANT SELECT ON *.*")));
}

void TestPrivilegeAccounts::refusedRevokeLeavesNoMoreRights()
{
    // carol holds DELETE and RELOAD; Select + Reload is asked for, and the
    // REVOKE of what is unticked names FILE, which the login lacks.
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE USER 'carol'@'127.0.0.1' IDENTIFIED BY 'pw';"
                                                        "GRANT DELETE, RELOAD ON *.* TO 'carol'@'127.0.0.1';")));
    const QString before = grantsFor(QStringLiteral("'carol'@'127.0.0.1'"));
    QVERIFY2(before.contains(QLatin1String("GRANT DELETE, RELOAD ON *.*")), qPrintable(before));

    TPrivilegeRow row = rowOf(QStringLiteral("127.0.0.1"), QStringLiteral("carol"), {PrivSelect, PrivReload});
    row.password = QString(); // as the grid shows it: unchanged
    CHANGE(PrivilegeTable::User, PrivilegeChange::Update, row);
    QTRY_VERIFY_WITH_TIMEOUT(!m_s->module->statementsRunning(), 15000);

    const QString after = grantsFor(QStringLiteral("'carol'@'127.0.0.1'"));
    QVERIFY2(!after.contains(QLatin1String("SELECT")), qPrintable(after));
    QCOMPARE(after, before);
    QVERIFY2(logHas(m_s->log, QStringLiteral("REVOKE ")), qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
}

void TestPrivilegeAccounts::databaseNameExactOrPattern_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("shown");
    QTest::newRow("existing database") << QStringLiteral("my_db") << QStringLiteral("Granting on the database my_db")
                                       << QStringLiteral("GRANT SELECT ON `my\\\\_db`.*");  // the client doubles a backslash
    QTest::newRow("pattern") << QStringLiteral("my_d%") << QStringLiteral("Granting on the pattern my_d%")
                             << QStringLiteral("GRANT SELECT ON `my_d%`.*");
}

void TestPrivilegeAccounts::databaseNameExactOrPattern()
{
    QFETCH(QString, typed);
    QFETCH(QString, logLine);
    QFETCH(QString, shown);
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE DATABASE my_db; CREATE DATABASE myXdb;"
                                                        "CREATE USER 'dbu'@'127.0.0.1' IDENTIFIED BY 'pw';")));
    CHANGE(PrivilegeTable::Db, PrivilegeChange::Insert,
           rowOf(QStringLiteral("127.0.0.1"), QStringLiteral("dbu"), {PrivSelect}, typed));
    QVERIFY2(logHas(m_s->log, logLine), qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
    const QString grants = grantsFor(QStringLiteral("'dbu'@'127.0.0.1'"));
    QVERIFY2(grants.contains(shown), qPrintable(grants));
}

void TestPrivilegeAccounts::existingGrantRowIsNotMerged()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE DATABASE my_db;"
                                                        "CREATE USER 'dbu'@'127.0.0.1' IDENTIFIED BY 'pw';"
                                                        "GRANT SELECT ON `my\\_db`.* TO 'dbu'@'127.0.0.1';")));
    const QString before = grantsFor(QStringLiteral("'dbu'@'127.0.0.1'"));
    QVERIFY2(before.contains(QLatin1String("GRANT SELECT ON `my\\\\_db`.*")), qPrintable(before));
    CHANGE(PrivilegeTable::Db, PrivilegeChange::Insert,
           rowOf(QStringLiteral("127.0.0.1"), QStringLiteral("dbu"), {PrivInsert}, QStringLiteral("my_db")));
    QCOMPARE(grantsFor(QStringLiteral("'dbu'@'127.0.0.1'")), before);
    QVERIFY2(logHas(m_s->log, QStringLiteral("exists already")), qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
}

void TestPrivilegeAccounts::passwordFieldIsMasked()
{
    TFormUser dialog;
    dialog.prepareNew();
    QTest::keyClicks(dialog.Edit3, QStringLiteral("secret"));
    QCOMPARE(dialog.Edit3->text(), QStringLiteral("secret"));
    QCOMPARE(dialog.Edit3->echoMode(), QLineEdit::Password);
    QVERIFY(!dialog.Edit3->displayText().contains(QLatin1String("secret")));
}

QTEST_MAIN(TestPrivilegeAccounts)
#include "tst_privilegeaccounts.moc"

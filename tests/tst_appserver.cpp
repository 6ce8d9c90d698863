#include "client/mySQLClient.h"
#include "data/appserverstatements.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/tdmstd.h"
#include "dialogs/applicationdialog.h"
#include "tests/support/modulesession.h"
#include "tests/support/accountchecks.h"
#include "tests/support/privateserver.h"

#include <QLineEdit>
#include <QTest>

#include <memory>

// The application server's job and message tables against a private server:
// what the grids show, how the dialog's values are stored, and that cancel
// and clear change their grid only when the server took them.
class TestAppServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void gridsShowLiveJobsAndAllMessages();
    void insertStoresFieldsAsTyped_data();
    void insertStoresFieldsAsTyped();
    void updateWithoutStatusKeepsIt_data();
    void updateWithoutStatusKeepsIt();
    void modifyKeepsNullsNobodyEdited_data();
    void modifyKeepsNullsNobodyEdited();
    void cancelRemovesRowOnlyWhenAccepted_data();
    void cancelRemovesRowOnlyWhenAccepted();
    void clearEmptiesGridOnlyWhenAccepted_data();
    void clearEmptiesGridOnlyWhenAccepted();
    void withoutTheDatabaseGridsStay();

private:
    using Session = ModuleSession;
    void setSqlMode(const QString &mode);
    std::unique_ptr<Session> m_s;
};

namespace {


// The values of one row, as the command-line client prints them.
QStringList rowOf(const QString &select)
{
    return ServerOutput(select).split(QLatin1Char('\n')).value(1).split(QLatin1Char('\t'));
}

QStringList nonEmpty(const MessageLog &log)
{
    QStringList lines = log.lines();
    lines.removeAll(QString());
    return lines;
}

QString hex(const QString &text)
{
    return QString::fromLatin1(text.toUtf8().toHex().toUpper());
}

} // namespace

void TestAppServer::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    QVERIFY2(PrivateServer::shared().start(&error), qPrintable(error));
}

void TestAppServer::init()
{
    // The tables as the demo data holds them; jobs 1 and 2 live, 3 cancelled.
    QString error;
    QVERIFY2(PrivateServer::shared().sql(
                 AppServerTables()
                     + QStringLiteral(
                     "INSERT INTO action (id, art, action, variable, status, idate, interv, isinterv, mailst, address,"
                     " storno) VALUES"
                     " (1, 'F', 'backup', '/srv/a\\n/srv/b', 'O', '2024-03-01 02:00:00', '001 00:00', 'Y', 'E',"
                     "  'admin@example.org', 'N'),"
                     " (2, 'D', 'optimize', 'shop', 'w', '2024-03-02 03:30:00', '007 00:00', 'N', 'O', NULL, 'N'),"
                     " (3, 'F', 'old', '/tmp', 'O', '2023-12-31 23:00:00', '000 00:00', 'N', 'O', 'x@y', 'Y');"
                     "INSERT INTO error (action, error, level, user) VALUES"
                     " (1, 'Backup finished', 0, 'tarquel'), (3, 'Report written', 2, NULL),"
                     " (1, 'Second run', 1, 'tarquel');"),
                 nullptr, &error),
             qPrintable(error));
    m_s = std::make_unique<Session>();
    QVERIFY(m_s->module->ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(m_s->tree.rowCount() > 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_s->module->statementsRunning(), 10000);
    m_s->log.clear();
}

void TestAppServer::cleanup()
{
    m_s.reset();
}

void TestAppServer::setSqlMode(const QString &mode)
{
    bool done = false;
    m_s->module->RunStatement(QStringLiteral("SET SESSION sql_mode='") + mode + QLatin1Char('\''),
                              [&](const TmySQLClientOutcome &outcome) {
                                  QVERIFY2(!outcome.Failed, qPrintable(outcome.ErrorText));
                                  done = true;
                              });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    m_s->log.clear();
}

void TestAppServer::gridsShowLiveJobsAndAllMessages()
{
    m_s->module->LoadApplications();
    m_s->module->LoadApplicationMessages();
    QTRY_COMPARE_WITH_TIMEOUT(m_s->messages.rowCount(), 3, 10000);
    const GridModel &jobs = m_s->jobs;
    QCOMPARE(jobs.rowCount(), 2); // the cancelled job is not listed
    const QStringList first = {"F", "backup", "/srv/a\n/srv/b", "O", "2024-03-01 02:00:00", "001 00:00", "Y", "E",
                               "admin@example.org", "1"};
    for (int c = 0; c < first.size(); ++c)
        QCOMPARE(jobs.text(0, c), first.at(c));
    QCOMPARE(jobs.text(1, 1), QStringLiteral("optimize"));
    QCOMPARE(jobs.text(1, 3), QStringLiteral("w")); // codes as stored
    QVERIFY(jobs.isNull(1, 8));
    QCOMPARE(ApplicationJobFromGrid(jobs, 1).id, QStringLiteral("2"));

    // Messages of every job, the cancelled one's too: job name, message, level, user.
    QStringList shown;
    for (int r = 0; r < m_s->messages.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < 4; ++c)
            cells << m_s->messages.text(r, c);
        shown << cells.join(QLatin1Char('|'));
    }
    shown.sort();
    QCOMPARE(shown, QStringList({"backup|Backup finished|0|tarquel", "backup|Second run|1|tarquel",
                                 "old|Report written|2|"}));
    QVERIFY(nonEmpty(m_s->log).isEmpty());
}

void TestAppServer::insertStoresFieldsAsTyped_data()
{
    QTest::addColumn<QString>("sqlMode");
    QTest::addColumn<QString>("art");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("isinterv");
    QTest::addColumn<QString>("mailst");
    QTest::addColumn<QString>("storedStatus");

    QTest::newRow("file system, queued, mail on error") << "" << "F" << "Q" << true << "E" << "Q";
    QTest::newRow("database, ok, mail on success") << "" << "D" << "O" << false << "O" << "O";
    QTest::newRow("no status chosen") << "" << "D" << "" << false << "O" << "W";
    QTest::newRow("NO_BACKSLASH_ESCAPES") << "NO_BACKSLASH_ESCAPES" << "F" << "E" << true << "E" << "E";
    QTest::newRow("ANSI_QUOTES") << "ANSI_QUOTES" << "F" << "W" << false << "E" << "W";
}

void TestAppServer::insertStoresFieldsAsTyped()
{
    QFETCH(QString, sqlMode);
    QFETCH(QString, art);
    QFETCH(QString, status);
    QFETCH(bool, isinterv);
    QFETCH(QString, mailst);
    QFETCH(QString, storedStatus);
    if (!sqlMode.isEmpty())
        setSqlMode(sqlMode);

    TApplicationJob job;
    job.art = art;
    job.action = QStringLiteral("new job");
    job.variable = QStringLiteral("C:\\path\\\nsecond 'line' \"x\"\r\nthird");
    job.status = status;
    job.idate = QStringLiteral("2024-05-06 07:08:09");
    job.interv = QStringLiteral("003 04:05");
    job.isinterv = isinterv;
    job.mailst = mailst;
    job.address = QStringLiteral("o'neil@example.org");
    bool answered = false;
    m_s->module->InsertApplication(job, [&] { answered = true; });
    QTRY_VERIFY_WITH_TIMEOUT(answered, 10000);
    QVERIFY2(nonEmpty(m_s->log).isEmpty(), qPrintable(nonEmpty(m_s->log).join(QLatin1Char('|'))));

    const QStringList stored = rowOf(QStringLiteral(
        "SELECT art, HEX(variable), status, idate, interv, isinterv, mailst, HEX(address), storno"
        " FROM appserver.action WHERE action='new job'"));
    QCOMPARE(stored, QStringList({art, hex(job.variable), storedStatus, job.idate, job.interv,
                                  isinterv ? "Y" : "N", mailst, hex(job.address), "N"}));

    // The new job is listed on the next read.
    m_s->module->LoadApplications();
    QTRY_COMPARE_WITH_TIMEOUT(m_s->jobs.rowCount(), 3, 10000);
    QCOMPARE(m_s->jobs.text(2, 2), job.variable);
}

void TestAppServer::updateWithoutStatusKeepsIt_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("storedStatus");
    QTest::newRow("no status chosen") << "" << "O";
    QTest::newRow("error chosen") << "E" << "E";
}

void TestAppServer::updateWithoutStatusKeepsIt()
{
    QFETCH(QString, status);
    QFETCH(QString, storedStatus);
    m_s->module->LoadApplications();
    QTRY_COMPARE_WITH_TIMEOUT(m_s->jobs.rowCount(), 2, 10000);
    TApplicationJob job = ApplicationJobFromGrid(m_s->jobs, 0);
    job.status = status;
    job.action = QStringLiteral("backup 'nightly'");
    job.isinterv = false;
    bool answered = false;
    m_s->module->UpdateApplication(job, [&] { answered = true; });
    QTRY_VERIFY_WITH_TIMEOUT(answered, 10000);
    QVERIFY2(nonEmpty(m_s->log).isEmpty(), qPrintable(nonEmpty(m_s->log).join(QLatin1Char('|'))));
    QCOMPARE(rowOf(QStringLiteral("SELECT action, status, isinterv, HEX(variable) FROM appserver.action WHERE id=1")),
             QStringList({"backup 'nightly'", storedStatus, "N", hex(QStringLiteral("/srv/a\n/srv/b"))}));
    // The other job is untouched.
    QCOMPARE(rowOf(QStringLiteral("SELECT action, status FROM appserver.action WHERE id=2")),
             QStringList({"optimize", "w"}));
}

void TestAppServer::modifyKeepsNullsNobodyEdited_data()
{
    QTest::addColumn<QString>("date");     // typed into "Date:", or empty
    QTest::addColumn<QString>("address"); // typed into "Mail Address:", or empty
    QTest::addColumn<QStringList>("stored"); // idate, interv, variable, address
    QTest::newRow("only the application changed") << "" << "" << QStringList{"NULL", "NULL", "NULL", "NULL"};
    QTest::newRow("a date typed") << "2024-07-08 09:10:11" << ""
                                  << QStringList{"2024-07-08 09:10:11", "NULL", "NULL", "NULL"};
    QTest::newRow("an address typed") << "" << "ops@example.org"
                                      << QStringList{"NULL", "NULL", "NULL", "ops@example.org"};
}

void TestAppServer::modifyKeepsNullsNobodyEdited()
{
    // A job whose date, interval, variable and address are NULL, changed
    // through the dialog under strict mode: the NULL cells go back as NULL,
    // not as '' (which a DATETIME refuses there).
    QFETCH(QString, date);
    QFETCH(QString, address);
    QFETCH(QStringList, stored);
    QVERIFY(PrivateServer::shared().sql(
        QStringLiteral("INSERT INTO appserver.action (id, art, action, variable, status, idate, interv, isinterv,"
                       " mailst, address, storno) VALUES (4, 'D', 'sparse', NULL, 'W', NULL, NULL, 'N', 'E', NULL,"
                       " 'N');")));
    setSqlMode(QStringLiteral("STRICT_ALL_TABLES,NO_ZERO_DATE"));
    m_s->module->LoadApplications();
    QTRY_COMPARE_WITH_TIMEOUT(m_s->jobs.rowCount(), 3, 10000);
    int row = -1;
    for (int r = 0; r < m_s->jobs.rowCount(); ++r) {
        if (m_s->jobs.text(r, JobIdCell) == QLatin1String("4"))
            row = r;
    }
    QVERIFY(row >= 0);
    QVERIFY(m_s->jobs.isNull(row, 4));

    TFormApplication dialog;
    dialog.showJob(ApplicationJobFromGrid(m_s->jobs, row));
    dialog.EditApp->setText(QStringLiteral("sparse, renamed"));
    if (!date.isEmpty())
        dialog.MaskDate->setText(date);
    if (!address.isEmpty())
        dialog.EditAdress->setText(address);
    const TApplicationJob job = dialog.job();
    QVERIFY2(!JobUpdateStatement(job).contains(QLatin1String("''")), qPrintable(JobUpdateStatement(job)));
    bool answered = false;
    m_s->module->UpdateApplication(job, [&] { answered = true; });
    QTRY_VERIFY_WITH_TIMEOUT(answered, 10000);
    QVERIFY2(nonEmpty(m_s->log).isEmpty(), qPrintable(nonEmpty(m_s->log).join(QLatin1Char('|'))));
    QCOMPARE(rowOf(QStringLiteral("SELECT idate, interv, variable, address FROM appserver.action WHERE id=4")), stored);
    QCOMPARE(rowOf(QStringLiteral("SELECT action, status, isinterv, mailst FROM appserver.action WHERE id=4")),
             QStringList({"sparse, renamed", "W", "N", "E"}));

    // Emptied on purpose, a field that had a value is sent as typed.
    dialog.showJob(ApplicationJobFromGrid(m_s->jobs, 0));
    dialog.EditAdress->clear();
    QVERIFY(!dialog.job().nulls.contains(QStringLiteral("address")));
    QVERIFY(JobUpdateStatement(dialog.job()).contains(QLatin1String("address=''")));
}

void TestAppServer::cancelRemovesRowOnlyWhenAccepted_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::newRow("accepted") << true;
    QTest::newRow("refused") << false;
}

void TestAppServer::cancelRemovesRowOnlyWhenAccepted()
{
    QFETCH(bool, accepted);
    m_s->module->LoadApplications();
    m_s->module->LoadApplicationMessages();
    QTRY_COMPARE_WITH_TIMEOUT(m_s->messages.rowCount(), 3, 10000);
    QCOMPARE(m_s->jobs.rowCount(), 2);
    if (!accepted)
        QVERIFY(PrivateServer::shared().sql(QStringLiteral("RENAME TABLE appserver.action TO appserver.action_gone")));

    m_s->module->CancelApplication(QStringLiteral("1"));
    if (accepted) {
        QTRY_COMPARE_WITH_TIMEOUT(m_s->jobs.rowCount(), 1, 10000);
        QCOMPARE(m_s->jobs.text(0, JobIdCell), QStringLiteral("2"));
        QCOMPARE(m_s->jobs.text(0, 1), QStringLiteral("optimize"));
        QVERIFY(m_s->jobs.isNull(0, 8)); // the kept row keeps its NULL
        QCOMPARE(rowOf(QStringLiteral("SELECT storno FROM appserver.action WHERE id=1")), QStringList{"Y"});
        QVERIFY(nonEmpty(m_s->log).isEmpty());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(nonEmpty(m_s->log).size(), 1, 10000);
        QVERIFY(nonEmpty(m_s->log).constFirst().contains(QLatin1String("action")));
        QCOMPARE(m_s->jobs.rowCount(), 2);
        QVERIFY(PrivateServer::shared().sql(QStringLiteral("RENAME TABLE appserver.action_gone TO appserver.action")));
        QCOMPARE(rowOf(QStringLiteral("SELECT storno FROM appserver.action WHERE id=1")), QStringList{"N"});
    }
    // Its messages stay listed until the message grid is read again.
    QCOMPARE(m_s->messages.rowCount(), 3);
}

void TestAppServer::clearEmptiesGridOnlyWhenAccepted_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::newRow("accepted") << true;
    QTest::newRow("refused") << false;
}

void TestAppServer::clearEmptiesGridOnlyWhenAccepted()
{
    QFETCH(bool, accepted);
    m_s->module->LoadApplicationMessages();
    QTRY_COMPARE_WITH_TIMEOUT(m_s->messages.rowCount(), 3, 10000);
    if (!accepted)
        QVERIFY(PrivateServer::shared().sql(QStringLiteral("RENAME TABLE appserver.error TO appserver.error_gone")));
    m_s->module->ClearApplicationMessages();
    if (accepted) {
        QTRY_COMPARE_WITH_TIMEOUT(m_s->messages.rowCount(), 0, 10000);
        QCOMPARE(rowOf(QStringLiteral("SELECT COUNT(*) FROM appserver.error")), QStringList{"0"});
        QVERIFY(nonEmpty(m_s->log).isEmpty());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(nonEmpty(m_s->log).size(), 1, 10000);
        QCOMPARE(m_s->messages.rowCount(), 3);
    }
}

void TestAppServer::withoutTheDatabaseGridsStay()
{
    m_s->module->LoadApplications();
    m_s->module->LoadApplicationMessages();
    QTRY_COMPARE_WITH_TIMEOUT(m_s->messages.rowCount(), 3, 10000);
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("DROP DATABASE appserver")));
    m_s->module->LoadApplications();
    m_s->module->LoadApplicationMessages();
    // Each read stops where the database cannot be made current.
    QTRY_COMPARE_WITH_TIMEOUT(nonEmpty(m_s->log).size(), 2, 10000);
    for (const QString &line : nonEmpty(m_s->log))
        QVERIFY2(line.contains(QLatin1String("appserver")), qPrintable(line));
    QCOMPARE(m_s->jobs.rowCount(), 2);
    QCOMPARE(m_s->messages.rowCount(), 3);
}

QTEST_MAIN(TestAppServer)
#include "tst_appserver.moc"

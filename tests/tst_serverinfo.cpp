#include "client/mySQLClient.h"
#include "data/connectionoptions.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/serverstatus.h"
#include "data/tdmstd.h"
#include "data/settingsstore.h"
#include "shell/autologchart.h"
#include "tests/support/generallog.h"
#include "tests/support/modulesession.h"
#include "tests/support/privateserver.h"
#include "tests/support/serverqueries.h"
#include "tests/support/settle.h"

#include <QLineSeries>
#include <QSignalSpy>
#include <QTest>
#include <QValueAxis>

#include <cmath>
#include <memory>

// Server information and maintenance through the data module, against a
// private server: listings, kill, flushes, connection options, the status
// line of the automatic log; and reading the status line into numbers.
class TestServerInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void nameValueListings_data();
    void nameValueListings();
    void processListShowsOwnAndOtherConnections();
    void failingListingLeavesGridEmpty();
    void killAnotherConnection();
    void killTakesOnlyANumber();
    void flushes_data();
    void flushes();
    void flushWithoutAccessToMysqlIsStillSent();
    void connectionOptions_data();
    void connectionOptions();
    void optionTakesEffectOnTheConnection();
    void statusLineForTheAutomaticLog();
    void clearing();
    void parseStatusLine_data();
    void parseStatusLine();
    void statusSeries();
    void chartRatesAndCountLabels_data();
    void chartRatesAndCountLabels();

private:
    using Session = ModuleSession;
    QStringList statements() const;
    // Runs a SELECT through the data module and returns its first cell.
    QString selectValue(const QString &select);

    std::unique_ptr<Session> m_s;
};

void TestServerInfo::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(enableGeneralLog(server, &error), qPrintable(error));
}

void TestServerInfo::init()
{
    m_s = std::make_unique<Session>();
    QVERIFY(m_s->module->ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(m_s->tree.rowCount() > 0, 20000);
    m_s->log.clear();
    clearGeneralLog(PrivateServer::shared());
}

void TestServerInfo::cleanup()
{
    m_s.reset();
}

QStringList TestServerInfo::statements() const
{
    return generalLog(PrivateServer::shared(), m_s->module->ActiveClient()->ConnectionId());
}

QString TestServerInfo::selectValue(const QString &select)
{
    // The statement seen in the general log may still be running: a new
    // script is refused until its outcome has been handled.
    settle();
    QSignalSpy finished(m_s->module.get(), &TDMstd::scriptFinished);
    m_s->module->ExecuteScript(QStringLiteral("mysql"), select);
    if (!QTest::qWaitFor([&] { return finished.count() > 0; }, 20000))
        return QStringLiteral("<no answer>");
    return m_s->query.text(0, 0);
}

void TestServerInfo::nameValueListings_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("name");
    QTest::newRow("variables") << "SHOW VARIABLES" << "max_allowed_packet";
    QTest::newRow("status") << "SHOW STATUS" << "Uptime";
}

void TestServerInfo::nameValueListings()
{
    QFETCH(QString, statement);
    QFETCH(QString, name);
    // Twice in a row: the grid shows the listing once.
    for (int run = 0; run < 2; ++run) {
        m_s->module->LoadServerInfo(statement, false);
        QTRY_VERIFY_WITH_TIMEOUT(m_s->info.rowCount() > 20, 20000);
        QCOMPARE(m_s->info.columnCount(), 2);
        QCOMPARE(m_s->info.columnCaption(0), QStringLiteral("Name"));
        QCOMPARE(m_s->info.columnCaption(1), QStringLiteral("Value"));
        QCOMPARE(m_s->info.columnWidth(0), 250);
        QCOMPARE(m_s->info.columnWidth(1), 250);
    }
    int row = -1;
    for (int r = 0; r < m_s->info.rowCount(); ++r) {
        if (m_s->info.caption(r) == name)
            row = r;
    }
    QVERIFY2(row >= 0, qPrintable(name));
    QVERIFY(!m_s->info.text(row, 1).isEmpty());
    if (name == QLatin1String("max_allowed_packet"))
        QCOMPARE(m_s->info.text(row, 1), QString::number(64 * 1024 * 1024));
    QCOMPARE(statements(), (QStringList{statement, statement}));
    QCOMPARE(m_s->log.lines(), QStringList());
    QVERIFY(!m_s->module->busy());
}

void TestServerInfo::processListShowsOwnAndOtherConnections()
{
    TmySQLClient other;
    connectSecondClient(other, PrivateServer::shared(), QStringLiteral("mysql"));
    QTRY_VERIFY_WITH_TIMEOUT(other.Connected(), 20000);
    // Once a statement of its own came back, the other connection sleeps.
    bool answered = false;
    other.Query()->Execute(QStringLiteral("DO 1"), QStringLiteral("DO 1"), {},
                           [&answered](QObject *, const QString &) { answered = true; },
                           [&answered](QObject *) { answered = true; });
    other.Query()->Run();
    QTRY_VERIFY_WITH_TIMEOUT(answered, 20000);
    // The server answers before it marks the connection idle again.
    QTRY_COMPARE_WITH_TIMEOUT(serverRows(PrivateServer::shared(),
                                         QStringLiteral("SELECT COMMAND FROM information_schema.PROCESSLIST WHERE ID = ")
                                             + QString::number(other.ConnectionId()))
                                  .value(0),
                              QStringLiteral("Sleep"), 20000);

    m_s->module->LoadServerInfo(QStringLiteral("SHOW PROCESSLIST"), true);
    QTRY_VERIFY_WITH_TIMEOUT(m_s->info.rowCount() >= 2, 20000);
    const QStringList captions = {"ID", "User", "Host", "Database", "Command", "Time", "State", "Info"};
    const QList<int> widths = {40, 50, 100, 70, 70, 40, 40, 150};
    QCOMPARE(m_s->info.columnCount(), 8);
    for (int c = 0; c < 8; ++c) {
        QCOMPARE(m_s->info.columnCaption(c), captions.at(c));
        QCOMPARE(m_s->info.columnWidth(c), widths.at(c));
    }
    const QString own = QString::number(m_s->module->ActiveClient()->ConnectionId());
    const QString second = QString::number(other.ConnectionId());
    int ownRow = -1;
    int secondRow = -1;
    for (int r = 0; r < m_s->info.rowCount(); ++r) {
        if (m_s->info.caption(r) == own)
            ownRow = r;
        if (m_s->info.caption(r) == second)
            secondRow = r;
    }
    QVERIFY(ownRow >= 0);
    QVERIFY(secondRow >= 0);
    // Read by name: the server's Progress column does not shift the cells.
    QCOMPARE(m_s->info.text(ownRow, 1), PrivateServer::user());
    QCOMPARE(m_s->info.text(ownRow, 4), QStringLiteral("Query"));
    QCOMPARE(m_s->info.text(ownRow, 7), QStringLiteral("SHOW PROCESSLIST"));
    QCOMPARE(m_s->info.text(secondRow, 3), QStringLiteral("mysql"));
    QCOMPARE(m_s->info.text(secondRow, 4), QStringLiteral("Sleep"));
    other.Close();
}

void TestServerInfo::failingListingLeavesGridEmpty()
{
    m_s->module->LoadServerInfo(QStringLiteral("SHOW VARIABLES"), false);
    QTRY_VERIFY_WITH_TIMEOUT(m_s->info.rowCount() > 0, 20000);
    m_s->module->LoadServerInfo(QStringLiteral("SHOW NO_SUCH_LISTING"), false);
    QCOMPARE(m_s->info.columnCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_s->log.lines().size(), 1, 20000);
    QVERIFY(m_s->log.lines().first().contains(QLatin1String("SQL syntax")));
    QCOMPARE(m_s->info.columnCount(), 0);
    QCOMPARE(m_s->info.rowCount(), 0);
}

void TestServerInfo::killAnotherConnection()
{
    TmySQLClient other;
    connectSecondClient(other, PrivateServer::shared());
    QTRY_VERIFY_WITH_TIMEOUT(other.Connected(), 20000);
    const QString id = QString::number(other.ConnectionId());
    const auto alive = [&id] {
        return serverRows(PrivateServer::shared(),
                          QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = %1;").arg(id))
            == QStringList{QStringLiteral("1")};
    };
    QVERIFY(alive());
    m_s->module->KillProcess(id);
    QTRY_COMPARE_WITH_TIMEOUT(m_s->log.lines().size(), 2, 20000);
    QCOMPARE(m_s->log.lines(), (QStringList{QString(), QStringLiteral("Killed ") + id}));
    QCOMPARE(statements(), QStringList{QStringLiteral("KILL ") + id});
    QTRY_VERIFY_WITH_TIMEOUT(!alive(), 20000);
    // A kill the server refuses is not reported as done.
    m_s->log.clear();
    m_s->module->KillProcess(id);
    QTRY_COMPARE_WITH_TIMEOUT(m_s->log.lines().size(), 1, 20000);
    settle();
    QCOMPARE(m_s->log.lines().size(), 1);
    QVERIFY2(m_s->log.lines().first().contains(QStringLiteral("Unknown thread")),
             qPrintable(m_s->log.lines().first()));
    // Our own connection goes on.
    QCOMPARE(selectValue(QStringLiteral("SELECT 40 + 2")), QStringLiteral("42"));
}

void TestServerInfo::killTakesOnlyANumber()
{
    m_s->module->KillProcess(QStringLiteral("1; DROP DATABASE mysql"));
    QCOMPARE(m_s->log.lines(), QStringList{QStringLiteral("Not a process id: 1; DROP DATABASE mysql")});
    m_s->module->RunStatement(QStringLiteral("DO 1"));
    QTRY_COMPARE_WITH_TIMEOUT(m_s->log.lines().size(), 2, 20000);
    QCOMPARE(statements(), QStringList{QStringLiteral("DO 1")});
}

void TestServerInfo::flushes_data()
{
    QTest::addColumn<QString>("statement");
    for (const char *statement : {"FLUSH HOSTS", "FLUSH LOGS", "FLUSH PRIVILEGES", "FLUSH TABLES", "FLUSH STATUS"})
        QTest::newRow(statement) << QString::fromLatin1(statement);
}

void TestServerInfo::flushes()
{
    QFETCH(QString, statement);
    m_s->module->Flush(statement);
    QTRY_COMPARE_WITH_TIMEOUT(m_s->log.lines().size(), 2, 20000);
    QCOMPARE(m_s->log.lines(), (QStringList{QStringLiteral("Flush OK ..."), QString()}));
    QCOMPARE(statements(), (QStringList{QStringLiteral("USE mysql"), statement}));
}

void TestServerInfo::flushWithoutAccessToMysqlIsStillSent()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE USER IF NOT EXISTS 'flusher'@'%' IDENTIFIED BY 'pw';"
                                                       "GRANT RELOAD ON *.* TO 'flusher'@'%';")));
    Session limited(QStringLiteral("flusher"), QStringLiteral("pw"));
    QVERIFY(limited.module->ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(limited.module->ActiveClient()->Connected() && limited.log.lines().size() >= 5, 20000);
    limited.log.clear();
    limited.module->Flush(QStringLiteral("FLUSH TABLES"));
    QTRY_COMPARE_WITH_TIMEOUT(limited.log.lines().size(), 3, 20000);
    QVERIFY2(limited.log.lines().at(0).contains(QLatin1String("Access denied")), qPrintable(limited.log.lines().at(0)));
    QCOMPARE(limited.log.lines().mid(1), (QStringList{QStringLiteral("Flush OK ..."), QString()}));
    QVERIFY(generalLog(PrivateServer::shared(), limited.module->ActiveClient()->ConnectionId())
                .contains(QStringLiteral("FLUSH TABLES")));
}

void TestServerInfo::connectionOptions_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("error"); // part of the logged outcome; empty: accepted
    QTest::newRow("auto increment") << "dbopt_incl" << "1" << "set SQL_AUTO_IS_NULL = 1" << "";
    QTest::newRow("big tables") << "dbopt_tables" << "1" << "set BIG_TABLES = 1" << "";
    QTest::newRow("big selects") << "dbopt_select" << "0" << "set SQL_BIG_SELECTS = 0" << "";
    QTest::newRow("low priority updates") << "dbopt_update" << "1" << "set LOW_PRIORITY_UPDATES = 1" << "";
    QTest::newRow("max join size") << "dbopt_join" << "1000" << "set MAX_JOIN_SIZE = 1000" << "";
    QTest::newRow("save mode") << "dbopt_mode" << "1" << "set SQL_SAFE_UPDATES = 1" << "";
    QTest::newRow("select limit default") << "dbopt_limit" << "DEFAULT" << "set SQL_SELECT_LIMIT = DEFAULT" << "";
    QTest::newRow("log off") << "dbopt_logoff" << "0" << "set SQL_LOG_OFF = 0" << "";
    QTest::newRow("log update") << "dbopt_log" << "0" << "set SQL_LOG_UPDATE = 0"
                                << "Unknown system variable 'SQL_LOG_UPDATE'";
    QTest::newRow("timestamp") << "dbopt_time" << "DEFAULT" << "set TIMESTAMP = DEFAULT" << "";
    QTest::newRow("insert id") << "dbopt_insert" << "17" << "set INSERT_ID = 17" << "";
    QTest::newRow("word for a switch") << "dbopt_select" << "maybe" << "set SQL_BIG_SELECTS = maybe"
                                       << "Variable 'sql_big_selects' can't be set to the value of 'maybe'";
}

void TestServerInfo::connectionOptions()
{
    QFETCH(QString, action);
    QFETCH(QString, value);
    QFETCH(QString, statement);
    QFETCH(QString, error);
    m_s->module->SetConnectionOption(action, value);
    QTRY_COMPARE_WITH_TIMEOUT(m_s->log.lines().size(), 1, 20000);
    if (error.isEmpty())
        QCOMPARE(m_s->log.lines(), QStringList{QString()});
    else
        QVERIFY2(m_s->log.lines().first().contains(error), qPrintable(m_s->log.lines().first()));
    const QStringList sent = statements();
    QCOMPARE(sent.first(), QStringLiteral("USE mysql"));
    QCOMPARE(sent.last(), statement);
    // A name to look up: one question to the server before the SET.
    const ConnectionOption *option = connectionOption(action);
    QVERIFY(option);
    QCOMPARE(sent.size(), ConnectionOptionNames(*option).size() > 1 ? 3 : 2);
}

void TestServerInfo::optionTakesEffectOnTheConnection()
{
    QCOMPARE(selectValue(QStringLiteral("SELECT @@big_tables")), QStringLiteral("0"));
    m_s->module->SetConnectionOption(QStringLiteral("dbopt_tables"), QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(statements().contains(QStringLiteral("set BIG_TABLES = 1")), 20000);
    QCOMPARE(selectValue(QStringLiteral("SELECT @@big_tables")), QStringLiteral("1"));

    m_s->module->SetConnectionOption(QStringLiteral("dbopt_mode"), QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(statements().contains(QStringLiteral("set SQL_SAFE_UPDATES = 1")), 20000);
    QCOMPARE(selectValue(QStringLiteral("SELECT @@sql_safe_updates")), QStringLiteral("1"));
    // In force: an UPDATE without a key in its WHERE is refused now.
    m_s->log.clear();
    QSignalSpy finished(m_s->module.get(), &TDMstd::scriptFinished);
    m_s->module->ExecuteScript(QStringLiteral("mysql"), QStringLiteral("UPDATE mysql.db SET Host = Host"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    QVERIFY2(m_s->log.lines().join(QLatin1Char('|')).contains(QLatin1String("safe update mode")),
             qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
}

void TestServerInfo::statusLineForTheAutomaticLog()
{
    QSignalSpy lines(&m_s->autoLog, &MessageLog::lineAppended);
    bool reported = false;
    QVERIFY(m_s->module->ReadServerStatus([&reported](const TmySQLClientOutcome &outcome) {
        reported = !outcome.Failed;
    }));
    // One read at a time.
    QVERIFY(!m_s->module->ReadServerStatus());
    QTRY_COMPARE_WITH_TIMEOUT(lines.count(), 1, 20000);
    QVERIFY(reported);
    const QString line = m_s->autoLog.lines().first();
    QVERIFY2(line.startsWith(QLatin1String("Uptime: ")), qPrintable(line));
    QVERIFY(ParseServerStatus(line).has_value());
    QCOMPARE(m_s->log.lines(), QStringList()); // nothing in the message log
    QVERIFY(m_s->module->ReadServerStatus());
    QTRY_COMPARE_WITH_TIMEOUT(lines.count(), 2, 20000);

    m_s->module->ActiveClient()->Close();
    QTRY_VERIFY_WITH_TIMEOUT(!m_s->module->ActiveClient()->Connected(), 20000);
    QVERIFY(!m_s->module->ReadServerStatus());
}

void TestServerInfo::clearing()
{
    m_s->module->ReportAutoLog(true);
    m_s->module->ReportAutoLog(false);
    QCOMPARE(m_s->log.lines(), (QStringList{QStringLiteral("Automatic log active"), QStringLiteral("Automatic log stopt")}));
    m_s->autoLog.append(QStringLiteral("Uptime: 1  Threads: 1  Questions: 1"));
    m_s->module->ClearAutoLog();
    QCOMPARE(m_s->autoLog.lines(), QStringList());
    QCOMPARE(m_s->log.lines().size(), 2);
    m_s->module->ClearMessageLog();
    QCOMPARE(m_s->log.lines(), QStringList());
}

void TestServerInfo::parseStatusLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QList<double>>("values"); // uptime, threads, questions, slow, opens, open tables, qps
    QTest::newRow("current server")
        << "Uptime: 10  Threads: 1  Questions: 50  Slow queries: 0  Opens: 19  Open tables: 10  Queries per "
           "second avg: 5.000"
        << true << QList<double>{10, 1, 50, 0, 19, 10, 5.0};
    QTest::newRow("old server with flush tables")
        << "Uptime: 3600  Threads: 12  Questions: 123456  Slow queries: 7  Opens: 80  Flush tables: 1  Open tables: "
           "64  Queries per second avg: 34.293"
        << true << QList<double>{3600, 12, 123456, 7, 80, 64, 34.293};
    QTest::newRow("empty answer") << "" << false << QList<double>();
    QTest::newRow("an error text") << "MySQL server has gone away" << false << QList<double>();
}

void TestServerInfo::parseStatusLine()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(QList<double>, values);
    const std::optional<ServerStatusSample> sample = ParseServerStatus(line);
    QCOMPARE(sample.has_value(), valid);
    if (!valid)
        return;
    const QList<double> parsed = {sample->uptime,      sample->threads, sample->questions,
                                  sample->slowQueries, sample->opens,   sample->openTables,
                                  sample->queriesPerSecondAverage};
    QCOMPARE(parsed, values);
}

void TestServerInfo::statusSeries()
{
    ServerStatusSeries series(3);
    const auto line = [](int uptime, int threads, int questions, int slow, int openTables) {
        return QStringLiteral("Uptime: %1  Threads: %2  Questions: %3  Slow queries: %4  Opens: 1  Open tables: %5  "
                              "Queries per second avg: 9.500")
            .arg(uptime)
            .arg(threads)
            .arg(questions)
            .arg(slow)
            .arg(openTables);
    };
    QVERIFY(series.add(line(100, 2, 1000, 0, 30), 1'000'000));
    // The first line has no rate: the server's lifetime average is none.
    QVERIFY(!series.points().last().hasRate);
    QCOMPARE(series.points().last().questionsPerSecond, 0.0);
    QVERIFY(series.add(line(110, 3, 1500, 1, 31), 1'010'000));
    // 500 questions in 10 seconds.
    QVERIFY(series.points().last().hasRate);
    QCOMPARE(series.points().last().questionsPerSecond, 50.0);
    QCOMPARE(series.points().last().threads, 3.0);
    QCOMPARE(series.points().last().slowQueries, 1.0);
    QCOMPARE(series.points().last().openTables, 31.0);
    // A failed read adds no point.
    QVERIFY(!series.add(QString(), 1'015'000));
    QCOMPARE(series.points().size(), 2);
    // Restarted in between: fewer questions, no rate again.
    QVERIFY(series.add(line(5, 1, 20, 0, 4), 1'020'000));
    QVERIFY(!series.points().last().hasRate);
    // The oldest point goes beyond the limit.
    QVERIFY(series.add(line(15, 1, 120, 0, 4), 1'030'000));
    QCOMPARE(series.points().size(), 3);
    QCOMPARE(series.points().first().msecs, 1'010'000);
    QCOMPARE(series.points().last().questionsPerSecond, 10.0);
    series.clear();
    QVERIFY(series.points().isEmpty());
    QVERIFY(series.add(line(20, 1, 200, 0, 4), 1'040'000));
    QVERIFY(!series.points().last().hasRate);
}

void TestServerInfo::chartRatesAndCountLabels_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("openTables");
    QTest::newRow("nothing open") << 1 << 0;
    QTest::newRow("a few") << 3 << 7;
    QTest::newRow("dozens") << 12 << 64;
    QTest::newRow("thousands") << 40 << 2345;
}

void TestServerInfo::chartRatesAndCountLabels()
{
    QFETCH(int, threads);
    QFETCH(int, openTables);
    AutoLogChart chart;
    const auto line = [&](int uptime, int questions) {
        return QStringLiteral("Uptime: %1  Threads: %2  Questions: %3  Slow queries: 0  Opens: 1  Open tables: %4  "
                              "Queries per second avg: 123.000")
            .arg(uptime)
            .arg(threads)
            .arg(questions)
            .arg(openTables);
    };
    QLineSeries *questions = chart.lines().at(1);
    QCOMPARE(questions->name(), QStringLiteral("Questions/s"));
    // The first line draws the counts but no rate.
    chart.addLine(line(100, 1000), 2'000'000);
    QCOMPARE(chart.lines().at(0)->count(), 1);
    QCOMPARE(questions->count(), 0);
    chart.addLine(line(110, 1020), 2'010'000);
    QCOMPARE(questions->count(), 1);
    QCOMPARE(questions->at(0), QPointF(2'010'000, 2.0));

    // The count axis labels whole numbers ("%d"): each tick at one, none twice.
    QValueAxis *counts = nullptr;
    for (QAbstractAxis *axis : chart.chart()->axes(Qt::Vertical)) {
        if (axis->titleText() == QLatin1String("count"))
            counts = qobject_cast<QValueAxis *>(axis);
    }
    QVERIFY(counts);
    QCOMPARE(counts->labelFormat(), QStringLiteral("%d"));
    QCOMPARE(counts->min(), 0.0);
    QVERIFY(counts->max() >= std::max(threads, openTables));
    QVERIFY(counts->tickCount() >= 2 && counts->tickCount() <= 11);
    QStringList labels;
    for (int i = 0; i < counts->tickCount(); ++i) {
        const double value = counts->min() + i * (counts->max() - counts->min()) / (counts->tickCount() - 1);
        QVERIFY2(std::abs(value - std::round(value)) < 1e-9, qPrintable(QString::number(value)));
        labels.append(QString::asprintf("%d", int(value)));
    }
    QCOMPARE(QSet<QString>(labels.begin(), labels.end()).size(), labels.size());
}

QTEST_MAIN(TestServerInfo)
#include "tst_serverinfo.moc"

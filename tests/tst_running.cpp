#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/scripteditor.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"
#include "tests/support/serverqueries.h"
#include "tests/support/settle.h"
#include "tests/support/watchdog.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

// Statements on the client's worker thread: stopping them, commands that
// arrive meanwhile, connect timeouts and a server that goes away, against a
// private server.
class TestRunning : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void stopEndsSleepWithServersMessage();
    void scriptStopsAtTheStoppedStatement();
    void commandsWaitForRunningStatements();
    void silentServerEndsInConnectTimeout();
    void stopAbandonsConnectAttempt();
    void closingGivesUpOnSilentServer();
    void serverGoneThenReconnect();

private:
    struct Session;
    std::unique_ptr<Session> m_s;
};

namespace {

class NoEditor : public ScriptEditor
{
public:
    QString scriptText() const override { return {}; }
    bool selectErrorFragment(const QString &, int, int) override { return false; }
    void toggleErrorMarkAtCaretLine() override {}
};

int countRows(const QString &from)
{
    QString output;
    if (!PrivateServer::shared().sql(QStringLiteral("SELECT COUNT(*) FROM ") + from, &output))
        return -1;
    bool ok = false;
    const int n = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(1).trimmed().toInt(&ok);
    return ok ? n : -1;
}

// Whether the server is running a statement that starts with this text: a
// statement to be stopped must have reached the server first.
bool serverRuns(const QString &statementStart)
{
    return countRows(QStringLiteral("information_schema.processlist WHERE info LIKE '") + statementStart
                     + QStringLiteral("%' AND id <> CONNECTION_ID()"))
        > 0;
}

bool logHas(const MessageLog &log, const QString &text)
{
    for (const QString &line : log.lines()) {
        if (line.contains(text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// A listener that takes connections and never says a word, as a server
// that hangs would.
class SilentServer : public QTcpServer
{
public:
    SilentServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                m_sockets.append(socket);
        });
    }
    int accepted() const { return int(m_sockets.size()); }

private:
    QList<QTcpSocket *> m_sockets;
};

} // namespace

struct TestRunning::Session : HeadlessViews
{
    Session()
        : HeadlessViews(PrivateServer::shared().host(), QString::number(PrivateServer::shared().port()),
                        PrivateServer::user(), PrivateServer::password())
    {
        views.editor = &editor;
        module = std::make_unique<TDMstd>(views);
    }

    bool connect()
    {
        if (!module->ConnectProfile())
            return false;
        settle();
        return module->ActiveClient()->Connected();
    }

    NoEditor editor;
    std::unique_ptr<TDMstd> module;
};

void TestRunning::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral("CREATE DATABASE run; CREATE TABLE run.marker (n INT);"
                                       "CREATE TABLE run.t (id INT PRIMARY KEY, v VARCHAR(10));"
                                       "INSERT INTO run.t VALUES (1, 'one'), (2, 'two');"),
                        nullptr, &error),
             qPrintable(error));
}

void TestRunning::init()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("DELETE FROM run.marker;")));
    m_s = std::make_unique<Session>();
}

void TestRunning::cleanup()
{
    m_s.reset();
}

void TestRunning::stopEndsSleepWithServersMessage()
{
    QVERIFY(m_s->connect());
    m_s->log.clear();
    QList<TmySQLClientOutcome> outcomes;
    QElapsedTimer clock;
    clock.start();
    m_s->module->RunStatement(QStringLiteral("select sleep(60)"),
                              [&outcomes](const TmySQLClientOutcome &outcome) { outcomes.append(outcome); });
    // The window keeps answering: the statement runs on the worker.
    QVERIFY(m_s->module->statementsRunning());
    QTRY_VERIFY_WITH_TIMEOUT(serverRuns(QStringLiteral("select sleep(60)")), 20000);
    m_s->module->Stop();
    QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 1, 20000);
    QVERIFY(clock.elapsed() < 50000);
    // The server's own message ends it; it is a failure, not a lost session.
    QVERIFY(outcomes.first().Failed);
    QCOMPARE(outcomes.first().ErrorNumber, 1317u); // ER_QUERY_INTERRUPTED
    QVERIFY2(logHas(m_s->log, QStringLiteral("interrupted")), qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
    settle();
    QVERIFY(!m_s->module->statementsRunning());
    QVERIFY(m_s->module->ActiveClient()->Connected());

    // The next statement works on the same connection.
    outcomes.clear();
    m_s->module->RunStatement(QStringLiteral("insert into run.marker values (1)"),
                              [&outcomes](const TmySQLClientOutcome &outcome) { outcomes.append(outcome); });
    QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 1, 20000);
    QVERIFY(!outcomes.first().Failed);
    QCOMPARE(countRows(QStringLiteral("run.marker")), 1);
}

void TestRunning::scriptStopsAtTheStoppedStatement()
{
    QVERIFY(m_s->connect());
    m_s->log.clear();
    QSignalSpy finished(m_s->module.get(), &TDMstd::scriptFinished);
    m_s->module->ExecuteScript(QStringLiteral("run"),
                               QStringLiteral("insert into marker values (1);\n"
                                              "insert into marker values (2);\n"
                                              "select sleep(60);\n"
                                              "insert into marker values (4);\n"
                                              "insert into marker values (5)"));
    QTRY_VERIFY_WITH_TIMEOUT(serverRuns(QStringLiteral("select sleep(60)")), 20000);
    QCOMPARE(countRows(QStringLiteral("run.marker")), 2);
    m_s->module->Stop();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    QCOMPARE(finished.first().at(0).toBool(), false);
    settle();
    // The statements after the stopped one were never sent.
    QCOMPARE(countRows(QStringLiteral("run.marker")), 2);
    QCOMPARE(countRows(QStringLiteral("run.marker WHERE n > 2")), 0);
    QVERIFY2(logHas(m_s->log, QStringLiteral("interrupted")), qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
    QVERIFY(!m_s->module->busy());
}

void TestRunning::commandsWaitForRunningStatements()
{
    QVERIFY(m_s->connect());
    // The running statement waits for a lock that the test holds on a
    // connection of its own, until the test lets it go.
    TmySQLClient blocker;
    connectSecondClient(blocker, PrivateServer::shared());
    QTRY_VERIFY_WITH_TIMEOUT(blocker.Connected(), 20000);
    QString held;
    const auto lockStep = [&blocker, &held](const QString &statement) {
        held.clear();
        blocker.Query()->Execute(statement, QStringLiteral("lock"), nullptr, nullptr, [&held](QObject *sender) {
            held = static_cast<TmySQLClientQuery *>(sender)->Value(0, 0);
        });
        blocker.Query()->Run();
    };
    lockStep(QStringLiteral("select get_lock('run_blocker', 0)"));
    QTRY_COMPARE_WITH_TIMEOUT(held, QStringLiteral("1"), 20000);

    m_s->log.clear();
    m_s->module->RunStatement(QStringLiteral("select get_lock('run_blocker', 60)"));
    QTRY_VERIFY_WITH_TIMEOUT(serverRuns(QStringLiteral("select get_lock(")), 20000);
    // A double click on a table meanwhile: the command is refused, not kept
    // to fire later on whatever is then selected.
    QCoreApplication::processEvents(); // the command that sent it is over
    QVERIFY(!m_s->module->acceptsCommands());
    m_s->module->OpenTable(QStringLiteral("t  ( 2 )"), QStringLiteral("run"));
    m_s->module->ExecuteScript(QStringLiteral("run"), QStringLiteral("insert into marker values (9)"));
    QVERIFY(logHas(m_s->log, QStringLiteral("still running")));
    QVERIFY(m_s->module->statementsRunning());
    lockStep(QStringLiteral("select release_lock('run_blocker')"));
    QTRY_COMPARE_WITH_TIMEOUT(held, QStringLiteral("1"), 20000);
    settle();
    QVERIFY(!m_s->module->statementsRunning());
    QCOMPARE(m_s->data.columnCount(), 0);
    QCOMPARE(m_s->definition.rowCount(), 0);
    QCOMPARE(countRows(QStringLiteral("run.marker")), 0);

    // Once they are done, the same command runs.
    QVERIFY(m_s->module->acceptsCommands());
    m_s->module->OpenTable(QStringLiteral("t  ( 2 )"), QStringLiteral("run"));
    settle();
    QCOMPARE(m_s->data.rowCount(), 2);
}

void TestRunning::silentServerEndsInConnectTimeout()
{
    SilentServer silent;
    QVERIFY(silent.isListening());
    m_s->profile.Port = QString::number(silent.serverPort());
    m_s->program.ConnectTimeout = QStringLiteral("2");
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_s->module->ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(!m_s->log.lines().isEmpty(), 30000);
    // Without the timeout the library waits for the greeting without end.
    QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(silent.accepted() >= 1);
    QCOMPARE(m_s->log.lines().size(), 1);
    QVERIFY2(m_s->log.lines().first().contains(QStringLiteral("Lost connection"), Qt::CaseInsensitive)
                 || m_s->log.lines().first().contains(QStringLiteral("timed out"), Qt::CaseInsensitive),
             qPrintable(m_s->log.lines().first()));
    QVERIFY(!m_s->module->ActiveClient()->Connected());
    settle();
    QVERIFY(!m_s->module->statementsRunning());
}

void TestRunning::stopAbandonsConnectAttempt()
{
    SilentServer silent;
    m_s->profile.Port = QString::number(silent.serverPort());
    m_s->program.ConnectTimeout = QStringLiteral("60");
    QSignalSpy sessions(m_s->module.get(), &TDMstd::SetSessionCommands);
    // The stop may come before the library has its socket (the listener has
    // accepted, the connect call has not returned yet): every attempt must
    // end all the same. Several attempts meet that moment more than once.
    for (int attempt = 1; attempt <= 5; ++attempt) {
        m_s->log.clear();
        QVERIFY(m_s->module->ConnectProfile());
        QTRY_VERIFY_WITH_TIMEOUT(silent.accepted() >= attempt, 20000);
        QElapsedTimer clock;
        clock.start();
        m_s->module->Stop();
        QCOMPARE(m_s->log.lines(), QStringList{QStringLiteral("Connect abandoned.")});
        // The attempt ends long before its timeout, and nothing reports it.
        QTRY_VERIFY_WITH_TIMEOUT(!m_s->module->statementsRunning(), 20000);
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        settle();
        QCOMPARE(m_s->log.lines(), QStringList{QStringLiteral("Connect abandoned.")});
        QVERIFY(!m_s->module->ActiveClient()->Connected());
        QVERIFY(sessions.isEmpty());
    }

    // A login right after it works.
    m_s->profile.Port = QString::number(PrivateServer::shared().port());
    QVERIFY(m_s->connect());
}

void TestRunning::closingGivesUpOnSilentServer()
{
    // The window closes while the server has stopped answering: the stop
    // gets no answer, and after its time the connection is given up.
    QVERIFY(m_s->connect());
    m_s->module->RunStatement(QStringLiteral("select sleep(30)"));
    QTRY_VERIFY_WITH_TIMEOUT(serverRuns(QStringLiteral("select sleep(30)")), 20000);
    QElapsedTimer clock;
    clock.start();
    {
        ServerPause pause;
        Watchdog watchdog(40, "CloseSession");
        m_s->module->CloseSession();
    }
    QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!m_s->module->ActiveClient()->Connected());
    settle();
    QVERIFY(!m_s->module->statementsRunning());
    // The data module logs in again as usual.
    QVERIFY(m_s->connect());
}

void TestRunning::serverGoneThenReconnect()
{
    // Last: the shared server is killed and started again.
    QVERIFY(m_s->connect());
    m_s->module->OpenTable(QStringLiteral("t  ( 2 )"), QStringLiteral("run"));
    settle();
    QCOMPARE(m_s->data.rowCount(), 2);
    QSignalSpy lost(m_s->module.get(), &TDMstd::connectionLost);
    QSignalSpy sessions(m_s->module.get(), &TDMstd::SetSessionCommands);

    PrivateServer &server = PrivateServer::shared();
    server.kill();
    m_s->log.clear();
    m_s->module->RunStatement(QStringLiteral("select v from run.t"));
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 30000);
    QVERIFY(!m_s->module->ActiveClient()->Connected());
    QVERIFY(logHas(m_s->log, QStringLiteral("connection to the server was lost")));
    QCOMPARE(sessions.size(), 1);
    QCOMPARE(sessions.first().at(0).toBool(), false);
    // Rows of the session that is gone are not left looking current.
    QCOMPARE(m_s->data.rowCount(), 0);
    settle();
    QVERIFY(!m_s->module->statementsRunning());

    QString error;
    QVERIFY2(server.restart(&error), qPrintable(error));
    QVERIFY(m_s->module->Reconnect());
    settle();
    QVERIFY(m_s->module->ActiveClient()->Connected());
    // The database that was current is current again.
    QString current;
    m_s->module->ActiveClient()->Query()->Execute(
        QStringLiteral("select database()"), QStringLiteral("current"), nullptr, nullptr,
        [&current](QObject *sender) { current = static_cast<TmySQLClientQuery *>(sender)->Value(0, 0); });
    m_s->module->ActiveClient()->Query()->Run();
    QTRY_COMPARE_WITH_TIMEOUT(current, QStringLiteral("run"), 20000);
}

QTEST_GUILESS_MAIN(TestRunning)
#include "tst_running.moc"

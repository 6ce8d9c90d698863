#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/scripteditor.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"

#include <QItemSelectionModel>
#include <QSet>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

#include <memory>

// Running the editor's script: one statement after another, the log lines,
// the result grid and the error locator, against a private server.
class TestExecuteScript : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void scripts_data();
    void scripts();
    void insertLogsAffectedRowsAndKeepsGrid();
    void failingStatementStopsAndMarksError();
    void errorWithoutQuotesSearchesEmptyText();
    void emptyScriptSendsNothing();
    void delimiterRunsStoredProcedure();
    void runStatementLogsOutcome_data();
    void runStatementLogsOutcome();

private:
    struct Session;
    std::unique_ptr<Session> m_s;
};

namespace {

// The editor as the script runner sees it, over a plain text; it records
// what it was asked to do.
class FakeEditor : public ScriptEditor
{
public:
    QString scriptText() const override { return text; }

    bool selectFirstMatch(const QString &fragment) override
    {
        searches.append(fragment);
        // The editor's odd case: an empty text is "found" before the last character.
        const qsizetype at = fragment.isEmpty() ? text.size() - 1 : text.indexOf(fragment, 0, Qt::CaseInsensitive);
        if (at < 0)
            return false;
        selectionStart = int(at);
        selectionLength = int(fragment.size());
        caretLine = int(text.left(at + fragment.size()).count(QLatin1Char('\n'))) + 1;
        return true;
    }

    void toggleErrorMarkAtCaretLine() override
    {
        if (marks.contains(caretLine))
            marks.remove(caretLine);
        else
            marks.insert(caretLine);
    }

    QString text;
    QStringList searches;
    int selectionStart = -1;
    int selectionLength = 0;
    int caretLine = 1;
    QSet<int> marks;
};

void settle()
{
    for (int i = 0; i < 30; ++i)
        QCoreApplication::processEvents();
}

int countRows(const QString &table)
{
    QString output;
    if (!PrivateServer::shared().sql(QStringLiteral("SELECT COUNT(*) FROM ") + table, &output))
        return -1;
    bool ok = false;
    const int n = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(1).trimmed().toInt(&ok);
    return ok ? n : -1;
}

} // namespace

struct TestExecuteScript::Session : HeadlessViews
{
    Session()
        : HeadlessViews(PrivateServer::shared().host(), QString::number(PrivateServer::shared().port()),
                        PrivateServer::user(), PrivateServer::password())
    {
        views.editor = &editor;
        module = std::make_unique<TDMstd>(views);
    }

    // Runs the editor's text in the database "es" and lets the outcomes arrive.
    void run(const QString &script)
    {
        editor.text = script;
        module->ExecuteScript(QStringLiteral("es"), editor.scriptText());
    }

    FakeEditor editor;
    std::unique_ptr<TDMstd> module;
};

void TestExecuteScript::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral("CREATE DATABASE es; CREATE TABLE es.t3 (v VARCHAR(10));"
                                       "CREATE TABLE es.marker (n INT);"),
                        nullptr, &error),
             qPrintable(error));
}

void TestExecuteScript::init()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("DELETE FROM es.t3; DELETE FROM es.marker;")));
    m_s = std::make_unique<Session>();
    QVERIFY(m_s->module->ConnectProfile());
    settle();
    QVERIFY2(m_s->module->ActiveClient()->Connected(), qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
    m_s->log.clear();
}

void TestExecuteScript::cleanup()
{
    m_s.reset();
}

void TestExecuteScript::scripts_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("value");

    const QStringList one = {QString(), QStringLiteral("Affected rows:1")};
    QTest::newRow("two selects") << "select 1 as a; select 2 as b" << one + one << "b" << "2";
    QTest::newRow("empty piece skipped") << "select 1 as a;;select 2 as c" << one + one << "c" << "2";
    QTest::newRow("trailing semicolon and blank lines") << "select 5 as x;\r\n\r\n" << one << "x" << "5";
    QTest::newRow("semicolon in string") << "select 'a;b' as v" << one << "v" << "a;b";
    QTest::newRow("semicolon in comments")
        << "select 3 as n -- one; two\r\n; /* ; */ select 4 as m # three; four\r\n" << one + one << "m" << "4";
    QTest::newRow("quoted name with semicolon") << "select 6 as `x;y`" << one << "x;y" << "6";
    QTest::newRow("several rows") << "select seq as s from seq_1_to_3" << QStringList{QString(), "Affected rows:3"}
                                  << "s" << "1";
}

void TestExecuteScript::scripts()
{
    QFETCH(QString, script);
    QFETCH(QStringList, log);
    QFETCH(QString, column);
    QFETCH(QString, value);
    QSignalSpy pages(m_s->module.get(), &TDMstd::pageRequested);
    m_s->run(script);
    QCOMPARE(m_s->log.lines(), log); // written while the run goes on
    QCOMPARE(m_s->query.columnCount(), 0); // filled later, from the event loop
    settle();
    QCOMPARE(m_s->query.columnCount(), 1);
    QCOMPARE(m_s->query.columnCaption(0), column);
    QCOMPARE(m_s->query.text(0, 0), value);
    QCOMPARE(m_s->query.columnWidth(0), int(GridModel::AutoWidth));
    QVERIFY(!pages.isEmpty());
    QCOMPARE(pages.last().at(0).toString(), QStringLiteral("Active SQL"));
    QCOMPARE(pages.last().at(1).toString(), QStringLiteral("Query  Data"));
    QVERIFY(!m_s->module->busy());
    QVERIFY(m_s->editor.searches.isEmpty());
}

void TestExecuteScript::insertLogsAffectedRowsAndKeepsGrid()
{
    m_s->query.setColumns({QStringLiteral("before")});
    m_s->query.appendRow(QStringList{QStringLiteral("kept")});
    m_s->run(QStringLiteral("insert into t3 values ('x'), ('y'), ('z')"));
    settle();
    QCOMPARE(m_s->log.lines(), (QStringList{QString(), QStringLiteral("Affected rows:3")}));
    QCOMPARE(m_s->query.columnCaption(0), QStringLiteral("before"));
    QCOMPARE(m_s->query.text(0, 0), QStringLiteral("kept"));
    QCOMPARE(countRows(QStringLiteral("es.t3")), 3);
    QVERIFY(!m_s->module->busy());
}

void TestExecuteScript::failingStatementStopsAndMarksError()
{
    const QString script = QStringLiteral("select 1 as first;\r\n"
                                          "select * from es.nosuch;\r\n"
                                          "insert into marker values (1)");
    QSignalSpy pages(m_s->module.get(), &TDMstd::pageRequested);
    m_s->run(script);
    QCOMPARE(m_s->log.lines().size(), 3);
    QCOMPARE(m_s->log.lines().at(0), QString());
    QCOMPARE(m_s->log.lines().at(1), QStringLiteral("Affected rows:1"));
    QVERIFY2(m_s->log.lines().at(2).contains(QStringLiteral("'es.nosuch'")), qPrintable(m_s->log.lines().at(2)));
    // The fragment after the "." of db.tbl, selected where the text first has it.
    QCOMPARE(m_s->editor.searches, QStringList{QStringLiteral("nosuch")});
    QCOMPARE(m_s->editor.selectionStart, int(script.indexOf(QStringLiteral("nosuch"))));
    QCOMPARE(m_s->editor.selectionLength, 6);
    QCOMPARE(m_s->editor.marks, QSet<int>{2});
    QCOMPARE(pages.count(), 1);
    QCOMPARE(pages.at(0).at(1).toString(), QStringLiteral("SQL Query"));

    settle();
    QCOMPARE(countRows(QStringLiteral("es.marker")), 0); // the third statement was not sent
    // The first statement's result arrives after the run.
    QCOMPARE(m_s->query.columnCaption(0), QStringLiteral("first"));
    QCOMPARE(pages.last().at(1).toString(), QStringLiteral("Query  Data"));
    QVERIFY(!m_s->module->busy());

    // The same failure again takes the mark off.
    m_s->run(script);
    settle();
    QCOMPARE(m_s->editor.marks, QSet<int>{});
}

void TestExecuteScript::errorWithoutQuotesSearchesEmptyText()
{
    // A server message without single quotes names nothing to search for.
    m_s->run(QStringLiteral("select 1;\nselect 1/0 as x from dual where 1 = (select 1 union select 2)"));
    settle();
    QCOMPARE(m_s->log.lines().size(), 3);
    QVERIFY(!m_s->log.lines().at(2).contains(QLatin1Char('\'')));
    QCOMPARE(m_s->editor.searches, QStringList{QString()});
    QCOMPARE(m_s->editor.marks, QSet<int>{2});
    QVERIFY(!m_s->module->busy());
}

void TestExecuteScript::emptyScriptSendsNothing()
{
    QSignalSpy busy(m_s->module.get(), &TDMstd::busyChanged);
    m_s->run(QStringLiteral("  \r\n -- only a comment\r\n ; ;"));
    settle();
    QCOMPARE(m_s->log.lines(), QStringList());
    QCOMPARE(m_s->query.columnCount(), 0);
    QVERIFY(busy.count() >= 2);
    QCOMPARE(busy.last().at(0).toBool(), false);
    QVERIFY(!m_s->module->busy());
}

void TestExecuteScript::delimiterRunsStoredProcedure()
{
    m_s->run(QStringLiteral("DROP PROCEDURE IF EXISTS fill;\n"
                            "DELIMITER //\n"
                            "CREATE PROCEDURE fill()\n"
                            "BEGIN\n"
                            "  INSERT INTO t3 VALUES ('p;1');\n"
                            "  INSERT INTO t3 VALUES ('p;2');\n"
                            "END //\n"
                            "DELIMITER ;\n"
                            "CALL fill();\n"
                            "select count(*) as n from t3;"));
    settle();
    const QStringList lines = m_s->log.lines();
    QCOMPARE(lines.size(), 8);
    for (int i = 0; i < lines.size(); i += 2) {
        QCOMPARE(lines.at(i), QString());
        QVERIFY2(lines.at(i + 1).startsWith(QStringLiteral("Affected rows:")), qPrintable(lines.at(i + 1)));
    }
    QCOMPARE(m_s->query.columnCaption(0), QStringLiteral("n"));
    QCOMPARE(m_s->query.text(0, 0), QStringLiteral("2"));
}

void TestExecuteScript::runStatementLogsOutcome_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("line");
    QTest::newRow("no result set") << "insert into es.marker values (7)" << "";
    QTest::newRow("result set") << "optimize table es.marker" << "";
    QTest::newRow("failure") << "drop table es.nosuch" << "Unknown table 'es.nosuch'";
}

void TestExecuteScript::runStatementLogsOutcome()
{
    QFETCH(QString, statement);
    QFETCH(QString, line);
    m_s->module->RunStatement(statement);
    QCOMPARE(m_s->log.lines(), QStringList()); // the outcome line follows later
    settle();
    QCOMPARE(m_s->log.lines().size(), 1);
    QVERIFY2(line.isEmpty() ? m_s->log.lines().at(0).isEmpty() : m_s->log.lines().at(0).contains(line),
             qPrintable(m_s->log.lines().at(0)));
    QVERIFY(!m_s->module->busy());
}

QTEST_GUILESS_MAIN(TestExecuteScript)
#include "tst_executescript.moc"

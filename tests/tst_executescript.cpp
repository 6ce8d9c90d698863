#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/scripteditor.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"
#include "tests/support/watchdog.h"

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
    void callReadsEveryResult();
    void earlierResultsKeepBoundedRows();
    void errorMarkInFailingStatement_data();
    void errorMarkInFailingStatement();
    void outcomesKeepTheirOwnErrorText();
    void scriptInDroppedDatabaseSendsNothing();
    void zeroByteStaysInStatement();
    void binaryValuesShowAsHex();
    void pieceOfTheTextMarksErrorsInTheWholeText();
    void pieceRunsWithTheDelimiterInForce();
    void largeResultsDoNotPileUp();

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

    bool selectErrorFragment(const QString &fragment, int from, int to) override
    {
        searches.append(fragment);
        ranges.append(text.mid(from, to - from));
        qsizetype at = -1;
        qsizetype length = fragment.size();
        if (fragment.isEmpty()) {
            at = from;
            length = to - from;
        } else {
            at = QStringView(text).mid(from, to - from).indexOf(fragment, 0, Qt::CaseInsensitive);
            if (at >= 0)
                at += from;
            else
                at = text.indexOf(fragment, 0, Qt::CaseInsensitive);
        }
        if (at < 0 || length <= 0)
            return false;
        selectionStart = int(at);
        selectionLength = int(length);
        // The caret ends the selection, or starts it for a whole statement.
        const qsizetype caret = fragment.isEmpty() ? at : at + length;
        caretLine = int(text.left(caret).count(QLatin1Char('\n'))) + 1;
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
    QStringList ranges; // the failing statement's text, as the runner gave its range
    int selectionStart = -1;
    int selectionLength = 0;
    int caretLine = 1;
    QSet<int> marks;
};

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

    // Runs the editor's text in a database and waits until the run has
    // ended; returns whether it went to its end (false: stopped at a failure).
    bool run(const QString &script, const QString &database = QStringLiteral("es"))
    {
        editor.text = script;
        QSignalSpy finished(module.get(), &TDMstd::scriptFinished);
        module->ExecuteScript(database, editor.scriptText());
        if (finished.isEmpty() && !finished.wait(30000))
            return false;
        return finished.first().at(0).toBool();
    }

    // Runs a piece of the editor's text (a selection, one statement).
    bool runPiece(const QString &text, const QString &piece, const QString &delimiter = QStringLiteral(";"))
    {
        editor.text = text;
        QSignalSpy finished(module.get(), &TDMstd::scriptFinished);
        module->ExecuteScript(QStringLiteral("es"), piece, int(text.indexOf(piece)), delimiter);
        if (finished.isEmpty() && !finished.wait(30000))
            return false;
        return finished.first().at(0).toBool();
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
                                       "CREATE TABLE es.marker (n INT);"
                                       "CREATE TABLE es.u (id INT PRIMARY KEY);"
                                       "CREATE TABLE es.nul (id INT, x INT);"
                                       "\nDELIMITER //\n"
                                       "CREATE PROCEDURE es.two() BEGIN SELECT 'a' AS first; SELECT 'b' AS second; END//\n"
                                       "DELIMITER ;\n"),
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

    // Each statement named beside its outcome, with the result tab it filled.
    const auto one = [](const QString &statement, int result, int rows = 1) {
        return QStringList{QString(), QStringLiteral("Affected rows:%1   %2   (Result %3 \u2013 %4)")
                                          .arg(rows)
                                          .arg(statement)
                                          .arg(result)
                                          .arg(TDMstd::RowsCaption(rows))};
    };
    QTest::newRow("two selects") << "select 1 as a; select 2 as b" << one("select 1 as a", 1) + one("select 2 as b", 2)
                                 << "b" << "2";
    QTest::newRow("empty piece skipped") << "select 1 as a;;select 2 as c"
                                         << one("select 1 as a", 1) + one("select 2 as c", 2) << "c" << "2";
    QTest::newRow("trailing semicolon and blank lines") << "select 5 as x;\r\n\r\n" << one("select 5 as x", 1)
                                                        << "x" << "5";
    QTest::newRow("semicolon in string") << "select 'a;b' as v" << one("select 'a;b' as v", 1) << "v" << "a;b";
    QTest::newRow("semicolon in comments")
        << "select 3 as n -- one; two\r\n; /* ; */ select 4 as m # three; four\r\n"
        << one("select 3 as n", 1) + one("select 4 as m", 2) << "m" << "4";
    QTest::newRow("quoted name with semicolon") << "select 6 as `x;y`" << one("select 6 as `x;y`", 1) << "x;y"
                                                << "6";
    QTest::newRow("several rows") << "select seq as s from seq_1_to_3"
                                  << one("select seq as s from seq_1_to_3", 1, 3) << "s" << "1";
    const QString longName = QStringLiteral("name_long_enough_to_pass_the_sixty_characters_of_a_line");
    const QString longer = QStringLiteral("select 7\n   as ") + longName;
    QTest::newRow("long statement named by its start, on one line")
        << longer << one((QStringLiteral("select 7 as ") + longName).left(60) + QChar(0x2026), 1) << longName << "7";
}

void TestExecuteScript::scripts()
{
    QFETCH(QString, script);
    QFETCH(QStringList, log);
    QFETCH(QString, column);
    QFETCH(QString, value);
    QSignalSpy pages(m_s->module.get(), &TDMstd::pageRequested);
    QVERIFY(m_s->run(script));
    QCOMPARE(m_s->log.lines(), log);
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
    QVERIFY(m_s->run(QStringLiteral("insert into t3 values ('x'), ('y'), ('z')")));
    QCOMPARE(m_s->log.lines(), (QStringList{QString(), QStringLiteral("Affected rows:3   insert into t3 values "
                                                                      "('x'), ('y'), ('z')")}));
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
    QVERIFY(!m_s->run(script));
    QCOMPARE(m_s->log.lines().size(), 4);
    QCOMPARE(m_s->log.lines().at(0), QString());
    QCOMPARE(m_s->log.lines().at(1), QStringLiteral("Affected rows:1   select 1 as first   (Result 1 \u2013 1 row)"));
    QVERIFY2(m_s->log.lines().at(2).contains(QStringLiteral("'es.nosuch'")), qPrintable(m_s->log.lines().at(2)));
    // The failing statement named with its line in the editor's text.
    QCOMPARE(m_s->log.lines().at(3), QStringLiteral("Error in line 2: select * from es.nosuch"));
    // The fragment after the "." of db.tbl, looked for in the failing statement.
    QCOMPARE(m_s->editor.searches, QStringList{QStringLiteral("nosuch")});
    QCOMPARE(m_s->editor.ranges, QStringList{QStringLiteral("select * from es.nosuch")});
    QCOMPARE(m_s->editor.selectionStart, int(script.indexOf(QStringLiteral("nosuch"))));
    QCOMPARE(m_s->editor.selectionLength, 6);
    QCOMPARE(m_s->editor.marks, QSet<int>{2});
    // The first statement's result was shown before the failure, which
    // leaves the editor in front.
    QCOMPARE(m_s->query.columnCaption(0), QStringLiteral("first"));
    QCOMPARE(pages.last().at(1).toString(), QStringLiteral("SQL Query"));
    settle();
    QCOMPARE(countRows(QStringLiteral("es.marker")), 0); // the third statement was not sent
    QVERIFY(!m_s->module->busy());

    // The same failure again takes the mark off.
    QVERIFY(!m_s->run(script));
    QCOMPARE(m_s->editor.marks, QSet<int>{});
}

void TestExecuteScript::errorWithoutQuotesSearchesEmptyText()
{
    // A server message without single quotes names nothing to search for.
    QVERIFY(!m_s->run(QStringLiteral("select 1;\nselect 1/0 as x\n from dual where 1 = (select 1 union select 2)")));
    QCOMPARE(m_s->log.lines().size(), 4);
    QVERIFY(!m_s->log.lines().at(2).contains(QLatin1Char('\'')));
    // The statement on one line, cut at 60 characters.
    QCOMPARE(m_s->log.lines().at(3),
             QStringLiteral("Error in line 2: select 1/0 as x from dual where 1 = (select 1 union select 2\u2026"));
    QCOMPARE(m_s->editor.searches, QStringList{QString()});
    // The failing statement itself is pointed at, on its first line.
    QCOMPARE(m_s->editor.marks, QSet<int>{2});
    QVERIFY(!m_s->module->busy());
}

void TestExecuteScript::emptyScriptSendsNothing()
{
    QSignalSpy busy(m_s->module.get(), &TDMstd::busyChanged);
    QVERIFY(m_s->run(QStringLiteral("  \r\n -- only a comment\r\n ; ;")));
    QCOMPARE(m_s->log.lines(), QStringList());
    QCOMPARE(m_s->query.columnCount(), 0);
    QVERIFY(busy.count() >= 2);
    QCOMPARE(busy.last().at(0).toBool(), false);
    QVERIFY(!m_s->module->busy());
}

void TestExecuteScript::delimiterRunsStoredProcedure()
{
    QVERIFY(m_s->run(QStringLiteral("DROP PROCEDURE IF EXISTS fill;\n"
                            "DELIMITER //\n"
                            "CREATE PROCEDURE fill()\n"
                            "BEGIN\n"
                            "  INSERT INTO t3 VALUES ('p;1');\n"
                            "  INSERT INTO t3 VALUES ('p;2');\n"
                            "END //\n"
                            "DELIMITER ;\n"
                            "CALL fill();\n"
                            "select count(*) as n from t3;")));
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

void TestExecuteScript::callReadsEveryResult()
{
    // A procedure that selects twice returns three results: both row sets
    // and its own status. Every one is read, so the session goes on.
    QVERIFY(m_s->run(QStringLiteral("call two();\ninsert into marker values (5);\ncall two()")));
    const QStringList lines = m_s->log.lines();
    QCOMPARE(lines.size(), 6);
    for (int i = 0; i < lines.size(); i += 2) {
        QCOMPARE(lines.at(i), QString());
        QVERIFY2(lines.at(i + 1).startsWith(QStringLiteral("Affected rows:")), qPrintable(lines.at(i + 1)));
    }
    QCOMPARE(countRows(QStringLiteral("es.marker")), 1);
    // The last result set of the statement is the one shown.
    QCOMPARE(m_s->query.columnCaption(0), QStringLiteral("second"));
    QCOMPARE(m_s->query.text(0, 0), QStringLiteral("b"));
    // Every result set of the run is kept, each with its statement.
    const QList<TQueryRunResult> &results = m_s->module->RunResults();
    QCOMPARE(results.size(), 4);
    for (int i = 0; i < results.size(); ++i) {
        QCOMPARE(results.at(i).number, i + 1);
        QCOMPARE(results.at(i).statement, QStringLiteral("call two()"));
        QCOMPARE(results.at(i).rows, 1);
        GridModel grid;
        m_s->module->FillRunResultGrid(i, &grid);
        QCOMPARE(grid.columnCaption(0), i % 2 == 0 ? QStringLiteral("first") : QStringLiteral("second"));
    }
    QVERIFY2(lines.at(1).endsWith(QStringLiteral("call two()   (Result 1 \u2013 1 row, Result 2 \u2013 1 row)")),
             qPrintable(lines.at(1)));

    // A statement after the run works too, with its own outcome.
    m_s->log.clear();
    QVERIFY(m_s->run(QStringLiteral("select n from marker")));
    QCOMPARE(m_s->log.lines(),
             (QStringList{QString(), QStringLiteral("Affected rows:1   select n from marker   (Result 1 \u2013 1 row)")}));
    QCOMPARE(m_s->query.text(0, 0), QStringLiteral("5"));
    // A new run starts its results afresh.
    QCOMPARE(m_s->module->RunResults().size(), 1);
}

void TestExecuteScript::earlierResultsKeepBoundedRows()
{
    // Two large results before the last: the older one goes, so the run's
    // earlier results never hold more than a million rows.
    QVERIFY(m_s->run(QStringLiteral("select seq as a from seq_1_to_600000;\n"
                                    "select seq as b from seq_1_to_600000;\n"
                                    "select 1 as c")));
    const QList<TQueryRunResult> &results = m_s->module->RunResults();
    QCOMPARE(results.size(), 2);
    QCOMPARE(results.at(0).number, 2);
    QCOMPARE(results.at(0).rows, 600000);
    QCOMPARE(results.at(1).number, 3);
    QCOMPARE(m_s->query.columnCaption(0), QStringLiteral("c"));
}

void TestExecuteScript::errorMarkInFailingStatement_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("fragment");
    // The quoted text of the error stands earlier in the script as well.
    QTest::newRow("duplicate key in statement 6")
        << "delete from u;\ninsert into u values (2);\nselect 1 as one;\nselect 3;\n"
           "insert into u values (1);\ninsert into u values (1);\nselect 4"
        << 6 << "1";
    QTest::newRow("ambiguous column on line 2")
        << "select id from u;\nselect id from u, u as v" << 2 << "id";
}

void TestExecuteScript::errorMarkInFailingStatement()
{
    QFETCH(QString, script);
    QFETCH(int, line);
    QFETCH(QString, fragment);
    QVERIFY(!m_s->run(script));
    QCOMPARE(m_s->editor.searches, QStringList{fragment});
    QCOMPARE(m_s->editor.marks, QSet<int>{line});
    const int lineStart = int(script.section(QLatin1Char('\n'), 0, line - 2).size()) + (line > 1 ? 1 : 0);
    QVERIFY2(m_s->editor.selectionStart >= lineStart, qPrintable(QString::number(m_s->editor.selectionStart)));
    QCOMPARE(script.mid(m_s->editor.selectionStart, m_s->editor.selectionLength), fragment);
}

void TestExecuteScript::outcomesKeepTheirOwnErrorText()
{
    // Both statements run before either outcome is handled: the failure's
    // text is the one taken when it failed, not the later success's.
    QList<TmySQLClientOutcome> outcomes;
    auto keep = [&outcomes](const TmySQLClientOutcome &outcome) { outcomes.append(outcome); };
    m_s->module->RunStatement(QStringLiteral("drop table es.nosuch"), keep);
    m_s->module->RunStatement(QStringLiteral("insert into es.marker values (1)"), keep);
    QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 2, 10000);
    QVERIFY(outcomes.at(0).Failed);
    QCOMPARE(outcomes.at(0).ErrorNumber, 1051u);
    QVERIFY(!outcomes.at(1).Failed);
    QCOMPARE(outcomes.at(1).AffectedRows, 1);
    QCOMPARE(m_s->log.lines().size(), 2);
    QVERIFY2(m_s->log.lines().at(0).contains(QStringLiteral("Unknown table")), qPrintable(m_s->log.lines().at(0)));
    QCOMPARE(m_s->log.lines().at(1), QString());
}

void TestExecuteScript::scriptInDroppedDatabaseSendsNothing()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE DATABASE IF NOT EXISTS gone; DROP DATABASE gone;")));
    QVERIFY(!m_s->run(QStringLiteral("insert into es.marker values (9)"), QStringLiteral("gone")));
    QCOMPARE(m_s->log.lines().size(), 1);
    QVERIFY2(m_s->log.lines().at(0).contains(QStringLiteral("gone")), qPrintable(m_s->log.lines().at(0)));
    QCOMPARE(countRows(QStringLiteral("es.marker")), 0);
    QVERIFY(!m_s->module->busy());
}

void TestExecuteScript::zeroByteStaysInStatement()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("DELETE FROM es.nul; INSERT INTO es.nul VALUES (1,0),(2,0),(3,0);")));
    // Cut at the zero byte the statement would update every row.
    QString statement = QStringLiteral("update nul set x=1 ");
    statement += QChar(0);
    statement += QStringLiteral("where id=2");
    m_s->run(statement);
    QCOMPARE(countRows(QStringLiteral("es.nul where x=1 and id<>2")), 0);
}

void TestExecuteScript::binaryValuesShowAsHex()
{
    QVERIFY(m_s->run(QStringLiteral("select x'00414200' as b, b'1' as bit1, 'a' as t, cast(x'4300' as char) as c")));
    QCOMPARE(m_s->query.text(0, 0), QStringLiteral("0x00414200"));
    QCOMPARE(m_s->query.text(0, 1), QStringLiteral("0x01"));
    QCOMPARE(m_s->query.text(0, 2), QStringLiteral("a"));
    // Text keeps every character, a zero byte included.
    QCOMPARE(m_s->query.text(0, 3), QString::fromUtf8("C\0", 2));
    // Writers see what the grid shows.
    QCOMPARE(m_s->query.snapshot().cell(0, 0), QByteArrayView("0x00414200"));
    QVERIFY(m_s->query.columnInfo(0).binary);
    QVERIFY(!m_s->query.columnInfo(2).binary);
}

void TestExecuteScript::pieceOfTheTextMarksErrorsInTheWholeText()
{
    // Lines 4 and 5 run; the error's quoted text "id" stands on the lines
    // before as well, and the piece's own offsets would point at line 2.
    const QString text = QStringLiteral("select id from u;\nselect id from u;\nselect 1;\n"
                                        "select 2;\nselect id from u, u as v;\nselect 3");
    const QString piece = QStringLiteral("select 2;\nselect id from u, u as v;");
    QVERIFY(!m_s->runPiece(text, piece));
    QCOMPARE(m_s->editor.ranges, QStringList{QStringLiteral("select id from u, u as v")});
    QCOMPARE(m_s->editor.marks, QSet<int>{5});
    QVERIFY(m_s->editor.selectionStart > text.indexOf(QStringLiteral("select id from u, u")));
    QCOMPARE(text.mid(m_s->editor.selectionStart, m_s->editor.selectionLength), QStringLiteral("id"));
    // Only the piece ran: "select 3" after it was never sent.
    QCOMPARE(m_s->query.text(0, 0), QStringLiteral("2"));
}

void TestExecuteScript::pieceRunsWithTheDelimiterInForce()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("DROP PROCEDURE IF EXISTS es.three")));
    const QString text = QStringLiteral("DELIMITER //\ncreate procedure three() begin select 1; select 3 as t; end//\n"
                                        "DELIMITER ;\ncall three();");
    QVERIFY(m_s->runPiece(text, QStringLiteral("create procedure three() begin select 1; select 3 as t; end"),
                          QStringLiteral("//")));
    QVERIFY(m_s->run(QStringLiteral("call three()")));
    QCOMPARE(m_s->query.columnCaption(0), QStringLiteral("t"));
    QCOMPARE(m_s->query.text(0, 0), QStringLiteral("3"));
}

void TestExecuteScript::largeResultsDoNotPileUp()
{
    // The statements of a script run ahead of the window only while the
    // results waiting for it are small; then the worker waits its turn.
    QString script;
    for (int i = 1; i <= 5; ++i)
        script += QStringLiteral("select seq as n%1 from seq_1_to_150000;\n").arg(i);
    m_s->editor.text = script;
    QSignalSpy finished(m_s->module.get(), &TDMstd::scriptFinished);
    TmySQLClientTaskHandler *engine = m_s->module->ActiveClient()->TaskHandler();
    const quint64 before = engine->LastSerial();
    m_s->module->ExecuteScript(QStringLiteral("es"), script);
    // The database is made current first; its handler queues the five
    // statements. Events are let in only until it has.
    QVERIFY(waitWithoutEvents([engine, before] {
        QCoreApplication::processEvents();
        return engine->LastSerial() >= before + 6;
    }));
    // The window takes nothing now: the worker must stop once the results
    // waiting reach the limit, with the one that crossed it as the last.
    QVERIFY(waitWithoutEvents([engine] { return engine->HeldBack(); }));
    QVERIFY2(engine->WaitingRows() >= TmySQLClientTaskHandler::MaxWaitingRows
                 && engine->WaitingRows() < TmySQLClientTaskHandler::MaxWaitingRows + 150000,
             qPrintable(QString::number(engine->WaitingRows())));
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().at(0).toBool(), true);
    settle();
    QCOMPARE(engine->WaitingRows(), 0);
    QCOMPARE(m_s->log.lines().size(), 10);
    QVERIFY2(m_s->log.lines().last().startsWith(QStringLiteral("Affected rows:150000   ")),
             qPrintable(m_s->log.lines().last()));
    QCOMPARE(m_s->query.columnCaption(0), QStringLiteral("n5"));
    QCOMPARE(m_s->query.rowCount(), 150000);
}

QTEST_GUILESS_MAIN(TestExecuteScript)
#include "tst_executescript.moc"

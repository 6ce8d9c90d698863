#include "data/scriptsplitter.h"

#include <QtTest>

class TestScriptSplitter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statements_data();
    void statements();
    void positions_data();
    void positions();
    void manyStatements();
    void statementAtCaret_data();
    void statementAtCaret();
    void pieceStartsWithTheDelimiterInForce();
};

namespace {

QList<ScriptStatement> splitAll(const QString &script)
{
    QList<ScriptStatement> result;
    ScriptSplitter splitter(script);
    ScriptStatement statement;
    while (splitter.next(&statement)) {
        result.append(statement);
        if (result.size() > 10000) // a splitter that never ends fails here, not by timeout
            break;
    }
    return result;
}

} // namespace

void TestScriptSplitter::statements_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("two statements") << "select 1; select 2" << QStringList{"select 1", "select 2"};
    QTest::newRow("trailing text without delimiter") << "select 1;\nselect 2\n" << QStringList{"select 1", "select 2"};
    QTest::newRow("empty text") << "" << QStringList{};
    QTest::newRow("only blanks and delimiters") << " ;\r\n; ;\t" << QStringList{};
    QTest::newRow("empty pieces skipped, run goes on") << "select 1;;select 2; ;" << QStringList{"select 1", "select 2"};
    QTest::newRow("blank lines after the last delimiter") << "select 1;\r\n\r\n  \r\n" << QStringList{"select 1"};
    QTest::newRow("delimiter in single quotes") << "insert into t values ('a;b'); select 2"
                                                << QStringList{"insert into t values ('a;b')", "select 2"};
    QTest::newRow("delimiter in double quotes") << "select \"x;y\";select 2" << QStringList{"select \"x;y\"", "select 2"};
    QTest::newRow("delimiter in a quoted name") << "select `a;b` from t;x" << QStringList{"select `a;b` from t", "x"};
    QTest::newRow("backslash escaped quote") << "select 'it\\'s;';select 2" << QStringList{"select 'it\\'s;'", "select 2"};
    QTest::newRow("doubled quote") << "select 'it''s;';select 2" << QStringList{"select 'it''s;'", "select 2"};
    QTest::newRow("doubled backtick") << "select `a``;b`;y" << QStringList{"select `a``;b`", "y"};
    QTest::newRow("backslash is no escape in names") << "select `a\\`;y" << QStringList{"select `a\\`", "y"};
    QTest::newRow("escaped backslash ends the string") << "select 'a\\\\';select 2" << QStringList{"select 'a\\\\'", "select 2"};
    QTest::newRow("unterminated string runs to the end") << "select 'a;b" << QStringList{"select 'a;b"};
    QTest::newRow("dash comment") << "select 1 -- a;b\r\n, 2;select 3" << QStringList{"select 1 -- a;b\r\n, 2", "select 3"};
    QTest::newRow("double dash without blank is no comment") << "select 1--2;select 3" << QStringList{"select 1--2", "select 3"};
    QTest::newRow("hash comment") << "select 1 # x;y\n;select 2" << QStringList{"select 1", "select 2"};
    QTest::newRow("block comment") << "select /* a;b\n c */ 1;select 2" << QStringList{"select /* a;b\n c */ 1", "select 2"};
    QTest::newRow("quote inside a comment") << "select 1 -- it's\n;select 2" << QStringList{"select 1", "select 2"};
    QTest::newRow("comment only piece skipped") << "select 1; -- done\n" << QStringList{"select 1"};
    QTest::newRow("leading comment dropped") << "/* head */\n-- note\nselect 1;" << QStringList{"select 1"};
    QTest::newRow("executable comment is statement text") << "/*!40101 SET NAMES utf8 */;select 1"
                                                          << QStringList{"/*!40101 SET NAMES utf8 */", "select 1"};
    QTest::newRow("MariaDB executable comment") << "/*M!100100 SET x=1; */;select 1"
                                               << QStringList{"/*M!100100 SET x=1; */", "select 1"};
    QTest::newRow("unterminated block comment runs to the end") << "select 1 /* x;y" << QStringList{"select 1"};
    QTest::newRow("CRLF line ends") << "select 1;\r\nselect\r\n  2;\r\n" << QStringList{"select 1", "select\r\n  2"};
    QTest::newRow("control characters trimmed") << "\x01select 1\x02;" << QStringList{"select 1"};
    QTest::newRow("procedure body with DELIMITER")
        << "DELIMITER //\r\n"
           "CREATE PROCEDURE p()\r\nBEGIN\r\n  SELECT 1;\r\n  SELECT 2;\r\nEND//\r\n"
           "DELIMITER ;\r\n"
           "CALL p();\r\n"
        << QStringList{"CREATE PROCEDURE p()\r\nBEGIN\r\n  SELECT 1;\r\n  SELECT 2;\r\nEND", "CALL p()"};
    QTest::newRow("lower-case delimiter command, two-character delimiter")
        << "delimiter $$\nselect 1; select 2$$ select 3 $$\ndelimiter ;\nselect 4;"
        << QStringList{"select 1; select 2", "select 3", "select 4"};
    QTest::newRow("DELIMITER inside an open statement is text")
        << "select 1\nDELIMITER $$\nselect 2$$;select 3"
        << QStringList{"select 1\nDELIMITER $$\nselect 2$$", "select 3"};
    QTest::newRow("delimiter as a column name on its own line")
        << "select a,\ndelimiter from t;\nselect 2" << QStringList{"select a,\ndelimiter from t", "select 2"};
    QTest::newRow("delimiter as a column name after a comment line")
        << "select a, -- the next column\n  delimiter from t;select 2"
        << QStringList{"select a, -- the next column\n  delimiter from t", "select 2"};
    QTest::newRow("DELIMITER after a comment-only line still counts")
        << "-- switch\nDELIMITER $$\nselect 1; select 2$$" << QStringList{"select 1; select 2"};
    QTest::newRow("DELIMITER not at a line start is text") << "select 1; DELIMITER $$" << QStringList{"select 1", "DELIMITER $$"};
    QTest::newRow("DELIMITER inside a string is text") << "select 'x\nDELIMITER $$\n';select 2"
                                                      << QStringList{"select 'x\nDELIMITER $$\n'", "select 2"};
    QTest::newRow("DELIMITER without a token is text") << "DELIMITER\nselect 1;" << QStringList{"DELIMITER\nselect 1"};
    QTest::newRow("delimiter inside quotes under a new delimiter")
        << "DELIMITER ;;\nselect ';;' ;;select 2" << QStringList{"select ';;'", "select 2"};
}

void TestScriptSplitter::statements()
{
    QFETCH(QString, script);
    QFETCH(QStringList, expected);

    QStringList texts;
    for (const ScriptStatement &statement : splitAll(script))
        texts.append(statement.text);
    QCOMPARE(texts, expected);
}

void TestScriptSplitter::positions_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QList<int>>("offsets");
    QTest::addColumn<QList<int>>("lines");

    QTest::newRow("one line") << "select 1;  select 2" << QList<int>{0, 11} << QList<int>{1, 1};
    QTest::newRow("LF lines") << "\n\nselect 1;\n  select 2" << QList<int>{2, 14} << QList<int>{3, 4};
    QTest::newRow("CRLF counts once") << "select 1;\r\n\r\nselect 2;\r\nselect 3" << QList<int>{0, 13, 24}
                                     << QList<int>{1, 3, 4};
    QTest::newRow("after a multi-line string") << "select 'a\nb\nc';\nselect 2" << QList<int>{0, 16} << QList<int>{1, 4};
    QTest::newRow("after a leading comment") << "-- note\n/* x\n*/ select 1" << QList<int>{16} << QList<int>{3};
    QTest::newRow("after DELIMITER lines") << "DELIMITER $$\nselect 1$$\nDELIMITER ;\nselect 2;"
                                          << QList<int>{13, 36} << QList<int>{2, 4};
    QTest::newRow("lone CR ends a line") << "select 1;\rselect 2" << QList<int>{0, 10} << QList<int>{1, 2};
}

void TestScriptSplitter::positions()
{
    QFETCH(QString, script);
    QFETCH(QList<int>, offsets);
    QFETCH(QList<int>, lines);

    QList<int> gotOffsets;
    QList<int> gotLines;
    for (const ScriptStatement &statement : splitAll(script)) {
        gotOffsets.append(statement.offset);
        gotLines.append(statement.line);
        // The offset points at the statement's own text.
        QCOMPARE(script.mid(statement.offset, statement.text.size()), statement.text);
    }
    QCOMPARE(gotOffsets, offsets);
    QCOMPARE(gotLines, lines);
}

void TestScriptSplitter::manyStatements()
{
    // A long generated script keeps its count and line numbers to the end.
    QString script;
    for (int i = 0; i < 20000; ++i)
        script += QStringLiteral("insert into t values (%1, 'a;b');\n").arg(i);
    ScriptSplitter splitter(script);
    ScriptStatement statement;
    int count = 0;
    int lastLine = 0;
    while (splitter.next(&statement)) {
        ++count;
        lastLine = statement.line;
    }
    QCOMPARE(count, 20000);
    QCOMPARE(lastLine, 20000);
    QCOMPARE(statement.text, QStringLiteral("insert into t values (19999, 'a;b')"));
}


void TestScriptSplitter::statementAtCaret_data()
{
    // "|" marks the caret; it is not part of the script.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("delimiter");

    QTest::newRow("inside the first") << "sel|ect 1;\nselect 2;" << "select 1" << ";";
    QTest::newRow("inside the second") << "select 1;\nselect| 2;" << "select 2" << ";";
    QTest::newRow("at the start of a statement") << "select 1;\n|select 2;" << "select 2" << ";";
    QTest::newRow("right after its delimiter") << "select 1;|\nselect 2;" << "select 1" << ";";
    QTest::newRow("blanks after the delimiter") << "select 1;   |\nselect 2;" << "select 1" << ";";
    QTest::newRow("line comment after the delimiter") << "select 1; -- one|\nselect 2;" << "select 1" << ";";
    QTest::newRow("two on a line, after the first") << "select 1;| select 2;" << "select 1" << ";";
    QTest::newRow("two on a line, at the second") << "select 1; |select 2;" << "select 2" << ";";
    QTest::newRow("blank line between: the one before") << "select 1;\n|\nselect 2;" << "select 1" << ";";
    QTest::newRow("before the first") << "\n|\n  select 1;\nselect 2" << "select 1" << ";";
    QTest::newRow("after the last") << "select 1;\nselect 2;\n\n|" << "select 2" << ";";
    QTest::newRow("last without delimiter") << "select 1;\nselect |2" << "select 2" << ";";
    QTest::newRow("delimiter inside a string") << "select 'a;|b'; select 2" << "select 'a;b'" << ";";
    QTest::newRow("statement of a DELIMITER block")
        << "DELIMITER //\ncreate procedure p() begin select 1; sel|ect 2; end//\nDELIMITER ;\nselect 3;"
        << "create procedure p() begin select 1; select 2; end" << "//";
    QTest::newRow("after the DELIMITER block") << "DELIMITER //\nselect 1//\nDELIMITER ;\nselect |3;"
                                               << "select 3" << ";";
}

void TestScriptSplitter::statementAtCaret()
{
    QFETCH(QString, script);
    QFETCH(QString, statement);
    QFETCH(QString, delimiter);
    const int caret = int(script.indexOf(QLatin1Char('|')));
    script.remove(caret, 1);
    ScriptStatement found;
    QString foundDelimiter;
    QVERIFY(StatementAt(script, caret, &found, &foundDelimiter));
    QCOMPARE(found.text, statement);
    QCOMPARE(script.mid(found.offset, found.text.size()), statement);
    QCOMPARE(foundDelimiter, delimiter);
    // Cut again with its delimiter, the statement stays one.
    ScriptSplitter again(found.text, foundDelimiter);
    ScriptStatement piece;
    QVERIFY(again.next(&piece));
    QCOMPARE(piece.text, statement);
    QVERIFY(!again.next(&piece));

    ScriptStatement none;
    QVERIFY(!StatementAt(QStringLiteral(" -- nothing\n;;"), 3, &none, &foundDelimiter));
}

void TestScriptSplitter::pieceStartsWithTheDelimiterInForce()
{
    const QString script = QStringLiteral("select 1;\nDELIMITER $$\nselect 2; select 3$$\nDELIMITER ;\nselect 4;");
    const int piece = int(script.indexOf(QStringLiteral("select 2")));
    QCOMPARE(DelimiterAt(script, piece), QStringLiteral("$$"));
    QCOMPARE(DelimiterAt(script, 0), QStringLiteral(";"));
    QCOMPARE(DelimiterAt(script, int(script.indexOf(QStringLiteral("select 4")))), QStringLiteral(";"));
    // A selection inside the block is cut by the block's delimiter.
    ScriptSplitter splitter(script.mid(piece, script.indexOf(QStringLiteral("DELIMITER ;")) - piece),
                            DelimiterAt(script, piece));
    ScriptStatement statement;
    QVERIFY(splitter.next(&statement));
    QCOMPARE(statement.text, QStringLiteral("select 2; select 3"));
    QVERIFY(!splitter.next(&statement));
}

QTEST_GUILESS_MAIN(TestScriptSplitter)
#include "tst_scriptsplitter.moc"

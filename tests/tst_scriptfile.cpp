#include "client/mySQLClient.h"
#include "data/messagelog.h"
#include "data/scriptfile.h"
#include "data/scriptsplitter.h"
#include "data/tdmstd.h"
#include "tests/support/generallog.h"
#include "tests/support/modulesession.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// "Run SQL File": the file read part by part cuts as the editor's runner
// cuts the whole text; the run against a private server.
class TestScriptFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void partsCutAsTheWholeText_data();
    void partsCutAsTheWholeText();
    void runsEveryStatementOfTheFile();
    void failureNamesItsLineAndStops();
    void stopEndsTheRun();
    void unreadableFileStartsNothing();

private:
    QString writeFile(const QByteArray &text);
    TScriptFileProgress runFile(const QString &path);
    QString scalar(const QString &statement);
    QTemporaryDir m_dir;
    int m_files = 0;
    std::unique_ptr<ModuleSession> m_s;
};

namespace {

// Every rule of the splitter within a few lines: DELIMITER blocks, quotes
// and comments holding the delimiter, CRLF and lone CR line ends, an
// executable comment, a multi-byte character, text after the last ";".
const char MixedScript[] =
    "-- a comment; not a statement\n"
    "CREATE TABLE t (id INT, s VARCHAR(40));\r\n"
    "INSERT INTO t VALUES (1, 'a;b'), (2, \"c;\\\"d\");\n"
    "/* block; comment */ INSERT INTO t VALUES (3, 'x');# tail; comment\n"
    "/*!40101 SET @a = 1 */;\r"
    "DELIMITER $$\n"
    "CREATE PROCEDURE p()\nBEGIN\n  SELECT 1;\n  SELECT 'd;$';\nEND$$\n"
    "DELIMITER ;\n"
    "select 1; DELIMITER x\n"
    "INSERT INTO t VALUES (4, '\xc3\xa4\xc3\xb6;');\n"
    "UPDATE `we;ird` SET a = 1\n";

} // namespace

void TestScriptFile::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qRegisterMetaType<TScriptFileProgress>();
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral("CREATE DATABASE sf;"), nullptr, &error), qPrintable(error));
    QVERIFY2(enableGeneralLog(server, &error), qPrintable(error));
}

void TestScriptFile::init()
{
    if (QByteArray(QTest::currentTestFunction()).startsWith("parts"))
        return; // no server needed
    m_s = std::make_unique<ModuleSession>();
    QVERIFY(m_s->module->ConnectProfile());
    settle();
    QVERIFY2(m_s->module->ActiveClient()->Connected(), qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
    m_s->log.clear();
}

void TestScriptFile::cleanup()
{
    m_s.reset();
}

QString TestScriptFile::writeFile(const QByteArray &text)
{
    const QString path = m_dir.filePath(QStringLiteral("f%1.sql").arg(++m_files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return path;
}

TScriptFileProgress TestScriptFile::runFile(const QString &path)
{
    TScriptFileProgress last;
    const QMetaObject::Connection reports = QObject::connect(
        m_s->module.get(), &TDMstd::scriptFileProgress, [&last](const TScriptFileProgress &progress) { last = progress; });
    // The caller judges the outcome; an unfinished run comes back as such.
    if (m_s->module->RunScriptFile(QStringLiteral("sf"), path) && !QTest::qWaitFor([&last] { return last.finished; }, 30000))
        qWarning("the run did not finish");
    QObject::disconnect(reports);
    settle();
    return last;
}

QString TestScriptFile::scalar(const QString &statement)
{
    QString output;
    QString error;
    if (!PrivateServer::shared().sql(QStringLiteral("USE sf; ") + statement, &output, &error))
        return QStringLiteral("error: ") + error;
    return output.trimmed().split(QLatin1Char('\n')).value(1).trimmed(); // after the header line
}

void TestScriptFile::partsCutAsTheWholeText_data()
{
    QTest::addColumn<qint64>("chunk");
    // A part of one byte cuts everything everywhere: a delimiter, a quote,
    // a comment start, a DELIMITER line, a CRLF pair and a UTF-8 sequence.
    for (qint64 chunk : {1, 2, 3, 5, 7, 13, 64, 1 << 20})
        QTest::newRow(qPrintable(QStringLiteral("part %1").arg(chunk))) << chunk;
}

void TestScriptFile::partsCutAsTheWholeText()
{
    QFETCH(qint64, chunk);
    const QByteArray bytes(MixedScript);
    const QString path = writeFile(bytes);
    QVERIFY(!path.isEmpty());

    QList<ScriptStatement> expected;
    ScriptSplitter whole(QString::fromUtf8(bytes));
    ScriptStatement statement;
    while (whole.next(&statement))
        expected.append(statement);
    // The "DELIMITER x" after "select 1;" stands inside a line: statement text.
    QCOMPARE(expected.size(), 8);

    ScriptFileReader reader(chunk);
    QString error;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    QList<ScriptStatement> read;
    while (reader.next(&statement))
        read.append(statement);
    QCOMPARE(reader.error(), QString());
    QCOMPARE(reader.bytesRead(), qint64(bytes.size()));
    QCOMPARE(read.size(), expected.size());
    for (int i = 0; i < read.size(); ++i) {
        QCOMPARE(read.at(i).text, expected.at(i).text);
        QCOMPARE(read.at(i).line, expected.at(i).line);
    }
}

void TestScriptFile::runsEveryStatementOfTheFile()
{
    // More statements than are sent ahead, a DELIMITER block and a long
    // INSERT over several parts of the file.
    QByteArray text = "DROP TABLE IF EXISTS r;\nCREATE TABLE r (id INT, s VARCHAR(200));\n";
    for (int i = 1; i <= 100; ++i)
        text += "INSERT INTO r VALUES (" + QByteArray::number(i) + ", 'semi;colon');\n";
    text += "DELIMITER //\nDROP PROCEDURE IF EXISTS addrow//\n"
            "CREATE PROCEDURE addrow(n INT)\nBEGIN\n  INSERT INTO r VALUES (n, 'p;');\nEND//\nDELIMITER ;\n"
            "CALL addrow(1000);\n";
    text += "INSERT INTO r VALUES ";
    for (int i = 0; i < 20000; ++i)
        text += (i ? ",(" : "(") + QByteArray::number(2000 + i) + ",'" + QByteArray(60, 'x') + "')";
    text += ";\n";
    const QString path = writeFile(text);
    const TScriptFileProgress done = runFile(path);
    QVERIFY(done.finished);
    QVERIFY2(done.completed, qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
    QCOMPARE(done.statements, 100 + 6);
    QCOMPARE(done.bytes, qint64(text.size()));
    QCOMPARE(done.total, qint64(text.size()));
    QCOMPARE(done.failedLine, 0);
    QCOMPARE(done.affectedRows, 100 + 1 + 20000);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM r")), QStringLiteral("20101"));
    QCOMPARE(scalar(QStringLiteral("SELECT s FROM r WHERE id = 1000")), QStringLiteral("p;"));
    // No line per statement: the summary alone.
    const QStringList lines = m_s->log.lines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(QStringLiteral("Run SQL File f")), qPrintable(lines.first()));
    QVERIFY2(lines.first().contains(QStringLiteral(" done: 106 statements, 20101 rows affected, ")),
             qPrintable(lines.first()));
    QVERIFY(!m_s->module->scriptFileRunning());
}

void TestScriptFile::failureNamesItsLineAndStops()
{
    const QByteArray text = "DROP TABLE IF EXISTS g;\n"
                            "CREATE TABLE g (id INT);\n"
                            "INSERT INTO g VALUES (1);\n"
                            "-- the next one fails\n"
                            "INSERT INTO g\n  VALUES (2, 'too many');\n"
                            "INSERT INTO g VALUES (3);\n";
    const TScriptFileProgress done = runFile(writeFile(text));
    QVERIFY(done.finished);
    QVERIFY(!done.completed);
    QVERIFY(!done.stopped);
    QCOMPARE(done.failedLine, 5);
    QCOMPARE(done.statements, 4);
    QVERIFY2(done.error.contains(QStringLiteral("Column count")), qPrintable(done.error));
    QCOMPARE(scalar(QStringLiteral("SELECT GROUP_CONCAT(id) FROM g")), QStringLiteral("1"));
    const QStringList lines = m_s->log.lines();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).contains(QStringLiteral(", line 5: ") + done.error), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).contains(QStringLiteral(" failed: 4 statements, 1 rows affected, ")), qPrintable(lines.at(1)));
}

void TestScriptFile::stopEndsTheRun()
{
    const QByteArray text = "DROP TABLE IF EXISTS s;\nCREATE TABLE s (id INT);\n"
                            "SELECT SLEEP(20);\n"
                            "INSERT INTO s VALUES (1);\n";
    TScriptFileProgress last;
    QObject::connect(m_s->module.get(), &TDMstd::scriptFileProgress,
                     [&last](const TScriptFileProgress &progress) { last = progress; });
    const unsigned long connection = m_s->module->ActiveClient()->ConnectionId();
    QVERIFY(m_s->module->RunScriptFile(QStringLiteral("sf"), writeFile(text)));
    QVERIFY(m_s->module->scriptFileRunning());
    // Stopped while the server sleeps.
    QTRY_VERIFY_WITH_TIMEOUT(generalLog(PrivateServer::shared(), connection).contains(QStringLiteral("SELECT SLEEP(20)")),
                             10000);
    QElapsedTimer clock;
    clock.start();
    m_s->module->StopScriptFile();
    QTRY_VERIFY_WITH_TIMEOUT(last.finished, 10000);
    QVERIFY(clock.elapsed() < 15000);
    QVERIFY(last.stopped);
    QVERIFY(!last.completed);
    QCOMPARE(last.failedLine, 0);
    QVERIFY(!m_s->module->scriptFileRunning());
    settle();
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM s")), QStringLiteral("0"));
    QVERIFY2(m_s->log.lines().join(QLatin1Char('|')).contains(QStringLiteral(" stopped: ")),
             qPrintable(m_s->log.lines().join(QLatin1Char('|'))));
    // The session goes on.
    QVERIFY(m_s->module->ActiveClient()->Connected());
    QVERIFY(m_s->module->acceptsCommands());
}

void TestScriptFile::unreadableFileStartsNothing()
{
    QSignalSpy progress(m_s->module.get(), &TDMstd::scriptFileProgress);
    QVERIFY(!m_s->module->RunScriptFile(QStringLiteral("sf"), m_dir.filePath(QStringLiteral("missing.sql"))));
    QCOMPARE(progress.size(), 0);
    QCOMPARE(m_s->log.lines().size(), 1);
    QVERIFY(m_s->log.lines().first().startsWith(QStringLiteral("Run SQL File: missing.sql: ")));
    QVERIFY(!m_s->module->scriptFileRunning());
}

QTEST_GUILESS_MAIN(TestScriptFile)
#include "tst_scriptfile.moc"

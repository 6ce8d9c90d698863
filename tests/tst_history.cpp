#include "data/history.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The statement history's SQLite store, without a window.
class TestHistory : public QObject
{
    Q_OBJECT

private:
    static HistoryEntry entry(const QString &statement, const QString &database = QStringLiteral("shop"))
    {
        HistoryEntry e;
        e.statement = statement;
        e.database = database;
        e.microseconds = 1500;
        e.rows = 3;
        e.affectedRows = 3;
        return e;
    }
    static QStringList statements(const QList<HistoryEntry> &entries)
    {
        QStringList list;
        for (const HistoryEntry &e : entries)
            list << e.statement;
        return list;
    }

private Q_SLOTS:
    void keptInAPrivateFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data/history.sqlite"));
        const QDateTime at = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 8), Qt::UTC);
        {
            QueryHistory history;
            QVERIFY2(history.open(path), qPrintable(history.errorString()));
            QSignalSpy changed(&history, &QueryHistory::changed);
            HistoryEntry first = entry(QStringLiteral("select * from orders"));
            first.time = at;
            history.record(first);
            HistoryEntry failed = entry(QStringLiteral("select nothing"), QStringLiteral("mysql"));
            failed.failed = true;
            failed.rows = -1;
            failed.affectedRows = -1;
            failed.message = QStringLiteral("Unknown column 'nothing' in 'field list'");
            history.record(failed);
            // Written a moment later, not at once.
            QCOMPARE(changed.size(), 0);
            QTRY_VERIFY(changed.size() > 0);
        }
        QueryHistory again;
        QVERIFY(again.open(path));
        const QList<HistoryEntry> entries = again.search();
        QCOMPARE(statements(entries), (QStringList{"select nothing", "select * from orders"}));
        const HistoryEntry &newest = entries.at(0);
        QVERIFY(newest.failed);
        QCOMPARE(newest.database, QStringLiteral("mysql"));
        QCOMPARE(newest.message, QStringLiteral("Unknown column 'nothing' in 'field list'"));
        QCOMPARE(newest.rows, -1);
        const HistoryEntry &oldest = entries.at(1);
        QVERIFY(!oldest.failed);
        QCOMPARE(oldest.time, at);
        QCOMPARE(oldest.microseconds, 1500);
        QCOMPARE(oldest.rows, 3);
        QCOMPARE(oldest.affectedRows, 3);
        QVERIFY(oldest.id < newest.id);

        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(QFile::permissions(dir.filePath(QStringLiteral("data"))) & others, QFileDevice::Permissions());
        const QStringList files = QDir(dir.filePath(QStringLiteral("data"))).entryList(QDir::Files);
        QVERIFY(files.contains(QStringLiteral("history.sqlite")));
        for (const QString &file : files)
            QVERIFY2((QFile::permissions(dir.filePath(QStringLiteral("data/") + file)) & others) == 0, qPrintable(file));
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("all, newest first") << QString() << QStringList{"SELECT 50%", "drop table a_b", "select 1 from orders", "select 2"};
        QTest::newRow("any case") << "ORDERS" << QStringList{"select 1 from orders"};
        QTest::newRow("database name") << "mysql" << QStringList{"select 2"};
        QTest::newRow("percent is a character") << "0%" << QStringList{"SELECT 50%"};
        QTest::newRow("underscore is a character") << "a_b" << QStringList{"drop table a_b"};
        QTest::newRow("no wildcard meaning") << "a%b" << QStringList();
    }
    void search()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, found);
        QueryHistory history; // in memory
        history.record(entry(QStringLiteral("select 2"), QStringLiteral("mysql")));
        history.record(entry(QStringLiteral("select 1 from orders")));
        history.record(entry(QStringLiteral("drop table a_b")));
        history.record(entry(QStringLiteral("SELECT 50%")));
        QCOMPARE(statements(history.search(text)), found);
        QCOMPARE(statements(history.search(text, 1)), found.mid(0, 1));
    }

    void cappedInSize()
    {
        QTemporaryDir dir;
        QueryHistory history;
        QVERIFY(history.open(dir.filePath(QStringLiteral("history.sqlite"))));
        // By the number of entries: the newest stay.
        history.setLimits(5, 1000000);
        for (int i = 1; i <= 8; ++i)
            history.record(entry(QStringLiteral("select %1").arg(i)));
        QCOMPARE(history.count(), 5);
        QCOMPARE(statements(history.search()).last(), QStringLiteral("select 4"));
        // By the characters of the statements.
        history.setLimits(100, 30);
        QCOMPARE(statements(history.search()), (QStringList{"select 8", "select 7", "select 6"}));
        // A statement longer than the cap for one is cut and marked so.
        history.setLimits(100, 1000000);
        history.record(entry(QString(QueryHistory::MaxStatementLength + 10, QLatin1Char('x'))));
        const HistoryEntry longOne = history.search(QString(), 1).constFirst();
        QCOMPARE(longOne.statement.size(), QueryHistory::MaxStatementLength);
        QVERIFY(longOne.truncated);
        QVERIFY(!history.search(QString(), 2).at(1).truncated);

    }

    void fileStaysWithinItsCap()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        {
            QueryHistory history;
            QVERIFY(history.open(path));
            history.setLimits(200, 100 * 1000 * 1000);
            // About 10 MB of statements (20 MB of pages) go in; 200 of them stay.
            const QString values(2000, QLatin1Char('v'));
            for (int i = 0; i < 5000; ++i)
                history.record(entry(QStringLiteral("insert into t values (%1, '%2')").arg(i).arg(values)));
            QVERIFY(history.flush());
            QCOMPARE(history.count(), 200);
            QCOMPARE(history.search(QString(), 1).constFirst().statement.left(27),
                     QStringLiteral("insert into t values (4999,"));
        }
        // What stays, and one batch written before the oldest made way.
        const qint64 size = QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
        QVERIFY2(size < 8 * 1024 * 1024, qPrintable(QString::number(size)));
    }

    void unusableFileKeepsTheHistoryInMemory()
    {
        QTemporaryDir dir;
        // A file stands where the folder should be.
        QFile blocker(dir.filePath(QStringLiteral("data")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QueryHistory history;
        QVERIFY(!history.open(dir.filePath(QStringLiteral("data/history.sqlite"))));
        QVERIFY(!history.errorString().isEmpty());
        history.record(entry(QStringLiteral("select 1")));
        QCOMPARE(statements(history.search()), QStringList{"select 1"});
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"

#include "tests/support/privateserver.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Starts servers side by side. A server dies with the thread that started
// it, so the threads wait until this object ends.
class StarterThreads
{
public:
    ~StarterThreads()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_release = true;
        }
        m_changed.notify_all();
        for (std::thread &thread : m_threads)
            thread.join();
    }

    void run(std::function<void()> start)
    {
        m_threads.emplace_back([this, start] {
            start();
            std::unique_lock<std::mutex> lock(m_mutex);
            ++m_started;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_release; });
        });
    }

    void waitForStarts()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_started == m_threads.size(); });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::thread> m_threads;
    size_t m_started = 0;
    bool m_release = false;
};

} // namespace

// The private servers of the tests and benchmarks run side by side (CTest
// starts test programs in parallel): none may touch another's files.
class TestPrivateServer : public QObject
{
    Q_OBJECT

private:
    static QString tmpdirOf(const PrivateServer &server)
    {
        QString output;
        if (!server.sql(QStringLiteral("select @@tmpdir;"), &output))
            return {};
        return output.section(QLatin1Char('\n'), 1, 1).trimmed();
    }

private Q_SLOTS:
    void serversStartedAtOnceKeepTheirTemporaryFiles()
    {
        PrivateServer first;
        PrivateServer second;
        QString firstError;
        QString secondError;
        bool firstUp = false;
        bool secondUp = false;
        StarterThreads starters;
        starters.run([&] { firstUp = first.start(&firstError); });
        starters.run([&] { secondUp = second.start(&secondError); });
        starters.waitForStarts();
        QVERIFY2(firstUp, qPrintable(firstError));
        QVERIFY2(secondUp, qPrintable(secondError));
        QVERIFY2(secondUp, qPrintable(secondError));
        QVERIFY(first.port() != second.port());

        const QString firstTmp = tmpdirOf(first);
        const QString secondTmp = tmpdirOf(second);
        QVERIFY(!firstTmp.isEmpty() && !secondTmp.isEmpty());
        QVERIFY2(firstTmp != secondTmp, qPrintable(firstTmp));
        QCOMPARE(QDir(firstTmp).canonicalPath(), QDir(first.tmpDir()).canonicalPath());

        // A session of the first server keeps a temporary table on disk.
        QProcess session;
        session.setProcessChannelMode(QProcess::MergedChannels);
        session.start(PrivateServer::findProgram(QStringLiteral("mariadb")),
                      {QStringLiteral("--no-defaults"), QStringLiteral("--socket=") + first.socketPath(),
                       QStringLiteral("-uroot"), QStringLiteral("--batch"), QStringLiteral("--unbuffered"),
                       QStringLiteral("--skip-column-names")});
        QVERIFY(session.waitForStarted());
        QByteArray output;
        session.write("create database kept;\n"
                      "create temporary table kept.t (a int) engine=Aria;\n"
                      "insert into kept.t values (1), (2), (3);\n"
                      "select 'ready';\n");
        QTRY_VERIFY_WITH_TIMEOUT((output += session.readAll()).contains("ready"), 30000);
        const QStringList files = QDir(firstTmp).entryList({QStringLiteral("#sql*")}, QDir::Files | QDir::Hidden);
        QVERIFY2(!files.isEmpty(), qPrintable(QDir(firstTmp).entryList(QDir::AllEntries).join(u' ')));

        // Meanwhile the second server starts again, clearing its own folder.
        second.stop();
        QVERIFY2(second.start(&secondError), qPrintable(secondError));
        for (const QString &file : files)
            QVERIFY2(QFile::exists(firstTmp + QLatin1Char('/') + file), qPrintable(file));

        output.clear();
        session.write("select sum(a) from kept.t;\nselect 'done';\n");
        QTRY_VERIFY_WITH_TIMEOUT((output += session.readAll()).contains("done"), 30000);
        QVERIFY2(output.startsWith("6\n"), output.constData());
        session.closeWriteChannel();
        QVERIFY(session.waitForFinished(30000));
    }
};

QTEST_GUILESS_MAIN(TestPrivateServer)
#include "tst_privateserver.moc"

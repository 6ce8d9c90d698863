#include "data/localserver.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The default start and stop command lines run a private server for the
// user; here its files go to a temporary folder.
class TestLocalServer : public QObject
{
    Q_OBJECT

private:
    int helper(const QStringList &arguments, QString *output = nullptr, const QByteArray &input = {})
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(LocalServer::helperScript(), arguments);
        if (!process.waitForStarted())
            return -1;
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000))
            return -1;
        if (output)
            *output = QString::fromLocal8Bit(process.readAll());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
#ifdef Q_OS_WIN
        QSKIP("the Windows defaults run the classic server's programs");
#endif
        QVERIFY(m_dir.isValid());
        qputenv("QUARNEL_LOCAL_SERVER_DIR", QFile::encodeName(m_dir.path()));
        if (LocalServer::helperScript().isEmpty())
            QFAIL("quarnel-local-server not found");
    }
    void cleanupTestCase()
    {
        if (!LocalServer::helperScript().isEmpty())
            helper({QStringLiteral("stop")});
    }

    void defaultCommandsStartAndStopAPrivateServer()
    {
        QString output;
        QCOMPARE(helper({QStringLiteral("status")}, &output), 3);

        // Launched the way the menu command does it: detached, not awaited.
        QVERIFY(LocalServer::launch(LocalServer::defaultStartCommand()));
        QTRY_COMPARE_WITH_TIMEOUT(helper({QStringLiteral("status")}), 0, 60000);
        QCOMPARE(helper({QStringLiteral("port")}, &output), 0);
        const int port = output.trimmed().toInt();
        QVERIFY2(port >= 3307, qPrintable(output));
        QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("mysql/mysql"))));

        QCOMPARE(helper({QStringLiteral("client"), QStringLiteral("--batch"), QStringLiteral("--skip-column-names")},
                        &output, "select @@port, @@bind_address, @@tmpdir;\n"),
                 0);
        // Temporary files in a folder of its own: a starting server deletes
        // every "#sql*" file of its folder, in /tmp other servers' tables.
        QCOMPARE(output.trimmed(),
                 QString::number(port) + QStringLiteral("\t127.0.0.1\t") + m_dir.filePath(QStringLiteral("tmp")));

        // A second start reuses the running server.
        QCOMPARE(helper({QStringLiteral("start")}, &output), 0);
        QVERIFY2(output.contains(QStringLiteral("already running")), qPrintable(output));

        QVERIFY(LocalServer::launch(LocalServer::defaultStopCommand()));
        QTRY_COMPARE_WITH_TIMEOUT(helper({QStringLiteral("status")}), 3, 60000);

        // The next start keeps the data folder and the port.
        QCOMPARE(helper({QStringLiteral("start")}, &output), 0);
        QCOMPARE(helper({QStringLiteral("port")}, &output), 0);
        QCOMPARE(output.trimmed().toInt(), port);
        QCOMPARE(helper({QStringLiteral("stop")}, &output), 0);
    }
};

QTEST_GUILESS_MAIN(TestLocalServer)
#include "tst_localserver.moc"

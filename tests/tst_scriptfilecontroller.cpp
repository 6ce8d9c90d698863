#include "client/mySQLClient.h"
#include "data/messagelog.h"
#include "data/scriptfile.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "dialogs/scriptfiledialog.h"
#include "shell/mainwindow.h"
#include "shell/scriptfilecontroller.h"
#include "shell/sessioncontroller.h"
#include "tests/support/loginanswer.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"
#include "tests/support/treenode.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

// "Run SQL File..." on a real main window and a private server: the menu
// entry, the database of the tree's node and the progress window.
class TestScriptFileController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void commandSitsInTheQueryMenu();
    void runsInTheSelectedNodesDatabase_data();
    void runsInTheSelectedNodesDatabase();
    void withoutANodeNothingIsAsked();

private:
    QString writeFile(const QByteArray &text);
    QTemporaryDir m_dir;
    int m_files = 0;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<TFormMain> m_window;
    std::unique_ptr<TDMstd> m_data;
    std::unique_ptr<SessionController> m_session;
    std::unique_ptr<ScriptFileController> m_controller;
};

void TestScriptFileController::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral("CREATE DATABASE one; CREATE DATABASE two;"
                                       "CREATE TABLE two.t (v INT);"),
                        nullptr, &error),
             qPrintable(error));
}

void TestScriptFileController::init()
{
    m_settings = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("quarnel.conf")));
    const PrivateServer &server = PrivateServer::shared();
    TServerProfile &profile = m_settings->currentProfile();
    profile = TServerProfile();
    profile.Host = server.host();
    profile.Port = QString::number(server.port());
    m_settings->SaveServerProfile(server.host());
    m_settings->LoadProgramSettings();
    m_window = std::make_unique<TFormMain>(m_settings.get());
    m_data = std::make_unique<TDMstd>(SessionController::viewsOf(m_window.get()));
    m_session = std::make_unique<SessionController>(m_window.get(), m_data.get());
    m_controller = std::make_unique<ScriptFileController>(m_window.get(), m_data.get());
    m_window->AddServerItem(server.host());
    QListWidget *list = m_window->serverList();
    list->setCurrentRow(list->count() - 1);
    AnswerLoginAsAdministrator(*m_session);
    m_session->ListServerDblClick();
    settle();
    QVERIFY(m_data->ActiveClient()->Connected());
}

void TestScriptFileController::cleanup()
{
    m_controller.reset();
    m_session.reset();
    m_data.reset();
    m_window.reset();
    m_settings.reset();
}

QString TestScriptFileController::writeFile(const QByteArray &text)
{
    const QString path = m_dir.filePath(QStringLiteral("run%1.sql").arg(++m_files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return path;
}

void TestScriptFileController::commandSitsInTheQueryMenu()
{
    QAction *command = m_window->action(QStringLiteral("query_run_file"));
    QVERIFY(command);
    QCOMPARE(command->text(), QStringLiteral("Run SQL File..."));
    QMenu *query = nullptr;
    for (QAction *entry : m_window->menuBar()->actions()) {
        if (entry->text() == QLatin1String("&Query"))
            query = entry->menu();
    }
    QVERIFY(query);
    QVERIFY(query->actions().contains(command));
    QVERIFY(command->isEnabled()); // connected, nothing running
}

void TestScriptFileController::runsInTheSelectedNodesDatabase_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("table");
    QTest::newRow("database node") << "one" << QString();
    QTest::newRow("table node") << "two" << "t";
}

void TestScriptFileController::runsInTheSelectedNodesDatabase()
{
    QFETCH(QString, database);
    QFETCH(QString, table);
    if (!table.isEmpty()) {
        // The tables come below the selected database node.
        m_window->treeView()->setCurrentIndex(TreeNode(m_window->treeModel(), database));
        m_data->ListTablesWithStatus(database);
        settle();
    }
    const QModelIndex node = TreeNode(m_window->treeModel(), database, table);
    QVERIFY(node.isValid());
    m_window->treeView()->setCurrentIndex(node);
    const QString path = writeFile("CREATE TABLE made (v INT);\n"
                                   "INSERT INTO made VALUES (1), (2);\n"
                                   "INSERT INTO made VALUES (3, 4);\n"
                                   "INSERT INTO made VALUES (5);\n");
    int asked = 0;
    m_controller->askFileName = [&] {
        ++asked;
        return path;
    };
    m_window->action(QStringLiteral("query_run_file"))->trigger();
    QCOMPARE(asked, 1);
    TFormScriptFile *progress = m_controller->progressWindow();
    QVERIFY(progress);
    QTRY_COMPARE(progress->ButtonStop->text(), QStringLiteral("&Close"));
    QVERIFY(progress->isVisible());
    QCOMPARE(progress->LabelFile->text(), QFileInfo(path).fileName());
    QCOMPARE(progress->ProgressFile->value(), 1000);
    QVERIFY2(progress->LabelCounts->text().contains(QStringLiteral(", 3 statements, ")),
             qPrintable(progress->LabelCounts->text()));
    QVERIFY2(progress->LabelOutcome->text().startsWith(QStringLiteral("Line 3: Column count")),
             qPrintable(progress->LabelOutcome->text()));
    QString rows;
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("SELECT COUNT(*) FROM %1.made; DROP TABLE %1.made;").arg(database),
                                        &rows));
    QCOMPARE(rows.split(QLatin1Char('\n')).value(1).trimmed(), QStringLiteral("2"));
    const QString logText = m_window->messageLog()->lines().join(QLatin1Char('|'));
    QVERIFY2(logText.contains(QStringLiteral(" failed: 3 statements, 2 rows affected, ")), qPrintable(logText));
    progress->ButtonStop->click();
    QTRY_VERIFY(!progress->isVisible());
}

void TestScriptFileController::withoutANodeNothingIsAsked()
{
    m_window->treeView()->setCurrentIndex(QModelIndex());
    int asked = 0;
    m_controller->askFileName = [&] {
        ++asked;
        return QString();
    };
    m_window->action(QStringLiteral("query_run_file"))->trigger();
    QCOMPARE(asked, 0);
    QVERIFY(!m_controller->progressWindow());
}

QTEST_MAIN(TestScriptFileController)
#include "tst_scriptfilecontroller.moc"

#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/rowstore.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"
#include "editor/sqleditortabs.h"
#include "shell/gridviews.h"
#include "shell/mainwindow.h"
#include "shell/operationscontroller.h"
#include "shell/sessioncontroller.h"
#include "tests/support/loginanswer.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"
#include "tests/support/treenode.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

// The results of a run and the grids on a real server: a tab per result set,
// ending a process's statement from the process list, and the quick filter.
class TestResultGrids : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void everyResultOnItsTab();
    void largeResultsOnTheirTabs_data();
    void largeResultsOnTheirTabs();
    void killQueryKeepsTheConnection();
    void quickFilterShowsMatchingRows();

private:
    void login();
    void run(const QString &script)
    {
        m_window->sqlEditor()->editor()->setText(script);
        m_window->action(QStringLiteral("EditExec"))->trigger();
        settle();
    }
    // Rows the view shows.
    static int shownRows(const QTableView *view) { return view->model()->rowCount(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<TFormMain> m_window;
    std::unique_ptr<TDMstd> m_data;
    std::unique_ptr<SessionController> m_controller;
    std::unique_ptr<OperationsController> m_operations;
};

void TestResultGrids::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral("DROP DATABASE IF EXISTS rg; CREATE DATABASE rg;\n"
                                       "DELIMITER //\n"
                                       "CREATE PROCEDURE rg.three() BEGIN SELECT 1 AS a;"
                                       " SELECT seq AS b FROM seq_1_to_20; SELECT 'x' AS c, 'y' AS d; END//\n"
                                       // Three results of well over a megabyte each.
                                       "CREATE PROCEDURE rg.large() BEGIN"
                                       " SELECT seq AS a, CONCAT('a', seq, '-', REPEAT('p', 200)) AS pad"
                                       " FROM seq_1_to_8000;"
                                       " SELECT seq * 2 AS b, REPEAT('q', 100) AS fill FROM seq_1_to_12000;"
                                       " SELECT seq AS c, CONCAT('c', seq, '-', REPEAT('r', 200)) AS label"
                                       " FROM seq_1_to_7000 ORDER BY seq DESC; END//\n"
                                       "DELIMITER ;\n"),
                        nullptr, &error),
             qPrintable(error));
}

void TestResultGrids::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_settings = std::make_unique<SettingsStore>(m_dir->filePath(QStringLiteral("quarnel.conf")));
    const PrivateServer &server = PrivateServer::shared();
    TServerProfile &profile = m_settings->currentProfile();
    profile = TServerProfile();
    profile.Host = server.host();
    profile.User = PrivateServer::user();
    profile.Port = QString::number(server.port());
    profile.Database = QStringLiteral("mysql");
    m_settings->SaveServerProfile(server.host());
    m_settings->LoadProgramSettings();
    m_window = std::make_unique<TFormMain>(m_settings.get());
    m_window->openDataFolder(m_dir->filePath(QStringLiteral("data")));
    EditorPrompts prompts = EditorPrompts::standard();
    prompts.message = [](QWidget *, QMessageBox::Icon, const QString &, QMessageBox::StandardButtons) {
        return QMessageBox::No;
    };
    m_window->sqlEditorTabs()->setPrompts(prompts);
    m_data = std::make_unique<TDMstd>(SessionController::viewsOf(m_window.get()));
    m_controller = std::make_unique<SessionController>(m_window.get(), m_data.get());
    m_operations = std::make_unique<OperationsController>(m_window.get(), m_data.get());
    m_window->AddServerItem(server.host());
}

void TestResultGrids::cleanup()
{
    m_operations.reset();
    m_controller.reset();
    m_data.reset();
    m_window.reset();
    m_settings.reset();
    m_dir.reset();
}

void TestResultGrids::login()
{
    AnswerLoginAsAdministrator(*m_controller);
    QListWidget *list = m_window->serverList();
    list->setCurrentRow(list->count() - 1);
    m_controller->ListServerDblClick();
    settle();
    QVERIFY(m_data->ActiveClient()->Connected());
    m_window->treeView()->setCurrentIndex(TreeNode(m_window->treeModel(), QStringLiteral("rg"), QString()));
}

void TestResultGrids::everyResultOnItsTab()
{
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    auto *tabs = m_window->findChild<QTabWidget *>(QStringLiteral("ResultTabs"));
    QVERIFY(tabs);
    m_window->messageLog()->clear();
    run(QStringLiteral("call three()"));
    QTRY_COMPARE(tabs->count(), 3);
    const QStringList captions = {QStringLiteral("Result 1 \u2013 1 row"), QStringLiteral("Result 2 \u2013 20 rows"),
                                  QStringLiteral("Result 3 \u2013 1 row")};
    QCOMPARE(tabs->count(), 3);
    QVERIFY(tabs->tabBar()->isVisible());
    const QStringList firstColumns = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(tabs->tabText(i), captions.at(i));
        QCOMPARE(tabs->tabToolTip(i), QStringLiteral("call three()"));
        auto *view = tabs->widget(i)->findChild<QTableView *>();
        QVERIFY(view);
        auto *grid = qobject_cast<GridModel *>(view->model());
        QVERIFY(grid);
        QCOMPARE(grid->columnCaption(0), firstColumns.at(i));
    }
    // The last in front, in the query grid the commands act on.
    QCOMPARE(tabs->currentIndex(), 2);
    QCOMPARE(tabs->currentWidget()->findChild<QTableView *>(), m_window->gridView(QStringLiteral("AdvListView5")));
    QCOMPARE(m_window->grid(QStringLiteral("AdvListView5"))->rowCount(), 1);
    QCOMPARE(qobject_cast<GridModel *>(tabs->widget(1)->findChild<QTableView *>()->model())->rowCount(), 20);
    const QString log = m_window->messageLog()->lines().join(QLatin1Char('|'));
    QVERIFY2(log.contains(QStringLiteral("call three()   (Result 1 \u2013 1 row, Result 2 \u2013 20 rows, "
                                         "Result 3 \u2013 1 row)")),
             qPrintable(log));

    // A run of two statements: a tab for each, numbered on.
    run(QStringLiteral("select 'p' as first_one;\nselect 'q' as second_one"));
    QTRY_COMPARE(tabs->count(), 2);
    QTRY_COMPARE(tabs->tabText(0), QStringLiteral("Result 1 \u2013 1 row"));
    QCOMPARE(tabs->tabToolTip(0), QStringLiteral("select 'p' as first_one"));
    QCOMPARE(tabs->tabToolTip(1), QStringLiteral("select 'q' as second_one"));
    // A run without a result set keeps the tabs; one result hides the bar.
    run(QStringLiteral("do 1"));
    QCOMPARE(m_data->RunResults().size(), 2);
    QCOMPARE(tabs->count(), 2);
    run(QStringLiteral("select 1 as only_one"));
    QTRY_COMPARE(tabs->count(), 1);
    QVERIFY(!tabs->tabBar()->isVisible());
    QCOMPARE(tabs->tabText(0), QStringLiteral("Result 1 \u2013 1 row"));

    // A long run keeps the newest results, each tab with its own rows.
    QString script;
    for (int i = 1; i <= 60; ++i)
        script += QStringLiteral("select seq as n%1 from seq_1_to_%1;\n").arg(i);
    run(script);
    QTRY_COMPARE(tabs->count(), int(TDMstd::MaxRunResults));
    QTRY_COMPARE(tabs->tabText(0), QStringLiteral("Result 11 \u2013 11 rows"));
    QCOMPARE(tabs->tabToolTip(0), QStringLiteral("select seq as n11 from seq_1_to_11"));
    QCOMPARE(tabs->tabText(tabs->count() - 1), QStringLiteral("Result 60 \u2013 60 rows"));
    for (int i = 0; i + 1 < tabs->count(); ++i) {
        auto *grid = qobject_cast<GridModel *>(tabs->widget(i)->findChild<QTableView *>()->model());
        QCOMPARE(grid->columnCaption(0), QStringLiteral("n%1").arg(i + 11));
        QCOMPARE(grid->rowCount(), i + 11);
    }
}

void TestResultGrids::largeResultsOnTheirTabs_data()
{
    QTest::addColumn<QString>("budget"); // megabytes for the rows of all results
    QTest::addColumn<bool>("spills");
    QTest::newRow("in memory") << "256" << false;
    QTest::newRow("spilled") << "1" << true;
}

void TestResultGrids::largeResultsOnTheirTabs()
{
    // The rows of every result set of a CALL stream into row stores of
    // their own, each read back on its tab, also once they went to a file.
    QFETCH(QString, budget);
    QFETCH(bool, spills);
    m_settings->programSettings().ResultMemory = budget;
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    auto *tabs = m_window->findChild<QTabWidget *>(QStringLiteral("ResultTabs"));
    QVERIFY(tabs);
    run(QStringLiteral("call large()"));
    QTRY_COMPARE(tabs->count(), 3);
    QTRY_COMPARE(tabs->tabText(0), QStringLiteral("Result 1 \u2013 8000 rows"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Result 2 \u2013 12000 rows"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("Result 3 \u2013 7000 rows"));
    QCOMPARE(tabs->currentIndex(), 2);
    GridModel *grids[3];
    for (int i = 0; i < 3; ++i) {
        grids[i] = qobject_cast<GridModel *>(tabs->widget(i)->findChild<QTableView *>()->model());
        QVERIFY(grids[i]);
        QCOMPARE(tabs->tabToolTip(i), QStringLiteral("call large()"));
    }
    QCOMPARE(grids[2], m_window->grid(QStringLiteral("AdvListView5")));
    bool anySpilled = false;
    for (GridModel *grid : grids) {
        const auto *store = dynamic_cast<const RowStore *>(grid->rowSource().get());
        QVERIFY2(store, "the tab reads the rows where they streamed to");
        anySpilled = anySpilled || store->spilled();
    }
    QCOMPARE(anySpilled, spills);
    QCOMPARE(grids[0]->rowCount(), 8000);
    QCOMPARE(grids[0]->columnCaption(1), QStringLiteral("pad"));
    for (int row = 0; row < 8000; ++row) {
        QCOMPARE(grids[0]->text(row, 0), QString::number(row + 1));
        QCOMPARE(grids[0]->text(row, 1), QStringLiteral("a%1-").arg(row + 1) + QString(200, QLatin1Char('p')));
    }
    QCOMPARE(grids[1]->rowCount(), 12000);
    QCOMPARE(grids[1]->columnCaption(0), QStringLiteral("b"));
    for (int row = 0; row < 12000; ++row) {
        QCOMPARE(grids[1]->text(row, 0), QString::number(2 * (row + 1)));
        QCOMPARE(grids[1]->text(row, 1), QString(100, QLatin1Char('q')));
    }
    QCOMPARE(grids[2]->rowCount(), 7000);
    QCOMPARE(grids[2]->columnCaption(1), QStringLiteral("label"));
    for (int row = 0; row < 7000; ++row) {
        QCOMPARE(grids[2]->text(row, 0), QString::number(7000 - row));
        QCOMPARE(grids[2]->text(row, 1), QStringLiteral("c%1-").arg(7000 - row) + QString(200, QLatin1Char('r')));
    }
    const QString log = m_window->messageLog()->lines().join(QLatin1Char('|'));
    QVERIFY2(log.contains(QStringLiteral("call large()   (Result 1 \u2013 8000 rows, "
                                         "Result 2 \u2013 12000 rows, Result 3 \u2013 7000 rows)")),
             qPrintable(log));
}

void TestResultGrids::killQueryKeepsTheConnection()
{
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->action(QStringLiteral("admin_process"))->trigger();
    settle();
    // The list is read again by itself once asked to.
    auto *refresh = m_window->findChild<QCheckBox *>(QStringLiteral("CheckProcessRefresh"));
    QVERIFY(refresh && refresh->isVisible());
    QVERIFY(!refresh->isChecked());
    m_window->findChild<QSpinBox *>(QStringLiteral("EditProcessRefresh"))->setValue(1);
    refresh->setChecked(true);

    // Another client's connection runs a long statement, and reports its
    // connection before and after it.
    const PrivateServer &server = PrivateServer::shared();
    QProcess other;
    other.start(PrivateServer::findProgram(QStringLiteral("mariadb")),
                {QStringLiteral("--no-defaults"), QStringLiteral("--socket=") + server.socketPath(),
                 QStringLiteral("-uroot"), QStringLiteral("--batch"), QStringLiteral("--skip-column-names"),
                 QStringLiteral("--skip-reconnect"), QStringLiteral("--force")});
    QVERIFY(other.waitForStarted());
    other.write("select concat('before ', connection_id());\n"
                "select sleep(60) as long_wait;\n"
                "select concat('after ', connection_id());\n");
    other.closeWriteChannel();

    GridModel *grid = m_window->grid(QStringLiteral("AdvListView6"));
    QTableView *view = m_window->gridView(QStringLiteral("AdvListView6"));
    int row = -1;
    const auto findSleep = [&] {
        row = -1;
        for (int r = 0; r < grid->rowCount(); ++r) {
            for (int c = 0; c < grid->columnCount(); ++c) {
                if (grid->text(r, c).contains(QStringLiteral("sleep(60)")))
                    row = r;
            }
        }
        return row >= 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(findSleep(), 15000);
    refresh->setChecked(false);
    settle();
    QVERIFY(findSleep());
    const QString id = grid->caption(row);
    view->selectRow(row);
    view->setCurrentIndex(grid->index(row, 0));

    // "Kill Query" stands beside "Kill Task" in the list's pop-up menu.
    QMenu *popup = m_window->popupMenu(QStringLiteral("PopupKill"));
    QStringList entries;
    for (QAction *action : popup->actions())
        entries.append(action->text());
    QCOMPARE(entries.mid(0, 2), (QStringList{QStringLiteral("Kill Task"), QStringLiteral("Kill Query")}));

    m_window->action(QStringLiteral("database_kill_query"))->trigger();
    QVERIFY(other.waitForFinished(20000));
    const QString output = QString::fromUtf8(other.readAllStandardOutput());
    // The statement ended, the connection went on with the next one.
    QVERIFY2(output.contains(QStringLiteral("before ") + id), qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("after ") + id), qPrintable(output));
    settle();
    QVERIFY(m_data->ActiveClient()->Connected());
    const QString log = m_window->messageLog()->lines().join(QLatin1Char('|'));
    QVERIFY2(log.contains(QStringLiteral("Query of %1 killed").arg(id)), qPrintable(log));
}

void TestResultGrids::quickFilterShowsMatchingRows()
{
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    run(QStringLiteral("select seq as n, concat('Row', seq) as label from seq_1_to_20000"));
    QTableView *view = m_window->gridView(QStringLiteral("AdvListView5"));
    QCOMPARE(view->model()->rowCount(), 20000);
    auto *filter = m_window->findChild<QLineEdit *>(QStringLiteral("AdvListView5Filter"));
    QVERIFY(filter);
    QVERIFY(!filter->accessibleName().isEmpty());
    filter->setFocus();
    QTRY_VERIFY(filter->hasFocus());
    // Any case, any column: 5, 50-59, 500-599 and 5000-5999.
    QTest::keyClicks(filter, QStringLiteral("row5"));
    QTRY_COMPARE(shownRows(view), 1 + 10 + 100 + 1000);
    QCOMPARE(view->model()->index(0, 1).data().toString(), QStringLiteral("Row5"));
    QCOMPARE(view->model()->index(1, 1).data().toString(), QStringLiteral("Row50"));
    // A row chosen in the filtered grid is the grid's own row to every command.
    view->selectRow(1);
    QCOMPARE(ChosenRow(view), 49);

    // The next result is filtered by the same text.
    run(QStringLiteral("select seq as n, concat('Row', seq) as label from seq_1_to_60"));
    QTRY_COMPARE(shownRows(view), 1 + 10);
    QCOMPARE(filter->text(), QStringLiteral("row5"));
    QCOMPARE(view->model()->index(10, 0).data().toString(), QStringLiteral("59"));

    // Esc while a statement runs stops it and keeps the filter.
    m_window->sqlEditor()->editor()->setText(QStringLiteral("select sleep(30)"));
    m_window->action(QStringLiteral("EditExec"))->trigger();
    QTRY_VERIFY(m_window->action(QStringLiteral("query_stop"))->isEnabled());
    filter->setFocus();
    QTRY_VERIFY(filter->hasFocus());
    QTest::keyClick(filter, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!m_data->statementsRunning(), 10000);
    QCOMPARE(filter->text(), QStringLiteral("row5"));
    settle();

    // With nothing running, Esc in the field clears it: every row is back.
    filter->setFocus();
    QTRY_VERIFY(filter->hasFocus());
    QTest::keyClick(filter, Qt::Key_Escape);
    QCOMPARE(filter->text(), QString());
    QCOMPARE(view->model(), static_cast<QAbstractItemModel *>(m_window->grid(QStringLiteral("AdvListView5"))));
}

QTEST_MAIN(TestResultGrids)
#include "tst_resultgrids.moc"

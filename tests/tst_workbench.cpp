#include "client/mySQLClient.h"
#include "data/completionnames.h"
#include "data/gridmodel.h"
#include "data/history.h"
#include "data/historymodel.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "editor/historypanel.h"
#include "editor/sqlcompletion.h"
#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"
#include "editor/sqleditortabs.h"
#include "shell/mainwindow.h"
#include "shell/sessioncontroller.h"
#include "tests/support/loginanswer.h"
#include "tests/support/privateserver.h"
#include "tests/support/settle.h"
#include "tests/support/treenode.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

// The editor at work on a real server: runs from the current tab, the
// statement history, completion, and where the next run happens.
class TestWorkbench : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void execRunsTheCurrentTabAndPointsThere();
    void historyRecordsAndRecalls();
    void completionOffersNamesOfTheDatabaseInUse();
    void databasePanelFollowsUse();

private:
    QModelIndex node(const QString &database, const QString &table = QString()) const
    {
        return TreeNode(m_window->treeModel(), database, table);
    }
    void login();
    void run(const QString &script)
    {
        m_window->sqlEditor()->editor()->setText(script);
        m_window->action(QStringLiteral("EditExec"))->trigger();
        settle();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<TFormMain> m_window;
    std::unique_ptr<TDMstd> m_data;
    std::unique_ptr<SessionController> m_controller;
};

void TestWorkbench::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral("DROP DATABASE IF EXISTS shop; DROP DATABASE IF EXISTS stock;"
                                       "CREATE DATABASE shop;"
                                       "CREATE TABLE shop.orders (id INT PRIMARY KEY, what VARCHAR(10), placed_on DATE);"
                                       "INSERT INTO shop.orders VALUES (1, 'one', NULL), (2, 'two', NULL), (10, 'ten', NULL);"
                                       "CREATE DATABASE stock;"
                                       "CREATE TABLE stock.items (item_code INT, shelf_label VARCHAR(20));"),
                        nullptr, &error),
             qPrintable(error));
}

void TestWorkbench::init()
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
    // No question may wait for an answer here.
    EditorPrompts prompts = EditorPrompts::standard();
    prompts.message = [](QWidget *, QMessageBox::Icon, const QString &, QMessageBox::StandardButtons) {
        return QMessageBox::No;
    };
    m_window->sqlEditorTabs()->setPrompts(prompts);
    m_data = std::make_unique<TDMstd>(SessionController::viewsOf(m_window.get()));
    m_controller = std::make_unique<SessionController>(m_window.get(), m_data.get());
    m_window->AddServerItem(server.host());
}

void TestWorkbench::cleanup()
{
    m_controller.reset();
    m_data.reset();
    m_window.reset();
    m_settings.reset();
    m_dir.reset();
}

void TestWorkbench::login()
{
    AnswerLoginAsAdministrator(*m_controller);
    QListWidget *list = m_window->serverList();
    list->setCurrentRow(list->count() - 1);
    m_controller->ListServerDblClick();
    settle();
    QVERIFY(m_data->ActiveClient()->Connected());
}

void TestWorkbench::execRunsTheCurrentTabAndPointsThere()
{
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop")));
    SqlEditorTabs *tabs = m_window->sqlEditorTabs();
    SqlEditor *first = tabs->currentPage()->editor();
    first->setText(QStringLiteral("select no_such_column from orders"));
    SqlEditor *second = tabs->newTab()->editor();
    // The failing statement waits a moment: the user goes back to the first
    // tab before the error comes.
    second->setText(QStringLiteral("select sleep(0.3);\n\nselect no_such_column from orders"));
    m_window->action(QStringLiteral("EditExec"))->trigger();
    tabs->setCurrentIndex(0);
    settle();
    const QString log = m_window->messageLog()->lines().join(QLatin1Char('|'));
    QVERIFY2(log.contains(QStringLiteral("no_such_column")), qPrintable(log));
    // The error is shown where it stands: in the tab that ran.
    QCOMPARE(tabs->currentIndex(), 1);
    QVERIFY(second->hasErrorMark(2));
    QCOMPARE(second->selectedText(), QStringLiteral("no_such_column"));
    QVERIFY(!first->hasErrorMark(0));
    QVERIFY(!first->hasSelectedText());

    // A closed tab is pointed at nowhere (the run's errors do not land in
    // another tab).
    m_window->action(QStringLiteral("EditExec"))->trigger();
    tabs->page(1)->editor()->setModified(false);
    QVERIFY(tabs->closeTab(1));
    settle();
    QCOMPARE(tabs->count(), 1);
    QVERIFY(!first->hasErrorMark(0));
    QVERIFY(!first->hasSelectedText());
}

void TestWorkbench::historyRecordsAndRecalls()
{
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop")));
    run(QStringLiteral("select what from orders where id <= 2;\n"
                       "update orders set what = 'none' where id = 999;\n"
                       "use stock;\n"
                       "select * from items;\n"
                       "select nothing_here from items;\n"
                       "select 'never sent'"));
    QueryHistory *history = m_window->history();
    const QList<HistoryEntry> entries = history->search();
    QStringList seen;
    for (const HistoryEntry &entry : entries)
        seen << entry.database + QLatin1Char(':') + entry.statement;
    QCOMPARE(seen, (QStringList{"stock:select nothing_here from items", "stock:select * from items",
                                "shop:use stock", "shop:update orders set what = 'none' where id = 999",
                                "shop:select what from orders where id <= 2"}));
    const HistoryEntry &failed = entries.at(0);
    QVERIFY(failed.failed);
    QVERIFY2(failed.message.contains(QStringLiteral("nothing_here")), qPrintable(failed.message));
    const HistoryEntry &select = entries.at(4);
    QVERIFY(!select.failed);
    QCOMPARE(select.rows, 2);
    QVERIFY(select.microseconds > 0);
    QVERIFY(select.time.isValid());
    QVERIFY(qAbs(select.time.secsTo(QDateTime::currentDateTimeUtc())) < 120);
    const HistoryEntry &update = entries.at(3);
    QCOMPARE(update.rows, -1);
    QCOMPARE(update.affectedRows, 0);
    QCOMPARE(HistoryModel::rowsText(update), QStringLiteral("0 affected"));
    QCOMPARE(HistoryModel::rowsText(select), QStringLiteral("2 rows"));
    QCOMPARE(HistoryModel::outcomeText(select), QStringLiteral("OK"));

    // The panel searches; a double click puts the statement into the
    // current tab, selected, after what is there.
    m_window->showPage(QStringLiteral("Active SQL"), QStringLiteral("History"));
    HistoryPanel *panel = m_window->historyPanel();
    QTRY_VERIFY(panel->isVisible());
    QTRY_COMPARE(panel->model()->rowCount(), 5);
    QTest::keyClicks(panel->searchField(), QStringLiteral("WHAT FROM"));
    QTRY_COMPARE(panel->model()->rowCount(), 1);
    QCOMPARE(panel->model()->index(0, HistoryModel::DatabaseColumn).data().toString(), QStringLiteral("shop"));
    SqlEditorPage *tab = m_window->sqlEditorTabs()->newTab();
    tab->editor()->setText(QStringLiteral("-- kept"));
    m_window->showPage(QStringLiteral("Active SQL"), QStringLiteral("History"));
    QTableView *view = panel->view();
    QTRY_VERIFY(view->isVisible());
    const QRect cell = view->visualRect(panel->model()->index(0, HistoryModel::TimeColumn));
    // The view takes a double click as the second press of a click.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(tab->scriptText(), QStringLiteral("-- kept\nselect what from orders where id <= 2;"));
    QCOMPARE(tab->editor()->selectedText(), QStringLiteral("select what from orders where id <= 2"));
    auto *sqlPages = m_window->findChild<QTabWidget *>(QStringLiteral("PageControlSql"));
    QCOMPARE(sqlPages->tabText(sqlPages->currentIndex()), QStringLiteral("SQL Query"));
    // The recalled statement runs as it ran (here with Ctrl+Enter's caret).
    m_window->action(QStringLiteral("EditExecStatement"))->trigger();
    settle();
    QCOMPARE(history->search(QString(), 1).constFirst().statement, QStringLiteral("select what from orders where id <= 2"));
    // Back in the history, the new entry stands on top and the row the
    // user chose is still the current one.
    const qint64 chosen = panel->model()->entry(0).id;
    m_window->showPage(QStringLiteral("Active SQL"), QStringLiteral("History"));
    QTRY_COMPARE(panel->model()->rowCount(), 2);
    QCOMPARE(view->currentIndex().row(), 1);
    QCOMPARE(panel->model()->entry(1).id, chosen);

    // Kept in the data folder for the next start.
    QVERIFY(history->flush());
    QueryHistory again;
    QVERIFY(again.open(m_dir->filePath(QStringLiteral("data/history.sqlite"))));
    QCOMPARE(again.count(), 6);
}

void TestWorkbench::completionOffersNamesOfTheDatabaseInUse()
{
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("stock")));
    QCOMPARE(m_window->databaseInUse(), QStringLiteral("stock"));
    m_window->showPage(QStringLiteral("Active SQL"), QStringLiteral("SQL Query"));
    SqlEditor *editor = m_window->sqlEditor()->editor();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(editor));
    CompletionNames *names = m_window->completionNames();
    // The first typing asks for the names; they come on a connection of
    // their own.
    QTest::keyClicks(editor, QStringLiteral("select sh"));
    QTRY_VERIFY(names->isLoaded(QStringLiteral("stock")));
    QCOMPARE(m_data->ActiveClient()->TaskHandler()->PendingTasks(), 0);
    editor->clear();
    // As the user types: the list offers the column, Enter takes it.
    QTest::keyClicks(editor, QStringLiteral("select shel"));
    QTRY_VERIFY(editor->isListActive());
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(editor->text(), QStringLiteral("select shelf_label"));
    // Not inside a quoted text or a comment.
    for (const QString &typed : {QStringLiteral(" where shelf_label = 'shel"), QStringLiteral(" -- shel")}) {
        editor->setText(QStringLiteral("select shelf_label from items"));
        editor->setCursorPosition(0, editor->text().size());
        QTest::keyClicks(editor, typed);
        QVERIFY2(!editor->isListActive(), qPrintable(typed));
    }

    auto offers = [names, this](const QString &typed) {
        return SqlCompletion::offers(typed, names, m_window->databaseInUse());
    };
    QCOMPARE(offers(QStringLiteral("select x from items where items.")),
             (QStringList{"item_code", "shelf_label"}));
    QCOMPARE(offers(QStringLiteral("select `items`.it")), QStringList{"item_code"});
    QVERIFY(offers(QStringLiteral("sel")).contains(QStringLiteral("SELECT")));
    QVERIFY(offers(QStringLiteral("sto")).contains(QStringLiteral("stock")));
    QVERIFY(offers(QStringLiteral("it")).contains(QStringLiteral("items")));
    QVERIFY(!offers(QStringLiteral("pla")).contains(QStringLiteral("placed_on")));

    // Another database in use: its names are read ahead and offered.
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop")));
    QCOMPARE(m_window->databaseInUse(), QStringLiteral("shop"));
    QTRY_VERIFY(names->isLoaded(QStringLiteral("shop")));
    QCOMPARE(offers(QStringLiteral("select pla")), QStringList{"placed_on"});
    QCOMPARE(offers(QStringLiteral("select shel")), QStringList());
    QCOMPARE(offers(QStringLiteral("select stock.items.shel")), QStringList{"shelf_label"});
    QCOMPARE(offers(QStringLiteral("select * from stock.")), QStringList{"items"});

    // Names are kept until F5 in the editor reads them again.
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("ALTER TABLE shop.orders ADD COLUMN placed_by INT;")));
    QCOMPARE(offers(QStringLiteral("select placed_")), QStringList{"placed_on"});
    editor->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(editor));
    QTest::keyClick(editor, Qt::Key_F5);
    QTRY_COMPARE(offers(QStringLiteral("select placed_")), (QStringList{"placed_by", "placed_on"}));
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("ALTER TABLE shop.orders DROP COLUMN placed_by;")));
}

void TestWorkbench::databasePanelFollowsUse()
{
    login();
    QLabel *panel = m_window->statusPanel(0);
    QTreeView *tree = m_window->treeView();
    // After login the list's first database is selected, and named.
    QVERIFY(tree->currentIndex().isValid());
    QCOMPARE(panel->text(), tree->currentIndex().data().toString());
    tree->setCurrentIndex(QModelIndex());
    QCOMPARE(panel->text(), QStringLiteral("database"));
    tree->setCurrentIndex(node(QStringLiteral("shop")));
    QCOMPARE(panel->text(), QStringLiteral("shop"));

    // A USE in the script: the tree, and so the next run, follow it.
    run(QStringLiteral("use stock;\nselect 1"));
    QCOMPARE(tree->currentIndex(), node(QStringLiteral("stock")));
    QCOMPARE(panel->text(), QStringLiteral("stock"));
    QCOMPARE(m_data->ActiveClient()->Database(), QStringLiteral("stock"));
    run(QStringLiteral("select shelf_label from items"));
    QCOMPARE(m_window->grid(QStringLiteral("AdvListView5"))->columnCaption(0), QStringLiteral("shelf_label"));

    // Only a USE that the server took: a failing one leaves the tree alone,
    // one before a failing statement still counts.
    run(QStringLiteral("use no_such_database;\nselect 1"));
    QCOMPARE(panel->text(), QStringLiteral("stock"));
    run(QStringLiteral("use `shop`;\nselect no_such_column from orders"));
    QCOMPARE(panel->text(), QStringLiteral("shop"));
    QCOMPARE(tree->currentIndex(), node(QStringLiteral("shop")));

    // A database the script made: the list is read again to show it.
    run(QStringLiteral("drop database if exists fresh_db; create database fresh_db;\nuse fresh_db;\n"
                       "create table made_here (x int)"));
    QVERIFY(node(QStringLiteral("fresh_db")).isValid());
    QCOMPARE(tree->currentIndex(), node(QStringLiteral("fresh_db")));
    QCOMPARE(panel->text(), QStringLiteral("fresh_db"));
    run(QStringLiteral("select count(*) as tables_here from information_schema.tables where table_schema = database()"));
    QCOMPARE(m_window->grid(QStringLiteral("AdvListView5"))->caption(0), QStringLiteral("1"));
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("DROP DATABASE fresh_db;")));
}

QTEST_MAIN(TestWorkbench)
#include "tst_workbench.moc"

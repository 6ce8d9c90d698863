#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/tdmstd.h"
#include "dialogs/createdbdialog.h"
#include "dialogs/logindialog.h"
#include "dialogs/tablecreatedialog.h"
#include "dialogs/tablelockdialog.h"
#include "shell/autologchart.h"
#include "shell/mainwindow.h"
#include "shell/operationscontroller.h"
#include "shell/sessioncontroller.h"
#include "data/settingsstore.h"
#include "tests/modalhelper.h"
#include "tests/support/generallog.h"
#include "tests/support/loginanswer.h"
#include "tests/support/privateserver.h"
#include "tests/support/treenode.h"
#include "tests/support/settle.h"
#include "tests/support/serverqueries.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

// The window's handlers of the operations, the server information, the
// automatic log and the table designer: the dialogs, the questions, the
// pages and what reaches the server, on a real main window.
class TestOperationsController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void inputDialogKeepsItsText();
    void lockDialog();
    void createAndDropDatabase();
    void dropDatabaseAnsweredNo();
    void tableCommandsNeedTableNode();
    void dropTableAnsweredNoEmptiesGrid();
    void lockWithLowPriority();
    void lockByCloseBoxLocksAsRead();
    void commentOffersLastText();
    void deleteRowThroughTheGrid();
    void deleteRowRefusedWhenAnotherTableIsSelected();
    void databaseInfoPageAndTabs();
    void killThroughTheProcessList();
    void killOwnConnectionAsksFirst_data();
    void killOwnConnectionAsksFirst();
    void optionThroughTheDialog();
    void automaticLog();
    void automaticLogStopsWithItsConnection();
    void clearCommands();
    void designerCreatesTable();
    void designerModifiesTable();
    void designerKeepsDesignWhenRefused();
    void designerSavesStatement();

private:
    void login();
    QModelIndex node(const QString &database, const QString &table = QString()) const;
    bool openDatabase(const QString &database);
    bool openTable(const QString &database, const QString &table, int rows);
    QAction *action(const char *name) const { return m_window->action(QString::fromLatin1(name)); }
    MessageLog *log() const { return m_window->messageLog(); }
    QStringList statements() const
    {
        return generalLog(PrivateServer::shared(), m_data->ActiveClient()->ConnectionId());
    }
    QStringList serverRows(const QString &select) const;

    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<TFormMain> m_window;
    std::unique_ptr<TDMstd> m_data;
    std::unique_ptr<SessionController> m_session;
    std::unique_ptr<OperationsController> m_operations;
};

void TestOperationsController::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(enableGeneralLog(server, &error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral("CREATE DATABASE shop;"
                                       "CREATE TABLE shop.orders (id INT PRIMARY KEY, what VARCHAR(10));"
                                       "INSERT INTO shop.orders VALUES (1, 'one'), (2, 'two'), (3, 'three');"
                                       "CREATE TABLE shop.notes (n TEXT); INSERT INTO shop.notes VALUES ('a');"),
                        nullptr, &error),
             qPrintable(error));
}

void TestOperationsController::init()
{
    QVERIFY(m_dir.isValid());
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
    m_operations = std::make_unique<OperationsController>(m_window.get(), m_data.get());
    m_window->AddServerItem(server.host());
    m_window->serverList()->setCurrentRow(m_window->serverList()->count() - 1);
    m_window->show();
    login();
}

void TestOperationsController::cleanup()
{
    cancelPendingAnswers();
    m_operations.reset();
    m_session.reset();
    m_data.reset();
    m_window.reset();
    m_settings.reset();
}

void TestOperationsController::login()
{
    AnswerLoginAsAdministrator(*m_session);
    m_window->treeModel()->clear();
    m_session->ListServerDblClick();
    QTRY_VERIFY_WITH_TIMEOUT(m_data->ActiveClient()->Connected() && node(QStringLiteral("shop")).isValid(), 20000);
    log()->clear();
    clearGeneralLog(PrivateServer::shared());
}

QModelIndex TestOperationsController::node(const QString &database, const QString &table) const
{
    return TreeNode(m_window->treeModel(), database, table);
}

bool TestOperationsController::openDatabase(const QString &database)
{
    const QModelIndex db = node(database);
    m_window->treeView()->setCurrentIndex(db);
    m_session->TreeServerDblClick(db);
    return QTest::qWaitFor([&] { return m_window->treeModel()->itemFromIndex(node(database))->rowCount() > 0; },
                           20000);
}

bool TestOperationsController::openTable(const QString &database, const QString &table, int rows)
{
    if (!openDatabase(database))
        return false;
    const QModelIndex index = node(database, table);
    m_window->treeView()->setCurrentIndex(index);
    m_session->TreeServerDblClick(index);
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView1"));
    const bool opened =
        QTest::qWaitFor([&] { return m_data->DataGridTable() == table && grid->rowCount() == rows; }, 20000)
        && QTest::qWaitFor([&] { return statements().contains(TDMstd::IndexStatement(table)); }, 20000);
    settle(); // the last outcome is in before the next command
    return opened;
}

QStringList TestOperationsController::serverRows(const QString &select) const
{
    return ::serverRows(PrivateServer::shared(), select);
}

// --- Dialogs --------------------------------------------------------------------

void TestOperationsController::inputDialogKeepsItsText()
{
    TFormCreateDb *dialog = m_operations->formCreateDb();
    bool focused = false;
    QString shown;
    whenModal([&](QWidget *) {
        focused = dialog->focusWidget() == dialog->Edit1;
        QTest::keyClicks(dialog->Edit1, QString(70, QLatin1Char('x')));
        dialog->ButtonOk->click();
    });
    QCOMPARE(dialog->ask(QStringLiteral("Caption"), QStringLiteral("help"), QStringLiteral("Prompt :")),
             QString(60, QLatin1Char('x')));
    QVERIFY(focused);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Caption"));
    QCOMPARE(dialog->Label2->text(), QStringLiteral("Prompt :"));

    // The next use offers the last text; the close box keeps it.
    whenModal([&](QWidget *) {
        shown = dialog->Edit1->text();
        dialog->close();
    });
    QCOMPARE(dialog->ask(QStringLiteral("Other"), QString(), QString()), QString(60, QLatin1Char('x')));
    QCOMPARE(shown, QString(60, QLatin1Char('x')));

    // "&Canel" and Escape empty it.
    whenModal([&](QWidget *) { dialog->ButtonCancel->click(); });
    QCOMPARE(dialog->ask(QStringLiteral("Other"), QString(), QString()), QString());
    whenModal([&](QWidget *) {
        dialog->Edit1->setText(QStringLiteral("typed"));
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog->ask(QStringLiteral("Other"), QString(), QString()), QString());
    QCOMPARE(dialog->ButtonCancel->text(), QStringLiteral("&Canel"));
}

void TestOperationsController::lockDialog()
{
    TFormTblLock *dialog = m_operations->formTblLock();
    bool readChecked = false;
    bool lowCleared = false;
    whenModal([&](QWidget *) {
        dialog->RadioWrite->setChecked(true);
        dialog->CheckLowPriority->setChecked(true);
        dialog->ButtonLock->click();
    });
    QCOMPARE(dialog->ask(QStringLiteral("orders")), QStringLiteral("orders"));
    QVERIFY(dialog->Edit1->isReadOnly());
    // Shown again: READ, without LOW PRIORITY.
    whenModal([&](QWidget *) {
        readChecked = dialog->RadioRead->isChecked();
        lowCleared = !dialog->CheckLowPriority->isChecked();
        dialog->ButtonCancel->click();
    });
    QCOMPARE(dialog->ask(QStringLiteral("orders")), QString());
    QVERIFY(readChecked);
    QVERIFY(lowCleared);
    QVERIFY(dialog->Label1->text().startsWith(QLatin1String("LOCK TABLES locks tables for the current thread.")));
}

// --- Database and table operations ----------------------------------------------

void TestOperationsController::createAndDropDatabase()
{
    // Cancelled: nothing is sent.
    whenModal([&](QWidget *) { m_operations->formCreateDb()->ButtonCancel->click(); });
    action("databse_create")->trigger();
    QCOMPARE(statements(), QStringList());

    QString caption;
    QString help;
    whenModal([&](QWidget *modal) {
        caption = modal->windowTitle();
        help = m_operations->formCreateDb()->Label1->text();
        m_operations->formCreateDb()->Edit1->setText(QStringLiteral("made here"));
        m_operations->formCreateDb()->ButtonOk->click();
    });
    action("databse_create")->trigger();
    QCOMPARE(caption, QStringLiteral("Create Database"));
    QVERIFY(help.startsWith(QLatin1String("CREATE DATABASE creates a database with the given name.")));
    QTRY_VERIFY_WITH_TIMEOUT(node(QStringLiteral("made here")).isValid(), 20000);
    QCOMPARE(statements(), QStringList{QStringLiteral("CREATE DATABASE `made here`")});

    m_window->treeView()->setCurrentIndex(node(QStringLiteral("made here")));
    log()->clear();
    QString question;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    answerMessageBox(QMessageBox::Yes, &question, &icon);
    action("database_drop")->trigger();
    QCOMPARE(question, QStringLiteral("Drop Database made here ?"));
    QCOMPARE(icon, QMessageBox::Question);
    QTRY_VERIFY_WITH_TIMEOUT(!node(QStringLiteral("made here")).isValid(), 20000);
    QCOMPARE(log()->lines().mid(0, 2),
             (QStringList{QStringLiteral("Prepare for Database drop"), QStringLiteral("Database is droped")}));
}

void TestOperationsController::dropDatabaseAnsweredNo()
{
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop")));
    answerMessageBox(QMessageBox::No);
    action("database_drop")->trigger();
    QCOMPARE(log()->lines(), QStringList{QStringLiteral("Prepare for Database drop")});
    QVERIFY(node(QStringLiteral("shop")).isValid());
    QCOMPARE(statements(), QStringList());
}

void TestOperationsController::tableCommandsNeedTableNode()
{
    QVERIFY(openTable(QStringLiteral("shop"), QStringLiteral("orders"), 3));
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop")));
    log()->clear();
    clearGeneralLog(PrivateServer::shared());
    for (const char *name : {"table_drop", "table_optimize", "table_unlock", "table_comment", "table_lock"})
        action(name)->trigger();
    QCOMPARE(log()->lines(), QStringList());
    QCOMPARE(m_window->grid(QStringLiteral("AdvListView1"))->rowCount(), 3);
    // A database command on a table node does nothing either.
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop"), QStringLiteral("orders")));
    action("database_drop")->trigger();
    QCOMPARE(log()->lines(), QStringList());
    QCOMPARE(statements(), QStringList());
}

void TestOperationsController::dropTableAnsweredNoEmptiesGrid()
{
    QVERIFY(openTable(QStringLiteral("shop"), QStringLiteral("orders"), 3));
    log()->clear();
    QString question;
    answerMessageBox(QMessageBox::No, &question);
    action("table_drop")->trigger();
    QCOMPARE(question, QStringLiteral("Drop Table orders ?"));
    QCOMPARE(log()->lines(), QStringList{QStringLiteral("Prepare for Table drop...")});
    QCOMPARE(m_window->grid(QStringLiteral("AdvListView1"))->columnCount(), 0);
    QVERIFY(node(QStringLiteral("shop"), QStringLiteral("orders")).isValid());
}

void TestOperationsController::lockWithLowPriority()
{
    QVERIFY(openDatabase(QStringLiteral("shop")));
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop"), QStringLiteral("orders")));
    clearGeneralLog(PrivateServer::shared());
    log()->clear();
    whenModal([&](QWidget *) {
        m_operations->formTblLock()->RadioWrite->setChecked(true);
        m_operations->formTblLock()->CheckLowPriority->setChecked(true);
        m_operations->formTblLock()->ButtonLock->click();
    });
    action("table_lock")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(log()->lines().size(), 2, 20000);
    QCOMPARE(log()->lines(), (QStringList{QStringLiteral("Lock Table as low priority write..."), QString()}));
    QCOMPARE(statements(), (QStringList{QStringLiteral("USE shop"), QStringLiteral("LOCK TABLES orders LOW_PRIORITY WRITE")}));
    action("table_unlock")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(statements().contains(QStringLiteral("UNLOCK TABLES")), 20000);
}

void TestOperationsController::lockByCloseBoxLocksAsRead()
{
    QVERIFY(openDatabase(QStringLiteral("shop")));
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop"), QStringLiteral("orders")));
    clearGeneralLog(PrivateServer::shared());
    whenModal([&](QWidget *) {
        m_operations->formTblLock()->CheckLowPriority->setChecked(true);
        m_operations->formTblLock()->close();
    });
    action("table_lock")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(statements().contains(QStringLiteral("LOCK TABLES orders READ")), 20000);
    settle(); // its outcome is in: the next command is taken
    action("table_unlock")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(statements().contains(QStringLiteral("UNLOCK TABLES")), 20000);
}

void TestOperationsController::commentOffersLastText()
{
    QVERIFY(openDatabase(QStringLiteral("shop")));
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop"), QStringLiteral("notes")));
    m_operations->formCreateDb()->Edit1->setText(QStringLiteral("from before"));
    QString offered;
    QString caption;
    whenModal([&](QWidget *modal) {
        offered = m_operations->formCreateDb()->Edit1->text();
        caption = modal->windowTitle();
        m_operations->formCreateDb()->Edit1->setText(QStringLiteral("it's \"noted\""));
        m_operations->formCreateDb()->ButtonOk->click();
    });
    action("table_comment")->trigger();
    QCOMPARE(offered, QStringLiteral("from before"));
    QCOMPARE(caption, QStringLiteral("Table Comment"));
    QTRY_COMPARE_WITH_TIMEOUT(serverRows(QStringLiteral("SELECT TABLE_COMMENT FROM information_schema.TABLES WHERE "
                                                        "TABLE_NAME = 'notes';")),
                              QStringList{QStringLiteral("it's \"noted\"")}, 20000);
}

void TestOperationsController::deleteRowThroughTheGrid()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE TABLE shop.del (a INT, b VARCHAR(5));"
                                                       "INSERT INTO shop.del VALUES (1, 'x'), (1, 'x'), (2, NULL);")));
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop")));
    m_session->TreeServerDblClick(node(QStringLiteral("shop")));
    QTRY_VERIFY_WITH_TIMEOUT(node(QStringLiteral("shop"), QStringLiteral("del")).isValid(), 20000);
    QVERIFY(openTable(QStringLiteral("shop"), QStringLiteral("del"), 3));
    QTableView *view = m_window->gridView(QStringLiteral("AdvListView1"));
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView1"));
    log()->clear();
    // No row selected: no question, nothing sent.
    view->clearSelection();
    action("table_delete_row")->trigger();
    QCOMPARE(log()->lines(), QStringList());

    view->selectRow(0);
    QString question;
    answerMessageBox(QMessageBox::Yes, &question);
    action("table_delete_row")->trigger();
    QCOMPARE(question, QStringLiteral("Delete this row ?"));
    QTRY_COMPARE_WITH_TIMEOUT(grid->rowCount(), 2, 20000);
    QCOMPARE(serverRows(QStringLiteral("SELECT a, b FROM shop.del ORDER BY a;")),
             (QStringList{QStringLiteral("1\tx"), QStringLiteral("2\tNULL")}));
    QVERIFY(m_window->popupMenu(QStringLiteral("PopupDataView"))->actions().contains(action("table_delete_row")));
}

void TestOperationsController::deleteRowRefusedWhenAnotherTableIsSelected()
{
    QVERIFY(openTable(QStringLiteral("shop"), QStringLiteral("orders"), 3));
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop"), QStringLiteral("notes")));
    m_window->gridView(QStringLiteral("AdvListView1"))->selectRow(0);
    log()->clear();
    clearGeneralLog(PrivateServer::shared());
    answerMessageBox(QMessageBox::Yes);
    action("table_delete_row")->trigger();
    QCOMPARE(log()->lines(),
             QStringList{QStringLiteral("The Data View shows the table orders of shop, not notes of shop: no row deleted")});
    QCOMPARE(statements(), QStringList());
    QCOMPARE(m_window->grid(QStringLiteral("AdvListView1"))->rowCount(), 3);
}

// --- Server information ---------------------------------------------------------

void TestOperationsController::databaseInfoPageAndTabs()
{
    auto *pages = m_window->findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    QTabBar *tabs = m_window->databaseInfoTabs();
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView6"));

    action("admin_process")->trigger();
    QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("Database Info"));
    QCOMPARE(tabs->currentIndex(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(grid->columnCount(), 8, 20000);
    QVERIFY(grid->rowCount() >= 1);

    action("admin_variable")->trigger();
    QCOMPARE(tabs->currentIndex(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(grid->columnCount(), 2, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(grid->rowCount() > 20, 20000);

    // The user picks a tab: that listing runs.
    clearGeneralLog(PrivateServer::shared());
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QCOMPARE(tabs->currentIndex(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(statements().contains(QStringLiteral("SHOW STATUS")), 20000);

    // Brought to the front, the page shows tab 0 and loads nothing.
    settle();
    pages->setCurrentIndex(0);
    clearGeneralLog(PrivateServer::shared());
    pages->setCurrentIndex(pages->indexOf(tabs->parentWidget()));
    QCOMPARE(tabs->currentIndex(), 0);
    m_data->RunStatement(QStringLiteral("DO 1"));
    QTRY_VERIFY_WITH_TIMEOUT(statements().contains(QStringLiteral("DO 1")), 20000);
    QCOMPARE(statements(), QStringList{QStringLiteral("DO 1")});
}

void TestOperationsController::killThroughTheProcessList()
{
    TmySQLClient other;
    connectSecondClient(other, PrivateServer::shared());
    QTRY_VERIFY_WITH_TIMEOUT(other.Connected(), 20000);
    const QString id = QString::number(other.ConnectionId());

    GridModel *grid = m_window->grid(QStringLiteral("AdvListView6"));
    QTableView *view = m_window->gridView(QStringLiteral("AdvListView6"));
    action("admin_process")->trigger();
    const auto rowOf = [grid](const QString &caption) {
        for (int r = 0; r < grid->rowCount(); ++r) {
            if (grid->caption(r) == caption)
                return r;
        }
        return -1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(id) >= 0, 20000);
    QVERIFY(rowOf(QString::number(m_data->ActiveClient()->ConnectionId())) >= 0);
    QVERIFY(m_window->popupMenu(QStringLiteral("PopupKill"))->actions().contains(action("database_kill")));
    view->selectRow(rowOf(id));
    clearGeneralLog(PrivateServer::shared());
    // Another connection is killed without a question.
    QString question;
    answerMessageBox(QMessageBox::No, &question);
    action("database_kill")->trigger();
    QCOMPARE(question, QString());
    cancelPendingAnswers();
    // Killed, and the list read again.
    QTRY_VERIFY_WITH_TIMEOUT(statements().size() >= 2, 20000);
    QCOMPARE(statements(), (QStringList{QStringLiteral("KILL ") + id, QStringLiteral("SHOW PROCESSLIST")}));
    QTRY_VERIFY_WITH_TIMEOUT(log()->lines().contains(QStringLiteral("Killed ") + id), 20000);
    QCOMPARE(log()->lines().mid(0, 2), (QStringList{QString(), QStringLiteral("Killed ") + id}));
    // The server ends a killed connection a moment after KILL returns, so the
    // list read at once may still show it; read again, it is gone.
    settle();
    QDeadlineTimer deadline(20000);
    while (rowOf(id) >= 0 && !deadline.hasExpired()) {
        QTest::qWait(50);
        action("admin_process")->trigger();
        settle();
    }
    QVERIFY(rowOf(id) < 0);
    QVERIFY(grid->rowCount() > 0);

    // Another listing shown: Kill Task does nothing even with a row selected.
    action("admin_variable")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(grid->rowCount() > 20, 20000);
    view->selectRow(0);
    clearGeneralLog(PrivateServer::shared());
    log()->clear();
    action("database_kill")->trigger();
    QCOMPARE(log()->lines(), QStringList());
    QCOMPARE(statements(), QStringList());
}

void TestOperationsController::killOwnConnectionAsksFirst_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("answered No") << false;
    QTest::newRow("answered Yes") << true;
}

void TestOperationsController::killOwnConnectionAsksFirst()
{
    QFETCH(bool, yes);
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView6"));
    QTableView *view = m_window->gridView(QStringLiteral("AdvListView6"));
    const QString own = QString::number(m_data->ActiveClient()->ConnectionId());
    action("admin_process")->trigger();
    int row = -1;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (int r = 0; r < grid->rowCount(); ++r) {
                if (grid->caption(r) == own)
                    row = r;
            }
            return row >= 0;
        }(),
        20000);
    settle();
    view->selectRow(row);
    clearGeneralLog(PrivateServer::shared());
    log()->clear();
    QString question;
    QString reconnect;
    whenModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return;
        question = box->text();
        // The lost session then offers to connect again: not now.
        if (yes)
            answerMessageBox(QMessageBox::No, &reconnect, nullptr, box);
        box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    action("database_kill")->trigger();
    QVERIFY2(question.contains(QStringLiteral("own connection")) && question.contains(own), qPrintable(question));
    if (!yes) {
        // Nothing sent, nothing logged, the session goes on.
        settle();
        QCOMPARE(statements(), QStringList());
        QCOMPARE(log()->lines(), QStringList());
        QVERIFY(m_data->ActiveClient()->Connected());
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(log()->lines().contains(QStringLiteral("Killed ") + own), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!reconnect.isEmpty(), 20000);
    QVERIFY(!m_data->ActiveClient()->Connected());
    QCOMPARE(serverRows(QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = ") + own),
             QStringList{QStringLiteral("0")});
}

void TestOperationsController::optionThroughTheDialog()
{
    QString caption;
    QString prompt;
    QString help;
    whenModal([&](QWidget *modal) {
        caption = modal->windowTitle();
        prompt = m_operations->formCreateDb()->Label2->text();
        help = m_operations->formCreateDb()->Label1->text();
        m_operations->formCreateDb()->Edit1->setText(QStringLiteral("1"));
        m_operations->formCreateDb()->ButtonOk->click();
    });
    action("dbopt_tables")->trigger();
    QCOMPARE(caption, QStringLiteral("SQL_BIG_TABLES = 0 | 1 "));
    QCOMPARE(prompt, QStringLiteral("SQL_BIG_TABLES  :"));
    QVERIFY(help.startsWith(QLatin1String("If set to 1, all temporary tables are stored on disk rather than in memory.")));
    QTRY_VERIFY_WITH_TIMEOUT(statements().contains(QStringLiteral("set BIG_TABLES = 1")), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(log()->lines(), QStringList{QString()}, 20000);
}

// --- Automatic log --------------------------------------------------------------

void TestOperationsController::automaticLog()
{
    QAction *autolog = action("tools_autolog");
    auto *pages = m_window->findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    auto *memolog = m_window->findChild<QPlainTextEdit *>(QStringLiteral("Memolog"));
    QCOMPARE(m_operations->autoLogInterval(), 10000);

    // On and off within the interval: only the two message lines.
    autolog->trigger();
    QVERIFY(autolog->isChecked());
    QVERIFY(m_operations->autoLogActive());
    QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("Auto Database Log"));
    autolog->trigger();
    QVERIFY(!autolog->isChecked());
    QVERIFY(!m_operations->autoLogActive());
    QCOMPARE(log()->lines(), (QStringList{QStringLiteral("Automatic log active"), QStringLiteral("Automatic log stopt")}));
    QCOMPARE(m_window->autoLog()->lines(), QStringList());

    m_operations->setAutoLogInterval(50);
    autolog->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(m_window->autoLog()->lines().size() >= 3, 20000);
    for (const QString &line : m_window->autoLog()->lines())
        QVERIFY2(line.startsWith(QLatin1String("Uptime: ")), qPrintable(line));
    QTRY_VERIFY_WITH_TIMEOUT(memolog->blockCount() >= 3, 20000);
    QVERIFY(memolog->toPlainText().startsWith(QLatin1String("Uptime: ")));
    QCOMPARE(memolog->lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(m_window->autoLogChart()->series().points().size() >= 3);
    autolog->trigger();
    QVERIFY(!m_operations->autoLogActive());
    QVERIFY(!autolog->isChecked());
    QCOMPARE(log()->lines().last(), QStringLiteral("Automatic log stopt"));
}

void TestOperationsController::automaticLogStopsWithItsConnection()
{
    QAction *autolog = action("tools_autolog");
    m_operations->setAutoLogInterval(50);
    autolog->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->autoLog()->lines().isEmpty(), 20000);
    m_data->ActiveClient()->Close();
    QTRY_VERIFY_WITH_TIMEOUT(!m_operations->autoLogActive(), 20000);
    QVERIFY(!autolog->isChecked());
    QCOMPARE(log()->lines().last(), QStringLiteral("Automatic log stopt"));

    // Started on one connection, it stops when a new login replaces it.
    login();
    autolog->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(m_window->autoLog()->lines().size() >= 2, 20000);
    login();
    QTRY_VERIFY_WITH_TIMEOUT(!m_operations->autoLogActive(), 20000);
    QVERIFY(!autolog->isChecked());
}

void TestOperationsController::clearCommands()
{
    m_window->autoLog()->append(QStringLiteral("Uptime: 1  Threads: 1  Questions: 1  Slow queries: 0  Opens: 1  "
                                               "Open tables: 1  Queries per second avg: 1.000"));
    QCOMPARE(m_window->autoLogChart()->series().points().size(), 1);
    log()->append(QStringLiteral("a line"));
    action("tools_clearlog")->trigger();
    QCOMPARE(m_window->autoLog()->lines(), QStringList());
    QCOMPARE(m_window->findChild<QPlainTextEdit *>(QStringLiteral("Memolog"))->toPlainText(), QString());
    QCOMPARE(m_window->autoLogChart()->series().points().size(), 0);
    QCOMPARE(log()->lines(), QStringList{QStringLiteral("a line")});
    QVERIFY(action("tools_messageclear")->isEnabled());
    action("tools_messageclear")->trigger();
    QCOMPARE(log()->lines(), QStringList());
    QTRY_COMPARE_WITH_TIMEOUT(m_window->findChild<QPlainTextEdit *>(QStringLiteral("Memo"))->toPlainText(), QString(),
                              5000);
}

// --- Table designer -------------------------------------------------------------

void TestOperationsController::designerCreatesTable()
{
    TFormTableCreate *designer = m_window->formTableCreate();
    QVERIFY(action("table_create")->isEnabled());
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop")));
    QString statement;
    bool closed = false;
    whenModal([&](QWidget *) {
        designer->EditTableName->setText(QStringLiteral("designed"));
        QTableWidget *grid = designer->GridColumns;
        grid->item(0, TFormTableCreate::ColName)->setText(QStringLiteral("id"));
        grid->item(0, TFormTableCreate::ColNull)->setCheckState(Qt::Unchecked);
        grid->item(0, TFormTableCreate::ColAutoIncrement)->setCheckState(Qt::Checked);
        grid->item(0, TFormTableCreate::ColPrimaryKey)->setCheckState(Qt::Checked);
        const int row = designer->addColumn();
        grid->item(row, TFormTableCreate::ColName)->setText(QStringLiteral("label"));
        grid->item(row, TFormTableCreate::ColType)->setText(QStringLiteral("VARCHAR"));
        grid->item(row, TFormTableCreate::ColLength)->setText(QStringLiteral("40"));
        grid->item(row, TFormTableCreate::ColDefault)->setText(QStringLiteral("none yet"));
        designer->ComboEngine->setCurrentText(QStringLiteral("MyISAM"));
        designer->EditComment->setText(QStringLiteral("from the designer"));
        statement = designer->MemoSQL->toPlainText();
        designer->ButtonCreate->click();
        closed = QTest::qWaitFor([&] { return !designer->isVisible(); }, 20000);
    });
    action("table_create")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(closed, 30000);
    QCOMPARE(statement, QStringLiteral("CREATE TABLE designed (\n"
                                       "  id INT NOT NULL AUTO_INCREMENT,\n"
                                       "  label VARCHAR(40) NULL DEFAULT 'none yet',\n"
                                       "  PRIMARY KEY (id)\n"
                                       ") ENGINE=MyISAM COMMENT='from the designer'"));
    QCOMPARE(serverRows(QStringLiteral("SELECT ENGINE, TABLE_COMMENT FROM information_schema.TABLES WHERE "
                                       "TABLE_SCHEMA = 'shop' AND TABLE_NAME = 'designed';")),
             QStringList{QStringLiteral("MyISAM\tfrom the designer")});
    QTRY_VERIFY_WITH_TIMEOUT(node(QStringLiteral("shop"), QStringLiteral("designed")).isValid(), 20000);
}

void TestOperationsController::designerModifiesTable()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE TABLE shop.reshape (id INT NOT NULL PRIMARY KEY, "
                                                       "name VARCHAR(10) COMMENT 'kept', old INT);")));
    QVERIFY(openDatabase(QStringLiteral("shop")));
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop"), QStringLiteral("reshape")));
    TFormTableCreate *designer = m_window->formTableCreate();
    QString title;
    QString unchanged;
    QString statement;
    QStringList names;
    bool closed = false;
    whenModal([&](QWidget *) {
        title = designer->windowTitle();
        unchanged = designer->MemoSQL->toPlainText();
        QTableWidget *grid = designer->GridColumns;
        for (int r = 0; r < grid->rowCount(); ++r)
            names.append(grid->item(r, TFormTableCreate::ColName)->text());
        grid->item(1, TFormTableCreate::ColLength)->setText(QStringLiteral("30"));
        grid->setCurrentCell(2, 0);
        designer->removeColumn(2);
        statement = designer->MemoSQL->toPlainText();
        designer->ButtonCreate->click();
        closed = QTest::qWaitFor([&] { return !designer->isVisible(); }, 20000);
    });
    action("table_modify")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(closed, 30000);
    QCOMPARE(title, QStringLiteral("Modify Table reshape"));
    QCOMPARE(names, (QStringList{QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("old")}));
    QCOMPARE(unchanged, QStringLiteral("-- no changes"));
    QCOMPARE(statement, QStringLiteral("ALTER TABLE reshape\n"
                                       "  DROP COLUMN old,\n"
                                       "  MODIFY COLUMN name VARCHAR(30) COLLATE latin1_swedish_ci NULL DEFAULT NULL "
                                       "COMMENT 'kept'"));
    QCOMPARE(serverRows(QStringLiteral("SELECT COLUMN_NAME, COLUMN_TYPE, COLUMN_COMMENT FROM information_schema.COLUMNS "
                                       "WHERE TABLE_NAME = 'reshape' ORDER BY ORDINAL_POSITION;")),
             (QStringList{QStringLiteral("id\tint(11)\t"), QStringLiteral("name\tvarchar(30)\tkept")}));
}

void TestOperationsController::designerKeepsDesignWhenRefused()
{
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop")));
    TFormTableCreate *designer = m_window->formTableCreate();
    QString message;
    bool stillOpen = false;
    QString nameAfter;
    whenModal([&](QWidget *) {
        designer->EditTableName->setText(QStringLiteral("orders")); // exists
        designer->GridColumns->item(0, TFormTableCreate::ColName)->setText(QStringLiteral("x"));
        designer->ButtonCreate->click();
        QVERIFY(QTest::qWaitFor([&] { return !designer->LabelMessage->text().isEmpty(); }, 20000));
        message = designer->LabelMessage->text();
        stillOpen = designer->isVisible();
        nameAfter = designer->EditTableName->text();
        designer->ButtonCancel->click();
    });
    action("table_create")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!message.isEmpty(), 30000);
    QVERIFY2(message.contains(QLatin1String("already exists")), qPrintable(message));
    QVERIFY(stillOpen);
    QCOMPARE(nameAfter, QStringLiteral("orders"));
}

void TestOperationsController::designerSavesStatement()
{
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop")));
    TFormTableCreate *designer = m_window->formTableCreate();
    const QString file = m_dir.filePath(QStringLiteral("table.sql"));
    QString suggested;
    designer->chooseSaveFile = [&](const QString &name) {
        suggested = name;
        return file;
    };
    QString statement;
    whenModal([&](QWidget *) {
        designer->EditTableName->setText(QStringLiteral("saved"));
        designer->GridColumns->item(0, TFormTableCreate::ColName)->setText(QStringLiteral("n"));
        statement = designer->statement();
        designer->ButtonSave->click();
        designer->ButtonCancel->click();
    });
    action("table_create")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!suggested.isEmpty(), 30000);
    QCOMPARE(suggested, QStringLiteral("saved.sql"));
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(saved.readAll()), statement + QStringLiteral(";\n"));
    QCOMPARE(statement, QStringLiteral("CREATE TABLE saved (\n  n INT NULL\n)"));
    // Nothing was run.
    QCOMPARE(serverRows(QStringLiteral("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_NAME = 'saved';")),
             QStringList{QStringLiteral("0")});
}

QTEST_MAIN(TestOperationsController)
#include "tst_operationscontroller.moc"

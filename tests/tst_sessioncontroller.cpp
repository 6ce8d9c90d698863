#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "dialogs/logindialog.h"
#include "dialogs/newpassworddialog.h"
#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"
#include "shell/mainwindow.h"
#include "shell/sessioncontroller.h"
#include "tests/modalhelper.h"
#include "tests/support/loginanswer.h"
#include "tests/support/privateserver.h"
#include "tests/support/treenode.h"
#include "tests/support/serverqueries.h"
#include "tests/support/settle.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QLineEdit>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMenu>
#include <QStandardItemModel>
#include <QTableView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

// The window's handlers of the session: login flow, tree clicks, the table
// commands and EditExec, on a real main window and a private server.
class TestSessionController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void loginOutcomes_data();
    void loginOutcomes();
    void treeOpensDatabaseAndTable();
    void tableCommandsNeedTableNode();
    void editExecRunsInSelectedDatabase();
    void tableNodeOpensByNameNotText();
    void longStatementShowsBusyAndEscapeStops();
    void treeKeysOpenAndRefresh();
    void execSelectionAndStatementUnderCaret();
    void statementUnderCaretMarksItsOwnLine();
    void expiredPasswordAsksForANewOne_data();
    void expiredPasswordAsksForANewOne();
    void escapeStopsFromTheEditor_data();
    void escapeStopsFromTheEditor();
    void rereadingTheListKeepsTheChosenDatabase_data();
    void rereadingTheListKeepsTheChosenDatabase();
    // Last: the shared server is killed and started again.
    void reconnectKeepsTheChosenDatabase();

private:
    QModelIndex node(const QString &database, const QString &table = QString()) const;
    void login();
    // Runs the editor's text as F9 does and returns the first cell of the
    // query grid, or the message log's lines when the run failed.
    QString runInEditor(const QString &text);

    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<TFormMain> m_window;
    std::unique_ptr<TDMstd> m_data;
    std::unique_ptr<SessionController> m_controller;
};

namespace {

// The log's outcome lines without the statement named after them.
QStringList outcomeHeads(const QStringList &lines)
{
    QStringList heads;
    for (const QString &line : lines)
        heads.append(line.section(QStringLiteral("   "), 0, 0));
    return heads;
}

bool logHas(const MessageLog *log, const QString &text)
{
    for (const QString &line : log->lines()) {
        if (line.contains(text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// Whether the server runs a statement that starts with this text (on another
// connection than the one asking).
bool serverRuns(const QString &statementStart)
{
    return serverRows(PrivateServer::shared(),
                      QStringLiteral("SELECT COUNT(*) FROM information_schema.processlist WHERE info LIKE '")
                          + statementStart + QStringLiteral("%' AND id <> CONNECTION_ID()"))
        != QStringList{QStringLiteral("0")};
}

} // namespace

void TestSessionController::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral("CREATE DATABASE shop;"
                                       "CREATE TABLE shop.orders (id INT PRIMARY KEY, what VARCHAR(10)) ENGINE=MyISAM;"
                                       "INSERT INTO shop.orders VALUES (1, 'one'), (2, 'two'), (10, 'ten');"
                                       "CREATE TABLE shop.x (v INT); INSERT INTO shop.x VALUES (1);"
                                       "CREATE TABLE shop.`x  ( 5 )` (v INT); INSERT INTO shop.`x  ( 5 )` VALUES (55);"),
                        nullptr, &error),
             qPrintable(error));
}

void TestSessionController::init()
{
    QVERIFY(m_dir.isValid());
    m_settings = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("quarnel.conf")));
    const PrivateServer &server = PrivateServer::shared();
    TServerProfile &profile = m_settings->currentProfile();
    profile = TServerProfile();
    profile.Host = server.host();
    profile.User = QStringLiteral("stored-user");
    profile.Port = QString::number(server.port());
    profile.Database = QStringLiteral("mysql");
    m_settings->SaveServerProfile(server.host());
    m_settings->LoadProgramSettings();
    m_window = std::make_unique<TFormMain>(m_settings.get());
    m_data = std::make_unique<TDMstd>(SessionController::viewsOf(m_window.get()));
    m_controller = std::make_unique<SessionController>(m_window.get(), m_data.get());
    m_window->AddServerItem(server.host());
    QListWidget *list = m_window->serverList();
    list->setCurrentRow(list->count() - 1);
    QCOMPARE(list->currentItem()->text(), server.host());
}

void TestSessionController::cleanup()
{
    cancelPendingAnswers();
    m_controller.reset();
    m_data.reset();
    m_window.reset();
    m_settings.reset();
}

QModelIndex TestSessionController::node(const QString &database, const QString &table) const
{
    return TreeNode(m_window->treeModel(), database, table);
}

void TestSessionController::login()
{
    AnswerLoginAsAdministrator(*m_controller);
    m_controller->ListServerDblClick();
    settle();
}

QString TestSessionController::runInEditor(const QString &text)
{
    m_window->sqlEditor()->editor()->setText(text);
    m_window->messageLog()->clear();
    GridModel *query = m_window->grid(QStringLiteral("AdvListView5"));
    query->clear();
    m_window->action(QStringLiteral("EditExec"))->trigger();
    settle();
    if (query->rowCount() > 0)
        return query->caption(0);
    return m_window->messageLog()->lines().join(QLatin1Char('|'));
}

void TestSessionController::loginOutcomes_data()
{
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("user"); // the profile's user afterwards
    QTest::newRow("login") << int(TFormLogin::Login) << true << PrivateServer::user();
    QTest::newRow("cancel") << int(TFormLogin::Cancel) << false << QString();
    // Closed otherwise: the stored user stays and is tried (and refused).
    QTest::newRow("closed") << int(TFormLogin::Closed) << false << "stored-user";
}

void TestSessionController::loginOutcomes()
{
    QFETCH(int, outcome);
    QFETCH(bool, connected);
    QFETCH(QString, user);
    QString shownUser;
    QString shownServer;
    m_controller->runLoginDialog = [&](TFormLogin *dialog) {
        shownUser = dialog->user();
        shownServer = dialog->EditServer->text();
        dialog->setUser(PrivateServer::user());
        dialog->setPassword(PrivateServer::password());
        return outcome;
    };
    const qsizetype before = m_window->messageLog()->lines().size();
    m_controller->ListServerDblClick();
    settle();
    QCOMPARE(shownUser, QStringLiteral("stored-user"));
    QCOMPARE(shownServer, PrivateServer::shared().host());
    QCOMPARE(m_data->ActiveClient()->Connected(), connected);
    QCOMPARE(m_settings->currentProfile().User, user);
    QCOMPARE(m_window->action(QStringLiteral("server_refresh"))->isEnabled(), connected);
    QCOMPARE(m_window->action(QStringLiteral("EditExec"))->isEnabled(), connected);
    QCOMPARE(node(QStringLiteral("shop")).isValid(), connected);
    QCOMPARE(m_window->messageLog()->lines().size() - before, outcome == TFormLogin::Login ? 5 : outcome == TFormLogin::Closed ? 1 : 0);
    QVERIFY(!QApplication::overrideCursor());
}

void TestSessionController::treeOpensDatabaseAndTable()
{
    login();
    QTreeView *tree = m_window->treeView();
    const QModelIndex shop = node(QStringLiteral("shop"));
    QVERIFY(shop.isValid());
    tree->setCurrentIndex(shop);
    m_controller->TreeServerClick(shop);
    QCOMPARE(m_controller->treePopup(), m_window->popupMenu(QStringLiteral("PopupDatabase")));
    m_controller->TreeServerDblClick(shop);
    settle();
    const QModelIndex orders = node(QStringLiteral("shop"), QStringLiteral("orders"));
    QVERIFY(orders.isValid());
    QCOMPARE(orders.data().toString(), QStringLiteral("orders  ( 3 )"));
    QVERIFY(tree->isExpanded(shop));

    // A second double click on the expanded node reloads nothing.
    m_window->treeModel()->itemFromIndex(orders)->setText(QStringLiteral("orders"));
    m_controller->TreeServerDblClick(shop);
    settle();
    QCOMPARE(node(QStringLiteral("shop"), QStringLiteral("orders")).data().toString(), QStringLiteral("orders"));
    QVERIFY(tree->isExpanded(shop));

    tree->setCurrentIndex(orders);
    m_controller->TreeServerClick(orders);
    QCOMPARE(m_controller->treePopup(), m_window->popupMenu(QStringLiteral("PopupMenuTable")));
    m_controller->TreeServerDblClick(orders);
    settle();
    GridModel *data = m_window->grid(QStringLiteral("AdvListView1"));
    QCOMPARE(data->rowCount(), 3);
    QCOMPARE(data->caption(0), QStringLiteral("1"));
    QCOMPARE(data->caption(1), QStringLiteral("10"));
    QCOMPARE(m_window->grid(QStringLiteral("AdvListView2"))->rowCount(), 2);
    QCOMPARE(m_window->grid(QStringLiteral("AdvListView4"))->rowCount(), 1);
    QVERIFY(!QApplication::overrideCursor());
}

void TestSessionController::tableCommandsNeedTableNode()
{
    login();
    QTreeView *tree = m_window->treeView();
    const QModelIndex shop = node(QStringLiteral("shop"));
    tree->setCurrentIndex(shop);
    m_controller->TreeServerDblClick(shop);
    settle();
    const QModelIndex orders = node(QStringLiteral("shop"), QStringLiteral("orders"));
    tree->setCurrentIndex(orders);
    m_controller->TreeServerDblClick(orders);
    settle();
    GridModel *data = m_window->grid(QStringLiteral("AdvListView1"));
    GridModel *definition = m_window->grid(QStringLiteral("AdvListView2"));
    QCOMPARE(data->rowCount(), 3);

    // On a database node: nothing happens, the data grid keeps its rows.
    tree->setCurrentIndex(shop);
    definition->clearRows();
    m_window->action(QStringLiteral("table_def"))->trigger();
    settle();
    QCOMPARE(data->rowCount(), 3);
    QCOMPARE(definition->rowCount(), 0);

    // On a table node: the data grid is emptied, the definition refilled.
    tree->setCurrentIndex(orders);
    m_window->action(QStringLiteral("table_def"))->trigger();
    settle();
    QCOMPARE(data->rowCount(), 0);
    QCOMPARE(data->columnCount(), 0);
    QCOMPARE(definition->rowCount(), 2);

    m_window->action(QStringLiteral("table_property"))->trigger();
    settle();
    QCOMPARE(m_window->grid(QStringLiteral("AdvListView3"))->text(0, 1), QStringLiteral("orders"));
}

void TestSessionController::editExecRunsInSelectedDatabase()
{
    login();
    QTreeView *tree = m_window->treeView();
    m_window->sqlEditor()->editor()->setText(QStringLiteral("select what from orders where id = 2"));
    // With no node selected there is no database: nothing is sent.
    tree->setCurrentIndex(QModelIndex());
    m_window->messageLog()->clear();
    m_window->action(QStringLiteral("EditExec"))->trigger();
    settle();
    QCOMPARE(m_window->messageLog()->lines(), QStringList());

    tree->setCurrentIndex(node(QStringLiteral("shop")));
    m_window->action(QStringLiteral("EditExec"))->trigger();
    settle();
    QCOMPARE(m_window->messageLog()->lines(),
             (QStringList{QString(), QStringLiteral("Affected rows:1   select what from orders where id = 2   "
                                                    "(Result 1 \u2013 1 row)")}));
    GridModel *query = m_window->grid(QStringLiteral("AdvListView5"));
    QCOMPARE(query->columnCaption(0), QStringLiteral("what"));
    QCOMPARE(query->caption(0), QStringLiteral("two"));
    QVERIFY(!QApplication::overrideCursor());
}

void TestSessionController::tableNodeOpensByNameNotText()
{
    login();
    QTreeView *tree = m_window->treeView();
    const QModelIndex shop = node(QStringLiteral("shop"));
    tree->setCurrentIndex(shop);
    m_controller->TreeServerDblClick(shop);
    settle();
    // The plain listing shows bare names, and this name looks like a row count.
    m_data->ListTablesPlain();
    settle();
    const QModelIndex odd = node(QStringLiteral("shop"), QStringLiteral("x  ( 5 )"));
    QVERIFY(odd.isValid());
    QCOMPARE(odd.data().toString(), QStringLiteral("x  ( 5 )"));
    tree->setCurrentIndex(odd);
    m_controller->TreeServerDblClick(odd);
    settle();
    QCOMPARE(m_data->CurrentTable(), QStringLiteral("x  ( 5 )"));
    QCOMPARE(m_window->grid(QStringLiteral("AdvListView1"))->caption(0), QStringLiteral("55"));
}

void TestSessionController::longStatementShowsBusyAndEscapeStops()
{
    login();
    QTreeView *tree = m_window->treeView();
    tree->setCurrentIndex(node(QStringLiteral("shop")));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QAction *exec = m_window->action(QStringLiteral("EditExec"));
    QAction *stop = m_window->action(QStringLiteral("query_stop"));
    QLabel *indicator = m_window->findChild<QLabel *>(QStringLiteral("BusyIndicator"));
    QVERIFY(indicator);
    QVERIFY(!stop->isEnabled());
    QVERIFY(exec->isEnabled());

    m_window->sqlEditor()->editor()->setText(QStringLiteral("select sleep(30) as slept"));
    m_window->messageLog()->clear();
    exec->trigger();
    // After a moment the window says so: elapsed time, Stop on, the
    // commands that send statements off; the editor still takes text.
    QTRY_VERIFY_WITH_TIMEOUT(m_window->busyShown(), 10000);
    QVERIFY(indicator->isVisible());
    QVERIFY2(indicator->text().contains(QStringLiteral("Running")), qPrintable(indicator->text()));
    QVERIFY(stop->isEnabled());
    QVERIFY(!exec->isEnabled());
    QVERIFY(!m_window->action(QStringLiteral("table_def"))->isEnabled());
    QVERIFY(m_window->action(QStringLiteral("server_find"))->isEnabled());
    QVERIFY(!m_window->sqlEditor()->editor()->isReadOnly());

    // Escape stops it; the server's message is logged and all comes back.
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->busyShown(), 20000);
    settle();
    QVERIFY(!indicator->isVisible());
    QVERIFY(!stop->isEnabled());
    QVERIFY(exec->isEnabled());
    QVERIFY(m_window->action(QStringLiteral("table_def"))->isEnabled());
    bool interrupted = false;
    for (const QString &line : m_window->messageLog()->lines())
        interrupted = interrupted || line.contains(QStringLiteral("interrupted"), Qt::CaseInsensitive);
    QVERIFY2(interrupted, qPrintable(m_window->messageLog()->lines().join(QLatin1Char('|'))));
    QVERIFY(!QApplication::overrideCursor());
}

void TestSessionController::treeKeysOpenAndRefresh()
{
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTreeView *tree = m_window->treeView();
    tree->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), tree);
    const QModelIndex shop = node(QStringLiteral("shop"));
    tree->setCurrentIndex(shop);

    // Right on a closed database reads its tables, as a double click does.
    QTest::keyClick(tree, Qt::Key_Right);
    settle();
    QModelIndex orders = node(QStringLiteral("shop"), QStringLiteral("orders"));
    QVERIFY(orders.isValid());
    QVERIFY(tree->isExpanded(shop));
    // On an open one it goes on to the first table, reading nothing again.
    m_window->treeModel()->itemFromIndex(orders)->setText(QStringLiteral("orders"));
    QTest::keyClick(tree, Qt::Key_Right);
    settle();
    QCOMPARE(tree->currentIndex().parent(), shop);
    QCOMPARE(node(QStringLiteral("shop"), QStringLiteral("orders")).data().toString(), QStringLiteral("orders"));

    // Typing a name's first letters goes to it.
    tree->setCurrentIndex(shop);
    QTest::keyClicks(tree, QStringLiteral("ord"));
    QCOMPARE(tree->currentIndex(), node(QStringLiteral("shop"), QStringLiteral("orders")));

    // Enter opens the table, and the data view comes to the front.
    m_window->showPage(QStringLiteral("Active SQL"));
    tree->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), tree);
    QTest::keyClick(tree, Qt::Key_Return);
    settle();
    GridModel *data = m_window->grid(QStringLiteral("AdvListView1"));
    QCOMPARE(data->rowCount(), 3);
    QCOMPARE(m_data->CurrentTable(), QStringLiteral("orders"));
    QVERIFY(m_window->gridView(QStringLiteral("AdvListView1"))->isVisible());

    // F5 reads the database list again.
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE DATABASE IF NOT EXISTS keys_new")));
    QVERIFY(!node(QStringLiteral("keys_new")).isValid());
    QTest::keyClick(tree, Qt::Key_F5);
    settle();
    QVERIFY(node(QStringLiteral("keys_new")).isValid());
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("DROP DATABASE keys_new")));
}

void TestSessionController::execSelectionAndStatementUnderCaret()
{
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTreeView *tree = m_window->treeView();
    tree->setCurrentIndex(node(QStringLiteral("shop")));
    SqlEditor *editor = m_window->sqlEditor()->editor();
    const QString text = QStringLiteral("select what from orders where id = 1;\n"
                                        "select what from orders where id = 2;\n"
                                        "select nosuchcolumn from orders;\n"
                                        "select what from orders where id = 10");
    editor->setText(text);
    GridModel *query = m_window->grid(QStringLiteral("AdvListView5"));
    MessageLog *log = m_window->messageLog();
    QAction *selection = m_window->action(QStringLiteral("EditExecSelection"));

    // The selected second line runs, alone.
    editor->setSelection(1, 0, 1, 37);
    log->clear();
    selection->trigger();
    settle();
    QCOMPARE(outcomeHeads(log->lines()), (QStringList{QString(), QStringLiteral("Affected rows:1")}));
    QCOMPARE(query->caption(0), QStringLiteral("two"));

    // A failing selection: the error is marked on its line of the whole text.
    editor->setSelection(2, 0, 2, 32);
    log->clear();
    selection->trigger();
    settle();
    QCOMPARE(log->lines().size(), 2);
    QVERIFY2(log->lines().at(0).contains(QStringLiteral("nosuchcolumn")), qPrintable(log->lines().at(0)));
    // Its line is that of the whole text, not of the selection.
    QVERIFY2(log->lines().at(1).startsWith(QStringLiteral("Error in line 3: ")), qPrintable(log->lines().at(1)));
    QVERIFY(editor->hasErrorMark(2));
    QCOMPARE(editor->selectedText(), QStringLiteral("nosuchcolumn"));
    QCOMPARE(query->caption(0), QStringLiteral("two"));

    // F9 still runs the whole text, not what the error left selected.
    log->clear();
    m_window->action(QStringLiteral("EditExec"))->trigger();
    settle();
    QCOMPARE(log->lines().size(), 6);
    QCOMPARE(outcomeHeads(log->lines().mid(0, 4)), (QStringList{QString(), QStringLiteral("Affected rows:1"), QString(),
                                                  QStringLiteral("Affected rows:1")}));

    // Ctrl+Enter in the editor: the statement under the caret, no new line.
    m_window->showPage(QStringLiteral("Active SQL"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(editor));
    editor->setCursorPosition(3, 8);
    log->clear();
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    settle();
    QCOMPARE(outcomeHeads(log->lines()), (QStringList{QString(), QStringLiteral("Affected rows:1")}));
    QCOMPARE(query->caption(0), QStringLiteral("ten"));
    QCOMPARE(editor->text(), text);
    // The keypad's Enter does the same.
    editor->setCursorPosition(0, 3);
    QTest::keyClick(editor, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    settle();
    QCOMPARE(editor->text(), text);
    QCOMPARE(query->caption(0), QStringLiteral("one"));

    // Elsewhere Ctrl+Enter does not reach the editor.
    tree->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(tree));
    log->clear();
    QTest::keyClick(tree, Qt::Key_Return, Qt::ControlModifier);
    settle();
    QCOMPARE(log->lines(), QStringList());

    // Nothing selected: nothing runs, and the log says why.
    editor->setCursorPosition(0, 0);
    selection->trigger();
    settle();
    QCOMPARE(log->lines(), QStringList{QStringLiteral("Exec Selection: no text is selected.")});
}

void TestSessionController::statementUnderCaretMarksItsOwnLine()
{
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop")));
    SqlEditor *editor = m_window->sqlEditor()->editor();
    // "what" of the error stands on line 1 as well.
    editor->setText(QStringLiteral("select what from orders;\n-- the bad one:\n\nselect what, what\n  from orders, orders as o2\n"
                                   "  where what = 'a';\nselect 1;"));
    editor->setCursorPosition(4, 4);
    m_window->action(QStringLiteral("EditExecStatement"))->trigger();
    settle();
    QVERIFY2(m_window->messageLog()->lines().join(QLatin1Char('|')).contains(QStringLiteral("ambiguous")),
             qPrintable(m_window->messageLog()->lines().join(QLatin1Char('|'))));
    int line = -1;
    int index = -1;
    editor->getCursorPosition(&line, &index);
    QCOMPARE(line, 3);
    QVERIFY(editor->hasErrorMark(3));
    QVERIFY(!editor->hasErrorMark(0));
    QCOMPARE(editor->selectedText(), QStringLiteral("what"));
}

void TestSessionController::expiredPasswordAsksForANewOne_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<bool>("accept");
    // The profile keeps a password: the new one replaces it once set.
    QTest::addColumn<bool>("profileKeepsPassword");
    QTest::newRow("new password given") << QStringLiteral("expiring1") << true << true;
    QTest::newRow("cancelled") << QStringLiteral("expiring2") << false << true;
    QTest::newRow("profile without password") << QStringLiteral("expiring3") << true << false;
}

void TestSessionController::expiredPasswordAsksForANewOne()
{
    QFETCH(QString, account);
    QFETCH(bool, accept);
    QFETCH(bool, profileKeepsPassword);
    const QString host = PrivateServer::shared().host();
    if (profileKeepsPassword) {
        m_settings->currentProfile().Psw = QStringLiteral("first");
        m_settings->SaveServerProfile(host);
    }
    QVERIFY(PrivateServer::shared().sql(
        QStringLiteral("SET GLOBAL disconnect_on_expired_password = ON;"
                       "CREATE USER %1@'%' IDENTIFIED BY 'first' PASSWORD EXPIRE;"
                       // The profile's database.
                       "GRANT SELECT ON mysql.* TO %1@'%';")
            .arg(account)));
    m_controller->runLoginDialog = [&](TFormLogin *dialog) {
        dialog->setUser(account);
        dialog->setPassword(QStringLiteral("first"));
        return int(TFormLogin::Login);
    };
    QString shownMessage;
    bool maskedAtFirst = false;
    bool okNeedsBothFields = false;
    m_controller->runNewPasswordDialog = [&](TFormNewPassword *dialog) {
        shownMessage = dialog->LabelMessage->text();
        maskedAtFirst = dialog->EditPassword->echoMode() == QLineEdit::Password;
        dialog->EditPassword->setText(QStringLiteral("second"));
        okNeedsBothFields = !dialog->ButtonOk->isEnabled();
        dialog->EditConfirm->setText(QStringLiteral("second"));
        dialog->CheckShow->setChecked(true);
        if (dialog->EditConfirm->echoMode() != QLineEdit::Normal)
            maskedAtFirst = false;
        return accept && dialog->ButtonOk->isEnabled() ? int(QDialog::Accepted) : int(QDialog::Rejected);
    };
    m_controller->ListServerDblClick();
    QTRY_VERIFY_WITH_TIMEOUT(!shownMessage.isEmpty(), 15000);
    settle();
    QVERIFY2(shownMessage.contains(QLatin1String("expired")), qPrintable(shownMessage));
    QVERIFY(maskedAtFirst);
    QVERIFY(okNeedsBothFields);
    QCOMPARE(m_data->ActiveClient()->Connected(), accept);
    QCOMPARE(node(QStringLiteral("mysql")).isValid(), accept);
    QCOMPARE(m_settings->currentProfile().Psw, accept ? QStringLiteral("second") : QStringLiteral("first"));
    // What the profile keeps: only its password changed, and only once set.
    SettingsStore stored(m_dir.filePath(QStringLiteral("quarnel.conf")));
    stored.LoadServerProfile(host);
    QCOMPARE(stored.currentProfile().Psw,
             !profileKeepsPassword ? QString() : accept ? QStringLiteral("second") : QStringLiteral("first"));
    QCOMPARE(stored.currentProfile().User, QStringLiteral("stored-user"));
}

void TestSessionController::escapeStopsFromTheEditor_data()
{
    QTest::addColumn<bool>("waitForDisplay");
    // Esc right after F9, before the window shows "Running": the statement
    // may not even have reached the server.
    QTest::newRow("at once") << false;
    // Esc while the server runs it: the server ends it with its message.
    QTest::newRow("while shown") << true;
}

void TestSessionController::escapeStopsFromTheEditor()
{
    QFETCH(bool, waitForDisplay);
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("shop")));
    SqlEditor *editor = m_window->sqlEditor()->editor();
    m_window->showPage(QStringLiteral("Active SQL"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(editor));
    QAction *stop = m_window->action(QStringLiteral("query_stop"));
    MessageLog *log = m_window->messageLog();

    // Nothing runs: Esc stays the editor's (it drops extra selections).
    editor->setText(QStringLiteral("SELECT SLEEP(10)"));
    editor->SendScintilla(QsciScintillaBase::SCI_SETSELECTION, 0, 1);
    editor->SendScintilla(QsciScintillaBase::SCI_ADDSELECTION, 7, 8);
    QCOMPARE(editor->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONS), 2L);
    QVERIFY(!stop->isEnabled());
    QTest::keyClick(editor, Qt::Key_Escape);
    QCOMPARE(editor->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONS), 1L);
    editor->setCursorPosition(0, 0);

    log->clear();
    QTest::keyClick(editor, Qt::Key_F9);
    QVERIFY(m_data->statementsRunning());
    // Stop is live as soon as the statement is sent.
    QVERIFY(stop->isEnabled());
    if (waitForDisplay) {
        QTRY_VERIFY_WITH_TIMEOUT(m_window->busyShown(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(serverRuns(QStringLiteral("SELECT SLEEP(10)")), 10000);
    }
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(editor));
    QSignalSpy finished(m_data.get(), &TDMstd::scriptFinished);
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
    settle();
    // Stopped, not run to its end.
    QCOMPARE(finished.first().at(0).toBool(), false);
    const QString lines = log->lines().join(QLatin1Char('|'));
    QVERIFY2(logHas(log, QStringLiteral("Stopped.")), qPrintable(lines));
    QVERIFY2(!logHas(log, QStringLiteral("Affected rows")), qPrintable(lines));
    if (waitForDisplay)
        QVERIFY2(logHas(log, QStringLiteral("interrupted")), qPrintable(lines));
    QVERIFY(!serverRuns(QStringLiteral("SELECT SLEEP(10)")));
    QCOMPARE(editor->text(), QStringLiteral("SELECT SLEEP(10)"));
    QVERIFY(!stop->isEnabled());
    QVERIFY(!m_window->busyShown());

    // The session goes on.
    QVERIFY(m_data->ActiveClient()->Connected());
    QCOMPARE(runInEditor(QStringLiteral("select what from orders where id = 2")), QStringLiteral("two"));
}

void TestSessionController::rereadingTheListKeepsTheChosenDatabase_data()
{
    QTest::addColumn<QString>("table"); // the chosen node: a table of "shop", or "shop" itself
    QTest::newRow("database node") << QString();
    QTest::newRow("table node") << QStringLiteral("orders");
}

void TestSessionController::rereadingTheListKeepsTheChosenDatabase()
{
    QFETCH(QString, table);
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTreeView *tree = m_window->treeView();
    const QModelIndex shop = node(QStringLiteral("shop"));
    QVERIFY(shop.row() > 0);
    tree->setCurrentIndex(shop);
    m_controller->TreeServerDblClick(shop);
    settle();
    QVERIFY(node(QStringLiteral("shop"), QStringLiteral("orders")).isValid());
    tree->setCurrentIndex(node(QStringLiteral("shop"), table));

    // A database that sorts first moves every node down by one.
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("DROP DATABASE IF EXISTS aaa_first; CREATE DATABASE aaa_first")));
    m_window->action(QStringLiteral("server_refresh"))->trigger();
    settle();
    QCOMPARE(node(QStringLiteral("aaa_first")).row(), 0);
    QCOMPARE(tree->currentIndex(), node(QStringLiteral("shop"), table));
    QVERIFY(tree->isExpanded(node(QStringLiteral("shop"))));
    QVERIFY(node(QStringLiteral("shop"), QStringLiteral("orders")).isValid());
    // The next run goes to the chosen database.
    QCOMPARE(runInEditor(QStringLiteral("select what from orders where id = 2")), QStringLiteral("two"));

    // Gone from the server: the topmost node is chosen, as after a login.
    tree->setCurrentIndex(node(QStringLiteral("aaa_first")));
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("DROP DATABASE aaa_first")));
    m_window->action(QStringLiteral("server_refresh"))->trigger();
    settle();
    QVERIFY(!node(QStringLiteral("aaa_first")).isValid());
    QCOMPARE(tree->currentIndex(), m_window->treeModel()->index(0, 0));
    QVERIFY(node(QStringLiteral("shop"), QStringLiteral("orders")).isValid());
}

void TestSessionController::reconnectKeepsTheChosenDatabase()
{
    login();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTreeView *tree = m_window->treeView();
    const QModelIndex shop = node(QStringLiteral("shop"));
    QVERIFY(shop.row() > 0);
    tree->setCurrentIndex(shop);
    m_controller->TreeServerDblClick(shop);
    settle();
    tree->setCurrentIndex(node(QStringLiteral("shop")));

    // The server goes away during a statement of the chosen database.
    m_window->sqlEditor()->editor()->setText(QStringLiteral("select sleep(30)"));
    m_window->action(QStringLiteral("EditExec"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(serverRuns(QStringLiteral("select sleep(30)")), 20000);
    PrivateServer &server = PrivateServer::shared();
    server.kill();
    QString question;
    bool restarted = false;
    QString error;
    whenModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return;
        question = box->text();
        restarted = server.restart(&error);
        box->button(QMessageBox::Yes)->click();
    });
    QTRY_VERIFY_WITH_TIMEOUT(!question.isEmpty(), 30000);
    QVERIFY2(restarted, qPrintable(error));
    QVERIFY2(question.contains(QStringLiteral("Connect again")), qPrintable(question));
    QTRY_VERIFY_WITH_TIMEOUT(m_data->ActiveClient()->Connected() && tree->isEnabled(), 20000);
    settle();

    QCOMPARE(tree->currentIndex(), node(QStringLiteral("shop")));
    QVERIFY(tree->isExpanded(node(QStringLiteral("shop"))));
    QVERIFY(node(QStringLiteral("shop"), QStringLiteral("orders")).isValid());
    QCOMPARE(runInEditor(QStringLiteral("select what from orders where id = 2")), QStringLiteral("two"));
}

QTEST_MAIN(TestSessionController)
#include "tst_sessioncontroller.moc"

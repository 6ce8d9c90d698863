#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/tdmstd.h"
#include "dialogs/applicationdialog.h"
#include "dialogs/privilegedialogs.h"
#include "shell/appservercontroller.h"
#include "shell/mainwindow.h"
#include "shell/privilegecontroller.h"
#include "shell/sessioncontroller.h"
#include "data/settingsstore.h"
#include "tests/modalhelper.h"
#include "tests/support/accountchecks.h"
#include "tests/support/privateserver.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The "MySQL Administration" and "Application Server" pages on a real main
// window: commands, pop-up menus, confirmations and the four dialogs, with
// the changes checked on a private server.
class TestAdminController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void loginShowsJobsAtOnce();
    void loginReadsTheAdministrationPageInFront();
    void popupMenusHoldTheirEntries();
    void administrationPageReadsItsSubPage();
    void newAndChangedUserThroughTheDialog();
    void okClosesOnlyAfterTheChangeWentThrough();
    void deleteUserAsksFirst();
    void withoutSelectionNothingOpens();
    void databaseRowsThroughTheDialog();
    void jobsThroughTheDialog();
    void removeAndClearAskFirst();
    void saveMessageTable();

private:
    void showAdminPage(const QString &subPage, GridModel *grid);
    int selectRow(const QString &gridName, int keyColumn, const QString &key);
    bool idle() const;
    bool trigger(const char *action);

    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<TFormMain> m_window;
    std::unique_ptr<TDMstd> m_data;
    std::unique_ptr<SessionController> m_session;
    std::unique_ptr<AppServerController> m_appServer;
    std::unique_ptr<PrivilegeController> m_privileges;
};

namespace {


QString firstValue(const QString &select)
{
    return ServerOutput(select).split(QLatin1Char('\n')).value(1);
}

// The first SHOW GRANTS line at a level, without the account part.
QString grantLine(const QString &account, const QString &level)
{
    for (const QString &line : ServerOutput(QStringLiteral("SHOW GRANTS FOR ") + account).split(QLatin1Char('\n'))) {
        const QString on = QStringLiteral(" ON ") + level + QStringLiteral(" TO ");
        if (line.startsWith(QLatin1String("GRANT ")) && line.contains(on))
            return line.left(line.indexOf(on)) + (line.endsWith(QLatin1String("WITH GRANT OPTION")) ? QStringLiteral(" +G") : QString());
    }
    return QString();
}


QStringList entries(QMenu *menu)
{
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

// As a click does: a check box toggles and reports clicked().
void click(QAbstractButton *button)
{
    QVERIFY(button && button->isEnabled());
    button->click();
}

} // namespace

void TestAdminController::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    QVERIFY2(PrivateServer::shared().start(&error), qPrintable(error));
    QVERIFY2(PrivateServer::shared().sql(QStringLiteral("CREATE USER 'keeper'@'192.0.2.1';"
                                                         "GRANT SELECT ON keepdb.* TO 'keeper'@'192.0.2.1';"),
                                         nullptr, &error),
             qPrintable(error));
}

void TestAdminController::init()
{
    QString error;
    QVERIFY2(PrivateServer::shared().sql(
                 AppServerTables()
                     + QStringLiteral(
                     "INSERT INTO action (id, art, action, variable, status, idate, interv, isinterv, mailst, address)"
                     " VALUES (1, 'F', 'backup', '/srv/a', 'O', '2024-03-01 02:00:00', '001 00:00', 'Y', 'E', 'a@b'),"
                     " (2, 'D', 'optimize', 'shop', 'w', '2024-03-02 03:30:00', '007 00:00', 'N', 'O', NULL);"
                     "INSERT INTO error (action, error, level, user) VALUES"
                     " (1, 'done, 12 files', 0, 'tarquel'), (2, 'said \"no\"', 2, NULL);"),
                 nullptr, &error),
             qPrintable(error));

    QVERIFY(m_dir.isValid());
    m_settings = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("quarnel.conf")));
    const PrivateServer &server = PrivateServer::shared();
    TServerProfile &profile = m_settings->currentProfile();
    profile = TServerProfile();
    profile.Host = server.host();
    profile.User = PrivateServer::user();
    profile.Psw = PrivateServer::password();
    profile.Port = QString::number(server.port());
    profile.Database = QStringLiteral("mysql");
    profile.Check = true;
    m_settings->LoadProgramSettings();
    m_window = std::make_unique<TFormMain>(m_settings.get());
    m_data = std::make_unique<TDMstd>(SessionController::viewsOf(m_window.get()));
    m_session = std::make_unique<SessionController>(m_window.get(), m_data.get());
    m_appServer = std::make_unique<AppServerController>(m_window.get(), m_data.get());
    m_privileges = std::make_unique<PrivilegeController>(m_window.get(), m_data.get());
    m_window->show();
    QVERIFY(m_data->ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(m_window->treeModel()->rowCount() > 0, 10000);
    // The login's reads (the application server's tables) end before a command.
    QTRY_VERIFY_WITH_TIMEOUT(!m_data->statementsRunning(), 10000);
}

void TestAdminController::cleanup()
{
    cancelPendingAnswers();
    m_privileges.reset();
    m_appServer.reset();
    m_session.reset();
    m_data.reset();
    m_window.reset();
    m_settings.reset();
    QVERIFY(PrivateServer::shared().sql(QStringLiteral(
        "DROP USER IF EXISTS 'winuser'@'127.0.0.1', 'victim'@'127.0.0.1', 'dbuser'@'10.9.%', 'taken'@'127.0.0.1', "
        "'fresh'@'127.0.0.1';")));
}

bool TestAdminController::idle() const
{
    return QTest::qWaitFor([this] { return !m_data->statementsRunning(); }, 15000);
}

bool TestAdminController::trigger(const char *name)
{
    // Commands that send statements are off while statements run.
    QAction *action = m_window->action(QString::fromLatin1(name));
    if (!action || !idle() || !QTest::qWaitFor([action] { return action->isEnabled(); }, 5000))
        return false;
    action->trigger();
    return true;
}

void TestAdminController::showAdminPage(const QString &subPage, GridModel *grid)
{
    QVERIFY(idle());
    grid->clearRows();
    m_window->showPage(QStringLiteral("MySQL Administration"), subPage);
    QTRY_VERIFY_WITH_TIMEOUT(grid->rowCount() > 0, 10000);
}

int TestAdminController::selectRow(const QString &gridName, int keyColumn, const QString &key)
{
    // A read still under way would refill the grid and drop the selection.
    if (!idle())
        return -1;
    GridModel *grid = m_window->grid(gridName);
    for (int row = 0; row < grid->rowCount(); ++row) {
        if (grid->text(row, keyColumn) == key) {
            m_window->gridView(gridName)->selectRow(row);
            return row;
        }
    }
    return -1;
}

void TestAdminController::loginShowsJobsAtOnce()
{
    // The check of the login found "appserver": the jobs and messages are
    // read without the page being shown.
    QTRY_COMPARE_WITH_TIMEOUT(m_window->grid(QStringLiteral("ListApplication"))->rowCount(), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->grid(QStringLiteral("ListApplicationMsg"))->rowCount(), 2, 10000);
    QCOMPARE(m_window->findChild<QTabWidget *>(QStringLiteral("PageControl1"))->currentIndex(), 0);
    QVERIFY(m_window->action(QStringLiteral("App_add"))->isEnabled());
    QVERIFY(m_window->gridView(QStringLiteral("ListApplication"))->isEnabled());
    QCOMPARE(m_window->grid(QStringLiteral("ListApplication"))->text(0, 1), QStringLiteral("backup"));
}

void TestAdminController::loginReadsTheAdministrationPageInFront()
{
    showAdminPage(QStringLiteral("Database"), m_window->grid(QStringLiteral("AdvListViewDatabase")));
    GridModel *dbs = m_window->grid(QStringLiteral("AdvListViewDatabase"));
    dbs->clearRows();
    m_window->messageLog()->clear();
    // A new login while the page is in front reads its table with the
    // login's other steps.
    m_data->ActiveClient()->Close();
    QVERIFY(m_data->ConnectProfile());
    QTRY_VERIFY_WITH_TIMEOUT(dbs->rowCount() > 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_window->treeModel()->rowCount() > 0, 10000);
    QVERIFY(idle());
    QStringList lines = m_window->messageLog()->lines();
    lines.removeAll(QString());
    QVERIFY2(!lines.join(QLatin1Char('|')).contains(QLatin1String("still running")), qPrintable(lines.join(QLatin1Char('|'))));
}

void TestAdminController::popupMenusHoldTheirEntries()
{
    QCOMPARE(entries(m_window->popupMenu(QStringLiteral("PopupUser"))),
             QStringList({"New User", "Change User Information", "Update User Information", "-", "Delete User"}));
    QCOMPARE(entries(m_window->popupMenu(QStringLiteral("PopupHost"))),
             QStringList({"New Host", "Change Host Information", "Update Host Informationen", "-", "Delete Host"}));
    QCOMPARE(entries(m_window->popupMenu(QStringLiteral("PopupMenuDatabase"))),
             QStringList({"Add New Database to Host", "Change Database Informationen", "Update Database Informationen",
                          "-", "Delete Database"}));
    // The Update entry reads the table again.
    GridModel *users = m_window->grid(QStringLiteral("AdvListViewUser"));
    QVERIFY(idle());
    users->clearRows();
    m_window->popupMenu(QStringLiteral("PopupUser"))->actions().at(2)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(users->rowCount() > 0, 10000);
}

void TestAdminController::administrationPageReadsItsSubPage()
{
    showAdminPage(QStringLiteral("User"), m_window->grid(QStringLiteral("AdvListViewUser")));
    showAdminPage(QStringLiteral("Database"), m_window->grid(QStringLiteral("AdvListViewDatabase")));
    QCOMPARE(m_window->grid(QStringLiteral("AdvListViewDatabase"))->text(0, 2), QStringLiteral("keeper"));
    // No host table on current servers: the page says so and stays empty.
    m_window->showPage(QStringLiteral("MySQL Administration"), QStringLiteral("Host"));
    QTRY_VERIFY_WITH_TIMEOUT(m_window->messageLog()->lines().join(QLatin1Char('\n')).contains(QLatin1String("mysql.host")),
                             10000);
    QCOMPARE(m_window->grid(QStringLiteral("AdvListViewHost"))->rowCount(), 0);
}

void TestAdminController::newAndChangedUserThroughTheDialog()
{
    showAdminPage(QStringLiteral("User"), m_window->grid(QStringLiteral("AdvListViewUser")));
    const QString account = QStringLiteral("'winuser'@'127.0.0.1'");
    bool seen = false;
    whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<TFormUser *>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("User Management"));
        QVERIFY(dialog->Edit1->isEnabled());
        QVERIFY(!dialog->ButtonApply->isEnabled());
        QVERIFY(dialog->Edit1->text().isEmpty());
        QCOMPARE(dialog->focusWidget(), dialog->Edit1); // typing starts in Host
        dialog->Edit1->setText(QStringLiteral("127.0.0.1"));
        dialog->Edit2->setText(QStringLiteral("winuser"));
        dialog->Edit3->setText(QStringLiteral("p'w\\1"));
        QVERIFY(dialog->ButtonApply->isEnabled());
        click(dialog->findChild<QCheckBox *>(QStringLiteral("CheckBox4"))); // Create
        click(dialog->findChild<QCheckBox *>(QStringLiteral("CheckBox11"))); // Grand
        seen = true;
        click(dialog->ButtonOk);
    });
    QVERIFY(trigger("Action_User_New"));
    QVERIFY(seen);
    QTRY_COMPARE_WITH_TIMEOUT(grantLine(account, QStringLiteral("*.*")), QStringLiteral("GRANT CREATE +G"), 10000);
    QVERIFY(CanLogIn(QStringLiteral("winuser"), QStringLiteral("p'w\\1")));

    // Change mode through a double click on the row once the grid has it.
    GridModel *users = m_window->grid(QStringLiteral("AdvListViewUser"));
    QTRY_VERIFY_WITH_TIMEOUT(selectRow(QStringLiteral("AdvListViewUser"), 1, QStringLiteral("winuser")) >= 0, 10000);
    const int row = selectRow(QStringLiteral("AdvListViewUser"), 1, QStringLiteral("winuser"));
    seen = false;
    whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<TFormUser *>(modal);
        QVERIFY(dialog);
        QVERIFY(!dialog->Edit1->isEnabled());
        QVERIFY(dialog->Edit2->isEnabled());
        QCOMPARE(dialog->focusWidget(), dialog->Edit2); // Host is fixed: typing starts in User
        QCOMPARE(dialog->Edit2->text(), QStringLiteral("winuser"));
        QCOMPARE(dialog->Edit3->text(), users->text(row, 2)); // the stored, encoded password
        QVERIFY(dialog->findChild<QCheckBox *>(QStringLiteral("CheckBox4"))->isChecked());
        QVERIFY(!dialog->findChild<QCheckBox *>(QStringLiteral("CheckBox5"))->isChecked());
        QVERIFY(!dialog->ButtonApply->isEnabled());
        click(dialog->findChild<QCheckBox *>(QStringLiteral("CheckBox4"))); // Create off
        click(dialog->findChild<QCheckBox *>(QStringLiteral("CheckBox5"))); // Delete on
        dialog->Edit3->setText(QStringLiteral("second"));
        click(dialog->ButtonApply); // stays open, in change mode
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->Edit1->isEnabled());
        seen = true;
        click(dialog->ButtonCancel);
    });
    QVERIFY(idle());
    QTableView *view = m_window->gridView(QStringLiteral("AdvListViewUser"));
    const QModelIndex cell = view->model()->index(row, 1);
    view->scrollTo(cell);
    // The view takes a double click as the second press of a click.
    const QPoint point = view->visualRect(cell).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, point);
    QVERIFY(seen);
    QTRY_COMPARE_WITH_TIMEOUT(grantLine(account, QStringLiteral("*.*")), QStringLiteral("GRANT DELETE +G"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(CanLogIn(QStringLiteral("winuser"), QStringLiteral("second")), 10000);
}

void TestAdminController::okClosesOnlyAfterTheChangeWentThrough()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE USER 'taken'@'127.0.0.1' IDENTIFIED BY 'pw';")));
    showAdminPage(QStringLiteral("User"), m_window->grid(QStringLiteral("AdvListViewUser")));
    bool seen = false;
    whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<TFormUser *>(modal);
        QVERIFY(dialog);
        dialog->Edit1->setText(QStringLiteral("127.0.0.1"));
        dialog->Edit2->setText(QStringLiteral("taken"));
        dialog->Edit3->setText(QStringLiteral("pw2"));
        click(dialog->ButtonOk); // CREATE USER is refused: the account exists
        QTRY_VERIFY_WITH_TIMEOUT(m_window->messageLog()->lines().join(QLatin1Char('\n')).contains(
                                     QLatin1String("Refused, nothing further sent: CREATE USER 'taken'")),
                                 10000);
        QVERIFY(idle());
        QVERIFY(dialog->isVisible());
        dialog->Edit2->setText(QStringLiteral("fresh"));
        click(dialog->ButtonOk);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 10000);
        seen = true;
    });
    QVERIFY(trigger("Action_User_New"));
    QVERIFY(seen);
    QVERIFY(CanLogIn(QStringLiteral("fresh"), QStringLiteral("pw2")));
    QVERIFY(CanLogIn(QStringLiteral("taken"), QStringLiteral("pw")));
}

void TestAdminController::deleteUserAsksFirst()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE USER 'victim'@'127.0.0.1';")));
    showAdminPage(QStringLiteral("User"), m_window->grid(QStringLiteral("AdvListViewUser")));
    QVERIFY(selectRow(QStringLiteral("AdvListViewUser"), 1, QStringLiteral("victim")) >= 0);
    const int lines = int(m_window->messageLog()->lines().size());

    QString question;
    answerMessageBox(QMessageBox::No, &question);
    QVERIFY(trigger("Action_User_Delete"));
    QCOMPARE(question, QStringLiteral("Delete User with TCP/IP :127.0.0.1\nand Name : victim ?"));
    // Nothing was sent: no line in the log, the account is there.
    QCOMPARE(int(m_window->messageLog()->lines().size()), lines);
    QCOMPARE(firstValue(QStringLiteral("SELECT COUNT(*) FROM mysql.user WHERE User='victim'")), QStringLiteral("1"));

    answerMessageBox(QMessageBox::Yes);
    QVERIFY(trigger("Action_User_Delete"));
    QTRY_COMPARE_WITH_TIMEOUT(firstValue(QStringLiteral("SELECT COUNT(*) FROM mysql.user WHERE User='victim'")),
                              QStringLiteral("0"), 10000);
}

void TestAdminController::withoutSelectionNothingOpens()
{
    showAdminPage(QStringLiteral("User"), m_window->grid(QStringLiteral("AdvListViewUser")));
    QTRY_COMPARE_WITH_TIMEOUT(m_window->grid(QStringLiteral("ListApplication"))->rowCount(), 2, 10000);
    for (const char *grid : {"AdvListViewUser", "AdvListViewHost", "AdvListViewDatabase", "ListApplication"})
        m_window->gridView(QString::fromLatin1(grid))->clearSelection();
    // A handler that opened a window would wait in it before returning.
    bool opened = false;
    whenModal([&](QWidget *modal) {
        opened = true;
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
    });
    for (const char *action : {"Action_User_Change", "Action_User_Delete", "Action_Change_Host", "Action_Delete_Host",
                               "Action_Change_DB", "Action_Delete_DB", "App_mod", "App_rem"})
        QVERIFY(trigger(action));
    QVERIFY(!opened);
}

void TestAdminController::databaseRowsThroughTheDialog()
{
    QVERIFY(PrivateServer::shared().sql(QStringLiteral("CREATE USER 'dbuser'@'10.9.%';")));
    const QString account = QStringLiteral("'dbuser'@'10.9.%'");
    GridModel *dbs = m_window->grid(QStringLiteral("AdvListViewDatabase"));
    showAdminPage(QStringLiteral("Database"), dbs);

    whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<TFormDb *>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Database Informationen"));
        for (QLineEdit *key : {dialog->Edit_host, dialog->Edit_db, dialog->Edit_user})
            QVERIFY(key->isEnabled() && key->text().isEmpty());
        dialog->Edit_host->setText(QStringLiteral("10.9.%"));
        dialog->Edit_db->setText(QStringLiteral("win db"));
        dialog->Edit_user->setText(QStringLiteral("dbuser"));
        click(dialog->findChild<QCheckBox *>(QStringLiteral("CheckBox_select")));
        click(dialog->findChild<QCheckBox *>(QStringLiteral("CheckBox_index")));
        click(dialog->ButtonOk);
    });
    QVERIFY(trigger("Action_New_DB"));
    QTRY_COMPARE_WITH_TIMEOUT(grantLine(account, QStringLiteral("`win db`.*")), QStringLiteral("GRANT SELECT, INDEX"),
                              10000);

    QTRY_VERIFY_WITH_TIMEOUT(selectRow(QStringLiteral("AdvListViewDatabase"), 2, QStringLiteral("dbuser")) >= 0, 10000);
    bool seen = false;
    whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<TFormDb *>(modal);
        QVERIFY(dialog);
        for (QLineEdit *key : {dialog->Edit_host, dialog->Edit_db, dialog->Edit_user})
            QVERIFY(!key->isEnabled());
        QCOMPARE(dialog->Edit_db->text(), QStringLiteral("win db"));
        QVERIFY(dialog->findChild<QCheckBox *>(QStringLiteral("CheckBox_index"))->isChecked());
        QVERIFY(!dialog->findChild<QCheckBox *>(QStringLiteral("CheckBox_create"))->isChecked());
        click(dialog->findChild<QCheckBox *>(QStringLiteral("CheckBox_index")));
        click(dialog->findChild<QCheckBox *>(QStringLiteral("CheckBox_create")));
        seen = true;
        click(dialog->ButtonOk);
    });
    QVERIFY(trigger("Action_Change_DB"));
    QVERIFY(seen);
    QTRY_COMPARE_WITH_TIMEOUT(grantLine(account, QStringLiteral("`win db`.*")), QStringLiteral("GRANT SELECT, CREATE"),
                              10000);

    QTRY_VERIFY_WITH_TIMEOUT(dbs->rowCount() > 1, 10000);
    QVERIFY(selectRow(QStringLiteral("AdvListViewDatabase"), 2, QStringLiteral("dbuser")) >= 0);
    QString question;
    answerMessageBox(QMessageBox::Yes, &question);
    QVERIFY(trigger("Action_Delete_DB"));
    QCOMPARE(question, QStringLiteral("Delete from Database win db ?"));
    QTRY_COMPARE_WITH_TIMEOUT(grantLine(account, QStringLiteral("`win db`.*")), QString(), 10000);
    // The other user's row stays.
    QCOMPARE(grantLine(QStringLiteral("'keeper'@'192.0.2.1'"), QStringLiteral("`keepdb`.*")), QStringLiteral("GRANT SELECT"));
}

void TestAdminController::jobsThroughTheDialog()
{
    GridModel *jobs = m_window->grid(QStringLiteral("ListApplication"));
    QTRY_COMPARE_WITH_TIMEOUT(jobs->rowCount(), 2, 10000);
    whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<TFormApplication *>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->ComboArt->currentIndex(), -1);
        QCOMPARE(dialog->ComboStatus->currentIndex(), -1);
        QCOMPARE(dialog->ComboMail->currentIndex(), -1);
        QVERIFY(dialog->LabelId->text().isEmpty());
        QVERIFY(!dialog->ButtonApply->isEnabled());
        dialog->EditApp->setText(QStringLiteral("win job"));
        dialog->MemoVariable->setPlainText(QStringLiteral("line one\nline two"));
        dialog->MaskDate->setText(QStringLiteral("2024-01-02 03:04:05"));
        dialog->MaskIntervall->setText(QStringLiteral("001 00:00"));
        click(dialog->CheckIntervall);
        QVERIFY(dialog->ButtonApply->isEnabled());
        click(dialog->ButtonOk);
    });
    QVERIFY(trigger("App_add"));
    QTRY_COMPARE_WITH_TIMEOUT(jobs->rowCount(), 3, 10000);
    // No kind and no mail status chosen: "D" and "O"; no status: the table's default.
    QCOMPARE(ServerOutput(QStringLiteral("SELECT art, status, isinterv, mailst, HEX(variable) FROM appserver.action "
                                      "WHERE action='win job'")),
             QStringLiteral("art\tstatus\tisinterv\tmailst\tHEX(variable)\nD\tW\tY\tO\t")
                 + QString::fromLatin1(QByteArray("line one\nline two").toHex().toUpper()) + QLatin1Char('\n'));

    // Modify the job whose status is "w": no status is chosen, so it stays.
    QVERIFY(selectRow(QStringLiteral("ListApplication"), 1, QStringLiteral("optimize")) >= 0);
    bool seen = false;
    whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<TFormApplication *>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->ComboArt->currentText(), QStringLiteral("Database"));
        QCOMPARE(dialog->ComboStatus->currentIndex(), -1);
        QCOMPARE(dialog->ComboMail->currentText(), QStringLiteral("Send mail on Application was ok"));
        QVERIFY(!dialog->CheckIntervall->isChecked());
        QCOMPARE(dialog->LabelId->text(), QStringLiteral("2"));
        QVERIFY(!dialog->ButtonApply->isEnabled());
        dialog->EditApp->setText(QStringLiteral("optimize all"));
        seen = true;
        click(dialog->ButtonOk);
    });
    QVERIFY(trigger("App_mod"));
    QVERIFY(seen);
    QTRY_COMPARE_WITH_TIMEOUT(firstValue(QStringLiteral("SELECT CONCAT(action, '/', status) FROM appserver.action WHERE id=2")),
                              QStringLiteral("optimize all/w"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(selectRow(QStringLiteral("ListApplication"), 1, QStringLiteral("optimize all")) >= 0, 10000);
}

void TestAdminController::removeAndClearAskFirst()
{
    GridModel *jobs = m_window->grid(QStringLiteral("ListApplication"));
    GridModel *messages = m_window->grid(QStringLiteral("ListApplicationMsg"));
    QTRY_COMPARE_WITH_TIMEOUT(messages->rowCount(), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(jobs->rowCount(), 2, 10000);
    QVERIFY(selectRow(QStringLiteral("ListApplication"), 1, QStringLiteral("backup")) >= 0);

    QString question;
    answerMessageBox(QMessageBox::No, &question);
    QVERIFY(trigger("App_rem"));
    QCOMPARE(question, QStringLiteral("Delete Application backup ?"));
    QCOMPARE(jobs->rowCount(), 2);

    answerMessageBox(QMessageBox::Yes);
    QVERIFY(trigger("App_rem"));
    QTRY_COMPARE_WITH_TIMEOUT(jobs->rowCount(), 1, 10000);
    QCOMPARE(jobs->text(0, 1), QStringLiteral("optimize"));
    QCOMPARE(firstValue(QStringLiteral("SELECT storno FROM appserver.action WHERE id=1")), QStringLiteral("Y"));
    QCOMPARE(messages->rowCount(), 2);

    answerMessageBox(QMessageBox::No, &question);
    QVERIFY(trigger("App_clear_msg"));
    QCOMPARE(question, QStringLiteral("Delete Message Log ?"));
    QCOMPARE(messages->rowCount(), 2);
    answerMessageBox(QMessageBox::Yes);
    QVERIFY(trigger("App_clear_msg"));
    QTRY_COMPARE_WITH_TIMEOUT(messages->rowCount(), 0, 10000);
    QCOMPARE(firstValue(QStringLiteral("SELECT COUNT(*) FROM appserver.error")), QStringLiteral("0"));
}

void TestAdminController::saveMessageTable()
{
    GridModel *messages = m_window->grid(QStringLiteral("ListApplicationMsg"));
    QTRY_COMPARE_WITH_TIMEOUT(messages->rowCount(), 2, 10000);
    const QString file = m_dir.filePath(QStringLiteral("messages.log"));
    QFile::remove(file);

    m_appServer->askSaveFileName = [] { return QString(); }; // cancelled
    QVERIFY(trigger("App_msg_save"));
    QVERIFY(!QFile::exists(file));

    m_appServer->askSaveFileName = [file] { return file; };
    QVERIFY(trigger("App_msg_save"));
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    // No caption line; CR LF after each line; a cell holding a comma or a
    // quote is quoted so the file reads back into the same cells.
    QCOMPARE(saved.readAll(), QByteArray("backup,\"done, 12 files\",0,tarquel\r\n"
                                         "optimize,\"said \"\"no\"\"\",2,\r\n"));
}

QTEST_MAIN(TestAdminController)
#include "tst_admincontroller.moc"

#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/rowstore.h"
#include "data/settingsstore.h"
#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"
#include "shell/clipboardcommands.h"
#include "shell/actiontable.h"
#include "shell/mainwindow.h"
#include "tests/modalhelper.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>
#include <memory>

namespace {

// Actions whose state no switch ever changes.
const QStringList AlwaysOn = {
    QStringLiteral("server_add"),          QStringLiteral("server_print_setup"), QStringLiteral("server_print_setup_tab"),
    QStringLiteral("tools_messageclear"),  QStringLiteral("tools_optionen"),     QStringLiteral("help_about"),
    QStringLiteral("database_kill"),       QStringLiteral("Action_User_New"),    QStringLiteral("Action_User_Change"),
    QStringLiteral("database_kill_query"),
    QStringLiteral("Action_User_Delete"),  QStringLiteral("Action_New_Host"),    QStringLiteral("Action_Change_Host"),
    QStringLiteral("Action_Delete_Host"),  QStringLiteral("Action_New_DB"),      QStringLiteral("Action_Change_DB"),
    QStringLiteral("Action_Delete_DB"),    QStringLiteral("help_Show"),          QStringLiteral("help_Close"),
    QStringLiteral("admin_start_local_db"), QStringLiteral("admin_stop_local_db")};
const QStringList AppServer = {QStringLiteral("App_add"),       QStringLiteral("App_mod"),
                               QStringLiteral("App_rem"),       QStringLiteral("App_clear_msg"),
                               QStringLiteral("App_msg_save"),  QStringLiteral("App_ref_app"),
                               QStringLiteral("App_ref_msg")};

QStringList actionNames()
{
    int count = 0;
    const ActionSpec *table = actionTable(&count);
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QString::fromLatin1(table[i].name);
    return names;
}

QMenu *subMenu(QWidget *root, const QString &title)
{
    const auto menus = root->findChildren<QMenu *>();
    for (QMenu *menu : menus) {
        if (menu->title() == title)
            return menu;
    }
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    QString path() const { return m_dir->filePath(QStringLiteral("Quarnel2.conf")); }
    std::unique_ptr<TFormMain> makeWindow()
    {
        m_store = std::make_unique<SettingsStore>(path());
        return std::make_unique<TFormMain>(m_store.get());
    }
    QStringList enabledActions(TFormMain &window) const
    {
        QStringList on;
        for (const QString &name : actionNames()) {
            if (window.action(name)->isEnabled())
                on << name;
        }
        return on;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        cancelPendingAnswers();
        m_store.reset();
    }

    void actionsAreBuiltFromTheTable()
    {
        auto window = makeWindow();
        const QStringList names = actionNames();
        // The window definition's 100 commands first, then the added ones;
        // every name once.
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
        QVERIFY(names.size() >= 100);
        QCOMPARE(names.at(99), QStringLiteral("admin_stop_local_db"));
        for (const QString &name : names) {
            QAction *action = window->action(name);
            QVERIFY2(action, qPrintable(name));
            QCOMPARE(action->objectName(), name);
            QVERIFY2(!action->text().isEmpty(), qPrintable(name));
            QVERIFY2(!action->icon().isNull(), qPrintable(name));
        }
        QCOMPARE(window->action(QStringLiteral("EditExec"))->shortcut(), QKeySequence(Qt::Key_F9));
        QCOMPARE(window->action(QStringLiteral("server_replace"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
        QCOMPARE(window->action(QStringLiteral("server_add"))->toolTip(),
                 QStringLiteral("Add a new server to the configuration"));
        QCOMPARE(window->action(QStringLiteral("server_print_pref"))->text(), QStringLiteral("Print Privie&w"));
        QVERIFY(!window->action(QStringLiteral("no_such_action")));
    }

    void startStateWithAnEmptyStore()
    {
        auto window = makeWindow();
        QCOMPARE(window->pos(), QPoint(50, 50));
        QCOMPARE(window->size(), QSize(640, 480));
        QVERIFY(!window->isMaximized() && !(window->windowState() & Qt::WindowMaximized));
        QCOMPARE(window->windowTitle(), QStringLiteral("Quarnel ( MySQL Administrator )"));
        QCOMPARE(window->serverList()->count(), 0);
        QVERIFY(!window->treeView()->isEnabled());
        QVERIFY(!window->findChild<QTabWidget *>(QStringLiteral("PageControl1"))->isEnabled());

        QStringList expected = AlwaysOn;
        // Not yet switched off: the clipboard commands and table_save_sql.
        expected << QStringLiteral("EditCut1") << QStringLiteral("EditCopy1") << QStringLiteral("EditPaste1")
                 << QStringLiteral("table_save_sql");
        QStringList on = enabledActions(*window);
        on.sort();
        expected.sort();
        QCOMPARE(on, expected);
        auto *pages = window->findChild<QTabWidget *>(QStringLiteral("PageControl1"));
        QVERIFY(!window->gridView(QStringLiteral("ListApplication"))->isEnabledTo(pages));
        QVERIFY(!window->gridView(QStringLiteral("ListApplicationMsg"))->isEnabledTo(pages));
        for (const char *title : {"User Administartion", "Host Administration", "Database Administartion"})
            QVERIFY2(!subMenu(window.get(), QString::fromLatin1(title))->isEnabled(), title);
        QVERIFY(subMenu(window.get(), QStringLiteral("Application &Server"))->isEnabled());

        // The log starts with one empty line; "Table View" is in front.
        QCOMPARE(window->messageLog()->lines(), QStringList{QString()});
        QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("Table View"));
        QCOMPARE(window->statusPanel(0)->text(), QStringLiteral("database"));
        QCOMPARE(window->statusPanel(0)->width(), 100);
        // The caret panel is 50 wide or as wide as "%6d:%4d" needs.
        QLabel *caret = window->statusPanel(2);
        QVERIFY(caret->width() >= 50);
        caret->setText(QString::asprintf("%6d:%4d", 999999, 9999));
        QVERIFY2(caret->fontMetrics().horizontalAdvance(caret->text()) <= caret->contentsRect().width(),
                 qPrintable(QString::number(caret->width())));
        // Creating the window created the store and wrote nothing into it.
        QVERIFY(QFile::exists(path()));
        QCOMPARE(QFileInfo(path()).size(), 0);
    }

    void pageTabsReadableAtTheFirstSize()
    {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->size(), QSize(640, 480));
        // Every tab shows its whole caption; a bar too short for its tabs
        // scrolls.
        int shown = 0;
        for (QTabBar *bar : window->findChildren<QTabBar *>()) {
            if (!bar->isVisible())
                continue;
            ++shown;
            QVERIFY(bar->usesScrollButtons());
            for (int i = 0; i < bar->count(); ++i) {
                QString caption = bar->tabText(i);
                caption.remove(QLatin1Char('&'));
                QVERIFY2(bar->tabRect(i).width() > bar->fontMetrics().horizontalAdvance(caption),
                         qPrintable(bar->parentWidget()->objectName() + QLatin1Char(' ') + caption));
            }
        }
        QVERIFY(shown >= 2); // the pages and the table view's pages at least
    }

    void storedStateIsRestored()
    {
        {
            QSettings raw(path(), QSettings::IniFormat);
            raw.setValue(QStringLiteral("Left"), QStringLiteral("120"));
            raw.setValue(QStringLiteral("Top"), QStringLiteral("80"));
            raw.setValue(QStringLiteral("Width"), QStringLiteral("900"));
            raw.setValue(QStringLiteral("Height"), QStringLiteral("600"));
            raw.setValue(QStringLiteral("Max"), QStringLiteral("1"));
            for (const char *host : {"alpha", "beta", "gamma"})
                raw.setValue(QString::fromLatin1(host) + QStringLiteral("/User"), QStringLiteral("u"));
        }
        auto window = makeWindow();
        QVERIFY(window->windowState() & Qt::WindowMaximized);
        QCOMPARE(window->normalGeometry().size(), QSize(900, 600));
        QCOMPARE(window->serverList()->count(), 3);
        QCOMPARE(window->serverList()->item(0)->text(), QStringLiteral("alpha"));
        // The last listed server is the selected row.
        QCOMPARE(window->serverList()->selectedItems().value(0), window->serverList()->item(2));
        QVERIFY(window->action(QStringLiteral("server_remove"))->isEnabled());
        QVERIFY(window->action(QStringLiteral("server_modify"))->isEnabled());
    }

    void everyStoredServerIsListed()
    {
        {
            QSettings raw(path(), QSettings::IniFormat);
            for (int i = 0; i < 300; ++i)
                raw.setValue(QStringLiteral("host%1/User").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("u"));
        }
        auto window = makeWindow();
        QCOMPARE(window->serverList()->count(), 300);
        QCOMPARE(window->serverList()->item(299)->text(), QStringLiteral("host299"));
        QVERIFY(window->serverList()->item(299)->isSelected());
    }

    void closingMaximizedStoresTheMaximizedRectangle()
    {
        {
            QSettings raw(path(), QSettings::IniFormat);
            raw.setValue(QStringLiteral("Max"), QStringLiteral("1"));
        }
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_VERIFY(window->isMaximized());
        QTRY_VERIFY(window->width() > 640);
        const QSize maximized = window->size();
        answerMessageBox(QMessageBox::Yes);
        QVERIFY(window->close());
        QSettings raw(path(), QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("Max")).toString(), QStringLiteral("1"));
        QCOMPARE(raw.value(QStringLiteral("Width")).toString(), QString::number(maximized.width()));
        QCOMPARE(raw.value(QStringLiteral("Height")).toString(), QString::number(maximized.height()));
    }

    void sessionSwitch()
    {
        auto window = makeWindow();
        const QStringList before = enabledActions(*window);
        window->SetSessionCommands(true);
        QStringList on = enabledActions(*window);
        QStringList switched;
        for (const QString &name : on) {
            if (!before.contains(name))
                switched << name;
        }
        // 66 commands, the table designer's two, five of the editor and the
        // data grid (Exec Selection, Exec Statement, Run SQL File, Show all,
        // Next), the save and print commands of "Database Info" and the
        // privilege tables, and the four of the editor's tabs and its Reload
        // Names; table_save_sql was already on.
        QCOMPARE(switched.size() + 1, 82);
        for (const char *name : {"table_save_info", "table_print_info", "admin_save_privileges", "admin_print_privileges",
                                 "EditNewTab", "EditReloadNames"})
            QVERIFY2(switched.contains(QString::fromLatin1(name)), name);
        QVERIFY(switched.contains(QStringLiteral("query_run_file")));
        QVERIFY(window->treeView()->isEnabled());
        QVERIFY(window->findChild<QTabWidget *>(QStringLiteral("PageControl1"))->isEnabled());
        for (const char *title : {"User Administartion", "Host Administration", "Database Administartion"})
            QVERIFY2(subMenu(window.get(), QString::fromLatin1(title))->isEnabled(), title);
        for (const QString &name : AppServer)
            QVERIFY2(!window->action(name)->isEnabled(), qPrintable(name));
        for (const char *name : {"server_remove", "server_modify"})
            QVERIFY2(!window->action(QString::fromLatin1(name))->isEnabled(), name);

        window->SetSessionCommands(false);
        QStringList off = enabledActions(*window);
        QStringList expected = AlwaysOn;
        expected << QStringLiteral("EditCut1") << QStringLiteral("EditCopy1") << QStringLiteral("EditPaste1");
        off.sort();
        expected.sort();
        // table_save_sql is now off too.
        QCOMPARE(off, expected);
        QVERIFY(!window->treeView()->isEnabled());
    }

    void appServerAndServerListSwitches()
    {
        auto window = makeWindow();
        // The grids' own state: the page control above them is still off.
        auto *pages = window->findChild<QTabWidget *>(QStringLiteral("PageControl1"));
        window->SetAppServerCommands(true);
        for (const QString &name : AppServer)
            QVERIFY2(window->action(name)->isEnabled(), qPrintable(name));
        QVERIFY(window->gridView(QStringLiteral("ListApplication"))->isEnabledTo(pages));
        QVERIFY(window->gridView(QStringLiteral("ListApplicationMsg"))->isEnabledTo(pages));
        // Only those seven changed.
        QCOMPARE(enabledActions(*window).size(), AlwaysOn.size() + 4 + AppServer.size());
        window->SetAppServerCommands(false);
        QVERIFY(!window->gridView(QStringLiteral("ListApplication"))->isEnabledTo(pages));
        QVERIFY(!window->gridView(QStringLiteral("ListApplicationMsg"))->isEnabledTo(pages));
        for (const QString &name : AppServer)
            QVERIFY2(!window->action(name)->isEnabled(), qPrintable(name));

        window->SetServerCommands(true);
        QVERIFY(window->action(QStringLiteral("server_remove"))->isEnabled());
        QVERIFY(window->action(QStringLiteral("server_modify"))->isEnabled());
        QCOMPARE(enabledActions(*window).size(), AlwaysOn.size() + 4 + 2);
        window->SetServerCommands(false);
        QVERIFY(!window->action(QStringLiteral("server_remove"))->isEnabled());
    }

    void editorNarrowsItsCommands_data()
    {
        QTest::addColumn<bool>("session");
        QTest::addColumn<bool>("canRedo");
        QTest::addColumn<bool>("canPaste");
        QTest::addColumn<bool>("hasSelection");
        QTest::newRow("connected, editor allows all") << true << true << true << true;
        QTest::newRow("connected, nothing to redo") << true << false << true << true;
        QTest::newRow("connected, no selection") << true << true << false << false;
        QTest::newRow("not connected, editor allows all") << false << true << true << true;
        QTest::newRow("not connected, no selection") << false << false << false << false;
    }
    void editorNarrowsItsCommands()
    {
        QFETCH(bool, session);
        QFETCH(bool, canRedo);
        QFETCH(bool, canPaste);
        QFETCH(bool, hasSelection);
        auto window = makeWindow();
        Q_EMIT window->sqlEditor()->commandStateChanged(canRedo, canPaste, hasSelection);
        window->SetSessionCommands(session);
        auto on = [&](const char *name) { return window->action(QString::fromLatin1(name))->isEnabled(); };
        QCOMPARE(on("server_redo"), session && canRedo);
        QCOMPARE(on("server_upper"), session && hasSelection);
        QCOMPARE(on("server_lower"), session && hasSelection);
        QCOMPARE(on("server_quote"), session && hasSelection);
        QCOMPARE(on("EditCut1"), hasSelection);
        QCOMPARE(on("EditCopy1"), hasSelection);
        QCOMPARE(on("EditPaste1"), canPaste);
        QCOMPARE(on("server_undo"), session);
        // The editor changing its mind later is followed too.
        Q_EMIT window->sqlEditor()->commandStateChanged(!canRedo, !canPaste, !hasSelection);
        QCOMPARE(on("server_redo"), session && !canRedo);
        QCOMPARE(on("EditPaste1"), !canPaste);
        QCOMPARE(on("EditCopy1"), !hasSelection);
    }

    void editorStatusGoesToThePanels()
    {
        auto window = makeWindow();
        Q_EMIT window->sqlEditor()->modeTextChanged(QStringLiteral(" Overwrite"));
        Q_EMIT window->sqlEditor()->caretTextChanged(QStringLiteral("     3:  14"));
        QCOMPARE(window->statusPanel(1)->text(), QStringLiteral(" Overwrite"));
        QCOMPARE(window->statusPanel(2)->text(), QStringLiteral("     3:  14"));
        QCOMPARE(window->statusPanel(0)->text(), QStringLiteral("database"));
    }

    void gridCaptions_data()
    {
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QStringList>("captions");
        QTest::newRow("data") << "AdvListView1" << QStringList();
        QTest::newRow("definition") << "AdvListView2"
                                    << QStringList{"ID", "Type", "Null", "Key", "Default", "Extra"};
        QTest::newRow("status") << "AdvListView3" << QStringList{"Name", "Value"};
        QTest::newRow("index") << "AdvListView4"
                               << QStringList{"Table", "Non unique", "Key name", "Seq in index", "Column name",
                                              "Collation", "Cardinality", "Sub part", "Packed", "Comment"};
        QTest::newRow("query") << "AdvListView5" << QStringList();
        QTest::newRow("info") << "AdvListView6" << QStringList();
        QTest::newRow("user") << "AdvListViewUser"
                              << QStringList{"Host", "User", "Password", "Select", "Insert", "Update",
                                             "Delete", "Create", "Drop", "Reload", "Shutdown", "Process",
                                             "File", "Grant", "Reference", "Index", "Alter"};
        QTest::newRow("host") << "AdvListViewHost"
                              << QStringList{"Host", "Database", "Select", "Insert", "Update", "Create",
                                             "Delete", "Drop", "Grand", "Reference", "Index", "Alter"};
        QTest::newRow("database") << "AdvListViewDatabase"
                                  << QStringList{"Host", "Database", "User", "Select", "Insert", "Update",
                                                 "Delete", "Create", "Drop", "Grand", "Reference", "Index",
                                                 "Alter"};
        QTest::newRow("jobs") << "ListApplication"
                              << QStringList{"Art", "Application", "Variable", "Status", "Date", "Interval",
                                             "Interval Date", "Mail Status", "Mail Address"};
        QTest::newRow("messages") << "ListApplicationMsg"
                                  << QStringList{"Application", "Error / Message", "Level", "User"};
    }
    void gridCaptions()
    {
        QFETCH(QString, grid);
        QFETCH(QStringList, captions);
        auto window = makeWindow();
        GridModel *model = window->grid(grid);
        QVERIFY(model);
        QStringList actual;
        for (int i = 0; i < model->columnCount(); ++i)
            actual << model->columnCaption(i);
        QCOMPARE(actual, captions);
        QTableView *view = window->gridView(grid);
        QCOMPARE(view->model(), model);
        QCOMPARE(view->objectName(), grid);
        QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(view->showGrid());
    }

    void dataGridGivesWayToTheReadingPanel()
    {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->SetSessionCommands(true);
        QTableView *grid = window->gridView(QStringLiteral("AdvListView1"));
        QLabel *panel = window->findChild<QLabel *>(QStringLiteral("PanelReadData"));
        QVERIFY(panel);
        QCOMPARE(panel->text(), QStringLiteral("Read Data from Database ..."));
        QVERIFY(panel->font().bold());
        QCOMPARE(panel->palette().color(QPalette::WindowText), QColor(128, 0, 0));
        QVERIFY(grid->isVisible() && !panel->isVisible());
        window->setDataGridVisible(false);
        QVERIFY(!grid->isVisible() && panel->isVisible());
        window->setDataGridVisible(true);
        QVERIFY(grid->isVisible());
    }

    void headerClicksSortTheDataGrid()
    {
        auto window = makeWindow();
        window->resize(900, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->SetSessionCommands(true);
        window->showPage(QStringLiteral("Table View"), QStringLiteral("Data View"));
        GridModel *model = window->grid(QStringLiteral("AdvListView1"));
        model->setColumns({QStringLiteral("id"), QStringLiteral("name")});
        for (const auto &row : {QStringList{"1", "n1"}, QStringList{"2", "n10"}, QStringList{"3", "n9"},
                                QStringList{"10", "N2"}})
            model->appendRow(row);
        QTableView *view = window->gridView(QStringLiteral("AdvListView1"));
        QHeaderView *header = view->horizontalHeader();
        auto clickHeader = [header](int column) {
            const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                                header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
        };
        auto columnTexts = [view](int column) {
            QStringList texts;
            for (int row = 0; row < view->model()->rowCount(); ++row)
                texts << view->model()->index(row, column).data().toString();
            return texts;
        };
        QVERIFY(!header->isSortIndicatorShown());

        clickHeader(1);
        QCOMPARE(columnTexts(1), (QStringList{"N2", "n1", "n10", "n9"})); // character codes
        QCOMPARE(columnTexts(0), (QStringList{"10", "1", "2", "3"}));    // rows stay whole
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), 1);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);

        clickHeader(1);
        QCOMPARE(columnTexts(1), (QStringList{"n9", "n10", "n1", "N2"}));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        clickHeader(1);
        QCOMPARE(columnTexts(1), (QStringList{"N2", "n1", "n10", "n9"}));

        // Another header starts ascending again.
        clickHeader(0);
        QCOMPARE(columnTexts(0), (QStringList{"1", "10", "2", "3"}));
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);

        // A new table: no mark, and the first click sorts ascending.
        model->clear();
        model->setColumns({QStringLiteral("id")});
        model->appendRow({QStringLiteral("b")});
        model->appendRow({QStringLiteral("a")});
        QVERIFY(!header->isSortIndicatorShown());
        clickHeader(0);
        QCOMPARE(columnTexts(0), (QStringList{"a", "b"}));

        // Rows a row store keeps sort on a worker: until they show sorted the
        // grid shows them as they were, and so does the mark.
        auto store = std::make_shared<RowStore>(2, 16 * 1024);
        constexpr int StoredRows = 5000;
        for (int i = 0; i < StoredRows; ++i) {
            const QByteArray key = QByteArray::number((i * 7919) % StoredRows);
            const QByteArray number = QByteArray::number(i);
            const char *cells[] = {key.constData(), number.constData()};
            const unsigned long lengths[] = {(unsigned long)key.size(), (unsigned long)number.size()};
            QVERIFY(store->appendRow(cells, lengths));
        }
        store->publish();
        QVERIFY(store->spilled()); // rows in the file: the sort runs on a worker
        model->setColumns({QStringLiteral("key"), QStringLiteral("row")});
        model->adoptRows(store);
        struct AtClick {
            bool running = false;
            bool markShown = false;
            Qt::SortOrder markOrder = Qt::AscendingOrder;
            QString firstRow;
        } atClick;
        // Runs right after the grid's own handler has asked for the sort.
        connect(header, &QHeaderView::sectionClicked, this, [&] {
            atClick = {model->sortRunning(), header->isSortIndicatorShown(), header->sortIndicatorOrder(),
                       model->text(0, 1)};
        });
        clickHeader(0);
        QVERIFY(atClick.running);
        QVERIFY(!atClick.markShown);
        QCOMPARE(atClick.firstRow, QStringLiteral("0"));
        QTRY_VERIFY(!model->sortRunning());
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QStringList keys = columnTexts(0);
        QVERIFY(std::is_sorted(keys.begin(), keys.end()));
        QCOMPARE(keys.size(), StoredRows);
        clickHeader(0);
        QVERIFY(atClick.running);
        QVERIFY(atClick.markShown);
        QCOMPARE(atClick.markOrder, Qt::AscendingOrder); // the order still shown
        QTRY_VERIFY(!model->sortRunning());
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        keys = columnTexts(0);
        QVERIFY(std::is_sorted(keys.rbegin(), keys.rend()));
        disconnect(header, &QHeaderView::sectionClicked, this, nullptr);
        model->clear();

        // A sort on a worker that cannot write its runs (the folder went
        // away) keeps the rows and the mark as they were, and the log says so.
        {
            auto folder = std::make_unique<QTemporaryDir>();
            QVERIFY(folder->isValid());
            const QString path = folder->path();
            auto lost = std::make_shared<RowStore>(2, 16 * 1024, path);
            for (int i = 0; i < StoredRows; ++i) {
                const QByteArray key = QByteArray::number((i * 7919) % StoredRows);
                const QByteArray number = QByteArray::number(i);
                const char *cells[] = {key.constData(), number.constData()};
                const unsigned long lengths[] = {(unsigned long)key.size(), (unsigned long)number.size()};
                QVERIFY(lost->appendRow(cells, lengths));
            }
            lost->publish();
            QVERIFY(lost->spilled());
            QVERIFY(QDir().rmdir(path));
            folder->setAutoRemove(false);
            model->setColumns({QStringLiteral("key"), QStringLiteral("row")});
            model->adoptRows(lost);
            const QStringList before = columnTexts(1);
            const int logLines = int(window->messageLog()->lines().size());
            clickHeader(0);
            QTRY_VERIFY(!model->sortRunning());
            QCOMPARE(columnTexts(1), before);
            QVERIFY(!header->isSortIndicatorShown());
            QCOMPARE(int(window->messageLog()->lines().size()), logLines + 1);
            QVERIFY2(window->messageLog()->lines().last().startsWith(QStringLiteral("The rows could not be sorted: ")),
                     qPrintable(window->messageLog()->lines().last()));
            model->clear();
        }

        // The definition grid keeps the server's order.
        window->showPage(QStringLiteral("Table View"), QStringLiteral("Definition View"));
        GridModel *definition = window->grid(QStringLiteral("AdvListView2"));
        definition->appendRow({QStringLiteral("b"), QStringLiteral("int")});
        definition->appendRow({QStringLiteral("a"), QStringLiteral("int")});
        QHeaderView *definitionHeader = window->gridView(QStringLiteral("AdvListView2"))->horizontalHeader();
        QTest::mouseClick(definitionHeader->viewport(), Qt::LeftButton, {},
                          QPoint(definitionHeader->sectionSize(0) / 2, definitionHeader->height() / 2));
        QCOMPARE(definition->text(0, 0), QStringLiteral("b"));
        QVERIFY(!definitionHeader->isSortIndicatorShown());
    }

    void tableGridColumnWidths_data()
    {
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QList<int>>("widths"); // the last column fills the rest
        QTest::newRow("definition") << "AdvListView2" << QList<int>{120, 80};
        QTest::newRow("status") << "AdvListView3" << QList<int>{250};
        QTest::newRow("index") << "AdvListView4" << QList<int>{120, 25, 80, 25, 100, 30, 30, 30, 80};
    }
    void tableGridColumnWidths()
    {
        QFETCH(QString, grid);
        QFETCH(QList<int>, widths);
        auto window = makeWindow();
        window->resize(1100, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->SetSessionCommands(true);
        auto *pages = window->findChild<QTabWidget *>(QStringLiteral("PageControlTable"));
        QTableView *view = window->gridView(grid);
        // The grid stands under its quick filter.
        pages->setCurrentWidget(view->parentWidget());
        QTRY_VERIFY(view->isVisible());
        for (int column = 0; column < widths.size(); ++column)
            QCOMPARE(view->columnWidth(column), widths.at(column));
        QHeaderView *header = view->horizontalHeader();
        const int last = header->count() - 1;
        QTRY_COMPARE(header->sectionViewportPosition(last) + header->sectionSize(last), view->viewport()->width());
        QVERIFY(header->sectionSize(last) > header->defaultSectionSize());
    }

    void showingActiveSqlFocusesTheEditor()
    {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->SetSessionCommands(true);
        auto *pages = window->findChild<QTabWidget *>(QStringLiteral("PageControl1"));
        auto *sql = window->findChild<QTabWidget *>(QStringLiteral("PageControlSql"));
        // A query result was last in front.
        window->showPage(QStringLiteral("Active SQL"), QStringLiteral("Query  Data"));
        QCOMPARE(sql->tabText(sql->currentIndex()), QStringLiteral("Query  Data"));
        window->showPage(QStringLiteral("Table View"));
        window->serverList()->setFocus();
        // The user clicks the "Active SQL" tab.
        QTabBar *tabs = pages->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("Active SQL"));
        QCOMPARE(sql->tabText(sql->currentIndex()), QStringLiteral("SQL Query"));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window->sqlEditor()->editor()));
        QCOMPARE(window->statusPanel(2)->text(), QStringLiteral("     1:   1"));
    }

    void showPageBringsPagesToFront()
    {
        auto window = makeWindow();
        window->showPage(QStringLiteral("Active SQL"), QStringLiteral("Query  Data"));
        auto *pages = window->findChild<QTabWidget *>(QStringLiteral("PageControl1"));
        QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("Active SQL"));
        auto *sql = qobject_cast<QTabWidget *>(pages->currentWidget());
        QVERIFY(sql);
        QCOMPARE(sql->tabText(sql->currentIndex()), QStringLiteral("Query  Data"));
        window->showPage(QStringLiteral("Table View"), QStringLiteral("Table Index"));
        auto *table = qobject_cast<QTabWidget *>(pages->currentWidget());
        QCOMPARE(table->tabText(table->currentIndex()), QStringLiteral("Table Index"));
        QStringList captions;
        for (int i = 0; i < pages->count(); ++i)
            captions << pages->tabText(i);
        QCOMPARE(captions, (QStringList{"Table View", "Active SQL", "MySQL Administration", "Database Info",
                                        "Application Server", "Auto Database Log"}));
    }

    void messageLogShowsAppendedLines()
    {
        auto window = makeWindow();
        auto *memo = window->findChild<QPlainTextEdit *>(QStringLiteral("Memo"));
        QVERIFY(memo);
        // The start's empty line reaches the view on its own first.
        QCoreApplication::processEvents();
        window->messageLog()->append(QStringLiteral("first"));
        window->messageLog()->append(QString());
        window->messageLog()->append(QStringLiteral("Error : third"));
        QTRY_COMPARE(memo->toPlainText(), QStringLiteral("\nfirst\n\nError : third"));
        window->messageLog()->clear();
        QTRY_COMPARE(memo->toPlainText(), QString());
        window->messageLog()->append(QString());
        QCoreApplication::processEvents();
        window->messageLog()->append(QString());
        QTRY_COMPARE(memo->blockCount(), 2);
        window->messageLog()->clear();
        // Many lines at once arrive complete and in order.
        for (int i = 0; i < 5000; ++i)
            window->messageLog()->append(QString::number(i));
        QTRY_COMPARE(memo->blockCount(), 5000);
        QCOMPARE(memo->document()->findBlockByNumber(4999).text(), QStringLiteral("4999"));
        QCOMPARE(memo->document()->findBlockByNumber(0).text(), QStringLiteral("0"));
    }

    void clipboardCommandsActOnTheFocusedControl()
    {
        auto window = makeWindow();
        window->AddServerItem(QStringLiteral("alpha"));
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->SetSessionCommands(true);
        window->treeModel()->appendRow(new QStandardItem(QStringLiteral("shop")));
        window->grid(QStringLiteral("AdvListView2"))->appendRow({QStringLiteral("id"), QStringLiteral("int(11)")});
        window->showPage(QStringLiteral("Table View"), QStringLiteral("Definition View"));
        QTableView *grid = window->gridView(QStringLiteral("AdvListView2"));
        SqlEditor *editor = window->sqlEditor()->editor();
        editor->setText(QStringLiteral("select 1"));
        editor->setSelection(0, 0, 0, 6);
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("PASTED"));
        QAction *cut = window->action(QStringLiteral("EditCut1"));
        QAction *copy = window->action(QStringLiteral("EditCopy1"));
        QAction *paste = window->action(QStringLiteral("EditPaste1"));
        auto focus = [](QWidget *widget) {
            widget->setFocus();
            return QTest::qWaitFor([widget] { return QApplication::focusWidget() == widget; });
        };

        // Neither the keys nor the menu and toolbar reach the hidden editor.
        const QList<QWidget *> views = {window->serverList(), window->treeView(), grid};
        for (QWidget *view : views) {
            QVERIFY2(focus(view), qPrintable(view->objectName()));
            QVERIFY2(!paste->isEnabled() && !cut->isEnabled(), qPrintable(view->objectName()));
            QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
            QTest::keyClick(view, Qt::Key_X, Qt::ControlModifier);
            paste->trigger();
            cut->trigger();
            QCOMPARE(editor->text(), QStringLiteral("select 1"));
            QCOMPARE(clipboard->text(), QStringLiteral("PASTED"));
        }

        // Copy in a grid copies its selected row (every cell, tab-separated),
        // in the tree the current node; not the editor's selection.
        QVERIFY(focus(grid));
        grid->setCurrentIndex(grid->model()->index(0, 1));
        QVERIFY(copy->isEnabled());
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("id\tint(11)\t\t\t\t"));
        QVERIFY(focus(window->treeView()));
        window->treeView()->setCurrentIndex(window->treeModel()->index(0, 0));
        QTest::keyClick(window->treeView(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("shop"));
        // A grid may copy in its own way.
        window->clipboardCommands()->setCopyHandler(grid, [clipboard] {
            clipboard->setText(QStringLiteral("id\tint(11)"));
        });
        QVERIFY(focus(grid));
        copy->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("id\tint(11)"));
        window->clipboardCommands()->setCopyHandler(grid, nullptr);

        // The message log: its own selection is copied, nothing is pasted.
        auto *memo = window->findChild<QPlainTextEdit *>(QStringLiteral("Memo"));
        window->messageLog()->append(QStringLiteral("Error : in the log"));
        QTRY_VERIFY(memo->toPlainText().contains(QStringLiteral("in the log")));
        QVERIFY(focus(memo));
        memo->selectAll();
        QVERIFY(copy->isEnabled());
        QVERIFY(!paste->isEnabled());
        QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text().trimmed(), memo->toPlainText().trimmed());
        paste->trigger();
        QCOMPARE(editor->text(), QStringLiteral("select 1"));

        // With the focus in the editor the commands are the editor's, and
        // Paste is on only while the clipboard holds text.
        window->showPage(QStringLiteral("Active SQL"), QStringLiteral("SQL Query"));
        QVERIFY(focus(editor));
        editor->setSelection(0, 0, 0, 6);
        clipboard->clear();
        QTRY_VERIFY(!paste->isEnabled());
        clipboard->setText(QStringLiteral("PASTED"));
        QTRY_VERIFY(paste->isEnabled());
        QVERIFY(cut->isEnabled() && copy->isEnabled());
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(editor->text(), QStringLiteral("PASTED 1"));
    }

    void messageLogFollowsEveryLine()
    {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto *memo = window->findChild<QPlainTextEdit *>(QStringLiteral("Memo"));
        QVERIFY(memo);
        // The last line stands wholly inside the view, its start in sight.
        auto lastLineShown = [memo] {
            const QTextBlock last = memo->document()->lastBlock();
            const QRect line = memo->cursorRect(QTextCursor(last));
            return memo->viewport()->rect().contains(line) && memo->horizontalScrollBar()->value() == 0;
        };
        for (int i = 0; i < 30; ++i)
            window->messageLog()->append(QStringLiteral("line %1").arg(i));
        QTRY_COMPARE(memo->blockCount(), 31);
        QTRY_VERIFY(lastLineShown());

        // A line wider than the log brings a horizontal scroll bar; it and
        // every line after it are still brought into view.
        window->messageLog()->append(QStringLiteral("Error : ") + QString(600, u'x'));
        QTRY_COMPARE(memo->blockCount(), 32);
        QTRY_VERIFY(memo->horizontalScrollBar()->isVisible());
        QTRY_VERIFY(lastLineShown());
        for (int i = 0; i < 5; ++i) {
            window->messageLog()->append(QStringLiteral("after %1").arg(i));
            QTRY_VERIFY(memo->document()->lastBlock().text() == QStringLiteral("after %1").arg(i));
            QTRY_VERIFY(lastLineShown());
        }

        // A user who scrolled back to read still sees the next line arrive.
        memo->verticalScrollBar()->setValue(0);
        window->messageLog()->append(QStringLiteral("latest"));
        QTRY_COMPARE(memo->document()->lastBlock().text(), QStringLiteral("latest"));
        QTRY_VERIFY(lastLineShown());
    }

    void closeConfirmation_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("close box, No") << "window" << false << false;
        QTest::newRow("close box, Yes") << "window" << true << false;
        QTest::newRow("menu Close, Yes") << "Close1" << true << false;
        QTest::newRow("tray menu while hidden, No") << "help_Close" << false << true;
        QTest::newRow("tray menu while hidden, Yes") << "help_Close" << true << true;
    }
    void closeConfirmation()
    {
        QFETCH(QString, route);
        QFETCH(bool, yes);
        QFETCH(bool, hidden);
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->move(130, 90);
        window->resize(720, 510);
        if (hidden)
            window->hide();
        QSignalSpy closing(window.get(), &TFormMain::aboutToClose);
        QString asked;
        answerMessageBox(yes ? QMessageBox::Yes : QMessageBox::No, &asked);
        if (route == QLatin1String("window"))
            window->close();
        else if (route == QLatin1String("Close1"))
            window->findChild<QAction *>(QStringLiteral("Close1"))->trigger();
        else
            window->action(route)->trigger();
        QCOMPARE(asked, QStringLiteral("Application close ?"));
        QCOMPARE(closing.size(), yes ? 1 : 0);
        QCOMPARE(QFileInfo(path()).size() > 0, yes);
        if (yes) {
            QVERIFY(!window->isVisible());
            QSettings raw(this->path(), QSettings::IniFormat);
            QCOMPARE(raw.value(QStringLiteral("Left")).toString(), QString::number(window->frameGeometry().x()));
            QCOMPARE(raw.value(QStringLiteral("Width")).toString(), QStringLiteral("720"));
            QCOMPARE(raw.value(QStringLiteral("Height")).toString(), QStringLiteral("510"));
            QCOMPARE(raw.value(QStringLiteral("Max")).toString(), QStringLiteral("0"));
            QCOMPARE(raw.value(QStringLiteral("DBL")).toString(), QStringLiteral("100"));
        } else {
            QCOMPARE(window->isVisible(), !hidden);
        }
    }

    void shownWindowGivesFocusToTheServerList()
    {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window->serverList()));
        window->treeView()->setEnabled(true);
        window->treeView()->setFocus();
        window->hide();
        window->action(QStringLiteral("help_Show"))->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_COMPARE(window->focusWidget(), static_cast<QWidget *>(window->serverList()));
    }

    void hidingWithoutANotificationAreaKeepsAWindow()
    {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->findChild<QAction *>(QStringLiteral("HideQuarnel"))->trigger();
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            QVERIFY(!window->isVisible());
            QVERIFY(window->trayIcon()->isVisible());
        } else {
            // Nothing could bring a hidden window back: it is minimized instead.
            QVERIFY(window->isVisible());
            QVERIFY(window->isMinimized());
        }
        window->action(QStringLiteral("help_Show"))->trigger();
        QVERIFY(window->isVisible());
        QVERIFY(!window->isMinimized());
        QVERIFY(!window->trayIcon()->isVisible());
        QCOMPARE(window->trayIcon()->toolTip(), QStringLiteral("Quarnel"));
    }

    void menusAndToolbarsReferToTheActions()
    {
        auto window = makeWindow();
        QStringList titles;
        for (QAction *entry : window->menuBar()->actions())
            titles << entry->text();
        QCOMPARE(titles, (QStringList{"&Server", "&Database", "&Tables", "&Query", "&Administration", "&Tools",
                                      "&Help"}));
        auto names = [](const QList<QAction *> &entries) {
            QStringList out;
            for (QAction *entry : entries)
                out << (entry->isSeparator() ? QStringLiteral("|") : entry->objectName());
            return out;
        };
        auto *table = window->findChild<QToolBar *>(QStringLiteral("ToolBarTable"));
        QVERIFY(table);
        QCOMPARE(table->windowTitle(), QStringLiteral("Table Toolbar"));
        QCOMPARE(names(table->actions()),
                 (QStringList{"table_create", "table_modify", "table_drop", "|", "table_def", "table_property",
                              "table_index", "table_optimize"}));
        QCOMPARE(table->toolButtonStyle(), Qt::ToolButtonIconOnly);
        // Every toolbar button shows an image of the icon theme (the set-up
        // installs the fallback theme), none a drawn letter badge.
        for (QToolBar *bar : window->findChildren<QToolBar *>()) {
            for (QAction *entry : bar->actions()) {
                if (entry->isSeparator())
                    continue;
                QVERIFY2(!entry->icon().name().isEmpty(), qPrintable(entry->objectName()));
                QVERIFY2(!entry->icon().pixmap(20, 20).isNull(), qPrintable(entry->objectName()));
            }
        }
        auto *tray = window->popupMenu(QStringLiteral("PopupMenuTray"));
        QCOMPARE(names(tray->actions()), (QStringList{"help_about", "|", "help_Show", "help_Close"}));
        QCOMPARE(names(window->popupMenu(QStringLiteral("PopupServer"))->actions()),
                 (QStringList{"server_add", "server_remove", "server_modify"}));
        // The same QAction everywhere: disabling it disables every entry.
        QCOMPARE(tray->actions().constFirst(), window->action(QStringLiteral("help_about")));
    }

    void accessibleNamesAreUniqueAndMeaningful()
    {
        auto window = makeWindow();
        QHash<QString, QString> seen;
        const auto widgets = window->findChildren<QWidget *>();
        for (QWidget *widget : widgets) {
            // Dialogs are windows of their own.
            if (widget->window() != window.get())
                continue;
            // Qt's own scroll buttons of every tab strip carry the same names.
            if (qobject_cast<QTabBar *>(widget->parentWidget()))
                continue;
            const QString name = widget->accessibleName();
            if (name.isEmpty())
                continue;
            QVERIFY2(!seen.contains(name), qPrintable(name + QStringLiteral(" on ") + widget->objectName()
                                                      + QStringLiteral(" and ") + seen.value(name)));
            seen.insert(name, widget->objectName());
        }
        const QHash<QString, QString> required = {
            {QStringLiteral("TreeServer"), QStringLiteral("Databases and Tables")},
            {QStringLiteral("ListServer"), QStringLiteral("Server List")},
            {QStringLiteral("Memo"), QStringLiteral("Messages and Error Display...")},
            {QStringLiteral("Memolog"), QStringLiteral("Auto Database Log")},
            {QStringLiteral("AdvListView1"), QStringLiteral("Data View")},
            {QStringLiteral("AdvListView2"), QStringLiteral("Definition View")},
        };
        for (auto it = required.cbegin(); it != required.cend(); ++it) {
            auto *widget = window->findChild<QWidget *>(it.key());
            QVERIFY2(widget, qPrintable(it.key()));
            QCOMPARE(widget->accessibleName(), it.value());
        }
        const QStringList grids = {"AdvListView3", "AdvListView4", "AdvListView5", "AdvListView6",
                                   "AdvListViewUser", "AdvListViewHost", "AdvListViewDatabase",
                                   "ListApplication", "ListApplicationMsg"};
        for (const QString &grid : grids)
            QVERIFY2(!window->gridView(grid)->accessibleName().isEmpty(), qPrintable(grid));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

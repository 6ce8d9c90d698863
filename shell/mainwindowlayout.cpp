// Building the main window's controls, menus, toolbars and pop-ups.

#include "shell/mainwindow_p.h"

#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"
#include "editor/historypanel.h"
#include "editor/sqleditortabs.h"
#include "shell/actiontable.h"
#include "shell/autologchart.h"
#include "shell/gridfilter.h"
#include "shell/gridviews.h"
#include "shell/processrefresh.h"
#include "shell/resulttabs.h"
#include "shell/rowlimitbar.h"
#include "dialogs/splash.h"

#include <QAction>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <memory>

namespace {

QLabel *titleStrip(const QString &text, QWidget *parent)
{
    auto *strip = new QLabel(text, parent);
    strip->setFrameShape(QFrame::Panel);
    strip->setFrameShadow(QFrame::Raised);
    strip->setAutoFillBackground(true);
    strip->setContentsMargins(2, 2, 2, 2);
    QFont font = strip->font();
    font.setBold(true);
    strip->setFont(font);
    return strip;
}

QWidget *stripOver(QLabel *strip, QWidget *content, QWidget *parent)
{
    auto *box = new QWidget(parent);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    strip->setParent(box);
    content->setParent(box);
    layout->addWidget(strip);
    layout->addWidget(content, 1);
    return box;
}

// A click on a column header sorts the rows by that column's text in
// character-code order; a second click on the same header reverses the
// order. The mark shows the order the rows stand in: a sort that runs on a
// worker (a large result) moves it when its rows show. It goes when the grid
// is refilled.
void sortOnHeaderClicks(QTableView *view, GridModel *model)
{
    QHeaderView *header = view->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    struct Sorted {
        int column = -1;
        Qt::SortOrder order = Qt::AscendingOrder;
    };
    struct State {
        Sorted asked; // the last click (the header flips its own mark on a click before it reports it)
        Sorted shown; // the mark
    };
    auto state = std::make_shared<State>();
    auto showMark = [header, state] {
        if (state->shown.column < 0) {
            header->setSortIndicatorShown(false);
            return;
        }
        header->setSortIndicator(state->shown.column, state->shown.order);
        header->setSortIndicatorShown(true);
    };
    // The rows stand in the asked order once the model says so.
    auto follow = [model, state, showMark] {
        if (state->asked.column >= 0 && !model->sortRunning() && model->sortColumn() == state->asked.column
            && model->sortOrder() == state->asked.order)
            state->shown = state->asked;
        showMark();
    };
    QObject::connect(header, &QHeaderView::sectionClicked, view, [model, state, follow](int column) {
        const bool reverse = state->asked.column == column && state->asked.order == Qt::AscendingOrder;
        state->asked = {column, reverse ? Qt::DescendingOrder : Qt::AscendingOrder};
        model->sort(column, state->asked.order);
        follow();
    });
    QObject::connect(model, &GridModel::sortFinished, view, follow);
    QObject::connect(model, &QAbstractItemModel::modelReset, view, [header, state] {
        *state = State();
        header->setSortIndicatorShown(false);
    });
}

} // namespace

void TFormMain::Private::buildActions()
{
    actions = createActions(q);
    int count = 0;
    const ActionSpec *table = actionTable(&count);
    for (int i = 0; i < count; ++i) {
        const QString name = QString::fromLatin1(table[i].name);
        const QString switches = QString::fromLatin1(table[i].switches);
        if (switches.contains(QLatin1Char('S')))
            sessionActions.append(name);
        if (switches.contains(QLatin1Char('A')))
            appServerActions.append(name);
        if (switches.contains(QLatin1Char('R')))
            statementActions.append(name);
        // Shortcuts work while the window has focus, whatever control has it.
        q->addAction(actions.value(name));
    }
    groupedUndo = new QAction(QStringLiteral("&Grouped undo"), q);
    groupedUndo->setObjectName(QStringLiteral("GroupedUndo"));
    groupedUndo->setCheckable(true);
    groupedUndo->setChecked(true);
    undoAfterSave = new QAction(QStringLiteral("&Undo after save"), q);
    undoAfterSave->setObjectName(QStringLiteral("UndoAfterSave"));
    undoAfterSave->setCheckable(true);
    undoAfterSave->setChecked(true);
    hideEntry = new QAction(QStringLiteral("Hide Quarnel"), q);
    hideEntry->setObjectName(QStringLiteral("HideQuarnel"));
    closeEntry = new QAction(QStringLiteral("&Close"), q);
    closeEntry->setObjectName(QStringLiteral("Close1"));
}

QTableView *TFormMain::Private::addGrid(const QString &name, const QString &accessibleName,
                                        const QStringList &captions, QWidget *parent, const QList<int> &widths)
{
    auto *model = new GridModel(q);
    model->setObjectName(name);
    // A sort that ran on a worker and failed leaves the rows in the order
    // they were; the log says why.
    QObject::connect(model, &GridModel::sortFinished, q, [this, model] {
        if (!model->sortError().isEmpty() && log)
            log->append(QStringLiteral("The rows could not be sorted: ") + model->sortError());
    });
    if (!captions.isEmpty())
        model->setColumns(captions, widths);
    auto *view = new QTableView(parent);
    view->setObjectName(name);
    view->setAccessibleName(accessibleName);
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setShowGrid(true);
    view->setWordWrap(false);
    view->verticalHeader()->setVisible(false);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setHighlightSections(false);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view, &QWidget::customContextMenuRequested, q, [this, name, view](const QPoint &pos) {
        gridSupport->showContextMenu(view, gridPopups.value(name), pos);
    });
    // The privilege and job grids keep their double click for their dialogs.
    static const QStringList viewerGrids = {QStringLiteral("AdvListView1"), QStringLiteral("AdvListView2"),
                                            QStringLiteral("AdvListView3"), QStringLiteral("AdvListView4"),
                                            QStringLiteral("AdvListView5"), QStringLiteral("AdvListView6")};
    gridSupport->addView(view, viewerGrids.contains(name));
    grids.insert(name, model);
    gridViews.insert(name, view);
    return view;
}

QWidget *TFormMain::Private::filtered(QTableView *view)
{
    return GridFilter::wrap(view, view->objectName());
}

void TFormMain::Private::buildLayout()
{
    gridSupport = new GridViewSupport(q);
    // Left column: the tree over the server list.
    auto *leftSplitter = new QSplitter(Qt::Vertical);
    leftSplitter->setObjectName(QStringLiteral("LeftSplitter"));
    treeModel = new QStandardItemModel(q);
    tree = new QTreeView;
    tree->setObjectName(QStringLiteral("TreeServer"));
    tree->setAccessibleName(QStringLiteral("Databases and Tables"));
    tree->setModel(treeModel);
    tree->setHeaderHidden(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree->setRootIsDecorated(true);
    tree->setItemsExpandable(true);
    tree->setEnabled(false);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    leftSplitter->addWidget(tree);

    serverStrip = titleStrip(QStringLiteral(" Server List"), nullptr);
    serverStrip->setObjectName(QStringLiteral("PanelServerList"));
    serverList = new QListWidget;
    serverList->setObjectName(QStringLiteral("ListServer"));
    serverList->setAccessibleName(QStringLiteral("Server List"));
    serverList->setSelectionMode(QAbstractItemView::SingleSelection);
    serverList->setSelectionBehavior(QAbstractItemView::SelectRows);
    serverList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    {
        // The selection stays visible when the list loses focus.
        QPalette palette = serverList->palette();
        palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
        palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         palette.color(QPalette::Active, QPalette::HighlightedText));
        serverList->setPalette(palette);
    }
    leftSplitter->addWidget(stripOver(serverStrip, serverList, leftSplitter));
    leftSplitter->setStretchFactor(0, 1);
    leftSplitter->setStretchFactor(1, 0);
    leftSplitter->setSizes({300, 146});

    // Right side: the pages over the message log.
    pageControl = new QTabWidget;
    pageControl->setObjectName(QStringLiteral("PageControl1"));
    pageControl->setEnabled(false);

    tableViewPages = new QTabWidget;
    tableViewPages->setObjectName(QStringLiteral("PageControlTable"));
    dataStack = new QStackedWidget;
    dataStack->setObjectName(QStringLiteral("PanelData"));
    auto *readingPanel = new QLabel(QStringLiteral("Read Data from Database ..."));
    readingPanel->setObjectName(QStringLiteral("PanelReadData"));
    readingPanel->setAlignment(Qt::AlignCenter);
    {
        QFont font = readingPanel->font();
        font.setBold(true);
        readingPanel->setFont(font);
        QPalette palette = readingPanel->palette();
        palette.setColor(QPalette::WindowText, QColor(128, 0, 0)); // dark red
        readingPanel->setPalette(palette);
    }
    readingPanel->setAccessibleName(QStringLiteral("Read Data from Database ..."));
    dataStack->addWidget(readingPanel);
    // The grid under the line that says how much of the table it shows.
    auto *dataPage = new QWidget;
    dataPage->setObjectName(QStringLiteral("PanelDataGrid"));
    auto *dataLayout = new QVBoxLayout(dataPage);
    dataLayout->setContentsMargins(0, 0, 0, 0);
    dataLayout->setSpacing(0);
    rowLimitBar = new RowLimitBar(actions.value(QStringLiteral("table_show_all")),
                                  actions.value(QStringLiteral("table_next_rows")), dataPage);
    QTableView *dataGrid = addGrid(QStringLiteral("AdvListView1"), QStringLiteral("Data View"), {}, dataPage);
    sortOnHeaderClicks(dataGrid, grids.value(QStringLiteral("AdvListView1")));
    dataLayout->addWidget(rowLimitBar);
    dataLayout->addWidget(GridFilter::wrap(dataGrid, QStringLiteral("AdvListView1")), 1);
    dataStack->addWidget(dataPage);
    dataStack->setCurrentIndex(1);
    tableViewPages->addTab(dataStack, QStringLiteral("Data View"));
    // Widths in pixels; the last column of these three fills the rest.
    const int Default = GridModel::DefaultWidth;
    const int Fill = GridModel::FillWidth;
    tableViewPages->addTab(filtered(addGrid(QStringLiteral("AdvListView2"), QStringLiteral("Definition View"),
                                   {QStringLiteral("ID"), QStringLiteral("Type"), QStringLiteral("Null"),
                                    QStringLiteral("Key"), QStringLiteral("Default"), QStringLiteral("Extra")},
                                   nullptr, {120, 80, Default, Default, Default, Fill})),
                           QStringLiteral("Definition View"));
    tableViewPages->addTab(filtered(addGrid(QStringLiteral("AdvListView3"), QStringLiteral("Table Status"),
                                   {QStringLiteral("Name"), QStringLiteral("Value")}, nullptr, {250, Fill})),
                           QStringLiteral("Table Status"));
    tableViewPages->addTab(
        filtered(addGrid(QStringLiteral("AdvListView4"), QStringLiteral("Table Index"),
                QStringList{QStringLiteral("Table"), QStringLiteral("Non unique"), QStringLiteral("Key name"),
                            QStringLiteral("Seq in index"), QStringLiteral("Column name"),
                            QStringLiteral("Collation"), QStringLiteral("Cardinality"), QStringLiteral("Sub part"),
                            QStringLiteral("Packed"), QStringLiteral("Comment")},
                nullptr, {120, 25, 80, 25, 100, 30, 30, 30, 80, Fill})),
        QStringLiteral("Table Index"));
    pageControl->addTab(tableViewPages, QStringLiteral("Table View"));

    sqlPages = new QTabWidget;
    sqlPages->setObjectName(QStringLiteral("PageControlSql"));
    editorTabs = new SqlEditorTabs;
    sqlPages->addTab(editorTabs, QStringLiteral("SQL Query"));
    // The result grid under a line that says how many rows came.
    auto *queryPage = new QWidget;
    queryPage->setObjectName(QStringLiteral("PanelQueryData"));
    auto *queryLayout = new QVBoxLayout(queryPage);
    queryLayout->setContentsMargins(0, 0, 0, 0);
    queryLayout->setSpacing(0);
    queryRows = new QLabel(queryPage);
    queryRows->setObjectName(QStringLiteral("LabelQueryRows"));
    queryRows->setAccessibleName(QStringLiteral("Rows of the result"));
    queryRows->setContentsMargins(4, 2, 4, 2);
    queryRows->hide();
    QTableView *queryGrid = addGrid(QStringLiteral("AdvListView5"), QStringLiteral("Query Data"), {}, queryPage);
    queryLayout->addWidget(queryRows);
    // Each result set of a run on a tab of its own; the last is this grid.
    resultTabs = new ResultTabs(filtered(queryGrid), [this](GridModel *model, const QString &accessibleName) {
        auto *view = new QTableView;
        view->setObjectName(QStringLiteral("ResultGrid"));
        view->setAccessibleName(accessibleName);
        view->setModel(model);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setShowGrid(true);
        view->setWordWrap(false);
        view->verticalHeader()->setVisible(false);
        view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
        view->horizontalHeader()->setHighlightSections(false);
        gridSupport->addView(view, true);
        return filtered(view);
    }, queryPage);
    queryLayout->addWidget(resultTabs, 1);
    GridModel *queryModel = grids.value(QStringLiteral("AdvListView5"));
    auto countRows = [this, queryModel] {
        queryRows->setVisible(queryModel->columnCount() > 0);
        queryRows->setText(RowCountText(queryModel->rowCount()));
    };
    QObject::connect(queryModel, &QAbstractItemModel::modelReset, queryRows, countRows);
    QObject::connect(queryModel, &QAbstractItemModel::rowsInserted, queryRows, countRows);
    QObject::connect(queryModel, &QAbstractItemModel::rowsRemoved, queryRows, countRows);
    sqlPages->addTab(queryPage, QStringLiteral("Query  Data"));
    historyPanel = new HistoryPanel;
    sqlPages->addTab(historyPanel, QStringLiteral("History"));
    pageControl->addTab(sqlPages, QStringLiteral("Active SQL"));

    adminPages = new QTabWidget;
    adminPages->setObjectName(QStringLiteral("PageControlAdmin"));
    adminPages->addTab(
        filtered(addGrid(QStringLiteral("AdvListViewUser"), QStringLiteral("User"),
                QStringList{QStringLiteral("Host"), QStringLiteral("User"), QStringLiteral("Password"),
                            QStringLiteral("Select"), QStringLiteral("Insert"), QStringLiteral("Update"),
                            QStringLiteral("Delete"), QStringLiteral("Create"), QStringLiteral("Drop"),
                            QStringLiteral("Reload"), QStringLiteral("Shutdown"), QStringLiteral("Process"),
                            QStringLiteral("File"), QStringLiteral("Grant"), QStringLiteral("Reference"),
                            QStringLiteral("Index"), QStringLiteral("Alter")},
                nullptr)),
        QStringLiteral("User"));
    adminPages->addTab(
        filtered(addGrid(QStringLiteral("AdvListViewHost"), QStringLiteral("Host"),
                QStringList{QStringLiteral("Host"), QStringLiteral("Database"), QStringLiteral("Select"),
                            QStringLiteral("Insert"), QStringLiteral("Update"), QStringLiteral("Create"),
                            QStringLiteral("Delete"), QStringLiteral("Drop"), QStringLiteral("Grand"),
                            QStringLiteral("Reference"), QStringLiteral("Index"), QStringLiteral("Alter")},
                nullptr)),
        QStringLiteral("Host"));
    adminPages->addTab(
        filtered(addGrid(QStringLiteral("AdvListViewDatabase"), QStringLiteral("Database"),
                QStringList{QStringLiteral("Host"), QStringLiteral("Database"), QStringLiteral("User"),
                            QStringLiteral("Select"), QStringLiteral("Insert"), QStringLiteral("Update"),
                            QStringLiteral("Delete"), QStringLiteral("Create"), QStringLiteral("Drop"),
                            QStringLiteral("Grand"), QStringLiteral("Reference"), QStringLiteral("Index"),
                            QStringLiteral("Alter")},
                nullptr)),
        QStringLiteral("Database"));
    pageControl->addTab(adminPages, QStringLiteral("MySQL Administration"));

    auto *infoPage = new QWidget;
    infoPage->setObjectName(QStringLiteral("TabDatabaseInfo"));
    auto *infoLayout = new QVBoxLayout(infoPage);
    infoLayout->setContentsMargins(0, 0, 0, 0);
    infoLayout->setSpacing(0);
    infoTabs = new QTabBar(infoPage);
    infoTabs->setObjectName(QStringLiteral("TabInfo"));
    infoTabs->setAccessibleName(QStringLiteral("Database Info Listing"));
    infoTabs->addTab(QStringLiteral("System Variables "));
    infoTabs->addTab(QStringLiteral("Status Informationen"));
    infoTabs->addTab(QStringLiteral("Process List"));
    infoTabs->setExpanding(false);
    infoLayout->addWidget(infoTabs);
    infoLayout->addWidget(processRefresh = new ProcessRefresh(infoPage));
    infoLayout->addWidget(
        filtered(addGrid(QStringLiteral("AdvListView6"), QStringLiteral("Database Info"), {}, infoPage)), 1);
    pageControl->addTab(infoPage, QStringLiteral("Database Info"));

    auto *appPage = new QSplitter(Qt::Vertical);
    appPage->setObjectName(QStringLiteral("TabAppserver"));
    appPage->addWidget(addGrid(QStringLiteral("ListApplication"), QStringLiteral("Application List"),
                               {QStringLiteral("Art"), QStringLiteral("Application"), QStringLiteral("Variable"),
                                QStringLiteral("Status"), QStringLiteral("Date"), QStringLiteral("Interval"),
                                QStringLiteral("Interval Date"), QStringLiteral("Mail Status"),
                                QStringLiteral("Mail Address")},
                               appPage));
    appPage->addWidget(addGrid(QStringLiteral("ListApplicationMsg"), QStringLiteral("Application Messages"),
                               {QStringLiteral("Application"), QStringLiteral("Error / Message"),
                                QStringLiteral("Level"), QStringLiteral("User")},
                               appPage));
    appPage->setStretchFactor(0, 1);
    appPage->setStretchFactor(1, 0);
    appPage->setSizes({300, 150});
    pageControl->addTab(appPage, QStringLiteral("Application Server"));

    memolog = new QPlainTextEdit;
    memolog->setObjectName(QStringLiteral("Memolog"));
    memolog->setAccessibleName(QStringLiteral("Auto Database Log"));
    memolog->setReadOnly(true);
    memolog->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto *autoLogPage = new QSplitter(Qt::Vertical);
    autoLogPage->setObjectName(QStringLiteral("TabAutoLog"));
    autoLogChart = new AutoLogChart(autoLogPage);
    autoLogPage->addWidget(autoLogChart);
    autoLogPage->addWidget(memolog);
    autoLogPage->setStretchFactor(0, 1);
    autoLogPage->setStretchFactor(1, 1);
    pageControl->addTab(autoLogPage, QStringLiteral("Auto Database Log"));
    pageControl->setCurrentIndex(0);
    // At the first start's small size the page tabs do not all fit: they
    // keep their whole captions and the bar scrolls, rather than tabs being
    // cut off or shortened past reading.
    for (QTabWidget *pages : {pageControl, tableViewPages, sqlPages, adminPages}) {
        pages->setUsesScrollButtons(true);
        pages->setElideMode(Qt::ElideNone);
    }
    infoTabs->setUsesScrollButtons(true);
    infoTabs->setElideMode(Qt::ElideNone);

    auto *messageStrip = titleStrip(QStringLiteral("   Messages and Error Display..."), nullptr);
    messageStrip->setObjectName(QStringLiteral("PanelMessages"));
    memo = new QPlainTextEdit;
    memo->setObjectName(QStringLiteral("Memo"));
    memo->setAccessibleName(QStringLiteral("Messages and Error Display..."));
    memo->setReadOnly(true);
    memo->setUndoRedoEnabled(false);
    // As many lines as the message log keeps: the oldest go first.
    memo->setMaximumBlockCount(MessageLog::MaxLines);
    memo->setMaximumBlockCount(0);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto *rightSplitter = new QSplitter(Qt::Vertical);
    rightSplitter->setObjectName(QStringLiteral("RightSplitter"));
    rightSplitter->addWidget(pageControl);
    rightSplitter->addWidget(stripOver(messageStrip, memo, rightSplitter));
    rightSplitter->setStretchFactor(0, 1);
    rightSplitter->setStretchFactor(1, 0);
    rightSplitter->setSizes({300, 147});

    auto *mainSplitter = new QSplitter(Qt::Horizontal);
    mainSplitter->setObjectName(QStringLiteral("MainSplitter"));
    mainSplitter->addWidget(leftSplitter);
    mainSplitter->addWidget(rightSplitter);
    mainSplitter->setStretchFactor(0, 0);
    mainSplitter->setStretchFactor(1, 1);
    mainSplitter->setSizes({226, 414});
    q->setCentralWidget(mainSplitter);
}

void TFormMain::Private::fill(QMenu *menu, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (qstrcmp(name, "-") == 0) {
            menu->addSeparator();
            continue;
        }
        QAction *action = actions.value(QString::fromLatin1(name));
        Q_ASSERT_X(action, "TFormMain::fill", name);
        if (action)
            menu->addAction(action);
    }
}

void TFormMain::Private::buildMenus()
{
    QMenuBar *bar = q->menuBar();

    QMenu *server = bar->addMenu(QStringLiteral("&Server"));
    fill(server->addMenu(QStringLiteral("&Database Server")), {"server_add", "server_remove", "server_modify"});
    server->addSeparator();
    fill(server->addMenu(QStringLiteral("Print &Setup")), {"server_print_setup", "server_print_setup_tab"});
    fill(server, {"server_print_pref", "server_print", "-"});
    server->addAction(hideEntry);
    server->addSeparator();
    server->addAction(closeEntry);

    fill(bar->addMenu(QStringLiteral("&Database")), {"database_select", "databse_create", "database_drop"});

    QMenu *tables = bar->addMenu(QStringLiteral("&Tables"));
    fill(tables, {"table_create", "table_modify", "table_drop", "-", "table_def", "table_property", "table_index",
                  "table_optimize", "-", "table_lock", "table_unlock", "-", "table_comment", "-"});
    fill(tables->addMenu(QStringLiteral("Save Table View Data")),
         {"table_save_result", "table_save_def", "table_save_index", "table_save_prop"});
    fill(tables->addMenu(QStringLiteral("Save Active SQL Table Data")), {"table_save_sql"});
    fill(tables->addMenu(QStringLiteral("Save Other Grids")), {"table_save_info", "admin_save_privileges"});
    fill(tables->addMenu(QStringLiteral("Print Table")),
         {"table_print_result", "table_print_def", "table_print_prop", "table_print_index", "-",
          "table_print_qdata", "-", "table_print_info", "admin_print_privileges"});

    QMenu *query = bar->addMenu(QStringLiteral("&Query"));
    fill(query, {"EditNew", "EditOpen", "EditSave", "-", "EditCut1", "EditCopy1", "EditPaste1", "-", "server_undo",
                 "server_redo", "-", "server_find", "server_replace", "server_goto", "-"});
    fill(query->addMenu(QStringLiteral("&Tools")), {"server_upper", "server_lower", "-", "server_quote"});
    QMenu *options = query->addMenu(QStringLiteral("&Options"));
    options->addAction(groupedUndo);
    options->addAction(undoAfterSave);
    fill(options, {"-", "server_properties", "server_font", "server_line_font"});
    fill(query, {"-", "EditExec", "EditExecSelection", "EditExecStatement", "query_run_file", "query_stop"});
    fill(query, {"-", "EditNewTab", "EditCloseTab", "EditNextTab", "EditPreviousTab", "-", "EditReloadNames"});

    QMenu *admin = bar->addMenu(QStringLiteral("&Administration"));
    fill(admin->addMenu(QStringLiteral("Database Information")), {"admin_variable", "admin_status", "admin_process"});
    fill(admin->addMenu(QStringLiteral("Application &Server")),
         {"App_add", "App_mod", "App_rem", "-", "App_clear_msg", "App_msg_save", "-", "App_ref_app", "App_ref_msg"});
    fill(admin->addMenu(QStringLiteral("Database Options")),
         {"dbopt_incl", "dbopt_tables", "dbopt_select", "dbopt_update", "dbopt_join", "dbopt_mode", "dbopt_limit",
          "dbopt_logoff", "dbopt_log", "dbopt_time", "dbopt_insert"});
    fill(admin->addMenu(QStringLiteral("Flush Commands")),
         {"flush_host", "flush_log", "flush_privileges", "flush_tables", "flush_status"});
    admin->addSeparator();
    QMenu *users = admin->addMenu(QStringLiteral("User Administartion"));
    fill(users, {"Action_User_New", "Action_User_Change", "-", "Action_User_Delete", "-", "admin_save_privileges", "admin_print_privileges"});
    QMenu *hosts = admin->addMenu(QStringLiteral("Host Administration"));
    fill(hosts, {"Action_New_Host", "Action_Change_Host", "-", "Action_Delete_Host", "-", "admin_save_privileges", "admin_print_privileges"});
    QMenu *databases = admin->addMenu(QStringLiteral("Database Administartion"));
    fill(databases, {"Action_New_DB", "Action_Change_DB", "-", "Action_Delete_DB", "-", "admin_save_privileges", "admin_print_privileges"});
    sessionMenus = {users, hosts, databases};
    for (QMenu *menu : sessionMenus)
        menu->setEnabled(false);

    fill(bar->addMenu(QStringLiteral("&Tools")),
         {"tools_autolog", "tools_clearlog", "tools_messageclear", "-", "tools_optionen", "-", "admin_start_local_db",
          "admin_stop_local_db"});
    fill(bar->addMenu(QStringLiteral("&Help")), {"help_about"});
}

void TFormMain::Private::buildToolbars()
{
    auto toolbar = [this](const QString &objectName, const QString &caption,
                          std::initializer_list<const char *> names) {
        auto *bar = new QToolBar(caption, q);
        bar->setObjectName(objectName);
        bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        bar->setIconSize(QSize(20, 20));
        for (const char *name : names) {
            if (qstrcmp(name, "-") == 0)
                bar->addSeparator();
            else
                bar->addAction(actions.value(QString::fromLatin1(name)));
        }
        toolbars.append(bar);
        return bar;
    };
    q->addToolBar(Qt::TopToolBarArea,
                  toolbar(QStringLiteral("ToolBarTable"), QStringLiteral("Table Toolbar"),
                          {"table_create", "table_modify", "table_drop", "-", "table_def", "table_property",
                           "table_index", "table_optimize"}));
    q->addToolBar(Qt::TopToolBarArea, toolbar(QStringLiteral("ToolBarTools"), QStringLiteral("Tools Toolbar"),
                                              {"admin_variable", "admin_status", "admin_process"}));
    q->addToolBarBreak(Qt::TopToolBarArea);
    q->addToolBar(Qt::TopToolBarArea,
                  toolbar(QStringLiteral("ToolBarSQL"), QStringLiteral("Toolbar SQL"),
                          {"EditNew", "EditOpen", "EditSave", "-", "server_print_pref", "server_print", "-",
                           "EditCut1", "EditCopy1", "EditPaste1", "-", "server_undo", "server_redo",
                           "server_inlinks", "server_rechts", "-", "server_find", "server_replace", "server_goto",
                           "-", "server_font", "-", "EditExec", "EditExecSelection", "EditExecStatement",
                           "query_stop"}));
}

QMenu *TFormMain::Private::addPopup(const QString &name, std::initializer_list<const char *> names)
{
    auto *menu = new QMenu(q);
    menu->setObjectName(name);
    fill(menu, names);
    popups.insert(name, menu);
    return menu;
}

void TFormMain::Private::buildPopups()
{
    QMenu *serverPopup = addPopup(QStringLiteral("PopupServer"), {"server_add", "server_remove", "server_modify"});
    for (QWidget *widget : {static_cast<QWidget *>(serverList), static_cast<QWidget *>(serverStrip)}) {
        widget->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(widget, &QWidget::customContextMenuRequested, q, [widget, serverPopup](const QPoint &pos) {
            serverPopup->exec(widget->mapToGlobal(pos));
        });
    }
    QMenu *databasePopup = addPopup(QStringLiteral("PopupDatabase"),
                                    {"server_refresh", "-", "database_select", "databse_create", "database_drop"});
    QMenu *tablePopup =
        addPopup(QStringLiteral("PopupMenuTable"),
                 {"server_refresh", "-", "table_drop", "-", "table_def", "table_property", "table_index",
                  "table_optimize", "-", "table_lock", "table_unlock", "-", "table_comment"});
    // The tree's menu follows the selected node's level; with nothing
    // selected it stays what it was.
    QObject::connect(tree, &QWidget::customContextMenuRequested, q,
                     [this, databasePopup, tablePopup](const QPoint &pos) {
                         const QModelIndex current = tree->currentIndex();
                         if (current.isValid())
                             treePopup = current.parent().isValid() ? tablePopup : databasePopup;
                         if (treePopup)
                             treePopup->exec(tree->viewport()->mapToGlobal(pos));
                     });

    gridPopups.insert(QStringLiteral("AdvListView1"),
                      addPopup(QStringLiteral("PopupDataView"),
                               {"table_save_result", "table_print_result", "-", "table_delete_row"}));
    gridPopups.insert(QStringLiteral("AdvListView2"),
                      addPopup(QStringLiteral("PopupMenu1"), {"table_save_def", "table_print_def"}));
    gridPopups.insert(QStringLiteral("AdvListView3"),
                      addPopup(QStringLiteral("PopupMenu2"), {"table_save_prop", "table_print_prop"}));
    gridPopups.insert(QStringLiteral("AdvListView4"),
                      addPopup(QStringLiteral("PopupMenu3"), {"table_save_index", "table_print_index"}));
    gridPopups.insert(QStringLiteral("AdvListViewUser"),
                      addPopup(QStringLiteral("PopupUser"),
                               {"Action_User_New", "Action_User_Change", "-", "Action_User_Delete", "-", "admin_save_privileges", "admin_print_privileges"}));
    gridPopups.insert(QStringLiteral("AdvListViewHost"),
                      addPopup(QStringLiteral("PopupHost"),
                               {"Action_New_Host", "Action_Change_Host", "-", "Action_Delete_Host", "-", "admin_save_privileges", "admin_print_privileges"}));
    gridPopups.insert(QStringLiteral("AdvListViewDatabase"),
                      addPopup(QStringLiteral("PopupMenuDatabase"),
                               {"Action_New_DB", "Action_Change_DB", "-", "Action_Delete_DB", "-", "admin_save_privileges", "admin_print_privileges"}));
    gridPopups.insert(QStringLiteral("ListApplication"),
                      addPopup(QStringLiteral("PopupAppServer"), {"App_add", "App_mod", "App_rem", "-", "App_ref_app"}));
    gridPopups.insert(QStringLiteral("ListApplicationMsg"),
                      addPopup(QStringLiteral("PopupAppMsg"), {"App_msg_save", "App_ref_msg", "-", "App_clear_msg"}));
    // "Database Info" offers Kill Task and Kill Query only while it lists
    // processes (set by that page).
    gridPopups.insert(QStringLiteral("AdvListView6"),
                      addPopup(QStringLiteral("PopupDatabaseInfo"), {"table_save_info", "table_print_info"}));
    addPopup(QStringLiteral("PopupKill"), {"database_kill", "database_kill_query", "-", "table_save_info", "table_print_info"});
    addPopup(QStringLiteral("PopupMenuTray"), {"help_about", "-", "help_Show", "help_Close"});
}

void TFormMain::Private::buildStatusBar()
{
    QStatusBar *bar = q->statusBar();
    const char *texts[3] = {"database", "user", "zusatz"};
    const int widths[3] = {100, 100, 50};
    for (int i = 0; i < 3; ++i) {
        panels[i] = new QLabel(QString::fromLatin1(texts[i]), bar);
        panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panels[i]->setFrameShape(QFrame::Panel);
        panels[i]->setFrameShadow(QFrame::Sunken);
        int width = widths[i];
        if (i == 2) {
            // The caret panel holds "%6d:%4d" at its widest, in whatever
            // font the status bar has.
            const QMargins margins = panels[i]->contentsMargins();
            const int text = panels[i]->fontMetrics().horizontalAdvance(QStringLiteral("999999:9999"));
            width = qMax(width, text + margins.left() + margins.right() + 2 * panels[i]->margin() + 4);
        }
        panels[i]->setFixedWidth(width);
        bar->addWidget(panels[i]);
    }
    // Shown while statements have been running for a while: what runs, for
    // how long, and that it can be stopped.
    busyLabel = new QLabel(bar);
    busyLabel->setObjectName(QStringLiteral("BusyIndicator"));
    busyLabel->setAccessibleName(QStringLiteral("Running statement"));
    busyLabel->hide();
    bar->addPermanentWidget(busyLabel);
}

void TFormMain::Private::buildTray()
{
    tray = new QSystemTrayIcon(ApplicationIcon(), q);
    tray->setObjectName(QStringLiteral("RxTrayIcon"));
    tray->setToolTip(QStringLiteral("Quarnel"));
    tray->setContextMenu(popups.value(QStringLiteral("PopupMenuTray")));
    QObject::connect(tray, &QSystemTrayIcon::activated, q, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            actions.value(QStringLiteral("help_Show"))->trigger();
    });
}

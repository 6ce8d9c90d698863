#pragma once

// Members of TFormMain; shared by mainwindow.cpp (behaviour) and
// mainwindowlayout.cpp (building the controls, menus and toolbars).

#include "shell/mainwindow.h"

#include <QHash>
#include <QStringList>
#include <QElapsedTimer>
#include <QTimer>

#include <initializer_list>

class AutoLogChart;
class GridViewSupport;
class RowLimitBar;
class QPlainTextEdit;
class QSplitter;
class QStackedWidget;
class QToolBar;
class SqlEditorTabs;
class HistoryPanel;
class ProcessRefresh;
class ResultTabs;
class QueryHistory;
class CompletionNames;

struct TFormMain::Private
{
    explicit Private(TFormMain *window)
        : q(window)
    {
    }

    void buildActions();
    void buildLayout();
    void buildMenus();
    void buildToolbars();
    void buildPopups();
    void buildStatusBar();
    void buildTray();
    void wireEditor();
    void wireEditorPage(SqlEditorPage *page);
    void wireHistory();
    void editorPageShown(SqlEditorPage *page);
    void wireMessageLog();
    void wireAutoLog();

    QTableView *addGrid(const QString &name, const QString &accessibleName, const QStringList &captions,
                        QWidget *parent, const QList<int> &widths = {});
    // The grid under its quick filter, as one widget.
    static QWidget *filtered(QTableView *view);
    // Adds the named actions to a menu; "-" is a separator.
    void fill(QMenu *menu, std::initializer_list<const char *> names);
    QMenu *addPopup(const QString &name, std::initializer_list<const char *> names);
    void attachPopup(QWidget *widget, const QString &popupName);

    // Effective enabled state of the commands that both the session switch
    // and the editor govern.
    void applyEditorNarrowing();
    void flushMessages();
    bool confirmClose();

    TFormMain *q;
    SettingsStore *settings = nullptr;
    MessageLog *log = nullptr;
    QHash<QString, QAction *> actions;
    QStringList sessionActions; // switched by SetSessionCommands
    QStringList appServerActions; // switched by SetAppServerCommands
    QStringList statementActions; // off while statements run

    QStandardItemModel *treeModel = nullptr;
    QTreeView *tree = nullptr;
    QMenu *treePopup = nullptr;
    QListWidget *serverList = nullptr;
    QLabel *serverStrip = nullptr;

    QTabWidget *pageControl = nullptr;
    QTabWidget *tableViewPages = nullptr;
    QTabWidget *sqlPages = nullptr;
    QTabWidget *adminPages = nullptr;
    QTabBar *infoTabs = nullptr;
    QStackedWidget *dataStack = nullptr;
    RowLimitBar *rowLimitBar = nullptr; // above the data grid
    QLabel *queryRows = nullptr;        // above the query grid: how many rows came
    ResultTabs *resultTabs = nullptr;   // the result sets of a run, the query grid the last
    ProcessRefresh *processRefresh = nullptr; // over the process list: read it again every n seconds
    GridViewSupport *gridSupport = nullptr;
    QHash<QString, GridModel *> grids;
    QHash<QString, QTableView *> gridViews;
    QHash<QString, QMenu *> popups;
    QHash<QString, QMenu *> gridPopups; // grid name -> current pop-up
    SqlEditorTabs *editorTabs = nullptr; // "SQL Query": the editor's tabs
    QueryHistory *history = nullptr;
    HistoryPanel *historyPanel = nullptr; // "History"
    CompletionNames *completionNames = nullptr;
    QString databaseInUse;
    QString dataFolder;
    QPlainTextEdit *memo = nullptr;
    QPlainTextEdit *memolog = nullptr;
    MessageLog *autoLog = nullptr; // the lines `Memolog` and its chart show
    AutoLogChart *autoLogChart = nullptr;
    QLabel *panels[3] = {nullptr, nullptr, nullptr};
    QList<QToolBar *> toolbars;
    QList<QMenu *> sessionMenus; // the three administration submenus
    QAction *groupedUndo = nullptr;
    QAction *undoAfterSave = nullptr;
    QAction *hideEntry = nullptr;
    QAction *closeEntry = nullptr;
    QSystemTrayIcon *tray = nullptr;

    TFormServer *formServer = nullptr;
    TFormMessage *formMessage = nullptr;
    TFormOptionen *formOptionen = nullptr;
    TFormTableCreate *formTableCreate = nullptr;
    TFormAbout *formAbout = nullptr;

    bool session = false;
    bool appServer = false;
    // Statements are running; the window shows it (and switches the
    // commands that send statements off) once they have run for a while, so
    // short ones do not make it flicker.
    bool statementsRunning = false;
    bool busyShown = false;
    QTimer busyDelay;
    QTimer busyTick;
    QElapsedTimer busyClock;
    QLabel *busyLabel = nullptr;
    void showBusy(bool shown);
    void applyStatementActions();
    bool editorCanRedo = true;
    bool editorHasSelection = true;
    ClipboardCommands *clipboard = nullptr;
    bool closing = false;

    // Lines waiting for the message view: appended in one go from a timer,
    // so a burst of lines costs one layout, not one per line. A line after a
    // quiet spell shows at once; while lines keep coming (a long script) the
    // view takes them at most every FlushMs.
    static constexpr int FlushMs = 100;
    QStringList pendingLines;
    QElapsedTimer lastFlush;
    bool memoHasLines = false;
    bool followLog = true; // the log view keeps its last line in sight
    QTimer flushTimer;
};

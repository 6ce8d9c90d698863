#pragma once

// Public face of the main window that the session code, the editor and the
// dialogs use. The window itself wires actions, pages and the data module
// together and does little else.

#include <QMainWindow>

class ClipboardCommands;
class GridViewSupport;
class RowLimitBar;
class AutoLogChart;
class GridModel;
class MessageLog;
class QAction;
class QMenu;
class QLabel;
class QSystemTrayIcon;
class TFormAbout;
class TFormMessage;
class TFormOptionen;
class TFormServer;
class TFormTableCreate;
class QListWidget;
class QStandardItemModel;
class QueryHistory;
class CompletionNames;
class HistoryPanel;
class QTableView;
class QTreeView;
class QTabBar;
class QTabWidget;
class SettingsStore;
class SqlEditorPage;
class SqlEditorTabs;

class TFormMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TFormMain(SettingsStore *settings, QWidget *parent = nullptr);
    ~TFormMain() override;

    // Actions by their names ("server_add", "EditExec", ...).
    QAction *action(const QString &name) const;

    void SetSessionCommands(bool enabled);
    void SetAppServerCommands(bool enabled);
    void SetServerCommands(bool enabled);
    // Statements are running (or no longer). "&Stop" (Esc, from any control
    // of the window) is on at once; after about 200 ms the window shows it:
    // a busy indicator with the elapsed time, and the commands that send
    // statements switched off.
    void setStatementsRunning(bool running);
    bool statementsRunning() const;
    bool busyShown() const;
    void AddServerItem(const QString &host);

    SettingsStore *settings() const;
    MessageLog *messageLog() const;           // shown in `Memo`
    MessageLog *autoLog() const;              // shown in `Memolog` and its chart
    AutoLogChart *autoLogChart() const;
    QStandardItemModel *treeModel() const;    // shown in `TreeServer`
    QTreeView *treeView() const;              // `TreeServer`
    QListWidget *serverList() const;          // `ListServer`
    // The grids by their names (`AdvListView1` ... `AdvListView6`,
    // `AdvListViewUser`, `AdvListViewHost`, `AdvListViewDatabase`,
    // `ListApplication`, `ListApplicationMsg`).
    GridModel *grid(const QString &name) const;
    QTableView *gridView(const QString &name) const;
    SqlEditorPage *sqlEditor() const;         // the current editor tab
    SqlEditorTabs *sqlEditorTabs() const;     // the "SQL Query" sub-page: the editor's tabs
    QueryHistory *history() const;            // the statements sent from the editor
    HistoryPanel *historyPanel() const;       // the "History" sub-page
    CompletionNames *completionNames() const; // what the editor offers as the user types
    // The database the next run uses (the tree's): the status bar's first
    // panel shows it and the editor offers its names.
    QString databaseInUse() const;
    void setDatabaseInUse(const QString &database);
    // Cut, Copy and Paste of the focused control; a grid's own copy hooks in
    // here (setCopyHandler).
    ClipboardCommands *clipboardCommands() const;
    // The grids' looks, copy and value viewer.
    GridViewSupport *gridSupport() const;
    // The line above the data grid while the row limit holds rows back.
    RowLimitBar *rowLimitBar() const;
    // Hides the data grid and shows the panel caption "Read Data from Database ..." in its place.
    void setDataGridVisible(bool visible);
    // Brings a page, and optionally a sub-page, to the front by caption
    // ("Table View" / "Definition View", "Active SQL" / "Query  Data", ...).
    void showPage(const QString &page, const QString &subPage = QString());
    // Adds a page behind the others (the window takes it over).
    void addPage(QWidget *page, const QString &caption);

    // Pop-up menus by name ("PopupServer", "PopupKill", ...) and the menu a
    // grid offers on a right click (none: nullptr).
    QMenu *popupMenu(const QString &name) const;
    void setGridPopup(const QString &gridName, QMenu *menu);
    // Status bar panels 0 ("database"), 1 ("user") and 2 ("zusatz").
    QLabel *statusPanel(int index) const;
    // The inner tab strip of "Database Info" (variables, status, process list).
    QTabBar *databaseInfoTabs() const;

    TFormServer *formServer() const;
    TFormMessage *formMessage() const;
    TFormOptionen *formOptionen() const;
    TFormAbout *formAbout() const;
    TFormTableCreate *formTableCreate() const;
    QSystemTrayIcon *trayIcon() const;

    // Where the program keeps its own data from now on (empty: nowhere): the
    // editor's tabs come back from there and are kept there, and the
    // statement history is there.
    void openDataFolder(const QString &folder);
    QString dataFolder() const;

    // Takes the geometry from the window and writes the program settings;
    // throws SettingsWriteError when the store refuses a value.
    void SaveProgramSettings();

public Q_SLOTS:
    // The close request: asks "Application close ?" and closes on Yes.
    // Returns whether the window closed.
    bool Close1Click();
    void HideToTray();
    void help_ShowExecute();
    void server_addExecute();
    void server_modifyExecute();
    void server_removeExecute();
    void tools_optionenExecute();
    void admin_start_local_dbExecute();
    void admin_stop_local_dbExecute();
    void help_aboutExecute();

Q_SIGNALS:
    // The user confirmed closing: the session closes its connection here and
    // the application ends its event loop.
    void aboutToClose();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Private;
    Private *d;
};

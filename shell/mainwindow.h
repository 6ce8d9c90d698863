#pragma once

// Public face of the main window that the session code, the editor and the
// dialogs use. The window itself wires actions, pages and the data module
// together and does little else.

#include <QMainWindow>

class GridModel;
class MessageLog;
class QAction;
class QListWidget;
class QStandardItemModel;
class QTableView;
class QTreeView;
class QTabWidget;
class SettingsStore;
class SqlEditorPage;

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
    void AddServerItem(const QString &host);

    SettingsStore *settings() const;
    MessageLog *messageLog() const;           // shown in `Memo`
    QStandardItemModel *treeModel() const;    // shown in `TreeServer`
    QTreeView *treeView() const;              // `TreeServer`
    QListWidget *serverList() const;          // `ListServer`
    // The grids by their names (`AdvListView1` ... `AdvListView6`,
    // `AdvListViewUser`, `AdvListViewHost`, `AdvListViewDatabase`,
    // `ListApplication`, `ListApplicationMsg`).
    GridModel *grid(const QString &name) const;
    QTableView *gridView(const QString &name) const;
    SqlEditorPage *sqlEditor() const;         // the "SQL Query" sub-page
    // Hides the data grid and shows the panel caption "Read Data from Database ..." in its place.
    void setDataGridVisible(bool visible);
    // Brings a page, and optionally a sub-page, to the front by caption
    // ("Table View" / "Definition View", "Active SQL" / "Query  Data", ...).
    void showPage(const QString &page, const QString &subPage = QString());

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct Private;
    Private *d;
};

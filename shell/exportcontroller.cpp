#include "shell/exportcontroller.h"

#include "data/gridmodel.h"
#include "dialogs/exportsavedialog.h"
#include "dialogs/gridsaver.h"
#include "shell/mainwindow.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QAction>
#include <QItemSelectionModel>
#include <QTabWidget>
#include <QTableView>

#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

ExportController::ExportController(TFormMain *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_saveData(new ExportSaveDialog(window))
{
    const struct
    {
        const char *name;
        void (ExportController::*handler)();
    } actions[] = {
        {"table_save_result", &ExportController::table_save_resultExecute},
        {"table_save_def", &ExportController::table_save_defExecute},
        {"table_save_index", &ExportController::table_save_indexExecute},
        {"table_save_prop", &ExportController::table_save_propExecute},
        {"table_save_sql", &ExportController::table_save_sqlExecute},
        {"table_save_info", &ExportController::table_save_infoExecute},
        {"admin_save_privileges", &ExportController::admin_save_privilegesExecute},
    };
    for (const auto &entry : actions) {
        if (QAction *action = window->action(QString::fromLatin1(entry.name)))
            connect(action, &QAction::triggered, this, entry.handler);
    }
}

THTMLSettings ExportController::defaultHtmlSettings()
{
    // Elsewhere the header colour stays the one Windows gives an active
    // border by default.
    THTMLSettings settings;
#ifdef Q_OS_WIN
    const COLORREF border = GetSysColor(COLOR_ACTIVEBORDER);
    settings.HeaderColor = qRgb(GetRValue(border), GetGValue(border), GetBValue(border));
#endif
    return settings;
}

THTMLSettings &ExportController::htmlSettings(const QString &gridName)
{
    auto found = m_htmlSettings.find(gridName);
    if (found == m_htmlSettings.end())
        found = m_htmlSettings.insert(gridName, defaultHtmlSettings());
    return found.value();
}

void ExportController::table_save_resultExecute()
{
    saveGrid(QStringLiteral("AdvListView1"));
}

void ExportController::table_save_defExecute()
{
    saveGrid(QStringLiteral("AdvListView2"));
}

void ExportController::table_save_indexExecute()
{
    saveGrid(QStringLiteral("AdvListView4"));
}

void ExportController::table_save_propExecute()
{
    saveGrid(QStringLiteral("AdvListView3"));
}

void ExportController::table_save_sqlExecute()
{
    saveGrid(QStringLiteral("AdvListView5"));
}

void ExportController::table_save_infoExecute()
{
    saveGrid(QStringLiteral("AdvListView6"));
}

void ExportController::admin_save_privilegesExecute()
{
    // The grid of the page shown: "User", "Host" or "Database".
    const auto *pages = m_window->findChild<QTabWidget *>(QStringLiteral("PageControlAdmin"));
    if (!pages || !pages->currentWidget())
        return;
    // The page holds the grid under its quick filter.
    if (const auto *view = pages->currentWidget()->findChild<QTableView *>())
        saveGrid(view->objectName());
}

std::vector<int> ExportController::selectedGridRows(const QAbstractItemView *view)
{
    std::vector<int> rows;
    if (!view || !view->selectionModel())
        return rows;
    QModelIndexList selected = view->selectionModel()->selectedRows();
    // The order the view shows them in.
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    for (QModelIndex index : selected) {
        // Through every filter or sort the view shows the grid by.
        const QAbstractItemModel *model = view->model();
        while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(model)) {
            index = proxy->mapToSource(index);
            model = proxy->sourceModel();
        }
        if (index.isValid() && qobject_cast<const GridModel *>(model))
            rows.push_back(index.row());
    }
    return rows;
}

void ExportController::saveGrid(const QString &gridName)
{
    GridModel *grid = m_window->grid(gridName);
    if (!grid)
        return;
    const QTableView *view = m_window->gridView(gridName);
    const std::vector<int> selected = selectedGridRows(view);
    if (!m_saveData->Execute(!selected.empty()))
        return;
    ExportOptions options = m_saveData->options();
    if (options.selectedOnly)
        options.rows = selected;
    // The format follows the chosen filter alone, whatever the name's extension.
    SaveGridToFile(m_window, *grid, m_saveData->format(), m_saveData->FileName(), htmlSettings(gridName), options);
}

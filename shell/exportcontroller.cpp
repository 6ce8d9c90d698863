#include "shell/exportcontroller.h"

#include "data/gridmodel.h"
#include "dialogs/exportsavedialog.h"
#include "dialogs/gridsaver.h"
#include "shell/mainwindow.h"

#include <QAction>

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

void ExportController::saveGrid(const QString &gridName)
{
    GridModel *grid = m_window->grid(gridName);
    if (!grid || !m_saveData->Execute())
        return;
    // The format follows the chosen filter alone, whatever the name's extension.
    SaveGridToFile(m_window, *grid, m_saveData->format(), m_saveData->FileName(), htmlSettings(gridName));
}

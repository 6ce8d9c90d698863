#pragma once

#include "output/gridexport.h"

#include <QHash>
#include <QObject>

#include <vector>

class ExportSaveDialog;
class QAbstractItemView;
class TFormMain;

// The main window's commands that save a grid to a file. Each asks for a
// name and a format in the shared save dialog and writes its grid.
class ExportController : public QObject
{
    Q_OBJECT

public:
    // The window must outlive the controller (make it the parent).
    ExportController(TFormMain *window, QObject *parent = nullptr);

    void table_save_resultExecute(); // `AdvListView1` "Data View"
    void table_save_defExecute();    // `AdvListView2` "Definition View"
    void table_save_indexExecute();  // `AdvListView4` "Table Index"
    void table_save_propExecute();   // `AdvListView3` "Table Status"
    void table_save_sqlExecute();    // `AdvListView5` "Query  Data"
    void table_save_infoExecute();       // `AdvListView6` "Database Info" (variables, status, processes)
    void admin_save_privilegesExecute(); // the privilege grid shown on "MySQL Administration"

    ExportSaveDialog *SaveData() const { return m_saveData; }
    // The HTML table settings of a grid, by the grid's name.
    THTMLSettings &htmlSettings(const QString &gridName);

    // The HTML settings every grid starts with.
    static THTMLSettings defaultHtmlSettings();

    // The grid rows selected in view (display order of the view, mapped
    // through any proxy the view shows the grid by); empty when none are.
    static std::vector<int> selectedGridRows(const QAbstractItemView *view);

private:
    void saveGrid(const QString &gridName);

    TFormMain *m_window;
    ExportSaveDialog *m_saveData;
    QHash<QString, THTMLSettings> m_htmlSettings;
};

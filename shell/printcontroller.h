#pragma once

#include "output/printsettings.h"

#include <QObject>
#include <QStringList>

#include <map>

class PrintTarget;
class TFormMain;
class TFormPrinting;
class TPreviewPrinter;

// The main window's printing commands: the five grid print commands with
// their print settings and the "Print Settings" dialog, and the SQL text's
// page set-up, direct printing and preview. The printer is shared; where
// none is installed the jobs become PDF files.
class PrintController : public QObject
{
    Q_OBJECT

public:
    // Wires the window's print actions; the window must outlive the
    // controller (make it the parent).
    explicit PrintController(TFormMain *window, QObject *parent = nullptr);
    ~PrintController() override;

    // The grids that print, in the order the settings dialog applies to them.
    static const QStringList &printableGrids();
    TPrintsettings &printSettings(const QString &gridName);

    PrintTarget *target() const { return m_target; }
    TPreviewPrinter *previewPrinter() const { return m_preview; }
    TFormPrinting *formPrinting() const { return m_formPrinting; }

    void server_printExecute();
    void server_print_prefExecute();
    void server_print_setupExecute();
    void server_print_setup_tabExecute();
    void table_print_resultExecute();
    void table_print_defExecute();
    void table_print_indexExecute();
    void table_print_propExecute();
    void table_print_qdataExecute();
    void table_print_infoExecute();       // `AdvListView6`: the listing shown is the title
    void admin_print_privilegesExecute(); // the privilege grid shown; its page is the title

    // Grids printed by the commands added beside the five; the settings
    // dialog applies to them after the five.
    static const QStringList &otherPrintableGrids();

    // The print job of one grid, with its settings as they stand.
    void PrintGrid(const QString &gridName);

private:
    void printTableGrid(const QString &gridName);
    QString editorTitle() const;
    // The SQL text's PDF file name: the script's name, or "SQL Query".
    QString pdfBaseName() const;

    TFormMain *m_window;
    PrintTarget *m_target;
    TPreviewPrinter *m_preview;
    std::map<QString, TPrintsettings> m_settings; // node-based: the dialog keeps pointers
    TFormPrinting *m_formPrinting;
};

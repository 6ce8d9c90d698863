#include "shell/printcontroller.h"

#include "data/gridmodel.h"
#include "data/splitpiece.h"
#include "dialogs/errorbox.h"
#include "dialogs/gridprinter.h"
#include "dialogs/printingdialog.h"
#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"
#include "output/gridpagelayout.h"
#include "dialogs/previewprinter.h"
#include "output/printcanvas.h"
#include "shell/printtarget.h"
#include "shell/sqlprintsource.h"
#include "output/sqltextlayout.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>

#include <exception>

namespace {

// What a grid's PDF file is called when the job has no title.
QString gridPageName(const QString &gridName)
{
    static const QHash<QString, QString> pages = {
        {QStringLiteral("AdvListView1"), QStringLiteral("Data View")},
        {QStringLiteral("AdvListView2"), QStringLiteral("Definition View")},
        {QStringLiteral("AdvListView3"), QStringLiteral("Table Status")},
        {QStringLiteral("AdvListView4"), QStringLiteral("Table Index")},
        {QStringLiteral("AdvListView5"), QStringLiteral("Query Data")},
        {QStringLiteral("AdvListView6"), QStringLiteral("Database Info")},
        {QStringLiteral("AdvListViewUser"), QStringLiteral("User")},
        {QStringLiteral("AdvListViewHost"), QStringLiteral("Host")},
        {QStringLiteral("AdvListViewDatabase"), QStringLiteral("Database")},
    };
    return pages.value(gridName, gridName);
}

} // namespace

PrintController::PrintController(TFormMain *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_target(new PrintTarget(this))
    , m_preview(new TPreviewPrinter(this))
{
    m_preview->setPrinter(m_target->printer());
    m_preview->setWindow(window);
    // The preview's print dialog proposes a PDF file named after the text.
    auto printDialog = m_preview->runPrintDialog;
    m_preview->runPrintDialog = [this, printDialog](QWidget *parent, QPrinter *printer, int pageCount) {
        m_target->suggestPdfFile(pdfBaseName() + QStringLiteral(".pdf"));
        return printDialog(parent, printer, pageCount);
    };
    // The recorded pages take the default printer's orientation.
    m_preview->Orientation = m_target->printer()->pageLayout().orientation();

    QList<TPrintsettings *> grids;
    for (const QString &name : printableGrids())
        grids.append(&m_settings[name]);
    for (const QString &name : otherPrintableGrids())
        grids.append(&m_settings[name]);
    m_formPrinting = new TFormPrinting(grids, window);

    const struct
    {
        const char *name;
        void (PrintController::*handler)();
    } actions[] = {
        {"server_print", &PrintController::server_printExecute},
        {"server_print_pref", &PrintController::server_print_prefExecute},
        {"server_print_setup", &PrintController::server_print_setupExecute},
        {"server_print_setup_tab", &PrintController::server_print_setup_tabExecute},
        {"table_print_result", &PrintController::table_print_resultExecute},
        {"table_print_def", &PrintController::table_print_defExecute},
        {"table_print_index", &PrintController::table_print_indexExecute},
        {"table_print_prop", &PrintController::table_print_propExecute},
        {"table_print_qdata", &PrintController::table_print_qdataExecute},
        {"table_print_info", &PrintController::table_print_infoExecute},
        {"admin_print_privileges", &PrintController::admin_print_privilegesExecute},
    };
    for (const auto &entry : actions) {
        if (QAction *action = window->action(QString::fromLatin1(entry.name)))
            connect(action, &QAction::triggered, this, entry.handler);
    }
}

PrintController::~PrintController() = default;

const QStringList &PrintController::printableGrids()
{
    static const QStringList names = {QStringLiteral("AdvListView1"), QStringLiteral("AdvListView2"),
                                      QStringLiteral("AdvListView3"), QStringLiteral("AdvListView4"),
                                      QStringLiteral("AdvListView5")};
    return names;
}

const QStringList &PrintController::otherPrintableGrids()
{
    static const QStringList names = {QStringLiteral("AdvListView6"), QStringLiteral("AdvListViewUser"),
                                      QStringLiteral("AdvListViewHost"), QStringLiteral("AdvListViewDatabase")};
    return names;
}

TPrintsettings &PrintController::printSettings(const QString &gridName)
{
    return m_settings.at(gridName);
}

QString PrintController::editorTitle() const
{
    // The title is the file last opened or saved; a new text has none.
    const QString name = m_window->sqlEditor()->fileName();
    return name == QLatin1String("none.sql") ? QString() : name;
}

void PrintController::PrintGrid(const QString &gridName)
{
    GridModel *grid = m_window->grid(gridName);
    // A grid without columns has no page to print.
    if (!grid || grid->columnCount() == 0 || m_settings.count(gridName) == 0)
        return;
    const TPrintsettings &settings = m_settings.at(gridName);
    QPrinter *printer = m_target->printer();
    // Grids print in their own orientation, which stays set afterwards.
    printer->setPageOrientation(settings.Orientation);
    printer->setDocName(settings.JobName);
    const QString suggested = settings.TitleText.isEmpty()
        ? gridPageName(gridName)
        : settings.TitleText + QStringLiteral(" - ") + gridPageName(gridName);
    if (!m_target->prepareJob(m_window, suggested + QStringLiteral(".pdf")))
        return;
    // Counted and drawn off the window's thread, from the rows shown now.
    PrintGridPages(m_window, printer, grid->snapshot(), settings);
}

void PrintController::printTableGrid(const QString &gridName)
{
    const QModelIndex node = m_window->treeView()->currentIndex();
    const QString title = node.isValid() ? SplitPiece(node.data().toString(), QStringLiteral(" "), 0) : QString();
    m_settings.at(gridName).TitleText = title;
    PrintGrid(gridName);
}

void PrintController::table_print_resultExecute()
{
    printTableGrid(QStringLiteral("AdvListView1"));
}

void PrintController::table_print_defExecute()
{
    printTableGrid(QStringLiteral("AdvListView2"));
}

void PrintController::table_print_indexExecute()
{
    printTableGrid(QStringLiteral("AdvListView4"));
}

void PrintController::table_print_propExecute()
{
    printTableGrid(QStringLiteral("AdvListView3"));
}

void PrintController::table_print_qdataExecute()
{
    PrintGrid(QStringLiteral("AdvListView5"));
}

void PrintController::table_print_infoExecute()
{
    const auto *tabs = m_window->findChild<QTabBar *>(QStringLiteral("TabInfo"));
    const QString shown = tabs ? tabs->tabText(tabs->currentIndex()).trimmed() : QString();
    m_settings.at(QStringLiteral("AdvListView6")).TitleText = shown;
    PrintGrid(QStringLiteral("AdvListView6"));
}

void PrintController::admin_print_privilegesExecute()
{
    const auto *pages = m_window->findChild<QTabWidget *>(QStringLiteral("PageControlAdmin"));
    if (!pages || !pages->currentWidget())
        return;
    // The page holds the grid under its quick filter.
    const auto *view = pages->currentWidget()->findChild<QTableView *>();
    if (!view)
        return;
    const QString gridName = view->objectName();
    if (m_settings.count(gridName) == 0)
        return;
    m_settings.at(gridName).TitleText = pages->tabText(pages->currentIndex());
    PrintGrid(gridName);
}

void PrintController::server_print_setup_tabExecute()
{
    m_formPrinting->exec();
}

void PrintController::server_print_setupExecute()
{
    m_target->showPageSetup(m_window);
}

QString PrintController::pdfBaseName() const
{
    const QString title = editorTitle();
    return title.isEmpty() ? QStringLiteral("SQL Query") : QFileInfo(title).completeBaseName();
}

void PrintController::server_printExecute()
{
    SqlEditor *editor = m_window->sqlEditor()->editor();
    const QString title = editorTitle();
    if (!m_target->prepareJob(m_window, pdfBaseName() + QStringLiteral(".pdf")))
        return;
    QPrinter *printer = m_target->printer();
    printer->setDocName(title);
    const SqlPrintText text = sqlPrintText(editor, title, false);
    const PrintTarget::PageSetup margins = m_target->pageSetup();
    BusyCursor busy;
    try {
        runPrintJob(printer, [&](QPainter &painter) {
            const int dpi = printer->resolution();
            const qreal dpiX = printer->logicalDpiX();
            const qreal dpiY = printer->logicalDpiY();
            const QRect paper = printer->pageLayout().fullRectPixels(dpi);
            // The paper less the margins, in the printer's coordinates, whose
            // origin is the corner of the printable area.
            const QRectF rect(QPointF(roundHalfEven(dpiX * margins.left / 1000.0),
                                      roundHalfEven(dpiY * margins.top / 1000.0)),
                              QPointF(paper.width() - roundHalfEven(dpiX * margins.right / 1000.0),
                                      paper.height() - roundHalfEven(dpiY * margins.bottom / 1000.0)));
            PainterCanvas canvas(&painter, printer, dpiY);
            SqlPrintOptions options;
            options.mono = true;
            SqlTextLayout layout(text, options);
            layout.layout(canvas, fontInUnits(editor->textFont(), dpiY), rect);
            for (int page = 1; page <= layout.pageCount(); ++page) {
                if (page > 1)
                    canvas.newPage();
                layout.drawPage(canvas, page);
            }
        });
    } catch (const std::exception &error) {
        ShowErrorBox(m_window, QString::fromUtf8(error.what()));
    }
}

void PrintController::server_print_prefExecute()
{
    SqlEditor *editor = m_window->sqlEditor()->editor();
    m_preview->ShowGrid = false;
    m_preview->ZoomOption = zoFitToPage;
    m_preview->TextOptions.BodyFont = editor->textFont();
    const PrintTarget::PageSetup &margins = m_target->pageSetup();
    m_preview->TextOptions.MarginLeft = margins.left / 1000.0;
    m_preview->TextOptions.MarginTop = margins.top / 1000.0;
    m_preview->TextOptions.MarginRight = margins.right / 1000.0;
    m_preview->TextOptions.MarginBottom = margins.bottom / 1000.0;
    m_preview->Orientation = m_target->printer()->pageLayout().orientation();
    try {
        m_preview->PrintSyntaxMemo(sqlPrintText(editor, editorTitle(), true), editor->textFont());
        m_preview->Preview();
    } catch (const std::exception &error) {
        ShowErrorBox(m_window, QString::fromUtf8(error.what()));
    }
}

#include "client/mySQLClient.h"
#include "client/mysqlbinding.h"
#include "data/gridmodel.h"
#include "data/tdmstd.h"
#include "dialogs/logindialog.h"
#include "dialogs/printingdialog.h"
#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"
#include "dialogs/pagesetupform.h"
#include "dialogs/previewform.h"
#include "dialogs/previewprinter.h"
#include "output/printcanvas.h"
#include "shell/printtarget.h"
#include "shell/mainwindow.h"
#include "shell/printcontroller.h"
#include "shell/sessioncontroller.h"
#include "data/settingsstore.h"
#include "tests/modalhelper.h"
#include "tests/support/pdffile.h"
#include "tests/support/loginanswer.h"
#include "tests/support/privateserver.h"
#include "tests/support/treenode.h"
#include "tests/support/settle.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QRegularExpression>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <cmath>
#include <memory>

// The print commands on a real main window: grids filled from a private
// server printed to PDF files, the settings dialog reaching the printout,
// the SQL text printed directly and previewed, and the page set-up.
class TestPrintController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void tableGridPrintsWithNodeTitle();
    void queryGridPrintsWithoutTitle();
    void settingsDialogReachesEveryGrid();
    void nothingToPrintOrCancelled();
    void unwritableFileIsReported();
    void gridsPrintPortrait();
    void directPrintOf500Lines();
    void previewUsesPageSetupMargins();
    void pageSetupKeepsMarginsApart();
    void pageSetupFormForPdf();

private:
    QModelIndex node(const QString &database, const QString &table = QString()) const;
    void login();
    void openOrders();
    // Pages of a one-band grid of rows + 1 rows (the captions included),
    // worked out from the printer's page and the font's line height.
    int expectedGridPages(int rows, int topReserve, int bottomExtra) const;
    QString pdfPath(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<TFormMain> m_window;
    std::unique_ptr<TDMstd> m_data;
    std::unique_ptr<SessionController> m_session;
    std::unique_ptr<PrintController> m_print;
    QStringList m_suggested; // the names the PDF prompt was offered
    QString m_answer;        // the file it answers with
};

namespace {

} // namespace

void TestPrintController::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral("CREATE DATABASE shop;"
                                       "CREATE TABLE shop.orders (id INT PRIMARY KEY, what VARCHAR(10)) ENGINE=MyISAM;"
                                       "INSERT INTO shop.orders SELECT seq, CONCAT('row', seq) FROM shop.seq_1_to_300;"),
                        nullptr, &error),
             qPrintable(error));
}

void TestPrintController::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_settings = std::make_unique<SettingsStore>(m_dir->filePath(QStringLiteral("quarnel.conf")));
    const PrivateServer &server = PrivateServer::shared();
    TServerProfile &profile = m_settings->currentProfile();
    profile = TServerProfile();
    profile.Host = server.host();
    profile.User = PrivateServer::user();
    profile.Port = QString::number(server.port());
    profile.Database = QStringLiteral("mysql");
    m_settings->SaveServerProfile(server.host());
    m_settings->LoadProgramSettings();
    m_window = std::make_unique<TFormMain>(m_settings.get());
    m_settings->programSettings().DBL = QStringLiteral("1000"); // all 300 rows
    m_data = std::make_unique<TDMstd>(SessionController::viewsOf(m_window.get()));
    m_session = std::make_unique<SessionController>(m_window.get(), m_data.get());
    m_print = std::make_unique<PrintController>(m_window.get());
    m_window->AddServerItem(server.host());
    m_suggested.clear();
    m_answer.clear();
    m_print->target()->choosePdfFile = [this](QWidget *, const QString &suggested) {
        m_suggested.append(QFileInfo(suggested).fileName());
        return m_answer;
    };
    // Tests here never wait on the real page set-up dialog.
    m_print->target()->runPageSetup = [](QWidget *, QPrinter *) { return false; };
}

void TestPrintController::cleanup()
{
    cancelPendingAnswers();
    m_print.reset();
    m_session.reset();
    m_data.reset();
    m_window.reset();
    m_settings.reset();
    m_dir.reset();
}

QModelIndex TestPrintController::node(const QString &database, const QString &table) const
{
    return TreeNode(m_window->treeModel(), database, table);
}

void TestPrintController::login()
{
    AnswerLoginAsAdministrator(*m_session);
    m_window->serverList()->setCurrentRow(m_window->serverList()->count() - 1);
    m_session->ListServerDblClick();
    settle();
    QVERIFY(m_data->ActiveClient()->Connected());
}

void TestPrintController::openOrders()
{
    login();
    QTreeView *tree = m_window->treeView();
    const QModelIndex shop = node(QStringLiteral("shop"));
    QVERIFY(shop.isValid());
    tree->setCurrentIndex(shop);
    m_session->TreeServerDblClick(shop);
    settle();
    const QModelIndex orders = node(QStringLiteral("shop"), QStringLiteral("orders"));
    QVERIFY(orders.isValid());
    tree->setCurrentIndex(orders);
    m_session->TreeServerDblClick(orders);
    settle();
    QTRY_COMPARE_WITH_TIMEOUT(m_window->grid(QStringLiteral("AdvListView1"))->rowCount(), 300, 30000);
}

int TestPrintController::expectedGridPages(int rows, int topReserve, int bottomExtra) const
{
    QPrinter *printer = m_print->target()->printer();
    const QFont font = fontInUnits(TPrintsettings().Font, 254);
    const int h = roundHalfEven(measureText(QStringLiteral("gh"), font).height());
    const int pad = h / 8;
    const int pitch = h + h / 8 + 2 * pad;
    const int pageHeight = int(printer->height() / (printer->logicalDpiY() / 254.0));
    const int limit = pageHeight - bottomExtra - (pad + h);
    // Row k starts at top + k * pitch; a page ends before the first row
    // whose text would pass the limit.
    const int perPage = (limit - h - topReserve) / pitch + 1;
    return (rows + 1 + perPage - 1) / perPage;
}

void TestPrintController::tableGridPrintsWithNodeTitle()
{
    openOrders();
    QAction *print = m_window->action(QStringLiteral("table_print_result"));
    QVERIFY(print->isEnabled());
    m_answer = pdfPath(QStringLiteral("orders.pdf"));
    print->trigger();
    QCOMPARE(m_suggested, QStringList{QStringLiteral("orders - Data View.pdf")});
    QCOMPARE(m_print->printSettings(QStringLiteral("AdvListView1")).TitleText, QStringLiteral("orders"));
    // The start values print bare columns: no page texts, no title.
    const int pages = pdfPageCount(m_answer);
    QVERIFY(pages > 1);
    QCOMPARE(pages, expectedGridPages(300, 0, 0));
    const QString text = pdfText(m_answer);
    QVERIFY2(!text.isNull(), "pdftotext (poppler-utils) is needed to read the printed pages");
    QVERIFY(text.contains(QStringLiteral("row300")));
    QVERIFY(text.contains(QStringLiteral("what")));
    QVERIFY(!text.contains(QStringLiteral("orders")));
    QVERIFY(!QApplication::overrideCursor());

    // The definition grid of the same table takes the same title.
    m_answer = pdfPath(QStringLiteral("definition.pdf"));
    m_window->action(QStringLiteral("table_print_def"))->trigger();
    QCOMPARE(m_print->printSettings(QStringLiteral("AdvListView2")).TitleText, QStringLiteral("orders"));
    QCOMPARE(pdfPageCount(m_answer), 1);
}

void TestPrintController::queryGridPrintsWithoutTitle()
{
    login();
    QTreeView *tree = m_window->treeView();
    tree->setCurrentIndex(node(QStringLiteral("shop")));
    m_window->sqlEditor()->editor()->setText(QStringLiteral("select id, what from orders where id <= 10"));
    m_window->action(QStringLiteral("EditExec"))->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(m_window->grid(QStringLiteral("AdvListView5"))->rowCount(), 10, 30000);

    m_print->printSettings(QStringLiteral("AdvListView5")).Title = ppTopLeft;
    m_answer = pdfPath(QStringLiteral("query.pdf"));
    m_window->action(QStringLiteral("table_print_qdata"))->trigger();
    QCOMPARE(m_suggested, QStringList{QStringLiteral("Query Data.pdf")});
    QCOMPARE(m_print->printSettings(QStringLiteral("AdvListView5")).TitleText, QString());
    QCOMPARE(pdfPageCount(m_answer), 1);
    QVERIFY(pdfText(m_answer).contains(QStringLiteral("row10")));
}

void TestPrintController::settingsDialogReachesEveryGrid()
{
    TFormPrinting *dialog = m_print->formPrinting();
    QCOMPARE(dialog->parentWidget(), m_window.get());
    whenModal([dialog](QWidget *modal) {
        QCOMPARE(modal, dialog);
        dialog->ButtonOk->click();
    });
    m_window->action(QStringLiteral("server_print_setup_tab"))->trigger();
    for (const QString &grid : PrintController::printableGrids()) {
        const TPrintsettings &settings = m_print->printSettings(grid);
        QCOMPARE(settings.Borders, pbSingle);
        QCOMPARE(settings.PageNr, ppTopRight);
        QCOMPARE(settings.HeaderSize, 15);
    }

    // The title and the page number now print: a result grid shows both.
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView1"));
    grid->setColumns({QStringLiteral("id"), QStringLiteral("what")});
    for (int i = 1; i <= 300; ++i)
        grid->appendRow({QString::number(i), QStringLiteral("row%1").arg(i)});
    auto *item = new QStandardItem(QStringLiteral("orders  ( 300 )"));
    m_window->treeModel()->appendRow(item);
    m_window->treeView()->setCurrentIndex(item->index());
    m_answer = pdfPath(QStringLiteral("titled.pdf"));
    m_print->table_print_resultExecute();
    const int pages = pdfPageCount(m_answer);
    QVERIFY(pages > 1);
    const QString text = pdfText(m_answer);
    // The title heads every page.
    QCOMPARE(int(text.count(QStringLiteral("orders"))), pages);
    QVERIFY(text.contains(QStringLiteral("row300")));
}

void TestPrintController::nothingToPrintOrCancelled()
{
    // A grid without columns asks for no file and prints nothing.
    m_window->grid(QStringLiteral("AdvListView2"))->clear();
    m_answer = pdfPath(QStringLiteral("none.pdf"));
    m_print->table_print_defExecute();
    QVERIFY(m_suggested.isEmpty());
    QVERIFY(!QFile::exists(m_answer));

    // Cancelling the file prompt prints nothing either.
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView3"));
    grid->setColumns({QStringLiteral("Name")});
    grid->appendRow({QStringLiteral("orders")});
    m_answer.clear();
    m_print->table_print_propExecute();
    QCOMPARE(m_suggested, QStringList{QStringLiteral("Table Status.pdf")});
    QVERIFY(QDir(m_dir->path()).entryList({QStringLiteral("*.pdf")}).isEmpty());
}

void TestPrintController::unwritableFileIsReported()
{
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView4"));
    grid->setColumns({QStringLiteral("Key_name")});
    grid->appendRow({QStringLiteral("PRIMARY")});
    m_answer = pdfPath(QStringLiteral("missing-folder/index.pdf"));
    QString message;
    answerMessageBox(QMessageBox::Ok, &message);
    m_print->table_print_indexExecute();
    QVERIFY2(message.startsWith(QStringLiteral("Cannot write the file")), qPrintable(message));
    QVERIFY(message.contains(QStringLiteral("index.pdf")));
    QVERIFY(!QApplication::overrideCursor());
}

void TestPrintController::gridsPrintPortrait()
{
    QPrinter *printer = m_print->target()->printer();
    printer->setPageOrientation(QPageLayout::Landscape);
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView5"));
    grid->setColumns({QStringLiteral("a")});
    grid->appendRow({QStringLiteral("1")});
    m_answer = pdfPath(QStringLiteral("portrait.pdf"));
    m_print->table_print_qdataExecute();
    QCOMPARE(pdfPageCount(m_answer), 1);
    QFile file(m_answer);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QRegularExpressionMatch box =
        QRegularExpression(QStringLiteral("/MediaBox \\[\\s*0\\s+0\\s+([\\d.]+)\\s+([\\d.]+)")).match(QString::fromLatin1(file.readAll()));
    QVERIFY(box.hasMatch());
    QVERIFY(box.captured(1).toDouble() < box.captured(2).toDouble());
    // The orientation stays on the printer after the job.
    QCOMPARE(printer->pageLayout().orientation(), QPageLayout::Portrait);
}

void TestPrintController::directPrintOf500Lines()
{
    QStringList lines;
    for (int i = 1; i <= 500; ++i)
        lines.append(QStringLiteral("SELECT %1 FROM orders;").arg(i));
    SqlEditor *editor = m_window->sqlEditor()->editor();
    editor->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    m_answer = pdfPath(QStringLiteral("script.pdf"));
    m_print->server_printExecute();
    QCOMPARE(m_suggested, QStringList{QStringLiteral("SQL Query.pdf")});

    QPrinter *printer = m_print->target()->printer();
    const qreal dpi = printer->logicalDpiY();
    const int h = roundHalfEven(measureText(QStringLiteral("gh"), fontInUnits(editor->textFont(), dpi)).height());
    const int paper = printer->pageLayout().fullRectPixels(printer->resolution()).height();
    // Rows from 3h below the top while they start above paper - 4h.
    const int perPage = int(std::ceil(double(paper - 4 * h - 3 * h) / h));
    QCOMPARE(pdfPageCount(m_answer), (500 + perPage - 1) / perPage);
    const QString text = pdfText(m_answer);
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("500:\\s+SELECT 500 FROM orders;"))));
    QVERIFY(text.contains(QStringLiteral("- 1 -")));
}

void TestPrintController::previewUsesPageSetupMargins()
{
    m_print->target()->setPageSetup({1000, 500, 1000, 1000});
    m_window->sqlEditor()->editor()->setText(QStringLiteral("SELECT 1;\nSELECT 2;\n"));
    TPreviewPrinter *preview = m_print->previewPrinter();
    QString label;
    int pages = 0;
    const QString printed = pdfPath(QStringLiteral("preview.pdf"));
    preview->runPrintDialog = [&](QWidget *, QPrinter *printer, int count) {
        printer->setOutputFileName(printed);
        TPrintRequest request;
        request.accepted = true;
        request.toPage = count;
        return request;
    };
    whenModal([&](QWidget *modal) {
        auto *form = qobject_cast<TPreviewForm *>(modal);
        QVERIFY(form);
        label = form->CurPageLabel->text();
        pages = preview->PageCount();
        form->PrintBut->click();
        form->CloseBut->click();
    });
    m_print->server_print_prefExecute();
    QCOMPARE(pages, 1);
    QCOMPARE(label, QStringLiteral("Page 1 of 1"));
    QCOMPARE(preview->TextOptions.MarginLeft, 1.0);
    QCOMPARE(preview->TextOptions.MarginTop, 0.5);
    QCOMPARE(preview->TextOptions.BodyFont, m_window->sqlEditor()->editor()->textFont());
    const TDeviceMetrics &m = preview->metrics();
    const PagePicture &page = preview->Page(0);
    bool numberAtMargin = false;
    for (const PagePicture::Item &item : page.items)
        numberAtMargin |= item.text == QStringLiteral("     1:") && item.from.x() == std::nearbyint(m.dpiX);
    QVERIFY(numberAtMargin);
    QCOMPARE(pdfPageCount(printed), 1);
    QVERIFY(pdfText(printed).contains(QStringLiteral("SELECT 2;")));
}

void TestPrintController::pageSetupKeepsMarginsApart()
{
    PrintTarget *target = m_print->target();
    QMarginsF opened;
    target->runPageSetup = [&](QWidget *, QPrinter *printer) {
        opened = printer->pageLayout().margins(QPageLayout::Inch);
        printer->setPageMargins(QMarginsF(1, 0.5, 0.25, 2), QPageLayout::Inch);
        return true;
    };
    m_window->action(QStringLiteral("server_print_setup"))->trigger();
    QCOMPARE(opened, QMarginsF());
    const PrintTarget::PageSetup &setup = target->pageSetup();
    QCOMPARE(setup.left, 1000);
    QCOMPARE(setup.top, 500);
    QCOMPARE(setup.right, 250);
    QCOMPARE(setup.bottom, 2000);
    // The printer keeps its whole printable area for the grids.
    QCOMPARE(target->printer()->pageLayout().margins(), QMarginsF());

    // The next set-up opens with the margins last chosen; Cancel keeps them.
    target->runPageSetup = [&](QWidget *, QPrinter *printer) {
        opened = printer->pageLayout().margins(QPageLayout::Inch);
        printer->setPageMargins(QMarginsF(2, 2, 2, 2), QPageLayout::Inch);
        return false;
    };
    m_print->server_print_setupExecute();
    QCOMPARE(opened, QMarginsF(1, 0.5, 0.25, 2));
    QCOMPARE(target->pageSetup().left, 1000);
    QCOMPARE(target->printer()->pageLayout().margins(), QMarginsF());
}

void TestPrintController::pageSetupFormForPdf()
{
    // The system's page set-up dialog refuses PDF output; the program's own
    // form stands in.
    PrintTarget target;
    if (!target.isPdf())
        QSKIP("a printer is installed here: the system's dialog serves it");
    const bool metric = QLocale().measurementSystem() == QLocale::MetricSystem;
    target.setPageSetup({500, 500, 500, 500});
    double shownLeft = -1;
    whenModal([&](QWidget *modal) {
        auto *form = qobject_cast<TPageSetupForm *>(modal);
        QVERIFY(form);
        shownLeft = form->MarginLeft->value();
        form->Paper->setCurrentIndex(form->Paper->findData(int(QPageSize::Letter)));
        form->Landscape->setChecked(true);
        form->MarginLeft->setValue(metric ? 25.4 : 1.0);
        form->MarginBottom->setValue(0);
        form->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    QVERIFY(target.showPageSetup(nullptr));
    QCOMPARE(shownLeft, metric ? 12.7 : 0.5);
    QCOMPARE(target.pageSetup().left, 1000);
    QCOMPARE(target.pageSetup().top, 500);
    QCOMPARE(target.pageSetup().bottom, 0);
    const QPageLayout layout = target.printer()->pageLayout();
    QCOMPARE(layout.pageSize().id(), QPageSize::Letter);
    QCOMPARE(layout.orientation(), QPageLayout::Landscape);
    QCOMPARE(layout.margins(), QMarginsF());

    // Cancel leaves paper and margins as they were.
    whenModal([](QWidget *modal) {
        auto *form = qobject_cast<TPageSetupForm *>(modal);
        QVERIFY(form);
        form->Portrait->setChecked(true);
        form->reject();
    });
    QVERIFY(!target.showPageSetup(nullptr));
    QCOMPARE(target.printer()->pageLayout().orientation(), QPageLayout::Landscape);
    QCOMPARE(target.pageSetup().left, 1000);
}

QTEST_MAIN(TestPrintController)
#include "tst_printcontroller.moc"

#include "data/gridmodel.h"
#include "data/settingsstore.h"
#include "dialogs/exportsavedialog.h"
#include "dialogs/gridprinter.h"
#include "dialogs/gridsaver.h"
#include "shell/exportcontroller.h"
#include "shell/gridfilter.h"
#include "shell/mainwindow.h"
#include "shell/printcontroller.h"
#include "shell/printtarget.h"
#include "tests/modalhelper.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <string>
#include <vector>

// Big saves and prints on a real main window: they run off the window's
// thread (its event loop goes on), show their progress with Cancel, leave
// no file when cancelled, and a print of many pages asks first. Then the
// save dialog's choices, and the grids added to the save and print commands.
class TestBigJobs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void jobsRunWhileTheWindowAnswers_data();
    void jobsRunWhileTheWindowAnswers();
    void manyPagesAskFirst_data();
    void manyPagesAskFirst();
    void saveDialogChoicesReachTheFile();
    void selectedRowsFollowTheView_data();
    void selectedRowsFollowTheView();
    void otherGridsSaveAndPrint_data();
    void otherGridsSaveAndPrint();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<TFormMain> m_window;
    ExportController *m_export = nullptr;
    PrintController *m_print = nullptr;
    QString m_pdfAnswer;
    QList<QUrl> m_opened;
};

namespace {

QByteArray readAll(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Rows that hold the job's thread at one row until the test lets it go on,
// so that the test acts while a job surely runs.
class GatedRows : public GridRowSource
{
public:
    GatedRows(int rows, int gate)
        : m_gate(gate)
    {
        for (int i = 0; i < rows; ++i)
            m_keys.push_back(std::to_string(i));
    }
    ~GatedRows() override { open(); }

    int rowCount() const override { return int(m_keys.size()); }
    int columnCount() const override { return 2; }
    const char *cell(int row, int column) const override
    {
        if (row == m_gate && column == 0 && QThread::currentThread() != qApp->thread()) {
            m_reached.release();
            // Bounded, so that a failing test cannot hang the run.
            if (m_open.tryAcquire(1, 120 * 1000))
                m_open.release();
        }
        return column == 0 ? m_keys[size_t(row)].c_str() : "v";
    }
    void open() { m_open.release(100); }
    bool reached() const { return m_reached.available() > 0; }

private:
    int m_gate;
    std::vector<std::string> m_keys;
    mutable QSemaphore m_open;
    mutable QSemaphore m_reached;
};

// Answers the next save dialog with a format (filter 0-4), a name and the
// choices below the file list.
void answerSave(int filter, const QString &fileName, const std::function<void(QFileDialog *)> &choose = {})
{
    whenModal([=](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        QVERIFY(types);
        types->setCurrentIndex(filter);
        Q_EMIT types->activated(filter);
        Q_EMIT types->textActivated(types->itemText(filter));
        if (choose)
            choose(dialog);
        dialog->setDirectory(QFileInfo(fileName).absolutePath());
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        edit->setText(QFileInfo(fileName).fileName());
        static_cast<QDialog *>(dialog)->accept();
    });
}

template <typename T>
T *optionControl(QWidget *dialog, const QString &accessibleName)
{
    const auto controls = dialog->findChildren<T *>();
    for (T *control : controls) {
        if (control->accessibleName() == accessibleName)
            return control;
    }
    return nullptr;
}

} // namespace

void TestBigJobs::init()
{
    QVERIFY(m_dir.isValid());
    m_settings = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("quarnel.conf")));
    m_window = std::make_unique<TFormMain>(m_settings.get());
    m_export = new ExportController(m_window.get(), m_window.get());
    m_print = new PrintController(m_window.get(), m_window.get());
    m_window->SetSessionCommands(true);
    // Jobs print to PDF files here, whatever printer the machine has.
    m_print->target()->printer()->setOutputFormat(QPrinter::PdfFormat);
    m_pdfAnswer.clear();
    m_print->target()->choosePdfFile = [this](QWidget *, const QString &) { return m_pdfAnswer; };
    m_opened.clear();
    ExportFileOpener() = [this](const QUrl &url) {
        m_opened.append(url);
        return true;
    };
}

void TestBigJobs::cleanup()
{
    cancelPendingAnswers();
    m_window.reset();
    m_settings.reset();
    const QStringList files = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
    for (const QString &file : files)
        QFile::remove(m_dir.filePath(file));
}

void TestBigJobs::jobsRunWhileTheWindowAnswers_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("save, finished") << "table_save_sql" << false;
    QTest::newRow("save, cancelled") << "table_save_sql" << true;
    QTest::newRow("print, finished") << "table_print_qdata" << false;
    QTest::newRow("print, cancelled") << "table_print_qdata" << true;
}

void TestBigJobs::jobsRunWhileTheWindowAnswers()
{
    QFETCH(QString, command);
    QFETCH(bool, cancel);
    const bool print = command.startsWith(QLatin1String("table_print"));
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView5"));
    grid->setColumns({QStringLiteral("k"), QStringLiteral("v")});
    // A print counts (measuring every row) and then draws pages: it is
    // held while drawing, so the count is done and the pages are asked for.
    const int rows = print ? 900 : 20000;
    auto gated = std::make_shared<GatedRows>(rows, rows / 2);
    grid->adoptRows(gated);
    const QString fileName = m_dir.filePath(print ? QStringLiteral("big.pdf") : QStringLiteral("big.csv"));
    {
        QFile earlier(fileName);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("the earlier file");
    }
    if (print)
        m_pdfAnswer = fileName;
    else
        answerSave(1, fileName);

    // While the job's thread waits at its gate, the window's event loop
    // runs: timers fire, the progress shows what is done of how much, and
    // the window can be cancelled from.
    int ticks = 0;
    int ticksWhileHeld = 0;
    bool progressSeen = false;
    QString progressText;
    bool cancelFound = false;
    QString question;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        ++ticks;
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            // Replacing the earlier file is confirmed; anything else is a
            // question this job should not have asked.
            if (!box->text().contains(QLatin1String("already exists")))
                question = box->text();
            if (QAbstractButton *yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->accept();
            return;
        }
        if (!gated->reached())
            return;
        ++ticksWhileHeld;
        auto *progress = qobject_cast<QProgressDialog *>(modal);
        if (!progress || progressSeen || ticksWhileHeld < 5)
            return;
        progressSeen = true;
        const auto labels = progress->findChildren<QLabel *>();
        for (const QLabel *label : labels)
            progressText += label->text();
        if (cancel) {
            auto *button = optionControl<QPushButton>(progress, QStringLiteral("Cancel"));
            cancelFound = button != nullptr;
            if (button)
                button->click();
        }
        gated->open();
    });
    watch.start(5);
    QAction *action = m_window->action(command);
    QVERIFY(action);
    action->trigger();
    watch.stop();
    gated->open();

    QVERIFY2(question.isEmpty(), qPrintable(question));
    QVERIFY(progressSeen);
    QVERIFY2(ticksWhileHeld >= 5, "the event loop ran while the job was held");
    // A print is held while it counts its pages, measuring rows.
    const QString unit = print ? QStringLiteral("rows measured") : QStringLiteral("rows");
    QVERIFY2(progressText.contains(QStringLiteral(" of ")) && progressText.contains(unit), qPrintable(progressText));
    QCOMPARE(cancelFound, cancel);
    // No part file is left beside the chosen name.
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("*big*")}, QDir::Files | QDir::Hidden),
             QStringList{QFileInfo(fileName).fileName()});
    if (cancel) {
        QCOMPARE(readAll(fileName), QByteArray("the earlier file"));
        return;
    }
    const QByteArray written = readAll(fileName);
    if (print) {
        QVERIFY(written.startsWith("%PDF"));
    } else {
        QVERIFY(written.startsWith("0,v\r\n1,v\r\n"));
        QCOMPARE(written.count('\n'), rows);
    }
}

void TestBigJobs::manyPagesAskFirst_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("No prints nothing") << false;
    QTest::newRow("Yes prints them all") << true;
}

void TestBigJobs::manyPagesAskFirst()
{
    QFETCH(bool, yes);
    // One row per page: a tall font on a small page.
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView5"));
    grid->setColumns({QStringLiteral("k")});
    const int rows = 1200;
    grid->beginBulkAppend();
    for (int i = 0; i < rows; ++i)
        grid->appendRow(QStringList{QString::number(i)});
    grid->endBulkAppend();
    TPrintsettings &settings = m_print->printSettings(QStringLiteral("AdvListView5"));
    settings.Font.setPointSize(200);
    QPrinter *printer = m_print->target()->printer();
    printer->setPageSize(QPageSize(QPageSize::A6));
    const QString fileName = m_dir.filePath(QStringLiteral("many.pdf"));
    m_pdfAnswer = fileName;

    QString question;
    bool asked = false;
    whenModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        asked = true;
        question = box->text();
        box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    m_window->action(QStringLiteral("table_print_qdata"))->trigger();
    QVERIFY(asked);
    // The count is named: every row on a page of its own, the captions too.
    QCOMPARE(question, QStringLiteral("The print has %1 pages. Print all of them?")
                           .arg(QLocale().toString(rows + 1)));
    if (!yes) {
        QVERIFY(!QFile::exists(fileName));
        return;
    }
    QTRY_VERIFY(QFile::exists(fileName));
    QVERIFY(readAll(fileName).startsWith("%PDF"));
    const QByteArray pdf = readAll(fileName);
    QCOMPARE(pdf.count("/Type /Page") - pdf.count("/Type /Pages"), rows + 1);
}

void TestBigJobs::saveDialogChoicesReachTheFile()
{
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView5"));
    grid->setColumns({QStringLiteral("a"), QStringLiteral("b")});
    const char *row[] = {"x;y", nullptr};
    grid->appendRow(row, 2);
    const QString fileName = m_dir.filePath(QStringLiteral("choices.csv"));

    // The first save shows the defaults: what was always written.
    bool defaults = false;
    answerSave(1, fileName, [&](QFileDialog *dialog) {
        auto *header = optionControl<QCheckBox>(dialog, QStringLiteral("Column names in the first row"));
        auto *delimiter = optionControl<QComboBox>(dialog, QStringLiteral("Delimiter"));
        auto *nullText = optionControl<QLineEdit>(dialog, QStringLiteral("Write NULL as"));
        auto *encoding = optionControl<QComboBox>(dialog, QStringLiteral("Encoding"));
        auto *selected = optionControl<QCheckBox>(dialog, QStringLiteral("Selected rows only"));
        auto *open = optionControl<QCheckBox>(dialog, QStringLiteral("Open after saving"));
        QVERIFY(header && delimiter && nullText && encoding && selected && open);
        defaults = !header->isChecked() && delimiter->currentText() == QLatin1String("Comma")
            && nullText->text().isEmpty() && encoding->currentText() == QLatin1String("UTF-8")
            && !selected->isChecked() && !selected->isEnabled() && !open->isChecked() && delimiter->isEnabled();
    });
    m_window->action(QStringLiteral("table_save_sql"))->trigger();
    QVERIFY(defaults);
    QCOMPARE(readAll(fileName), QByteArray("x;y,\r\n"));
    QVERIFY(m_opened.isEmpty());

    const QString chosenName = m_dir.filePath(QStringLiteral("chosen.csv"));
    // Chosen once, kept for the next save.
    answerSave(1, chosenName, [](QFileDialog *dialog) {
        optionControl<QCheckBox>(dialog, QStringLiteral("Column names in the first row"))->setChecked(true);
        optionControl<QComboBox>(dialog, QStringLiteral("Delimiter"))->setCurrentIndex(1);
        optionControl<QLineEdit>(dialog, QStringLiteral("Write NULL as"))->setText(QStringLiteral("NULL"));
        optionControl<QComboBox>(dialog, QStringLiteral("Encoding"))->setCurrentIndex(1);
        optionControl<QCheckBox>(dialog, QStringLiteral("Open after saving"))->setChecked(true);
    });
    m_window->action(QStringLiteral("table_save_sql"))->trigger();
    QCOMPARE(readAll(chosenName), QByteArray("\xEF\xBB\xBF" "a;b\r\n\"x;y\";NULL\r\n"));
    QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(chosenName)});

    bool kept = false;
    bool delimiterOffForHtml = false;
    answerSave(4, m_dir.filePath(QStringLiteral("choices.htm")), [&](QFileDialog *dialog) {
        kept = optionControl<QCheckBox>(dialog, QStringLiteral("Column names in the first row"))->isChecked()
            && optionControl<QComboBox>(dialog, QStringLiteral("Delimiter"))->currentText() == QLatin1String("Semicolon");
        delimiterOffForHtml = !optionControl<QComboBox>(dialog, QStringLiteral("Delimiter"))->isEnabled();
    });
    m_window->action(QStringLiteral("table_save_sql"))->trigger();
    QVERIFY(kept);
    QVERIFY(delimiterOffForHtml);
    QCOMPARE(m_opened.size(), 2);
}

void TestBigJobs::selectedRowsFollowTheView_data()
{
    // quick: the window's own filter above the grid; else a sorting filter.
    QTest::addColumn<bool>("quick");
    QTest::addColumn<std::vector<int>>("rows");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("sorted filter") << false << std::vector<int>{3, 0} << QByteArray("avocado\r\napple\r\n");
    QTest::newRow("quick filter") << true << std::vector<int>{0, 3} << QByteArray("apple\r\navocado\r\n");
}

void TestBigJobs::selectedRowsFollowTheView()
{
    // A filter between the grid and its view: the rows written are the
    // grid rows behind the selected view rows, in the view's order.
    QFETCH(bool, quick);
    QFETCH(std::vector<int>, rows);
    QFETCH(QByteArray, written);
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView5"));
    grid->setColumns({QStringLiteral("n")});
    for (const char *name : {"apple", "banana", "cherry", "avocado", "apricot"})
        grid->appendRow(QStringList{QString::fromLatin1(name)});
    QTableView *view = m_window->gridView(QStringLiteral("AdvListView5"));
    if (quick) {
        // The rows holding an "a", as typed into the grid's filter.
        GridFilter *typed = nullptr;
        for (GridFilter *filter : m_window->findChildren<GridFilter *>()) {
            if (filter->view() == view)
                typed = filter;
        }
        QVERIFY(typed);
        QTest::keyClicks(typed, QStringLiteral("a"));
        QTRY_VERIFY(!typed->filtering() && qobject_cast<RowFilterModel *>(view->model()));
        QCOMPARE(view->model()->rowCount(), 4); // apple, banana, avocado, apricot
    } else {
        auto *filter = new QSortFilterProxyModel(view);
        filter->setSourceModel(grid);
        filter->setFilterKeyColumn(0);
        filter->setFilterRegularExpression(QStringLiteral("^a"));
        filter->sort(0, Qt::DescendingOrder);
        view->setModel(filter);
        QCOMPARE(filter->rowCount(), 3); // avocado, apricot, apple
    }
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    QAbstractItemModel *shown = view->model();
    view->selectionModel()->select(shown->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view->selectionModel()->select(shown->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(ExportController::selectedGridRows(view), rows);

    const QString fileName = m_dir.filePath(QStringLiteral("selected.csv"));
    bool offered = false;
    answerSave(1, fileName, [&](QFileDialog *dialog) {
        auto *selected = optionControl<QCheckBox>(dialog, QStringLiteral("Selected rows only"));
        offered = selected->isEnabled();
        selected->setChecked(true);
    });
    m_window->action(QStringLiteral("table_save_sql"))->trigger();
    QVERIFY(offered);
    QCOMPARE(readAll(fileName), written);
}

void TestBigJobs::otherGridsSaveAndPrint_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("save");
    QTest::addColumn<QString>("print");
    QTest::newRow("variables") << "AdvListView6" << "table_save_info" << "table_print_info";
    QTest::newRow("user") << "AdvListViewUser" << "admin_save_privileges" << "admin_print_privileges";
    QTest::newRow("host") << "AdvListViewHost" << "admin_save_privileges" << "admin_print_privileges";
    QTest::newRow("db") << "AdvListViewDatabase" << "admin_save_privileges" << "admin_print_privileges";
}

void TestBigJobs::otherGridsSaveAndPrint()
{
    QFETCH(QString, grid);
    QFETCH(QString, save);
    QFETCH(QString, print);
    // Every grid filled, each differently: the command takes the one shown.
    for (const QString &name : {QStringLiteral("AdvListView6"), QStringLiteral("AdvListViewUser"),
                                QStringLiteral("AdvListViewHost"), QStringLiteral("AdvListViewDatabase")}) {
        GridModel *model = m_window->grid(name);
        QVERIFY(model);
        if (model->columnCount() == 0)
            model->setColumns({QStringLiteral("Variable_name"), QStringLiteral("Value")});
        model->appendRow(QStringList{name, QStringLiteral("1")});
    }
    if (auto *pages = m_window->findChild<QTabWidget *>(QStringLiteral("PageControlAdmin"))) {
        // The page of the grid's view (it stands under its quick filter).
        const QTableView *view = m_window->gridView(grid);
        for (int i = 0; i < pages->count(); ++i) {
            if (pages->widget(i) == view || pages->widget(i)->isAncestorOf(view))
                pages->setCurrentIndex(i);
        }
    }
    const QString fileName = m_dir.filePath(QStringLiteral("other.csv"));
    answerSave(1, fileName);
    QAction *saveAction = m_window->action(save);
    QVERIFY(saveAction);
    QVERIFY(saveAction->isEnabled());
    saveAction->trigger();
    QVERIFY(readAll(fileName).startsWith(grid.toUtf8() + ",1"));

    const QString pdf = m_dir.filePath(QStringLiteral("other.pdf"));
    m_pdfAnswer = pdf;
    QAction *printAction = m_window->action(print);
    QVERIFY(printAction);
    QVERIFY(printAction->isEnabled());
    printAction->trigger();
    QVERIFY(readAll(pdf).startsWith("%PDF"));
}

QTEST_MAIN(TestBigJobs)
#include "tst_bigjobs.moc"

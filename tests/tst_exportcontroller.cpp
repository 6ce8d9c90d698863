#include "data/gridmodel.h"
#include "dialogs/exportsavedialog.h"
#include "dialogs/gridsaver.h"
#include "shell/exportcontroller.h"
#include "shell/mainwindow.h"
#include "data/settingsstore.h"
#include "tests/modalhelper.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

// The five save commands on a real main window: the save dialog, its
// remembered format, the grid each command writes, and saving while the
// grid changes or the user cancels.
class TestExportController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void commandsSaveTheirGrid_data();
    void commandsSaveTheirGrid();
    void formatFollowsTheFilterAndIsKept();
    void cancelledDialogWritesNothing();
    void folderMustExist();
    void failureReachesTheErrorBox();
    void emptyGridSaysNothingWasWritten_data();
    void emptyGridSaysNothingWasWritten();
    void gridChangedOrCancelledDuringSave_data();
    void gridChangedOrCancelledDuringSave();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<TFormMain> m_window;
    ExportController *m_controller = nullptr;
};

namespace {

QByteArray readAll(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Picks a format as the user does, in the dialog's list of file types.
void chooseFilter(QFileDialog *dialog, int index)
{
    auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    QVERIFY(types);
    types->setCurrentIndex(index);
    Q_EMIT types->activated(index);
    Q_EMIT types->textActivated(types->itemText(index));
}

struct Shown
{
    QString title;
    QString filter;
    QString name;
    bool confirmsOverwrite = false;
};

// Answers the next save dialog: filter 0-4 and the name typed (relative to
// folder when not absolute); an empty name cancels.
void answerSave(int filter, const QString &name, const QString &folder, Shown *shown = nullptr)
{
    whenModal([=](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        if (shown) {
            shown->title = dialog->windowTitle();
            shown->filter = dialog->selectedNameFilter();
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            shown->name = edit->text();
            shown->confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        }
        if (name.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->setDirectory(folder);
        if (filter >= 0)
            chooseFilter(dialog, filter);
        // Typed into the name field, as the user does.
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        edit->setText(name);
        static_cast<QDialog *>(dialog)->accept(); // as the Save button does
    });
}

// Rows that stop the writer at one row until the test lets it go on, so a
// test can act while an export is surely running.
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
            // Bounded, so that a failing test cannot hang the run.
            if (m_open.tryAcquire(1, 120 * 1000))
                m_open.release();
        }
        return column == 0 ? m_keys[size_t(row)].c_str() : "v";
    }
    void open() { m_open.release(100); }

private:
    int m_gate;
    std::vector<std::string> m_keys;
    mutable QSemaphore m_open;
};

} // namespace

Q_DECLARE_METATYPE(ExportFormat)

void TestExportController::init()
{
    QVERIFY(m_dir.isValid());
    m_settings = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("quarnel.conf")));
    m_window = std::make_unique<TFormMain>(m_settings.get());
    m_controller = new ExportController(m_window.get(), m_window.get());
    m_window->SetSessionCommands(true);
}

void TestExportController::cleanup()
{
    cancelPendingAnswers();
    m_window.reset();
    m_settings.reset();
    const QStringList files = QDir(m_dir.path()).entryList(QDir::Files);
    for (const QString &file : files)
        QFile::remove(m_dir.filePath(file));
}

void TestExportController::commandsSaveTheirGrid_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("Save Result") << "table_save_result" << "AdvListView1" << QByteArray("data,1\r\n");
    QTest::newRow("Save Definition") << "table_save_def" << "AdvListView2"
                                     << QByteArray("id,int(11),,PRI,0,auto_increment,\r\n");
    QTest::newRow("Save Tableindex") << "table_save_index" << "AdvListView4"
                                     << QByteArray("t,0,PRIMARY,1,id,A,3,,,\r\n");
    QTest::newRow("Save Table Propertis") << "table_save_prop" << "AdvListView3" << QByteArray("Name,t\r\n");
    QTest::newRow("Save SQL-Query Data") << "table_save_sql" << "AdvListView5" << QByteArray("query,2\r\n");
}

void TestExportController::commandsSaveTheirGrid()
{
    QFETCH(QString, action);
    QFETCH(QString, grid);
    QFETCH(QByteArray, expected);
    // Every grid filled, each differently: the command must pick its own.
    const QStringList names = {QStringLiteral("AdvListView1"), QStringLiteral("AdvListView2"),
                               QStringLiteral("AdvListView3"), QStringLiteral("AdvListView4"),
                               QStringLiteral("AdvListView5")};
    for (const QString &name : names)
        QVERIFY(m_window->grid(name));
    m_window->grid(names[0])->setColumns({QStringLiteral("a"), QStringLiteral("b")});
    m_window->grid(names[0])->appendRow(QStringList{QStringLiteral("data"), QStringLiteral("1")});
    const char *definition[] = {"id", "int(11)", "", "PRI", "0", "auto_increment", ""};
    m_window->grid(names[1])->appendRow(definition, 7);
    m_window->grid(names[2])->appendRow(QStringList{QStringLiteral("Name"), QStringLiteral("t")});
    const char *index[] = {"t", "0", "PRIMARY", "1", "id", "A", "3", nullptr, "", ""};
    m_window->grid(names[3])->appendRow(index, 10);
    m_window->grid(names[4])->setColumns({QStringLiteral("q"), QStringLiteral("n")});
    m_window->grid(names[4])->appendRow(QStringList{QStringLiteral("query"), QStringLiteral("2")});

    const QString fileName = m_dir.filePath(QStringLiteral("saved.csv"));
    answerSave(1, fileName, m_dir.path());
    QAction *command = m_window->action(action);
    QVERIFY(command);
    QVERIFY(command->isEnabled());
    command->trigger();
    QCOMPARE(readAll(fileName), expected);
}

void TestExportController::formatFollowsTheFilterAndIsKept()
{
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView3"));
    grid->appendRow(QStringList{QStringLiteral("Rows"), QStringLiteral("12")});
    const QStringList filters = ExportSaveDialog::nameFilters();
    QCOMPARE(filters.size(), 5);

    // First save: the first format; "Ascii files" with a name ending .txt.
    Shown first;
    answerSave(3, QStringLiteral("status.txt"), m_dir.path(), &first);
    m_window->action(QStringLiteral("table_save_prop"))->trigger();
    QCOMPARE(first.title, QStringLiteral("Save"));
    QCOMPARE(first.filter, filters.at(0));
    QVERIFY(first.filter.startsWith(QLatin1String("xls files [*.xls)")));
    QVERIFY(first.name.isEmpty());
    QVERIFY(first.confirmsOverwrite);
    QCOMPARE(readAll(m_dir.filePath(QStringLiteral("status.txt"))), QByteArray("Rows 12 \r\n"));
    QCOMPARE(m_controller->SaveData()->FilterIndex(), 4);

    // The next save, by another command, opens with that format and an
    // empty name; a name typed without extension takes the chosen format's.
    Shown second;
    answerSave(4, QStringLiteral("status"), m_dir.path(), &second);
    m_window->action(QStringLiteral("table_save_prop"))->trigger();
    QCOMPARE(second.filter, filters.at(3));
    QVERIFY(second.name.isEmpty());
    QVERIFY(readAll(m_dir.filePath(QStringLiteral("status.htm"))).contains("<td nowrap>Rows</td>\r\n"));
    QCOMPARE(m_controller->SaveData()->FilterIndex(), 5);
    QCOMPARE(m_controller->SaveData()->format(), ExportFormat::Html);
}

void TestExportController::cancelledDialogWritesNothing()
{
    m_window->grid(QStringLiteral("AdvListView3"))->appendRow(QStringList{QStringLiteral("Rows"), QStringLiteral("1")});
    const QStringList before = QDir(m_dir.path()).entryList(QDir::Files);
    answerSave(1, QString(), m_dir.path());
    m_window->action(QStringLiteral("table_save_prop"))->trigger();
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), before);
    QCOMPARE(m_controller->SaveData()->FilterIndex(), 0);
}

void TestExportController::folderMustExist()
{
    m_window->grid(QStringLiteral("AdvListView3"))->appendRow(QStringList{QStringLiteral("Rows"), QStringLiteral("1")});
    const QString fileName = m_dir.filePath(QStringLiteral("missing/out.csv"));
    QString warning;
    bool stayedOpen = false;
    whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        dialog->setDirectory(m_dir.path());
        chooseFilter(dialog, 1);
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(fileName);
        answerMessageBox(QMessageBox::Ok, &warning, nullptr, dialog);
        static_cast<QDialog *>(dialog)->accept(); // as the Save button does
        stayedOpen = dialog->isVisible();
        dialog->reject();
    });
    m_window->action(QStringLiteral("table_save_prop"))->trigger();
    QVERIFY(stayedOpen);
    QVERIFY2(warning.contains(QLatin1String("does not exist")), qPrintable(warning));
    QVERIFY(!QFile::exists(fileName));
}

void TestExportController::failureReachesTheErrorBox()
{
    // The call the other grids' save commands use, with a folder that is a file.
    GridModel grid;
    grid.setColumns({QStringLiteral("a")});
    grid.appendRow(QStringList{QStringLiteral("x")});
    QFile plain(m_dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString fileName = m_dir.filePath(QStringLiteral("plain/messages.log"));
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    answerMessageBox(QMessageBox::Ok, &text, &icon);
    QVERIFY(!SaveGridToFile(m_window.get(), grid, ExportFormat::Csv, fileName));
    QCOMPARE(icon, QMessageBox::Critical);
    QVERIFY2(text.startsWith(QStringLiteral("Cannot create file ") + QDir::toNativeSeparators(fileName)
                             + QStringLiteral(": ")),
             qPrintable(text));
    QVERIFY(text.endsWith(QLatin1Char('.')));
}

void TestExportController::emptyGridSaysNothingWasWritten_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<bool>("withColumns");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("fileWritten");
    const QString none = QStringLiteral("The grid has no rows: nothing was written, no file was created.");
    QTest::newRow("csv") << ExportFormat::Csv << true << none << false;
    QTest::newRow("xls") << ExportFormat::Xls << true << none << false;
    QTest::newRow("doc") << ExportFormat::Doc << true << none << false;
    QTest::newRow("htm") << ExportFormat::Html << true << none << false;
    QTest::newRow("xls, no columns") << ExportFormat::Xls << false
                                     << QStringLiteral("The grid has no columns: nothing was written, no file was "
                                                       "created.")
                                     << false;
    QTest::newRow("asc") << ExportFormat::Ascii << true << QStringLiteral("The grid has no rows: the file %1 is empty.")
                         << true;
}

void TestExportController::emptyGridSaysNothingWasWritten()
{
    // An empty grid is no failure, and it is no saved grid either: the user
    // is told what became of the file.
    QFETCH(ExportFormat, format);
    QFETCH(bool, withColumns);
    QFETCH(QString, message);
    QFETCH(bool, fileWritten);
    GridModel grid;
    if (withColumns)
        grid.setColumns({QStringLiteral("a")});
    const QString fileName = m_dir.filePath(QStringLiteral("none.out"));
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    answerMessageBox(QMessageBox::Ok, &text, &icon);
    QVERIFY(SaveGridToFile(m_window.get(), grid, format, fileName));
    QCOMPARE(icon, QMessageBox::Information);
    QCOMPARE(text, fileWritten ? message.arg(QDir::toNativeSeparators(fileName)) : message);
    QCOMPARE(QFile::exists(fileName), fileWritten);
}

void TestExportController::gridChangedOrCancelledDuringSave_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("csv, grid refilled") << ExportFormat::Csv << false;
    QTest::newRow("xls, grid refilled") << ExportFormat::Xls << false;
    QTest::newRow("asc, cancelled") << ExportFormat::Ascii << true;
    QTest::newRow("htm, cancelled") << ExportFormat::Html << true;
}

void TestExportController::gridChangedOrCancelledDuringSave()
{
    QFETCH(ExportFormat, format);
    QFETCH(bool, cancel);
    GridModel *grid = m_window->grid(QStringLiteral("AdvListView5"));
    grid->setColumns({QStringLiteral("k"), QStringLiteral("v")});
    const int rows = 3000;
    auto gated = std::make_shared<GatedRows>(rows, 1500);
    grid->adoptRows(gated);
    const QString fileName = m_dir.filePath(QStringLiteral("during"));
    {
        QFile earlier(fileName);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("the earlier file");
    }
    const QStringList files = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);

    // While the writer waits at its gate the progress shows; then the grid
    // is emptied and refilled, or the user cancels.
    bool progressShown = false;
    bool cancelClicked = false;
    QString messageBox;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            messageBox = box->text();
            box->accept();
            return;
        }
        auto *progress = qobject_cast<QProgressDialog *>(modal);
        if (!progress || progressShown)
            return;
        progressShown = true;
        if (cancel) {
            if (auto *button = progress->findChild<QPushButton *>()) {
                cancelClicked = button->text() == QLatin1String("Cancel");
                button->click();
            }
        } else {
            grid->clearRows();
            grid->setColumns({QStringLiteral("other")});
            grid->appendRow(QStringList{QStringLiteral("refilled")});
        }
        gated->open();
    });
    watch.start(10);
    const bool saved = SaveGridToFile(m_window.get(), *grid, format, fileName);
    watch.stop();
    gated->open();
    QVERIFY(progressShown);
    QVERIFY2(messageBox.isEmpty(), qPrintable(messageBox));
    QCOMPARE(saved, !cancel);
    QCOMPARE(cancelClicked, cancel);
    if (cancel) {
        QCOMPARE(readAll(fileName), QByteArray("the earlier file"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), files);
        return;
    }
    QCOMPARE(grid->rowCount(), 1);
    // The file holds the rows the grid showed when the save began.
    if (format == ExportFormat::Csv) {
        QByteArray expected;
        for (int i = 0; i < rows; ++i)
            expected += QByteArray::number(i) + ",v\r\n";
        QCOMPARE(readAll(fileName), expected);
    } else {
        QVERIFY(readAll(fileName).startsWith("PK")); // a complete spreadsheet package
        QVERIFY(readAll(fileName).size() > 1000);
    }
}

QTEST_MAIN(TestExportController)
#include "tst_exportcontroller.moc"

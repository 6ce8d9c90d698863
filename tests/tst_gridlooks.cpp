#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "dialogs/logindialog.h"
#include "dialogs/valueviewer.h"
#include "shell/gridviews.h"
#include "shell/mainwindow.h"
#include "shell/rowlimitbar.h"
#include "shell/sessioncontroller.h"
#include "tests/support/loginanswer.h"
#include "tests/support/privateserver.h"
#include "tests/support/treenode.h"
#include "tests/support/settle.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <memory>

// What the grids of the real window show and copy of values read from a
// private server: NULL, numbers, binary values with a NUL byte, multi-line
// texts, the rows past the row limit, and the count of a query's rows.
class TestGridLooks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void copySelectedRowsAsTextAndHtml();
    void valueViewerShowsWholeValues_data();
    void valueViewerShowsWholeValues();
    void nullShownAsChosenText();
    void typesInHeaderAndNumbersRight();
    void rowLimitLineAndNextRows();
    void queryGridSaysHowManyRowsCame();

private:
    void login();
    void openTable(const QString &table);
    QModelIndex node(const QString &database, const QString &table = QString()) const;
    QTableView *dataView() const { return m_window->gridView(QStringLiteral("AdvListView1")); }
    GridModel *dataGrid() const { return m_window->grid(QStringLiteral("AdvListView1")); }
    int columnOf(const QString &caption) const;
    QImage cellImage(QTableView *view, int row, int column) const;

    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<TFormMain> m_window;
    std::unique_ptr<TDMstd> m_data;
    std::unique_ptr<SessionController> m_controller;
};

void TestGridLooks::initTestCase()
{
    QVERIFY(LoadClientLibrary());
    QString error;
    PrivateServer &server = PrivateServer::shared();
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY2(server.sql(QStringLiteral(
                            "CREATE DATABASE looks;"
                            "CREATE TABLE looks.cells (id INT PRIMARY KEY, note TEXT, raw BLOB, amount DECIMAL(8,2),"
                            " label VARCHAR(20)) ENGINE=MyISAM;"
                            "INSERT INTO looks.cells VALUES"
                            " (1, 'line one\\nline two', 'a\\0b', 12.50, ''),"
                            " (2, 'tab\\there', NULL, NULL, NULL),"
                            " (3, '<b>bold</b> & \"quoted\"', 'z', -3.00, 'x');"
                            "CREATE TABLE looks.many (n INT PRIMARY KEY) ENGINE=MyISAM;"
                            "INSERT INTO looks.many SELECT seq FROM looks.seq_1_to_250;"),
                        nullptr, &error),
             qPrintable(error));
}

void TestGridLooks::init()
{
    QVERIFY(m_dir.isValid());
    m_settings = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("quarnel.conf")));
    const PrivateServer &server = PrivateServer::shared();
    TServerProfile &profile = m_settings->currentProfile();
    profile = TServerProfile();
    profile.Host = server.host();
    profile.Port = QString::number(server.port());
    profile.Database = QStringLiteral("looks");
    m_settings->SaveServerProfile(server.host());
    m_settings->LoadProgramSettings();
    m_settings->programSettings().DBL = QStringLiteral("100");
    m_settings->programSettings().DBHL = false;
    m_window = std::make_unique<TFormMain>(m_settings.get());
    m_data = std::make_unique<TDMstd>(SessionController::viewsOf(m_window.get()));
    m_controller = std::make_unique<SessionController>(m_window.get(), m_data.get());
    m_window->AddServerItem(server.host());
    QListWidget *list = m_window->serverList();
    list->setCurrentRow(list->count() - 1);
    m_window->resize(1100, 800);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    login();
}

void TestGridLooks::cleanup()
{
    m_controller.reset();
    m_data.reset();
    m_window.reset();
    m_settings.reset();
}

void TestGridLooks::login()
{
    AnswerLoginAsAdministrator(*m_controller);
    m_controller->ListServerDblClick();
    settle();
    QVERIFY(node(QStringLiteral("looks")).isValid());
}

QModelIndex TestGridLooks::node(const QString &database, const QString &table) const
{
    return TreeNode(m_window->treeModel(), database, table);
}

void TestGridLooks::openTable(const QString &table)
{
    m_controller->TreeServerDblClick(node(QStringLiteral("looks")));
    settle();
    const QModelIndex index = node(QStringLiteral("looks"), table);
    QVERIFY(index.isValid());
    m_window->treeView()->setCurrentIndex(index);
    m_controller->TreeServerDblClick(index);
    settle();
    QCOMPARE(m_data->DataGridTable(), table);
    QVERIFY(dataView()->isVisible());
}

int TestGridLooks::columnOf(const QString &caption) const
{
    for (int column = 0; column < dataGrid()->columnCount(); ++column) {
        if (dataGrid()->columnCaption(column) == caption)
            return column;
    }
    return -1;
}

QImage TestGridLooks::cellImage(QTableView *view, int row, int column) const
{
    const QRect rect = view->visualRect(view->model()->index(row, column));
    return view->viewport()->grab(rect).toImage();
}

void TestGridLooks::copySelectedRowsAsTextAndHtml()
{
    openTable(QStringLiteral("cells"));
    QTableView *view = dataView();
    QCOMPARE(dataGrid()->rowCount(), 3);
    // Rows 1 and 3, picked with the mouse and Ctrl.
    view->setFocus();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(dataGrid()->index(0, 0)).center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualRect(dataGrid()->index(2, 0)).center());
    QCOMPARE(view->selectionModel()->selectedRows().size(), 2);
    QApplication::clipboard()->clear();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);

    const QMimeData *copied = QApplication::clipboard()->mimeData();
    QVERIFY(copied);
    // Columns: id, note, raw (hex), amount, label. A value with a line break
    // or a leading quote goes between quotes; NULL stays empty.
    const QStringList lines = copied->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3); // the first row's note holds a line break
    QCOMPARE(copied->text(), QStringLiteral("1\t\"line one\nline two\"\t0x610062\t12.50\t\n"
                                            "3\t<b>bold</b> & \"quoted\"\t0x7A\t-3.00\tx"));
    // The same rows as an HTML table, the markup of a value escaped.
    const QString html = copied->html();
    QVERIFY2(html.contains(QStringLiteral("<td>line one<br>line two</td>")), qPrintable(html));
    QVERIFY2(html.contains(QStringLiteral("<td>&lt;b&gt;bold&lt;/b&gt; &amp; &quot;quoted&quot;</td>")),
             qPrintable(html));
    QCOMPARE(html.count(QStringLiteral("<tr>")), 2);

    // "Copy with Column Names" from the grid's menu puts the names first.
    QAction *withNames = m_window->gridSupport()->copyAction(view, true);
    QVERIFY(withNames);
    QCOMPARE(withNames->text(), QStringLiteral("Copy with Column Names"));
    withNames->trigger();
    const QMimeData *named = QApplication::clipboard()->mimeData();
    QVERIFY(named->text().startsWith(QStringLiteral("id\tnote\traw\tamount\tlabel\n1\t")));
    QVERIFY(named->html().contains(QStringLiteral("<th>id</th><th>note</th>")));
    QCOMPARE(named->html().count(QStringLiteral("<tr>")), 3);

    // Ctrl+A and Copy take every row.
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text().count(QStringLiteral("\n")), 3);
}

void TestGridLooks::valueViewerShowsWholeValues_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("column");
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("copied");
    QTest::newRow("multi-line text, double click")
        << 0 << "note" << false << "line one\nline two" << "17 bytes" << "line one\nline two";
    QTest::newRow("blob with a NUL byte, Enter")
        << 0 << "raw" << true << "00000000  61 00 62" << "3 bytes" << "0x610062";
    QTest::newRow("NULL") << 1 << "raw" << true << "" << "NULL" << "";
}

void TestGridLooks::valueViewerShowsWholeValues()
{
    QFETCH(int, row);
    QFETCH(QString, column);
    QFETCH(bool, byKey);
    QFETCH(QString, shown);
    QFETCH(QString, length);
    QFETCH(QString, copied);
    openTable(QStringLiteral("cells"));
    QTableView *view = dataView();
    const QModelIndex index = dataGrid()->index(row, columnOf(column));
    QVERIFY(index.isValid());
    view->setFocus();
    view->setCurrentIndex(index);
    if (byKey) {
        QTest::keyClick(view, Qt::Key_Return);
    } else {
        const QPoint at = view->visualRect(index).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    }
    TFormValueViewer *viewer = m_window->gridSupport()->valueViewer();
    QVERIFY(viewer);
    QTRY_VERIFY(viewer->isVisible());
    QVERIFY(viewer->EditValue->isReadOnly());
    QVERIFY2(viewer->EditValue->toPlainText().startsWith(shown), qPrintable(viewer->EditValue->toPlainText()));
    QCOMPARE(viewer->LabelLength->text(), length);
    QVERIFY(viewer->LabelCaption->text().startsWith(column));
    QCOMPARE(viewer->copyText(), copied);
    QCOMPARE(viewer->ButtonCopy->isEnabled(), !copied.isEmpty());
    if (!copied.isEmpty()) {
        QApplication::clipboard()->clear();
        viewer->ButtonCopy->click();
        QCOMPARE(QApplication::clipboard()->text(), copied);
    }
    // The data grid's Enter opened no table and changed no row.
    QCOMPARE(dataGrid()->rowCount(), 3);
    viewer->close();
}

void TestGridLooks::nullShownAsChosenText()
{
    openTable(QStringLiteral("cells"));
    QTableView *view = dataView();
    const int label = columnOf(QStringLiteral("label"));
    view->setColumnWidth(label, 120);
    view->clearSelection();
    view->setCurrentIndex(QModelIndex());
    // Row 1 holds an empty text, row 2 NULL.
    QCOMPARE(dataGrid()->text(0, label), QString());
    QVERIFY(dataGrid()->isNull(1, label));

    // By default NULL looks like the empty text.
    QCOMPARE(m_window->gridSupport()->nullText(), QString());
    QCOMPARE(cellImage(view, 1, label), cellImage(view, 0, label));

    // Chosen in the options: NULL cells show it, in grey; the empty text
    // stays empty.
    m_window->gridSupport()->setNullText(QStringLiteral("NULL"));
    const QImage empty = cellImage(view, 0, label);
    const QImage null = cellImage(view, 1, label);
    QVERIFY(null != empty);
    bool grey = false;
    for (int y = 0; y < null.height() && !grey; ++y) {
        for (int x = 0; x < null.width() && !grey; ++x) {
            const QColor pixel = null.pixelColor(x, y);
            grey = pixel != empty.pixelColor(x, y) && qAbs(pixel.red() - pixel.green()) < 8
                && qAbs(pixel.green() - pixel.blue()) < 8 && pixel.value() > 60 && pixel.value() < 200;
        }
    }
    QVERIFY(grey);
    // A screen reader gets the text drawn: the chosen text for NULL, the
    // empty text for the empty one.
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(view);
    QVERIFY(table && table->tableInterface());
    QAccessibleInterface *nullCell = table->tableInterface()->cellAt(1, label);
    QAccessibleInterface *emptyCell = table->tableInterface()->cellAt(0, label);
    QVERIFY(nullCell && emptyCell);
    QCOMPARE(nullCell->text(QAccessible::Name), QStringLiteral("NULL"));
    QCOMPARE(emptyCell->text(QAccessible::Name), QString());
    QCOMPARE(table->tableInterface()->cellAt(1, 0)->text(QAccessible::Name), dataGrid()->text(1, 0));
    m_window->gridSupport()->setNullText(QStringLiteral("(null)"));
    QCOMPARE(table->tableInterface()->cellAt(1, label)->text(QAccessible::Name), QStringLiteral("(null)"));
    m_window->gridSupport()->setNullText(QStringLiteral("NULL"));
    // Copy, like export and printing, keeps NULL empty.
    view->setCurrentIndex(dataGrid()->index(1, 0));
    view->selectRow(1);
    m_window->gridSupport()->copyRows(view, false);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("2\t\"tab\there\"\t\t\t"));
    QCOMPARE(dataGrid()->text(1, label), QString());
}

void TestGridLooks::typesInHeaderAndNumbersRight()
{
    openTable(QStringLiteral("cells"));
    QTableView *view = dataView();
    const int amount = columnOf(QStringLiteral("amount"));
    const int label = columnOf(QStringLiteral("label"));
    QCOMPARE(dataGrid()->headerData(amount, Qt::Horizontal, Qt::ToolTipRole).toString(),
             QStringLiteral("decimal(8,2)"));
    QCOMPARE(dataGrid()->headerData(label, Qt::Horizontal, Qt::ToolTipRole).toString(),
             QStringLiteral("varchar(20)"));
    view->setColumnWidth(amount, 200);
    view->setColumnWidth(label, 200);
    view->clearSelection();
    view->setCurrentIndex(QModelIndex());
    // Where the ink of a cell lies: a number at the right, a text at the left.
    auto inkSpan = [](const QImage &image) {
        const QColor background = image.pixelColor(image.width() - 1, image.height() - 1);
        const QColor left = image.pixelColor(0, image.height() / 2);
        int first = image.width();
        int last = -1;
        for (int y = 1; y < image.height() - 1; ++y) {
            for (int x = 2; x < image.width() - 2; ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel != background && pixel != left) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
            }
        }
        return std::make_pair(first, last);
    };
    const QImage number = cellImage(view, 0, amount);
    const auto numberInk = inkSpan(number);
    QVERIFY(numberInk.second > 0);
    QVERIFY2(numberInk.first > number.width() / 2, qPrintable(QString::number(numberInk.first)));
    const QImage text = cellImage(view, 2, label);
    const auto textInk = inkSpan(text);
    QVERIFY(textInk.second > 0);
    QVERIFY2(textInk.second < text.width() / 2, qPrintable(QString::number(textInk.second)));

    // Widths fit the content on loading; a double click on the header's
    // edge fits a narrowed column again.
    const int note = columnOf(QStringLiteral("note"));
    const int fitted = m_window->gridSupport()->fittedColumnWidth(view, note, FittedWidthCap);
    QVERIFY(fitted > view->fontMetrics().horizontalAdvance(QStringLiteral("<b>bold</b> & \"quoted\"")));
    view->setColumnWidth(note, 20);
    emit view->horizontalHeader()->sectionHandleDoubleClicked(note);
    QCOMPARE(view->columnWidth(note), fitted);
}

void TestGridLooks::rowLimitLineAndNextRows()
{
    openTable(QStringLiteral("many"));
    RowLimitBar *bar = m_window->rowLimitBar();
    QTRY_VERIFY(bar->isVisible());
    QCOMPARE(dataGrid()->rowCount(), 100);
    QCOMPARE(bar->text(), QStringLiteral("100 of 250 rows (limit 100)"));
    // A screen reader reads the line itself, not only what it is.
    auto *line = bar->findChild<QLabel *>(QStringLiteral("LabelRowLimit"));
    QVERIFY(line);
    QAccessibleInterface *lineAccess = QAccessible::queryAccessibleInterface(line);
    QVERIFY(lineAccess);
    QCOMPARE(lineAccess->text(QAccessible::Name), QStringLiteral("100 of 250 rows (limit 100)"));
    QCOMPARE(lineAccess->text(QAccessible::Description), QStringLiteral("Rows shown"));
    auto *next = bar->findChild<QToolButton *>(QStringLiteral("ButtonNextRows"));
    auto *all = bar->findChild<QToolButton *>(QStringLiteral("ButtonShowAll"));
    QVERIFY(next && all);
    QCOMPARE(next->text(), QStringLiteral("Next 100"));
    QCOMPARE(all->text(), QStringLiteral("Show all"));

    QTest::mouseClick(next, Qt::LeftButton);
    settle();
    QCOMPARE(dataGrid()->rowCount(), 200);
    QCOMPARE(bar->text(), QStringLiteral("200 of 250 rows (limit 100)"));
    QCOMPARE(lineAccess->text(QAccessible::Name), QStringLiteral("200 of 250 rows (limit 100)"));
    // The table's next rows, the grid sorted by its first column as ever.
    QSet<QString> shown;
    for (int row = 0; row < dataGrid()->rowCount(); ++row)
        shown.insert(dataGrid()->text(row, 0));
    QVERIFY(shown.contains(QStringLiteral("200")));
    QVERIFY(!shown.contains(QStringLiteral("201")));
    QCOMPARE(shown.size(), 200);

    QTest::mouseClick(all, Qt::LeftButton);
    settle();
    QCOMPARE(dataGrid()->rowCount(), 250);
    QVERIFY(!bar->isVisible());

    // A table within the limit shows no line.
    openTable(QStringLiteral("cells"));
    QVERIFY(!bar->isVisible());
}

void TestGridLooks::queryGridSaysHowManyRowsCame()
{
    m_window->treeView()->setCurrentIndex(node(QStringLiteral("looks")));
    auto *rows = m_window->findChild<QLabel *>(QStringLiteral("LabelQueryRows"));
    QVERIFY(rows);
    QVERIFY(!rows->isVisible());
    m_data->ExecuteScript(QStringLiteral("looks"), QStringLiteral("select seq from seq_1_to_1234"));
    settle();
    m_window->showPage(QStringLiteral("Active SQL"));
    QTRY_VERIFY(rows->isVisible());
    QCOMPARE(rows->text(), QStringLiteral("1,234 rows"));
    QCOMPARE(rows->accessibleName(), QStringLiteral("Rows of the result"));
    m_data->ExecuteScript(QStringLiteral("looks"), QStringLiteral("select 1 from dual where 0"));
    settle();
    QCOMPARE(rows->text(), QStringLiteral("0 rows"));
    m_data->ExecuteScript(QStringLiteral("looks"), QStringLiteral("select 7"));
    settle();
    QCOMPARE(rows->text(), QStringLiteral("1 row"));
}

QTEST_MAIN(TestGridLooks)
#include "tst_gridlooks.moc"

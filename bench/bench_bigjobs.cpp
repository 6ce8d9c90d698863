// quarnel-bench big-jobs [export_rows] [print_rows]: a big query grid saved
// as csv and printed to a PDF file through the real main window (offscreen
// when there is no display), while a 10 ms timer ticks on the window's
// thread. Prints each job's time and the longest stall of the window's event
// loop during it; a print of more than 1,000 pages is answered Yes.
#include "bench/benchcommon.h"
#include "bench/stallmeter.h"
#include "data/gridmodel.h"
#include "data/settingsstore.h"
#include "dialogs/gridsaver.h"
#include "shell/exportcontroller.h"
#include "shell/mainwindow.h"
#include "shell/printcontroller.h"
#include "shell/printtarget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Rows made up on the fly: an id, a name and a note of some length.
class GeneratedRows : public GridRowSource
{
public:
    explicit GeneratedRows(int rows)
    {
        m_cells.reserve(size_t(rows) * 3);
        for (int i = 0; i < rows; ++i) {
            m_cells.push_back(std::to_string(i));
            m_cells.push_back("name " + std::to_string(i * 7919 % 100003));
            m_cells.push_back(std::string(size_t(10 + i % 30), char('a' + i % 26)));
        }
    }
    int rowCount() const override { return int(m_cells.size() / 3); }
    int columnCount() const override { return 3; }
    const char *cell(int row, int column) const override { return m_cells[size_t(row) * 3 + size_t(column)].c_str(); }

private:
    std::vector<std::string> m_cells;
};

int runBigJobs(const QStringList &arguments)
{
    const int exportRows = arguments.size() > 0 ? arguments.at(0).toInt() : 1000000;
    const int printRows = arguments.size() > 1 ? arguments.at(1).toInt() : 200000;
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("quarnel.conf")));
    TFormMain window(&settings);
    auto *exporter = new ExportController(&window, &window);
    auto *printer = new PrintController(&window, &window);
    Q_UNUSED(exporter);
    window.SetSessionCommands(true);
    window.show();
    GridModel *grid = window.grid(QStringLiteral("AdvListView5"));
    grid->setColumns({QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("note")});

    // Questions are answered Yes as soon as they show; the count is kept.
    QString question;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&question] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            question = box->text();
            if (QAbstractButton *yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->accept();
        }
    });
    answer.start(50);
    StallMeter meter;

    // The machine's own share: the longest stall of an idle window over
    // three seconds, and the load it runs under.
    {
        QFile load(QStringLiteral("/proc/loadavg"));
        if (load.open(QIODevice::ReadOnly))
            printFigure("load_average", QString::fromLatin1(load.readLine().split(' ').value(0)));
        meter.start();
        QElapsedTimer idle;
        idle.start();
        waitFor([&idle] { return idle.elapsed() >= 3000; });
        printFigure("idle_longest_stall_ms", meter.stop());
    }

    grid->adoptRows(std::make_shared<GeneratedRows>(exportRows));
    const QString csv = dir.filePath(QStringLiteral("big.csv"));
    QElapsedTimer clock;
    meter.start();
    clock.start();
    const bool saved = SaveGridToFile(&window, *grid, ExportFormat::Csv, csv);
    const double exportSeconds = clock.nsecsElapsed() / 1e9;
    const double exportStall = meter.stop();
    printFigure("export_rows", exportRows);
    printFigure("export_ok", saved ? 1 : 0);
    printFigure("export_bytes", double(QFileInfo(csv).size()));
    printFigure("export_seconds", exportSeconds);
    printFigure("export_longest_stall_ms", exportStall);

    grid->adoptRows(std::make_shared<GeneratedRows>(printRows));
    const QString pdf = dir.filePath(QStringLiteral("big.pdf"));
    printer->target()->printer()->setOutputFormat(QPrinter::PdfFormat);
    printer->target()->choosePdfFile = [pdf](QWidget *, const QString &) { return pdf; };
    meter.start();
    clock.restart();
    printer->PrintGrid(QStringLiteral("AdvListView5"));
    const double printSeconds = clock.nsecsElapsed() / 1e9;
    const double printStall = meter.stop();
    const QString pages = QString(question).remove(QRegularExpression(QStringLiteral("[^0-9]")));
    printFigure("print_rows", printRows);
    printFigure("print_pages_asked", pages.isEmpty() ? QStringLiteral("none") : pages);
    printFigure("print_bytes", double(QFileInfo(pdf).size()));
    printFigure("print_seconds", printSeconds);
    printFigure("print_longest_stall_ms", printStall);
    return saved && QFileInfo(pdf).size() > 0 ? 0 : 1;
}

} // namespace

QUARNEL_BENCH(bigjobs, "big-jobs",
              "a big grid saved as csv and printed to PDF: time and the window's longest stall [export_rows print_rows]",
              runBigJobs);

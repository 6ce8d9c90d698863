// quarnel-bench export: a grid of 1,000,000 rows (the fetch benchmark's
// table, in the data view's order) saved as comma-separated text beside the
// command-line client writing the same rows to a file, and a spreadsheet of
// 100,000 rows. The export's time and memory are taken inside the child
// process, once the grid is filled: the rows are already in memory.
#include "bench/benchcommon.h"
#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/resultrowsource.h"
#include "output/gridexport.h"
#include "tests/support/privateserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace {

ExportFormat formatOf(const QString &name)
{
    if (name == QLatin1String("xls"))
        return ExportFormat::Xls;
    if (name == QLatin1String("doc"))
        return ExportFormat::Doc;
    if (name == QLatin1String("asc"))
        return ExportFormat::Ascii;
    if (name == QLatin1String("htm"))
        return ExportFormat::Html;
    return ExportFormat::Csv;
}

int exportChild(const QStringList &args)
{
    // host port user password database statement format file
    if (args.size() < 8)
        return 2;
    GridModel grid;
    const int code = runQueryChild(args, [&grid](TmySQLClientQuery *query) {
        // As the data view shows a table: the client's rows, sorted.
        QStringList captions;
        for (int c = 0; c < query->FieldCount(); ++c)
            captions.append(query->FieldName(c));
        grid.setColumns(captions);
        grid.adoptRows(std::make_shared<ResultRowSource>(query->Result(), query->FieldCount()));
        grid.sortByLocale(0);
        return grid.rowCount() > 0 ? 0 : 3;
    });
    if (code != 0)
        return code;

    const long gridKb = processStatusKb("VmRSS");
    const bool peakReset = resetPeakMemory();
    QElapsedTimer timer;
    timer.start();
    ExportProgress progress;
    const ExportResult result = ExportGrid(formatOf(args.at(6)), grid.snapshot(), args.at(7), THTMLSettings(), &progress);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (result.failed()) {
        std::fprintf(stderr, "%s\n", qPrintable(result.error));
        return 4;
    }
    const long peakKb = processStatusKb("VmHWM");
    std::printf("rows: %d\nseconds: %.3f\ngrid_mb: %.1f\nextra_mb: %.1f\nfile_mb: %.1f\n", grid.rowCount(), seconds,
                gridKb / 1024.0, peakReset ? std::max(0L, peakKb - gridKb) / 1024.0 : -1.0,
                QFile(args.at(7)).size() / 1048576.0);
    return 0;
}

struct ExportFigures
{
    double seconds = 0;
    double gridMb = 0;
    double extraMb = 0;
    double fileMb = 0;
};

// Runs the child `runs` times; keeps the best time and the highest memory.
bool runExport(const PrivateServer &server, const QString &statement, const QString &format, const QString &folder,
               int runs, ExportFigures *figures)
{
    const QString output = folder + QStringLiteral("/child.txt");
    const QStringList args{QStringLiteral("export-child"), server.host(), QString::number(server.port()),
                           PrivateServer::user(), PrivateServer::password(), QStringLiteral("bench"), statement, format,
                           folder + QStringLiteral("/grid.") + format};
    for (int i = 0; i < runs; ++i) {
        const Measurement m = measureProgram(QCoreApplication::applicationFilePath(), args, QString(), output);
        QFile file(output);
        if (m.exitCode != 0 || !file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "export %s failed (%d)\n", qPrintable(format), m.exitCode);
            return false;
        }
        ExportFigures run;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QList<QByteArray> parts = line.split(':');
            if (parts.size() != 2)
                continue;
            const double value = parts.at(1).trimmed().toDouble();
            if (parts.at(0) == "seconds")
                run.seconds = value;
            else if (parts.at(0) == "grid_mb")
                run.gridMb = value;
            else if (parts.at(0) == "extra_mb")
                run.extraMb = value;
            else if (parts.at(0) == "file_mb")
                run.fileMb = value;
        }
        if (i == 0 || run.seconds < figures->seconds)
            figures->seconds = run.seconds;
        figures->gridMb = std::max(figures->gridMb, run.gridMb);
        figures->extraMb = std::max(figures->extraMb, run.extraMb);
        figures->fileMb = run.fileMb;
    }
    return true;
}

int exportBench(const QStringList &)
{
    PrivateServer server;
    if (!startServerWith(server, millionRowTable()))
        return 1;
    QTemporaryDir folder;
    const QString mariadb = PrivateServer::findProgram(QStringLiteral("mariadb"));
    auto cli = [&](const QString &statement) {
        return cliArguments(server.host(), server.port(), PrivateServer::user(), PrivateServer::password(),
                            QStringLiteral("bench"))
            + QStringList{QStringLiteral("--batch"), QStringLiteral("-e"), statement};
    };
    const QString all = QStringLiteral("select * from t");
    const QString tenth = QStringLiteral("select * from t limit 100000");
    const QString cliFile = folder.filePath(QStringLiteral("mariadb.txt"));
    auto bestCli = [&](const QString &statement) {
        return bestRun([&] { return measureProgram(mariadb, cli(statement), QString(), cliFile); }, 3);
    };
    measureProgram(mariadb, cli(all), QString(), cliFile); // warm the caches
    const Measurement reference = bestCli(all);
    const double cliFileMb = QFile(cliFile).size() / 1048576.0;
    const Measurement referenceTenth = bestCli(tenth);
    if (reference.exitCode != 0 || referenceTenth.exitCode != 0) {
        std::fprintf(stderr, "mariadb failed\n");
        return 1;
    }

    printFigure("rows", QStringLiteral("1000000"));
    printFigure("mariadb_seconds", reference.seconds);
    printFigure("mariadb_file_mb", cliFileMb);
    ExportFigures csv;
    if (!runExport(server, all, QStringLiteral("csv"), folder.path(), 3, &csv))
        return 1;
    printFigure("csv_seconds", csv.seconds);
    printFigure("csv_file_mb", csv.fileMb);
    printFigure("grid_mb", csv.gridMb);
    printFigure("csv_extra_mb", csv.extraMb);
    for (const char *format : {"asc", "htm", "doc"}) {
        ExportFigures other;
        if (!runExport(server, all, QLatin1String(format), folder.path(), 1, &other))
            return 1;
        printFigure((std::string(format) + "_seconds").c_str(), other.seconds);
        printFigure((std::string(format) + "_extra_mb").c_str(), other.extraMb);
    }
    ExportFigures xlsx;
    if (!runExport(server, tenth, QStringLiteral("xls"), folder.path(), 3, &xlsx))
        return 1;
    printFigure("mariadb_100k_seconds", referenceTenth.seconds);
    printFigure("xlsx_100k_seconds", xlsx.seconds);
    printFigure("xlsx_100k_extra_mb", xlsx.extraMb);
    printFigure("xlsx_100k_ratio_to_mariadb_100k", xlsx.seconds / referenceTenth.seconds);
    printFigure("xlsx_100k_ratio_to_mariadb_1m", xlsx.seconds / reference.seconds);
    printFigure("time_ratio", csv.seconds / reference.seconds);
    printFigure("extra_mb", csv.extraMb);
    return 0;
}

} // namespace

QUARNEL_BENCH(exportGrid, "export",
              "1,000,000-row grid saved as csv beside the command-line client; xlsx of 100,000 rows", exportBench);
QUARNEL_BENCH(exportChild, "export-child", "", exportChild);

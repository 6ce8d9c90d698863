#include "dialogs/gridprinter.h"

#include "dialogs/applicationtitle.h"
#include "dialogs/backgroundjob.h"
#include "dialogs/errorbox.h"
#include "dialogs/printjob.h"
#include "output/gridexport.h"
#include "output/gridpagelayout.h"
#include "output/printcanvas.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPrinter>
#include <QTemporaryFile>

#include <memory>
#include <stdexcept>

namespace {

// Lengths of a grid print are tenths of a millimetre.
constexpr qreal UnitsPerInch = 254.0;

struct Cancelled
{
};

struct Job
{
    explicit Job(const GridSnapshot &grid, const TPrintsettings &printSettings)
        : settings(printSettings)
        , layout(grid, settings)
    {
    }
    TPrintsettings settings; // the job's own copy: the dialog may change the grid's
    GridPageLayout layout;
    ExportProgress counting;
    ExportProgress drawing;
    qint64 pages = 0;
    bool cancelled = false;
    QString error;
};

bool confirmManyPages(QWidget *parent, qint64 pages)
{
    QMessageBox box(QMessageBox::Question, ApplicationTitle(),
                    QStringLiteral("The print has %1 pages. Print all of them?").arg(QLocale().toString(pages)),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QStringLiteral("ManyPages"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

// A PDF file is written under a name of its own in the target's folder.
QString partFileName(const QString &target)
{
    const QFileInfo info(target);
    QTemporaryFile part(info.absoluteDir().filePath(QStringLiteral(".") + info.fileName()
                                                    + QStringLiteral(".XXXXXX")));
    part.setAutoRemove(false);
    if (!part.open())
        return QString();
    return part.fileName();
}

} // namespace

bool PrintGridPages(QWidget *parent, QPrinter *printer, const GridSnapshot &grid, const TPrintsettings &settings)
{
    auto job = std::make_shared<Job>(grid, settings);
    // The fonts are looked up here first: the job's own lookups then find
    // them loaded, and hold the font database only briefly while the window
    // paints.
    for (const QFont *font : {&settings.Font, &settings.HeaderFont, &settings.FooterFont})
        measureText(QStringLiteral("gh"), fontInUnits(*font, UnitsPerInch));
    {
        MeasuringCanvas measuring(printer, UnitsPerInch);
        auto canvas = std::make_shared<MeasuringCanvas>(measuring.pageSize());
        RunBackgroundJob(parent, QStringLiteral("Print"), QStringLiteral("Counting the pages ..."),
                         QStringLiteral("rows measured"), job->counting,
                         [job, canvas] { job->pages = job->layout.paginate(*canvas, &job->counting); });
    }
    if (job->pages < 0)
        return false; // cancelled
    if (job->pages > ManyPages && !confirmManyPages(parent, job->pages))
        return false;

    const bool pdf = printer->outputFormat() == QPrinter::PdfFormat;
    const QString target = printer->outputFileName();
    QString part;
    if (pdf) {
        part = partFileName(target);
        if (part.isEmpty())
            part = target; // an unwritable folder: the job reports why
        printer->setOutputFileName(part);
    }
    RunBackgroundJob(parent, QStringLiteral("Print"), QStringLiteral("Printing ..."), QStringLiteral("pages"),
                     job->drawing, [job, printer] {
                         try {
                             runPrintJob(printer, [&](QPainter &painter) {
                                 PainterCanvas canvas(&painter, printer, UnitsPerInch);
                                 if (!job->layout.drawPaginated(canvas, &job->drawing))
                                     throw Cancelled();
                             });
                         } catch (const Cancelled &) {
                             job->cancelled = true;
                         } catch (const std::exception &error) {
                             job->error = QString::fromUtf8(error.what());
                         }
                     });
    if (pdf) {
        printer->setOutputFileName(target);
        if (part != target) {
            const bool done = !job->cancelled && job->error.isEmpty();
            if (done) {
                QFile::remove(target);
                if (!QFile::rename(part, target)) {
                    job->error = QStringLiteral("Cannot write the file %1").arg(QDir::toNativeSeparators(target));
                    QFile::remove(part);
                }
            } else {
                QFile::remove(part);
            }
        }
    }
    if (!job->error.isEmpty()) {
        ShowErrorBox(parent, job->error);
        return false;
    }
    return !job->cancelled;
}

#include "dialogs/gridsaver.h"

#include "data/gridmodel.h"
#include "dialogs/applicationtitle.h"
#include "dialogs/backgroundjob.h"
#include "dialogs/errorbox.h"

#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QUrl>

#include <memory>

std::function<bool(const QUrl &url)> &ExportFileOpener()
{
    static std::function<bool(const QUrl &url)> opener = [](const QUrl &url) {
        return QDesktopServices::openUrl(url);
    };
    return opener;
}

bool SaveGridToFile(QWidget *parent, const GridModel &grid, ExportFormat format, const QString &fileName,
                    const THTMLSettings &html, const ExportOptions &options)
{
    // The writer reads the snapshot only: the grid may be refilled by
    // statements that complete while the event loop runs below.
    const GridSnapshot snapshot = grid.snapshot();
    auto progress = std::make_shared<ExportProgress>();
    auto result = std::make_shared<ExportResult>();
    RunBackgroundJob(parent, QStringLiteral("Save"),
                     QStringLiteral("Saving ") + QDir::toNativeSeparators(fileName) + QStringLiteral(" ..."),
                     QStringLiteral("rows"), *progress,
                     [=] { *result = ExportGrid(format, snapshot, fileName, html, progress.get(), options); });

    if (result->failed()) {
        ShowErrorBox(parent, result->error);
        return false;
    }
    const int rows = options.selectedOnly ? int(options.rows.size()) : snapshot.rowCount();
    if (rows == 0 || snapshot.columnCount() == 0) {
        // Said plainly, so that no one takes the save for a saved grid.
        const QString what = snapshot.columnCount() == 0 ? QStringLiteral("The grid has no columns")
            : options.selectedOnly                        ? QStringLiteral("No rows are selected")
                                                          : QStringLiteral("The grid has no rows");
        const QString message = result->status == ExportResult::NothingWritten
            ? what + QStringLiteral(": nothing was written, no file was created.")
            : what + QStringLiteral(": the file ") + QDir::toNativeSeparators(fileName)
                + QStringLiteral(" is empty.");
        QMessageBox box(QMessageBox::Information, ApplicationTitle(), message, QMessageBox::Ok, parent);
        box.setObjectName(QStringLiteral("NothingSaved"));
        box.exec();
    }
    if (result->status == ExportResult::Written && options.openAfterSaving)
        ExportFileOpener()(QUrl::fromLocalFile(fileName));
    return result->status != ExportResult::Cancelled;
}

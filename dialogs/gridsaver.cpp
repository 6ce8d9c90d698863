#include "dialogs/gridsaver.h"

#include "data/gridmodel.h"
#include "dialogs/applicationtitle.h"
#include "dialogs/errorbox.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <memory>

namespace {

// How long an export runs before its progress shows; shorter ones show
// nothing but the busy cursor.
constexpr int ProgressDelayMs = 400;

} // namespace

bool SaveGridToFile(QWidget *parent, const GridModel &grid, ExportFormat format, const QString &fileName,
                    const THTMLSettings &html)
{
    // The writer reads the snapshot only: the grid may be refilled by
    // statements that complete while the event loop runs below.
    const GridSnapshot snapshot = grid.snapshot();
    auto progress = std::make_shared<ExportProgress>();
    auto result = std::make_shared<ExportResult>();
    std::unique_ptr<QThread> worker(QThread::create(
        [=] { *result = ExportGrid(format, snapshot, fileName, html, progress.get()); }));

    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    worker->start();
    {
        QTimer delay;
        delay.setSingleShot(true);
        QObject::connect(&delay, &QTimer::timeout, &loop, &QEventLoop::quit);
        delay.start(ProgressDelayMs);
        // The window repaints; clicks and keys wait for the export's end.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    QApplication::restoreOverrideCursor();

    if (worker->isRunning()) {
        QProgressDialog dialog(QStringLiteral("Saving ") + QDir::toNativeSeparators(fileName) + QStringLiteral(" ..."),
                               QStringLiteral("Cancel"), 0, 1000, parent);
        dialog.setObjectName(QStringLiteral("ExportProgress"));
        dialog.setWindowTitle(QStringLiteral("Save"));
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.setAutoClose(false);
        dialog.setAutoReset(false);
        dialog.setMinimumDuration(0);
        QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [progress, &dialog] {
            progress->cancel();
            dialog.setLabelText(QStringLiteral("Cancelling ..."));
        });
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &dialog, [&dialog, progress] {
            const qint64 total = progress->total();
            if (total > 0 && !dialog.wasCanceled())
                dialog.setValue(int(progress->done() * 1000 / total));
        });
        tick.start(100);
        dialog.show();
        if (worker->isRunning())
            loop.exec();
    }
    if (worker->isRunning()) {
        // The event loop was told to end (the program is closing): stop.
        progress->cancel();
        worker->wait();
    }
    worker->wait();

    if (result->failed()) {
        ShowErrorBox(parent, result->error);
        return false;
    }
    if (snapshot.rowCount() == 0 || snapshot.columnCount() == 0) {
        // Said plainly, so that no one takes the save for a saved grid.
        const QString what = snapshot.columnCount() == 0 ? QStringLiteral("The grid has no columns")
                                                         : QStringLiteral("The grid has no rows");
        const QString message = result->status == ExportResult::NothingWritten
            ? what + QStringLiteral(": nothing was written, no file was created.")
            : what + QStringLiteral(": the file ") + QDir::toNativeSeparators(fileName)
                + QStringLiteral(" is empty.");
        QMessageBox box(QMessageBox::Information, ApplicationTitle(), message, QMessageBox::Ok, parent);
        box.setObjectName(QStringLiteral("NothingSaved"));
        box.exec();
    }
    return result->status != ExportResult::Cancelled;
}

#include "dialogs/backgroundjob.h"

#include "output/gridexport.h"

#include <QApplication>
#include <QEventLoop>
#include <QLocale>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

// How long a job runs before its progress shows; shorter ones show nothing
// but the busy cursor.
constexpr int ProgressDelayMs = 100;

} // namespace

QString ProgressText(qint64 done, qint64 total, const QString &unit)
{
    const QLocale locale;
    return locale.toString(done) + QStringLiteral(" of ") + locale.toString(total) + QLatin1Char(' ') + unit;
}

void RunBackgroundJob(QWidget *parent, const QString &title, const QString &label, const QString &unit,
                      ExportProgress &progress, const std::function<void()> &work)
{
    std::unique_ptr<QThread> worker(QThread::create(work));
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    worker->start();
    {
        QTimer delay;
        delay.setSingleShot(true);
        QObject::connect(&delay, &QTimer::timeout, &loop, &QEventLoop::quit);
        delay.start(ProgressDelayMs);
        // The window repaints; clicks and keys wait for the progress dialog.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    QApplication::restoreOverrideCursor();

    if (worker->isRunning()) {
        QProgressDialog dialog(parent);
        dialog.setObjectName(QStringLiteral("JobProgress"));
        dialog.setWindowTitle(title);
        dialog.setAccessibleName(title);
        auto *cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
        cancel->setAccessibleName(QStringLiteral("Cancel"));
        dialog.setCancelButton(cancel);
        auto *bar = new QProgressBar(&dialog);
        bar->setAccessibleName(QStringLiteral("Progress"));
        dialog.setBar(bar);
        dialog.setRange(0, 1000);
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.setAutoClose(false);
        dialog.setAutoReset(false);
        dialog.setMinimumDuration(0);
        auto update = [&dialog, &progress, label, unit] {
            if (dialog.wasCanceled())
                return;
            const qint64 total = progress.total();
            const qint64 done = std::min(progress.done(), total);
            dialog.setLabelText(label + QLatin1Char('\n') + ProgressText(done, total, unit));
            if (total > 0)
                dialog.setValue(int(done * 1000 / total));
        };
        QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&progress, &dialog] {
            progress.cancel();
            dialog.setLabelText(QStringLiteral("Cancelling ..."));
        });
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &dialog, update);
        // The end may have been told to the short wait above already.
        QObject::connect(&tick, &QTimer::timeout, &loop, [&loop, &worker] {
            if (worker->isFinished())
                loop.quit();
        });
        update();
        tick.start(100);
        dialog.show();
        if (worker->isRunning())
            loop.exec();
    }
    if (worker->isRunning()) {
        // The event loop was told to end (the program is closing): stop.
        progress.cancel();
    }
    worker->wait();
}

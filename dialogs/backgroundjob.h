#pragma once

#include <QString>

#include <functional>

class ExportProgress;
class QWidget;

// Runs work on a thread of its own while the window's event loop goes on.
// A job that takes longer than a moment shows a progress dialog with what it
// does, how far it is ("12,000 of 1,000,000 rows") and "Cancel", which asks
// the work to stop through progress. Returns when work has returned.
//
// work must read nothing the window may change meanwhile (hand it a
// snapshot) and must not touch widgets.
void RunBackgroundJob(QWidget *parent, const QString &title, const QString &label, const QString &unit,
                      ExportProgress &progress, const std::function<void()> &work);

// "12,345 of 1,000,000 rows" in the locale's digits.
QString ProgressText(qint64 done, qint64 total, const QString &unit);

#include "dialogs/printjob.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QPainter>
#include <QPrinter>

#include <stdexcept>

BusyCursor::BusyCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor()
{
    QApplication::restoreOverrideCursor();
}

void runPrintJob(QPrinter *printer, const std::function<void(QPainter &painter)> &draw)
{
    const bool pdf = printer->outputFormat() == QPrinter::PdfFormat;
    const QString file = printer->outputFileName();
    if (pdf) {
        // The writer would only say that it failed; the file says why.
        QFile probe(file);
        if (!probe.open(QIODevice::WriteOnly))
            throw std::runtime_error(QObject::tr("Cannot write the file %1: %2")
                                         .arg(QDir::toNativeSeparators(file), probe.errorString())
                                         .toStdString());
    }
    QPainter painter;
    if (!painter.begin(printer)) {
        if (pdf)
            QFile::remove(file);
        throw std::runtime_error(
            QObject::tr("The printer %1 could not start the print job").arg(printer->printerName()).toStdString());
    }
    try {
        draw(painter);
    } catch (...) {
        if (!pdf)
            printer->abort();
        painter.end();
        if (pdf)
            QFile::remove(file);
        throw;
    }
    painter.end();
}

#include "shell/printtarget.h"

#include "dialogs/pagesetupform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <QPainter>

#include <cmath>
#include <stdexcept>

PrintTarget::PrintTarget(QObject *parent)
    : QObject(parent)
    , m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
    , m_lastFolder(QDir::homePath())
{
    // Without an installed printer the jobs become PDF files.
    if (QPrinterInfo::defaultPrinter().isNull() || !m_printer->isValid())
        m_printer->setOutputFormat(QPrinter::PdfFormat);
    useWholePrintableArea();

    choosePdfFile = [](QWidget *parent, const QString &suggested) {
        return QFileDialog::getSaveFileName(parent, QObject::tr("Print to PDF File"), suggested,
                                            QObject::tr("PDF files (*.pdf)"));
    };
    runPageSetup = [](QWidget *parent, QPrinter *printer) {
        // The system's dialog serves real printers only.
        if (printer->outputFormat() == QPrinter::NativeFormat) {
            QPageSetupDialog dialog(printer, parent);
            return dialog.exec() == QDialog::Accepted;
        }
        TPageSetupForm dialog(printer, parent);
        return dialog.exec() == QDialog::Accepted;
    };
}

PrintTarget::~PrintTarget() = default;

bool PrintTarget::isPdf() const
{
    return m_printer->outputFormat() == QPrinter::PdfFormat;
}

void PrintTarget::useWholePrintableArea()
{
    m_printer->setFullPage(false);
    const QPageLayout layout = m_printer->pageLayout();
    m_printer->setPageMargins(isPdf() ? QMarginsF() : layout.minimumMargins(), layout.units());
}

bool PrintTarget::showPageSetup(QWidget *parent)
{
    const QPageLayout before = m_printer->pageLayout();
    // The dialog opens with the margins last chosen.
    m_printer->setPageMargins(QMarginsF(m_pageSetup.left / 1000.0, m_pageSetup.top / 1000.0,
                                        m_pageSetup.right / 1000.0, m_pageSetup.bottom / 1000.0),
                              QPageLayout::Inch);
    if (!runPageSetup(parent, m_printer.get())) {
        m_printer->setPageLayout(before);
        return false;
    }
    const QMarginsF chosen = m_printer->pageLayout().margins(QPageLayout::Inch);
    m_pageSetup.left = int(std::lround(chosen.left() * 1000));
    m_pageSetup.top = int(std::lround(chosen.top() * 1000));
    m_pageSetup.right = int(std::lround(chosen.right() * 1000));
    m_pageSetup.bottom = int(std::lround(chosen.bottom() * 1000));
    // The SQL text applies the margins itself; the grids print on the whole
    // printable area.
    useWholePrintableArea();
    return true;
}

void PrintTarget::suggestPdfFile(const QString &name)
{
    if (isPdf())
        m_printer->setOutputFileName(QDir(m_lastFolder).filePath(name));
}

bool PrintTarget::prepareJob(QWidget *parent, const QString &suggestedName)
{
    if (!isPdf())
        return true;
    QString name = choosePdfFile(parent, QDir(m_lastFolder).filePath(suggestedName));
    if (name.isEmpty())
        return false;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".pdf");
    m_lastFolder = QFileInfo(name).absolutePath();
    m_printer->setOutputFileName(name);
    return true;
}

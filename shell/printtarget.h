#pragma once

#include "dialogs/printjob.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QPainter;
class QPrinter;
class QWidget;

// The program's current printer, which the SQL text and the grids share: the
// system's default printer, or the one the page set-up last chose. Where no
// printer is installed, print jobs go to a PDF file the user names.
//
// It also keeps the page-setup margins of the SQL text, in thousandths of
// an inch; the printer itself keeps the margins of its printable area only.
class PrintTarget : public QObject
{
    Q_OBJECT

public:
    struct PageSetup
    {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
    };

    explicit PrintTarget(QObject *parent = nullptr);
    ~PrintTarget() override;

    QPrinter *printer() const { return m_printer.get(); }
    // True when jobs are written to a PDF file instead of a printer.
    bool isPdf() const;

    const PageSetup &pageSetup() const { return m_pageSetup; }
    void setPageSetup(const PageSetup &setup) { m_pageSetup = setup; }

    // The page-setup dialog, opened with the current printer and margins.
    // OK keeps the paper, orientation and margins chosen; Cancel changes
    // nothing. Returns whether OK was chosen.
    bool showPageSetup(QWidget *parent);

    // Readies the printer for one job. For PDF output this asks for the file
    // (suggestedName in the folder used last); false when the user cancelled.
    bool prepareJob(QWidget *parent, const QString &suggestedName);

    // For PDF output: the file a print dialog proposes, in the folder used
    // last.
    void suggestPdfFile(const QString &name);

    // The dialogs; tests answer them without a window. choosePdfFile returns
    // the file name, empty when cancelled. runPageSetup returns whether OK
    // was chosen and leaves the choice (margins included) in the printer.
    std::function<QString(QWidget *parent, const QString &suggested)> choosePdfFile;
    std::function<bool(QWidget *parent, QPrinter *printer)> runPageSetup;

private:
    // Margins down to what the device cannot print on.
    void useWholePrintableArea();

    std::unique_ptr<QPrinter> m_printer;
    PageSetup m_pageSetup;
    QString m_lastFolder;
};

#pragma once

#include <QDialog>

class QComboBox;
class QDoubleSpinBox;
class QPrinter;
class QRadioButton;

// Paper, orientation and margins for a printer that the system's page
// set-up dialog does not serve (the PDF file that stands in where no
// printer is installed). Margins show in millimetres or, where the locale
// measures in inches, in inches.
class TPageSetupForm : public QDialog
{
    Q_OBJECT

public:
    explicit TPageSetupForm(QPrinter *printer, QWidget *parent = nullptr);

    // Hands the choice to the printer; called on OK.
    void apply();

    QComboBox *Paper = nullptr;
    QRadioButton *Portrait = nullptr;
    QRadioButton *Landscape = nullptr;
    QDoubleSpinBox *MarginLeft = nullptr;
    QDoubleSpinBox *MarginTop = nullptr;
    QDoubleSpinBox *MarginRight = nullptr;
    QDoubleSpinBox *MarginBottom = nullptr;

private:
    QPrinter *m_printer;
    bool m_inches;
};

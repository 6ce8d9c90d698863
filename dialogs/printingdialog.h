#pragma once

#include "output/printsettings.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;

// A pair of arrow buttons beside a number field.
class TUpDown : public QWidget
{
    Q_OBJECT

public:
    explicit TUpDown(QWidget *parent = nullptr);
    QToolButton *Up = nullptr;
    QToolButton *Down = nullptr;
};

// "Print Settings": borders, margins, spacing, page texts, centring and
// fitting for the printed grids. Apply copies the values into the print
// settings of every grid it was given, in their order.
class TFormPrinting : public QDialog
{
    Q_OBJECT

public:
    explicit TFormPrinting(const QList<TPrintsettings *> &grids, QWidget *parent = nullptr);

    // Applies to every grid in order; stops at the first number field that
    // holds no whole number, reports it, and returns false.
    bool ButtonApplyClick();
    void ButtonOkClick();
    void ButtonCloseClick();
    // The spins: add or subtract 1 from the field's number; a field that
    // holds none is reported and left unchanged.
    void spinClick(QLineEdit *field, int step);

    QComboBox *ComboBorder = nullptr;
    QComboBox *ComboStyle = nullptr;
    QLineEdit *EditTop = nullptr;
    QLineEdit *EditLeft = nullptr;
    QLineEdit *EditRight = nullptr;
    QLineEdit *EditBottom = nullptr;
    QLineEdit *EditSpacing = nullptr;
    QLineEdit *EditRowSpacing = nullptr;
    QLineEdit *EditFixh = nullptr;
    QLineEdit *EditFixw = nullptr;
    TUpDown *SpinTop = nullptr;
    TUpDown *SpinLeft = nullptr;
    TUpDown *SpinRight = nullptr;
    TUpDown *SpinBottom = nullptr;
    TUpDown *SpinColumn = nullptr;
    TUpDown *SpinRow = nullptr;
    TUpDown *SpinFH = nullptr;
    TUpDown *SpinFW = nullptr;
    QComboBox *ComboDate = nullptr;
    QLineEdit *EditDateformat = nullptr;
    QComboBox *ComboTime = nullptr;
    QComboBox *ComboTitle = nullptr;
    QCheckBox *CheckCenter = nullptr;
    QComboBox *ComboFit = nullptr;
    QComboBox *ComboPNumber = nullptr;
    QPushButton *ButtonClose = nullptr;
    QPushButton *ButtonOk = nullptr;
    QPushButton *ButtonApply = nullptr;

private:
    void GeneralChange();
    QWidget *numberField(const QString &name, const QString &spinName, const QString &unit, const QString &start,
                         QLineEdit **field, TUpDown **spin);
    QComboBox *positionList(const QString &name, const QString &start);

    QList<TPrintsettings *> m_grids;
};

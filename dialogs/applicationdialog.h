#pragma once

#include "data/appserverstatements.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "Application": one job of the application server. An empty `LabelId`
// makes Apply and Ok add a job, an id changes that job. Apply and Ok only
// ask for the change (applyRequested); the window's handler sends it.
class TFormApplication : public QDialog
{
    Q_OBJECT

public:
    explicit TFormApplication(QWidget *parent = nullptr);

    // Add: no kind, status or mail status chosen, every text empty, the
    // interval flag clear, no id; Apply disabled.
    void reset();
    // Modify: the cells of a job grid row (codes as stored); Apply disabled.
    void showJob(const TApplicationJob &cells);
    // The job as the fields stand, in the codes the table keeps. A field
    // whose cell was NULL and that still shows what showJob put there keeps
    // its NULL (named in nulls).
    TApplicationJob job() const;

    QComboBox *ComboArt = nullptr;
    QLineEdit *EditApp = nullptr;
    QPlainTextEdit *MemoVariable = nullptr;
    QComboBox *ComboStatus = nullptr;
    QLineEdit *MaskDate = nullptr;
    QCheckBox *CheckIntervall = nullptr;
    QLineEdit *MaskIntervall = nullptr;
    QComboBox *ComboMail = nullptr;
    QLineEdit *EditAdress = nullptr;
    QLabel *LabelId = nullptr;
    QPushButton *ButtonClose = nullptr;
    QPushButton *ButtonOk = nullptr;
    QPushButton *ButtonApply = nullptr;

Q_SIGNALS:
    void applyRequested();

private:
    TApplicationJob fields() const;

    QSet<QString> m_shownNulls;
    TApplicationJob m_shown; // the fields as showJob filled them
};

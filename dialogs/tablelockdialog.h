#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Table Lock": the lock's kind for the table in Edit1. "&Cancel" empties
// the field; the caller reads it afterwards (empty: cancelled).
class TFormTblLock : public QDialog
{
    Q_OBJECT

public:
    explicit TFormTblLock(QWidget *parent = nullptr);

    // Shows the dialog for the table with "&READ" selected and "LOW
    // &PRIORITY" cleared; returns the field's text.
    QString ask(const QString &table);

    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QRadioButton *RadioRead = nullptr;
    QRadioButton *RadioWrite = nullptr;
    QCheckBox *CheckLowPriority = nullptr;
    QPushButton *ButtonLock = nullptr;
    QPushButton *ButtonCancel = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The one-line input dialog of "Create Database", the table comment and the
// connection options. One instance serves them all and keeps the last text,
// which it offers again. The caller reads Edit1 afterwards: empty means
// cancelled.
class TFormCreateDb : public QDialog
{
    Q_OBJECT

public:
    explicit TFormCreateDb(QWidget *parent = nullptr);

    // Sets the caption, help text and prompt, shows the dialog modally with
    // the focus in the field and returns the field's text.
    QString ask(const QString &caption, const QString &help, const QString &prompt);

    QLabel *Label1 = nullptr;  // help text
    QLabel *Label2 = nullptr;  // prompt
    QLineEdit *Edit1 = nullptr;
    QPushButton *ButtonOk = nullptr;
    QPushButton *ButtonCancel = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

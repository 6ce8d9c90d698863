#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// Confirmation with a question line and a line naming the object concerned.
// The result is 1 for "&OK" and 0 for "&Cancel" or the close box.
class TFormMessage : public QDialog
{
    Q_OBJECT

public:
    explicit TFormMessage(QWidget *parent = nullptr);

    // Shows the dialog modally and returns 1 (OK) or 0.
    int ask(const QString &caption, const QString &text, const QString &item);

    QLabel *LabelText = nullptr;
    QLabel *LabelItem = nullptr;
    QPushButton *ButtonOk = nullptr;
    QPushButton *ButtonCancel = nullptr;
};

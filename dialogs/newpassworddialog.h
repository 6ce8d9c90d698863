#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "New Password": the server refused the login because the account's
// password has expired. Shows the server's message and asks for a new
// password twice; "&OK" is enabled only when both agree and are not empty.
// The fields are masked unless "Show" is checked.
class TFormNewPassword : public QDialog
{
    Q_OBJECT

public:
    explicit TFormNewPassword(QWidget *parent = nullptr);

    void setMessage(const QString &serverMessage);
    QString password() const;

    QLabel *LabelMessage = nullptr;
    QLineEdit *EditPassword = nullptr;
    QLineEdit *EditConfirm = nullptr;
    QCheckBox *CheckShow = nullptr;
    QPushButton *ButtonOk = nullptr;
    QPushButton *ButtonCancel = nullptr;

private:
    void updateOk();
};

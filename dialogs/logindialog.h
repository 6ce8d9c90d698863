#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

// "Login": asks for the user name and password of the server about to be
// connected. The server field only shows the host.
class TFormLogin : public QDialog
{
    Q_OBJECT

public:
    // How the dialog was left: "&Login" (or Enter in a field), "&Cancel", or
    // any other way (title bar, Escape), which keeps the pre-filled values.
    enum Outcome { Closed, Login, Cancel };

    explicit TFormLogin(QWidget *parent = nullptr);

    void setServer(const QString &host);
    void setUser(const QString &user);
    void setPassword(const QString &password);
    QString user() const;
    QString password() const;

    // Shows the dialog modally with the focus in the user field.
    Outcome ask();
    Outcome outcome() const { return m_outcome; }

    QLineEdit *EditServer = nullptr;
    QLineEdit *EditUser = nullptr;
    QLineEdit *EditPassword = nullptr;
    QPushButton *ButtonCancel = nullptr;
    QPushButton *ButtonLogin = nullptr;

private:
    void finish(Outcome outcome);

    Outcome m_outcome = Closed;
};

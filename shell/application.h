#pragma once

#include <QApplication>

// The application object: an error that a command handler does not catch
// ends up in the application's error box, and the program goes on.
class QuarnelApplication : public QApplication
{
    Q_OBJECT

public:
    QuarnelApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

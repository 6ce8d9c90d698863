#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QFont;
class QWidget;

// The questions and file choices of the editor page and its dialogs, one
// replaceable function each, so that tests answer them without a window.
struct EditorPrompts
{
    // A message box with the application title as caption; returns the
    // button pressed.
    std::function<QMessageBox::StandardButton(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                              QMessageBox::StandardButtons buttons)>
        message;
    // File dialogs: the chosen name, empty when cancelled.
    std::function<QString(QWidget *parent, const QString &title, const QString &fileName, const QString &filter)>
        openFileName;
    std::function<QString(QWidget *parent, const QString &title, const QString &fileName, const QString &filter)>
        saveFileName;
    // Font dialog started from *font; false when cancelled.
    std::function<bool(QWidget *parent, QFont *font)> chooseFont;

    // The real boxes and dialogs.
    static EditorPrompts standard();
};

#pragma once

#include <QString>

class QWidget;

// The application's error box for errors a command does not handle itself:
// the error text with a full stop added, the application title as caption,
// OK and the stop icon. The program goes on afterwards.
void ShowErrorBox(QWidget *parent, const QString &text);

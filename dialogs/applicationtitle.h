#pragma once

#include <QString>

// The application title ("Quarnel-Share"): the caption of the program's own
// message, question and error boxes. It is not Qt's application display name,
// which Qt would append to every window title ("Login - Quarnel-Share").
QString ApplicationTitle();
void SetApplicationTitle(const QString &title);

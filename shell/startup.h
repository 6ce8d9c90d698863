#pragma once

#include <QString>

class QApplication;

// Program start: splash, application title, the client library, the windows,
// the event loop, and the library's release at the end. settingsPath empty:
// the per-user store. Returns the exit code (1 when the client library could
// not be bound).
int RunQuarnel(QApplication &app, const QString &settingsPath = QString());

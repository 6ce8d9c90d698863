#pragma once

#include <QString>

class QApplication;

// Program start: splash, application title, the client library, the windows,
// the event loop, and the library's release at the end. settingsPath empty:
// the per-user store. dataFolder: where the editor's tabs and the statement
// history are kept (empty: nowhere). Returns the exit code (1 when the client
// library could not be bound).
int RunQuarnel(QApplication &app, const QString &settingsPath = QString(), const QString &dataFolder = QString());

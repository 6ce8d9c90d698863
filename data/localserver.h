#pragma once

#include <QString>

// The local database server's two command lines: their defaults, and
// launching one without a window and without waiting for it.
namespace LocalServer {

// On Windows the classic server's command lines; elsewhere the helper script
// quarnel-local-server (next to the program, else in the source tree's
// scripts folder) that runs a private server for this user.
QString defaultStartCommand();
QString defaultStopCommand();
// Full path of the helper script, or empty when it cannot be found.
QString helperScript();

// Splits the line as a shell would and starts it detached. True when the
// process was created; an empty line or an unknown program gives false.
bool launch(const QString &commandLine);

// The lines the message log receives for a start or stop attempt.
QString startMessage(bool launched);
QString stopMessage(bool launched);

} // namespace LocalServer

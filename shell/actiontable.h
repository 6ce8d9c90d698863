#pragma once

#include <QHash>
#include <QString>

class QAction;
class QObject;

// One named command of the main window. Switches lists the letters of the
// switches that set its enabled state later: S = session, A = application
// server, L = server list, E = the editor's own state, R = sends statements,
// so it is off while statements run.
struct ActionSpec
{
    const char *name;
    const char *category;
    const char *caption;
    const char *hint;
    const char *shortcut;
    bool enabledAtStart;
    const char *switches;
    const char *icon; // freedesktop icon name; a drawn badge when the theme lacks it
};

// The commands: the window definition's 100, in its order, then the few added.
const ActionSpec *actionTable(int *count);

// Builds every command of the table as a QAction owned by parent, with the
// command's name as objectName and the category as its property "category".
QHash<QString, QAction *> createActions(QObject *parent);

// The icon theme the set-up installs (Debian's breeze-icon-theme).
constexpr const char *FallbackIconTheme = "breeze";
// Makes it Qt's fallback icon theme; createActions does this first.
void UseFallbackIconTheme();

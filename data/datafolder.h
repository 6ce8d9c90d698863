#pragma once

#include <QString>

// Where the program keeps what it writes for itself (the editor's tabs, the
// statement history): $QUARNEL_DATA_DIR when set, else the per-user data
// folder ~/.local/share/Quarnel, where the local server keeps its files too.
QString DataFolder();

// Makes the folder (and its missing parents) and leaves it open to its owner
// only; false when it cannot be made or is not a folder.
bool MakePrivateFolder(const QString &path);

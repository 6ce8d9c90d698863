#pragma once

#include "output/gridexport.h"

#include <QString>

class GridModel;
class QWidget;

// Saves a grid as it stands now to fileName in one of the five formats; the
// grid may change meanwhile (the file holds what it showed when this was
// called). The writer works on another thread: the window repaints, and an
// export that takes long shows its progress with Cancel (no file is then
// left, an existing one stays as it was). Other input waits until it ends.
// A failure is reported in the application's error box; an empty grid in an
// information box that tells what (not) was written. Returns whether the
// export ended without failure or cancel (an empty grid that a format leaves
// without a file included).
bool SaveGridToFile(QWidget *parent, const GridModel &grid, ExportFormat format, const QString &fileName,
                    const THTMLSettings &html = THTMLSettings());

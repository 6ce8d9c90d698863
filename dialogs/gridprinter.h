#pragma once

#include "data/gridmodel.h"
#include "output/printsettings.h"

#include <QString>

class QPrinter;
class QWidget;

// Prints a grid as it stands now on printer, laid out by its settings. The
// pages are counted and drawn on another thread while the window goes on;
// a job that takes long shows its progress with Cancel. A print of more
// than ManyPages pages asks first, naming the count. A PDF file is written
// next to its name and takes it only when complete: a cancelled or failed
// job leaves an existing file as it was. A failure is reported in the
// application's error box. Returns whether all pages were printed.
bool PrintGridPages(QWidget *parent, QPrinter *printer, const GridSnapshot &grid, const TPrintsettings &settings);

// Above this many pages a print asks before it starts.
constexpr qint64 ManyPages = 1000;

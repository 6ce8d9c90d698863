#pragma once

#include <functional>

class QPainter;
class QPrinter;

// The hourglass for as long as it lives.
class BusyCursor
{
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// One print job on printer: begins the document, lets draw paint it, ends
// it. A document that cannot begin, or a draw that throws, ends the job
// (removing a partly written PDF file) and throws std::runtime_error with
// the reason.
void runPrintJob(QPrinter *printer, const std::function<void(QPainter &painter)> &draw);

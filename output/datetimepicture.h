#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Formats a date and time by a picture in the notation of the print
// settings: d/dd/ddd/dddd day, m/mm/mmm/mmmm month (minutes right after an
// hour), yy/yyyy year, h/hh hour of 24, n/nn minutes, s/ss seconds, z/zzz
// milliseconds, am/pm and a/p for a 12-hour clock, "/" and ":" the locale's
// date and time separators, text in single or double quotes as it stands.
QString FormatDateTimePicture(const QString &picture, const QDateTime &when, const QLocale &locale = QLocale());

// The separators a locale writes between the parts of a short date and of
// a time.
QChar localeDateSeparator(const QLocale &locale);
QChar localeTimeSeparator(const QLocale &locale);

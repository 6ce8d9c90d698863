#include "output/datetimepicture.h"

namespace {

QChar firstSeparator(const QString &format, QChar fallback)
{
    bool inQuote = false;
    for (const QChar ch : format) {
        if (ch == QLatin1Char('\'')) {
            inQuote = !inQuote;
            continue;
        }
        if (!inQuote && !ch.isLetter() && !ch.isSpace())
            return ch;
    }
    return fallback;
}

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

bool startsWithNoCase(const QString &text, int at, const char *word)
{
    return text.mid(at).startsWith(QLatin1String(word), Qt::CaseInsensitive);
}

} // namespace

QChar localeDateSeparator(const QLocale &locale)
{
    return firstSeparator(locale.dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
}

QChar localeTimeSeparator(const QLocale &locale)
{
    return firstSeparator(locale.timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
}

QString FormatDateTimePicture(const QString &picture, const QDateTime &when, const QLocale &locale)
{
    const QDate date = when.date();
    const QTime time = when.time();
    // A 12-hour clock is used when the picture has an am/pm marker anywhere.
    const bool twelveHour = picture.contains(QLatin1String("am/pm"), Qt::CaseInsensitive)
        || picture.contains(QLatin1String("a/p"), Qt::CaseInsensitive);
    QString out;
    QChar lastToken; // the last letter token, so that m after h means minutes
    int i = 0;
    const int size = int(picture.size());
    while (i < size) {
        const QChar ch = picture.at(i);
        const QChar token = ch.toUpper();
        if (ch == QLatin1Char('\'') || ch == QLatin1Char('"')) {
            const int end = int(picture.indexOf(ch, i + 1));
            const int stop = end < 0 ? size : end;
            out += picture.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        if (ch == QLatin1Char('/')) {
            out += localeDateSeparator(locale);
            ++i;
            continue;
        }
        if (ch == QLatin1Char(':')) {
            out += localeTimeSeparator(locale);
            ++i;
            continue;
        }
        if (token == QLatin1Char('A')) {
            if (startsWithNoCase(picture, i, "am/pm")) {
                const QString marker = time.hour() < 12 ? QStringLiteral("am") : QStringLiteral("pm");
                out += picture.at(i).isUpper() ? marker.toUpper() : marker;
                i += 5;
                continue;
            }
            if (startsWithNoCase(picture, i, "a/p")) {
                const QString marker = time.hour() < 12 ? QStringLiteral("a") : QStringLiteral("p");
                out += picture.at(i).isUpper() ? marker.toUpper() : marker;
                i += 3;
                continue;
            }
        }
        if (!QStringLiteral("DMYHNSZ").contains(token)) {
            out += ch;
            ++i;
            continue;
        }
        int count = 1;
        while (i + count < size && picture.at(i + count).toUpper() == token)
            ++count;
        i += count;
        QChar kind = token;
        if (kind == QLatin1Char('M') && lastToken == QLatin1Char('H'))
            kind = QLatin1Char('N');
        lastToken = token;
        switch (kind.unicode()) {
        case 'D':
            if (count == 1)
                out += QString::number(date.day());
            else if (count == 2)
                out += twoDigits(date.day());
            else if (count == 3)
                out += locale.dayName(date.dayOfWeek(), QLocale::ShortFormat);
            else if (count == 4)
                out += locale.dayName(date.dayOfWeek(), QLocale::LongFormat);
            else if (count == 5)
                out += locale.toString(date, QLocale::ShortFormat);
            else
                out += locale.toString(date, QLocale::LongFormat);
            break;
        case 'M':
            if (count == 1)
                out += QString::number(date.month());
            else if (count == 2)
                out += twoDigits(date.month());
            else if (count == 3)
                out += locale.monthName(date.month(), QLocale::ShortFormat);
            else
                out += locale.monthName(date.month(), QLocale::LongFormat);
            break;
        case 'Y':
            out += count <= 2 ? twoDigits(date.year() % 100) : QString::number(date.year());
            break;
        case 'H': {
            int hour = time.hour();
            if (twelveHour) {
                hour %= 12;
                if (hour == 0)
                    hour = 12;
            }
            out += count == 1 ? QString::number(hour) : twoDigits(hour);
            break;
        }
        case 'N':
            out += count == 1 ? QString::number(time.minute()) : twoDigits(time.minute());
            break;
        case 'S':
            out += count == 1 ? QString::number(time.second()) : twoDigits(time.second());
            break;
        case 'Z':
            out += count < 3 ? QString::number(time.msec())
                             : QStringLiteral("%1").arg(time.msec(), 3, 10, QLatin1Char('0'));
            break;
        }
    }
    return out;
}

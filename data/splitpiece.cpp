#include "data/splitpiece.h"

QString SplitPiece(const QString &text, const QString &separator, int k)
{
    if (k < 0 || separator.isEmpty())
        return QString();
    // Walking over the text with the separator appended once: piece k ends
    // at the (k+1)-th separator, so an index past the last piece finds none.
    const QString padded = text + separator;
    qsizetype start = 0;
    for (int i = 0; i < k; ++i) {
        const qsizetype end = padded.indexOf(separator, start);
        if (end < 0)
            return QString();
        start = end + separator.size();
    }
    const qsizetype end = padded.indexOf(separator, start);
    if (end < 0)
        return QString();
    return padded.mid(start, end - start);
}

QString SplitPieceTrimmed(const QString &text, const QString &separator, int k)
{
    return trimBlanksAndControls(SplitPiece(text, separator, k));
}

QString trimBlanksAndControls(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= u' ')
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= u' ')
        --end;
    return text.mid(begin, end - begin);
}

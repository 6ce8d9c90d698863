#include "output/richtext.h"

#include <QByteArray>

#include <array>
#include <vector>

namespace {

// Groups whose contents are not document text.
bool skippedDestination(QStringView word)
{
    static const char *const names[] = {
        "fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "header", "headerl", "headerr",
        "headerf", "footer", "footerl", "footerr", "footerf", "listtable", "listoverridetable", "rsidtbl",
        "generator", "themedata", "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "filetbl",
        "revtbl", "pgdsctbl", "fldinst", "footnote", "annotation", "bkmkstart", "bkmkend", "field"};
    for (const char *name : names) {
        if (word == QLatin1String(name))
            return true;
    }
    return false;
}

// The characters 0x80 to 0x9f of the Windows ANSI code page that \'hh
// escapes name; the rest of the page is Latin-1.
char16_t ansiCharacter(int byte)
{
    static const std::array<char16_t, 32> high = {
        0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008d, 0x017d, 0x008f, 0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
        0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};
    if (byte >= 0x80 && byte < 0xa0)
        return high[size_t(byte - 0x80)];
    return char16_t(byte);
}

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// Control words that stand for one character.
char16_t namedCharacter(QStringView word)
{
    static const struct
    {
        const char *word;
        char16_t character;
    } names[] = {{"emdash", 0x2014}, {"endash", 0x2013}, {"bullet", 0x2022},   {"lquote", 0x2018},
                 {"rquote", 0x2019}, {"ldblquote", 0x201c}, {"rdblquote", 0x201d}};
    for (const auto &name : names) {
        if (word == QLatin1String(name.word))
            return name.character;
    }
    return 0;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

struct GroupState
{
    bool skip = false;
    int fallback = 1; // \ucN: characters that stand in for a \u character
};

} // namespace

bool IsRichTextCell(QStringView text)
{
    return text.startsWith(QLatin1String("{\\rtf"));
}

QString RichTextToPlain(QStringView rtf)
{
    QString out;
    std::vector<GroupState> groups{GroupState()};
    int pendingFallback = 0; // characters still to drop after a \u
    qsizetype i = 0;
    const qsizetype n = rtf.size();

    auto put = [&](QChar c) {
        if (pendingFallback > 0) {
            --pendingFallback;
            return;
        }
        if (!groups.back().skip)
            out.append(c);
    };

    while (i < n) {
        const QChar c = rtf.at(i);
        if (c == QLatin1Char('{')) {
            groups.push_back(groups.back());
            ++i;
            // {\* ...}: an optional destination, never text.
            if (i + 1 < n && rtf.at(i) == QLatin1Char('\\') && rtf.at(i + 1) == QLatin1Char('*'))
                groups.back().skip = true;
            continue;
        }
        if (c == QLatin1Char('}')) {
            if (groups.size() > 1)
                groups.pop_back();
            pendingFallback = 0;
            ++i;
            continue;
        }
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            ++i; // line breaks of the source are not text
            continue;
        }
        if (c != QLatin1Char('\\')) {
            put(c);
            ++i;
            continue;
        }
        // A control symbol or a control word.
        ++i;
        if (i >= n)
            break;
        const QChar symbol = rtf.at(i);
        if (!isAsciiLetter(symbol)) {
            ++i;
            switch (symbol.unicode()) {
            case '\\':
            case '{':
            case '}':
                put(symbol);
                break;
            case '~':
                put(QChar(0x00a0));
                break;
            case '_':
                put(QChar(0x2011));
                break;
            case '\'': {
                const int high = i < n ? hexValue(rtf.at(i)) : -1;
                const int low = i + 1 < n ? hexValue(rtf.at(i + 1)) : -1;
                if (high >= 0 && low >= 0) {
                    i += 2;
                    put(QChar(ansiCharacter(high * 16 + low)));
                }
                break;
            }
            case '\r':
            case '\n':
                put(QLatin1Char('\r'));
                put(QLatin1Char('\n'));
                break;
            default: // \* \- \: and the like
                break;
            }
            continue;
        }
        const qsizetype wordStart = i;
        while (i < n && isAsciiLetter(rtf.at(i)))
            ++i;
        const QStringView word = rtf.mid(wordStart, i - wordStart);
        bool hasParameter = false;
        bool negative = false;
        long parameter = 0;
        if (i < n && rtf.at(i) == QLatin1Char('-')) {
            negative = true;
            ++i;
        }
        while (i < n && isAsciiDigit(rtf.at(i))) {
            hasParameter = true;
            parameter = parameter * 10 + (rtf.at(i).unicode() - '0');
            if (parameter > 1000000)
                parameter = 1000000;
            ++i;
        }
        if (negative)
            parameter = -parameter;
        if (i < n && rtf.at(i) == QLatin1Char(' '))
            ++i; // the delimiter belongs to the word

        if (skippedDestination(word)) {
            groups.back().skip = true;
        } else if (word == QLatin1String("par") || word == QLatin1String("line") || word == QLatin1String("row")) {
            put(QLatin1Char('\r'));
            put(QLatin1Char('\n'));
        } else if (word == QLatin1String("tab") || word == QLatin1String("cell")) {
            put(QLatin1Char('\t'));
        } else if (word == QLatin1String("uc") && hasParameter) {
            groups.back().fallback = int(std::max(0L, parameter));
        } else if (word == QLatin1String("u") && hasParameter) {
            const char16_t unit = char16_t(parameter < 0 ? parameter + 65536 : parameter);
            pendingFallback = 0;
            put(QChar(unit));
            pendingFallback = groups.back().fallback;
        } else if (const char16_t named = namedCharacter(word)) {
            put(QChar(named));
        }
    }
    // Paragraphs are separated, not ended, by line breaks.
    while (out.endsWith(QLatin1String("\r\n")))
        out.chop(2);
    return out;
}

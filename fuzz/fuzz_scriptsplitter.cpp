// Cuts any text into statements and checks that the pieces give back the
// script: every statement is the script's own text at its offset, trimmed,
// in order, on the line it says, and everything between statements is
// something the client may drop (blanks, comments, delimiters, DELIMITER
// commands). The gaps are read by a scanner of their own here, so that a
// statement the splitter lost shows as text in a gap.

#include "data/scriptsplitter.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QString &script, qsizetype at)
{
    std::fprintf(stderr, "invariant broken: %s at %lld\nscript: %s\n", what, static_cast<long long>(at),
                 script.toUtf8().toPercentEncoding(" \n").constData());
    std::abort();
}

bool isBlank(QChar c)
{
    return c.unicode() <= u' ';
}

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r';
}

// Line of position at, from 1: "\r\n", "\n" and a lone "\r" end a line.
int lineOf(const QString &script, qsizetype at)
{
    int line = 1;
    for (qsizetype i = 0; i < at; ++i) {
        if (script.at(i) == u'\n' || (script.at(i) == u'\r' && (i + 1 >= script.size() || script.at(i + 1) != u'\n')))
            ++line;
    }
    return line;
}

// Reads the text between two statements, [from, to). open: a statement
// ends at from and its delimiter is still to come; it tells on return
// whether the delimiter came. Returns false at the first character that
// would have been statement text, or where a comment or command would run
// into the next statement.
class GapScanner
{
public:
    explicit GapScanner(const QString &script)
        : m_script(script)
    {
    }

    QString delimiter = QStringLiteral(";");

    bool scan(qsizetype from, qsizetype to, bool *open, qsizetype *badAt)
    {
        const QString &s = m_script;
        qsizetype p = from;
        bool lineStart = from == 0;
        while (p < to) {
            if (lineStart) {
                lineStart = false;
                if (!*open && delimiterCommand(p, &p)) {
                    if (p > to) {
                        *badAt = to;
                        return false;
                    }
                    continue;
                }
            }
            const QChar c = s.at(p);
            if (isLineBreak(c)) {
                p += (c == u'\r' && p + 1 < to && s.at(p + 1) == u'\n') ? 2 : 1;
                lineStart = true;
                continue;
            }
            if (isBlank(c)) {
                ++p;
                continue;
            }
            if (QStringView(s).sliced(p, to - p).startsWith(delimiter)) {
                p += delimiter.size();
                *open = false;
                continue;
            }
            const QChar n = p + 1 < s.size() ? s.at(p + 1) : QChar();
            if ((c == u'-' && n == u'-' && (p + 2 >= s.size() || isBlank(s.at(p + 2)))) || c == u'#') {
                while (p < s.size() && !isLineBreak(s.at(p)))
                    ++p;
                if (p > to) {
                    *badAt = to;
                    return false;
                }
                continue;
            }
            if (c == u'/' && n == u'*') {
                const QStringView after = QStringView(s).sliced(p + 2);
                if (after.startsWith(u'!') || after.startsWith(u"M!")) {
                    *badAt = p; // an executable comment is statement text
                    return false;
                }
                const qsizetype end = s.indexOf(QStringLiteral("*/"), p + 2);
                p = end < 0 ? s.size() : end + 2;
                if (p > to) {
                    *badAt = to; // a comment cannot run into a statement
                    return false;
                }
                continue;
            }
            *badAt = p;
            return false;
        }
        return true;
    }

private:
    // "DELIMITER xx" and the rest of its line, as the command-line client
    // reads it; the new delimiter takes effect.
    bool delimiterCommand(qsizetype p, qsizetype *end)
    {
        const QString &s = m_script;
        const qsizetype to = s.size();
        auto spaces = [&](qsizetype i) {
            while (i < to && (s.at(i) == u' ' || s.at(i) == u'\t'))
                ++i;
            return i;
        };
        qsizetype i = spaces(p);
        if (QStringView(s).sliced(i, to - i).left(9).compare(u"delimiter", Qt::CaseInsensitive) != 0)
            return false;
        i += 9;
        if (i >= to || (s.at(i) != u' ' && s.at(i) != u'\t'))
            return false;
        i = spaces(i);
        const qsizetype token = i;
        while (i < to && !isBlank(s.at(i)))
            ++i;
        if (i == token)
            return false;
        delimiter = s.mid(token, i - token);
        while (i < to && !isLineBreak(s.at(i)))
            ++i;
        *end = i;
        return true;
    }

    const QString &m_script;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString script = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    ScriptSplitter splitter(script);
    QList<ScriptStatement> statements;
    ScriptStatement statement;
    while (splitter.next(&statement)) {
        statements.append(statement);
        if (statements.size() > script.size())
            fail("more statements than characters", script, statement.offset);
    }

    GapScanner gaps(script);
    qsizetype end = 0; // one past the previous statement
    bool open = false;
    for (const ScriptStatement &s : std::as_const(statements)) {
        const qsizetype length = s.text.size();
        if (length == 0)
            fail("empty statement", script, s.offset);
        if (s.offset < end || s.offset + length > script.size())
            fail("statement out of order or out of the script", script, s.offset);
        if (QStringView(script).sliced(s.offset, length) != s.text)
            fail("statement is not the script's text at its offset", script, s.offset);
        // Only a string or comment left open at the end of the text may end
        // in blanks: they are its content.
        if (isBlank(s.text.front()) || (isBlank(s.text.back()) && s.offset + length != script.size()))
            fail("statement not trimmed", script, s.offset);
        if (s.line != lineOf(script, s.offset))
            fail("wrong line", script, s.offset);
        qsizetype bad = 0;
        if (!gaps.scan(end, s.offset, &open, &bad))
            fail("statement text between statements", script, bad);
        if (open)
            fail("statement ended without its delimiter", script, s.offset);
        end = s.offset + length;
        open = true;
    }
    qsizetype bad = 0;
    if (!gaps.scan(end, script.size(), &open, &bad))
        fail("statement text after the last statement", script, bad);
    return 0;
}

// Quotes any name and reads it back as the server's parser reads an
// identifier: a name between backticks with inner backticks doubled, or a
// bare name of letters, digits, "_" and "$" that does not start with a digit
// and is no reserved word. The name read back must be the name given, and
// the quoted name must stand in a statement as one piece (the script
// splitter cuts nothing out of it). Text values go the same way: a string
// literal reads back as the text in both ways the server may read
// backslashes, and stays one piece of its statement.

#include "data/scriptsplitter.h"
#include "data/sqlnames.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QString &name, const QString &quoted)
{
    std::fprintf(stderr, "invariant broken: %s\nname:   %s\nquoted: %s\n", what,
                 name.toUtf8().toPercentEncoding(" ").constData(), quoted.toUtf8().toPercentEncoding(" ").constData());
    std::abort();
}

// A few words the server rejects bare, kept apart from the quoting's own
// list: a bare name that is one of them would be a syntax error.
bool isSomeReservedWord(const QString &word)
{
    static const char *const words[] = {"SELECT", "FROM",  "WHERE", "ORDER", "GROUP",    "TABLE",
                                        "KEY",    "INDEX", "DESC",  "SHOW",  "DATABASE", "LIKE"};
    for (const char *reserved : words) {
        if (word.compare(QLatin1String(reserved), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The identifier token quoted stands for, or false when quoted is not one
// whole identifier token.
bool readIdentifier(const QString &quoted, QString *name)
{
    if (quoted.isEmpty())
        return false;
    if (quoted.front() != u'`') {
        const QChar first = quoted.front();
        if (first.isDigit() || first.unicode() > 0x7f)
            return false;
        for (const QChar c : quoted) {
            const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
                || c == u'_' || c == u'$';
            if (!ok)
                return false;
        }
        *name = quoted;
        return true;
    }
    QString out;
    qsizetype i = 1;
    for (; i < quoted.size(); ++i) {
        if (quoted.at(i) != u'`') {
            out += quoted.at(i);
            continue;
        }
        if (i + 1 < quoted.size() && quoted.at(i + 1) == u'`') {
            out += u'`';
            ++i;
            continue;
        }
        break; // the closing backtick
    }
    if (i != quoted.size() - 1)
        return false; // unclosed, or text after the closing backtick
    *name = out;
    return true;
}

// Reads a single-quoted literal from text at pos: doubled quotes, and with
// backslash escapes \\ and \0 (the only escapes the program writes).
bool readQuoted(const QString &text, qsizetype *pos, bool backslashEscapes, QString *value)
{
    qsizetype i = *pos;
    if (i >= text.size() || text.at(i) != u'\'')
        return false;
    for (++i; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\'') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\'') {
                *value += c;
                ++i;
                continue;
            }
            *pos = i + 1;
            return true;
        }
        if (backslashEscapes && c == u'\\') {
            if (i + 1 >= text.size())
                return false;
            const QChar next = text.at(++i);
            *value += next == u'0' ? QChar(0) : next;
            continue;
        }
        *value += c;
    }
    return false;
}

// Reads what SqlStringLiteral writes: a quoted piece, CHAR(n USING
// utf8mb4), or CONCAT of those. Quoted pieces must read the same whatever
// the server does with backslashes.
bool readStringExpression(const QString &text, QString *value)
{
    auto piece = [&](qsizetype *pos, QString *out) {
        if (text.mid(*pos, 5) == QLatin1String("CHAR(")) {
            const qsizetype end = text.indexOf(QLatin1String(" USING utf8mb4)"), *pos);
            if (end < 0)
                return false;
            bool ok = false;
            const uint code = text.mid(*pos + 5, end - *pos - 5).toUInt(&ok);
            if (!ok || code > 0xffff)
                return false;
            *out += QChar(char16_t(code));
            *pos = end + 15;
            return true;
        }
        QString plain, escaped;
        qsizetype a = *pos, b = *pos;
        if (!readQuoted(text, &a, false, &plain) || !readQuoted(text, &b, true, &escaped) || a != b || plain != escaped)
            return false;
        *out += plain;
        *pos = a;
        return true;
    };
    qsizetype pos = 0;
    if (text.startsWith(QLatin1String("CONCAT("))) {
        pos = 7;
        for (;;) {
            if (!piece(&pos, value))
                return false;
            if (pos < text.size() && text.at(pos) == u',') {
                ++pos;
                continue;
            }
            return pos == text.size() - 1 && text.at(pos) == u')';
        }
    }
    return piece(&pos, value) && pos == text.size();
}

void checkOnePiece(const QString &piece, const QString &value, const char *what)
{
    const QString statement = QStringLiteral("select ") + piece + QStringLiteral(" as v");
    ScriptSplitter splitter(statement + QStringLiteral(";\nselect 2;"));
    ScriptStatement first;
    ScriptStatement second;
    if (!splitter.next(&first) || first.text != statement || !splitter.next(&second)
        || second.text != QStringLiteral("select 2"))
        fail(what, value, piece);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString name = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString quoted = QuoteIdentifier(name);

    QString back;
    if (!readIdentifier(quoted, &back))
        fail("not one identifier token", name, quoted);
    if (back != name)
        fail("reads back as another name", name, quoted);
    const bool bare = !quoted.startsWith(u'`');
    if (bare != IsPlainIdentifier(name))
        fail("bare exactly when the name is plain", name, quoted);
    if (bare && isSomeReservedWord(name))
        fail("a reserved word left bare", name, quoted);

    // In a statement the quoted name is one piece: nothing in it ends the
    // statement or starts a comment.
    const QString statement = QStringLiteral("select * from ") + quoted + QStringLiteral(" where 1");
    ScriptSplitter splitter(statement + QStringLiteral(";\nselect 2;"));
    ScriptStatement first;
    ScriptStatement second;
    if (!splitter.next(&first) || first.text != statement)
        fail("the quoted name cut the statement", name, quoted);
    if (!splitter.next(&second) || second.text != QStringLiteral("select 2"))
        fail("the quoted name swallowed the next statement", name, quoted);

    // The same input as a text value.
    const QString literal = SqlStringLiteral(name);
    QString read;
    if (!readStringExpression(literal, &read) || read != name)
        fail("the string literal reads back as another text", name, literal);
    checkOnePiece(literal, name, "the string literal is not one piece of its statement");
    for (const bool noBackslashEscapes : {false, true}) {
        const QString text = SqlTextLiteral(name, noBackslashEscapes);
        QString back2;
        qsizetype pos = 0;
        if (!readQuoted(text, &pos, !noBackslashEscapes, &back2) || pos != text.size() || back2 != name)
            fail("the text literal reads back as another text", name, text);
        // Where backslashes escape, the splitter reads the literal as the
        // server does; without escapes it must not matter.
        if (!noBackslashEscapes)
            checkOnePiece(text, name, "the text literal is not one piece of its statement");
    }
    return 0;
}

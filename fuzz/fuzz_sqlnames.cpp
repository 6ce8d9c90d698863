// Quotes any name and reads it back as the server's parser reads an
// identifier: a name between backticks with inner backticks doubled, or a
// bare name of letters, digits, "_" and "$" that does not start with a digit
// and is no reserved word. The name read back must be the name given, and
// the quoted name must stand in a statement as one piece (the script
// splitter cuts nothing out of it).

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
    return 0;
}

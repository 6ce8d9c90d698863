#include "data/scriptsplitter.h"

namespace {

bool isBlank(QChar c)
{
    return c.unicode() <= u' ';
}

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r';
}

} // namespace

ScriptSplitter::ScriptSplitter(const QString &script, const QString &delimiter)
    : m_script(script)
    , m_delimiter(delimiter.isEmpty() ? QStringLiteral(";") : delimiter)
{
}

ScriptSplitter::ScriptSplitter(const QString &script, const QString &delimiter, qsizetype from, int line)
    : ScriptSplitter(script, delimiter)
{
    m_pos = qBound<qsizetype>(0, from, script.size());
    m_line = line;
}

void ScriptSplitter::advanceLineBreak()
{
    // "\r\n", "\n" and a lone "\r" each end one line.
    if (m_script.at(m_pos) == u'\r' && m_pos + 1 < m_script.size() && m_script.at(m_pos + 1) == u'\n')
        ++m_pos;
    ++m_pos;
    ++m_line;
}

bool ScriptSplitter::delimiterLineAt(qsizetype pos, QString *delimiter, qsizetype *lineEnd) const
{
    static const QString keyword = QStringLiteral("delimiter");
    const qsizetype size = m_script.size();
    auto skipSpaces = [&](qsizetype p) {
        while (p < size && (m_script.at(p) == u' ' || m_script.at(p) == u'\t'))
            ++p;
        return p;
    };
    qsizetype p = skipSpaces(pos);
    if (QStringView(m_script).mid(p, keyword.size()).compare(keyword, Qt::CaseInsensitive) != 0)
        return false;
    p += keyword.size();
    if (p >= size || (m_script.at(p) != u' ' && m_script.at(p) != u'\t'))
        return false;
    p = skipSpaces(p);
    const qsizetype tokenStart = p;
    while (p < size && !isBlank(m_script.at(p)))
        ++p;
    if (p == tokenStart)
        return false;
    *delimiter = m_script.mid(tokenStart, p - tokenStart);
    // The rest of the line belongs to the command.
    while (p < size && !isLineBreak(m_script.at(p)))
        ++p;
    *lineEnd = p;
    return true;
}

bool ScriptSplitter::next(ScriptStatement *statement)
{
    const qsizetype size = m_script.size();
    const qsizetype entryPos = m_pos;
    const int entryLine = m_line;
    const QString entryDelimiter = m_delimiter;
    qsizetype start = -1; // first character of statement text
    qsizetype end = -1;   // one past its last character
    int startLine = 0;
    bool atLineStart = m_pos == 0 || isLineBreak(m_script.at(m_pos - 1));

    // Statement text from..to that began on line fromLine.
    auto markText = [&](qsizetype from, int fromLine, qsizetype to) {
        if (start < 0) {
            start = from;
            startLine = fromLine;
        }
        end = to;
    };
    auto finish = [&]() {
        statement->text = m_script.mid(start, end - start);
        statement->offset = int(start);
        statement->line = startLine;
        return true;
    };

    while (m_pos < size) {
        if (atLineStart) {
            atLineStart = false;
            // As in the command-line client, DELIMITER is a command only
            // where no statement is open: inside one ("select a,\ndelimiter
            // from t") the word is statement text.
            QString delimiter;
            qsizetype lineEnd = 0;
            if (start < 0 && delimiterLineAt(m_pos, &delimiter, &lineEnd)) {
                m_delimiter = delimiter;
                m_pos = lineEnd;
                continue;
            }
        }

        const QChar c = m_script.at(m_pos);
        if (isLineBreak(c)) {
            advanceLineBreak();
            atLineStart = true;
            continue;
        }
        if (isBlank(c)) {
            ++m_pos;
            continue;
        }
        if (QStringView(m_script).mid(m_pos).startsWith(m_delimiter)) {
            m_pos += m_delimiter.size();
            if (start >= 0)
                return finish();
            continue; // an empty piece
        }

        const QChar n = m_pos + 1 < size ? m_script.at(m_pos + 1) : QChar();
        const bool dashComment = c == u'-' && n == u'-'
            && (m_pos + 2 >= size || isBlank(m_script.at(m_pos + 2)));
        if (dashComment || c == u'#') {
            while (m_pos < size && !isLineBreak(m_script.at(m_pos)))
                ++m_pos;
            continue;
        }

        if (c == u'/' && n == u'*') {
            const qsizetype from = m_pos;
            const int fromLine = m_line;
            // "/*!" and MariaDB's "/*M!" hold statement text for the server.
            const bool executable = (m_pos + 2 < size && m_script.at(m_pos + 2) == u'!')
                || QStringView(m_script).mid(m_pos + 2, 2) == u"M!";
            m_pos += 2;
            while (m_pos < size && !(m_script.at(m_pos) == u'*' && m_pos + 1 < size && m_script.at(m_pos + 1) == u'/')) {
                if (isLineBreak(m_script.at(m_pos)))
                    advanceLineBreak();
                else
                    ++m_pos;
            }
            m_pos = qMin(m_pos + 2, size);
            if (executable)
                markText(from, fromLine, m_pos);
            continue;
        }

        if (c == u'\'' || c == u'"' || c == u'`') {
            const qsizetype from = m_pos;
            const int fromLine = m_line;
            const bool backslashEscapes = c != u'`'; // names know only the doubled quote
            ++m_pos;
            while (m_pos < size) {
                const QChar q = m_script.at(m_pos);
                if (backslashEscapes && q == u'\\' && m_pos + 1 < size) {
                    ++m_pos;
                    if (isLineBreak(m_script.at(m_pos)))
                        advanceLineBreak();
                    else
                        ++m_pos;
                    continue;
                }
                if (q == c) {
                    if (m_pos + 1 < size && m_script.at(m_pos + 1) == c) {
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    break;
                }
                if (isLineBreak(q))
                    advanceLineBreak();
                else
                    ++m_pos;
            }
            markText(from, fromLine, m_pos);
            continue;
        }

        markText(m_pos, m_line, m_pos + 1);
        ++m_pos;
    }

    if (m_moreFollows) {
        // The end of what is read so far is not the end of the script: the
        // text before it may continue (a quote, a comment, a delimiter or a
        // DELIMITER line cut in two). It is read again with what follows.
        m_pos = entryPos;
        m_line = entryLine;
        m_delimiter = entryDelimiter;
        return false;
    }
    if (start >= 0)
        return finish();
    return false;
}

QString DelimiterAt(const QString &script, int position)
{
    ScriptSplitter splitter(script.left(qMax(0, position)));
    ScriptStatement statement;
    while (splitter.next(&statement)) {
    }
    return splitter.delimiter();
}

bool StatementAt(const QString &script, int position, ScriptStatement *statement, QString *delimiter)
{
    ScriptSplitter splitter(script);
    ScriptStatement current;
    bool any = false;
    while (splitter.next(&current)) {
        // The statement reaches over its delimiter and, when nothing else
        // follows on its line, over the blanks and a line comment after it.
        qsizetype end = splitter.position();
        qsizetype after = end;
        while (after < script.size() && (script.at(after) == u' ' || script.at(after) == u'\t'))
            ++after;
        const QStringView rest = QStringView(script).mid(after);
        if (rest.startsWith(u'#') || rest.startsWith(u"-- ") || rest.startsWith(u"--\t") || rest == u"--") {
            while (after < script.size() && !isLineBreak(script.at(after)))
                ++after;
        }
        if (after == script.size() || isLineBreak(script.at(after)))
            end = after;
        if (any && current.offset > position)
            break; // past the caret: the one before it stands
        // The first one, or one that starts at or before the caret.
        *statement = current;
        *delimiter = splitter.delimiter();
        any = true;
        if (position >= current.offset && position <= end)
            break;
    }
    return any;
}

#include "editor/sqlcompletion.h"

#include "data/completionnames.h"

#include <Qsci/qscilexer.h>
#include <Qsci/qscilexersql.h>
#include <Qsci/qsciscintilla.h>

#include <QSet>

#include <algorithm>

namespace {

bool isNameCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

// The name that ends at position end of text (backquoted or bare), and where
// it starts; empty when there is none.
QString nameBefore(const QString &text, qsizetype end, qsizetype *start)
{
    if (end > 0 && text.at(end - 1) == QLatin1Char('`')) {
        const qsizetype open = text.lastIndexOf(QLatin1Char('`'), end - 2);
        if (open < 0)
            return {};
        *start = open;
        return text.mid(open + 1, end - open - 2).replace(QStringLiteral("``"), QStringLiteral("`"));
    }
    qsizetype i = end;
    while (i > 0 && isNameCharacter(text.at(i - 1)))
        --i;
    *start = i;
    return text.mid(i, end - i);
}

void addMatching(const QStringList &names, const QString &prefix, QStringList *offers, QSet<QString> *seen)
{
    for (const QString &name : names) {
        if (!name.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const QString key = name.toLower();
        if (seen->contains(key))
            continue;
        seen->insert(key);
        offers->append(name);
    }
}

} // namespace

SqlCompletion::SqlCompletion(QsciScintilla *editor, CompletionNames *names, std::function<QString()> database)
    : QsciAbstractAPIs(editor->lexer())
    , m_editor(editor)
    , m_names(names)
    , m_database(std::move(database))
{
}

QStringList SqlCompletion::offers(const QString &text, CompletionNames *names, const QString &database)
{
    // The word being typed, and the names before it joined by ".".
    qsizetype start = text.size();
    const QString prefix = nameBefore(text, text.size(), &start);
    QStringList qualifiers;
    qsizetype end = start;
    while (end > 0 && text.at(end - 1) == QLatin1Char('.') && qualifiers.size() < 2) {
        qsizetype nameStart = end - 1;
        const QString name = nameBefore(text, end - 1, &nameStart);
        if (name.isEmpty())
            break;
        qualifiers.prepend(name);
        end = nameStart;
    }

    QStringList offers;
    QSet<QString> seen;
    if (qualifiers.size() == 2) {
        names->request(qualifiers.at(0));
        addMatching(names->columns(qualifiers.at(0), qualifiers.at(1)), prefix, &offers, &seen);
    } else if (qualifiers.size() == 1) {
        const QString &qualifier = qualifiers.constFirst();
        names->request(database);
        const QStringList columns = names->columns(database, qualifier);
        if (!columns.isEmpty()) {
            addMatching(columns, prefix, &offers, &seen);
        } else {
            names->request(qualifier);
            addMatching(names->tables(qualifier), prefix, &offers, &seen);
        }
    } else if (!prefix.isEmpty()) {
        names->request(database);
        addMatching(names->allColumns(database), prefix, &offers, &seen);
        addMatching(names->tables(database), prefix, &offers, &seen);
        addMatching(names->databases(), prefix, &offers, &seen);
        addMatching(CompletionNames::keywords(), prefix, &offers, &seen);
        addMatching(CompletionNames::functions(), prefix, &offers, &seen);
    }
    std::sort(offers.begin(), offers.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return offers;
}

QString SqlCompletion::textBeforeCaret() const
{
    // The caret's line up to the caret (at most its last few hundred bytes).
    const long position = m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS);
    const long line = m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, position);
    const long from = qMax(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line), position - 512);
    QByteArray bytes(int(position - from) + 1, '\0');
    m_editor->SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, from, position, bytes.data());
    bytes.chop(1);
    return m_editor->isUtf8() ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

bool SqlCompletion::inTextOrComment() const
{
    // Styles lag behind typing: the caret's line is styled first.
    const long position = m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS);
    if (position <= 0)
        return false;
    const long line = m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, position);
    m_editor->SendScintilla(QsciScintillaBase::SCI_COLOURISE,
                            m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line), position);
    switch (int(m_editor->SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, position - 1))) {
    case QsciLexerSQL::Comment:
    case QsciLexerSQL::CommentLine:
    case QsciLexerSQL::CommentDoc:
    case QsciLexerSQL::CommentLineHash:
    case QsciLexerSQL::CommentDocKeyword:
    case QsciLexerSQL::CommentDocKeywordError:
    case QsciLexerSQL::DoubleQuotedString:
    case QsciLexerSQL::SingleQuotedString:
        return true;
    default:
        return false;
    }
}

void SqlCompletion::updateAutoCompletionList(const QStringList &, QStringList &list)
{
    // Nothing to offer inside a quoted text or a comment.
    if (qobject_cast<QsciLexerSQL *>(m_editor->lexer()) && inTextOrComment()) {
        list.clear();
        return;
    }
    list = offers(textBeforeCaret(), m_names, m_database ? m_database() : QString());
}

QStringList SqlCompletion::callTips(const QStringList &, int, QsciScintilla::CallTipsStyle, QList<int> &)
{
    return {};
}

void EnableCompletion(QsciScintilla *editor, CompletionNames *names, std::function<QString()> database)
{
    if (!editor->lexer())
        return;
    new SqlCompletion(editor, names, std::move(database));
    editor->setAutoCompletionSource(QsciScintilla::AcsAPIs);
    editor->setAutoCompletionThreshold(2);
    editor->setAutoCompletionCaseSensitivity(false);
    editor->setAutoCompletionUseSingle(QsciScintilla::AcusNever);
    editor->setAutoCompletionReplaceWord(false);
    // After "name." the list comes at once; the lexer knows no such
    // separator for SQL.
    QObject::connect(editor, &QsciScintillaBase::SCN_CHARADDED, editor, [editor](int character) {
        if (character == '.')
            editor->autoCompleteFromAPIs();
    });
}

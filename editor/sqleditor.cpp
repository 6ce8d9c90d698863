#include "editor/sqleditor.h"

#include <algorithm>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>

#include <Qsci/qscilexersql.h>

namespace {

const QColor navy(0, 0, 128);

// The editor sizes its styles in points only: a font given in pixels is
// turned into the point size that draws it that high on this screen.
QFont inPoints(QFont font, const QWidget *widget)
{
    if (font.pixelSize() > 0)
        font.setPointSizeF(font.pixelSize() * 72.0 / widget->logicalDpiY());
    return font;
}

// A bookmark's sign in the gutter: its digit, white on a blue tab.
QImage bookmarkImage(int number)
{
    QImage image(12, 14, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 90, 200));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 11, 13), 2, 2);
    QFont font = painter.font();
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, QString::number(number));
    return image;
}

} // namespace

SqlEditor::SqlEditor(QWidget *parent)
    : QsciScintilla(parent)
{
    setObjectName(QStringLiteral("SyntaxMemo"));
    m_bookmarkHandle.fill(-1);
    m_bookmarkIndex.fill(0);

    setUtf8(true);
    m_lexer = new QsciLexerSQL(this);
    setLexer(m_lexer);

    QFont text = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    text.setFamilies({QStringLiteral("Courier New"), text.family()});
    text.setStyleHint(QFont::Monospace);
    text.setPixelSize(13);
    QFont gutter = QGuiApplication::font();
    gutter.setPixelSize(11);
    m_lineNumberFont = gutter;
    setTextFont(text);

    setTabWidth(4);
    setIndentationsUseTabs(true);
    setIndentationWidth(1);
    setAutoIndent(true);
    setEdgeMode(EdgeLine);
    setEdgeColumn(80);
    setWrapMode(WrapWord);
    setWrapVisualFlags(WrapFlagByText, WrapFlagNone);
    setSelectionForegroundColor(Qt::white);
    setSelectionBackgroundColor(navy);

    setMarginType(LineNumberMargin, NumberMargin);
    setMarginLineNumbers(LineNumberMargin, true);
    setMarginMarkerMask(LineNumberMargin, 0);
    setMarginType(BookmarkMargin, SymbolMargin);
    setMarginWidth(BookmarkMargin, 16);
    setMarginMarkerMask(BookmarkMargin, (1 << BookmarkCount) - 1);
    setMarginSensitivity(LineNumberMargin, true);
    setMarginSensitivity(BookmarkMargin, true);
    updateLineNumberWidth();
    for (int number = 0; number < BookmarkCount; ++number)
        markerDefine(bookmarkImage(number), number);

    markerDefine(Background, ErrorMarker);
    setMarkerBackgroundColor(QColor(255, 0, 0), ErrorMarker);
    indicatorDefine(TextColorIndicator, ErrorTextIndicator);
    setIndicatorForegroundColor(Qt::white, ErrorTextIndicator);

    // A click in the gutter toggles the error mark of that line.
    connect(this, &QsciScintilla::marginClicked, this, [this](int, int line, Qt::KeyboardModifiers) {
        toggleErrorMark(line);
    });
    // Typing into or next to a marked line keeps the whole line white.
    connect(this, &QsciScintilla::textChanged, this, &SqlEditor::refreshErrorMarkText);
    connect(this, &QsciScintilla::linesChanged, this, &SqlEditor::updateLineNumberWidth);
}

QString SqlEditor::caretText() const
{
    const int position = int(SendScintilla(SCI_GETCURRENTPOS));
    const int line = int(SendScintilla(SCI_LINEFROMPOSITION, position));
    const int column = int(SendScintilla(SCI_GETCOLUMN, position));
    return QString::asprintf("%6d:%4d", line + 1, column + 1);
}

QString SqlEditor::modeText() const
{
    if (isReadOnly())
        return QStringLiteral(" Read only");
    return overwriteMode() ? QStringLiteral(" Overwrite") : QStringLiteral(" Insert");
}

void SqlEditor::setReadOnly(bool readOnly)
{
    const bool changed = readOnly != isReadOnly();
    QsciScintilla::setReadOnly(readOnly);
    if (changed)
        Q_EMIT modeChanged();
}

bool SqlEditor::canPaste() const
{
    // The editor's own answer only says whether the text may change.
    if (isReadOnly() || SendScintilla(SCI_CANPASTE) == 0)
        return false;
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText() && !data->text().isEmpty();
}

QString SqlEditor::asciiUpper(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    }
    return result;
}

QString SqlEditor::asciiLower(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() - u'A' + u'a');
    }
    return result;
}

void SqlEditor::convertSelectionCase(bool upper)
{
    if (!hasSelectedText())
        return;
    int lineFrom, indexFrom, lineTo, indexTo;
    getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
    if (SendScintilla(SCI_SELECTIONISRECTANGLE)) {
        const QString text = selectedText();
        const QString converted = upper ? asciiUpper(text) : asciiLower(text);
        if (converted != text) {
            beginUndoAction();
            replaceSelectedText(converted);
            endUndoAction();
        }
    } else {
        const QString text = selectedWholeText();
        const QString converted = upper ? asciiUpper(text) : asciiLower(text);
        if (converted == text)
            return;
        replaceSelectionWith(converted);
    }
    // Same characters, same places: keep the selection for the next command.
    setSelection(lineFrom, indexFrom, lineTo, indexTo);
}

QString SqlEditor::wholeText() const
{
    const long length = SendScintilla(SCI_GETLENGTH);
    QByteArray bytes(length + 1, '\0');
    SendScintilla(SCI_GETTEXT, static_cast<unsigned long>(length + 1), bytes.data());
    return QString::fromUtf8(bytes.constData(), length);
}

QString SqlEditor::selectedWholeText() const
{
    if (SendScintilla(SCI_SELECTIONISRECTANGLE))
        return selectedText();
    const long start = SendScintilla(SCI_GETSELECTIONSTART);
    const long end = SendScintilla(SCI_GETSELECTIONEND);
    // The document's bytes in one piece; they stay valid until it changes.
    const auto *bytes = static_cast<const char *>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
    return bytes ? QString::fromUtf8(bytes + start, end - start) : QString();
}

int SqlEditor::textOffset(long position) const
{
    position = qBound(0L, position, long(SendScintilla(SCI_GETLENGTH)));
    if (!isUtf8())
        return int(position);
    const auto *bytes = static_cast<const char *>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
    return bytes ? int(QString::fromUtf8(bytes, position).size()) : 0;
}

void SqlEditor::setWholeText(const QString &text)
{
    setWholeUtf8(text.toUtf8());
}

void SqlEditor::setWholeUtf8(QByteArrayView bytes)
{
    const bool large = bytes.size() > WrapLimit;
    if (large && wrapMode() != WrapNone) {
        QsciScintilla::setWrapMode(WrapNone);
        m_wrapSuspended = true;
    } else if (!large && m_wrapSuspended) {
        QsciScintilla::setWrapMode(WrapWord);
        m_wrapSuspended = false;
    }
    // Without an undo copy of the whole text, in a buffer of its final size.
    const bool collecting = SendScintilla(SCI_GETUNDOCOLLECTION);
    SendScintilla(SCI_SETUNDOCOLLECTION, 0UL);
    SendScintilla(SCI_CLEARALL);
    SendScintilla(SCI_ALLOCATE, static_cast<unsigned long>(bytes.size() + 1));
    // In pieces: each insertion is also handed to accessibility as a copy in
    // UTF-16, twice its size. A piece ends before a UTF-8 sequence starts.
    constexpr qsizetype Piece = 4 << 20;
    qsizetype at = 0;
    while (at < bytes.size()) {
        qsizetype end = std::min(bytes.size(), at + Piece);
        while (end < bytes.size() && end > at + 1 && (uchar(bytes.at(end)) & 0xC0) == 0x80)
            --end;
        SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(end - at), bytes.data() + at);
        at = end;
    }
    SendScintilla(SCI_SETUNDOCOLLECTION, static_cast<unsigned long>(collecting));
}

void SqlEditor::setWrapMode(WrapMode mode)
{
    m_wrapSuspended = false; // the user's choice from now on
    QsciScintilla::setWrapMode(mode);
}

void SqlEditor::replaceSelectionWith(const QString &text, bool selectResult)
{
    const QByteArray bytes = text.toUtf8();
    beginUndoAction();
    SendScintilla(SCI_TARGETFROMSELECTION);
    const long start = SendScintilla(SCI_GETTARGETSTART);
    // With an explicit length the target takes the bytes after a zero too.
    SendScintilla(SCI_REPLACETARGET, static_cast<unsigned long>(bytes.size()), bytes.constData());
    const long end = start + long(bytes.size());
    if (selectResult)
        SendScintilla(SCI_SETSEL, start, end);
    else
        SendScintilla(SCI_GOTOPOS, end);
    endUndoAction();
}

void SqlEditor::paste()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText() || isReadOnly())
        return;
    QString text = data->text();
    if (!text.contains(QChar(0))) {
        QsciScintilla::paste(); // line ends, rectangular pastes: the editor's own way
        return;
    }
    // The editor's paste stops at a zero character: insert it whole, with
    // the document's line ends as a paste gives them.
    const QString eol = eolMode() == EolWindows ? QStringLiteral("\r\n")
                        : eolMode() == EolMac   ? QStringLiteral("\r")
                                                : QStringLiteral("\n");
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (eol != QLatin1String("\n"))
        text.replace(QLatin1Char('\n'), eol);
    replaceSelectionWith(text);
}

void SqlEditor::forEachSelectedLine(void (SqlEditor::*apply)(int))
{
    int lineFrom, indexFrom, lineTo, indexTo;
    if (hasSelectedText()) {
        getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
        // A selection that ends at the start of a line does not take it.
        if (indexTo == 0 && lineTo > lineFrom)
            --lineTo;
    } else {
        getCursorPosition(&lineFrom, &indexFrom);
        lineTo = lineFrom;
    }
    beginUndoAction();
    for (int line = lineFrom; line <= lineTo; ++line)
        (this->*apply)(line);
    endUndoAction();
}

void SqlEditor::indentSelectedLines()
{
    forEachSelectedLine(&QsciScintilla::indent);
}

void SqlEditor::unindentSelectedLines()
{
    forEachSelectedLine(&QsciScintilla::unindent);
}

void SqlEditor::toggleBookmark(int number)
{
    if (number < 0 || number >= BookmarkCount)
        return;
    int line, index;
    getCursorPosition(&line, &index);
    int &handle = m_bookmarkHandle[number];
    const int markedLine = handle >= 0 ? markerLine(handle) : -1;
    if (handle >= 0)
        markerDeleteHandle(handle);
    handle = -1;
    if (markedLine == line)
        return;
    handle = markerAdd(line, number);
    m_bookmarkIndex[number] = index;
}

bool SqlEditor::bookmarkPosition(int number, int *line, int *index) const
{
    if (number < 0 || number >= BookmarkCount || m_bookmarkHandle[number] < 0)
        return false;
    const int markedLine = markerLine(m_bookmarkHandle[number]);
    if (markedLine < 0)
        return false;
    *line = markedLine;
    // Edits may have shortened the line since the bookmark was placed.
    const QString lineText = text(markedLine);
    int length = int(lineText.size());
    while (length > 0 && (lineText.at(length - 1) == u'\n' || lineText.at(length - 1) == u'\r'))
        --length;
    *index = qMin(m_bookmarkIndex[number], length);
    return true;
}

void SqlEditor::gotoBookmark(int number)
{
    int line, index;
    if (!bookmarkPosition(number, &line, &index))
        return;
    setCursorPosition(line, index);
    centreLine(line + 1);
}

void SqlEditor::clearBookmarksAndMarks()
{
    markerDeleteAll();
    m_bookmarkHandle.fill(-1);
    refreshErrorMarkText();
}

void SqlEditor::toggleErrorMark(int line)
{
    if (line < 0 || line >= lines())
        return;
    if (hasErrorMark(line))
        markerDelete(line, ErrorMarker);
    else
        markerAdd(line, ErrorMarker);
    refreshErrorMarkText();
}

bool SqlEditor::hasErrorMark(int line) const
{
    return (markersAtLine(line) & (1u << ErrorMarker)) != 0;
}

void SqlEditor::refreshErrorMarkText()
{
    // The marker paints the background; the indicator paints the text white
    // over the whole of every marked line.
    const long length = SendScintilla(SCI_GETLENGTH);
    SendScintilla(SCI_SETINDICATORCURRENT, ErrorTextIndicator);
    SendScintilla(SCI_INDICATORCLEARRANGE, 0, length);
    for (long line = SendScintilla(SCI_MARKERNEXT, 0, 1u << ErrorMarker); line >= 0;
         line = SendScintilla(SCI_MARKERNEXT, line + 1, 1u << ErrorMarker)) {
        const long start = SendScintilla(SCI_POSITIONFROMLINE, line);
        const long end = SendScintilla(SCI_GETLINEENDPOSITION, line);
        if (end > start)
            SendScintilla(SCI_INDICATORFILLRANGE, start, end - start);
    }
}

void SqlEditor::setTextFont(const QFont &font)
{
    m_textFont = inPoints(font, this);
    m_lexer->setDefaultFont(m_textFont);
    m_lexer->setFont(m_textFont, -1);
    // Restyling the text resets the gutter's style: give it its font again.
    setLineNumberFont(m_lineNumberFont);
}

void SqlEditor::setLineNumberFont(const QFont &font)
{
    m_lineNumberFont = inPoints(font, this);
    setMarginsFont(m_lineNumberFont);
    updateLineNumberWidth();
}

void SqlEditor::setLineNumbersShown(bool shown)
{
    m_lineNumbersShown = shown;
    updateLineNumberWidth();
}

void SqlEditor::updateLineNumberWidth()
{
    if (!m_lineNumbersShown) {
        setMarginWidth(LineNumberMargin, 0);
        return;
    }
    const QString digits = QString::number(qMax(lines(), 999));
    setMarginWidth(LineNumberMargin, QString(digits.size() + 1, u'0'));
}

int SqlEditor::textLineCount() const
{
    const int count = lines();
    if (count > 0 && SendScintilla(SCI_GETLINEENDPOSITION, count - 1) == SendScintilla(SCI_POSITIONFROMLINE, count - 1))
        return count - 1;
    return count;
}

void SqlEditor::gotoLine(int line)
{
    const int row = qBound(0, line - 1, qMax(0, lines() - 1));
    setCursorPosition(row, 0);
    centreLine(row + 1);
}

void SqlEditor::centreLine(int line)
{
    const long visible = SendScintilla(SCI_VISIBLEFROMDOCLINE, long(qMax(0, line - 1)));
    const long rows = SendScintilla(SCI_LINESONSCREEN);
    SendScintilla(SCI_SETFIRSTVISIBLELINE, qMax(0L, visible - rows / 2));
}

void SqlEditor::setKeepSelectionVisible(bool keep)
{
    m_keepSelectionVisible = keep;
    if (keep)
        SendScintilla(SCI_HIDESELECTION, 0L);
    else if (!hasFocus())
        SendScintilla(SCI_HIDESELECTION, 1L);
}

void SqlEditor::copy()
{
    if (!hasSelectedText())
        return;
    auto *data = new QMimeData;
    data->setText(selectedWholeText());
    data->setHtml(selectionAsHtml());
    QGuiApplication::clipboard()->setMimeData(data);
}

void SqlEditor::cut()
{
    if (!hasSelectedText() || isReadOnly())
        return;
    copy();
    removeSelectedText();
}

QString SqlEditor::selectionAsHtml() const
{
    const int start = int(SendScintilla(SCI_GETSELECTIONSTART));
    const int end = int(SendScintilla(SCI_GETSELECTIONEND));
    // Text not yet shown on screen may not be styled yet.
    const long styled = SendScintilla(SCI_GETENDSTYLED);
    if (styled < end)
        SendScintilla(SCI_COLOURISE, styled, long(end));
    const QFontInfo font(m_textFont);
    QString html = QStringLiteral("<pre style=\"font-family:'%1'; font-size:%2pt\">")
                       .arg(font.family().toHtmlEscaped())
                       .arg(m_textFont.pointSizeF());
    // One span per run of one style; a character's bytes share its style, so
    // a run never splits a character.
    for (int position = start; position < end;) {
        const int style = int(SendScintilla(SCI_GETSTYLEAT, position));
        int runEnd = position + 1;
        while (runEnd < end && SendScintilla(SCI_GETSTYLEAT, runEnd) == style)
            ++runEnd;
        html += QStringLiteral("<span style=\"color:%1\">%2</span>")
                    .arg(m_lexer->color(style).name(), text(position, runEnd).toHtmlEscaped());
        position = runEnd;
    }
    return html + QStringLiteral("</pre>");
}

void SqlEditor::keyPressEvent(QKeyEvent *event)
{
    // The editor's own key bindings would copy plain text only.
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::Cut)) {
        cut();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        paste();
        return;
    }
    // An empty undo group between key presses stops the editor from merging
    // this key's change with the one before.
    if (!m_groupedUndo) {
        beginUndoAction();
        endUndoAction();
    }
    const bool wasOverwrite = overwriteMode();
    QsciScintilla::keyPressEvent(event);
    if (overwriteMode() != wasOverwrite)
        Q_EMIT modeChanged();
}

void SqlEditor::focusInEvent(QFocusEvent *event)
{
    SendScintilla(SCI_HIDESELECTION, 0L);
    QsciScintilla::focusInEvent(event);
}

void SqlEditor::focusOutEvent(QFocusEvent *event)
{
    if (!m_keepSelectionVisible)
        SendScintilla(SCI_HIDESELECTION, 1L);
    QsciScintilla::focusOutEvent(event);
}

void SqlEditor::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_popupMenu) {
        QsciScintilla::contextMenuEvent(event);
        return;
    }
    // The menu's Cut, Copy and Paste act on the control with the focus.
    setFocus(Qt::PopupFocusReason);
    m_popupMenu->exec(event->globalPos());
}

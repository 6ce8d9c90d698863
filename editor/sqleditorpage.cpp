#include "editor/sqleditorpage.h"
#include "editor/editorpropertiesdialog.h"
#include "editor/gotolinedialog.h"
#include "editor/searchdialogs.h"
#include "editor/sqleditor.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {

const QString unnamed = QStringLiteral("none.sql");

const QByteArray Utf8Mark("\xef\xbb\xbf");
const QByteArray Utf16LEMark("\xff\xfe");
const QByteArray Utf16BEMark("\xfe\xff");

// Decodes all of bytes, or reports that they are not in that encoding.
bool decodeStrictly(QStringConverter::Encoding encoding, QByteArrayView bytes, QString *text)
{
    // The mark is the caller's business: it is neither skipped nor kept here.
    QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom);
    *text = decoder.decode(bytes);
    return !decoder.hasError();
}

// Whether bytes are UTF-8 throughout; checked a piece at a time, so no
// copy of the whole text is made.
bool isUtf8(QByteArrayView bytes)
{
    constexpr qsizetype Piece = 1 << 16;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    std::vector<QChar> buffer(size_t(decoder.requiredSpace(Piece)));
    for (qsizetype at = 0; at < bytes.size() && !decoder.hasError(); at += Piece)
        decoder.appendToBuffer(buffer.data(), bytes.sliced(at, std::min(Piece, bytes.size() - at)));
    return !decoder.hasError() && decoder.isValid();
}

} // namespace

QString FileForm::decode(const QByteArray &bytes, FileForm *form)
{
    QString text;
    const QByteArrayView view(bytes);
    if (bytes.startsWith(Utf16LEMark) && bytes.size() % 2 == 0
        && decodeStrictly(QStringConverter::Utf16LE, view.sliced(2), &text)) {
        *form = {Utf16LE, true};
        return text;
    }
    if (bytes.startsWith(Utf16BEMark) && bytes.size() % 2 == 0
        && decodeStrictly(QStringConverter::Utf16BE, view.sliced(2), &text)) {
        *form = {Utf16BE, true};
        return text;
    }
    if (bytes.startsWith(Utf8Mark) && decodeStrictly(QStringConverter::Utf8, view.sliced(3), &text)) {
        *form = {Utf8, true};
        return text;
    }
    if (decodeStrictly(QStringConverter::Utf8, view, &text)) {
        *form = {Utf8, false};
        return text;
    }
    *form = {Latin1, false};
    return QString::fromLatin1(bytes);
}

bool FileForm::encode(const QString &text, QByteArray *bytes) const
{
    QString back;
    switch (encoding) {
    case Utf8:
        *bytes = text.toUtf8();
        if (!decodeStrictly(QStringConverter::Utf8, *bytes, &back))
            return false;
        if (byteOrderMark)
            bytes->prepend(Utf8Mark);
        break;
    case Utf16LE:
    case Utf16BE: {
        const auto utf16 = encoding == Utf16LE ? QStringConverter::Utf16LE : QStringConverter::Utf16BE;
        QStringEncoder encoder(utf16);
        *bytes = encoder.encode(text);
        if (encoder.hasError() || !decodeStrictly(utf16, *bytes, &back))
            return false;
        bytes->prepend(encoding == Utf16LE ? Utf16LEMark : Utf16BEMark);
        break;
    }
    case Latin1:
        *bytes = text.toLatin1();
        back = QString::fromLatin1(*bytes);
        break;
    }
    // The bytes must give back the whole text: a save never writes less.
    return back == text;
}

SqlEditorPage::SqlEditorPage(QWidget *parent)
    : QWidget(parent)
    , m_prompts(EditorPrompts::standard())
{
    setObjectName(QStringLiteral("SqlQueryPage"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_panelName = new QLabel(unnamed, this);
    m_panelName->setObjectName(QStringLiteral("Panelname"));
    m_panelName->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panelName->setMargin(2);
    m_editor = new SqlEditor(this);
    layout->addWidget(m_panelName);
    layout->addWidget(m_editor, 1);

    // Created once and reused, so they keep their histories for the run.
    m_findDialog = new TEdFindDlg(this);
    m_findDialog->setPrompts(&m_prompts);
    m_replaceDialog = new TEdReplDlg(this);
    m_replaceDialog->setPrompts(&m_prompts);
    m_gotoDialog = new TGotoLineDialog(this);
    m_gotoDialog->setPrompts(&m_prompts);

    buildPopupMenu();

    connect(m_editor, &QsciScintilla::cursorPositionChanged, this, &SqlEditorPage::SyntaxMemoChange);
    connect(m_editor, &QsciScintilla::selectionChanged, this, &SqlEditorPage::SyntaxMemoChange);
    connect(m_editor, &QsciScintilla::textChanged, this, &SqlEditorPage::SyntaxMemoChange);
    connect(m_editor, &SqlEditor::modeChanged, this, &SqlEditorPage::SyntaxMemoChange);
    // Changes report while the editor is still inside them (an undo is not
    // yet redoable then); the next screen update reports the settled state.
    connect(m_editor, &QsciScintillaBase::SCN_UPDATEUI, this, &SqlEditorPage::SyntaxMemoChange);
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        connect(clipboard, &QClipboard::dataChanged, this, &SqlEditorPage::SyntaxMemoChange);
    connect(m_editor, &QsciScintilla::modificationChanged, this,
            [this] { Q_EMIT modificationChanged(isModified()); });
    connect(m_editor, &QsciScintilla::textChanged, this, &SqlEditorPage::textChanged);
}

SqlEditorPage::~SqlEditorPage() = default;

QString SqlEditorPage::fileName() const
{
    return m_panelName->text();
}

void SqlEditorPage::setPanelName(const QString &name)
{
    if (m_panelName->text() == name)
        return;
    m_panelName->setText(name);
    Q_EMIT fileNameChanged(name);
}

bool SqlEditorPage::isModified() const
{
    return m_editor->isModified() || m_differsFromFile;
}

void SqlEditorPage::setSaved(bool saved)
{
    // The editor can only be told that its text is saved; a text kept with
    // changes that its file lacks is marked here.
    m_editor->setModified(false);
    m_differsFromFile = !saved;
    Q_EMIT modificationChanged(isModified());
}

bool SqlEditorPage::hasFileName() const
{
    return !fileName().isEmpty() && fileName() != unnamed;
}

QString SqlEditorPage::modeText() const
{
    return m_editor->modeText();
}

QString SqlEditorPage::caretText() const
{
    return m_editor->caretText();
}

void SqlEditorPage::SyntaxMemoChange()
{
    Q_EMIT caretTextChanged(m_editor->caretText());
    Q_EMIT modeTextChanged(m_editor->modeText());
    Q_EMIT commandStateChanged(m_editor->isRedoAvailable(), m_editor->canPaste(), m_editor->hasSelectedText());
}

void SqlEditorPage::buildPopupMenu()
{
    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("SyntaxMemoPopup"));
    m_cutAction = new QAction(tr("&Cut"), this);
    m_copyAction = new QAction(tr("&Copy"), this);
    m_pasteAction = new QAction(tr("&Paste"), this);
    connect(m_cutAction, &QAction::triggered, this, &SqlEditorPage::cut);
    connect(m_copyAction, &QAction::triggered, this, &SqlEditorPage::copy);
    connect(m_pasteAction, &QAction::triggered, this, &SqlEditorPage::paste);
    // The page's own clipboard items follow the selection and the clipboard;
    // the main window's actions are kept up to date by commandStateChanged.
    connect(m_popup, &QMenu::aboutToShow, this, [this] {
        m_cutAction->setEnabled(m_editor->hasSelectedText());
        m_copyAction->setEnabled(m_editor->hasSelectedText());
        m_pasteAction->setEnabled(m_editor->canPaste());
    });
    setClipboardActions(m_cutAction, m_copyAction, m_pasteAction);
    m_editor->setPopupMenu(m_popup);
}

void SqlEditorPage::setClipboardActions(QAction *cut, QAction *copy, QAction *paste)
{
    m_popup->clear();
    m_popup->addAction(tr("&Word wrap"), this, &SqlEditorPage::toggleWordWrap);
    m_popup->addSeparator();
    m_popup->addAction(cut);
    m_popup->addAction(copy);
    m_popup->addAction(paste);
    m_popup->addAction(tr("Delete"), this, [this] {
        if (m_editor->hasSelectedText())
            m_editor->removeSelectedText();
    });
    m_popup->addAction(tr("Select all"), this, [this] { m_editor->selectAll(); });
    m_popup->addSeparator();
    QMenu *toggle = m_popup->addMenu(tr("Toggle bookmark"));
    QMenu *go = m_popup->addMenu(tr("Goto bookmark"));
    for (int number = 0; number < SqlEditor::BookmarkCount; ++number) {
        toggle->addAction(tr("Bookmark &%1").arg(number));
        go->addAction(tr("Bookmark &%1").arg(number));
    }
    connect(toggle, &QMenu::triggered, this, [this](QAction *action) { bookmarkMenuTriggered(action, true); });
    connect(go, &QMenu::triggered, this, [this](QAction *action) { bookmarkMenuTriggered(action, false); });
    m_popup->addSeparator();
    m_popup->addAction(tr("Properties..."), this, &SqlEditorPage::showProperties);
}

void SqlEditorPage::bookmarkMenuTriggered(QAction *action, bool toggle)
{
    // The bookmark's number is the last character of the item's caption.
    const QString caption = action->text();
    if (caption.isEmpty())
        return;
    const QChar digit = caption.back();
    if (digit < u'0' || digit > u'9')
        return;
    const int number = digit.unicode() - u'0';
    if (toggle)
        m_editor->toggleBookmark(number);
    else
        m_editor->gotoBookmark(number);
}

bool SqlEditorPage::maybeSave()
{
    if (!isModified())
        return true;
    const QMessageBox::StandardButton answer =
        m_prompts.message(this, QMessageBox::Question, tr("Save changes to %1?").arg(fileName()),
                          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Yes)
        return saveWithDialog();
    return answer == QMessageBox::No;
}

void SqlEditorPage::EditNew()
{
    if (!maybeSave())
        return;
    m_editor->clear();
    m_editor->clearBookmarksAndMarks();
    setSaved(true);
    m_fileForm = FileForm();
    SyntaxMemoChange();
    setPanelName(unnamed);
    m_editor->setFocus();
}

void SqlEditorPage::EditOpen()
{
    if (!maybeSave())
        return;
    const QString current = fileName() == unnamed ? QString() : fileName();
    const QString name = m_prompts.openFileName(this, tr("Load SQL"), current,
                                                tr("SQL files (*.sql);;All files (*)"));
    if (name.isEmpty() || !loadFile(name))
        return;
    SyntaxMemoChange();
    setPanelName(name);
}

bool SqlEditorPage::readFile(const QString &name, QByteArray *bytes, QString *error) const
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("Cannot open file \"%1\". %2").arg(name, file.errorString());
        return false;
    }
    // A file of known size in one buffer of that size.
    const qint64 size = file.size();
    if (size > 0 && !file.isSequential()) {
        bytes->resize(size);
        const qint64 read = file.read(bytes->data(), size);
        bytes->truncate(std::max<qint64>(read, 0));
        if (read == size)
            *bytes += file.readAll(); // grown meanwhile
    } else {
        *bytes = file.readAll();
    }
    if (file.error() != QFileDevice::NoError) {
        *error = tr("Cannot read file \"%1\". %2").arg(name, file.errorString());
        return false;
    }
    return true;
}

void SqlEditorPage::setDocumentBytes(const QByteArray &bytes)
{
    // Every byte is kept, zero bytes too (UTF-16 files are full of them):
    // a file opened and saved again comes back as it was. UTF-8 (the usual
    // form, and that of large dumps) goes to the editor as it is, without a
    // copy as text.
    m_editor->clearBookmarksAndMarks();
    const bool utf8Mark = bytes.startsWith(Utf8Mark);
    const QByteArrayView utf8 = QByteArrayView(bytes).sliced(utf8Mark ? Utf8Mark.size() : 0);
    bool windowsLines = false;
    bool unixLines = false;
    if (isUtf8(utf8)) {
        m_fileForm = {FileForm::Utf8, utf8Mark};
        m_editor->setWholeUtf8(utf8);
        windowsLines = utf8.contains("\r\n");
        unixLines = utf8.contains('\n');
    } else {
        FileForm form;
        const QString text = FileForm::decode(bytes, &form);
        m_fileForm = form;
        m_editor->setWholeText(text);
        windowsLines = text.contains(QLatin1String("\r\n"));
        unixLines = text.contains(u'\n');
    }
    documentSet(windowsLines, unixLines);
}

void SqlEditorPage::setDocumentText(const QString &text)
{
    m_editor->clearBookmarksAndMarks();
    m_editor->setWholeText(text);
    documentSet(text.contains(QLatin1String("\r\n")), text.contains(u'\n'));
}

void SqlEditorPage::documentSet(bool windowsLines, bool unixLines)
{
    // New lines typed follow the file's own line ends.
    if (windowsLines)
        m_editor->setEolMode(QsciScintilla::EolWindows);
    else if (unixLines)
        m_editor->setEolMode(QsciScintilla::EolUnix);
    m_editor->SendScintilla(QsciScintilla::SCI_EMPTYUNDOBUFFER);
    m_editor->setCursorPosition(0, 0);
}

bool SqlEditorPage::loadFile(const QString &name)
{
    QByteArray bytes;
    QString error;
    if (!readFile(name, &bytes, &error)) {
        m_prompts.message(this, QMessageBox::Critical, error, QMessageBox::Ok);
        return false;
    }
    setDocumentBytes(bytes);
    setSaved(true);
    return true;
}

bool SqlEditorPage::loadDocument(const QString &fileName, QString *error)
{
    QByteArray bytes;
    QString message;
    if (!readFile(fileName, &bytes, &message)) {
        if (error)
            *error = message;
        return false;
    }
    setDocumentBytes(bytes);
    setSaved(true);
    SyntaxMemoChange();
    setPanelName(fileName);
    return true;
}

void SqlEditorPage::restoreDocument(const QString &text, const QString &fileName, const FileForm &form,
                                    bool modified)
{
    m_fileForm = form;
    setDocumentText(text);
    setSaved(!modified);
    SyntaxMemoChange();
    setPanelName(fileName.isEmpty() ? unnamed : fileName);
}

void SqlEditorPage::EditSave()
{
    saveWithDialog();
}

bool SqlEditorPage::saveWithDialog()
{
    const QString current = fileName() == unnamed ? QString() : fileName();
    const QString name = m_prompts.saveFileName(this, tr("Save SQL "), current, tr("SQL files (*.sql)"));
    if (name.isEmpty())
        return false;

    const QString text = m_editor->wholeText();
    FileForm form = m_fileForm;
    QByteArray bytes;
    // Typed characters the file's old form cannot hold: UTF-8 holds all.
    if (!form.encode(text, &bytes) && !(form = FileForm()).encode(text, &bytes)) {
        m_prompts.message(this, QMessageBox::Critical,
                          tr("Cannot write file \"%1\". The text cannot be stored without loss.").arg(name),
                          QMessageBox::Ok);
        return false;
    }
    QSaveFile file(name);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!written) {
        m_prompts.message(this, QMessageBox::Critical,
                          tr("Cannot write file \"%1\". %2").arg(name, file.errorString()), QMessageBox::Ok);
        return false;
    }
    m_fileForm = form;
    setSaved(true);
    SyntaxMemoChange();
    setPanelName(name);
    return true;
}

void SqlEditorPage::appendStatement(const QString &statement)
{
    const QString text = m_editor->wholeText();
    QString separator;
    if (!text.isEmpty() && !text.endsWith(u'\n'))
        separator = m_editor->eolMode() == QsciScintilla::EolWindows ? QStringLiteral("\r\n") : QStringLiteral("\n");
    m_editor->beginUndoAction();
    m_editor->SendScintilla(QsciScintilla::SCI_DOCUMENTEND);
    m_editor->replaceSelectionWith(separator);
    m_editor->replaceSelectionWith(statement, true);
    // The ";" goes after the selection, which keeps the statement alone.
    const long start = m_editor->SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART);
    const long end = m_editor->SendScintilla(QsciScintilla::SCI_GETSELECTIONEND);
    m_editor->SendScintilla(QsciScintilla::SCI_INSERTTEXT, static_cast<unsigned long>(end), ";");
    m_editor->SendScintilla(QsciScintilla::SCI_SETSEL, start, end);
    m_editor->endUndoAction();
    m_editor->ensureCursorVisible();
}

QString SqlEditorPage::scriptText() const
{
    return m_editor->wholeText();
}

QString SqlEditorPage::selectedScript(int *offset) const
{
    *offset = m_editor->textOffset(m_editor->SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART));
    return m_editor->selectedWholeText();
}

int SqlEditorPage::caretOffset() const
{
    return m_editor->textOffset(m_editor->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS));
}

bool SqlEditorPage::selectErrorFragment(const QString &fragment, int from, int to)
{
    const QString text = m_editor->text();
    from = qBound(0, from, int(text.size()));
    to = qBound(from, to, int(text.size()));
    // The editor counts positions in bytes of its encoding.
    auto position = [this, &text](int offset) -> long {
        return m_editor->isUtf8() ? long(text.left(offset).toUtf8().size()) : long(offset);
    };
    const long start = position(from);
    const long end = position(to);
    if (fragment.isEmpty()) {
        if (start == end)
            return false;
        m_editor->SendScintilla(QsciScintilla::SCI_SETSEL, end, start);
        return true;
    }
    const QByteArray needle = m_editor->isUtf8() ? fragment.toUtf8() : fragment.toLatin1();
    auto search = [&](long rangeStart, long rangeEnd) {
        m_editor->SendScintilla(QsciScintilla::SCI_SETSEARCHFLAGS, 0ul); // plain text, any case
        m_editor->SendScintilla(QsciScintilla::SCI_SETTARGETSTART, rangeStart);
        m_editor->SendScintilla(QsciScintilla::SCI_SETTARGETEND, rangeEnd);
        const long found = m_editor->SendScintilla(QsciScintilla::SCI_SEARCHINTARGET,
                                                   (unsigned long)needle.size(), needle.constData());
        if (found < 0)
            return false;
        const long foundEnd = m_editor->SendScintilla(QsciScintilla::SCI_GETTARGETEND);
        m_editor->SendScintilla(QsciScintilla::SCI_SETSEL, found, foundEnd);
        return true;
    };
    if (search(start, end))
        return true;
    return search(0, m_editor->SendScintilla(QsciScintilla::SCI_GETLENGTH));
}

void SqlEditorPage::toggleErrorMarkAtCaretLine()
{
    int line, index;
    m_editor->getCursorPosition(&line, &index);
    m_editor->toggleErrorMark(line);
}

void SqlEditorPage::cut()
{
    m_editor->cut();
}

void SqlEditorPage::copy()
{
    m_editor->copy();
}

void SqlEditorPage::paste()
{
    m_editor->paste();
}

void SqlEditorPage::undo()
{
    m_editor->undo();
    SyntaxMemoChange();
}

void SqlEditorPage::redo()
{
    m_editor->redo();
    SyntaxMemoChange();
}

void SqlEditorPage::toUpperCase()
{
    m_editor->convertSelectionCase(true);
}

void SqlEditorPage::toLowerCase()
{
    m_editor->convertSelectionCase(false);
}

void SqlEditorPage::indent()
{
    m_editor->indentSelectedLines();
}

void SqlEditorPage::unindent()
{
    m_editor->unindentSelectedLines();
}

void SqlEditorPage::chooseLineNumberFont()
{
    QFont font = m_editor->lineNumberFont();
    if (!m_prompts.chooseFont(this, &font))
        return;
    m_editor->setLineNumberFont(font);
    Q_EMIT settingsChanged();
}

void SqlEditorPage::showProperties()
{
    EditorPropertiesDialog dialog(m_editor, &m_prompts, this);
    dialog.exec();
    Q_EMIT settingsChanged();
}

void SqlEditorPage::showFind()
{
    m_findDialog->execute(m_editor, m_editor->selectedText());
}

void SqlEditorPage::showReplace()
{
    m_replaceDialog->execute(m_editor, m_editor->selectedText());
}

void SqlEditorPage::showGotoLine()
{
    int line, index;
    if (m_editor->hasSelectedText()) {
        int lineTo, indexTo;
        m_editor->getSelection(&line, &index, &lineTo, &indexTo);
    } else {
        m_editor->getCursorPosition(&line, &index);
    }
    m_gotoDialog->setRange(1, m_editor->textLineCount() + 1);
    m_gotoDialog->setValue(line + 1);
    if (m_gotoDialog->exec() == QDialog::Accepted)
        m_editor->gotoLine(m_gotoDialog->value());
}

bool SqlEditorPage::groupedUndo() const
{
    return m_editor->groupedUndo();
}

void SqlEditorPage::setGroupedUndo(bool on)
{
    m_editor->setGroupedUndo(on);
}

void SqlEditorPage::setUndoAfterSave(bool on)
{
    m_undoAfterSave = on;
}

void SqlEditorPage::pageShown()
{
    Q_EMIT caretTextChanged(m_editor->caretText());
    m_editor->setFocus();
}

void SqlEditorPage::toggleWordWrap()
{
    m_editor->setWrapMode(m_editor->wrapMode() == QsciScintilla::WrapNone ? QsciScintilla::WrapWord
                                                                           : QsciScintilla::WrapNone);
    Q_EMIT settingsChanged();
}

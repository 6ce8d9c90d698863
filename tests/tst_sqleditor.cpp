#include "editor/editorpropertiesdialog.h"
#include "editor/gotolinedialog.h"
#include "editor/searchdialogs.h"
#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"

#include <Qsci/qscilexer.h>

#include <QtTest>

#include <QComboBox>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStringEncoder>
#include <QTemporaryDir>

// Answers the page's questions from a queue and records what was asked.
struct ScriptedPrompts
{
    QStringList messages;
    QList<QMessageBox::StandardButton> answers;
    QStringList saveDialogs;
    QString saveAnswer;
    QString openAnswer;

    EditorPrompts prompts()
    {
        EditorPrompts p;
        p.message = [this](QWidget *, QMessageBox::Icon, const QString &text, QMessageBox::StandardButtons) {
            messages.append(text);
            return answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
        };
        p.saveFileName = [this](QWidget *, const QString &title, const QString &, const QString &) {
            saveDialogs.append(title);
            return saveAnswer;
        };
        p.openFileName = [this](QWidget *, const QString &, const QString &, const QString &) {
            return openAnswer;
        };
        p.chooseFont = [](QWidget *, QFont *font) {
            font->setPointSize(17);
            return true;
        };
        return p;
    }
};

class TestSqlEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void largeFileOpensWithoutWordWrap();

    void caseConversion_data();
    void caseConversion();
    void caretStatus_data();
    void caretStatus();
    void modeStatus();
    void groupedUndo();
    void indentSelectedLines_data();
    void indentSelectedLines();
    void bookmarks();
    void errorMarkToggles();
    void errorMarkPaintsWhiteOnRed();
    void gutterClickTogglesErrorMark();
    void selectErrorFragment_data();
    void selectErrorFragment();
    void newAsksOnlyWhenModified_data();
    void newAsksOnlyWhenModified();
    void saveAndOpenKeepBytes();
    void filesWithZeroBytesKeepEveryByte_data();
    void filesWithZeroBytesKeepEveryByte();
    void pasteAndEditKeepZeroCharacters();
    void openCancelledKeepsDocument();
    void lineNumberFontLeavesTextFont();
    void gotoLineBounds_data();
    void gotoLineBounds();
    void findNextAfterSelectedWord();
    void findRegularExpressions_data();
    void findRegularExpressions();
    void replaceWithRegularExpressionGroups();
    void findNotFound();
    void findHistoryOnOpen();
    void replaceAllUndoneInOneStep();
    void replaceAllWithPrompt_data();
    void replaceAllWithPrompt();
    void replaceOneWithPrompt_data();
    void replaceOneWithPrompt();
    void popupMenu();
    void commandState();
    void propertiesDialog();
    void copyPlainAndRichText();

private:
    SqlEditorPage *m_page = nullptr;
    SqlEditor *m_editor = nullptr;
    ScriptedPrompts m_scripted;
};

void TestSqlEditor::init()
{
    m_scripted = ScriptedPrompts();
    m_page = new SqlEditorPage;
    m_page->setPrompts(m_scripted.prompts());
    m_page->resize(700, 400);
    m_editor = m_page->editor();
}

void TestSqlEditor::cleanup()
{
    delete m_page;
    m_page = nullptr;
}

void TestSqlEditor::caseConversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("upper");
    QTest::addColumn<QString>("expected");

    QTest::newRow("upper") << "ab;Cd" << true << "AB;CD";
    QTest::newRow("lower") << "SELECT x_1 FROM T" << false << "select x_1 from t";
    QTest::newRow("accented letters unchanged by upper") << "\u00e9t\u00e9 \u00fcber \u00df" << true
                                                         << "\u00e9T\u00e9 \u00fcBER \u00df";
    QTest::newRow("accented letters unchanged by lower") << "\u00c9T\u00c9 \u00dcBER" << false
                                                         << "\u00c9t\u00c9 \u00dcber";
    QTest::newRow("line breaks kept") << "a\r\nb" << true << "A\r\nB";
}

void TestSqlEditor::caseConversion()
{
    QFETCH(QString, text);
    QFETCH(bool, upper);
    QFETCH(QString, expected);

    m_editor->setText(QStringLiteral("[") + text + QStringLiteral("]"));
    // Select everything between the brackets.
    const long end = m_editor->SendScintilla(QsciScintilla::SCI_GETLENGTH) - 1;
    m_editor->SendScintilla(QsciScintilla::SCI_SETSEL, 1L, end);
    upper ? m_page->toUpperCase() : m_page->toLowerCase();
    QCOMPARE(m_editor->text(), QStringLiteral("[") + expected + QStringLiteral("]"));
    QCOMPARE(m_editor->selectedText(), expected);
}

void TestSqlEditor::caretStatus_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("status");

    QString twelveLines;
    for (int i = 0; i < 12; ++i)
        twelveLines += QStringLiteral("select 1234;\n");
    QTest::newRow("line 12 column 7") << twelveLines << 11 << 6 << "    12:   7";
    QTest::newRow("start") << "" << 0 << 0 << "     1:   1";
    QTest::newRow("tab counts to the next tab stop") << "\tx" << 0 << 1 << "     1:   5";
    QTest::newRow("accented letter is one column") << "\u00e9x" << 0 << 1 << "     1:   2";
}

void TestSqlEditor::caretStatus()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(int, index);
    QFETCH(QString, status);

    QSignalSpy spy(m_page, &SqlEditorPage::caretTextChanged);
    m_editor->setText(text);
    m_editor->setCursorPosition(line, index);
    QCOMPARE(m_page->caretText(), status);
    QVERIFY(!spy.isEmpty());
    QCOMPARE(spy.last().at(0).toString(), status);
}

void TestSqlEditor::modeStatus()
{
    QCOMPARE(m_page->modeText(), QStringLiteral(" Insert"));
    QSignalSpy spy(m_page, &SqlEditorPage::modeTextChanged);
    QTest::keyClick(m_editor, Qt::Key_Insert);
    QCOMPARE(m_page->modeText(), QStringLiteral(" Overwrite"));
    QVERIFY(!spy.isEmpty());
    QCOMPARE(spy.last().at(0).toString(), QStringLiteral(" Overwrite"));
    m_editor->setReadOnly(true);
    QCOMPARE(m_page->modeText(), QStringLiteral(" Read only"));
    QCOMPARE(spy.last().at(0).toString(), QStringLiteral(" Read only"));
}

void TestSqlEditor::groupedUndo()
{
    QVERIFY(m_page->groupedUndo());
    QTest::keyClicks(m_editor, QStringLiteral("select 1"));
    m_page->undo();
    QCOMPARE(m_editor->text(), QString());

    m_page->setGroupedUndo(false);
    QTest::keyClicks(m_editor, QStringLiteral("select 1"));
    m_page->undo();
    QCOMPARE(m_editor->text(), QStringLiteral("select "));
    m_page->redo();
    QCOMPARE(m_editor->text(), QStringLiteral("select 1"));
}

void TestSqlEditor::indentSelectedLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("selection"); // line, index, line, index; equal ends: caret only
    QTest::addColumn<bool>("indent");
    QTest::addColumn<QString>("expected");

    QTest::newRow("caret line only") << "a\nb\nc" << QList<int>{1, 1, 1, 1} << true << "a\n b\nc";
    QTest::newRow("selected lines by one column")
        << "a\nb\nc" << QList<int>{0, 0, 1, 1} << true << " a\n b\nc";
    QTest::newRow("selection ending at a line start leaves that line")
        << "a\nb\nc" << QList<int>{0, 0, 2, 0} << true << " a\n b\nc";
    QTest::newRow("four columns make a tab") << "   a" << QList<int>{0, 0, 0, 0} << true << "\ta";
    QTest::newRow("un-indent a tab by one column") << "\ta\n  b" << QList<int>{0, 1, 1, 2} << false << "   a\n b";
    QTest::newRow("un-indent stops at the margin") << "a\n b" << QList<int>{0, 0, 1, 1} << false << "a\nb";
}

void TestSqlEditor::indentSelectedLines()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, selection);
    QFETCH(bool, indent);
    QFETCH(QString, expected);

    m_editor->setText(text);
    if (selection.at(0) == selection.at(2) && selection.at(1) == selection.at(3))
        m_editor->setCursorPosition(selection.at(0), selection.at(1));
    else
        m_editor->setSelection(selection.at(0), selection.at(1), selection.at(2), selection.at(3));
    indent ? m_page->indent() : m_page->unindent();
    QCOMPARE(m_editor->text(), expected);
    // One command, one undo step.
    m_page->undo();
    QCOMPARE(m_editor->text(), text);
}

void TestSqlEditor::bookmarks()
{
    m_editor->setText(QStringLiteral("line one\nline two\nline three\n"));
    QMenu *toggleMenu = nullptr;
    QMenu *gotoMenu = nullptr;
    for (QAction *action : m_page->popupMenu()->actions()) {
        if (action->text() == QStringLiteral("Toggle bookmark"))
            toggleMenu = action->menu();
        if (action->text() == QStringLiteral("Goto bookmark"))
            gotoMenu = action->menu();
    }
    QVERIFY(toggleMenu && gotoMenu);
    auto item = [](QMenu *menu, int number) {
        const QString caption = QStringLiteral("Bookmark &%1").arg(number);
        for (QAction *action : menu->actions()) {
            if (action->text() == caption)
                return action;
        }
        return static_cast<QAction *>(nullptr);
    };
    QVERIFY(item(toggleMenu, 9) && item(gotoMenu, 0));
    int line = -1, index = -1;

    // Goto on an unset bookmark does nothing.
    m_editor->setCursorPosition(1, 3);
    item(gotoMenu, 3)->trigger();
    m_editor->getCursorPosition(&line, &index);
    QCOMPARE(line, 1);
    QCOMPARE(index, 3);

    // Set at the caret, then cleared by a second toggle on the same line.
    item(toggleMenu, 1)->trigger();
    QVERIFY(m_editor->bookmarkPosition(1, &line, &index));
    QCOMPARE(line, 1);
    QCOMPARE(index, 3);
    m_editor->setCursorPosition(1, 0);
    item(toggleMenu, 1)->trigger();
    QVERIFY(!m_editor->bookmarkPosition(1, &line, &index));

    // On another line the second toggle moves it there.
    m_editor->setCursorPosition(0, 2);
    item(toggleMenu, 1)->trigger();
    m_editor->setCursorPosition(2, 5);
    item(toggleMenu, 1)->trigger();
    QVERIFY(m_editor->bookmarkPosition(1, &line, &index));
    QCOMPARE(line, 2);
    QCOMPARE(index, 5);
    QCOMPARE(m_editor->markersAtLine(0) & (1u << 1), 0u);

    // Goto brings the caret to line and column; bookmarks follow edits.
    m_editor->setCursorPosition(0, 0);
    m_editor->insert(QStringLiteral("new first line\n"));
    item(gotoMenu, 1)->trigger();
    m_editor->getCursorPosition(&line, &index);
    QCOMPARE(line, 3);
    QCOMPARE(index, 5);
}

void TestSqlEditor::errorMarkToggles()
{
    m_editor->setText(QStringLiteral("select 1;\nselect * from nowhere;\nselect 3;"));
    m_editor->setCursorPosition(1, 4);
    m_page->toggleErrorMarkAtCaretLine();
    QVERIFY(m_editor->hasErrorMark(1));
    QVERIFY(!m_editor->hasErrorMark(0));
    const long lineStart = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, 1L);
    QCOMPARE(m_editor->SendScintilla(QsciScintilla::SCI_INDICATORVALUEAT, long(SqlEditor::ErrorTextIndicator), lineStart + 3), 1L);
    m_page->toggleErrorMarkAtCaretLine();
    QVERIFY(!m_editor->hasErrorMark(1));
    QCOMPARE(m_editor->SendScintilla(QsciScintilla::SCI_INDICATORVALUEAT, long(SqlEditor::ErrorTextIndicator), lineStart + 3), 0L);

    // New forgets the marks of the old text.
    m_page->toggleErrorMarkAtCaretLine();
    m_editor->setModified(false);
    m_page->EditNew();
    QVERIFY(!m_editor->hasErrorMark(0));
}

void TestSqlEditor::errorMarkPaintsWhiteOnRed()
{
    m_editor->setText(QStringLiteral("select 1;\nselect * from nowhere where a = 'x';\nselect 3;"));
    m_editor->setCursorPosition(0, 0);
    m_editor->toggleErrorMark(1);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page));

    const QImage image = m_editor->viewport()->grab().toImage();
    const long lineStart = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, 1L);
    const long lineEnd = m_editor->SendScintilla(QsciScintilla::SCI_GETLINEENDPOSITION, 1L);
    const int top = int(m_editor->SendScintilla(QsciScintilla::SCI_POINTYFROMPOSITION, 0UL, lineStart));
    const int height = int(m_editor->SendScintilla(QsciScintilla::SCI_TEXTHEIGHT, 1UL));
    const int left = int(m_editor->SendScintilla(QsciScintilla::SCI_POINTXFROMPOSITION, 0UL, lineStart));
    const int right = int(m_editor->SendScintilla(QsciScintilla::SCI_POINTXFROMPOSITION, 0UL, lineEnd));
    QVERIFY(height > 0 && right > left);

    int whitePixels = 0;
    for (int y = top; y < top + height; ++y) {
        for (int x = left; x < right + 20; ++x) {
            const QColor c = image.pixelColor(x, y);
            // Red background with white (antialiased) text: full red channel throughout.
            QVERIFY2(c.red() >= 250, qPrintable(QStringLiteral("pixel %1,%2 is %3").arg(x).arg(y).arg(c.name())));
            if (c.green() > 200 && c.blue() > 200)
                ++whitePixels;
        }
    }
    QVERIFY(whitePixels > 20);
    // The unmarked line keeps a normal, non-red background.
    const QColor normal = image.pixelColor(right + 10, top - height / 2);
    QVERIFY(normal != QColor(255, 0, 0));
}

void TestSqlEditor::gutterClickTogglesErrorMark()
{
    m_editor->setText(QStringLiteral("a\nb\nc\n"));
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page));
    const long lineStart = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, 2L);
    const int y = int(m_editor->SendScintilla(QsciScintilla::SCI_POINTYFROMPOSITION, 0UL, lineStart))
        + int(m_editor->SendScintilla(QsciScintilla::SCI_TEXTHEIGHT, 2UL)) / 2;
    QTest::mouseClick(m_editor->viewport(), Qt::LeftButton, {}, QPoint(5, y));
    QVERIFY(m_editor->hasErrorMark(2));
    QTest::mouseClick(m_editor->viewport(), Qt::LeftButton, {}, QPoint(5, y), 400);
    QVERIFY(!m_editor->hasErrorMark(2));
}

void TestSqlEditor::selectErrorFragment_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<int>("from"); // the failing statement, in characters of the text
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<int>("markedLine");

    const QString script = QStringLiteral("select * from orders;\nselect * from ORDERS_old;\nselect x");
    const int second = int(script.indexOf(QStringLiteral("select * from ORDERS")));
    const int third = int(script.lastIndexOf(QStringLiteral("select")));
    QTest::newRow("in the statement, not case-sensitive")
        << script << "Orders" << second << second + 24 << true << "ORDERS" << 1;
    QTest::newRow("not in the statement: first in the text")
        << script << "Orders" << third << third + 8 << true << "orders" << 0;
    QTest::newRow("not found") << script << "customers" << 0 << 20 << false << "" << -1;
    QTest::newRow("empty fragment: the statement")
        << script << "" << second << second + 24 << true << "select * from ORDERS_old" << 1;
    QTest::newRow("empty fragment, empty text") << "" << "" << 0 << 0 << false << "" << -1;
    // Positions are characters of the text, not bytes of the editor.
    const QString wide = QStringLiteral("select '\u00e4\u00f6\u00fc';\nselect '\u00e4\u00f6\u00fc' from x");
    const int wideSecond = int(wide.lastIndexOf(QStringLiteral("select")));
    QTest::newRow("after multi-byte characters")
        << wide << "\u00f6\u00fc" << wideSecond << int(wide.size()) << true << "\u00f6\u00fc" << 1;
}

void TestSqlEditor::selectErrorFragment()
{
    QFETCH(QString, text);
    QFETCH(QString, fragment);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, found);
    QFETCH(QString, selected);
    QFETCH(int, markedLine);

    m_editor->setText(text);
    m_editor->setCursorPosition(1, 3); // the search does not start at the caret
    QCOMPARE(m_page->selectErrorFragment(fragment, from, to), found);
    QCOMPARE(m_editor->selectedText(), selected);
    if (found) {
        m_page->toggleErrorMarkAtCaretLine();
        QVERIFY(m_editor->hasErrorMark(markedLine));
    }
}

void TestSqlEditor::newAsksOnlyWhenModified_data()
{
    QTest::addColumn<bool>("modified");
    QTest::addColumn<int>("answer");      // to "Save changes to ...?"
    QTest::addColumn<bool>("saveChosen"); // a name chosen in the save dialog
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("saveDialogs");
    QTest::addColumn<bool>("cleared");

    QTest::newRow("unmodified: no question") << false << 0 << false << 0 << 0 << true;
    QTest::newRow("modified, No: cleared") << true << int(QMessageBox::No) << false << 1 << 0 << true;
    QTest::newRow("modified, Cancel: kept") << true << int(QMessageBox::Cancel) << false << 1 << 0 << false;
    QTest::newRow("modified, Yes, saved: cleared") << true << int(QMessageBox::Yes) << true << 1 << 1 << true;
    QTest::newRow("modified, Yes, save cancelled: kept") << true << int(QMessageBox::Yes) << false << 1 << 1 << false;
}

void TestSqlEditor::newAsksOnlyWhenModified()
{
    QFETCH(bool, modified);
    QFETCH(int, answer);
    QFETCH(bool, saveChosen);
    QFETCH(int, questions);
    QFETCH(int, saveDialogs);
    QFETCH(bool, cleared);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("kept.sql"));
    m_editor->setText(QStringLiteral("select 1;"));
    m_editor->setModified(modified);
    m_scripted.answers = {QMessageBox::StandardButton(answer)};
    m_scripted.saveAnswer = saveChosen ? path : QString();

    m_page->EditNew();
    QCOMPARE(m_scripted.messages.size(), questions);
    if (questions > 0)
        QCOMPARE(m_scripted.messages.constFirst(), QStringLiteral("Save changes to none.sql?"));
    QCOMPARE(m_scripted.saveDialogs.size(), saveDialogs);
    if (saveDialogs > 0)
        QCOMPARE(m_scripted.saveDialogs.constFirst(), QStringLiteral("Save SQL "));
    QCOMPARE(m_editor->text().isEmpty(), cleared);
    QCOMPARE(QFile::exists(path), saveChosen);
    if (cleared)
        QCOMPARE(m_page->fileName(), QStringLiteral("none.sql"));

    // The closing question answers the same way.
    m_editor->setText(QStringLiteral("select 2;"));
    m_editor->setModified(modified);
    m_scripted.answers = {QMessageBox::StandardButton(answer)};
    QCOMPARE(m_page->maybeSave(), cleared);
}

void TestSqlEditor::largeFileOpensWithoutWordWrap()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto write = [&dir](const QString &name, const QByteArray &bytes) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName() : QString();
    };
    // Over the limit, with a byte order mark, a zero byte and CRLF lines.
    QByteArray large = "\xef\xbb\xbfselect '\xc3\xa9\0';\r\n";
    while (large.size() <= SqlEditor::WrapLimit)
        large += "insert into t values (1, 'abcdefghijklmnopqrstuvwxyz');\r\n";
    const QString largePath = write(QStringLiteral("large.sql"), large);
    const QString smallPath = write(QStringLiteral("small.sql"), "select 1;\n");
    QVERIFY(!largePath.isEmpty() && !smallPath.isEmpty());

    QCOMPARE(m_editor->wrapMode(), QsciScintilla::WrapWord);
    m_scripted.openAnswer = largePath;
    m_page->EditOpen();
    QCOMPARE(m_editor->wrapMode(), QsciScintilla::WrapNone);
    QCOMPARE(m_page->scriptText(), QString::fromUtf8(large.mid(3)));
    QCOMPARE(m_editor->eolMode(), QsciScintilla::EolWindows);
    QVERIFY(!m_editor->isUndoAvailable());
    QVERIFY(!m_editor->isModified());
    // Saved again byte for byte, the mark included.
    m_scripted.saveAnswer = dir.filePath(QStringLiteral("copy.sql"));
    m_page->EditSave();
    QFile copy(m_scripted.saveAnswer);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), large);

    // A small text wraps again, unless the user chose the mode meanwhile.
    m_scripted.openAnswer = smallPath;
    m_page->EditOpen();
    QCOMPARE(m_editor->wrapMode(), QsciScintilla::WrapWord);
    QCOMPARE(m_editor->eolMode(), QsciScintilla::EolUnix);
    m_scripted.openAnswer = largePath;
    m_page->EditOpen();
    QCOMPARE(m_editor->wrapMode(), QsciScintilla::WrapNone);
    m_editor->setWrapMode(QsciScintilla::WrapWord);
    m_scripted.openAnswer = smallPath;
    m_page->EditOpen();
    QCOMPARE(m_editor->wrapMode(), QsciScintilla::WrapWord);
    m_editor->setWrapMode(QsciScintilla::WrapNone);
    m_scripted.openAnswer = largePath;
    m_page->EditOpen();
    m_scripted.openAnswer = smallPath;
    m_page->EditOpen();
    QCOMPARE(m_editor->wrapMode(), QsciScintilla::WrapNone);
    QCOMPARE(m_scripted.messages, QStringList());
}

void TestSqlEditor::saveAndOpenKeepBytes()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("script.sql"));
    const QString text = QStringLiteral("select '\u00e9';\r\nselect 2;\r\n");
    m_editor->setText(text);
    m_scripted.saveAnswer = path;
    m_page->EditSave();
    QCOMPARE(m_page->fileName(), path);
    QVERIFY(!m_editor->isModified());
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), text.toUtf8());
    written.close();

    // A file that is not UTF-8 is written back byte for byte.
    const QString latinPath = dir.filePath(QStringLiteral("latin.sql"));
    const QByteArray latinBytes("select 'caf\xe9 \x80';\r\n");
    {
        QFile file(latinPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(latinBytes);
    }
    m_scripted.openAnswer = latinPath;
    m_page->EditOpen();
    QCOMPARE(m_scripted.messages, QStringList()); // the saved text was not modified
    QCOMPARE(m_page->fileName(), latinPath);
    QCOMPARE(m_editor->text(), QString::fromLatin1(latinBytes));
    const QString copyPath = dir.filePath(QStringLiteral("copy.sql"));
    m_scripted.saveAnswer = copyPath;
    m_page->EditSave();
    QFile copy(copyPath);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), latinBytes);

    // A missing file leaves text and name alone.
    m_scripted.openAnswer = dir.filePath(QStringLiteral("missing.sql"));
    m_page->EditOpen();
    QCOMPARE(m_scripted.messages.size(), 1);
    QVERIFY(m_scripted.messages.constFirst().contains(QStringLiteral("missing.sql")));
    QCOMPARE(m_page->fileName(), copyPath);
    QCOMPARE(m_editor->text(), QString::fromLatin1(latinBytes));
}

namespace {

// The bytes of a literal, zero bytes included, without its terminator.
template<size_t N>
QByteArray literalBytes(const char (&literal)[N])
{
    return QByteArray(literal, qsizetype(N - 1));
}

QByteArray utf16(const QString &text, bool littleEndian)
{
    QStringEncoder encoder(littleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    return QByteArray(littleEndian ? "\xff\xfe" : "\xfe\xff", 2) + QByteArray(encoder.encode(text));
}

} // namespace

void TestSqlEditor::filesWithZeroBytesKeepEveryByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QString script = QStringLiteral("update nul set x=1 \r\nwhere id=2;\r\n");
    QTest::newRow("zero byte inside a script")
        << literalBytes("update nul set x=1 \0where id=2;\r\nselect * from nul;\r\n")
        << QString::fromLatin1(literalBytes("update nul set x=1 \0where id=2;\r\nselect * from nul;\r\n"));
    QTest::newRow("zero byte first") << literalBytes("\0select 1;")
                                     << QString::fromLatin1(literalBytes("\0select 1;"));
    QTest::newRow("UTF-16 little-endian") << utf16(script, true) << script;
    QTest::newRow("UTF-16 big-endian") << utf16(QStringLiteral("select '\u00e9\u20ac';\n"), false)
                                       << QStringLiteral("select '\u00e9\u20ac';\n");
    QTest::newRow("UTF-16 without a mark stays bytes")
        << literalBytes("s\0e\0l\0e\0c\0t\0") << QString::fromLatin1(literalBytes("s\0e\0l\0e\0c\0t\0"));
    QTest::newRow("UTF-8 with a mark") << QByteArray("\xef\xbb\xbfselect '\xc3\xa9';\n")
                                       << QStringLiteral("select '\u00e9';\n");
    QTest::newRow("Latin-1 with a zero byte") << literalBytes("select 'caf\xe9\0';")
                                              << QString::fromLatin1(literalBytes("select 'caf\xe9\0';"));
    QTest::newRow("odd UTF-16 length is kept as bytes")
        << literalBytes("\xff\xfes\0e\0x") << QString::fromLatin1(literalBytes("\xff\xfes\0e\0x"));
}

void TestSqlEditor::filesWithZeroBytesKeepEveryByte()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("in.sql"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }
    m_scripted.openAnswer = path;
    m_page->EditOpen();
    QCOMPARE(m_scripted.messages, QStringList());
    // The whole text is in the editor, past any zero character, and the
    // script runner gets all of it.
    QCOMPARE(m_editor->wholeText(), text);
    QCOMPARE(m_page->scriptText(), text);
    QCOMPARE(m_editor->SendScintilla(QsciScintilla::SCI_GETLENGTH), long(text.toUtf8().size()));

    // Saved unchanged, the file comes back byte for byte; saved over itself
    // it is not destroyed either.
    const QString copyPath = dir.filePath(QStringLiteral("out.sql"));
    m_scripted.saveAnswer = copyPath;
    m_page->EditSave();
    QCOMPARE(m_scripted.messages, QStringList());
    QFile copy(copyPath);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), bytes);
    m_scripted.saveAnswer = path;
    m_page->EditSave();
    QFile same(path);
    QVERIFY(same.open(QIODevice::ReadOnly));
    QCOMPARE(same.readAll(), bytes);
}

void TestSqlEditor::pasteAndEditKeepZeroCharacters()
{
    m_editor->setWholeText(QStringLiteral("select ;"));
    m_editor->setCursorPosition(0, 7);
    const QString withZero = QString::fromUtf8("'a\0b'", 5);
    QGuiApplication::clipboard()->setText(withZero);
    m_page->paste();
    QCOMPARE(m_editor->wholeText(), QStringLiteral("select ") + withZero + QStringLiteral(";"));
    // The caret stands after the pasted text, as after any paste.
    int line, index;
    m_editor->getCursorPosition(&line, &index);
    QCOMPARE(index, 7 + 5);
    // Ctrl+V takes the same way.
    m_editor->setCursorPosition(0, 0);
    QTest::keyClick(m_editor, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(m_editor->wholeText(), withZero + QStringLiteral("select ") + withZero + QStringLiteral(";"));
    // Line ends of a paste follow the document's.
    m_editor->setEolMode(QsciScintilla::EolWindows);
    m_editor->setWholeText(QString());
    QGuiApplication::clipboard()->setText(QString::fromUtf8("a\0\nb", 4));
    m_page->paste();
    QCOMPARE(m_editor->wholeText(), QString::fromUtf8("a\0\r\nb", 5));
    // One undo takes the paste back.
    m_page->undo();
    QCOMPARE(m_editor->wholeText(), QString());

    // Case conversion of a selection that holds one keeps the rest.
    m_editor->setWholeText(QString::fromUtf8("select\0from t", 13));
    m_editor->selectAll();
    m_page->toUpperCase();
    QCOMPARE(m_editor->wholeText(), QString::fromUtf8("SELECT\0FROM T", 13));
    QCOMPARE(m_editor->selectedWholeText(), QString::fromUtf8("SELECT\0FROM T", 13));
    // Copy puts all of it on the clipboard.
    m_page->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8("SELECT\0FROM T", 13));
}

void TestSqlEditor::openCancelledKeepsDocument()
{
    m_editor->setText(QStringLiteral("select 1;"));
    m_editor->setModified(false);
    m_scripted.openAnswer = QString();
    m_page->EditOpen();
    QCOMPARE(m_page->fileName(), QStringLiteral("none.sql"));
    QCOMPARE(m_editor->text(), QStringLiteral("select 1;"));
}

void TestSqlEditor::lineNumberFontLeavesTextFont()
{
    // 13 and 11 pixels high on this screen.
    const QFont textFont = m_editor->textFont();
    QCOMPARE(qRound(textFont.pointSizeF() * m_editor->logicalDpiY() / 72.0), 13);
    QCOMPARE(qRound(m_editor->lineNumberFont().pointSizeF() * m_editor->logicalDpiY() / 72.0), 11);
    m_page->chooseLineNumberFont(); // the scripted dialog picks 17 points
    QCOMPARE(m_editor->lineNumberFont().pointSize(), 17);
    QCOMPARE(m_editor->textFont(), textFont);
    // What the editor draws with, not only what it remembers.
    const long gutterSize = m_editor->SendScintilla(QsciScintilla::SCI_STYLEGETSIZE, long(QsciScintilla::STYLE_LINENUMBER));
    const long textSize = m_editor->SendScintilla(QsciScintilla::SCI_STYLEGETSIZE, long(QsciScintilla::STYLE_DEFAULT));
    QVERIFY2(gutterSize > textSize, qPrintable(QStringLiteral("%1 %2").arg(gutterSize).arg(textSize)));
}

void TestSqlEditor::gotoLineBounds_data()
{
    QTest::addColumn<QStringList>("entries"); // typed one after the other, each with OK
    QTest::addColumn<int>("warnings");
    QTest::addColumn<int>("caretLine");       // from 0; -1: the dialog was cancelled

    QTest::newRow("lowest") << QStringList{"1"} << 0 << 0;
    QTest::newRow("middle") << QStringList{"5"} << 0 << 4;
    QTest::newRow("lines plus one") << QStringList{"11"} << 0 << 9;
    QTest::newRow("zero, then a line") << QStringList{"0", "3"} << 1 << 2;
    QTest::newRow("twelve, then a line") << QStringList{"12", "7"} << 1 << 6;
    QTest::newRow("not a number, empty") << QStringList{"abc", "", "2"} << 2 << 1;
}

void TestSqlEditor::gotoLineBounds()
{
    QFETCH(QStringList, entries);
    QFETCH(int, warnings);
    QFETCH(int, caretLine);

    QStringList lines;
    for (int i = 1; i <= 10; ++i)
        lines << QStringLiteral("select %1;").arg(i);
    m_editor->setText(lines.join(u'\n'));
    m_editor->setCursorPosition(3, 4);

    TGotoLineDialog *dialog = m_page->gotoDialog();
    QString shownValue;
    bool stayedOpen = true;
    QTimer::singleShot(0, this, [&] {
        shownValue = dialog->LineNumberBox->text();
        for (int i = 0; i < entries.size(); ++i) {
            dialog->LineNumberBox->setText(entries.at(i));
            QTest::keyClick(dialog->LineNumberBox, Qt::Key_Return);
            if (i + 1 < entries.size())
                stayedOpen = stayedOpen && dialog->isVisible();
        }
        if (dialog->isVisible())
            dialog->reject();
    });
    m_page->showGotoLine();

    QCOMPARE(shownValue, QStringLiteral("4"));
    QVERIFY(stayedOpen);
    QCOMPARE(dialog->lowest(), 1);
    QCOMPARE(dialog->highest(), 11);
    QCOMPARE(m_scripted.messages.size(), warnings);
    for (const QString &message : std::as_const(m_scripted.messages))
        QCOMPARE(message, QStringLiteral("Value must be between 1 and 11"));
    int line, index;
    m_editor->getCursorPosition(&line, &index);
    QCOMPARE(line, caretLine);
    QCOMPARE(index, 0);
    QVERIFY(!m_editor->hasSelectedText());
}

void TestSqlEditor::findNextAfterSelectedWord()
{
    m_editor->setText(QStringLiteral("select id from t where ID = 1 or id = 2"));
    m_editor->setSelection(0, 7, 0, 9); // the first "id"
    m_page->showFind();
    TEdFindDlg *find = m_page->findDialog();
    QVERIFY(find->isVisible());
    QCOMPARE(find->FindHistoryBox->currentText(), QStringLiteral("id"));
    QVERIFY(find->OkButton->isEnabled());

    int lineFrom, indexFrom, lineTo, indexTo;
    QTest::mouseClick(find->OkButton, Qt::LeftButton);
    m_editor->getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
    QCOMPARE(indexFrom, 23); // "ID": not case-sensitive
    QVERIFY(find->isVisible());

    find->CaseSensitiveBox->setChecked(true);
    QTest::mouseClick(find->OkButton, Qt::LeftButton);
    m_editor->getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
    QCOMPARE(indexFrom, 33);

    find->BackButton->setChecked(true);
    QTest::mouseClick(find->OkButton, Qt::LeftButton);
    m_editor->getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
    QCOMPARE(indexFrom, 7);
    QCOMPARE(m_scripted.messages, QStringList());

    // The OK enabling rule follows the text.
    find->FindHistoryBox->setEditText(QString());
    QVERIFY(!find->OkButton->isEnabled());
}

void TestSqlEditor::findRegularExpressions_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("matches"); // in order, from the start
    QTest::newRow("group") << "x([0-9])" << QStringList{"x1", "x2", "x3"};
    QTest::newRow("alternation") << "from|where" << QStringList{"from", "where"};
    QTest::newRow("counts") << "[0-9]{2,}" << QStringList{"22", "333"};
    QTest::newRow("one or more") << "x[0-9]+" << QStringList{"x1", "x22", "x333"};
    QTest::newRow("optional") << "colou?r" << QStringList{"color", "colour"};
    QTest::newRow("class shorthand") << "\\d\\d\\d" << QStringList{"333"};
    QTest::newRow("broken pattern finds nothing") << "x([0-9]" << QStringList{};
}

void TestSqlEditor::findRegularExpressions()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, matches);
    m_editor->setText(QStringLiteral("select x1, x22 from t where color = x333 or colour"));
    m_editor->setCursorPosition(0, 0);
    m_page->showFind();
    TEdFindDlg *find = m_page->findDialog();
    find->FindHistoryBox->setEditText(pattern);
    find->RegularExpressionsBox->setChecked(true);
    QStringList found;
    while (find->findNext() && found.size() <= matches.size())
        found << m_editor->selectedText();
    QCOMPARE(found, matches);
    // The search ends with the "not found" message after the last match.
    QCOMPARE(m_scripted.messages, QStringList{QLatin1Char('"') + pattern + QStringLiteral("\" not found")});
}

void TestSqlEditor::replaceWithRegularExpressionGroups()
{
    m_editor->setText(QStringLiteral("x1 x22 y3"));
    m_page->showReplace();
    TEdReplDlg *replace = m_page->replaceDialog();
    replace->FindHistoryBox->setEditText(QStringLiteral("(x|y)([0-9]+)"));
    replace->ReplHistoryBox->setEditText(QStringLiteral("\\2\\1"));
    replace->RegularExpressionsBox->setChecked(true);
    QCOMPARE(replace->replaceAll(), 3);
    QCOMPARE(m_editor->text(), QStringLiteral("1x 22x 3y"));
}

void TestSqlEditor::findNotFound()
{
    m_editor->setText(QStringLiteral("select 1 from dual"));
    m_editor->setSelection(0, 0, 0, 6);
    m_page->showFind();
    TEdFindDlg *find = m_page->findDialog();
    find->FindHistoryBox->setEditText(QStringLiteral("customers"));
    QVERIFY(!find->findNext());
    QCOMPARE(m_scripted.messages, QStringList{QStringLiteral("\"customers\" not found")});
    QCOMPARE(m_editor->selectedText(), QStringLiteral("select"));
    QCOMPARE(find->FindHistoryBox->itemText(0), QStringLiteral("customers"));
}

void TestSqlEditor::findHistoryOnOpen()
{
    m_editor->setText(QStringLiteral("abc"));
    m_page->showFind();
    TEdFindDlg *find = m_page->findDialog();
    QCOMPARE(find->FindHistoryBox->count(), 1);
    QCOMPARE(find->FindHistoryBox->itemText(0), QString());
    QVERIFY(!find->OkButton->isEnabled());
    find->reject();

    m_page->showReplace();
    TEdReplDlg *replace = m_page->replaceDialog();
    QCOMPARE(replace->FindHistoryBox->count(), 0);
    QVERIFY(!replace->ReplaceAllButton->isEnabled());
    replace->FindHistoryBox->setEditText(QStringLiteral("b"));
    QVERIFY(replace->ReplaceAllButton->isEnabled());

    // Reopening resets the options but keeps the history.
    replace->CaseSensitiveBox->setChecked(true);
    replace->BackButton->setChecked(true);
    replace->PromptBox->setChecked(true);
    replace->replaceAll();
    replace->reject();
    m_editor->setSelection(0, 0, 0, 1);
    m_page->showReplace();
    QVERIFY(!replace->CaseSensitiveBox->isChecked());
    QVERIFY(replace->ForwardButton->isChecked());
    QVERIFY(replace->PromptBox->isChecked());
    QCOMPARE(replace->FindHistoryBox->count(), 2);
    QCOMPARE(replace->FindHistoryBox->currentText(), QStringLiteral("a"));
}

void TestSqlEditor::replaceAllUndoneInOneStep()
{
    const QString original = QStringLiteral("select a from t;\nupdate t set a = a + 1;\n-- a\n");
    m_editor->setText(original);
    m_editor->SendScintilla(QsciScintilla::SCI_EMPTYUNDOBUFFER);
    m_editor->setCursorPosition(2, 0);
    m_page->showReplace();
    TEdReplDlg *replace = m_page->replaceDialog();
    replace->FindHistoryBox->setEditText(QStringLiteral("a"));
    replace->ReplHistoryBox->setEditText(QStringLiteral("aa"));
    replace->WholeWordsBox->setChecked(true);
    replace->BackButton->setChecked(true); // "all" still means the whole text
    QTest::mouseClick(replace->ReplaceAllButton, Qt::LeftButton);
    QCOMPARE(m_editor->text(), QStringLiteral("select aa from t;\nupdate t set aa = aa + 1;\n-- aa\n"));
    QVERIFY(replace->PromptBox->isEnabled());
    QCOMPARE(m_scripted.messages, QStringList());
    m_page->undo();
    QCOMPARE(m_editor->text(), original);
    QVERIFY(!m_editor->isUndoAvailable());
}

void TestSqlEditor::replaceAllWithPrompt_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("questions");

    const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel;
    QTest::newRow("No to every question") << QList<int>{no, no, no} << "x x x" << 3;
    QTest::newRow("Cancel at the second keeps the first") << QList<int>{yes, cancel} << "yy x x" << 2;
    QTest::newRow("Yes, No, Yes") << QList<int>{yes, no, yes} << "yy x yy" << 3;
}

void TestSqlEditor::replaceAllWithPrompt()
{
    QFETCH(QList<int>, answers);
    QFETCH(QString, expected);
    QFETCH(int, questions);

    m_editor->setText(QStringLiteral("x x x"));
    for (int answer : answers)
        m_scripted.answers.append(QMessageBox::StandardButton(answer));
    m_page->showReplace();
    TEdReplDlg *replace = m_page->replaceDialog();
    replace->FindHistoryBox->setEditText(QStringLiteral("x"));
    replace->ReplHistoryBox->setEditText(QStringLiteral("yy"));
    replace->PromptBox->setChecked(true);
    replace->replaceAll();
    QCOMPARE(m_editor->text(), expected);
    QCOMPARE(m_scripted.messages.size(), questions);
    QCOMPARE(m_scripted.messages.constFirst(), QStringLiteral("Replace this instance of \"x\" with \"yy\" ?"));
    QVERIFY(replace->PromptBox->isChecked());
}

void TestSqlEditor::replaceOneWithPrompt_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Yes") << int(QMessageBox::Yes) << "x yy x";
    QTest::newRow("No") << int(QMessageBox::No) << "x x x";
    QTest::newRow("Cancel") << int(QMessageBox::Cancel) << "x x x";
}

void TestSqlEditor::replaceOneWithPrompt()
{
    QFETCH(int, answer);
    QFETCH(QString, expected);

    m_editor->setText(QStringLiteral("x x x"));
    m_editor->setSelection(0, 0, 0, 1); // the selected match is passed over
    m_page->showReplace();
    TEdReplDlg *replace = m_page->replaceDialog();
    replace->ReplHistoryBox->setEditText(QStringLiteral("yy"));
    replace->PromptBox->setChecked(true);
    m_scripted.answers = {QMessageBox::StandardButton(answer)};
    QVERIFY(replace->replaceNext());
    QCOMPARE(m_editor->text(), expected);
    QCOMPARE(m_scripted.messages.size(), 1);
}

void TestSqlEditor::popupMenu()
{
    QStringList captions;
    QList<QAction *> actions = m_page->popupMenu()->actions();
    for (QAction *action : std::as_const(actions))
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(captions, (QStringList{"&Word wrap", "-", "&Cut", "&Copy", "&Paste", "Delete", "Select all", "-",
                                    "Toggle bookmark", "Goto bookmark", "-", "Properties..."}));
    QVERIFY(actions.at(0)->menu() == nullptr && !actions.at(0)->isCheckable());

    // Word wrap switches off and on again.
    QCOMPARE(m_editor->wrapMode(), QsciScintilla::WrapWord);
    actions.at(0)->trigger();
    QCOMPARE(m_editor->wrapMode(), QsciScintilla::WrapNone);
    actions.at(0)->trigger();
    QCOMPARE(m_editor->wrapMode(), QsciScintilla::WrapWord);

    // Delete takes the selection only; Select all selects everything.
    m_editor->setText(QStringLiteral("abc def"));
    m_editor->setCursorPosition(0, 2);
    actions.at(5)->trigger();
    QCOMPARE(m_editor->text(), QStringLiteral("abc def"));
    m_editor->setSelection(0, 3, 0, 7);
    actions.at(5)->trigger();
    QCOMPARE(m_editor->text(), QStringLiteral("abc"));
    actions.at(6)->trigger();
    QCOMPARE(m_editor->selectedText(), QStringLiteral("abc"));
}

void TestSqlEditor::commandState()
{
    QSignalSpy spy(m_page, &SqlEditorPage::commandStateChanged);
    QTest::keyClicks(m_editor, QStringLiteral("select 1"));
    m_editor->setSelection(0, 0, 0, 6);
    QVERIFY(!spy.isEmpty());
    QCOMPARE(spy.last().at(0).toBool(), false); // redo
    QCOMPARE(spy.last().at(2).toBool(), true);  // selection
    m_page->undo();
    QCOMPARE(spy.last().at(0).toBool(), true);
    QCOMPARE(spy.last().at(2).toBool(), false);

    // Paste follows the clipboard: on only while it holds text.
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    QCOMPARE(spy.last().at(1).toBool(), false);
    QVERIFY(!m_editor->canPaste());
    clipboard->setText(QStringLiteral("x"));
    QCOMPARE(spy.last().at(1).toBool(), true);
    auto *image = new QMimeData;
    image->setData(QStringLiteral("image/png"), QByteArray("\x89PNG", 4));
    clipboard->setMimeData(image);
    QCOMPARE(spy.last().at(1).toBool(), false);
    clipboard->setText(QString());
    QCOMPARE(spy.last().at(1).toBool(), false);
    clipboard->setText(QStringLiteral("y"));
    QCOMPARE(spy.last().at(1).toBool(), true);
    // A read-only text takes no paste, whatever the clipboard holds.
    m_editor->setReadOnly(true);
    QCOMPARE(spy.last().at(1).toBool(), false);
    m_editor->setReadOnly(false);
    QCOMPARE(spy.last().at(1).toBool(), true);
}

void TestSqlEditor::propertiesDialog()
{
    EditorPropertiesDialog dialog(m_editor, &m_page->prompts());
    QVERIFY(!dialog.ApplyButton->isEnabled());
    QCOMPARE(dialog.TabWidthBox->value(), 4);
    QCOMPARE(dialog.RightMarginBox->value(), 80);

    dialog.TabWidthBox->setValue(8);
    QVERIFY(dialog.ApplyButton->isEnabled());
    dialog.reject(); // Cancel only closes
    QCOMPARE(m_editor->tabWidth(), 4);

    EditorPropertiesDialog second(m_editor, &m_page->prompts());
    second.TabWidthBox->setValue(2);
    second.RightMarginBox->setValue(100);
    second.LineNumbersBox->setChecked(false);
    second.FontButton->click(); // the scripted font dialog picks 17 points
    second.apply();
    QVERIFY(!second.ApplyButton->isEnabled());
    QCOMPARE(m_editor->tabWidth(), 2);
    QCOMPARE(m_editor->edgeColumn(), 100);
    QCOMPARE(m_editor->marginWidth(SqlEditor::LineNumberMargin), 0);
    QCOMPARE(m_editor->textFont().pointSize(), 17);
    // A new text font leaves the line numbers' font alone.
    QCOMPARE(qRound(m_editor->lineNumberFont().pointSizeF() * m_editor->logicalDpiY() / 72.0), 11);
    second.WordWrapBox->setChecked(false);
    second.accept(); // OK applies, too
    QCOMPARE(m_editor->wrapMode(), QsciScintilla::WrapNone);
}

void TestSqlEditor::copyPlainAndRichText()
{
    m_editor->setText(QStringLiteral("SELECT '<\u00e9>' -- note\r\nFROM t"));
    m_editor->selectAll();
    QTest::keyClick(m_editor, Qt::Key_C, Qt::ControlModifier);
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data);
    QCOMPARE(data->text(), m_editor->text());
    QVERIFY(data->hasHtml());
    const QString html = data->html();
    // Keyword, string and comment each in their highlighting colour.
    auto *lexer = m_editor->lexer();
    const QString keyword = QStringLiteral("<span style=\"color:%1\">SELECT</span>")
                                .arg(lexer->color(int(m_editor->SendScintilla(QsciScintilla::SCI_GETSTYLEAT, 0L))).name());
    QVERIFY2(html.contains(keyword), qPrintable(html));
    QVERIFY(html.contains(QStringLiteral("&lt;\u00e9&gt;")));
    QVERIFY(html.contains(QStringLiteral("-- note")));

    QTest::keyClick(m_editor, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(m_editor->text(), QString());
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->text(), QStringLiteral("SELECT '<\u00e9>' -- note\r\nFROM t"));
}

QTEST_MAIN(TestSqlEditor)
#include "tst_sqleditor.moc"

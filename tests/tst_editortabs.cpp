#include "data/settingsstore.h"
#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"
#include "editor/sqleditortabs.h"
#include "shell/mainwindow.h"
#include "tests/modalhelper.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <cstdio>
#include <memory>

#include <signal.h>

// The editor's tabs in the main window: the tab commands, the file and
// editing commands on the current tab, and the tabs kept in the data folder
// (after a normal end and after the process was killed).

namespace {

// Set in the environment of the child process that writes a tab and waits to
// be killed; holds the data folder.
const char ChildVariable[] = "QUARNEL_TEST_AUTOSAVE_CHILD";

// Answers the editor's questions from a queue and records what was asked.
struct ScriptedPrompts
{
    QStringList messages;
    QList<QMessageBox::StandardButton> answers;
    QString saveAnswer;
    QString openAnswer;
    int fontSize = 0; // the font dialog's answer; 0: cancelled

    EditorPrompts prompts()
    {
        EditorPrompts p = EditorPrompts::standard();
        p.message = [this](QWidget *, QMessageBox::Icon, const QString &text, QMessageBox::StandardButtons) {
            messages.append(text);
            return answers.isEmpty() ? QMessageBox::Cancel : answers.takeFirst();
        };
        p.saveFileName = [this](QWidget *, const QString &, const QString &, const QString &) {
            return saveAnswer;
        };
        p.openFileName = [this](QWidget *, const QString &, const QString &, const QString &) {
            return openAnswer;
        };
        p.chooseFont = [this](QWidget *, QFont *font) {
            if (fontSize > 0)
                font->setPointSize(fontSize);
            return fontSize > 0;
        };
        return p;
    }
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList captions(SqlEditorTabs *tabs)
{
    QStringList list;
    for (int i = 0; i < tabs->count(); ++i)
        list << tabs->tabCaption(i);
    return list;
}

// The child: a window on the data folder, two tabs typed into, and nothing
// saved on purpose. Once the tabs have been written on their own it says
// "saved" and waits to be killed.
int runAutosaveChild()
{
    const QString folder = qEnvironmentVariable(ChildVariable);
    SettingsStore store(folder + QStringLiteral("/Quarnel2.conf"));
    TFormMain window(&store);
    window.openDataFolder(folder + QStringLiteral("/data"));
    window.SetSessionCommands(true);
    window.show();
    SqlEditorTabs *tabs = window.sqlEditorTabs();
    QTest::keyClicks(tabs->currentPage()->editor(), QStringLiteral("select 'first tab';"));
    window.action(QStringLiteral("EditNewTab"))->trigger();
    QTest::keyClicks(tabs->currentPage()->editor(), QStringLiteral("select 'second tab';"));
    QObject::connect(tabs, &SqlEditorTabs::sessionSaved, &window, [] {
        std::fputs("saved\n", stdout);
        std::fflush(stdout);
    });
    return QApplication::exec();
}

} // namespace

class TestEditorTabs : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TFormMain> makeWindow(const QString &dataFolder = QString())
    {
        m_windowStore = std::make_unique<SettingsStore>(m_dir->filePath(QStringLiteral("Quarnel2.conf")));
        auto window = std::make_unique<TFormMain>(m_windowStore.get());
        window->SetSessionCommands(true);
        if (!dataFolder.isEmpty())
            window->openDataFolder(dataFolder);
        window->sqlEditorTabs()->setPrompts(m_scripted.prompts());
        return window;
    }
    // Closes the window as the user does: "Application close ?" Yes.
    bool closeWindow(TFormMain *window)
    {
        answerMessageBox(QMessageBox::Yes);
        return window->close();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_windowStore;
    ScriptedPrompts m_scripted;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_scripted = ScriptedPrompts();
    }
    void cleanup()
    {
        cancelPendingAnswers();
        m_windowStore.reset();
    }

    void tabCommandsAndKeys()
    {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->showPage(QStringLiteral("Active SQL"), QStringLiteral("SQL Query"));
        SqlEditorTabs *tabs = window->sqlEditorTabs();
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(window->action(QStringLiteral("EditNewTab"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+T")));
        QCOMPARE(window->action(QStringLiteral("EditCloseTab"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+W")));

        // Ctrl+T in the editor opens a tab of its own and goes there.
        SqlEditorPage *first = tabs->currentPage();
        QTest::keyClicks(first->editor(), QStringLiteral("select 1"));
        QTest::keyClick(first->editor(), Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(tabs->count(), 2);
        SqlEditorPage *second = tabs->currentPage();
        QVERIFY(second != first);
        QCOMPARE(window->sqlEditor(), second);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(second->editor()));
        QTest::keyClicks(second->editor(), QStringLiteral("select 2"));
        QCOMPARE(first->scriptText(), QStringLiteral("select 1"));
        QCOMPARE(second->scriptText(), QStringLiteral("select 2"));
        QCOMPARE(captions(tabs), (QStringList{"none.sql *", "none.sql *"}));
        window->action(QStringLiteral("EditNewTab"))->trigger();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(captions(tabs).last(), QStringLiteral("none.sql"));

        // Switching from the editor's focus, round the ends too.
        const struct
        {
            int key;
            Qt::KeyboardModifiers modifiers;
            int index;
        } keys[] = {
            {Qt::Key_Tab, Qt::ControlModifier, 0},
            {Qt::Key_PageDown, Qt::ControlModifier, 1},
            {Qt::Key_PageUp, Qt::ControlModifier, 0},
            {Qt::Key_PageUp, Qt::ControlModifier, 2},
            {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 1},
        };
        for (const auto &step : keys) {
            QWidget *focus = QApplication::focusWidget();
            QVERIFY(focus);
            QTest::keyClick(focus, Qt::Key(step.key), step.modifiers);
            QCOMPARE(tabs->currentIndex(), step.index);
            QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(tabs->currentPage()->editor()));
        }
        // Elsewhere Ctrl+Tab is not the editor's.
        window->treeView()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window->treeView()));
        QTest::keyClick(window->treeView(), Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), 1);

        // Closing a tab with unsaved text asks; Cancel keeps it, No drops it.
        m_scripted.answers = {QMessageBox::Cancel, QMessageBox::No};
        window->action(QStringLiteral("EditCloseTab"))->trigger();
        QCOMPARE(m_scripted.messages, QStringList{"Save changes to none.sql?"});
        QCOMPARE(tabs->count(), 3);
        window->action(QStringLiteral("EditCloseTab"))->trigger();
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->page(0), first);
        // An empty tab closes without a question; the last one gives way to
        // a new empty tab.
        tabs->setCurrentIndex(1);
        m_scripted.messages.clear();
        window->action(QStringLiteral("EditCloseTab"))->trigger();
        QCOMPARE(m_scripted.messages, QStringList());
        QCOMPARE(tabs->count(), 1);
        m_scripted.answers = {QMessageBox::No};
        window->action(QStringLiteral("EditCloseTab"))->trigger();
        QCOMPARE(tabs->count(), 1);
        QVERIFY(tabs->currentPage() != first);
        QCOMPARE(tabs->currentPage()->scriptText(), QString());
        QCOMPARE(captions(tabs), QStringList{"none.sql"});
    }

    void fileCommandsActOnTheCurrentTab()
    {
        auto window = makeWindow();
        SqlEditorTabs *tabs = window->sqlEditorTabs();
        SqlEditorPage *first = tabs->currentPage();
        first->editor()->setText(QStringLiteral("select 1;"));
        SqlEditorPage *second = tabs->newTab();
        second->editor()->setText(QStringLiteral("select 2;\nselect 22;"));

        // Save names the current tab only.
        const QString b = m_dir->filePath(QStringLiteral("b.sql"));
        m_scripted.saveAnswer = b;
        window->action(QStringLiteral("EditSave"))->trigger();
        QCOMPARE(readFile(b), QByteArray("select 2;\nselect 22;"));
        QCOMPARE(second->fileName(), b);
        QCOMPARE(first->fileName(), QStringLiteral("none.sql"));
        QCOMPARE(captions(tabs), (QStringList{"none.sql *", "b.sql"}));
        second->editor()->append(QStringLiteral(" -- more"));
        QCOMPARE(captions(tabs), (QStringList{"none.sql *", "b.sql *"}));

        // Open goes into the current tab, after the question about its text.
        const QString a = m_dir->filePath(QStringLiteral("a.sql"));
        QVERIFY(writeFile(a, "select 'from a';"));
        tabs->setCurrentIndex(0);
        m_scripted.openAnswer = a;
        m_scripted.answers = {QMessageBox::No};
        window->action(QStringLiteral("EditOpen"))->trigger();
        QCOMPARE(m_scripted.messages, QStringList{"Save changes to none.sql?"});
        QCOMPARE(first->scriptText(), QStringLiteral("select 'from a';"));
        QCOMPARE(second->scriptText(), QStringLiteral("select 2;\nselect 22; -- more"));
        QCOMPARE(captions(tabs), (QStringList{"a.sql", "b.sql *"}));

        // The status bar and the editing commands follow the current tab.
        second->editor()->setCursorPosition(1, 3);
        first->editor()->setCursorPosition(0, 5);
        QCOMPARE(window->statusPanel(2)->text(), QStringLiteral("     1:   6"));
        tabs->setCurrentIndex(1);
        QCOMPARE(window->statusPanel(2)->text(), QStringLiteral("     2:   4"));
        second->editor()->setSelection(0, 0, 0, 6);
        window->action(QStringLiteral("server_upper"))->trigger();
        QCOMPARE(second->scriptText(), QStringLiteral("SELECT 2;\nselect 22; -- more"));
        QCOMPARE(first->scriptText(), QStringLiteral("select 'from a';"));
        // Fonts and properties are the editor's: every tab takes them, and
        // a new tab starts with them.
        m_scripted.fontSize = 17;
        window->action(QStringLiteral("server_font"))->trigger();
        QCOMPARE(second->editor()->lineNumberFont().pointSize(), 17);
        QCOMPARE(first->editor()->lineNumberFont().pointSize(), 17);
        first->toggleWordWrap();
        QCOMPARE(second->editor()->wrapMode(), first->editor()->wrapMode());
        SqlEditorPage *third = tabs->newTab();
        QCOMPARE(third->editor()->lineNumberFont().pointSize(), 17);
        QCOMPARE(third->editor()->wrapMode(), first->editor()->wrapMode());
        tabs->setCurrentIndex(1);
        // New clears the current tab only (after its question).
        m_scripted.answers = {QMessageBox::No};
        window->action(QStringLiteral("EditNew"))->trigger();
        QCOMPARE(second->scriptText(), QString());
        QCOMPARE(first->scriptText(), QStringLiteral("select 'from a';"));
    }

    void tabsComeBackAtTheNextStart()
    {
        const QString data = m_dir->filePath(QStringLiteral("data"));
        const QString a = m_dir->filePath(QStringLiteral("a.sql"));
        const QString b = m_dir->filePath(QStringLiteral("b.sql"));
        QVERIFY(writeFile(a, "select 'a on disk';"));
        QVERIFY(writeFile(b, "select 'b on disk';"));
        {
            auto window = makeWindow(data);
            SqlEditorTabs *tabs = window->sqlEditorTabs();
            tabs->currentPage()->editor()->setText(QString::fromUtf8("select 'draft';\n-- \xe2\x82\xac"));
            SqlEditorPage *fileA = tabs->newTab();
            QVERIFY(fileA->loadDocument(a));
            SqlEditorPage *fileB = tabs->newTab();
            QVERIFY(fileB->loadDocument(b));
            fileB->editor()->setText(QStringLiteral("select 'b changed';"));
            fileB->editor()->setCursorPosition(0, 7);
            tabs->setCurrentIndex(2);
            // Closing asks about the changed file only, and writes nothing to
            // it on No; the draft needs no question.
            m_scripted.answers = {QMessageBox::No};
            QVERIFY(closeWindow(window.get()));
            QCOMPARE(m_scripted.messages, QStringList{"Save changes to " + b + "?"});
            QCOMPARE(readFile(b), QByteArray("select 'b on disk';"));
        }
        // The unchanged file is read again at the start: its newer text shows.
        QVERIFY(writeFile(a, "select 'a changed on disk';"));
        m_scripted.messages.clear();
        auto window = makeWindow(data);
        SqlEditorTabs *tabs = window->sqlEditorTabs();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->page(0)->scriptText(), QString::fromUtf8("select 'draft';\n-- \xe2\x82\xac"));
        QCOMPARE(tabs->page(0)->fileName(), QStringLiteral("none.sql"));
        QCOMPARE(tabs->page(1)->scriptText(), QStringLiteral("select 'a changed on disk';"));
        QCOMPARE(tabs->page(1)->fileName(), a);
        QVERIFY(!tabs->page(1)->isModified());
        QCOMPARE(tabs->page(2)->scriptText(), QStringLiteral("select 'b changed';"));
        QCOMPARE(tabs->page(2)->fileName(), b);
        QVERIFY(tabs->page(2)->isModified());
        QCOMPARE(captions(tabs), (QStringList{"none.sql *", "a.sql", "b.sql *"}));
        QCOMPARE(tabs->currentIndex(), 2);
        QCOMPARE(window->sqlEditor()->caretText(), QStringLiteral("     1:   8"));
        // The restored change is still unsaved: the question stays, and Yes
        // writes the kept text to its file.
        m_scripted.answers = {QMessageBox::Yes};
        m_scripted.saveAnswer = b;
        QVERIFY(closeWindow(window.get()));
        QCOMPARE(m_scripted.messages, QStringList{"Save changes to " + b + "?"});
        QCOMPARE(readFile(b), QByteArray("select 'b changed';"));
    }

    void cancelledCloseKeepsTheWindow()
    {
        const QString data = m_dir->filePath(QStringLiteral("data"));
        const QString b = m_dir->filePath(QStringLiteral("b.sql"));
        QVERIFY(writeFile(b, "x"));
        auto window = makeWindow(data);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        SqlEditorPage *page = window->sqlEditor();
        QVERIFY(page->loadDocument(b));
        page->editor()->setText(QStringLiteral("y"));
        m_scripted.answers = {QMessageBox::Cancel};
        QSignalSpy closing(window.get(), &TFormMain::aboutToClose);
        QVERIFY(!closeWindow(window.get()));
        QVERIFY(window->isVisible());
        QCOMPARE(closing.size(), 0);
        QCOMPARE(page->scriptText(), QStringLiteral("y"));
    }

    void secondInstanceKeepsItsOwnTabs()
    {
        const QString data = m_dir->filePath(QStringLiteral("data"));
        auto first = makeWindow(data);
        first->sqlEditor()->editor()->setText(QStringLiteral("select 'first window';"));
        QVERIFY(first->sqlEditorTabs()->saveSession());
        // A second instance on the same data folder neither shows nor
        // overwrites the first one's tabs.
        auto store = std::move(m_windowStore);
        auto second = makeWindow(data);
        SqlEditorTabs *tabs = second->sqlEditorTabs();
        QCOMPARE(tabs->sessionFolder(), data + QStringLiteral("/editor-2"));
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(tabs->currentPage()->scriptText(), QString());
        tabs->currentPage()->editor()->setText(QStringLiteral("select 'second window';"));
        QVERIFY(tabs->saveSession());
        second.reset();
        QVERIFY(first->sqlEditorTabs()->saveSession());
        first.reset();
        store.reset();

        // The next start shows both, and the second folder is gone.
        auto next = makeWindow(data);
        tabs = next->sqlEditorTabs();
        QCOMPARE(tabs->sessionFolder(), data + QStringLiteral("/editor"));
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->page(0)->scriptText(), QStringLiteral("select 'first window';"));
        QCOMPARE(tabs->page(1)->scriptText(), QStringLiteral("select 'second window';"));
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(!QFileInfo::exists(data + QStringLiteral("/editor-2")));
        // A change still waiting for its moment is written when the window
        // goes without the close question.
        tabs->page(1)->editor()->append(QStringLiteral(" -- last words"));
        next.reset();
        auto again = makeWindow(data);
        QCOMPARE(again->sqlEditorTabs()->count(), 2);
        QCOMPARE(again->sqlEditorTabs()->page(1)->scriptText(), QStringLiteral("select 'second window'; -- last words"));
    }

    void autosaveSurvivesAKilledProcess()
    {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(ChildVariable), m_dir->path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QByteArray said;
        QDeadlineTimer deadline(30000);
        while (!said.contains("saved\n") && !deadline.hasExpired() && child.state() == QProcess::Running) {
            child.waitForReadyRead(200);
            said += child.readAllStandardOutput();
        }
        QVERIFY2(said.contains("saved\n"), said.constData());
        // No chance to save anything more.
        QCOMPARE(::kill(pid_t(child.processId()), SIGKILL), 0);
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const QString data = m_dir->filePath(QStringLiteral("data"));
        auto window = makeWindow(data);
        SqlEditorTabs *tabs = window->sqlEditorTabs();
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->page(0)->scriptText(), QStringLiteral("select 'first tab';"));
        QCOMPARE(tabs->page(1)->scriptText(), QStringLiteral("select 'second tab';"));
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(captions(tabs), (QStringList{"none.sql *", "none.sql *"}));
        // Kept for the owner's eyes only.
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        const QString folder = window->sqlEditorTabs()->sessionFolder();
        QCOMPARE(QFile::permissions(folder) & others, QFileDevice::Permissions());
        const QStringList files = QDir(folder).entryList(QDir::Files);
        QVERIFY(files.size() >= 3); // the index and the two texts
        for (const QString &file : files)
            QVERIFY2((QFile::permissions(folder + QLatin1Char('/') + file) & others) == 0, qPrintable(file));
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(ChildVariable))
        return runAutosaveChild();
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestEditorTabs test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_editortabs.moc"

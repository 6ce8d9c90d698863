#pragma once

#include <QDialog>
#include <QMessageBox>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QGridLayout;
class QPushButton;
class QRadioButton;
class QVBoxLayout;
class SqlEditor;
struct EditorPrompts;

// Search options as one set of flags per request.
enum SearchFlag : int {
    SearchSilent = 8, // from the caret or selection, without a dialog of the editor
    SearchCaseSensitive = 16,
    SearchRegularExpression = 32,
    SearchWholeWords = 64,
    SearchBackwards = 128,
};

// What the find and the replace dialog share: the find history, the options
// and direction boxes, the editor they work on. Both are modeless, stay on
// top, and keep their histories for the whole run.
class SearchDialogBase : public QDialog
{
    Q_OBJECT

public:
    void setPrompts(const EditorPrompts *prompts) { m_prompts = prompts; }
    SqlEditor *editor() const { return m_editor; }

    int flags() const;
    void setFlags(int flags);

    QComboBox *FindHistoryBox = nullptr;
    QCheckBox *CaseSensitiveBox = nullptr;
    QCheckBox *WholeWordsBox = nullptr;
    QCheckBox *RegularExpressionsBox = nullptr;
    QRadioButton *ForwardButton = nullptr;
    QRadioButton *BackButton = nullptr;
    QPushButton *OkButton = nullptr;

protected:
    SearchDialogBase(const QString &caption, QWidget *parent);

    // Shows the dialog on editor with the option boxes set from flags.
    void openOn(SqlEditor *editor, int flags);
    // Adds the initial text to the find history when missing and selects it.
    void selectInitialText(const QString &initialText);
    // A repeated search starts after the current match: when the selection
    // is the search text, the caret goes one character past its start,
    // which drops the selection.
    void stepPastSelectedMatch(const QString &searchText, bool caseSensitive);
    // The editor's search (flags as above) from position; a match is
    // selected.
    bool searchFrom(int position, const QString &text, int flags);
    // From the caret forwards, from the selection's start backwards.
    bool searchNext(const QString &text, int flags);
    static void remember(QComboBox *history, const QString &text);
    void showNotFound(const QString &text);
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons);
    virtual void updateButtons();

    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

    QVBoxLayout *m_layout = nullptr;
    QGridLayout *m_textLayout = nullptr;
    QVBoxLayout *m_optionsLayout = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    SqlEditor *m_editor = nullptr;
    const EditorPrompts *m_prompts = nullptr;
};

// "Find text...": OK searches and leaves the dialog open.
class TEdFindDlg : public SearchDialogBase
{
    Q_OBJECT

public:
    explicit TEdFindDlg(QWidget *parent = nullptr);

    // Opens modelessly with initialText added to the history and selected.
    void execute(SqlEditor *editor, const QString &initialText, int flags = 0);

public Q_SLOTS:
    // "OK": the next match is selected, or the "not found" message shown.
    bool findNext();
};

// "Find and replace text...": OK replaces the next match, "Replace All"
// every match as one undo step.
class TEdReplDlg : public SearchDialogBase
{
    Q_OBJECT

public:
    explicit TEdReplDlg(QWidget *parent = nullptr);

    void execute(SqlEditor *editor, const QString &initialText, int flags = 0);

    QComboBox *ReplHistoryBox = nullptr;
    QCheckBox *PromptBox = nullptr;
    QPushButton *ReplaceAllButton = nullptr;

public Q_SLOTS:
    // "OK"; returns whether a match was found.
    bool replaceNext();
    // "Replace All"; returns the number of replacements.
    int replaceAll();

protected:
    void updateButtons() override;

private:
    QString promptText(const QString &searchText, const QString &replacement) const;
};

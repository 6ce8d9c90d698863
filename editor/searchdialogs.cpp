#include "editor/searchdialogs.h"
#include "dialogs/placement.h"
#include "editor/editorprompts.h"
#include "editor/sqleditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

SearchDialogBase::SearchDialogBase(const QString &caption, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(caption);
    setModal(false);

    FindHistoryBox = new QComboBox(this);
    FindHistoryBox->setObjectName(QStringLiteral("FindHistoryBox"));
    FindHistoryBox->setEditable(true);
    FindHistoryBox->setInsertPolicy(QComboBox::NoInsert); // the history is kept by hand
    FindHistoryBox->setMinimumContentsLength(30);
    auto *findLabel = new QLabel(tr("&Text to find"), this);
    findLabel->setBuddy(FindHistoryBox);

    m_textLayout = new QGridLayout;
    m_textLayout->addWidget(findLabel, 0, 0);
    m_textLayout->addWidget(FindHistoryBox, 0, 1);

    auto *options = new QGroupBox(tr("Options"), this);
    m_optionsLayout = new QVBoxLayout(options);
    CaseSensitiveBox = new QCheckBox(tr("&Case sensitive"), options);
    WholeWordsBox = new QCheckBox(tr("&Whole words"), options);
    RegularExpressionsBox = new QCheckBox(tr("&Regular expressions"), options);
    m_optionsLayout->addWidget(CaseSensitiveBox);
    m_optionsLayout->addWidget(WholeWordsBox);
    m_optionsLayout->addWidget(RegularExpressionsBox);

    auto *direction = new QGroupBox(tr("Direction"), this);
    auto *directionLayout = new QVBoxLayout(direction);
    ForwardButton = new QRadioButton(tr("Forwar&d"), direction);
    BackButton = new QRadioButton(tr("&Back"), direction);
    directionLayout->addWidget(ForwardButton);
    directionLayout->addWidget(BackButton);
    directionLayout->addStretch();
    ForwardButton->setChecked(true);

    auto *groups = new QHBoxLayout;
    groups->addWidget(options);
    groups->addWidget(direction);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    OkButton = m_buttons->button(QDialogButtonBox::Ok);
    OkButton->setText(tr("OK"));
    OkButton->setDefault(true);
    m_buttons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    m_layout = new QVBoxLayout(this);
    m_layout->addLayout(m_textLayout);
    m_layout->addLayout(groups);
    m_layout->addWidget(m_buttons);

    connect(FindHistoryBox, &QComboBox::editTextChanged, this, [this] { updateButtons(); });
}

int SearchDialogBase::flags() const
{
    int result = 0;
    if (CaseSensitiveBox->isChecked())
        result |= SearchCaseSensitive;
    if (RegularExpressionsBox->isChecked())
        result |= SearchRegularExpression;
    if (WholeWordsBox->isChecked())
        result |= SearchWholeWords;
    if (BackButton->isChecked())
        result |= SearchBackwards;
    return result;
}

void SearchDialogBase::setFlags(int flags)
{
    CaseSensitiveBox->setChecked(flags & SearchCaseSensitive);
    RegularExpressionsBox->setChecked(flags & SearchRegularExpression);
    WholeWordsBox->setChecked(flags & SearchWholeWords);
    (flags & SearchBackwards ? BackButton : ForwardButton)->setChecked(true);
}

void SearchDialogBase::openOn(SqlEditor *editor, int flags)
{
    m_editor = editor;
    setFlags(flags);
    updateButtons();
    show();
    raise();
    activateWindow();
    FindHistoryBox->setFocus();
}

void SearchDialogBase::updateButtons()
{
    OkButton->setEnabled(!FindHistoryBox->currentText().isEmpty());
}

void SearchDialogBase::stepPastSelectedMatch(const QString &searchText, bool caseSensitive)
{
    if (!m_editor->hasSelectedText())
        return;
    const QString selected = m_editor->selectedText();
    const bool same = caseSensitive ? selected == searchText
                                    : selected.toLower() == searchText.toLower();
    if (!same)
        return;
    const long start = m_editor->SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART);
    const long next = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONAFTER, start);
    m_editor->SendScintilla(QsciScintilla::SCI_SETEMPTYSELECTION, next);
}

bool SearchDialogBase::searchFrom(int position, const QString &text, int flags)
{
    int line, index;
    m_editor->lineIndexFromPosition(position, &line, &index);
    // Regular expressions are full ones (ECMAScript as in C++11: groups in
    // plain parentheses, alternation, counts); the editor's basic kind
    // knows none of these.
    const bool regex = flags & SearchRegularExpression;
    return m_editor->findFirst(text, regex, flags & SearchCaseSensitive, flags & SearchWholeWords, false,
                               !(flags & SearchBackwards), line, index, true, false, regex);
}

bool SearchDialogBase::searchNext(const QString &text, int flags)
{
    const unsigned message = (flags & SearchBackwards) ? QsciScintilla::SCI_GETSELECTIONSTART
                                                       : QsciScintilla::SCI_GETCURRENTPOS;
    return searchFrom(int(m_editor->SendScintilla(message)), text, flags);
}

void SearchDialogBase::remember(QComboBox *history, const QString &text)
{
    if (history->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
        history->insertItem(0, text);
    history->setCurrentIndex(history->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive));
}

QMessageBox::StandardButton SearchDialogBase::ask(QMessageBox::Icon icon, const QString &text,
                                                  QMessageBox::StandardButtons buttons)
{
    if (m_prompts && m_prompts->message)
        return m_prompts->message(this, icon, text, buttons);
    return EditorPrompts::standard().message(this, icon, text, buttons);
}

void SearchDialogBase::showNotFound(const QString &text)
{
    ask(QMessageBox::Information, QLatin1Char('"') + text + QStringLiteral("\" not found"), QMessageBox::Ok);
}

void SearchDialogBase::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        CentreOnDesktop(this); // the screen's centre, not the editor's
    if (m_editor)
        m_editor->setKeepSelectionVisible(true);
    QDialog::showEvent(event);
}

void SearchDialogBase::hideEvent(QHideEvent *event)
{
    if (m_editor && !event->spontaneous())
        m_editor->setKeepSelectionVisible(false);
    QDialog::hideEvent(event);
}

TEdFindDlg::TEdFindDlg(QWidget *parent)
    : SearchDialogBase(tr("Find text..."), parent)
{
    setObjectName(QStringLiteral("TEdFindDlg"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &TEdFindDlg::findNext);
}

void SearchDialogBase::selectInitialText(const QString &initialText)
{
    int index = FindHistoryBox->findText(initialText, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index < 0) {
        FindHistoryBox->addItem(initialText);
        index = FindHistoryBox->count() - 1;
    }
    FindHistoryBox->setCurrentIndex(index);
    FindHistoryBox->setEditText(initialText);
}

void TEdFindDlg::execute(SqlEditor *editor, const QString &initialText, int flags)
{
    selectInitialText(initialText);
    openOn(editor, flags);
}

bool TEdFindDlg::findNext()
{
    const QString text = FindHistoryBox->currentText();
    if (!m_editor || text.isEmpty())
        return false;
    const int searchFlags = flags() | SearchSilent;
    if (!(searchFlags & SearchRegularExpression) && !(searchFlags & SearchBackwards))
        stepPastSelectedMatch(text, searchFlags & SearchCaseSensitive);
    remember(FindHistoryBox, text);
    if (searchNext(text, searchFlags))
        return true;
    showNotFound(text);
    return false;
}

TEdReplDlg::TEdReplDlg(QWidget *parent)
    : SearchDialogBase(tr("Find and replace text..."), parent)
{
    setObjectName(QStringLiteral("TEdReplDlg"));
    ReplHistoryBox = new QComboBox(this);
    ReplHistoryBox->setObjectName(QStringLiteral("ReplHistoryBox"));
    ReplHistoryBox->setEditable(true);
    ReplHistoryBox->setInsertPolicy(QComboBox::NoInsert);
    auto *replaceLabel = new QLabel(tr("Replace with"), this);
    replaceLabel->setBuddy(ReplHistoryBox);
    m_textLayout->addWidget(replaceLabel, 1, 0);
    m_textLayout->addWidget(ReplHistoryBox, 1, 1);

    PromptBox = new QCheckBox(tr("&Prompt on Replace"), this);
    m_optionsLayout->addWidget(PromptBox);

    ReplaceAllButton = m_buttons->addButton(tr("Replace All"), QDialogButtonBox::ActionRole);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &TEdReplDlg::replaceNext);
    connect(ReplaceAllButton, &QPushButton::clicked, this, &TEdReplDlg::replaceAll);
}

void TEdReplDlg::execute(SqlEditor *editor, const QString &initialText, int flags)
{
    if (!initialText.isEmpty())
        selectInitialText(initialText);
    openOn(editor, flags);
}

void TEdReplDlg::updateButtons()
{
    SearchDialogBase::updateButtons();
    ReplaceAllButton->setEnabled(OkButton->isEnabled());
}

QString TEdReplDlg::promptText(const QString &searchText, const QString &replacement) const
{
    return QStringLiteral("Replace this instance of \"%1\" with \"%2\" ?").arg(searchText, replacement);
}

bool TEdReplDlg::replaceNext()
{
    const QString text = FindHistoryBox->currentText();
    const QString replacement = ReplHistoryBox->currentText();
    if (!m_editor || text.isEmpty())
        return false;
    const int searchFlags = flags() | SearchSilent;
    // Unlike Find, the selection must be the search text exactly.
    if (!(searchFlags & SearchRegularExpression) && !(searchFlags & SearchBackwards))
        stepPastSelectedMatch(text, true);
    remember(FindHistoryBox, text);
    remember(ReplHistoryBox, replacement);
    if (!searchNext(text, searchFlags)) {
        showNotFound(text);
        return false;
    }
    if (PromptBox->isChecked()
        && ask(QMessageBox::Question, promptText(text, replacement),
               QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)
            != QMessageBox::Yes) {
        return true;
    }
    m_editor->replace(replacement);
    return true;
}

int TEdReplDlg::replaceAll()
{
    const QString text = FindHistoryBox->currentText();
    const QString replacement = ReplHistoryBox->currentText();
    if (!m_editor || text.isEmpty())
        return 0;
    // "All" means the whole text whatever the direction box says: the run
    // always goes forwards from the start.
    const int searchFlags = (flags() & ~SearchBackwards) | SearchSilent;
    remember(FindHistoryBox, text);
    remember(ReplHistoryBox, replacement);

    const bool prompt = PromptBox->isChecked();
    m_editor->beginUndoAction();
    if (!prompt)
        m_editor->setUpdatesEnabled(false);
    PromptBox->setEnabled(false);

    int replaced = 0;
    long position = 0;
    m_editor->SendScintilla(QsciScintilla::SCI_SETEMPTYSELECTION, 0L);
    while (searchFrom(int(position), text, searchFlags)) {
        const long matchStart = m_editor->SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART);
        QMessageBox::StandardButton answer = QMessageBox::Yes;
        if (prompt)
            answer = ask(QMessageBox::Question, promptText(text, replacement),
                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel)
            break;
        if (answer == QMessageBox::Yes) {
            m_editor->replace(replacement);
            ++replaced;
        }
        long next = m_editor->SendScintilla(QsciScintilla::SCI_GETSELECTIONEND);
        // An empty match (a pattern such as "^") must not hold the run in
        // one place.
        if (next <= matchStart) {
            const long after = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONAFTER, matchStart);
            if (after <= matchStart)
                break;
            next = after;
        }
        position = next;
        m_editor->SendScintilla(QsciScintilla::SCI_SETEMPTYSELECTION, position);
    }

    PromptBox->setEnabled(true);
    m_editor->setUpdatesEnabled(true);
    m_editor->endUndoAction();
    int lineFrom, indexFrom, lineTo, indexTo;
    m_editor->getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
    if (lineFrom >= 0)
        m_editor->setSelection(lineFrom, indexFrom, lineTo, indexTo);
    return replaced;
}

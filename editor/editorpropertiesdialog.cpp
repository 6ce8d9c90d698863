#include "editor/editorpropertiesdialog.h"
#include "editor/editorprompts.h"
#include "editor/sqleditor.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

EditorPropertiesDialog::EditorPropertiesDialog(SqlEditor *editor, const EditorPrompts *prompts, QWidget *parent)
    : QDialog(parent)
    , m_editor(editor)
    , m_prompts(prompts)
    , m_font(editor->textFont())
{
    setObjectName(QStringLiteral("EditorPropertiesDialog"));
    setWindowTitle(tr("Editor properties"));

    m_fontName = new QLabel(this);
    FontButton = new QPushButton(tr("&Font..."), this);
    auto *fontRow = new QHBoxLayout;
    fontRow->addWidget(m_fontName, 1);
    fontRow->addWidget(FontButton);
    showFontName();

    TabWidthBox = new QSpinBox(this);
    TabWidthBox->setRange(1, 16);
    TabWidthBox->setValue(editor->tabWidth());
    WordWrapBox = new QCheckBox(tr("&Word wrap"), this);
    WordWrapBox->setChecked(editor->wrapMode() != QsciScintilla::WrapNone);
    RightMarginShownBox = new QCheckBox(tr("Show &right margin"), this);
    RightMarginShownBox->setChecked(editor->edgeMode() != QsciScintilla::EdgeNone);
    RightMarginBox = new QSpinBox(this);
    RightMarginBox->setRange(1, 1000);
    RightMarginBox->setValue(editor->edgeColumn());
    LineNumbersBox = new QCheckBox(tr("Show &line numbers"), this);
    LineNumbersBox->setChecked(editor->lineNumbersShown());

    auto *form = new QFormLayout;
    form->addRow(tr("Text font:"), fontRow);
    form->addRow(tr("&Tab width:"), TabWidthBox);
    form->addRow(QString(), WordWrapBox);
    form->addRow(QString(), RightMarginShownBox);
    form->addRow(tr("Right margin &column:"), RightMarginBox);
    form->addRow(QString(), LineNumbersBox);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    ApplyButton = buttons->button(QDialogButtonBox::Apply);
    ApplyButton->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &EditorPropertiesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ApplyButton, &QPushButton::clicked, this, &EditorPropertiesDialog::apply);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(FontButton, &QPushButton::clicked, this, &EditorPropertiesDialog::chooseFont);
    connect(TabWidthBox, &QSpinBox::valueChanged, this, &EditorPropertiesDialog::changed);
    connect(RightMarginBox, &QSpinBox::valueChanged, this, &EditorPropertiesDialog::changed);
    for (QCheckBox *box : {WordWrapBox, RightMarginShownBox, LineNumbersBox})
        connect(box, &QCheckBox::toggled, this, &EditorPropertiesDialog::changed);
}

void EditorPropertiesDialog::showFontName()
{
    // The family actually drawn, which may stand in for the one asked for.
    m_fontName->setText(QStringLiteral("%1, %2 pt").arg(QFontInfo(m_font).family()).arg(m_font.pointSizeF(), 0, 'g', 3));
}

void EditorPropertiesDialog::chooseFont()
{
    QFont font = m_font;
    const EditorPrompts prompts = m_prompts && m_prompts->chooseFont ? *m_prompts : EditorPrompts::standard();
    if (!prompts.chooseFont(this, &font))
        return;
    m_font = font;
    showFontName();
    changed();
}

void EditorPropertiesDialog::changed()
{
    ApplyButton->setEnabled(true);
}

void EditorPropertiesDialog::apply()
{
    m_editor->setTextFont(m_font);
    m_editor->setTabWidth(TabWidthBox->value());
    m_editor->setWrapMode(WordWrapBox->isChecked() ? QsciScintilla::WrapWord : QsciScintilla::WrapNone);
    m_editor->setEdgeColumn(RightMarginBox->value());
    m_editor->setEdgeMode(RightMarginShownBox->isChecked() ? QsciScintilla::EdgeLine : QsciScintilla::EdgeNone);
    m_editor->setLineNumbersShown(LineNumbersBox->isChecked());
    ApplyButton->setEnabled(false);
}

void EditorPropertiesDialog::accept()
{
    apply();
    QDialog::accept();
}

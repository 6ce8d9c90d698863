#pragma once

#include <QDialog>
#include <QFont>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class SqlEditor;
struct EditorPrompts;

// "Editor properties": the text font, tab width, word wrap, right margin and
// line numbers of the editor. Apply starts disabled and is enabled by any
// change; OK applies and closes; Cancel only closes.
class EditorPropertiesDialog : public QDialog
{
    Q_OBJECT

public:
    EditorPropertiesDialog(SqlEditor *editor, const EditorPrompts *prompts, QWidget *parent = nullptr);

    QPushButton *FontButton = nullptr;
    QSpinBox *TabWidthBox = nullptr;
    QCheckBox *WordWrapBox = nullptr;
    QCheckBox *RightMarginShownBox = nullptr;
    QSpinBox *RightMarginBox = nullptr;
    QCheckBox *LineNumbersBox = nullptr;
    QPushButton *ApplyButton = nullptr;

public Q_SLOTS:
    void apply();
    void accept() override;

private:
    void chooseFont();
    void showFontName();
    void changed();

    SqlEditor *m_editor;
    const EditorPrompts *m_prompts;
    QFont m_font;
    QLabel *m_fontName = nullptr;
};

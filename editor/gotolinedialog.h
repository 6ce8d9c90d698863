#pragma once

#include <QDialog>

class QLineEdit;
struct EditorPrompts;

// "Go to line number": a modal dialog that accepts a whole number between
// the lowest and the highest allowed line and warns about anything else.
class TGotoLineDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TGotoLineDialog(QWidget *parent = nullptr);

    void setPrompts(const EditorPrompts *prompts) { m_prompts = prompts; }
    void setRange(int lowest, int highest);
    int lowest() const { return m_lowest; }
    int highest() const { return m_highest; }
    void setValue(int value) { m_value = value; }
    int value() const { return m_value; }

    QLineEdit *LineNumberBox = nullptr;

public Q_SLOTS:
    // Closes with OK only for a whole number within the range.
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    const EditorPrompts *m_prompts = nullptr;
    int m_lowest = 1;
    int m_highest = 1;
    int m_value = 1;
};

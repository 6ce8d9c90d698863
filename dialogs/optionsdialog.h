#pragma once

#include <QDialog>

#include <functional>

class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class SettingsStore;

// A command-line field with a button that picks a program file; the chosen
// file's full path replaces the whole text, arguments included.
class FilenameEdit : public QWidget
{
    Q_OBJECT

public:
    explicit FilenameEdit(QWidget *parent = nullptr);
    QLineEdit *lineEdit() const { return m_edit; }
    QToolButton *browseButton() const { return m_button; }
    void setChosenFile(const QString &path);

private:
    void browse();

    QLineEdit *m_edit;
    QToolButton *m_button;
};

// "Programm Optionen": the row limit of the data view, its mode, how the grids
// show NULL, and the command lines that start and stop the local server.
class TFormOptionen : public QDialog
{
    Q_OBJECT

public:
    // saveProgramSettings stores the program settings together with the main
    // window's current geometry.
    TFormOptionen(SettingsStore *settings, std::function<void()> saveProgramSettings,
                  QWidget *parent = nullptr);

    // Reloads the fields from the program settings and disables Apply.
    void load();
    void Apply();

    QTabWidget *pages = nullptr;
    QRadioButton *Radiohard = nullptr;
    QRadioButton *Radiolight = nullptr;
    QLineEdit *EditLimit = nullptr;
    FilenameEdit *FilenameEditStart = nullptr;
    FilenameEdit *FilenameEditStop = nullptr;
    QSpinBox *SpinConnectTimeout = nullptr; // seconds; 0: the client library's limit
    QSpinBox *SpinReplicaLag = nullptr;     // seconds of lag over which a replica shows in red
    QLineEdit *EditNullText = nullptr;      // "Show NULL as"; empty: NULL shows as an empty cell
    QSpinBox *SpinResultMemory = nullptr;   // megabytes of result rows held in memory before a temporary file
    QPushButton *ButtonCancel = nullptr;
    QPushButton *ButtonOk = nullptr;
    QPushButton *ButtonApply = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    SettingsStore *m_settings;
    std::function<void()> m_save;
};

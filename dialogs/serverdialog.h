#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class SettingsStore;

// "Server Configuration": edits one server profile and saves it to the
// settings store on Apply. Created once and reused; fields keep their texts
// between openings except where the commands set them.
class TFormServer : public QDialog
{
    Q_OBJECT

public:
    explicit TFormServer(SettingsStore *settings, QWidget *parent = nullptr);

    // Add Server: server empty, port "3306", user and password empty, check
    // boxes cleared; the database field keeps its text.
    void prepareForAdd();
    // Modify Server: the fields from the settings' current profile.
    void prepareForModify();

    // Validates and saves; returns whether a profile was saved.
    bool Apply();
    bool applied() const { return m_applied; }

    // Empties the server field and closes ("&Cancel", Escape, close box).
    void reject() override;

    QLineEdit *Editserver = nullptr;
    QLineEdit *Editdb = nullptr;
    QLineEdit *EditPort = nullptr;
    QLineEdit *EditUser = nullptr;
    QLineEdit *EditPsw = nullptr;
    // "Show": the password in clear while checked; masked again on every opening.
    QCheckBox *CheckShowPsw = nullptr;
    QCheckBox *CheckGroupSystem = nullptr;
    QCheckBox *CheckAppServer = nullptr;
    // "Security": how the connection is secured with TLS and its files.
    QGroupBox *GroupSecurity = nullptr;
    QComboBox *ComboTls = nullptr;
    QLineEdit *EditTlsCA = nullptr;
    QLineEdit *EditTlsCert = nullptr;
    QLineEdit *EditTlsKey = nullptr;
    QPushButton *ButtonCancel = nullptr;
    QPushButton *ButtonOk = nullptr;
    QPushButton *ButtonApply = nullptr;

private:
    void enableApply();
    void enableTlsFiles();
    QWidget *fileRow(QLineEdit *edit, const QString &pickerTitle);

    SettingsStore *m_settings;
    bool m_applied = false;
};

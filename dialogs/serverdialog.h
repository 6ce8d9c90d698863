#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
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
    // Says where the passwords are kept: the desktop's keychain or the file.
    QLabel *LabelSecrets = nullptr;
    QCheckBox *CheckGroupSystem = nullptr;
    QCheckBox *CheckAppServer = nullptr;
    // "Security": how the connection is secured with TLS and its files.
    QGroupBox *GroupSecurity = nullptr;
    QComboBox *ComboTls = nullptr;
    QLineEdit *EditTlsCA = nullptr;
    QLineEdit *EditTlsCert = nullptr;
    QLineEdit *EditTlsKey = nullptr;
    // "SSH tunnel": the connection goes through an SSH server while checked.
    QGroupBox *GroupSsh = nullptr;
    QCheckBox *CheckSsh = nullptr;
    QLineEdit *EditSshHost = nullptr;
    QLineEdit *EditSshPort = nullptr;
    QLineEdit *EditSshUser = nullptr;
    QLineEdit *EditSshKeyFile = nullptr;
    QLineEdit *EditSshPassphrase = nullptr;
    QCheckBox *CheckShowSshPassphrase = nullptr;
    QLineEdit *EditSshPassword = nullptr;
    QCheckBox *CheckShowSshPassword = nullptr;
    // "Further hosts": other nodes of the same cluster, "host:port" a line.
    QPlainTextEdit *EditHosts = nullptr;
    // The server's RSA public key for MySQL 8 accounts without TLS.
    QLineEdit *EditServerKey = nullptr;
    QCheckBox *CheckFetchServerKey = nullptr;
    QPushButton *ButtonCancel = nullptr;
    QPushButton *ButtonOk = nullptr;
    QPushButton *ButtonApply = nullptr;

private:
    void enableApply();
    void enableTlsFiles();
    void enableSshFields();
    QCheckBox *showToggle(QLineEdit *edit, const QString &objectName, const QString &accessibleName);
    void showWhereSecretsAre();
    QWidget *fileRow(QLineEdit *edit, const QString &pickerTitle);

    SettingsStore *m_settings;
    bool m_applied = false;
};

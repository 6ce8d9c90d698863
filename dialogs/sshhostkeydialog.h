#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// "Unknown SSH Host Key": an SSH server of a profile showed a host key the
// known hosts do not hold. Shows the server, the key's type and its SHA256
// fingerprint; "&Accept" lets the key in and remembers it, "&Refuse" (the
// default, and Escape) cancels the login.
class TFormSshHostKey : public QDialog
{
    Q_OBJECT

public:
    TFormSshHostKey(const QString &server, const QString &keyType, const QString &fingerprint,
                    const QString &knownHostsFile, QWidget *parent = nullptr);

    QLabel *LabelMessage = nullptr;
    QLabel *LabelKeyType = nullptr;
    QLabel *LabelFingerprint = nullptr;
    QPushButton *ButtonAccept = nullptr;
    QPushButton *ButtonRefuse = nullptr;
};

#pragma once

#include "data/privilegestatements.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// What the three privilege editors share: text fields over two columns of
// privilege boxes, and "&Cancel", "&Ok", "&Apply". The dialog is in new mode
// while its Host field is enabled and in change mode while it is disabled.
// Apply and Ok only ask for the change (applyRequested); the window's
// handler hands the row to the data module.
class TFormPrivilege : public QDialog
{
    Q_OBJECT

public:
    // New mode: every field empty, every box clear, the key fields enabled.
    void prepareNew();
    // Change mode: the grid row's texts and boxes, the key fields disabled.
    void prepareChange(const TPrivilegeRow &row);
    bool newMode() const;
    // The row as the fields and boxes stand.
    TPrivilegeRow row() const;
    PrivilegeTable table() const { return m_table; }
    // The outcome of the change Apply or Ok asked for: Ok closes the dialog
    // only once its change went through, so a refused one can be mended.
    void changeFinished(bool succeeded);

    QCheckBox *privilegeBox(Privilege privilege) const { return m_boxes[size_t(privilege)]; }

    QLabel *LabelInfo = nullptr;
    QPushButton *ButtonCancel = nullptr;
    QPushButton *ButtonOk = nullptr;
    QPushButton *ButtonApply = nullptr;

Q_SIGNALS:
    void applyRequested();

protected:
    TFormPrivilege(PrivilegeTable table, const QString &caption, const QString &info, const QString &hint,
                   QWidget *parent);

    QLineEdit *addField(const QString &objectName, const QString &label);
    // Boxes in the order given, `leftCount` of them in the left column.
    void addBoxes(const QList<QPair<QString, Privilege>> &boxes, const QStringList &objectNames, int leftCount);
    void finishLayout();
    void focusFirstField();

    QLineEdit *m_host = nullptr;
    QLineEdit *m_database = nullptr;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr;
    // The fields that new mode enables and change mode disables.
    QList<QLineEdit *> m_keyFields;

private:
    PrivilegeTable m_table;
    std::array<QCheckBox *, PrivilegeCount> m_boxes{};
    QVBoxLayout *m_layout = nullptr;
    QGridLayout *m_fields = nullptr;
    QGridLayout *m_boxGrid = nullptr;
    QString m_shownPassword; // what change mode put into the password field
    bool m_closeWhenDone = false; // Ok pressed, its change still running
};

// "User Management": a row of the user table.
class TFormUser : public TFormPrivilege
{
    Q_OBJECT

public:
    explicit TFormUser(QWidget *parent = nullptr);

    QLineEdit *Edit1 = nullptr; // Host
    QLineEdit *Edit2 = nullptr; // User
    QLineEdit *Edit3 = nullptr; // Password
};

// "Host Informationen": a row of the host table.
class TFormAdmHost : public TFormPrivilege
{
    Q_OBJECT

public:
    explicit TFormAdmHost(QWidget *parent = nullptr);

    QLineEdit *Edit_host = nullptr;
    QLineEdit *Edit_db = nullptr;
};

// "Database Informationen": a row of the db table.
class TFormDb : public TFormPrivilege
{
    Q_OBJECT

public:
    explicit TFormDb(QWidget *parent = nullptr);

    QLineEdit *Edit_host = nullptr;
    QLineEdit *Edit_db = nullptr;
    QLineEdit *Edit_user = nullptr;
};

#pragma once

#include "data/privilegestatements.h"

#include <QObject>

#include <functional>

class QString;
class TDMstd;
class TFormAdmHost;
class TFormDb;
class TFormMain;
class TFormPrivilege;
class TFormUser;

// The "MySQL Administration" page: the `user`, `host` and `db` grids, their
// commands and pop-up menus, and the three editor dialogs. It asks the user
// (dialogs, confirmations) and hands the answers to the data module, which
// composes the statements and refills the grids.
class PrivilegeController : public QObject
{
    Q_OBJECT

public:
    // The window must outlive the controller (make it the parent).
    PrivilegeController(TFormMain *window, TDMstd *data, QObject *parent = nullptr);

    void NewUser1Click();
    void ChangePassword1Click();
    void DeleteUser1Click();
    void NewHost1Click();
    void ChangeHostinformation1Click();
    void DeleteHost1Click();
    void NewDatabase1Click();
    void ChangeDatabaseInformationen1Click();
    void DeleteDatabase1Click();
    void TabUserShow();
    void TabHostShow();
    void TabDatabaseShow();

    TFormUser *formUser() const { return m_formUser; }
    TFormAdmHost *formAdmHost() const { return m_formAdmHost; }
    TFormDb *formDb() const { return m_formDb; }

    // Asks a Yes/No question; true for Yes.
    std::function<bool(const QString &question)> confirm;

private:
    TFormPrivilege *dialogOf(PrivilegeTable table) const;
    QString gridName(PrivilegeTable table) const;
    int selectedRow(PrivilegeTable table) const;
    void newRow(PrivilegeTable table);
    void changeRow(PrivilegeTable table);
    // Asks the question made from the selected row, and deletes it on Yes.
    void deleteRow(PrivilegeTable table, QString (*question)(const TPrivilegeRow &row));
    void apply(PrivilegeTable table);
    // Loads the table of the sub-page now in front, when the page shows.
    void showCurrentSubPage();

    TFormMain *m_window;
    TDMstd *m_data;
    TFormUser *m_formUser;
    TFormAdmHost *m_formAdmHost;
    TFormDb *m_formDb;
};

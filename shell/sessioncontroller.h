#pragma once

#include <QModelIndex>
#include <QObject>

#include <functional>

class QMenu;
class TDMstd;
class TFormLogin;
class TFormNewPassword;
class TFormSshHostKey;
class TFormMain;
struct TDMstdViews;

// The main window's handlers of the session, the tree, the table views and
// script execution. It asks the user (login, error boxes) and hands the
// answers to the data module; the data module composes the statements.
class SessionController : public QObject
{
    Q_OBJECT

public:
    // Wires the window's server list, tree and actions to data; the window
    // must outlive the controller (make it the parent).
    SessionController(TFormMain *window, TDMstd *data, QObject *parent = nullptr);
    ~SessionController() override;

    // What the data module fills, taken from the window's public accessors.
    static TDMstdViews viewsOf(TFormMain *window);

    void ListServerDblClick();
    void TreeServerClick(const QModelIndex &index);
    void TreeServerDblClick(const QModelIndex &index);
    void database_select();
    void server_refresh();
    void table_def();
    void table_property();
    void table_index();
    void EditExec();
    // "Exec Selection": the selected text, in the selected node's database.
    void EditExecSelection();
    // Ctrl+Enter: the statement the editor's caret stands in.
    void EditExecStatement();
    // After a lost session: asks whether to connect again with the same profile.
    void offerReconnect();

    // The tree's pop-up menu as the last click chose it (`PopupDatabase` or
    // `PopupMenuTable`), or none before the first click on a node.
    QMenu *treePopup() const { return m_treePopup; }

    // Shows the login dialog; tests replace it to answer without a window.
    std::function<int(TFormLogin *)> runLoginDialog;
    // Shows the new-password dialog after an expired password; the same.
    std::function<int(TFormNewPassword *)> runNewPasswordDialog;
    // The login was refused for an expired password: asks for a new one
    // and logs in with it.
    void askNewPassword(const QString &message);
    // Shows the unknown SSH host key; tests replace it to answer without a
    // window. Returns QDialog::Accepted to let the key in.
    std::function<int(TFormSshHostKey *)> runSshHostKeyDialog;
    // An SSH server of the profile showed a key not known yet: asks whether
    // to let it in, and goes on with the login or ends it.
    void askSshHostKey(const QString &server, const QString &keyType, const QString &fingerprint);

protected:
    // The tree's keys: Enter and Right open a node as a double click does,
    // F5 reads the database list again.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QModelIndex selectedNode() const;
    static int nodeLevel(const QModelIndex &index);
    // The database of the selected node: its own text or its parent's.
    bool selectedDatabase(QString *database) const;
    bool selectedTable(QString *table, QString *database) const;
    // The current editor tab is the one whose script runs now.
    void beginRun();
    void tableCommand(const QString &subPage, void (TDMstd::*operation)(const QString &, const QString &));

    TFormMain *m_window;
    TDMstd *m_data;
    // The profile of the latest login, whether it keeps a password, and a
    // new password set at login that it keeps once the login went through.
    QString m_loginHost;
    bool m_loginStoresPassword = false;
    QString m_changedPassword;
    QMenu *m_treePopup = nullptr;
};

#include "shell/privilegecontroller.h"

#include "dialogs/applicationtitle.h"
#include "data/gridmodel.h"
#include "data/tdmstd.h"
#include "dialogs/privilegedialogs.h"
#include "shell/gridviews.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMessageBox>
#include <QTabWidget>
#include <QTableView>

namespace {

const PrivilegeTable Tables[] = {PrivilegeTable::User, PrivilegeTable::Host, PrivilegeTable::Db};

} // namespace

PrivilegeController::PrivilegeController(TFormMain *window, TDMstd *data, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_data(data)
    , m_formUser(new TFormUser(window))
    , m_formAdmHost(new TFormAdmHost(window))
    , m_formDb(new TFormDb(window))
{
    confirm = [window](const QString &question) {
        return QMessageBox::question(window, ApplicationTitle(), question,
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    };

    const struct
    {
        const char *name;
        void (PrivilegeController::*handler)();
    } actions[] = {
        {"Action_User_New", &PrivilegeController::NewUser1Click},
        {"Action_User_Change", &PrivilegeController::ChangePassword1Click},
        {"Action_User_Delete", &PrivilegeController::DeleteUser1Click},
        {"Action_New_Host", &PrivilegeController::NewHost1Click},
        {"Action_Change_Host", &PrivilegeController::ChangeHostinformation1Click},
        {"Action_Delete_Host", &PrivilegeController::DeleteHost1Click},
        {"Action_New_DB", &PrivilegeController::NewDatabase1Click},
        {"Action_Change_DB", &PrivilegeController::ChangeDatabaseInformationen1Click},
        {"Action_Delete_DB", &PrivilegeController::DeleteDatabase1Click},
    };
    for (const auto &entry : actions) {
        if (QAction *action = window->action(QString::fromLatin1(entry.name)))
            connect(action, &QAction::triggered, this, entry.handler);
    }

    // Each grid: a double click changes the row; the pop-up menu gets its
    // "Update ..." entry between Change and the separator before Delete.
    const struct
    {
        PrivilegeTable table;
        const char *popup;
        const char *update;
        void (PrivilegeController::*change)();
        void (PrivilegeController::*show)();
    } grids[] = {
        {PrivilegeTable::User, "PopupUser", "Update User Information", &PrivilegeController::ChangePassword1Click,
         &PrivilegeController::TabUserShow},
        {PrivilegeTable::Host, "PopupHost", "Update Host Informationen",
         &PrivilegeController::ChangeHostinformation1Click, &PrivilegeController::TabHostShow},
        {PrivilegeTable::Db, "PopupMenuDatabase", "Update Database Informationen",
         &PrivilegeController::ChangeDatabaseInformationen1Click, &PrivilegeController::TabDatabaseShow},
    };
    for (const auto &entry : grids) {
        if (QTableView *view = window->gridView(gridName(entry.table)))
            connect(view, &QAbstractItemView::doubleClicked, this, entry.change);
        if (QMenu *popup = window->popupMenu(QString::fromLatin1(entry.popup))) {
            auto *update = new QAction(QString::fromLatin1(entry.update), popup);
            const QList<QAction *> items = popup->actions();
            popup->insertAction(items.size() > 2 ? items.at(2) : nullptr, update);
            connect(update, &QAction::triggered, this, entry.show);
        }
    }

    // The first two columns (and the db grid's "User") are 80 pixels wide;
    // the user grid's other columns share the page's width.
    for (PrivilegeTable table : Tables) {
        GridModel *grid = window->grid(gridName(table));
        if (!grid)
            continue;
        const int fixed = table == PrivilegeTable::Db ? 3 : 2;
        const int others = table == PrivilegeTable::User ? int(GridModel::FillWidth) : int(GridModel::DefaultWidth);
        QStringList captions;
        QList<int> widths;
        for (int c = 0; c < grid->columnCount(); ++c) {
            captions << grid->columnCaption(c);
            widths << (c < fixed ? 80 : others);
        }
        grid->setColumns(captions, widths);
    }

    // A sub-page reads its table whenever it comes to the front, also when
    // the page comes to the front with it and when a login opens the page.
    auto *pages = window->findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    auto *adminPages = window->findChild<QTabWidget *>(QStringLiteral("PageControlAdmin"));
    if (pages && adminPages) {
        connect(pages, &QTabWidget::currentChanged, this, [this, pages, adminPages] {
            if (pages->currentWidget() == adminPages)
                showCurrentSubPage();
        });
        connect(adminPages, &QTabWidget::currentChanged, this, [this, pages, adminPages] {
            if (pages->currentWidget() == adminPages)
                showCurrentSubPage();
        });
        // Direct: the read is a step of the login's chain.
        connect(data, &TDMstd::SetSessionCommands, this, [this, pages, adminPages](bool enabled) {
            if (enabled && pages->currentWidget() == adminPages)
                showCurrentSubPage();
        });
    }

    for (TFormPrivilege *dialog : {static_cast<TFormPrivilege *>(m_formUser),
                                   static_cast<TFormPrivilege *>(m_formAdmHost), static_cast<TFormPrivilege *>(m_formDb)}) {
        connect(dialog, &TFormPrivilege::applyRequested, this, [this, dialog] { apply(dialog->table()); });
    }
    connect(data, &TDMstd::privilegeChangeFinished, this,
            [this](PrivilegeTable table, bool succeeded) { dialogOf(table)->changeFinished(succeeded); });
}

TFormPrivilege *PrivilegeController::dialogOf(PrivilegeTable table) const
{
    switch (table) {
    case PrivilegeTable::User:
        return m_formUser;
    case PrivilegeTable::Host:
        return m_formAdmHost;
    case PrivilegeTable::Db:
        return m_formDb;
    }
    return nullptr;
}

QString PrivilegeController::gridName(PrivilegeTable table) const
{
    switch (table) {
    case PrivilegeTable::User:
        return QStringLiteral("AdvListViewUser");
    case PrivilegeTable::Host:
        return QStringLiteral("AdvListViewHost");
    case PrivilegeTable::Db:
        return QStringLiteral("AdvListViewDatabase");
    }
    return {};
}

int PrivilegeController::selectedRow(PrivilegeTable table) const
{
    return ChosenRow(m_window->gridView(gridName(table)));
}

void PrivilegeController::showCurrentSubPage()
{
    auto *adminPages = m_window->findChild<QTabWidget *>(QStringLiteral("PageControlAdmin"));
    if (!adminPages)
        return;
    switch (adminPages->currentIndex()) {
    case 0:
        TabUserShow();
        break;
    case 1:
        TabHostShow();
        break;
    case 2:
        TabDatabaseShow();
        break;
    default:
        break;
    }
}

void PrivilegeController::newRow(PrivilegeTable table)
{
    TFormPrivilege *dialog = dialogOf(table);
    dialog->prepareNew();
    dialog->exec();
}

void PrivilegeController::changeRow(PrivilegeTable table)
{
    const int row = selectedRow(table);
    GridModel *grid = m_window->grid(gridName(table));
    if (row < 0 || !grid)
        return;
    TFormPrivilege *dialog = dialogOf(table);
    dialog->prepareChange(PrivilegeRowFromGrid(table, *grid, row));
    dialog->exec();
}

void PrivilegeController::deleteRow(PrivilegeTable table, QString (*question)(const TPrivilegeRow &row))
{
    const int row = selectedRow(table);
    GridModel *grid = m_window->grid(gridName(table));
    if (row < 0 || !grid)
        return;
    // The row is taken before the question: a refill meanwhile must not
    // change what the answer applies to.
    const TPrivilegeRow selected = PrivilegeRowFromGrid(table, *grid, row);
    if (!confirm(question(selected)))
        return;
    m_data->ChangePrivilegeTable(table, PrivilegeChange::Delete, selected);
}

void PrivilegeController::apply(PrivilegeTable table)
{
    TFormPrivilege *dialog = dialogOf(table);
    m_data->ChangePrivilegeTable(table, dialog->newMode() ? PrivilegeChange::Insert : PrivilegeChange::Update,
                                 dialog->row());
}

void PrivilegeController::NewUser1Click()
{
    newRow(PrivilegeTable::User);
}

void PrivilegeController::ChangePassword1Click()
{
    changeRow(PrivilegeTable::User);
}

void PrivilegeController::DeleteUser1Click()
{
    deleteRow(PrivilegeTable::User, [](const TPrivilegeRow &row) {
        return QStringLiteral("Delete User with TCP/IP :") + row.host + QStringLiteral("\nand Name : ") + row.user
            + QStringLiteral(" ?");
    });
}

void PrivilegeController::NewHost1Click()
{
    newRow(PrivilegeTable::Host);
}

void PrivilegeController::ChangeHostinformation1Click()
{
    changeRow(PrivilegeTable::Host);
}

void PrivilegeController::DeleteHost1Click()
{
    deleteRow(PrivilegeTable::Host,
              [](const TPrivilegeRow &row) { return QStringLiteral("Delete Host ") + row.host + QStringLiteral(" ?"); });
}

void PrivilegeController::NewDatabase1Click()
{
    newRow(PrivilegeTable::Db);
}

void PrivilegeController::ChangeDatabaseInformationen1Click()
{
    changeRow(PrivilegeTable::Db);
}

void PrivilegeController::DeleteDatabase1Click()
{
    deleteRow(PrivilegeTable::Db, [](const TPrivilegeRow &row) {
        return QStringLiteral("Delete from Database ") + row.database + QStringLiteral(" ?");
    });
}

void PrivilegeController::TabUserShow()
{
    m_data->LoadUserTable();
}

void PrivilegeController::TabHostShow()
{
    m_data->LoadHostTable();
}

void PrivilegeController::TabDatabaseShow()
{
    m_data->LoadDbTable();
}

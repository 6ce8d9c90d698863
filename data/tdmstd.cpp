#include "data/tdmstd.h"

#include "client/mySQLClient.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/sqlnames.h"

#include <QItemSelectionModel>
#include <QStandardItemModel>

TDMstd::TDMstd(const TDMstdViews &views, QObject *parent)
    : QObject(parent)
    , m_views(views)
{
    m_client = new TmySQLClient(this);
    m_client->setObjectName(QStringLiteral("ActiveClient"));
    m_client->setHostname(QStringLiteral("localhost"));
    m_client->setPort(3306);
    m_client->setCapabilities(DefaultClientCapabilities);
    m_client->setThreaded(false);
    m_client->setBlockOnClose(true);
    m_client->setTaskListBox(nullptr);

    const auto generalError = [this](QObject *sender, const QString &message) {
        ActiveClientGeneralError(sender, message);
    };
    m_client->OnConnect = [this](QObject *sender) { ActiveClientConnect(sender); };
    m_client->OnConnectError = [this](QObject *sender, const QString &message) {
        ActiveClientConnectError(sender, message);
    };
    m_client->OnClose = [this](QObject *sender) { ActiveClientClose(sender); };
    m_client->OnModify = [this](QObject *sender) { ActiveClientModify(sender); };
    m_client->OnQueryError = generalError;
    m_client->OnModifyError = generalError;

    TmySQLClientUtilityEvents &events = m_client->UtilityEvents;
    events.OnListDatabases = [this](QObject *sender) { ActiveClientListDatabases(sender); };
    events.OnListTables = [this](QObject *sender) { ActiveClientListTables(sender); };
    events.OnSelectDatabaseError = generalError;
    events.OnCreateDatabaseError = generalError;
    events.OnDropDatabaseError = generalError;
    events.OnListDatabasesError = generalError;
    events.OnListTablesError = generalError;
    events.OnListFieldsError = generalError;
    events.OnListProcessesError = generalError;
    events.OnPingError = generalError;
    events.OnRefreshError = generalError;
    events.OnOptionsError = generalError;
    events.OnShutdownError = generalError;
}

TDMstd::~TDMstd() = default;

void TDMstd::setNodeIcons(const QIcon &database, const QIcon &table)
{
    m_databaseIcon = database;
    m_tableIcon = table;
}

void TDMstd::showHourglass()
{
    if (!m_busy) {
        m_busy = true;
        Q_EMIT busyChanged(true);
    }
}

void TDMstd::restoreCursor()
{
    if (m_busy) {
        m_busy = false;
        Q_EMIT busyChanged(false);
    }
}

void TDMstd::log(const QString &line)
{
    if (m_views.log)
        m_views.log->append(line);
}

QString TDMstd::lastError() const
{
    return m_client->Utility()->LastError();
}

void TDMstd::submit(const QString &statement, const QString &taskName,
                    std::function<void(QObject *, const QString &)> onError,
                    std::function<void(QObject *)> onComplete)
{
    TmySQLClientQuery *query = m_client->Query();
    if (!query)
        return; // not connected: the commands that lead here are switched off
    query->Execute(statement, taskName, {}, std::move(onError), std::move(onComplete));
    query->Run();
}

// --- Session ----------------------------------------------------------------

bool TDMstd::ConnectProfile()
{
    if (!m_views.profile)
        return false;
    const TServerProfile &profile = *m_views.profile;
    // The port is checked before anything is handed to the client: a typo
    // must not silently become the library's default port.
    bool ok = false;
    const int port = profile.Port.trimmed().toInt(&ok);
    if (!ok || port < 0 || port > 65535) {
        Q_EMIT errorRaised(QStringLiteral("'%1' is not a valid port number").arg(profile.Port));
        return false;
    }
    m_client->setDatabase(profile.Database);
    m_client->setHostname(profile.Host);
    m_client->setUsername(profile.User);
    m_client->setPassword(profile.Psw);
    m_client->setPort(port);
    m_client->Connect();
    return true;
}

void TDMstd::ActiveClientConnect(QObject *)
{
    Q_EMIT SetSessionCommands(true);
    TmySQLClientUtility *utility = m_client->Utility();
    log(QStringLiteral("Connect Success."));
    log(QStringLiteral("Host:       ") + utility->ServerInfo());
    log(QStringLiteral("ClientInfo: ") + utility->ClientInfo());
    log(QStringLiteral("HostInfo:   ") + utility->HostInfo());
    log(QStringLiteral("ProtoInfo:  ") + QString::number(utility->ProtocolInfo() & 0xffu));
    RefreshDatabaseList();
}

void TDMstd::ActiveClientConnectError(QObject *, const QString &message)
{
    log(message);
    restoreCursor();
}

void TDMstd::ActiveClientClose(QObject *)
{
}

void TDMstd::RefreshDatabaseList()
{
    if (!m_client->Connected())
        return; // the command is off then; the library has no connection to ask
    showHourglass();
    m_client->Utility()->ListDbs(QStringLiteral("%"), QStringLiteral("List Databases"));
    m_client->Utility()->Run();
    restoreCursor();
}

void TDMstd::ActiveClientListDatabases(QObject *)
{
    showHourglass();
    const QStringList names = m_client->Utility()->ResultNames();
    QStandardItemModel *tree = m_views.tree;
    if (tree)
        tree->removeRows(0, tree->rowCount());
    const bool check = m_views.profile && m_views.profile->Check;
    bool appServerMet = false;
    QList<QStandardItem *> nodes;
    nodes.reserve(names.size());
    for (const QString &name : names) {
        if (check && !appServerMet) {
            if (name == QLatin1String("appserver")) {
                Q_EMIT SetAppServerCommands(true);
                appServerMet = true;
            } else {
                Q_EMIT SetAppServerCommands(false);
            }
        }
        auto *node = new QStandardItem(m_databaseIcon, name);
        node->setEditable(false);
        nodes.append(node);
    }
    if (tree) {
        for (QStandardItem *node : std::as_const(nodes))
            tree->appendRow(node);
        if (tree->rowCount() > 0 && m_views.treeSelection)
            m_views.treeSelection->setCurrentIndex(tree->index(0, 0), QItemSelectionModel::ClearAndSelect);
    } else {
        qDeleteAll(nodes);
    }
    Q_EMIT treeFocusRequested();
    restoreCursor();
}

void TDMstd::UseDatabase(const QString &database)
{
    m_client->setDatabase(database);
    if (!m_client->Connected())
        return;
    m_client->Utility()->SelectDb(database, QStringLiteral("Select Database: ") + database);
    m_client->Utility()->Run();
}

void TDMstd::SelectDatabase(const QString &database)
{
    log(QStringLiteral("Make Database select"));
    UseDatabase(database);
    log(QStringLiteral("New Database is : ") + database);
}

void TDMstd::ListTablesPlain()
{
    restoreCursor();
    m_noTableStatus = true;
    UseDatabase(m_currentDatabase);
    if (!m_client->Connected())
        return;
    m_client->Utility()->ListTables(QStringLiteral("%"), QStringLiteral("List Tables"));
    m_client->Utility()->Run();
}

QStandardItem *TDMstd::databaseNode(const QString &database) const
{
    QStandardItemModel *tree = m_views.tree;
    if (!tree)
        return nullptr;
    // The node the user opened is the selected one; should the selection have
    // moved meanwhile, the database's own node is found by its name.
    if (m_views.treeSelection) {
        const QModelIndex selected = m_views.treeSelection->currentIndex();
        if (selected.isValid() && !selected.parent().isValid() && selected.data().toString() == database)
            return tree->itemFromIndex(selected);
    }
    for (int row = 0; row < tree->rowCount(); ++row) {
        QStandardItem *node = tree->item(row);
        if (node && node->text() == database)
            return node;
    }
    return nullptr;
}

void TDMstd::fillTableNodes(const QStringList &names, const QStringList &rows, bool withRows)
{
    QStandardItem *node = databaseNode(m_currentDatabase);
    if (!node)
        return;
    Q_EMIT treeNodeCollapseRequested(node->index());
    node->removeRows(0, node->rowCount());
    QList<QStandardItem *> children;
    children.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString &name = names.at(i);
        auto *child = new QStandardItem(m_tableIcon, withRows ? TableNodeText(name, rows.at(i)) : name);
        child->setEditable(false);
        child->setData(name, TableNameRole);
        children.append(child);
    }
    // One insertion for the whole list: a database may hold thousands of tables.
    node->appendRows(children);
    Q_EMIT treeNodeExpandRequested(node->index());
}

void TDMstd::ActiveClientListTables(QObject *)
{
    showHourglass();
    // The model tells the view about the emptied node itself; no event loop
    // is run here, which would let other outcomes in while this one is handled.
    fillTableNodes(m_client->Utility()->ResultNames(), {}, false);
    restoreCursor();
}

void TDMstd::ActiveClientModify(QObject *)
{
    log(lastError());
    restoreCursor();
}

void TDMstd::ActiveClientGeneralError(QObject *, const QString &message)
{
    // The client hands over the connection's last error text, read when the
    // outcome is handled (or its own text when it could not call the library).
    log(message);
    restoreCursor();
}

void TDMstd::ActiveClientSqlError(QObject *, const QString &)
{
    restoreCursor();
}

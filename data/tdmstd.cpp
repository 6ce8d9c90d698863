#include "data/tdmstd.h"

#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/sqlnames.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QItemSelectionModel>
#include <QSet>
#include <QTimer>
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
    // Statements run on the client's worker thread; their outcomes are
    // handled here in the order they were posted, so logs, grids and chains
    // come out as they would on one thread, and the window keeps answering.
    m_client->setThreaded(true);
    m_client->setBlockOnClose(true);
    m_client->setTaskListBox(nullptr);
    TmySQLClientTaskHandler *engine = m_client->TaskHandler();
    connect(engine, &TmySQLClientTaskHandler::activeChanged, this, [this](bool active) {
        if (!active)
            statementsIdle();
        Q_EMIT statementsRunningChanged(active);
    });
    engine->OnLostConnection = [this](const TmySQLClientOutcome &) { lostConnection(); };
    setUpSshTunnel();

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
    events.OnListDatabasesError = [this](QObject *sender, const QString &message) {
        ActiveClientGeneralError(sender, message);
        // A server that lets an account with an expired password in only
        // to change it: the database list is the first thing refused.
        if (outcomeOf(sender).PasswordExpired()) {
            m_client->Close();
            Q_EMIT SetSessionCommands(false);
            Q_EMIT passwordExpired(message);
        }
    };
    events.OnListTablesError = generalError;
    events.OnListFieldsError = generalError;
    events.OnListProcessesError = generalError;
    events.OnPingError = generalError;
    events.OnRefreshError = generalError;
    events.OnOptionsError = generalError;
    events.OnShutdownError = generalError;
    watchDataGrid();
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

const TmySQLClientOutcome &TDMstd::outcomeOf(QObject *sender)
{
    if (auto *query = qobject_cast<TmySQLClientQuery *>(sender))
        return query->Outcome();
    if (auto *utility = qobject_cast<TmySQLClientUtility *>(sender))
        return utility->Outcome();
    static const TmySQLClientOutcome none;
    return none;
}

void TDMstd::submit(const QString &statement, const QString &taskName,
                    std::function<void(QObject *, const QString &)> onError,
                    std::function<void(QObject *)> onComplete)
{
    TmySQLClientQuery *query = m_client->Query();
    if (!query)
        return; // not connected: the commands that lead here are switched off
    if (!mayStart())
        return;
    query->Execute(statement, taskName, {}, std::move(onError), std::move(onComplete));
    query->Run();
}

// --- Running statements -------------------------------------------------------

bool TDMstd::statementsRunning() const
{
    return m_client->TaskHandler()->PendingTasks() > 0;
}

bool TDMstd::acceptsCommands() const
{
    const TmySQLClientTaskHandler *engine = m_client->TaskHandler();
    const int watching = m_watchConnection == m_client->ConnectionId() ? m_watchReads : 0;
    return !m_stopping
        && (engine->PendingTasks() <= watching || engine->HandlingOutcome() || m_commandTurn);
}

void TDMstd::noteWatchReads(int count)
{
    if (m_watchConnection != m_client->ConnectionId()) {
        m_watchConnection = m_client->ConnectionId();
        m_watchReads = 0;
    }
    m_watchReads += count;
}

void TDMstd::watchReadDone()
{
    if (m_watchReads > 0)
        --m_watchReads;
}

bool TDMstd::mayStart()
{
    if (!acceptsCommands()) {
        // A chain's next step after a stop request just ends the chain.
        if (!(m_stopping && m_client->TaskHandler()->HandlingOutcome()))
            log(QStringLiteral("A statement is still running: wait for it or stop it."));
        return false;
    }
    if (!m_commandTurn && !m_client->TaskHandler()->HandlingOutcome()) {
        // The statements a command sends in one go belong together; the
        // turn ends when control is back in the event loop.
        m_commandTurn = true;
        QTimer::singleShot(0, this, [this] { m_commandTurn = false; });
    }
    return true;
}

void TDMstd::statementsIdle()
{
    // A chain stopped between two statements ends here: nobody else will
    // say that the script is over.
    finishScript(false);
    scriptFileIdle();
    restoreCursor();
    endStop();
    m_watchReads = 0; // nothing is pending any more
}

void TDMstd::endStop()
{
    // Commands wait until the stopped statement has come back and the stop
    // request is through: a late KILL QUERY must not meet the next statement.
    if (m_stopping && !m_killInFlight && !statementsRunning())
        m_stopping = false;
}

void TDMstd::Stop()
{
    if (m_client->Connecting()) {
        m_client->AbandonConnect();
        m_client->TaskHandler()->CancelPending();
        log(QStringLiteral("Connect abandoned."));
        restoreCursor();
        return;
    }
    TmySQLClientTaskHandler *engine = m_client->TaskHandler();
    if (engine->PendingTasks() == 0)
        return;
    noteScriptFileStop();
    if (!m_stopping)
        log(QStringLiteral("Stopped."));
    // No further statement of a script goes out, also when the one running
    // now ends before the server hears of the stop.
    if (m_scriptRunning)
        m_scriptStopped = true;
    m_stopping = true;
    engine->CancelPending();
    m_watchReads = 0; // dropped with the rest, their handlers never run
    if (engine->PendingTasks() == 0 || m_killInFlight) {
        endStop(); // nothing had started: dropping it was all
        return;
    }
    m_killInFlight = true;
    m_client->KillQuery([this](const QString &error) {
        m_killInFlight = false;
        if (!error.isEmpty()) {
            log(QStringLiteral("Stop failed: ") + error);
            m_stopping = false;
        }
        endStop();
    });
}

bool TDMstd::StopAndWait(int milliseconds)
{
    Stop();
    QDeadlineTimer deadline(milliseconds);
    // Outcomes arrive meanwhile; the user's input waits, so no command
    // starts from within this one.
    QTimer wake; // the deadline is noticed without events
    wake.start(50);
    while ((statementsRunning() || m_stopping) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    return !statementsRunning();
}

void TDMstd::CloseSession()
{
    // A server that does not answer the stop within its time keeps nobody
    // waiting: the connection is given up, and the close follows at once.
    if ((statementsRunning() || m_client->Connecting()) && !StopAndWait(5000))
        m_client->AbandonConnection();
    m_client->Close();
    m_tunnel->Close();
}

void TDMstd::lostConnection()
{
    if (m_lost || !m_client->Connected())
        return;
    m_lost = true;
    m_lostDatabase = m_client->Database();
    m_client->TaskHandler()->CancelPending();
    m_watchReads = 0;
    log(QStringLiteral("The connection to the server was lost."));
    // Rows shown before belong to a session that is gone; a fetch that
    // broke off must not leave them looking like its result.
    if (m_views.dataGrid)
        m_views.dataGrid->clear();
    if (m_views.queryGrid)
        m_views.queryGrid->clear();
    m_client->Close();
    m_tunnel->Close();
    Q_EMIT SetSessionCommands(false);
    Q_EMIT SetAppServerCommands(false);
    restoreCursor();
    Q_EMIT connectionLost();
}

bool TDMstd::Reconnect()
{
    const QString database = m_lostDatabase;
    // A cluster's other nodes first: the one that went away comes last.
    const int first = m_hosts.isEmpty() ? 0 : (m_hostIndex + 1) % int(m_hosts.size());
    if (!connectProfileFrom(first))
        return false;
    m_lostDatabase = database;
    // The same server again: the tree keeps the nodes and the chosen one.
    m_rebuildTree = false;
    return true;
}

// --- Session ----------------------------------------------------------------

bool TDMstd::ConnectProfile()
{
    return connectProfileFrom(0);
}

bool TDMstd::connectProfileFrom(int first)
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
    if (profile.Ssh && !checkSshProfile(profile))
        return false;
    QList<THostAddress> further;
    QString bad;
    if (!ParseHostList(profile.Hosts, port, &further, &bad)) {
        Q_EMIT errorRaised(QStringLiteral("'%1' is not a valid host (host:port)").arg(bad));
        return false;
    }
    m_hosts = {THostAddress{profile.Host, port}};
    m_hosts.append(further);
    m_hostIndex = first >= 0 && first < m_hosts.size() ? first : 0;
    m_hostsTried = 0;
    m_client->setDatabase(profile.Database);
    m_client->setUsername(profile.User);
    m_client->setPassword(profile.Psw);
    TmySQLClientTls tls;
    tls.Mode = TlsModeFromText(profile.TlsMode);
    tls.CAFile = profile.TlsCA;
    tls.CertFile = profile.TlsCert;
    tls.KeyFile = profile.TlsKey;
    tls.ServerPublicKeyFile = profile.ServerPublicKey;
    tls.FetchServerPublicKey = profile.GetServerPublicKey;
    m_client->setTls(tls);
    unsigned int timeout = 0;
    if (m_views.program) {
        bool timeoutOk = false;
        const int seconds = m_views.program->ConnectTimeout.trimmed().toInt(&timeoutOk);
        timeout = timeoutOk && seconds > 0 ? unsigned(seconds) : 0u;
    }
    m_client->setConnectTimeout(timeout);
    // All hosts of the list share the one connect timeout.
    m_loginDeadline = timeout > 0 ? QDateTime::currentMSecsSinceEpoch() + qint64(timeout) * 1000 : 0;
    m_lost = false;
    m_lostDatabase.clear();
    m_rebuildTree = true;
    if (profile.Ssh) {
        // The client connects once the tunnel is open. A tunnel leads to the
        // profile's own server: further hosts are not tried through it.
        m_hosts = {THostAddress{profile.Host, port}};
        m_hostIndex = 0;
        openSshTunnel(profile, port);
        return true;
    }
    m_tunnel->Close();
    m_sshThrough.clear();
    connectHost();
    return true;
}

void TDMstd::connectHost()
{
    const THostAddress &host = m_hosts.at(m_hostIndex);
    m_client->setHostname(host.Host);
    m_client->setPort(host.Port);
    if (multiHost() && m_loginDeadline > 0) {
        // What is left of the timeout, in whole seconds.
        const qint64 left = m_loginDeadline - QDateTime::currentMSecsSinceEpoch();
        m_client->setConnectTimeout(unsigned(std::max<qint64>(1, (left + 999) / 1000)));
    }
    ++m_hostsTried;
    m_client->Connect();
}

void TDMstd::ActiveClientConnect(QObject *)
{
    Q_EMIT SetSessionCommands(true);
    TmySQLClientUtility *utility = m_client->Utility();
    log(QStringLiteral("Connect Success."));
    log(QStringLiteral("Host:       ") + utility->ServerInfo());
    log(QStringLiteral("ClientInfo: ") + utility->ClientInfo());
    log(QStringLiteral("HostInfo:   ") + utility->HostInfo()
        + (m_sshThrough.isEmpty() ? QString() : QStringLiteral(" through SSH ") + m_sshThrough));
    log(QStringLiteral("ProtoInfo:  ") + QString::number(utility->ProtocolInfo() & 0xffu));
    // A profile of several hosts says which one answered.
    if (multiHost())
        log(QStringLiteral("Connected to: ") + ConnectedHost());
    // A profile that asks for TLS also learns what it got.
    if (m_client->Tls().Mode != tmOff)
        log(QStringLiteral("TLS:        ")
            + (m_client->TlsCipher().isEmpty() ? QStringLiteral("not encrypted")
                                               : m_client->TlsVersion() + QLatin1Char(' ') + m_client->TlsCipher()));
    RefreshDatabaseList();
    // After a lost session the database that was current is current again.
    if (!m_lostDatabase.isEmpty()) {
        const QString database = m_lostDatabase;
        m_lostDatabase.clear();
        UseDatabase(database);
    }
}

void TDMstd::ActiveClientConnectError(QObject *sender, const QString &message)
{
    if (multiHost()) {
        log(ConnectedHost() + QStringLiteral(": ") + message);
        // The library counts its timeout in whole seconds: less than one
        // left is no time for another attempt.
        const bool timeLeft = m_loginDeadline == 0 || m_loginDeadline - QDateTime::currentMSecsSinceEpoch() >= 1000;
        if (m_hostsTried < m_hosts.size() && timeLeft && TryNextHostAfter(outcomeOf(sender).ErrorNumber)) {
            m_hostIndex = (m_hostIndex + 1) % int(m_hosts.size());
            connectHost();
            return;
        }
        if (m_hostsTried < m_hosts.size() && !timeLeft)
            log(QStringLiteral("The connect timeout is over: the other hosts were not tried."));
        restoreCursor();
        if (outcomeOf(sender).PasswordExpired())
            Q_EMIT passwordExpired(message);
        return;
    }
    log(message);
    restoreCursor();
    // No session came of it: the tunnel opened for it closes as well.
    m_tunnel->Close();
    m_sshThrough.clear();
    if (outcomeOf(sender).PasswordExpired())
        Q_EMIT passwordExpired(message);
}

bool TDMstd::ChangeExpiredPassword(const QString &newPassword)
{
    if (newPassword.isEmpty())
        return false;
    m_client->setNewPassword(newPassword);
    if (ConnectProfile())
        return true;
    m_client->setNewPassword(QString());
    return false;
}

void TDMstd::ActiveClientClose(QObject *)
{
}

void TDMstd::RefreshDatabaseList()
{
    if (!m_client->Connected())
        return; // the command is off then; the library has no connection to ask
    if (!mayStart())
        return;
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
    const bool check = m_views.profile && m_views.profile->Check;
    bool appServerMet = false;
    for (const QString &name : names) {
        if (check && !appServerMet) {
            if (name == QLatin1String("appserver")) {
                Q_EMIT SetAppServerCommands(true);
                appServerMet = true;
            } else {
                Q_EMIT SetAppServerCommands(false);
            }
        }
    }
    const bool rebuild = m_rebuildTree;
    m_rebuildTree = false;
    if (tree) {
        // Within a session (the list read again, a lost session connected
        // again) the nodes still there stay as they are: the chosen database
        // stays chosen, its tables open. A new login starts afresh.
        if (rebuild || !mergeDatabaseNodes(names)) {
            tree->removeRows(0, tree->rowCount());
            QList<QStandardItem *> nodes;
            nodes.reserve(names.size());
            for (const QString &name : names)
                nodes.append(newDatabaseNode(name));
            for (QStandardItem *node : std::as_const(nodes))
                tree->appendRow(node);
        }
        QItemSelectionModel *selection = m_views.treeSelection;
        QModelIndex wanted;
        if (!m_selectAfterList.isEmpty()) {
            if (QStandardItem *node = databaseNode(m_selectAfterList))
                wanted = node->index();
            m_selectAfterList.clear();
        }
        if (!wanted.isValid() && tree->rowCount() > 0
            && (rebuild || (selection && !selection->currentIndex().isValid())))
            wanted = tree->index(0, 0);
        if (wanted.isValid() && selection)
            selection->setCurrentIndex(wanted, QItemSelectionModel::ClearAndSelect);
    }
    Q_EMIT treeFocusRequested();
    restoreCursor();
}

QStandardItem *TDMstd::newDatabaseNode(const QString &name) const
{
    auto *node = new QStandardItem(m_databaseIcon, name);
    node->setEditable(false);
    return node;
}

bool TDMstd::mergeDatabaseNodes(const QStringList &names)
{
    QStandardItemModel *tree = m_views.tree;
    const QSet<QString> wanted(names.cbegin(), names.cend());
    for (int row = tree->rowCount() - 1; row >= 0; --row) {
        if (!wanted.contains(tree->item(row)->text()))
            tree->removeRow(row);
    }
    // The nodes kept must stand in the server's order; new ones go between.
    int row = 0;
    for (const QString &name : names) {
        if (row < tree->rowCount() && tree->item(row)->text() == name) {
            ++row;
            continue;
        }
        bool later = false;
        for (int other = row + 1; other < tree->rowCount() && !later; ++other)
            later = tree->item(other)->text() == name;
        if (later)
            return false; // another order than before: built afresh
        tree->insertRow(row, newDatabaseNode(name));
        ++row;
    }
    return row == tree->rowCount();
}

void TDMstd::UseDatabase(const QString &database)
{
    if (!m_client->Connected() || !mayStart())
        return;
    m_client->setDatabase(database);
    m_client->Utility()->SelectDb(database, QStringLiteral("Select Database: ") + database);
    m_client->Utility()->Run();
}

void TDMstd::UseDatabase(const QString &database, std::function<void()> then, std::function<void()> failed)
{
    if (!m_client->Connected() || !mayStart()) {
        restoreCursor();
        if (failed)
            failed();
        return;
    }
    m_client->setDatabase(database);
    m_client->Utility()->SelectDb(
        database, QStringLiteral("Select Database: ") + database,
        [then = std::move(then)](QObject *) {
            if (then)
                then();
        },
        [this, failed = std::move(failed)](QObject *sender, const QString &message) {
            ActiveClientGeneralError(sender, message);
            if (failed)
                failed();
        });
    m_client->Utility()->Run();
}

void TDMstd::SelectDatabase(const QString &database)
{
    if (!m_client->Connected() || !mayStart())
        return;
    log(QStringLiteral("Make Database select"));
    UseDatabase(database);
    log(QStringLiteral("New Database is : ") + database);
}

void TDMstd::SelectDatabaseNode(const QString &database)
{
    if (!m_views.tree || !m_views.treeSelection)
        return;
    for (int row = 0; row < m_views.tree->rowCount(); ++row) {
        QStandardItem *node = m_views.tree->item(row);
        if (node && node->text() == database) {
            m_views.treeSelection->setCurrentIndex(node->index(), QItemSelectionModel::ClearAndSelect);
            return;
        }
    }
    m_selectAfterList = database;
    RefreshDatabaseList();
}

void TDMstd::ListTablesPlain()
{
    restoreCursor();
    m_noTableStatus = true;
    // Without the database current the listing would name another
    // database's tables under this node.
    UseDatabase(m_currentDatabase, [this] {
        m_client->Utility()->ListTables(QStringLiteral("%"), QStringLiteral("List Tables"));
        m_client->Utility()->Run();
    });
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

void TDMstd::ActiveClientModify(QObject *sender)
{
    log(outcomeOf(sender).ErrorText);
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

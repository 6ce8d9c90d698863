#include "data/replication.h"

#include "client/mySQLClient.h"
#include "data/sqlnames.h"
#include "data/tdmstd.h"

bool TReplicaConnection::needsAttention(int lagLimit) const
{
    if (!running() || !LastIoError.isEmpty() || !LastSqlError.isEmpty())
        return true;
    bool ok = false;
    const qint64 lag = SecondsBehind.toLongLong(&ok);
    return ok && lag > lagLimit;
}

QList<TReplicaConnection> ReplicaConnections(const QStringList &columns, const QList<QStringList> &rows)
{
    QList<TReplicaConnection> connections;
    for (const QStringList &row : rows) {
        const auto value = [&columns, &row](const char *name) {
            for (qsizetype column = 0; column < columns.size(); ++column) {
                if (columns.at(column).compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                    return row.value(column);
            }
            return QString();
        };
        TReplicaConnection connection;
        connection.Name = value("Connection_name");
        connection.MasterHost = value("Master_Host");
        connection.MasterPort = value("Master_Port");
        connection.IoRunning = value("Slave_IO_Running");
        connection.SqlRunning = value("Slave_SQL_Running");
        connection.SecondsBehind = value("Seconds_Behind_Master");
        connection.LastIoError = value("Last_IO_Error");
        connection.LastSqlError = value("Last_SQL_Error");
        connection.State = value("Slave_IO_State");
        connections.append(connection);
    }
    return connections;
}

QString StartReplicaStatement(const QString &connection)
{
    return connection.isEmpty() ? QStringLiteral("START SLAVE")
                                : QStringLiteral("START SLAVE ") + SqlStringLiteral(connection);
}

QString StopReplicaStatement(const QString &connection)
{
    return connection.isEmpty() ? QStringLiteral("STOP SLAVE")
                                : QStringLiteral("STOP SLAVE ") + SqlStringLiteral(connection);
}

namespace {

// The current result of the query object as column names and rows; NULL
// cells read as empty texts.
void currentResult(const TmySQLClientQuery *query, QStringList *columns, QList<QStringList> *rows)
{
    for (int column = 0; column < query->FieldCount(); ++column)
        columns->append(query->FieldName(column));
    for (int row = 0; row < query->RowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < query->FieldCount(); ++column)
            cells.append(query->Value(row, column));
        rows->append(cells);
    }
}

} // namespace

ReplicationReader::ReplicationReader(TDMstd *data, QObject *parent)
    : QObject(parent)
    , m_data(data)
{
}

bool ReplicationReader::Read()
{
    TmySQLClient *client = m_data->ActiveClient();
    if (!client->Connected() || !client->Query())
        return false;
    // With nothing running, a read still marked as under way was dropped
    // (a stop): it will not come back.
    if (m_data->statementsRunning())
        return false;
    m_reading = true;
    m_connection = client->ConnectionId();
    auto state = std::make_shared<TReplicationState>();
    TmySQLClientQuery *query = client->Query();
    const QStringList statements = {QStringLiteral("SHOW MASTER STATUS"), QStringLiteral("SHOW SLAVE HOSTS"),
                                    QStringLiteral("SHOW ALL SLAVES STATUS")};
    for (int i = 0; i < statements.size(); ++i) {
        const QString statement = statements.at(i);
        const bool last = i == statements.size() - 1;
        const auto finish = [this, state, last] {
            m_data->watchReadDone();
            if (!last)
                return;
            m_reading = false;
            m_state = *state;
            Q_EMIT stateRead(m_state);
        };
        query->Execute(
            statement, QStringLiteral("Query: ") + statement, nullptr,
            [state, statement, finish](QObject *sender, const QString &message) {
                const TmySQLClientOutcome &outcome = static_cast<TmySQLClientQuery *>(sender)->Outcome();
                if (outcome.Failed)
                    state->Errors.append(statement + QStringLiteral(": ") + (message.isEmpty() ? outcome.ErrorText : message));
                finish();
            },
            [state, i, finish](QObject *sender) {
                QStringList columns;
                QList<QStringList> rows;
                currentResult(static_cast<TmySQLClientQuery *>(sender), &columns, &rows);
                if (i == 0 && !rows.isEmpty()) {
                    state->BinlogFile = rows.first().value(columns.indexOf(QStringLiteral("File")));
                    state->BinlogPosition = rows.first().value(columns.indexOf(QStringLiteral("Position")));
                } else if (i == 1) {
                    for (const QStringList &row : rows) {
                        const auto value = [&](const char *name) {
                            return row.value(columns.indexOf(QLatin1String(name)));
                        };
                        state->Replicas.append({value("Server_id"), value("Host"), value("Port"), value("Master_id")});
                    }
                } else if (i == 2) {
                    state->Connections = ReplicaConnections(columns, rows);
                }
                finish();
            });
    }
    m_data->noteWatchReads(int(statements.size()));
    query->Run();
    return true;
}

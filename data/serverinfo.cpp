// Server information and maintenance: the variables, status and process
// listings, killing a process, the flushes, the connection options and the
// automatic log of the server's status line.

#include "data/tdmstd.h"

#include "client/mySQLClient.h"
#include "data/connectionoptions.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/sqlnames.h"

#include <QSet>

#include <array>

namespace {

// The server's answer to KILL of the connection that sends it.
constexpr unsigned ConnectionKilledError = 1927;

QString taskName(const QString &statement)
{
    return QStringLiteral("Query: ") + statement;
}

struct ProcessColumn
{
    const char *caption;
    int width;
    const char *name; // in the server's result
};

const std::array<ProcessColumn, 8> ProcessColumns = {{
    {"ID", 40, "Id"},
    {"User", 50, "User"},
    {"Host", 100, "Host"},
    {"Database", 70, "db"},
    {"Command", 70, "Command"},
    {"Time", 40, "Time"},
    {"State", 40, "State"},
    {"Info", 150, "Info"},
}};

} // namespace

void TDMstd::LoadServerInfo(const QString &statement, bool process)
{
    showHourglass();
    if (m_views.infoGrid)
        m_views.infoGrid->clear();
    submit(statement, taskName(statement),
           [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); },
           [this, process](QObject *) {
               if (process)
                   fillProcessGrid();
               else
                   fillNameValueGrid();
           });
    restoreCursor();
}

void TDMstd::fillNameValueGrid()
{
    GridModel *grid = m_views.infoGrid;
    if (!grid)
        return;
    const TmySQLClientQuery *query = m_client->Query();
    grid->clear();
    grid->setColumns({QStringLiteral("Name"), QStringLiteral("Value")}, {250, 250});
    grid->beginBulkAppend();
    for (int row = 0; row < query->RowCount(); ++row) {
        const char *cells[2] = {query->RawValue(row, 0), query->RawValue(row, 1)};
        const int lengths[2] = {query->RawLength(row, 0), query->RawLength(row, 1)};
        grid->appendRow(cells, lengths, 2);
    }
    grid->endBulkAppend();
}

void TDMstd::fillProcessGrid()
{
    GridModel *grid = m_views.infoGrid;
    if (!grid)
        return;
    const TmySQLClientQuery *query = m_client->Query();
    QStringList captions;
    QList<int> widths;
    std::array<int, ProcessColumns.size()> columns{};
    for (size_t i = 0; i < ProcessColumns.size(); ++i) {
        captions.append(QLatin1String(ProcessColumns[i].caption));
        widths.append(ProcessColumns[i].width);
        // By name: current servers add columns (Progress) to the old layout.
        const int index = query->FieldIndex(QLatin1String(ProcessColumns[i].name));
        columns[i] = index >= 0 ? index : int(i);
    }
    grid->clear();
    grid->setColumns(captions, widths);
    grid->beginBulkAppend();
    std::array<const char *, ProcessColumns.size()> cells{};
    std::array<int, ProcessColumns.size()> lengths{};
    for (int row = 0; row < query->RowCount(); ++row) {
        for (size_t i = 0; i < cells.size(); ++i) {
            cells[i] = query->RawValue(row, columns[i]);
            lengths[i] = query->RawLength(row, columns[i]);
        }
        grid->appendRow(cells.data(), lengths.data(), int(cells.size()));
    }
    grid->endBulkAppend();
}

void TDMstd::KillProcess(const QString &id)
{
    bool number = false;
    id.toULongLong(&number);
    if (!number) {
        log(QStringLiteral("Not a process id: ") + id);
        return;
    }
    const QString statement = QStringLiteral("KILL ") + id;
    // After the outcome line, what came of it: only a kill the server
    // carried out is reported as one (killing our own connection ends it
    // with the server's "Connection was killed").
    const auto killed = [this, id](QObject *sender) {
        const TmySQLClientOutcome &outcome = outcomeOf(sender);
        if (!outcome.Failed || outcome.ErrorNumber == ConnectionKilledError
            || (id == QString::number(m_client->ConnectionId()) && outcome.LostConnection()))
            log(QStringLiteral("Killed ") + id);
    };
    submit(statement, taskName(statement),
           [this, killed](QObject *sender, const QString &message) {
               ActiveClientGeneralError(sender, message);
               killed(sender);
           },
           [this, killed](QObject *sender) {
               ActiveClientModify(sender);
               killed(sender);
           });
}

void TDMstd::KillQuery(const QString &id)
{
    bool number = false;
    id.toULongLong(&number);
    if (!number) {
        log(QStringLiteral("Not a process id: ") + id);
        return;
    }
    // The process's statement ends with the server's "Query execution was
    // interrupted"; its connection stays.
    const QString statement = QStringLiteral("KILL QUERY ") + id;
    submit(statement, taskName(statement),
           [this, id](QObject *sender, const QString &message) {
               ActiveClientGeneralError(sender, message);
               if (!outcomeOf(sender).Failed)
                   log(QStringLiteral("Query of %1 killed").arg(id));
           },
           [this](QObject *sender) { ActiveClientModify(sender); });
}

void TDMstd::Flush(const QString &statement)
{
    // The flush goes out even when "mysql" cannot be made current.
    const auto flush = [this, statement] {
        RunStatement(statement);
        log(QStringLiteral("Flush OK ..."));
    };
    UseDatabase(QStringLiteral("mysql"), flush, flush);
}

void TDMstd::SetConnectionOption(const QString &action, const QString &value)
{
    const ConnectionOption *option = connectionOption(action);
    if (!option || value.isEmpty())
        return;
    const QStringList names = ConnectionOptionNames(*option);
    const auto send = [this, value](const QString &name) {
        RunStatement(QStringLiteral("set ") + name + QStringLiteral(" = ") + value);
    };
    const auto lookUp = [this, names, send] {
        if (names.size() == 1) {
            send(names.first());
            return;
        }
        // Several names: the first that the connected server knows. A server
        // that knows none gets the first and answers with its error.
        QStringList literals;
        for (const QString &name : names)
            literals.append(SqlStringLiteral(name.toLower()));
        const QString statement = QStringLiteral("SHOW VARIABLES WHERE Variable_name IN (")
            + literals.join(QLatin1Char(',')) + QLatin1Char(')');
        submit(statement, taskName(statement),
               [names, send](QObject *, const QString &) { send(names.first()); },
               [this, names, send](QObject *) {
                   const TmySQLClientQuery *query = m_client->Query();
                   QSet<QString> known;
                   for (int row = 0; row < query->RowCount(); ++row)
                       known.insert(query->Value(row, 0).toLower());
                   for (const QString &name : names) {
                       if (known.contains(name.toLower())) {
                           send(name);
                           return;
                       }
                   }
                   send(names.first());
               });
    };
    UseDatabase(QStringLiteral("mysql"), lookUp, lookUp);
}

bool TDMstd::ReadServerStatus(StatementDone done)
{
    if (!m_client->Connected())
        return false;
    // One read at a time: a slow server gets no queue of status reads.
    if (m_statusReadPending && m_statusReadConnection == m_client->ConnectionId())
        return false;
    m_statusReadPending = true;
    m_statusReadConnection = m_client->ConnectionId();
    TmySQLClientUtility *utility = m_client->Utility();
    utility->Stat(
        QStringLiteral("Server Status"),
        [this, done](QObject *sender) {
            m_statusReadPending = false;
            if (m_views.autoLog)
                m_views.autoLog->append(m_client->Utility()->ResultNames().value(0));
            if (done)
                done(outcomeOf(sender));
        },
        [this, done](QObject *sender, const QString &) {
            m_statusReadPending = false;
            if (m_views.autoLog)
                m_views.autoLog->append(QString());
            if (done)
                done(outcomeOf(sender));
        });
    utility->Run();
    return true;
}

void TDMstd::ReportAutoLog(bool active)
{
    log(active ? QStringLiteral("Automatic log active") : QStringLiteral("Automatic log stopt"));
}

void TDMstd::ClearAutoLog()
{
    if (m_views.autoLog)
        m_views.autoLog->clear();
}

void TDMstd::ClearMessageLog()
{
    if (m_views.log)
        m_views.log->clear();
}

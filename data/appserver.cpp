// The application server's tables in the "appserver" database: the job grid,
// the message grid, and the changes to both.

#include "data/tdmstd.h"

#include "client/mySQLClient.h"
#include "data/gridmodel.h"

#include <QByteArray>

#include <array>
#include <vector>

namespace {

const QString AppServerDatabase = QStringLiteral("appserver");

QString taskName(const QString &statement)
{
    return QStringLiteral("Query: ") + statement;
}

// The job grid's cells by result column: the visible nine, then the id.
const std::array<const char *, JobIdCell + 1> JobColumns = {
    "art", "action", "variable", "status", "idate", "interv", "isinterv", "mailst", "address", "id",
};

// Takes the rows whose id cell is not `id` into a fresh fill of the grid,
// NULL cells kept apart from empty ones.
void removeJobRows(GridModel *grid, const QString &id)
{
    std::vector<std::array<QByteArray, JobIdCell + 1>> kept;
    std::vector<std::array<bool, JobIdCell + 1>> nulls;
    for (int row = 0; row < grid->rowCount(); ++row) {
        if (grid->text(row, JobIdCell) == id)
            continue;
        std::array<QByteArray, JobIdCell + 1> cells;
        std::array<bool, JobIdCell + 1> null{};
        for (int c = 0; c <= JobIdCell; ++c) {
            cells[size_t(c)] = grid->text(row, c).toUtf8();
            null[size_t(c)] = grid->isNull(row, c);
        }
        kept.push_back(std::move(cells));
        nulls.push_back(null);
    }
    if (int(kept.size()) == grid->rowCount())
        return;
    grid->clearRows();
    grid->beginBulkAppend();
    std::array<const char *, JobIdCell + 1> pointers{};
    for (size_t row = 0; row < kept.size(); ++row) {
        for (size_t c = 0; c < pointers.size(); ++c)
            pointers[c] = nulls[row][c] ? nullptr : kept[row][c].constData();
        grid->appendRow(pointers.data(), int(pointers.size()));
    }
    grid->endBulkAppend();
}

} // namespace

void TDMstd::readAppServerTable(const QString &statement, void (TDMstd::*fill)())
{
    showHourglass();
    UseDatabase(AppServerDatabase, [this, statement, fill] {
        // A refused read leaves its grid as it was and says why in the log.
        submit(statement, taskName(statement),
               [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); },
               [this, fill](QObject *) {
                   showHourglass();
                   (this->*fill)();
                   restoreCursor();
               });
    });
    restoreCursor();
}

void TDMstd::LoadApplications()
{
    readAppServerTable(JobSelectStatement(), &TDMstd::fillApplicationGrid);
}

void TDMstd::fillApplicationGrid()
{
    GridModel *grid = m_views.jobGrid;
    const TmySQLClientQuery *query = m_client->Query();
    if (!grid || !query)
        return;
    std::array<int, JobColumns.size()> columns{};
    for (size_t c = 0; c < columns.size(); ++c)
        columns[c] = query->FieldIndex(QLatin1String(JobColumns[c]));
    grid->clearRows();
    grid->beginBulkAppend();
    std::array<const char *, JobColumns.size()> cells{};
    // In the server's order, not sorted.
    for (int row = 0; row < query->RowCount(); ++row) {
        for (size_t c = 0; c < cells.size(); ++c)
            cells[c] = columns[c] >= 0 ? query->RawValue(row, columns[c]) : "";
        grid->appendRow(cells.data(), int(cells.size()));
    }
    grid->endBulkAppend();
}

void TDMstd::LoadApplicationMessages()
{
    readAppServerTable(MessageSelectStatement(), &TDMstd::fillMessageGrid);
}

void TDMstd::fillMessageGrid()
{
    GridModel *grid = m_views.messageGrid;
    const TmySQLClientQuery *query = m_client->Query();
    if (!grid || !query)
        return;
    // By position: the select names its columns, and two of them are both
    // called "action". Shown: the job's name, the message, level and user.
    const std::array<int, 4> columns = {0, 3, 4, 5};
    grid->clearRows();
    grid->beginBulkAppend();
    std::array<const char *, columns.size()> cells{};
    for (int row = 0; row < query->RowCount(); ++row) {
        for (size_t c = 0; c < cells.size(); ++c)
            cells[c] = columns[c] < query->FieldCount() ? query->RawValue(row, columns[c]) : "";
        grid->appendRow(cells.data(), int(cells.size()));
    }
    grid->endBulkAppend();
}

void TDMstd::runAppServerStatement(const QString &statement, StatementDone done)
{
    showHourglass();
    UseDatabase(AppServerDatabase, [this, statement, done] { RunStatement(statement, done); });
    restoreCursor();
}

void TDMstd::InsertApplication(const TApplicationJob &job, std::function<void()> then)
{
    runAppServerStatement(JobInsertStatement(job), [then](const TmySQLClientOutcome &) {
        if (then)
            then();
    });
}

void TDMstd::UpdateApplication(const TApplicationJob &job, std::function<void()> then)
{
    runAppServerStatement(JobUpdateStatement(job), [then](const TmySQLClientOutcome &) {
        if (then)
            then();
    });
}

void TDMstd::CancelApplication(const QString &id)
{
    // The row is found by its id when the answer comes: the grid may have
    // been read again meanwhile.
    runAppServerStatement(JobCancelStatement(id), [this, id](const TmySQLClientOutcome &outcome) {
        if (!outcome.Failed && m_views.jobGrid)
            removeJobRows(m_views.jobGrid, id);
    });
}

void TDMstd::ClearApplicationMessages()
{
    runAppServerStatement(MessageClearStatement(), [this](const TmySQLClientOutcome &outcome) {
        if (!outcome.Failed && m_views.messageGrid)
            m_views.messageGrid->clearRows();
    });
}

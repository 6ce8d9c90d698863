// A query's result read row by row from the server into a sink while the
// rows arrive, instead of stored whole first: memory is the sink's affair,
// and the window hears of the rows a few times a second.

#include "client/mysqlclienttask.h"

#include "client/mysqlresultrows.h"

#include <QElapsedTimer>

namespace {

// How often the rows so far are published and reported.
constexpr qint64 ReportMs = 100;
// The server's number and text of a statement ended by KILL QUERY.
constexpr unsigned int QueryInterrupted = 1317;

} // namespace

void TmySQLClientTaskHandler::postProgress(const TmySQLClientTaskData &task, int current)
{
    if (!task.OnTaskProgress)
        return;
    auto note = std::make_unique<TmySQLClientTaskData>();
    note->Kind = task.Kind;
    note->TaskName = task.TaskName;
    note->Serial = task.Serial;
    note->Epoch = task.Epoch;
    note->Batch = task.Batch;
    note->OnTaskProgress = task.OnTaskProgress;
    note->OnProgress = task.OnProgress;
    note->ProgressCurrent = current;
    post(std::move(note), TaskProgress);
}

qint64 TmySQLClientTaskHandler::waitingRows(const TmySQLClientTaskData &task)
{
    return (task.Rows ? task.Rows->rowCount() : 0) + (task.Streamed ? task.RowsRead : 0);
}

bool TmySQLClientTaskHandler::StreamResult(TmySQLClientTaskData *task, bool *rows)
{
    *rows = false;
    const MySqlApi &api = mysqlApi;
    TmySQLClientOutcome &outcome = task->Outcome;
    auto failure = [&](unsigned int number, const QString &text) {
        outcome.Failed = true;
        outcome.ErrorNumber = number;
        outcome.ErrorText = text.left(200);
        outcome.AffectedRows = -1;
        task->Status = -1;
        return false;
    };
    if (!api.mysql_use_result || !api.mysql_fetch_row || !api.mysql_fetch_lengths || !api.mysql_free_result)
        return failure(0, QStringLiteral("The client library has no entry point for reading rows one by one"));
    MYSQL_RES *result = api.mysql_use_result(m_handle);
    if (!result) {
        if (api.mysql_field_count && api.mysql_field_count(m_handle) != 0)
            return failure(api.mysql_errno ? api.mysql_errno(m_handle) : 0, handleError());
        return true; // no result set: the task ends without one, as a stored query does
    }
    *rows = true;
    task->RowsRead = 0;
    std::vector<TmySQLField> fields = TmySQLResultRows::readFields(result);
    TmySQLRowSink &sink = *task->Sink;
    sink.begin(fields);
    task->Rows = std::make_shared<TmySQLResultRows>(std::move(fields));
    task->Streamed = true;
    // The columns are known: the window may show them before the first row.
    postProgress(*task, 0);

    QElapsedTimer sinceReport;
    sinceReport.start();
    int kept = 0;
    bool keep = true;
    bool skipped = false;
    QString sinkError;
    while (MYSQL_ROW row = api.mysql_fetch_row(result)) {
        ++task->RowsRead;
        if (keep) {
            if (m_stopEpoch.load(std::memory_order_relaxed) > task->Epoch) {
                // Stopped: the server has been told; what it still sends is
                // read and dropped, which leaves the connection in step.
                keep = false;
                skipped = true;
            } else if (!sink.append(row, api.mysql_fetch_lengths(result))) {
                keep = false;
                sinkError = sink.errorString();
            } else {
                ++kept;
            }
        } else {
            skipped = true;
        }
        // The first row at once, later ones a few times a second.
        if (keep && (kept == 1 || (kept % 256 == 0 && sinceReport.elapsed() >= ReportMs))) {
            sink.publish();
            postProgress(*task, kept);
            sinceReport.restart();
        }
    }
    const unsigned int error = api.mysql_errno ? api.mysql_errno(m_handle) : 0;
    const QString errorText = error != 0 ? handleError() : QString();
    sink.publish();
    api.mysql_free_result(result);
    if (error != 0)
        return failure(error, errorText);
    if (!sinkError.isEmpty())
        return failure(0, sinkError);
    if (skipped)
        return failure(QueryInterrupted, QStringLiteral("Query execution was interrupted"));
    return true;
}

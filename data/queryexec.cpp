// Running the editor's script statement by statement, the query result grid,
// and the one-statement runner of the database and table commands.

#include "data/tdmstd.h"

#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/history.h"
#include "data/messagelog.h"
#include "data/resultrowsource.h"
#include "data/resultstream.h"
#include "data/scripteditor.h"
#include "data/scriptsplitter.h"
#include "data/splitpiece.h"
#include "data/sqlnames.h"

// One run of a script: where the splitter stands and how many statements
// have been sent. A few statements are queued ahead of the outcomes being
// handled, so the worker never waits for the window; they form one batch of
// the client, whose first failing statement drops the rest of it unrun.
// Each outcome travels with its statement, so nothing reads an outcome that
// a later statement has replaced.
struct ScriptRun
{
    ScriptRun(const QString &script, int offset, const QString &delimiter, const QString &database)
        : splitter(script, delimiter)
        , script(script)
        , offset(offset)
        , database(database)
    {
    }

    // Statements queued ahead: enough to hide the hand-over between the
    // threads, few enough to keep the results waiting small.
    static constexpr int Ahead = 32;

    ScriptSplitter splitter;
    QString script;
    int offset = 0; // where the script stands in the editor's text
    QString database; // current for the next statement queued (a USE changes it)
    quint64 batch = TmySQLClientQuery::NewBatch();
    int number = 0;
    int queued = 0;     // sent, outcome not yet handled
    bool ended = false; // no more statements, or one failed
};

void TDMstd::ExecuteScript(const QString &database, const QString &script)
{
    ExecuteScript(database, script, 0, QStringLiteral(";"));
}

void TDMstd::ExecuteScript(const QString &database, const QString &script, int offset, const QString &delimiter)
{
    if (!m_client->Query() || !mayStart())
        return;
    showHourglass();
    m_scriptRunning = true;
    m_scriptDatabase.clear();
    m_scriptStopped = false;
    // The result tabs of the last run stay until this run returns a result.
    m_runResultCount = 0;
    auto run = std::make_shared<ScriptRun>(script, offset, delimiter, database);
    // The statements run only in the database the user chose; when it
    // cannot be made current (dropped meanwhile), none is sent.
    UseDatabase(database, [this, run] { runNextStatement(run); }, [this] { finishScript(false); });
}

void TDMstd::runNextStatement(const std::shared_ptr<ScriptRun> &run)
{
    TmySQLClientQuery *query = m_client->Query();
    if (!query || !m_scriptRunning || m_scriptStopped)
        run->ended = true;
    // One pass over the script: a ";" in a quoted text or a comment does not
    // cut, and an empty piece between two ";" is skipped, not the end.
    ScriptStatement statement;
    while (!run->ended && run->queued < ScriptRun::Ahead) {
        if (!run->splitter.next(&statement)) {
            run->ended = true;
            break;
        }
        ++run->number;
        ++run->queued;
        const int from = run->offset + statement.offset;
        const int to = from + int(statement.text.size());
        // The statements after a USE run in its database (when it fails,
        // they are not sent at all).
        const QString database = run->database;
        QString used;
        const bool use = UsedDatabase(statement.text, &used);
        if (use)
            run->database = used;
        const QString text = statement.text;
        const int statementOffset = statement.offset;
        auto reported = [this, run, use, used, text](const TmySQLClientOutcome &outcome, const QString &results) {
            if (use) {
                m_scriptDatabase = used;
                m_client->setDatabase(used);
            }
            // The statement named beside its outcome: in a long run the
            // lines tell which statement each belongs to.
            QString line = QStringLiteral("Affected rows:") + QString::number(outcome.AffectedRows)
                + QStringLiteral("   ") + StatementCaption(text);
            if (!results.isEmpty())
                line += QStringLiteral("   (") + results + QLatin1Char(')');
            log(line);
            --run->queued;
            runNextStatement(run);
        };
        // The rows of a result go to the grid while they arrive.
        const std::shared_ptr<StreamedRows> streamed = newStreamedRows();
        query->Execute(
            statement.text, QString::number(run->number),
            [this, streamed](QObject *, const QString &, int current, int) {
                // 0: the columns of a result set (a CALL sends several).
                const bool first = current == 0;
                streamedRowsArrived(m_views.queryGrid, streamed, current, first);
                if (first)
                    Q_EMIT pageRequested(QStringLiteral("Active SQL"), QStringLiteral("Query  Data"));
            },
            [this, run, from, to, reported, text, database, statementOffset, streamed](QObject *sender,
                                                                                        const QString &message) {
                // A statement without a result set arrives here too, with an
                // empty text; only the library's own verdict makes it a failure.
                const TmySQLClientOutcome outcome = outcomeOf(sender);
                recordStatement(text, database, outcome, -1);
                // Rows read before a failure (a stop) stay shown, and the
                // result sets before them keep their tabs.
                if (showAllStreamedRows(m_views.queryGrid, streamed))
                    takeRunResults(text, streamed);
                log(message);
                if (outcome.Failed) {
                    const int line = editorLineOf(run->offset)
                        + int(QStringView(run->script).left(statementOffset).count(QLatin1Char('\n')));
                    log(QStringLiteral("Error in line %1: %2").arg(line).arg(StatementCaption(text)));
                    // The client has dropped the statements queued after it.
                    run->ended = true;
                    locateError(message, from, to);
                    finishScript(false);
                    return;
                }
                reported(outcome, QString());
            },
            [this, reported, text, database, streamed](QObject *sender) {
                const TmySQLClientOutcome outcome = outcomeOf(sender);
                const TmySQLClientQuery *query = m_client->Query();
                const std::shared_ptr<RowStore> store = streamed->store();
                // Of rows read one by one the client keeps none: the store
                // counts them.
                recordStatement(text, database, outcome, store ? store->rowCount() : query ? query->RowCount() : -1);
                log(outcome.ErrorText);
                if (store)
                    showAllStreamedRows(m_views.queryGrid, streamed);
                else
                    fillQueryGrid();
                reported(outcome, takeRunResults(text, streamed));
            },
            run->batch, streamed);
    }
    query = m_client->Query();
    if (query && run->queued > 0)
        query->Run();
    if (run->ended && run->queued == 0)
        finishScript(!m_scriptStopped);
}

void TDMstd::finishScript(bool completed)
{
    if (!m_scriptRunning)
        return;
    m_scriptRunning = false;
    restoreCursor();
    Q_EMIT scriptFinished(completed);
    if (!m_scriptDatabase.isEmpty()) {
        const QString database = m_scriptDatabase;
        m_scriptDatabase.clear();
        Q_EMIT scriptChangedDatabase(database);
    }
}

void TDMstd::recordStatement(const QString &statement, const QString &database, const TmySQLClientOutcome &outcome,
                             qint64 rows)
{
    if (!m_views.history)
        return;
    HistoryEntry entry;
    entry.database = database;
    entry.statement = statement;
    entry.microseconds = outcome.ElapsedMicroseconds;
    entry.rows = outcome.Failed ? -1 : rows;
    entry.affectedRows = outcome.AffectedRows;
    entry.failed = outcome.Failed;
    entry.message = outcome.Failed ? outcome.ErrorText : QString();
    m_views.history->record(std::move(entry));
}

QString TDMstd::StatementCaption(const QString &statement)
{
    constexpr int Length = 60;
    const QString line = statement.simplified();
    return line.size() > Length ? line.left(Length) + QChar(0x2026) : line;
}

int TDMstd::editorLineOf(int offset) const
{
    // 1 for the first line of the editor's text.
    if (offset <= 0 || !m_views.editor)
        return 1;
    return 1 + int(QStringView(m_views.editor->scriptText()).left(offset).count(QLatin1Char('\n')));
}

QString TDMstd::takeRunResults(const QString &statement, const std::shared_ptr<StreamedRows> &streamed)
{
    const TmySQLClientQuery *query = m_client->Query();
    if (m_runResultCount == 0)
        m_runResults.clear();
    QList<TQueryRunResult> taken;
    const std::vector<StreamedRows::Result> rowStores = streamed ? streamed->results() : std::vector<StreamedRows::Result>();
    if (!rowStores.empty()) {
        // The result sets the sink let go still count in the numbering.
        m_runResultCount += streamed->droppedResults();
        for (const StreamedRows::Result &result : rowStores) {
            TQueryRunResult entry;
            entry.rows = result.store->rowCount();
            entry.source = result.store;
            entry.columns = std::make_shared<TmySQLResultRows>(result.fields);
            entry.streamed = true;
            taken.append(std::move(entry));
        }
    } else if (query) {
        std::vector<std::shared_ptr<const TmySQLResultRows>> results = query->EarlierResults();
        results.push_back(query->Result());
        for (const std::shared_ptr<const TmySQLResultRows> &result : results) {
            TQueryRunResult entry;
            entry.rows = result ? result->rowCount() : 0;
            entry.source = std::make_shared<ResultRowSource>(result, result ? result->fieldCount() : 0);
            entry.columns = result;
            taken.append(std::move(entry));
        }
    } else {
        return QString();
    }
    QStringList captions;
    for (TQueryRunResult &entry : taken) {
        entry.number = ++m_runResultCount;
        entry.statement = statement;
        captions.append(QStringLiteral("Result %1 \u2013 %2").arg(entry.number).arg(RowsCaption(entry.rows)));
        m_runResults.append(std::move(entry));
    }
    // A script of many SELECTs keeps the newest results only, and the
    // earlier ones hold a bounded number of rows beside the last.
    constexpr qint64 MaxEarlierRows = 1000000;
    while (m_runResults.size() > MaxRunResults)
        m_runResults.removeFirst();
    qint64 earlierRows = 0;
    for (int i = 0; i + 1 < m_runResults.size(); ++i)
        earlierRows += m_runResults.at(i).rows;
    while (m_runResults.size() > 1 && earlierRows > MaxEarlierRows) {
        earlierRows -= m_runResults.first().rows;
        m_runResults.removeFirst();
    }
    Q_EMIT runResultsChanged();
    return captions.join(QStringLiteral(", "));
}

QString TDMstd::RowsCaption(int rows)
{
    return rows == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(rows);
}

void TDMstd::FillRunResultGrid(int index, GridModel *grid)
{
    if (!grid || index < 0 || index >= m_runResults.size())
        return;
    const TQueryRunResult &result = m_runResults.at(index);
    if (!result.streamed) {
        fillResultGrid(grid, result.columns);
        return;
    }
    // The grid reads the row store the rows streamed into, as the query
    // grid did: nothing is copied.
    grid->clear();
    QStringList captions;
    QList<int> widths;
    for (const QString &name : result.columns->fieldNames()) {
        captions.append(name);
        widths.append(GridModel::AutoWidth);
    }
    grid->setColumns(captions, widths);
    grid->adoptRows(result.source);
    describeColumns(grid, result.columns);
}

void TDMstd::fillResultGrid(GridModel *grid, const std::shared_ptr<const TmySQLResultRows> &result)
{
    grid->clear();
    QStringList captions;
    QList<int> widths;
    if (result) {
        for (const QString &name : result->fieldNames()) {
            captions.append(name);
            widths.append(GridModel::AutoWidth);
        }
    }
    grid->setColumns(captions, widths);
    // The rows stay where the client keeps them, in the server's order.
    showRows(grid, result, int(captions.size()), -1);
    describeColumns(grid, result);
}

void TDMstd::locateError(const QString &error, int from, int to)
{
    // The text between the first two single quotes of the server's message,
    // and of a qualified db.tbl only the part after the first ".". It is
    // looked for in the failing statement first: the same text often stands
    // earlier in the script.
    QString fragment = SplitPieceTrimmed(error, QStringLiteral("'"), 1);
    if (fragment.contains(QLatin1Char('.')))
        fragment = SplitPieceTrimmed(fragment, QStringLiteral("."), 1);
    if (m_views.editor && m_views.editor->selectErrorFragment(fragment, from, to))
        m_views.editor->toggleErrorMarkAtCaretLine();
    Q_EMIT pageRequested(QStringLiteral("Active SQL"), QStringLiteral("SQL Query"));
}

void TDMstd::fillQueryGrid()
{
    GridModel *grid = m_views.queryGrid;
    const TmySQLClientQuery *query = m_client->Query();
    if (grid && query)
        fillResultGrid(grid, query->Result());
    Q_EMIT pageRequested(QStringLiteral("Active SQL"), QStringLiteral("Query  Data"));
}

void TDMstd::FillQueryGrid(QObject *)
{
    showHourglass();
    fillQueryGrid();
    restoreCursor();
}

void TDMstd::RunStatement(const QString &statement, StatementDone done)
{
    showHourglass();
    auto finished = std::make_shared<StatementDone>(std::move(done));
    submit(statement, QStringLiteral("Query: ") + statement,
           [this, finished](QObject *sender, const QString &message) {
               const TmySQLClientOutcome outcome = outcomeOf(sender);
               ActiveClientGeneralError(sender, message);
               if (*finished)
                   (*finished)(outcome);
           },
           [this, finished](QObject *sender) {
               const TmySQLClientOutcome outcome = outcomeOf(sender);
               ActiveClientModify(sender);
               if (*finished)
                   (*finished)(outcome);
           });
    restoreCursor();
}

// Running the editor's script statement by statement, the query result grid,
// and the one-statement runner of the database and table commands.

#include "data/tdmstd.h"

#include "client/mySQLClient.h"
#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/resultrowsource.h"
#include "data/scripteditor.h"
#include "data/scriptsplitter.h"
#include "data/splitpiece.h"

// One run of a script: where the splitter stands and how many statements
// have been sent. Each statement is sent from the outcome of the one before,
// so nothing runs after a failure and nothing reads an outcome that a later
// statement has already replaced.
struct ScriptRun
{
    explicit ScriptRun(const QString &script)
        : splitter(script)
    {
    }

    ScriptSplitter splitter;
    int number = 0;
};

void TDMstd::ExecuteScript(const QString &database, const QString &script)
{
    if (!m_client->Query() || !mayStart())
        return;
    showHourglass();
    m_scriptRunning = true;
    auto run = std::make_shared<ScriptRun>(script);
    // The statements run only in the database the user chose; when it
    // cannot be made current (dropped meanwhile), none is sent.
    UseDatabase(database, [this, run] { runNextStatement(run); }, [this] { finishScript(false); });
}

void TDMstd::runNextStatement(const std::shared_ptr<ScriptRun> &run)
{
    TmySQLClientQuery *query = m_client->Query();
    ScriptStatement statement;
    // One pass over the script: a ";" in a quoted text or a comment does not
    // cut, and an empty piece between two ";" is skipped, not the end.
    if (!query || !run->splitter.next(&statement)) {
        finishScript(true);
        return;
    }
    ++run->number;
    const int from = statement.offset;
    const int to = statement.offset + int(statement.text.size());
    auto reported = [this, run](const TmySQLClientOutcome &outcome) {
        log(QStringLiteral("Affected rows:") + QString::number(outcome.AffectedRows));
        runNextStatement(run);
    };
    query->Execute(
        statement.text, QString::number(run->number), {},
        [this, from, to, reported](QObject *sender, const QString &message) {
            // A statement without a result set arrives here too, with an
            // empty text; only the library's own verdict makes it a failure.
            const TmySQLClientOutcome outcome = outcomeOf(sender);
            log(message);
            if (outcome.Failed) {
                locateError(message, from, to);
                finishScript(false);
                return;
            }
            reported(outcome);
        },
        [this, reported](QObject *sender) {
            const TmySQLClientOutcome outcome = outcomeOf(sender);
            log(outcome.ErrorText);
            fillQueryGrid();
            reported(outcome);
        });
    query->Run();
}

void TDMstd::finishScript(bool completed)
{
    if (!m_scriptRunning)
        return;
    m_scriptRunning = false;
    restoreCursor();
    Q_EMIT scriptFinished(completed);
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
    if (grid && query) {
        grid->clear();
        QStringList captions;
        QList<int> widths;
        for (int c = 0; c < query->FieldCount(); ++c) {
            captions.append(query->FieldName(c));
            widths.append(GridModel::AutoWidth);
        }
        grid->setColumns(captions, widths);
        // The rows stay where the client keeps them, in the server's order.
        showRows(grid, query->Result(), int(captions.size()), -1);
        describeColumns(grid, query->Result());
    }
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

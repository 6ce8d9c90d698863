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

void TDMstd::ExecuteScript(const QString &database, const QString &script)
{
    showHourglass();
    UseDatabase(database);
    TmySQLClientQuery *query = m_client->Query();
    if (!query) {
        restoreCursor();
        return;
    }
    // One pass over the script: a ";" in a quoted text or a comment does not
    // cut, and an empty piece between two ";" is skipped, not the end.
    ScriptSplitter splitter(script);
    ScriptStatement statement;
    int number = 0;
    bool sent = false;
    while (splitter.next(&statement)) {
        ++number;
        sent = true;
        query->Execute(statement.text, QString::number(number), {},
                       [this](QObject *sender, const QString &message) { ActiveClientSqlError(sender, message); },
                       [this](QObject *sender) { FillQueryGrid(sender); });
        query->Run();
        const QString error = lastError();
        log(error);
        const int affected = m_client->Utility()->AffectedRows();
        if (affected == -1) {
            locateError(error);
            return;
        }
        log(QStringLiteral("Affected rows:") + QString::number(affected));
    }
    if (!sent)
        restoreCursor();
}

void TDMstd::locateError(const QString &error)
{
    // The text between the first two single quotes of the server's message,
    // and of a qualified db.tbl only the part after the first ".".
    QString fragment = SplitPieceTrimmed(error, QStringLiteral("'"), 1);
    if (fragment.contains(QLatin1Char('.')))
        fragment = SplitPieceTrimmed(fragment, QStringLiteral("."), 1);
    if (m_views.editor && m_views.editor->selectFirstMatch(fragment))
        m_views.editor->toggleErrorMarkAtCaretLine();
    restoreCursor();
    Q_EMIT pageRequested(QStringLiteral("Active SQL"), QStringLiteral("SQL Query"));
}

void TDMstd::FillQueryGrid(QObject *)
{
    GridModel *grid = m_views.queryGrid;
    const TmySQLClientQuery *query = m_client->Query();
    showHourglass();
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
    }
    Q_EMIT pageRequested(QStringLiteral("Active SQL"), QStringLiteral("Query  Data"));
    restoreCursor();
}

void TDMstd::RunStatement(const QString &statement)
{
    showHourglass();
    submit(statement, QStringLiteral("Query: ") + statement,
           [this](QObject *sender, const QString &message) { ActiveClientGeneralError(sender, message); },
           [this](QObject *sender) { ActiveClientModify(sender); });
    restoreCursor();
}

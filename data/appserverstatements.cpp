// The statements of the application server's job and message tables. Every
// value goes in as a string literal, so quotes, backslashes and line breaks
// typed in a field are stored as typed, in every SQL mode.

#include "data/appserverstatements.h"

#include "data/gridmodel.h"
#include "data/sqlnames.h"

#include <QStringList>

QString JobSelectStatement()
{
    return QStringLiteral("select art,action,variable,status,idate,interv,isinterv,mailst,address,id from action "
                          "where storno=")
        + SqlStringLiteral(QStringLiteral("N"));
}

QString MessageSelectStatement()
{
    return QStringLiteral("select action.action,action.id,error.action, error.error,error.level,error.user "
                          "from action,error where error.action = action.id");
}

QString JobInsertStatement(const TApplicationJob &job)
{
    // Without a status the column is left out with its value, so the table's
    // default applies; nine columns with eight values would only be refused.
    const bool withStatus = !job.status.isEmpty();
    QStringList columns = {QStringLiteral("art"), QStringLiteral("action"), QStringLiteral("variable")};
    QStringList values = {SqlStringLiteral(job.art), SqlStringLiteral(job.action), SqlStringLiteral(job.variable)};
    if (withStatus) {
        columns << QStringLiteral("status");
        values << SqlStringLiteral(job.status);
    }
    columns << QStringLiteral("idate") << QStringLiteral("interv") << QStringLiteral("isinterv")
            << QStringLiteral("mailst") << QStringLiteral("address");
    values << SqlStringLiteral(job.idate) << SqlStringLiteral(job.interv)
           << SqlStringLiteral(job.isinterv ? QStringLiteral("Y") : QStringLiteral("N")) << SqlStringLiteral(job.mailst)
           << SqlStringLiteral(job.address);
    return QStringLiteral("insert into action (") + columns.join(QLatin1Char(',')) + QStringLiteral(") values(")
        + values.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString JobUpdateStatement(const TApplicationJob &job)
{
    // A column that held NULL and was left alone keeps it.
    const auto set = [&job](const char *column, const QString &value) {
        const QString name = QLatin1String(column);
        return name + QLatin1Char('=') + (job.nulls.contains(name) ? QStringLiteral("NULL") : SqlStringLiteral(value));
    };
    // Without a status the job keeps the one it has.
    QStringList assignments = {set("art", job.art), set("action", job.action), set("variable", job.variable)};
    if (!job.status.isEmpty())
        assignments << set("status", job.status);
    assignments << set("idate", job.idate) << set("interv", job.interv)
                << set("isinterv", job.isinterv ? QStringLiteral("Y") : QStringLiteral("N"))
                << set("mailst", job.mailst) << set("address", job.address);
    return QStringLiteral("update action set ") + assignments.join(QLatin1Char(',')) + QStringLiteral(" where id =")
        + SqlStringLiteral(job.id);
}

QString JobCancelStatement(const QString &id)
{
    return QStringLiteral("update action set storno=") + SqlStringLiteral(QStringLiteral("Y"))
        + QStringLiteral(" where id =") + SqlStringLiteral(id);
}

QString MessageClearStatement()
{
    return QStringLiteral("delete from error");
}

TApplicationJob ApplicationJobFromGrid(const GridModel &grid, int row)
{
    TApplicationJob job;
    job.art = grid.text(row, 0);
    job.action = grid.text(row, 1);
    job.variable = grid.text(row, 2);
    job.status = grid.text(row, 3);
    job.idate = grid.text(row, 4);
    job.interv = grid.text(row, 5);
    job.isinterv = grid.text(row, 6) == QLatin1String("Y");
    job.mailst = grid.text(row, 7);
    job.address = grid.text(row, 8);
    job.id = grid.text(row, JobIdCell);
    static const char *const columns[] = {"art",    "action",   "variable", "status", "idate",
                                          "interv", "isinterv", "mailst",   "address"};
    for (int c = 0; c < JobIdCell; ++c) {
        if (grid.isNull(row, c))
            job.nulls.insert(QLatin1String(columns[c]));
    }
    return job;
}

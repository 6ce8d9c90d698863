#pragma once

// The job and message tables of the application server ("appserver"
// database, tables `action` and `error`): one job as the dialog hands it
// over, and the statements that read and change the tables.

#include <QSet>
#include <QString>

class GridModel;

// One job. The codes are stored as they are: art "F" (file system) or "D"
// (database); status "W", "O", "E", "Q", or empty when none was chosen;
// mailst "E" (mail on error) or "O" (mail on success).
struct TApplicationJob
{
    QString art;
    QString action;
    QString variable;
    QString status;
    QString idate;
    QString interv;
    bool isinterv = false;
    QString mailst;
    QString address;
    QString id; // the row's key; empty for a new job
    // The columns (art, action, variable, status, idate, interv, isinterv,
    // mailst, address) that hold NULL and keep it on an update: nobody
    // changed their field, and an empty text is no NULL (a DATETIME refuses
    // it in strict mode).
    QSet<QString> nulls;
};

// The job grid holds the id in a cell after its visible columns.
constexpr int JobIdCell = 9;

QString JobSelectStatement();
QString MessageSelectStatement();
QString JobInsertStatement(const TApplicationJob &job);
QString JobUpdateStatement(const TApplicationJob &job);
QString JobCancelStatement(const QString &id);
QString MessageClearStatement();

// A row of the job grid as its cells stand; NULL cells are named in nulls.
TApplicationJob ApplicationJobFromGrid(const GridModel &grid, int row);

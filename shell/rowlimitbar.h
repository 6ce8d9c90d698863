#pragma once

#include "data/datagridrows.h"

#include <QWidget>

class QAction;
class QLabel;
class QToolButton;

// The line above the data grid while the grid shows fewer rows than its
// table holds: "100 of 200,000 rows (limit 100)", with "Show all" and
// "Next 100". Hidden otherwise.
class RowLimitBar : public QWidget
{
    Q_OBJECT

public:
    // The buttons trigger the two actions; "Next" takes the limit in its text.
    RowLimitBar(QAction *showAll, QAction *next, QWidget *parent = nullptr);

    void setRows(const TDataGridRows &rows);
    QString text() const;

    // "100 of 200,000 rows (limit 100)", "100 of about 200,000 rows ..."
    // for an estimate, "First 100 rows (limit 100)" when the total is not known.
    static QString rowsText(const TDataGridRows &rows);

private:
    QLabel *m_label;
    QToolButton *m_showAll;
    QToolButton *m_next;
    QAction *m_nextAction;
};

// "1 row", "12,345 rows".
QString RowCountText(qint64 rows);

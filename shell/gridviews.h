#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

class QAbstractItemView;
class QAction;
class QMenu;
class QMimeData;
class QModelIndex;
class QPoint;
class QTableView;
class QWidget;
class TFormValueViewer;

// What the main window's grids offer beyond showing rows: NULL shown as a
// chosen text in grey italics, numbers aligned right, the whole text of a
// cut-off cell as a tooltip, column widths fitted to their content, rows
// selected in ranges and copied as tab-separated text and as an HTML table,
// and, where a grid's double click is free, the value viewer on a double
// click or Enter. The models stay as they are: this is how they look.
class GridViewSupport : public QObject
{
    Q_OBJECT

public:
    // The value viewer belongs to window.
    explicit GridViewSupport(QWidget *window);
    ~GridViewSupport() override;

    // Sets a grid view up. Its columns take the widths its model asks for;
    // those it leaves to the view fit their content whenever the model is
    // filled. valueViewer: a double click or Enter on a cell shows its value.
    void addView(QTableView *view, bool valueViewer);

    // Shown in NULL cells, in grey italics; empty: NULL looks like an empty
    // text. Export and printing read the models and keep NULL empty.
    QString nullText() const { return m_nullText; }
    void setNullText(const QString &text);

    // The selected rows (the current one when none is selected), in the
    // order shown: cells separated by tabs, rows by line breaks, and the
    // same as an HTML table; the column names first when asked for.
    static QMimeData *rowsMimeData(const QTableView *view, bool withColumnNames);
    void copyRows(const QTableView *view, bool withColumnNames) const;
    // The view's "Copy" and "Copy with Column Names".
    QAction *copyAction(const QTableView *view, bool withColumnNames) const;

    // A right click: the grid's own pop-up menu (may be none) and the two
    // copy entries.
    void showContextMenu(QTableView *view, QMenu *popup, const QPoint &pos);

    // Shows the value of a cell in the value viewer.
    void showValue(const QTableView *view, const QModelIndex &index);
    TFormValueViewer *valueViewer() const { return m_viewer; }

    // The width that shows a column's caption and the content of its first
    // rows, at most cap pixels (the caption always fits).
    int fittedColumnWidth(const QTableView *view, int column, int cap) const;
    // Applies the widths the model asks for and fits the others.
    void applyColumnWidths(QTableView *view) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    QString m_nullText;
    QList<QTableView *> m_views;
    QHash<const QTableView *, QAction *> m_copy;
    QHash<const QTableView *, QAction *> m_copyWithNames;
    QSet<const QTableView *> m_viewerViews;
    TFormValueViewer *m_viewer = nullptr;
};

// Widths fitted when a grid is filled stop here; a double click on the
// header's edge fits a column up to the width of the grid.
constexpr int FittedWidthCap = 300;

// The row a command for one row acts on: the current row when it is
// selected, else the first selected one; -1 when none is selected.
int ChosenRow(const QAbstractItemView *view);

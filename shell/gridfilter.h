#pragma once

#include <QAbstractProxyModel>
#include <QLineEdit>
#include <QPointer>
#include <QTableView>
#include <QTimer>

#include <vector>

// The rows of a grid's model that contain a text (in any cell, in any case),
// in the model's order. The rows are looked through a slice at a time
// (scan()), and each slice's matches are appended, so a large grid never
// holds the window up.
class RowFilterModel : public QAbstractProxyModel
{
    Q_OBJECT

public:
    explicit RowFilterModel(QObject *parent = nullptr);

    void setSourceModel(QAbstractItemModel *source) override;
    // Starts over with another text (the rows found so far go).
    void setText(const QString &text);
    QString text() const { return m_text; }
    // Looks through rows for about milliseconds; true when all are done.
    bool scan(int milliseconds);
    bool done() const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // More rows of the source wait to be looked through.
    void scanNeeded();

private:
    void startOver();
    bool matches(int row) const;

    QString m_text;
    std::vector<int> m_rows; // source rows that match, ascending
    int m_next = 0;          // the next source row to look at
    QList<QMetaObject::Connection> m_connections;
};

// The quick filter above a grid: only the rows that contain the typed text
// stay visible. While it holds a text the view shows a RowFilterModel over
// the grid's model; a row chosen there is mapped back (ChosenRow). Esc clears
// the text while the field has the focus; while a statement runs, Esc is the
// window's Stop.
class GridFilter : public QLineEdit
{
    Q_OBJECT

public:
    GridFilter(QTableView *view, QWidget *parent = nullptr);

    QTableView *view() const { return m_view; }
    // True while rows are still being looked through.
    bool filtering() const { return m_slices.isActive(); }

    // The grid under a filter, as one widget for a page or a layout.
    static QWidget *wrap(QTableView *view, const QString &gridName);

Q_SIGNALS:
    void filterFinished();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void textEdited();
    void filterSlice();
    // Puts model under the view, keeping the columns' widths and modes.
    void showModel(QAbstractItemModel *model);

    QPointer<QTableView> m_view;
    QPointer<QAbstractItemModel> m_source;
    RowFilterModel *m_filter;
    QTimer m_slices;
};

#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include <QTableView>

// The quick filter above a grid: only the rows that contain the typed text
// (in any cell, in any case) stay visible. Rows are hidden in the view, not
// taken out of the model, so a row number means the same to every command.
// A large grid is looked through a slice at a time between events, so typing
// never waits for it. Esc clears the text while the field has the focus;
// while a statement runs, Esc is the window's Stop.
class GridFilter : public QLineEdit
{
    Q_OBJECT

public:
    GridFilter(QTableView *view, QWidget *parent = nullptr);

    QTableView *view() const { return m_view; }
    // True while rows are still being looked through.
    bool filtering() const { return m_next >= 0; }

    // The grid under a filter, as one widget for a page or a layout.
    static QWidget *wrap(QTableView *view, const QString &gridName);

Q_SIGNALS:
    void filterFinished();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void restart();
    void filterSlice();
    bool matches(int row) const;

    QPointer<QTableView> m_view;
    QString m_text;
    int m_next = -1; // the next row to look at; -1: done
    QTimer m_slices;
};

#pragma once

#include <QTimer>
#include <QWidget>

class HistoryModel;
class QLineEdit;
class QTableView;
class QueryHistory;
struct HistoryEntry;

// The "History" sub-page: a search line over the statements sent from the
// editor, newest first. A double click (or Enter) on a row hands its
// statement over for the editor.
class HistoryPanel : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryPanel(QWidget *parent = nullptr);

    void setHistory(QueryHistory *history);
    QLineEdit *searchField() const { return m_search; }
    QTableView *view() const { return m_view; }
    HistoryModel *model() const { return m_model; }

public Q_SLOTS:
    // Searches again with the text of the search line.
    void refresh();

Q_SIGNALS:
    void statementChosen(const HistoryEntry &entry);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void choose(const QModelIndex &index);

    QueryHistory *m_history = nullptr;
    QLineEdit *m_search = nullptr;
    QTableView *m_view = nullptr;
    HistoryModel *m_model = nullptr;
    QTimer m_searchDelay;
    bool m_stale = true; // the history changed while the page was hidden
};

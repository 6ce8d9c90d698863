#include "editor/historypanel.h"

#include "data/history.h"
#include "data/historymodel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

#include <functional>

namespace {

// Enter on a row chooses it, as a double click does.
class EnterFilter : public QObject
{
public:
    EnterFilter(std::function<void()> enter, QObject *parent)
        : QObject(parent)
        , m_enter(std::move(enter))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                m_enter();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_enter;
};

} // namespace

HistoryPanel::HistoryPanel(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("HistoryPanel"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("HistorySearch"));
    m_search->setAccessibleName(QStringLiteral("Search the history"));
    m_search->setPlaceholderText(QStringLiteral("Search statements and databases"));
    m_search->setClearButtonEnabled(true);
    m_model = new HistoryModel(this);
    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("HistoryView"));
    m_view->setAccessibleName(QStringLiteral("Statement History"));
    m_view->setModel(m_model);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->setVisible(false);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    QHeaderView *header = m_view->horizontalHeader();
    header->setHighlightSections(false);
    header->resizeSection(HistoryModel::TimeColumn, 140);
    header->resizeSection(HistoryModel::DatabaseColumn, 90);
    header->resizeSection(HistoryModel::StatementColumn, 380);
    header->resizeSection(HistoryModel::DurationColumn, 70);
    header->resizeSection(HistoryModel::RowsColumn, 80);
    header->setStretchLastSection(true);
    layout->addWidget(m_search);
    layout->addWidget(m_view, 1);

    m_searchDelay.setSingleShot(true);
    m_searchDelay.setInterval(200);
    connect(&m_searchDelay, &QTimer::timeout, this, &HistoryPanel::refresh);
    connect(m_search, &QLineEdit::textChanged, this, [this] { m_searchDelay.start(); });
    connect(m_search, &QLineEdit::returnPressed, this, &HistoryPanel::refresh);
    connect(m_view, &QAbstractItemView::doubleClicked, this, &HistoryPanel::choose);
    m_view->installEventFilter(new EnterFilter([this] { choose(m_view->currentIndex()); }, m_view));
}

void HistoryPanel::setHistory(QueryHistory *history)
{
    if (m_history)
        disconnect(m_history, nullptr, this, nullptr);
    m_history = history;
    m_stale = true;
    if (history) {
        // Searched again only while someone looks.
        connect(history, &QueryHistory::changed, this, [this] {
            if (isVisible())
                refresh();
            else
                m_stale = true;
        });
    }
    if (isVisible())
        refresh();
}

void HistoryPanel::refresh()
{
    m_searchDelay.stop();
    m_stale = false;
    // New statements come in at the top while the user may be looking at
    // one: it stays the current row.
    const QModelIndex current = m_view->currentIndex();
    const qint64 currentId = current.isValid() ? m_model->entry(current.row()).id : 0;
    const int column = current.isValid() ? current.column() : 0;
    m_model->setEntries(m_history ? m_history->search(m_search->text().trimmed()) : QList<HistoryEntry>());
    if (currentId == 0)
        return;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->entry(row).id == currentId) {
            const QModelIndex again = m_model->index(row, column);
            m_view->setCurrentIndex(again);
            m_view->scrollTo(again);
            return;
        }
    }
}

void HistoryPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_stale)
        refresh();
}

void HistoryPanel::choose(const QModelIndex &index)
{
    if (index.isValid())
        Q_EMIT statementChosen(m_model->entry(index.row()));
}

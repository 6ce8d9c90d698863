#include "shell/gridfilter.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// One slice of the work: short enough that the window answers meanwhile.
constexpr qint64 SliceMilliseconds = 20;

} // namespace

GridFilter::GridFilter(QTableView *view, QWidget *parent)
    : QLineEdit(parent)
    , m_view(view)
{
    setObjectName(view->objectName() + QStringLiteral("Filter"));
    setPlaceholderText(QStringLiteral("Filter rows"));
    setAccessibleName(QStringLiteral("Filter rows of ") + view->accessibleName());
    setToolTip(QStringLiteral("Shows only the rows that contain this text (Esc clears it)"));
    setClearButtonEnabled(true);
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &GridFilter::filterSlice);
    connect(this, &QLineEdit::textChanged, this, &GridFilter::restart);
    QAbstractItemModel *model = view->model();
    // New contents, new order or more rows: looked through again.
    connect(model, &QAbstractItemModel::modelReset, this, &GridFilter::restart);
    connect(model, &QAbstractItemModel::layoutChanged, this, &GridFilter::restart);
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int) {
        if (m_text.isEmpty())
            return;
        if (m_next < 0 || first < m_next)
            m_next = first;
        m_slices.start();
    });
}

QWidget *GridFilter::wrap(QTableView *view, const QString &gridName)
{
    auto *panel = new QWidget;
    panel->setObjectName(gridName + QStringLiteral("Panel"));
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new GridFilter(view, panel));
    layout->addWidget(view, 1);
    return panel;
}

bool GridFilter::event(QEvent *event)
{
    // Esc belongs to the field while it has something to clear.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && !text().isEmpty()) {
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void GridFilter::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && !text().isEmpty()) {
        clear();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void GridFilter::restart()
{
    if (!m_view)
        return;
    const QString text = this->text().trimmed();
    if (text.isEmpty() && m_text.isEmpty() && m_next < 0)
        return; // nothing hidden, nothing to hide
    m_text = text;
    m_next = 0;
    if (m_text.isEmpty()) {
        // Every row back at once: cheaper than showing them one by one.
        QAbstractItemModel *model = m_view->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (m_view->isRowHidden(row))
                m_view->setRowHidden(row, false);
        }
        m_next = -1;
        m_slices.stop();
        Q_EMIT filterFinished();
        return;
    }
    filterSlice();
}

bool GridFilter::matches(int row) const
{
    const QAbstractItemModel *model = m_view->model();
    for (int column = 0; column < model->columnCount(); ++column) {
        if (model->index(row, column).data(Qt::DisplayRole).toString().contains(m_text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

void GridFilter::filterSlice()
{
    if (!m_view || m_next < 0) {
        m_slices.stop();
        return;
    }
    const QAbstractItemModel *model = m_view->model();
    const int rows = model->rowCount();
    QElapsedTimer clock;
    clock.start();
    while (m_next < rows) {
        const int row = m_next++;
        const bool hide = !matches(row);
        if (m_view->isRowHidden(row) != hide)
            m_view->setRowHidden(row, hide);
        if ((row & 255) == 255 && clock.elapsed() >= SliceMilliseconds)
            break;
    }
    if (m_next < rows) {
        m_slices.start();
        return;
    }
    m_next = -1;
    m_slices.stop();
    Q_EMIT filterFinished();
}

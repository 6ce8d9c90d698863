#include "shell/gridfilter.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// One slice of the work: short enough that the window answers meanwhile.
constexpr int SliceMilliseconds = 20;

} // namespace

// --- RowFilterModel -----------------------------------------------------------

RowFilterModel::RowFilterModel(QObject *parent)
    : QAbstractProxyModel(parent)
{
}

void RowFilterModel::setSourceModel(QAbstractItemModel *source)
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    beginResetModel();
    QAbstractProxyModel::setSourceModel(source);
    m_rows.clear();
    m_next = 0;
    endResetModel();
    if (!source)
        return;
    // A new filling, a new order or removed rows: looked through again.
    m_connections.append(connect(source, &QAbstractItemModel::modelReset, this, &RowFilterModel::startOver));
    m_connections.append(connect(source, &QAbstractItemModel::layoutChanged, this, &RowFilterModel::startOver));
    m_connections.append(connect(source, &QAbstractItemModel::rowsRemoved, this, &RowFilterModel::startOver));
    m_connections.append(connect(source, &QAbstractItemModel::columnsInserted, this, &RowFilterModel::startOver));
    m_connections.append(connect(source, &QAbstractItemModel::columnsRemoved, this, &RowFilterModel::startOver));
    // Rows appended (the next rows of a table): looked through after the rest.
    m_connections.append(connect(source, &QAbstractItemModel::rowsInserted, this,
                                 [this](const QModelIndex &, int first, int) {
                                     if (first < m_next)
                                         startOver();
                                     else
                                         Q_EMIT scanNeeded();
                                 }));
    m_connections.append(connect(source, &QAbstractItemModel::dataChanged, this,
                                 [this](const QModelIndex &, const QModelIndex &) {
                                     if (!m_rows.empty())
                                         Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
                                 }));
    m_connections.append(connect(source, &QAbstractItemModel::headerDataChanged, this,
                                 [this](Qt::Orientation orientation, int first, int last) {
                                     if (orientation == Qt::Horizontal)
                                         Q_EMIT headerDataChanged(orientation, first, last);
                                 }));
}

void RowFilterModel::setText(const QString &text)
{
    m_text = text;
    startOver();
}

void RowFilterModel::startOver()
{
    beginResetModel();
    m_rows.clear();
    m_next = 0;
    endResetModel();
    Q_EMIT scanNeeded();
}

bool RowFilterModel::done() const
{
    return !sourceModel() || m_next >= sourceModel()->rowCount();
}

bool RowFilterModel::matches(int row) const
{
    const QAbstractItemModel *source = sourceModel();
    const int columns = source->columnCount();
    for (int column = 0; column < columns; ++column) {
        if (source->index(row, column).data(Qt::DisplayRole).toString().contains(m_text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool RowFilterModel::scan(int milliseconds)
{
    if (done())
        return true;
    const int rows = sourceModel()->rowCount();
    QElapsedTimer clock;
    clock.start();
    std::vector<int> found;
    while (m_next < rows) {
        const int row = m_next++;
        if (matches(row))
            found.push_back(row);
        if ((row & 255) == 255 && clock.elapsed() >= milliseconds)
            break;
    }
    if (!found.empty()) {
        const int first = int(m_rows.size());
        beginInsertRows(QModelIndex(), first, first + int(found.size()) - 1);
        m_rows.insert(m_rows.end(), found.begin(), found.end());
        endInsertRows();
    }
    return done();
}

QModelIndex RowFilterModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex RowFilterModel::parent(const QModelIndex &) const
{
    return QModelIndex();
}

int RowFilterModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RowFilterModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !sourceModel() ? 0 : sourceModel()->columnCount();
}

QModelIndex RowFilterModel::mapToSource(const QModelIndex &proxyIndex) const
{
    if (!proxyIndex.isValid() || !sourceModel() || size_t(proxyIndex.row()) >= m_rows.size())
        return QModelIndex();
    return sourceModel()->index(m_rows[size_t(proxyIndex.row())], proxyIndex.column());
}

QModelIndex RowFilterModel::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!sourceIndex.isValid())
        return QModelIndex();
    const auto found = std::lower_bound(m_rows.begin(), m_rows.end(), sourceIndex.row());
    if (found == m_rows.end() || *found != sourceIndex.row())
        return QModelIndex();
    return index(int(found - m_rows.begin()), sourceIndex.column());
}

QVariant RowFilterModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (!sourceModel())
        return QVariant();
    if (orientation == Qt::Horizontal)
        return sourceModel()->headerData(section, orientation, role);
    if (section < 0 || size_t(section) >= m_rows.size())
        return QVariant();
    return sourceModel()->headerData(m_rows[size_t(section)], orientation, role);
}

// --- GridFilter -------------------------------------------------------------------

GridFilter::GridFilter(QTableView *view, QWidget *parent)
    : QLineEdit(parent)
    , m_view(view)
    , m_source(view->model())
    , m_filter(new RowFilterModel(this))
{
    setObjectName(view->objectName() + QStringLiteral("Filter"));
    setPlaceholderText(QStringLiteral("Filter rows"));
    setAccessibleName(QStringLiteral("Filter rows of ") + view->accessibleName());
    setToolTip(QStringLiteral("Shows only the rows that contain this text (Esc clears it)"));
    setClearButtonEnabled(true);
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &GridFilter::filterSlice);
    connect(this, &QLineEdit::textChanged, this, &GridFilter::textEdited);
    connect(m_filter, &RowFilterModel::scanNeeded, this, [this] {
        if (!m_filter->text().isEmpty())
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

void GridFilter::showModel(QAbstractItemModel *model)
{
    if (!m_view || m_view->model() == model)
        return;
    QHeaderView *header = m_view->horizontalHeader();
    const int columns = header->count();
    QList<int> widths;
    QList<QHeaderView::ResizeMode> modes;
    for (int column = 0; column < columns; ++column) {
        widths.append(header->sectionSize(column));
        modes.append(header->sectionResizeMode(column));
    }
    const bool stretchLast = header->stretchLastSection();
    m_view->setModel(model);
    header = m_view->horizontalHeader();
    header->setStretchLastSection(stretchLast);
    for (int column = 0; column < columns && column < header->count(); ++column) {
        header->setSectionResizeMode(column, modes.at(column));
        if (modes.at(column) == QHeaderView::Interactive)
            header->resizeSection(column, widths.at(column));
    }
}

void GridFilter::textEdited()
{
    if (!m_view || !m_source)
        return;
    const QString text = this->text().trimmed();
    if (text.isEmpty()) {
        m_slices.stop();
        showModel(m_source);
        m_filter->setSourceModel(nullptr);
        m_filter->setText(QString());
        Q_EMIT filterFinished();
        return;
    }
    if (m_filter->sourceModel() != m_source)
        m_filter->setSourceModel(m_source);
    m_filter->setText(text);
    showModel(m_filter);
    filterSlice();
}

void GridFilter::filterSlice()
{
    if (m_filter->text().isEmpty() || m_filter->scan(SliceMilliseconds)) {
        m_slices.stop();
        Q_EMIT filterFinished();
        return;
    }
    m_slices.start();
}

#include "shell/gridviews.h"

#include "data/gridmodel.h"
#include "dialogs/valueviewer.h"

#include <QAbstractProxyModel>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <memory>

namespace {

// Rows measured when a column is fitted, and the part of a cell looked at:
// enough to see what a column holds, cheap on a grid of a million rows.
constexpr int SampledRows = 200;
constexpr int SampledBytes = 400;
// A tooltip shows this much of a long value; the value viewer shows it all.
constexpr int TooltipCharacters = 2000;

const GridModel *gridOf(const QAbstractItemModel *model)
{
    return qobject_cast<const GridModel *>(model);
}

// The grid under a filter's model too: for what a column is, never for rows
// (the filter shows only some of them).
const GridModel *columnsOf(const QAbstractItemModel *model)
{
    if (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(model))
        model = proxy->sourceModel();
    return gridOf(model);
}

// The text a cell shows on its one line: up to its first line break.
QString firstLine(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\n' || text.at(i) == u'\r')
            return text.left(i);
    }
    return text;
}

// The delegate of every grid: NULL in grey italics as the chosen text,
// numeric columns aligned right, and a tooltip only for a cell whose text
// does not fit.
class GridDelegate : public QStyledItemDelegate
{
public:
    GridDelegate(const GridViewSupport *support, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_support(support)
    {
    }

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString text = index.data(Qt::DisplayRole).toString();
        if (index.data(GridModel::IsNullRole).toBool() || !isCutOff(text, option, index)) {
            QToolTip::hideText();
            return true;
        }
        QString shown = text.left(TooltipCharacters);
        if (text.size() > TooltipCharacters)
            shown += QChar(0x2026);
        // As plain text: a value that looks like HTML is shown, not rendered.
        QToolTip::showText(event->globalPos(), Qt::convertFromPlainText(shown, Qt::WhiteSpaceNormal), view,
                           view->visualRect(index));
        return true;
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (const GridModel *grid = columnsOf(index.model()); grid && grid->columnInfo(index.column()).numeric)
            option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
        const QString &nullText = m_support->nullText();
        if (nullText.isEmpty() || !index.data(GridModel::IsNullRole).toBool())
            return;
        option->text = nullText;
        option->features |= QStyleOptionViewItem::HasDisplay;
        option->font.setItalic(true);
        option->fontMetrics = QFontMetrics(option->font);
        const QColor grey(128, 128, 128);
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            option->palette.setColor(group, QPalette::Text, grey);
    }

private:
    bool isCutOff(const QString &text, const QStyleOptionViewItem &option, const QModelIndex &index) const
    {
        if (text.isEmpty())
            return false;
        if (firstLine(text).size() != text.size() || text.size() > TooltipCharacters)
            return true;
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget *widget = opt.widget;
        const QStyle *style = widget ? widget->style() : QApplication::style();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        return opt.fontMetrics.horizontalAdvance(text) > textRect.width() - 2 * margin;
    }

    const GridViewSupport *m_support;
};

// A cell as the clipboard's plain text holds it: a value with a tab, a line
// break or a leading quote goes between quotes, as spreadsheets read it.
QString clipboardCell(const QString &text)
{
    if (!text.contains(QLatin1Char('\t')) && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))
        && !text.startsWith(QLatin1Char('"')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString htmlCell(const QString &text)
{
    QString html = text.toHtmlEscaped();
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return html;
}

QList<int> rowsToCopy(const QTableView *view)
{
    QList<int> rows;
    if (const QItemSelectionModel *selection = view->selectionModel()) {
        for (const QModelIndex &index : selection->selectedRows())
            rows.append(index.row());
    }
    if (rows.isEmpty() && view->currentIndex().isValid())
        rows.append(view->currentIndex().row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

GridViewSupport::GridViewSupport(QWidget *window)
    : QObject(window)
    , m_window(window)
{
}

GridViewSupport::~GridViewSupport() = default;

void GridViewSupport::addView(QTableView *view, bool valueViewer)
{
    m_views.append(view);
    // Grids made for a while (the earlier results of a run) go again.
    connect(view, &QObject::destroyed, this, [this, view] {
        m_views.removeAll(view);
        m_copy.remove(view);
        m_copyWithNames.remove(view);
        m_viewerViews.remove(view);
    });
    view->setItemDelegate(new GridDelegate(this, view));
    if (auto *grid = qobject_cast<GridModel *>(view->model()))
        grid->setNullText(m_nullText);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);

    auto *copy = new QAction(QStringLiteral("Copy"), view);
    copy->setObjectName(QStringLiteral("GridCopy"));
    connect(copy, &QAction::triggered, this, [this, view] { copyRows(view, false); });
    auto *copyWithNames = new QAction(QStringLiteral("Copy with Column Names"), view);
    copyWithNames->setObjectName(QStringLiteral("GridCopyWithNames"));
    copyWithNames->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+C")));
    copyWithNames->setShortcutContext(Qt::WidgetShortcut);
    view->addAction(copyWithNames);
    connect(copyWithNames, &QAction::triggered, this, [this, view] { copyRows(view, true); });
    m_copy.insert(view, copy);
    m_copyWithNames.insert(view, copyWithNames);

    if (valueViewer) {
        m_viewerViews.insert(view);
        connect(view, &QAbstractItemView::doubleClicked, this,
                [this, view](const QModelIndex &index) { showValue(view, index); });
    }
    view->installEventFilter(this);

    // Widths follow each filling of the model, once for a burst of changes
    // (a result sets every column's type one after another).
    QAbstractItemModel *model = view->model();
    auto pending = std::make_shared<bool>(false);
    auto schedule = [this, view, pending] {
        if (*pending)
            return;
        *pending = true;
        QTimer::singleShot(0, view, [this, view, pending] {
            *pending = false;
            applyColumnWidths(view);
        });
    };
    connect(model, &QAbstractItemModel::modelReset, view, schedule);
    connect(model, &QAbstractItemModel::columnsInserted, view, schedule);
    connect(model, &QAbstractItemModel::headerDataChanged, view, schedule);
    // Rows that arrive after the columns (a result read while the server
    // sends it): the widths follow until the rows they are fitted to are in.
    connect(model, &QAbstractItemModel::rowsInserted, view,
            [model, schedule](const QModelIndex &, int first, int) {
                const GridModel *grid = gridOf(model);
                if (first < SampledRows && grid && grid->rowSource())
                    schedule();
            });
    applyColumnWidths(view);

    // A double click on a header's edge fits the column to what it holds,
    // up to the grid's width.
    QHeaderView *header = view->horizontalHeader();
    disconnect(header, &QHeaderView::sectionHandleDoubleClicked, view, nullptr);
    connect(header, &QHeaderView::sectionHandleDoubleClicked, view, [this, view](int column) {
        view->setColumnWidth(column, fittedColumnWidth(view, column, std::max(FittedWidthCap, view->viewport()->width())));
    });
}

void GridViewSupport::setNullText(const QString &text)
{
    if (m_nullText == text)
        return;
    m_nullText = text;
    for (QTableView *view : std::as_const(m_views)) {
        if (auto *grid = qobject_cast<GridModel *>(view->model()))
            grid->setNullText(m_nullText); // what screen readers read
        view->viewport()->update();
    }
}

int GridViewSupport::fittedColumnWidth(const QTableView *view, int column, int cap) const
{
    const QAbstractItemModel *model = view->model();
    const QHeaderView *header = view->horizontalHeader();
    const int caption = header->sectionSizeHint(column);
    const QStyle *style = view->style();
    const int margin = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1) + 4;
    const QFontMetrics metrics(view->font());
    QFont italic = view->font();
    italic.setItalic(true);
    const QFontMetrics nullMetrics(italic);
    const int rows = std::min(model->rowCount(), SampledRows);
    int content = 0;
    if (const GridModel *grid = gridOf(model)) {
        // The cells' bytes, cut short: a long value's width is the cap anyway.
        const GridSnapshot snapshot = grid->snapshot();
        for (int row = 0; row < rows && content < cap; ++row) {
            if (snapshot.isNull(row, column)) {
                if (!m_nullText.isEmpty())
                    content = std::max(content, nullMetrics.horizontalAdvance(m_nullText) + margin);
                continue;
            }
            const QByteArrayView bytes = snapshot.cell(row, column);
            const QString text = QString::fromUtf8(bytes.first(std::min<qsizetype>(bytes.size(), SampledBytes)));
            content = std::max(content, metrics.horizontalAdvance(firstLine(text)) + margin);
        }
    } else {
        for (int row = 0; row < rows && content < cap; ++row) {
            const QString text = model->index(row, column).data().toString().left(SampledBytes);
            content = std::max(content, metrics.horizontalAdvance(firstLine(text)) + margin);
        }
    }
    return std::max(caption, std::min(content, cap));
}

void GridViewSupport::applyColumnWidths(QTableView *view) const
{
    const auto *model = columnsOf(view->model());
    if (!model)
        return;
    QHeaderView *header = view->horizontalHeader();
    header->setStretchLastSection(false);
    // Narrow columns are asked for (25 pixels): the style's minimum must not
    // widen them.
    for (int column = 0; column < model->columnCount(); ++column) {
        const int width = model->columnWidth(column);
        if (width > 0 && width < header->minimumSectionSize())
            header->setMinimumSectionSize(width);
    }
    for (int column = 0; column < model->columnCount(); ++column) {
        const int width = model->columnWidth(column);
        if (width == GridModel::FillWidth) {
            // Such columns share what the others leave of the grid's width.
            header->setSectionResizeMode(column, QHeaderView::Stretch);
            continue;
        }
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        view->setColumnWidth(column, width > 0 ? width : fittedColumnWidth(view, column, FittedWidthCap));
    }
}

QMimeData *GridViewSupport::rowsMimeData(const QTableView *view, bool withColumnNames)
{
    const QAbstractItemModel *model = view->model();
    const GridModel *grid = gridOf(model);
    QList<int> columns;
    for (int column = 0; column < model->columnCount(); ++column) {
        if (!view->isColumnHidden(column))
            columns.append(column);
    }
    QStringList lines;
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\">\n");
    if (withColumnNames) {
        QStringList names;
        html += QStringLiteral("<tr>");
        for (int column : std::as_const(columns)) {
            const QString name = model->headerData(column, Qt::Horizontal).toString();
            names.append(clipboardCell(name));
            html += QStringLiteral("<th>") + htmlCell(name) + QStringLiteral("</th>");
        }
        html += QStringLiteral("</tr>\n");
        lines.append(names.join(QLatin1Char('\t')));
    }
    for (int row : rowsToCopy(view)) {
        QStringList cells;
        html += QStringLiteral("<tr>");
        for (int column : std::as_const(columns)) {
            // NULL stays empty, as in the exported files.
            const QString text = grid ? grid->text(row, column) : model->index(row, column).data().toString();
            cells.append(clipboardCell(text));
            html += QStringLiteral("<td>") + htmlCell(text) + QStringLiteral("</td>");
        }
        html += QStringLiteral("</tr>\n");
        lines.append(cells.join(QLatin1Char('\t')));
    }
    html += QStringLiteral("</table>\n");
    auto *data = new QMimeData;
    data->setText(lines.join(QLatin1Char('\n')));
    data->setHtml(QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>\n") + html
                  + QStringLiteral("</body></html>\n"));
    return data;
}

void GridViewSupport::copyRows(const QTableView *view, bool withColumnNames) const
{
    if (rowsToCopy(view).isEmpty())
        return;
    QGuiApplication::clipboard()->setMimeData(rowsMimeData(view, withColumnNames));
}

QAction *GridViewSupport::copyAction(const QTableView *view, bool withColumnNames) const
{
    return withColumnNames ? m_copyWithNames.value(view) : m_copy.value(view);
}

void GridViewSupport::showContextMenu(QTableView *view, QMenu *popup, const QPoint &pos)
{
    QMenu menu(view);
    if (popup) {
        menu.addActions(popup->actions());
        menu.addSeparator();
    }
    const bool rows = !rowsToCopy(view).isEmpty();
    for (QAction *action : {copyAction(view, false), copyAction(view, true)}) {
        action->setEnabled(rows);
        menu.addAction(action);
    }
    menu.exec(view->viewport()->mapToGlobal(pos));
}

void GridViewSupport::showValue(const QTableView *view, const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const QAbstractItemModel *model = view->model();
    const GridModel *grid = gridOf(model);
    const int row = index.row();
    const int column = index.column();
    QString caption = model->headerData(column, Qt::Horizontal).toString();
    const GridModel::ColumnInfo info = grid ? grid->columnInfo(column) : GridModel::ColumnInfo();
    if (!info.typeName.isEmpty())
        caption += QStringLiteral("  (") + info.typeName + QLatin1Char(')');
    caption += QStringLiteral(", row ") + QString::number(row + 1);
    if (!m_viewer)
        m_viewer = new TFormValueViewer(m_window);
    if (grid)
        m_viewer->showValue(caption, grid->bytes(row, column), grid->isNull(row, column), info.binary);
    else
        m_viewer->showValue(caption, index.data().toString().toUtf8(), false, false);
}

bool GridViewSupport::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *view = static_cast<QTableView *>(watched);
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (enter && plain && m_viewerViews.contains(view) && view->currentIndex().isValid()) {
            showValue(view, view->currentIndex());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

int ChosenRow(const QAbstractItemView *view)
{
    const QItemSelectionModel *selection = view ? view->selectionModel() : nullptr;
    if (!selection)
        return -1;
    // A filtered grid shows some of its model's rows: the row is the model's.
    const auto modelRow = [view](const QModelIndex &index) {
        if (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(view->model()))
            return proxy->mapToSource(index).row();
        return index.row();
    };
    const QModelIndex current = view->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), current.parent()))
        return modelRow(current);
    const QModelIndexList rows = selection->selectedRows();
    return rows.isEmpty() ? -1 : modelRow(rows.first());
}

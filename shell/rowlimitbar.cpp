#include "shell/rowlimitbar.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QToolButton>

namespace {

QString number(qint64 value)
{
    // The program speaks English: 200,000.
    return QLocale(QLocale::English).toString(value);
}

} // namespace

QString RowCountText(qint64 rows)
{
    return number(rows) + (rows == 1 ? QStringLiteral(" row") : QStringLiteral(" rows"));
}

RowLimitBar::RowLimitBar(QAction *showAll, QAction *next, QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(this))
    , m_showAll(new QToolButton(this))
    , m_next(new QToolButton(this))
    , m_nextAction(next)
{
    setObjectName(QStringLiteral("PanelRowLimit"));
    m_label->setObjectName(QStringLiteral("LabelRowLimit"));
    // No fixed name: a screen reader reads the label's text as its name,
    // "100 of 250 rows (limit 100)"; the description says what it is.
    m_label->setAccessibleDescription(QStringLiteral("Rows shown"));
    m_showAll->setObjectName(QStringLiteral("ButtonShowAll"));
    m_next->setObjectName(QStringLiteral("ButtonNextRows"));
    for (QToolButton *button : {m_showAll, m_next})
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_showAll->setDefaultAction(showAll);
    m_next->setDefaultAction(next);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 1, 4, 1);
    layout->addWidget(m_label);
    layout->addWidget(m_showAll);
    layout->addWidget(m_next);
    layout->addStretch(1);
    hide();
}

QString RowLimitBar::rowsText(const TDataGridRows &rows)
{
    const QString limit = QStringLiteral(" (limit ") + number(rows.limit) + QLatin1Char(')');
    if (rows.total < 0)
        return QStringLiteral("First ") + RowCountText(rows.shown) + limit;
    return number(rows.shown) + QStringLiteral(" of ") + (rows.estimate ? QStringLiteral("about ") : QString())
        + RowCountText(rows.total) + limit;
}

void RowLimitBar::setRows(const TDataGridRows &rows)
{
    setVisible(rows.more);
    if (!rows.more)
        return;
    m_label->setText(rowsText(rows));
    m_nextAction->setText(QStringLiteral("Next ") + number(rows.limit));
    m_next->setVisible(rows.limit > 0);
}

QString RowLimitBar::text() const
{
    return isHidden() ? QString() : m_label->text();
}

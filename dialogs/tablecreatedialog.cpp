#include "dialogs/tablecreatedialog.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The type cell is edited in a combo box that offers the usual types and
// takes any other typed.
class TypeDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        auto *combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->addItems(DesignColumnTypes());
        return combo;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        static_cast<QComboBox *>(editor)->setCurrentText(index.data().toString());
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        model->setData(index, static_cast<QComboBox *>(editor)->currentText().trimmed());
    }
};

// The original name of a row's column rides on its name cell.
constexpr int OriginalNameRole = Qt::UserRole + 1;

QTableWidgetItem *checkItem(bool checked)
{
    auto *item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return item;
}

void setComboText(QComboBox *combo, const QString &text)
{
    const int index = combo->findText(text, Qt::MatchFixedString);
    if (index >= 0)
        combo->setCurrentIndex(index);
    else
        combo->setCurrentText(text);
}

} // namespace

TFormTableCreate::TFormTableCreate(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormTableCreate"));
    setWindowTitle(QStringLiteral("Create Table"));
    resize(800, 500);

    Pages = new QTabWidget(this);
    Pages->setObjectName(QStringLiteral("PageControlTable"));

    // "Table": the name and the columns.
    auto *tablePage = new QWidget;
    EditTableName = new QLineEdit(tablePage);
    EditTableName->setObjectName(QStringLiteral("EditTableName"));
    EditTableName->setAccessibleName(QStringLiteral("Table name"));
    EditTableName->setMaxLength(64);
    GridColumns = new QTableWidget(0, ColCount, tablePage);
    GridColumns->setObjectName(QStringLiteral("GridColumns"));
    GridColumns->setAccessibleName(QStringLiteral("Columns"));
    GridColumns->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Length"),
                                            QStringLiteral("NULL"), QStringLiteral("Default"),
                                            QStringLiteral("Auto increment"), QStringLiteral("Primary key")});
    GridColumns->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridColumns->setSelectionMode(QAbstractItemView::SingleSelection);
    GridColumns->setItemDelegateForColumn(ColType, new TypeDelegate(GridColumns));
    GridColumns->verticalHeader()->setVisible(false);
    GridColumns->horizontalHeader()->setStretchLastSection(true);
    GridColumns->setColumnWidth(ColName, 140);
    GridColumns->setColumnWidth(ColType, 120);
    GridColumns->setColumnWidth(ColLength, 90);
    GridColumns->setColumnWidth(ColNull, 45);
    GridColumns->setColumnWidth(ColDefault, 130);
    GridColumns->resizeColumnToContents(ColAutoIncrement);
    auto *add = new QPushButton(QStringLiteral("&Add Column"), tablePage);
    add->setObjectName(QStringLiteral("ButtonAddColumn"));
    auto *remove = new QPushButton(QStringLiteral("Re&move Column"), tablePage);
    remove->setObjectName(QStringLiteral("ButtonRemoveColumn"));
    auto *up = new QPushButton(QStringLiteral("&Up"), tablePage);
    up->setObjectName(QStringLiteral("ButtonUp"));
    auto *down = new QPushButton(QStringLiteral("Do&wn"), tablePage);
    down->setObjectName(QStringLiteral("ButtonDown"));
    for (QPushButton *button : {add, remove, up, down})
        button->setAutoDefault(false);
    auto *nameRow = new QFormLayout;
    nameRow->addRow(QStringLiteral("Table &name:"), EditTableName);
    auto *columnButtons = new QHBoxLayout;
    columnButtons->addWidget(add);
    columnButtons->addWidget(remove);
    columnButtons->addWidget(up);
    columnButtons->addWidget(down);
    columnButtons->addStretch();
    auto *tableLayout = new QVBoxLayout(tablePage);
    tableLayout->addLayout(nameRow);
    tableLayout->addWidget(GridColumns, 1);
    tableLayout->addLayout(columnButtons);
    Pages->addTab(tablePage, QStringLiteral("Table"));

    // "Option": the table options.
    auto *optionPage = new QWidget;
    ComboEngine = new QComboBox(optionPage);
    ComboEngine->setObjectName(QStringLiteral("ComboEngine"));
    ComboCharset = new QComboBox(optionPage);
    ComboCharset->setObjectName(QStringLiteral("ComboCharset"));
    ComboCollation = new QComboBox(optionPage);
    ComboCollation->setObjectName(QStringLiteral("ComboCollation"));
    for (QComboBox *combo : {ComboEngine, ComboCharset, ComboCollation})
        combo->setEditable(true);
    EditComment = new QLineEdit(optionPage);
    EditComment->setObjectName(QStringLiteral("EditComment"));
    EditComment->setMaxLength(2048);
    auto *optionLayout = new QFormLayout(optionPage);
    optionLayout->addRow(QStringLiteral("&Engine:"), ComboEngine);
    optionLayout->addRow(QStringLiteral("C&haracter set:"), ComboCharset);
    optionLayout->addRow(QStringLiteral("C&ollation:"), ComboCollation);
    optionLayout->addRow(QStringLiteral("Co&mment:"), EditComment);
    Pages->addTab(optionPage, QStringLiteral("Option"));

    // "SQL": the composed statement.
    MemoSQL = new QPlainTextEdit;
    MemoSQL->setObjectName(QStringLiteral("MemoSQL"));
    MemoSQL->setAccessibleName(QStringLiteral("Table Statement"));
    MemoSQL->setReadOnly(true);
    MemoSQL->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoSQL->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Pages->addTab(MemoSQL, QStringLiteral("SQL"));

    LabelMessage = new QLabel(this);
    LabelMessage->setObjectName(QStringLiteral("LabelMessage"));
    LabelMessage->setWordWrap(true);
    LabelMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);

    ButtonCreate = new QPushButton(QStringLiteral("C&reate"), this);
    ButtonCreate->setObjectName(QStringLiteral("ButtonCreate"));
    ButtonSave = new QPushButton(QStringLiteral("&Save"), this);
    ButtonSave->setObjectName(QStringLiteral("ButtonSave"));
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    for (QPushButton *button : {ButtonCreate, ButtonSave, ButtonCancel})
        button->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonCreate);
    buttons->addWidget(ButtonSave);
    buttons->addWidget(ButtonCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Pages, 1);
    layout->addWidget(LabelMessage);
    layout->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, [this] {
        const int row = addColumn();
        GridColumns->setCurrentCell(row, ColName);
        GridColumns->editItem(GridColumns->item(row, ColName));
    });
    connect(remove, &QPushButton::clicked, this, [this] { removeColumn(GridColumns->currentRow()); });
    connect(up, &QPushButton::clicked, this, [this] { moveColumn(GridColumns->currentRow(), -1); });
    connect(down, &QPushButton::clicked, this, [this] { moveColumn(GridColumns->currentRow(), 1); });
    connect(GridColumns, &QTableWidget::itemChanged, this, [this] { compose(); });
    connect(EditTableName, &QLineEdit::textChanged, this, [this] { compose(); });
    connect(EditComment, &QLineEdit::textChanged, this, [this] { compose(); });
    connect(ComboEngine, &QComboBox::currentTextChanged, this, [this] { compose(); });
    connect(ComboCollation, &QComboBox::currentTextChanged, this, [this] { compose(); });
    connect(ComboCharset, &QComboBox::currentTextChanged, this, [this](const QString &charset) {
        if (m_filling)
            return;
        fillCollations(charset);
        compose();
    });

    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonCreate, &QPushButton::clicked, this, [this] {
        if (m_statement.isEmpty() || !runStatement)
            return;
        // One run at a time: the answer comes back through statementFinished.
        m_running = true;
        ButtonCreate->setEnabled(false);
        showMessage(QString(), false);
        runStatement(m_statement);
    });
    connect(ButtonSave, &QPushButton::clicked, this, [this] {
        const QString name = chooseSaveFile(EditTableName->text() + QStringLiteral(".sql"));
        if (!name.isEmpty())
            saveStatement(name);
    });
    chooseSaveFile = [this](const QString &suggested) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save Table Statement"), suggested,
                                            QStringLiteral("SQL Script (*.sql);;All Files (*)"));
    };
}

void TFormTableCreate::start(const QString &database, const TableDesignChoices &choices)
{
    m_database = database;
    m_choices = choices;
    m_filling = true;
    GridColumns->setRowCount(0);
    ComboEngine->clear();
    ComboEngine->addItem(QString());
    ComboEngine->addItems(choices.engines);
    ComboCharset->clear();
    ComboCharset->addItem(QString());
    ComboCharset->addItems(choices.charsets);
    ComboCollation->clear();
    // What the server takes when a field stays empty.
    ComboEngine->lineEdit()->setPlaceholderText(choices.defaultEngine.isEmpty()
                                                    ? QString()
                                                    : QStringLiteral("default: ") + choices.defaultEngine);
    ComboCharset->lineEdit()->setPlaceholderText(choices.databaseCharset.isEmpty()
                                                     ? QString()
                                                     : QStringLiteral("default: ") + choices.databaseCharset);
    EditComment->clear();
    LabelMessage->clear();
    m_running = false;
    ButtonCreate->setEnabled(true);
    Pages->setCurrentIndex(0);
}

void TFormTableCreate::startCreate(const QString &database, const TableDesignChoices &choices)
{
    start(database, choices);
    m_modify = false;
    m_before = TableDesign();
    setWindowTitle(QStringLiteral("Create Table"));
    ButtonCreate->setText(QStringLiteral("C&reate"));
    EditTableName->clear();
    ComboEngine->setCurrentIndex(0);
    ComboCharset->setCurrentIndex(0);
    fillCollations(QString());
    m_filling = false;
    addColumn();
    compose();
}

void TFormTableCreate::startModify(const QString &database, const TableDesign &design,
                                   const TableDesignChoices &choices)
{
    start(database, choices);
    m_modify = true;
    m_before = design;
    setWindowTitle(QStringLiteral("Modify Table ") + design.name);
    ButtonCreate->setText(QStringLiteral("&Modify"));
    EditTableName->setText(design.name);
    for (const TableColumnDesign &column : design.columns) {
        const int row = GridColumns->rowCount();
        GridColumns->insertRow(row);
        setRow(row, column);
    }
    setComboText(ComboEngine, design.engine);
    setComboText(ComboCharset, design.charset);
    fillCollations(design.charset);
    setComboText(ComboCollation, design.collation);
    EditComment->setText(design.comment);
    m_filling = false;
    compose();
}

void TFormTableCreate::fillCollations(const QString &charset)
{
    const bool filling = m_filling;
    m_filling = true;
    ComboCollation->clear();
    ComboCollation->addItem(QString());
    ComboCollation->addItems(m_choices.collations.value(charset));
    ComboCollation->setCurrentIndex(0);
    const QString defaultCollation =
        charset.isEmpty() ? m_choices.databaseCollation : m_choices.defaultCollations.value(charset);
    ComboCollation->lineEdit()->setPlaceholderText(defaultCollation.isEmpty() ? QString()
                                                                              : QStringLiteral("default: ") + defaultCollation);
    m_filling = filling;
}

void TFormTableCreate::setRow(int row, const TableColumnDesign &column)
{
    const bool filling = m_filling;
    m_filling = true;
    auto *name = new QTableWidgetItem(column.name);
    name->setData(OriginalNameRole, column.originalName);
    GridColumns->setItem(row, ColName, name);
    GridColumns->setItem(row, ColType, new QTableWidgetItem(column.type));
    GridColumns->setItem(row, ColLength, new QTableWidgetItem(column.length));
    GridColumns->setItem(row, ColNull, checkItem(column.nullable));
    auto *defaultItem = new QTableWidgetItem(column.defaultValue);
    if (column.isGenerated()) {
        // A generated column has its expression instead of a default.
        defaultItem->setText(QStringLiteral("AS (") + column.generatedExpression + QLatin1Char(')'));
        defaultItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        defaultItem->setToolTip(QStringLiteral("Generated column: the expression is kept as it is"));
    }
    GridColumns->setItem(row, ColDefault, defaultItem);
    GridColumns->setItem(row, ColAutoIncrement, checkItem(column.autoIncrement));
    GridColumns->setItem(row, ColPrimaryKey, checkItem(column.primaryKey));
    m_filling = filling;
}

int TFormTableCreate::addColumn()
{
    const int row = GridColumns->rowCount();
    GridColumns->insertRow(row);
    TableColumnDesign column;
    column.type = QStringLiteral("INT");
    setRow(row, column);
    compose();
    return row;
}

void TFormTableCreate::removeColumn(int row)
{
    if (row < 0 || row >= GridColumns->rowCount())
        return;
    GridColumns->removeRow(row);
    compose();
}

void TFormTableCreate::moveColumn(int row, int offset)
{
    const int target = row + offset;
    if (row < 0 || row >= GridColumns->rowCount() || target < 0 || target >= GridColumns->rowCount())
        return;
    m_filling = true;
    QList<QTableWidgetItem *> items;
    for (int column = 0; column < ColCount; ++column)
        items.append(GridColumns->takeItem(row, column));
    GridColumns->removeRow(row);
    GridColumns->insertRow(target);
    for (int column = 0; column < ColCount; ++column)
        GridColumns->setItem(target, column, items.at(column));
    m_filling = false;
    GridColumns->setCurrentCell(target, GridColumns->currentColumn() < 0 ? 0 : GridColumns->currentColumn());
    compose();
}

TableDesign TFormTableCreate::design() const
{
    TableDesign design;
    // Names are taken as typed: blanks at their edges belong to them.
    design.name = EditTableName->text();
    design.engine = ComboEngine->currentText().trimmed();
    design.charset = ComboCharset->currentText().trimmed();
    design.collation = ComboCollation->currentText().trimmed();
    design.comment = EditComment->text();
    for (int row = 0; row < GridColumns->rowCount(); ++row) {
        const auto text = [this, row](int column) {
            const QTableWidgetItem *item = GridColumns->item(row, column);
            return item ? item->text() : QString();
        };
        const auto checked = [this, row](int column) {
            const QTableWidgetItem *item = GridColumns->item(row, column);
            return item && item->checkState() == Qt::Checked;
        };
        TableColumnDesign column;
        const QString original = GridColumns->item(row, ColName)
            ? GridColumns->item(row, ColName)->data(OriginalNameRole).toString()
            : QString();
        // A column of the table keeps what the grid does not show.
        for (const TableColumnDesign &old : m_before.columns) {
            if (!original.isEmpty() && old.name == original)
                column = old;
        }
        column.originalName = original;
        column.name = text(ColName);
        column.type = text(ColType).trimmed();
        column.length = text(ColLength).trimmed();
        column.nullable = checked(ColNull);
        if (!column.isGenerated())
            column.defaultValue = text(ColDefault);
        column.autoIncrement = checked(ColAutoIncrement);
        column.primaryKey = checked(ColPrimaryKey);
        design.columns.append(column);
    }
    design.primaryKeyOrder = m_before.primaryKeyOrder;
    return design;
}

void TFormTableCreate::compose()
{
    if (m_filling)
        return;
    m_error.clear();
    const TableDesign now = design();
    m_statement = m_modify ? AlterTableStatement(m_before, now, m_choices.syntax, &m_error)
                           : CreateTableStatement(now, m_choices.syntax, &m_error);
    if (!m_error.isEmpty())
        MemoSQL->setPlainText(QStringLiteral("-- ") + m_error);
    else if (m_statement.isEmpty())
        MemoSQL->setPlainText(QStringLiteral("-- no changes"));
    else
        MemoSQL->setPlainText(m_statement);
    ButtonCreate->setEnabled(!m_statement.isEmpty() && !m_running);
    ButtonSave->setEnabled(!m_statement.isEmpty());
}

void TFormTableCreate::showMessage(const QString &text, bool error)
{
    LabelMessage->setStyleSheet(error ? QStringLiteral("color: #800000;") : QString());
    LabelMessage->setText(text);
}

void TFormTableCreate::statementFinished(bool accepted, const QString &message)
{
    m_running = false;
    ButtonCreate->setEnabled(!m_statement.isEmpty());
    if (accepted) {
        accept();
        return;
    }
    // The design stays as it is, so the user can mend it and try again.
    showMessage(message, true);
}

bool TFormTableCreate::saveStatement(const QString &fileName)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        showMessage(QStringLiteral("Cannot write %1: %2").arg(fileName, file.errorString()), true);
        return false;
    }
    file.write((m_statement + QStringLiteral(";\n")).toUtf8());
    if (!file.commit()) {
        showMessage(QStringLiteral("Cannot write %1: %2").arg(fileName, file.errorString()), true);
        return false;
    }
    showMessage(QStringLiteral("Saved to %1").arg(fileName), false);
    return true;
}

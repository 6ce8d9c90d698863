#include "dialogs/exportsavedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace {

struct Filter
{
    const char *caption;
    const char *pattern;
};

const Filter Filters[] = {
    {"xls files [*.xls)", "*.xls"}, {"csv files (*.csv)", "*.csv"},     {"doc files (*.doc)", "*.doc"},
    {"Ascii files (*.asc)", "*.asc"}, {"html files (*.htm)", "*.htm"},
};

QString suffixOf(const Filter &filter)
{
    return QLatin1String(filter.pattern).mid(2);
}

// A file dialog that accepts a name only in a folder that exists.
class SaveFileDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QStringList files = selectedFiles();
        if (!files.isEmpty()) {
            const QFileInfo file(files.constFirst());
            if (!file.isDir() && !QFileInfo(file.absolutePath()).isDir()) {
                QMessageBox::warning(this, windowTitle(),
                                     QDir::toNativeSeparators(file.absolutePath())
                                         + QStringLiteral("\nThe folder does not exist."));
                return;
            }
        }
        QFileDialog::accept();
    }
};

// The choices below the file list. Each applies to some formats only and is
// greyed out for the others.
struct OptionsBox
{
    QGroupBox *box = nullptr;
    QCheckBox *header = nullptr;
    QComboBox *delimiter = nullptr;
    QLineEdit *nullText = nullptr;
    QComboBox *encoding = nullptr;
    QCheckBox *selectedOnly = nullptr;
    QCheckBox *openAfter = nullptr;

    OptionsBox(QFileDialog *dialog, const ExportOptions &options, bool rowsSelected)
    {
        box = new QGroupBox(QStringLiteral("Options"), dialog);
        box->setObjectName(QStringLiteral("ExportOptions"));
        box->setAccessibleName(QStringLiteral("Export options"));
        header = new QCheckBox(QStringLiteral("Column names in the first row"), box);
        header->setObjectName(QStringLiteral("CheckHeader"));
        header->setAccessibleName(header->text());
        header->setChecked(options.header);
        delimiter = new QComboBox(box);
        delimiter->setObjectName(QStringLiteral("ComboDelimiter"));
        delimiter->setAccessibleName(QStringLiteral("Delimiter"));
        delimiter->addItem(QStringLiteral("Comma"), int(ExportOptions::Comma));
        delimiter->addItem(QStringLiteral("Semicolon"), int(ExportOptions::Semicolon));
        delimiter->addItem(QStringLiteral("Tab"), int(ExportOptions::Tab));
        delimiter->setCurrentIndex(qMax(0, delimiter->findData(int(options.delimiter))));
        nullText = new QLineEdit(options.nullText, box);
        nullText->setObjectName(QStringLiteral("EditNullText"));
        nullText->setAccessibleName(QStringLiteral("Write NULL as"));
        nullText->setPlaceholderText(QStringLiteral("empty"));
        encoding = new QComboBox(box);
        encoding->setObjectName(QStringLiteral("ComboEncoding"));
        encoding->setAccessibleName(QStringLiteral("Encoding"));
        encoding->addItem(QStringLiteral("UTF-8"));
        encoding->addItem(QStringLiteral("UTF-8 with BOM"));
        encoding->setCurrentIndex(options.byteOrderMark ? 1 : 0);
        selectedOnly = new QCheckBox(QStringLiteral("Selected rows only"), box);
        selectedOnly->setObjectName(QStringLiteral("CheckSelectedOnly"));
        selectedOnly->setAccessibleName(selectedOnly->text());
        selectedOnly->setChecked(options.selectedOnly && rowsSelected);
        selectedOnly->setEnabled(rowsSelected);
        openAfter = new QCheckBox(QStringLiteral("Open after saving"), box);
        openAfter->setObjectName(QStringLiteral("CheckOpenAfter"));
        openAfter->setAccessibleName(openAfter->text());
        openAfter->setChecked(options.openAfterSaving);

        auto *fields = new QFormLayout;
        fields->addRow(QStringLiteral("Delimiter:"), delimiter);
        fields->addRow(QStringLiteral("Write NULL as:"), nullText);
        fields->addRow(QStringLiteral("Encoding:"), encoding);
        auto *checks = new QVBoxLayout;
        checks->addWidget(header);
        checks->addWidget(selectedOnly);
        checks->addWidget(openAfter);
        checks->addStretch();
        auto *layout = new QHBoxLayout(box);
        layout->addLayout(fields);
        layout->addLayout(checks);

        // The widget file dialog lays itself out in a grid: the box goes
        // below everything else.
        if (auto *grid = qobject_cast<QGridLayout *>(dialog->layout()))
            grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
    }

    // format: 1 to 5 as the filters count.
    void showFormat(int format)
    {
        const auto f = ExportFormat(format);
        header->setEnabled(f != ExportFormat::Html); // the table has its captions always
        delimiter->setEnabled(f == ExportFormat::Csv);
        encoding->setEnabled(f == ExportFormat::Csv || f == ExportFormat::Ascii || f == ExportFormat::Html);
    }

    ExportOptions options() const
    {
        ExportOptions chosen;
        chosen.header = header->isChecked();
        chosen.delimiter = char(delimiter->currentData().toInt());
        chosen.nullText = nullText->text();
        chosen.byteOrderMark = encoding->currentIndex() == 1;
        chosen.selectedOnly = selectedOnly->isEnabled() && selectedOnly->isChecked();
        chosen.openAfterSaving = openAfter->isChecked();
        return chosen;
    }
};

} // namespace

ExportSaveDialog::ExportSaveDialog(QWidget *parent)
    : QObject(parent)
    , m_parent(parent)
{
    setObjectName(QStringLiteral("SaveData"));
}

QStringList ExportSaveDialog::nameFilters()
{
    QStringList filters;
    for (const Filter &filter : Filters) {
        // The file dialog reads the patterns from the last parentheses.
        const QString caption = QLatin1String(filter.caption);
        const QString patterns = QLatin1Char('(') + QLatin1String(filter.pattern) + QLatin1Char(')');
        filters.append(caption.endsWith(patterns) ? caption : caption + QLatin1Char(' ') + patterns);
    }
    return filters;
}

ExportFormat ExportSaveDialog::format() const
{
    return ExportFormat(qBound(1, m_filterIndex, 5));
}

bool ExportSaveDialog::Execute(bool rowsSelected)
{
    const QStringList filters = nameFilters();
    SaveFileDialog dialog(m_parent, QStringLiteral("Save"), m_folder);
    dialog.setObjectName(QStringLiteral("SaveData"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The export choices sit in the dialog itself.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(filters);
    const int shown = m_filterIndex >= 1 ? m_filterIndex - 1 : 0;
    dialog.selectNameFilter(filters.at(shown));
    // A name typed without an extension gets that of the chosen format.
    dialog.setDefaultSuffix(suffixOf(Filters[shown]));
    OptionsBox options(&dialog, m_options, rowsSelected);
    options.showFormat(shown + 1);
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &options, filters](const QString &filter) {
        const int index = int(filters.indexOf(filter));
        if (index >= 0) {
            dialog.setDefaultSuffix(suffixOf(Filters[index]));
            options.showFormat(index + 1);
        }
    });
    dialog.selectFile(QString()); // the name field opens empty
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    m_fileName = dialog.selectedFiles().constFirst();
    const int index = int(filters.indexOf(dialog.selectedNameFilter()));
    m_filterIndex = index >= 0 ? index + 1 : 1;
    m_folder = QFileInfo(m_fileName).absolutePath();
    m_options = options.options();
    return true;
}

#include "dialogs/exportsavedialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

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

bool ExportSaveDialog::Execute()
{
    const QStringList filters = nameFilters();
    SaveFileDialog dialog(m_parent, QStringLiteral("Save"), m_folder);
    dialog.setObjectName(QStringLiteral("SaveData"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    const int shown = m_filterIndex >= 1 ? m_filterIndex - 1 : 0;
    dialog.selectNameFilter(filters.at(shown));
    // A name typed without an extension gets that of the chosen format.
    dialog.setDefaultSuffix(suffixOf(Filters[shown]));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString &filter) {
        const int index = int(filters.indexOf(filter));
        if (index >= 0)
            dialog.setDefaultSuffix(suffixOf(Filters[index]));
    });
    dialog.selectFile(QString()); // the name field opens empty
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    m_fileName = dialog.selectedFiles().constFirst();
    const int index = int(filters.indexOf(dialog.selectedNameFilter()));
    m_filterIndex = index >= 0 ? index + 1 : 1;
    m_folder = QFileInfo(m_fileName).absolutePath();
    return true;
}

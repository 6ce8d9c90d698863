#include "editor/editorprompts.h"

#include "dialogs/applicationtitle.h"

#include <QFileDialog>
#include <QFontDialog>

namespace {

QString runFileDialog(QWidget *parent, QFileDialog::AcceptMode mode, const QString &title,
                      const QString &fileName, const QString &filter)
{
    QFileDialog dialog(parent, title, fileName, filter);
    dialog.setAcceptMode(mode);
    dialog.setDefaultSuffix(QStringLiteral("sql"));
    if (mode == QFileDialog::AcceptSave) {
        // Saving over an existing script is what the user chose the name for.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

} // namespace

EditorPrompts EditorPrompts::standard()
{
    EditorPrompts prompts;
    prompts.message = [](QWidget *parent, QMessageBox::Icon icon, const QString &text,
                         QMessageBox::StandardButtons buttons) {
        QMessageBox box(icon, ApplicationTitle(), text, buttons, parent);
        return QMessageBox::StandardButton(box.exec());
    };
    prompts.openFileName = [](QWidget *parent, const QString &title, const QString &fileName, const QString &filter) {
        return runFileDialog(parent, QFileDialog::AcceptOpen, title, fileName, filter);
    };
    prompts.saveFileName = [](QWidget *parent, const QString &title, const QString &fileName, const QString &filter) {
        return runFileDialog(parent, QFileDialog::AcceptSave, title, fileName, filter);
    };
    prompts.chooseFont = [](QWidget *parent, QFont *font) {
        bool ok = false;
        const QFont chosen = QFontDialog::getFont(&ok, *font, parent);
        if (ok)
            *font = chosen;
        return ok;
    };
    return prompts;
}

#include "shell/scriptfilecontroller.h"

#include "data/scriptfile.h"
#include "data/tdmstd.h"
#include "dialogs/scriptfiledialog.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QFileDialog>
#include <QTreeView>

ScriptFileController::ScriptFileController(TFormMain *window, TDMstd *data, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_data(data)
{
    askFileName = [window] {
        return QFileDialog::getOpenFileName(window, QStringLiteral("Run SQL File"), QString(),
                                            QStringLiteral("SQL files (*.sql);;All files (*)"));
    };
    if (QAction *action = window->action(QStringLiteral("query_run_file")))
        connect(action, &QAction::triggered, this, &ScriptFileController::query_run_file);
    connect(data, &TDMstd::scriptFileProgress, this, &ScriptFileController::showProgress);
}

void ScriptFileController::query_run_file()
{
    // The database as Exec takes it: the selected database node, or the
    // parent of the selected table node.
    const QModelIndex node = m_window->treeView()->currentIndex();
    if (!node.isValid())
        return;
    const QString database = node.parent().isValid() ? node.parent().data().toString() : node.data().toString();
    if (!m_data->acceptsCommands()) {
        m_data->mayStart(); // says why in the log
        return;
    }
    const QString path = askFileName ? askFileName() : QString();
    if (path.isEmpty())
        return;
    if (!m_dialog) {
        m_dialog = new TFormScriptFile(m_window);
        connect(m_dialog, &TFormScriptFile::stopRequested, m_data, &TDMstd::StopScriptFile);
    }
    m_data->RunScriptFile(database, path);
}

void ScriptFileController::showProgress(const TScriptFileProgress &progress)
{
    if (!m_dialog)
        return;
    m_dialog->showProgress(progress);
    if (!progress.finished && !m_dialog->isVisible())
        m_dialog->show();
}

TFormScriptFile *ScriptFileController::progressWindow() const
{
    return m_dialog;
}

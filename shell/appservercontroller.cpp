#include "shell/appservercontroller.h"

#include "dialogs/applicationtitle.h"
#include "data/gridmodel.h"
#include "data/tdmstd.h"
#include "dialogs/applicationdialog.h"
#include "dialogs/gridsaver.h"
#include "shell/gridviews.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QTabWidget>
#include <QTableView>

namespace {

const QString JobGrid = QStringLiteral("ListApplication");
const QString MessageGrid = QStringLiteral("ListApplicationMsg");

void setWidths(GridModel *grid, const QList<int> &widths)
{
    if (!grid)
        return;
    QStringList captions;
    for (int c = 0; c < grid->columnCount(); ++c)
        captions << grid->columnCaption(c);
    grid->setColumns(captions, widths);
}

} // namespace

AppServerController::AppServerController(TFormMain *window, TDMstd *data, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_data(data)
    , m_formApplication(new TFormApplication(window))
{
    confirm = [window](const QString &question) {
        return QMessageBox::question(window, ApplicationTitle(), question,
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    };
    askSaveFileName = [window] {
        QFileDialog dialog(window, QStringLiteral("Save Log File"));
        dialog.setObjectName(QStringLiteral("SaveMsgLog"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters({QStringLiteral("All files (*)"), QStringLiteral("Log files (*.log)")});
        dialog.setDefaultSuffix(QStringLiteral("log"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };

    const struct
    {
        const char *name;
        void (AppServerController::*handler)();
    } actions[] = {
        {"App_add", &AppServerController::App_addExecute},
        {"App_mod", &AppServerController::App_modExecute},
        {"App_rem", &AppServerController::App_remExecute},
        {"App_clear_msg", &AppServerController::App_clear_msgExecute},
        {"App_msg_save", &AppServerController::App_msg_saveExecute},
        {"App_ref_app", &AppServerController::App_ref_appExecute},
        {"App_ref_msg", &AppServerController::App_ref_msgExecute},
    };
    for (const auto &entry : actions) {
        if (QAction *action = window->action(QString::fromLatin1(entry.name)))
            connect(action, &QAction::triggered, this, entry.handler);
    }
    if (QTableView *view = window->gridView(JobGrid))
        connect(view, &QAbstractItemView::doubleClicked, this, &AppServerController::App_modExecute);

    setWidths(window->grid(JobGrid), {25, 250, 100, 25, GridModel::DefaultWidth, GridModel::DefaultWidth,
                                      GridModel::DefaultWidth, 25, GridModel::FillWidth});
    setWidths(window->grid(MessageGrid), {250, GridModel::FillWidth, GridModel::DefaultWidth, GridModel::DefaultWidth});

    if (auto *pages = window->findChild<QTabWidget *>(QStringLiteral("PageControl1"))) {
        connect(pages, &QTabWidget::currentChanged, this, [this, pages] {
            QWidget *page = pages->currentWidget();
            if (page && page->objectName() == QLatin1String("TabAppserver"))
                TabAppserverShow();
        });
    }
    // The check of the login found the application server: its jobs and
    // messages are there at once, whichever page is in front. Direct: the
    // reads are the next steps of the login's chain.
    connect(data, &TDMstd::SetAppServerCommands, this, [this](bool enabled) {
        if (enabled)
            TabAppserverShow();
    });

    connect(m_formApplication, &TFormApplication::applyRequested, this, &AppServerController::applyJob);
}

int AppServerController::selectedJob() const
{
    return ChosenRow(m_window->gridView(JobGrid));
}

void AppServerController::applyJob()
{
    const TApplicationJob job = m_formApplication->job();
    // The answer may come after this controller is gone; the data module
    // that runs the statement is there as long as it can answer.
    auto reload = [data = m_data] { data->LoadApplications(); };
    if (job.id.isEmpty())
        m_data->InsertApplication(job, reload);
    else
        m_data->UpdateApplication(job, reload);
}

void AppServerController::App_addExecute()
{
    m_formApplication->reset();
    m_formApplication->exec();
}

void AppServerController::App_modExecute()
{
    const int row = selectedJob();
    GridModel *grid = m_window->grid(JobGrid);
    if (row < 0 || !grid)
        return;
    m_formApplication->showJob(ApplicationJobFromGrid(*grid, row));
    m_formApplication->exec();
}

void AppServerController::App_remExecute()
{
    const int row = selectedJob();
    GridModel *grid = m_window->grid(JobGrid);
    if (row < 0 || !grid)
        return;
    const QString id = grid->text(row, JobIdCell);
    if (!confirm(QStringLiteral("Delete Application ") + grid->text(row, 1) + QStringLiteral(" ?")))
        return;
    m_data->CancelApplication(id);
}

void AppServerController::App_clear_msgExecute()
{
    if (!confirm(QStringLiteral("Delete Message Log ?")))
        return;
    m_data->ClearApplicationMessages();
}

void AppServerController::App_msg_saveExecute()
{
    GridModel *grid = m_window->grid(MessageGrid);
    if (!grid)
        return;
    const QString fileName = askSaveFileName();
    if (fileName.isEmpty())
        return;
    // The grid's comma-separated writer; a failure shows in the error box.
    SaveGridToFile(m_window, *grid, ExportFormat::Csv, fileName);
}

void AppServerController::App_ref_appExecute()
{
    m_data->LoadApplications();
}

void AppServerController::App_ref_msgExecute()
{
    m_data->LoadApplicationMessages();
}

void AppServerController::TabAppserverShow()
{
    App_ref_appExecute();
    App_ref_msgExecute();
}

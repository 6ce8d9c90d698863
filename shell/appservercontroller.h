#pragma once

#include <QObject>

#include <functional>

class QString;
class TDMstd;
class TFormApplication;
class TFormMain;

// The "Application Server" page: the job and message grids of the
// application server, their seven commands and the "Application" dialog.
class AppServerController : public QObject
{
    Q_OBJECT

public:
    // The window must outlive the controller (make it the parent).
    AppServerController(TFormMain *window, TDMstd *data, QObject *parent = nullptr);

    void App_addExecute();
    void App_modExecute();
    void App_remExecute();
    void App_clear_msgExecute();
    void App_msg_saveExecute();
    void App_ref_appExecute();
    void App_ref_msgExecute();
    void TabAppserverShow();

    TFormApplication *formApplication() const { return m_formApplication; }

    // Asks a Yes/No question; true for Yes.
    std::function<bool(const QString &question)> confirm;
    // Asks for the file to save the message table to ("Save Log File");
    // empty when cancelled.
    std::function<QString()> askSaveFileName;

private:
    int selectedJob() const;
    void applyJob();

    TFormMain *m_window;
    TDMstd *m_data;
    TFormApplication *m_formApplication;
};

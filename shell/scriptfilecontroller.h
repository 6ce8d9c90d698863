#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class TDMstd;
class TFormMain;
class TFormScriptFile;
struct TScriptFileProgress;

// "Run SQL File...": asks for a file and runs it from disk in the database
// of the tree's selected node, as Exec does with the editor's text, showing
// its progress in a window of its own.
class ScriptFileController : public QObject
{
    Q_OBJECT

public:
    ScriptFileController(TFormMain *window, TDMstd *data, QObject *parent = nullptr);

    void query_run_file();
    // The progress window of the last run (none before the first).
    TFormScriptFile *progressWindow() const;

    // Asks for the file; tests answer without a dialog. Empty: cancelled.
    std::function<QString()> askFileName;

private:
    void showProgress(const TScriptFileProgress &progress);

    TFormMain *m_window;
    TDMstd *m_data;
    QPointer<TFormScriptFile> m_dialog;
};

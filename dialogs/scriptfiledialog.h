#pragma once

#include <QDialog>

struct TScriptFileProgress;
class QLabel;
class QProgressBar;
class QPushButton;

// "Run SQL File": how far the run of a script file has come (bytes of the
// file, statements, elapsed time), "Stop" while it runs, then its outcome
// and "Close". It does not block the window.
class TFormScriptFile : public QDialog
{
    Q_OBJECT

public:
    explicit TFormScriptFile(QWidget *parent = nullptr);

    void showProgress(const TScriptFileProgress &progress);
    // The texts as shown, for the line of counts.
    static QString countsText(const TScriptFileProgress &progress);

    QLabel *LabelFile = nullptr;
    QProgressBar *ProgressFile = nullptr;
    QLabel *LabelCounts = nullptr;
    QLabel *LabelOutcome = nullptr;
    QPushButton *ButtonStop = nullptr;

Q_SIGNALS:
    void stopRequested();

private:
    bool m_finished = false;
};

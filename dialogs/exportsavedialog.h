#pragma once

#include "output/gridexport.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

// The save dialog `SaveData` of the grid save commands: a file name and one
// of the five formats. It keeps the format (the filter index) and the folder
// of the last confirmed save; the name field opens empty.
class ExportSaveDialog : public QObject
{
    Q_OBJECT

public:
    explicit ExportSaveDialog(QWidget *parent);

    // Shows the dialog; false when the user cancels. rowsSelected: whether
    // "Selected rows only" can be offered.
    bool Execute(bool rowsSelected = false);

    QString FileName() const { return m_fileName; }
    // 1 to 5 after a confirmed save (the writer's format); 0 before the
    // first one, when the dialog shows its first filter.
    int FilterIndex() const { return m_filterIndex; }
    ExportFormat format() const;

    // The dialog's filters in their order, as the file dialog shows them.
    static QStringList nameFilters();

    // The choices below the file list as last confirmed (the rows to write
    // are the caller's to fill in). They start as the program has always
    // written: no caption line, commas, NULL as an empty text, no byte-order
    // mark, all rows, the file not opened.
    ExportOptions options() const { return m_options; }
    void setOptions(const ExportOptions &options) { m_options = options; }

private:
    QWidget *m_parent;
    QString m_fileName;
    QString m_folder;
    int m_filterIndex = 0;
    ExportOptions m_options;
};

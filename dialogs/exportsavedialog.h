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

    // Shows the dialog; false when the user cancels.
    bool Execute();

    QString FileName() const { return m_fileName; }
    // 1 to 5 after a confirmed save (the writer's format); 0 before the
    // first one, when the dialog shows its first filter.
    int FilterIndex() const { return m_filterIndex; }
    ExportFormat format() const;

    // The dialog's filters in their order, as the file dialog shows them.
    static QStringList nameFilters();

private:
    QWidget *m_parent;
    QString m_fileName;
    QString m_folder;
    int m_filterIndex = 0;
};

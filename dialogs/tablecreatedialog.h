#pragma once

#include "data/tabledesign.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTabWidget;

// "Create Table": the table designer. "Table" holds the table's name and its
// columns (name, type, length, NULL, default, auto-increment, primary key),
// "Option" the engine, character set, collation and comment, "SQL" the
// statement composed from both, kept up to date with every change.
// Opened for a new table it composes CREATE TABLE; opened with a table's
// definition, one ALTER TABLE of exactly the changes.
class TFormTableCreate : public QDialog
{
    Q_OBJECT

public:
    enum Column { ColName, ColType, ColLength, ColNull, ColDefault, ColAutoIncrement, ColPrimaryKey, ColCount };

    explicit TFormTableCreate(QWidget *parent = nullptr);

    // Prepares an empty design for a new table of the database.
    void startCreate(const QString &database, const TableDesignChoices &choices);
    // Prepares the table's definition for changing.
    void startModify(const QString &database, const TableDesign &design, const TableDesignChoices &choices);

    bool modifying() const { return m_modify; }
    QString database() const { return m_database; }
    // The design as edited, and the statement it gives (empty: nothing to
    // run; statementError() says why when the design is incomplete).
    TableDesign design() const;
    QString statement() const { return m_statement; }
    QString statementError() const { return m_error; }

    // Adds an empty column row and returns its row number.
    int addColumn();
    void removeColumn(int row);
    void moveColumn(int row, int offset);

    // "C&reate" hands the statement here; the caller runs it and reports
    // back through statementFinished.
    std::function<void(const QString &statement)> runStatement;
    // Accepted: the dialog closes; refused: it stays with the server's text.
    void statementFinished(bool accepted, const QString &message);
    // The file "&Save" writes to; tests answer without a file dialog.
    std::function<QString(const QString &suggested)> chooseSaveFile;
    // Writes the statement to the file; false (message shown) on failure.
    bool saveStatement(const QString &fileName);

    QLineEdit *EditTableName = nullptr;
    QTableWidget *GridColumns = nullptr;
    QComboBox *ComboEngine = nullptr;
    QComboBox *ComboCharset = nullptr;
    QComboBox *ComboCollation = nullptr;
    QLineEdit *EditComment = nullptr;
    QPlainTextEdit *MemoSQL = nullptr;
    QLabel *LabelMessage = nullptr;
    QTabWidget *Pages = nullptr;
    QPushButton *ButtonCreate = nullptr;
    QPushButton *ButtonSave = nullptr;
    QPushButton *ButtonCancel = nullptr;

private:
    void start(const QString &database, const TableDesignChoices &choices);
    void setRow(int row, const TableColumnDesign &column);
    void fillCollations(const QString &charset);
    void compose();
    void showMessage(const QString &text, bool error);

    QString m_database;
    bool m_modify = false;
    bool m_filling = false;
    bool m_running = false; // a statement was handed out and has not come back
    TableDesign m_before;
    TableDesignChoices m_choices;
    QString m_statement;
    QString m_error;
};

#pragma once

#include <QDialog>

// "Create Table": three empty pages and buttons of which only "&Cancel" acts.
// The command that would open it is never enabled.
class TFormTableCreate : public QDialog
{
    Q_OBJECT

public:
    explicit TFormTableCreate(QWidget *parent = nullptr);
};

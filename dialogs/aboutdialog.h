#pragma once

#include <QDialog>

class QLabel;

// "About Quarnel - MySQL": the tool's line, the product name and the version.
class TFormAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAbout(QWidget *parent = nullptr);

    QLabel *LabelVersion = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};
